#!/usr/bin/env bash
# The transmitter inhibit from the web page on the radio node: while it is on, an announcement never keys the PTT line;
# once lifted, the next one does. The status shows the inhibit, the radio's audio levels, and Morse as what keys.
#   web_inhibit.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$3
source "$here/radio_rig.bash"
need jackd curl
rig_start

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$work/home/quillmere_radio.ini" <<INI
[SETTINGS]
JackServer=
Squelch=pty:$work/squelch
Ptt=pty:$work/ptt
INI
printf '[SETTINGS]\r\nEnabled=1\r\nListen=127.0.0.1:%s\r\n' "$port" >"$work/machine/quillmere_web.ini"
echo "op pass" | "$quillmere" --add-user op --role operator --machine-dir "$work/machine" >/dev/null ||
  fail "--add-user failed"
mkfifo "$work/console"
XDG_STATE_HOME="$work/state" "$quillmere" --headless --node radio --voice estimate --no-report --home "$work/home" \
  --machine-dir "$work/machine" <"$work/console" >"$work/transcript.txt" 2>"$work/stderr.txt" &
qm_pid=$!
exec {console}>"$work/console"
rig_wait_node

base="http://127.0.0.1:$port"
csrf=$(curl -s -c "$work/cookies" -H 'Content-Type: application/json' -d '{"user":"op","password":"op pass"}' \
  "$base/api/login" | sed -n 's/.*"csrfToken":"\([0-9a-f]*\)".*/\1/p')
[ -n "$csrf" ] || fail "the operator could not log in"
command() {
  curl -s -o /dev/null -w '%{http_code}' -b "$work/cookies" -H 'Content-Type: application/json' \
    -H "X-CSRF-Token: $csrf" -d "{\"command\":\"$1\"}" "$base/api/command"
}
[ "$(command inhibit-on)" = 200 ] || fail "inhibit-on was refused"
curl -s -b "$work/cookies" "$base/api/status" | grep -q '"inhibit":true' || fail "the status does not show the inhibit"
echo 'speak "Held back by the inhibit"' >&$console
sleep 3
grep -q T "$work/ptt.log" && fail "the PTT line was keyed while the transmitter was inhibited"
[ "$(command inhibit-off)" = 200 ] || fail "inhibit-off was refused"
echo 'speak "On the air again"' >&$console
for _ in $(seq 100); do
  grep -q T "$work/ptt.log" && break
  sleep 0.05
done
grep -q T "$work/ptt.log" || fail "the PTT line was not keyed once the inhibit was lifted"
curl -s -b "$work/cookies" "$base/api/status" | grep -q '"levels":{"radioIn":' || fail "the status has no audio levels"
for _ in $(seq 100); do grep -q '"ptt":false' <(curl -s -b "$work/cookies" "$base/api/status") && break; sleep 0.1; done
echo 'click Form21.SendCW' >&$console
morse=
for _ in $(seq 100); do
  curl -s -b "$work/cookies" "$base/api/status" | grep -q '"pttBy":"morse"' && morse=1 && break
  sleep 0.1
done
[ -n "$morse" ] || fail "the status never showed the transmitter keyed by Morse"
echo "ok: the inhibit held the radio's transmitter released and let it key once lifted; levels and Morse shown"
