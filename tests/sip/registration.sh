#!/usr/bin/env bash
# The SIP account's registration as the operator sees it, against kamailio on 127.0.0.1 with digest authentication:
#   1. the registrar is not running: "no answer" is reported (not a refusal), a call asked for meanwhile is answered
#      at once as not registered and announced; the registrar starts: the registration is reported soon after;
#   2. a fresh start: the registration is reported within 2 s;
#   3. a wrong password: the refusal is reported within 5 s, naming the password;
#   4. the registrar restarts and forgets the binding: the node registers again within its RegisterInterval;
#   5. --check tries a real registration and says which of the three it is, in a few seconds.
#
#   registration.sh QUILLMERE
# Exit status: 0 passed, 1 failed, 77 skipped (kamailio or baresip not installed).
set -u
quillmere=$1
for tool in kamailio baresip; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIPPED: $tool is not installed (scripts/install-deps.sh)"; exit 77; }
done
. "$(dirname "$0")/kamailio.bash"
kamailio_modules >/dev/null || { echo "SKIPPED: kamailio's modules not found"; exit 77; }

registrar=5090 sip=5091
work=$(mktemp -d /tmp/quillmere-registration-XXXXXX)
kamailio_pid= quillmere_pid=
stop_kamailio() {
  [ -n "$kamailio_pid" ] && kill "$kamailio_pid" 2>/dev/null && wait "$kamailio_pid" 2>/dev/null
  kamailio_pid=
}
stop_quillmere() {
  exec 3>&- 2>/dev/null
  [ -n "$quillmere_pid" ] && kill "$quillmere_pid" 2>/dev/null && wait "$quillmere_pid" 2>/dev/null
  quillmere_pid=
}
cleanup() {
  stop_quillmere
  stop_kamailio
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  echo "--- transcript"; tail -n 30 "$work/transcript"
  echo "--- stderr"; tail -n 20 "$work/stderr"
  echo "--- kamailio"; tail -n 10 "$work/kamailio.log"
  exit 1
}
now() { date +%s.%N; }
# seconds_within FILE TEXT SECONDS: waits for TEXT; prints how long it took.
seconds_within() {
  local start=$(now)
  for ((i = 0; i < $3 * 20; i++)); do
    if grep -qF -- "$2" "$1" 2>/dev/null; then
      echo "$(now) - $start" | bc
      return 0
    fi
    sleep 0.05
  done
  return 1
}

kamailio_config "$work/kamailio.cfg" "$registrar"
start_kamailio() {
  kamailio -f "$work/kamailio.cfg" -DD -E -Y "$work" -w "$work" >>"$work/kamailio.log" 2>&1 &
  kamailio_pid=$!
  sleep 0.5
  kill -0 "$kamailio_pid" 2>/dev/null || fail "kamailio did not start"
}
start_quillmere() {  # PASSWORD [MORE SETTINGS LINES]
  rm -rf "$work/home"
  mkdir -p "$work/home"
  printf '[SETTINGS]\r\nCheck1=0\r\n' >"$work/home/quillmere.ini"
  printf '[SETTINGS]\r\nAccount=sip:alice@127.0.0.1:%s\r\nPassword=%s\r\nAudioDriver=aubridge\r\nInputDevice=q\r\nOutputDevice=q\r\nListenAddress=127.0.0.1:%s\r\n' \
    "$registrar" "$1" "$sip" >"$work/home/quillmere_sip.ini"
  printf '%s' "${2:-}" >>"$work/home/quillmere_sip.ini"
  rm -f "$work/console"
  mkfifo "$work/console"
  "$quillmere" --headless --skype sip --voice estimate --no-report --home "$work/home" --machine-dir "$work/home" \
    <"$work/console" >"$work/transcript" 2>"$work/stderr" &
  quillmere_pid=$!
  exec 3>"$work/console"
}
account="SIP account sip:alice@127.0.0.1:$registrar"

# 1. No registrar, then one.
start_quillmere secret
took=$(seconds_within "$work/transcript" "$account: no answer from the registrar" 8) ||
  fail "a registrar that does not answer was not reported"
echo "no answer reported after ${took} s"
grep -q "refused" "$work/transcript" && fail "a registrar that does not answer was reported as a refusal"
echo 'set frmMain.txtSend "CALL 5551234"' >&3
echo 'click frmMain.cmdSend' >&3
seconds_within "$work/transcript" 'notify "CALL 1 STATUS FAILED"' 2 >/dev/null || fail "the call was not failed at once"
grep -qF 'notify "CALL 1 FAILUREREASON 4"' "$work/transcript" || fail "the failure did not say: not registered"
seconds_within "$work/transcript" 'say "Sorry the phone line is not registered"' 4 >/dev/null ||
  fail "the failure was not announced"
start_kamailio
took=$(seconds_within "$work/transcript" "$account: registered" 20) || fail "the registration was not reported"
echo "registered ${took} s after the registrar started"
stop_quillmere

# 2. A fresh start with the registrar up.
start_quillmere secret
took=$(seconds_within "$work/transcript" "$account: registered" 2) || fail "registered not reported within 2 s"
echo "registration reported ${took} s after start"
grep -qF "sip \"$account: registering with 127.0.0.1" "$work/transcript" || fail "registering was not reported"
stop_quillmere

# 3. A wrong password.
start_quillmere wrong
took=$(seconds_within "$work/transcript" "$account: the provider refused the registration: 401" 5) ||
  fail "a wrong password was not reported within 5 s"
echo "wrong password reported after ${took} s"
grep -qF "check the user name and the password" "$work/transcript" || fail "the refusal did not name the password"
stop_quillmere

# 4. The registrar restarts, its bindings in memory gone: the renewal every RegisterInterval (10 s here) restores it.
start_quillmere secret $'RegisterInterval=10\r\n'
seconds_within "$work/transcript" "$account: registered" 2 >/dev/null || fail "registered not reported within 2 s"
stop_kamailio
before=$(grep -c "registered alice" "$work/kamailio.log")
start_kamailio
restarted=$(now)
for ((i = 0; i < 300; i++)); do
  [ "$(grep -c "registered alice" "$work/kamailio.log")" -gt "$before" ] && break
  sleep 0.05
done
[ "$(grep -c "registered alice" "$work/kamailio.log")" -gt "$before" ] ||
  fail "the node did not register again within 15 s of the registrar's restart"
echo "registered again $(echo "$(now) - $restarted" | bc) s after the registrar restarted"
stop_quillmere

# 5. --check, on the settings of each case.
check() {  # PASSWORD EXPECTED
  sed -i "s/^Password=.*\r\$/Password=$1\r/" "$work/home/quillmere_sip.ini"
  local start=$(now)
  "$quillmere" --check --home "$work/home" --machine-dir "$work/home" >"$work/check" 2>&1
  local took=$(echo "$(now) - $start" | bc)
  grep -qF -- "$account: $2" "$work/check" || { cat "$work/check"; fail "--check did not say: $2"; }
  echo "--check said \"$2\" after ${took} s"
}
check secret "registered with 127.0.0.1"
check wrong "the provider refused the registration: 401"
stop_kamailio
check secret "no answer from the registrar 127.0.0.1"
exit 0
