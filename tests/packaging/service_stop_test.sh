#!/usr/bin/env bash
# Starts the program the way quillmere.service does (its ExecStart flags and Environment, a user of its own when this
# runs as root, standard input at its end, settings and state in folders of the test), keys the transmitter, stops it
# with SIGTERM as systemd does, and checks that the transmitter was released and the transcript ends with the exit;
# then runs the unit's ExecStopPost (--release-ptt) the same way.
#   service_stop_test.sh PROGRAM UNIT
# The simulated node stands in for the radio (quillmere.ini names no Node); the voice is the silent estimate and no
# usage report is sent. The program runs from a copy in the test's folder, which the test's user can reach wherever the
# build is (a clone under /root is closed to other users).
set -uo pipefail
program=$1 unit=$2

work=$(mktemp -d)
user=""
pid=""
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  [ -n "$user" ] && userdel "$user" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  echo "--- transcript"; cat "$work/transcript" 2>/dev/null
  echo "--- standard error"; cat "$work/errors" 2>/dev/null
  exit 1
}

etc=$work/etc state=$work/state cache=$work/cache run=$work/run
mkdir -p "$etc" "$state" "$cache" "$run"
# The start announcement keys the transmitter; a long phrase keeps it keyed while the signal comes.
long="This node is now under DTMF control and this announcement goes on for quite a while so that the transmitter"
long="$long stays keyed long enough for the service manager to stop the program in the middle of it all"
printf '[SETTINGS]\r\nCheck1=1\r\n' >"$etc/quillmere.ini"
printf '[SETTINGS]\r\nTEXT4=%s\r\n' "$long" >"$etc/quillmere_language.ini"

# The unit's command line and environment, its folders replaced by the test's.
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[ -n "$exec_start" ] || fail "no ExecStart in $unit"
read -r -a argv <<<"$exec_start"
argv[0]=$program
for i in "${!argv[@]}"; do
  [ "${argv[$i]}" = "/etc/quillmere" ] && argv[$i]=$etc
done
argv+=(--no-report --voice estimate)
environment=(PATH=/usr/bin:/bin)
while read -r -a words; do
  for w in "${words[@]}"; do
    w=${w//\/var\/lib\/quillmere/$state}
    w=${w//\/var\/cache\/quillmere/$cache}
    w=${w//\/run\/quillmere/$run}
    environment+=("$w")
  done
done < <(sed -n 's/^Environment=//p' "$unit")

# A user of the program's own, as the package makes one.
as_user=()
if [ "$(id -u)" -eq 0 ] && command -v useradd >/dev/null && command -v setpriv >/dev/null; then
  user=qmsvc$$
  useradd --system --no-create-home --home-dir "$state" --shell /usr/sbin/nologin --user-group "$user" ||
    fail "cannot create the user $user"
  mkdir "$work/bin"
  cp "$program" "$work/bin/quillmere" || fail "cannot copy the program to $work/bin"
  # The radio's module, which --release-ptt loads, beside the program as in the build tree.
  cp "$(dirname "$program")/libquillmere_radio.so" "$work/bin/" || fail "cannot copy the radio module to $work/bin"
  program=$work/bin/quillmere
  argv[0]=$program
  chown -R "$user:$user" "$work"
  chmod 0755 "$work"
  as_user=(setpriv "--reuid=$user" "--regid=$user" --init-groups --inh-caps=-all)
  echo "running as the user $user"
else
  echo "running as $(id -un): not root, so no user of its own"
fi

"${as_user[@]}" env -i "${environment[@]}" "${argv[@]}" </dev/null >"$work/transcript" 2>"$work/errors" &
pid=$!
echo "started: ${argv[*]}"

# Real time: bounded waits for the keying and for the end.
for _ in $(seq 100); do
  grep -q ' ptt on$' "$work/transcript" && break
  kill -0 "$pid" 2>/dev/null || fail "the program ended before it keyed the transmitter"
  sleep 0.1
done
grep -q ' ptt on$' "$work/transcript" || fail "the transmitter was not keyed within 10 s"
sleep 0.5
grep -q ' ptt off$' "$work/transcript" && fail "the announcement ended before the signal: make the phrase longer"
kill -TERM "$pid"
status=""
for _ in $(seq 300); do
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    status=$?
    break
  fi
  sleep 0.1
done
pid_left=$pid
pid=""
[ -n "$status" ] || { kill -KILL "$pid_left"; fail "the program was still running 30 s after SIGTERM"; }

[ "$status" -eq 0 ] || fail "the program ended with status $status after SIGTERM (143 is the signal's own end)"
last_on=$(grep -n ' ptt on$' "$work/transcript" | tail -n 1 | cut -d: -f1)
last_off=$(grep -n ' ptt off$' "$work/transcript" | tail -n 1 | cut -d: -f1)
[ -n "$last_off" ] && [ "$last_off" -gt "$last_on" ] || fail "the transmitter was left keyed: no 'ptt off' after 'ptt on'"
tail -n 1 "$work/transcript" | grep -Eq '^[0-9:.]+ exit$' || fail "the transcript does not end with the program's exit"

# What systemd runs after every end, as the same user in the same folders.
stop_post=$(sed -n 's/^ExecStopPost=//p' "$unit")
[ -n "$stop_post" ] || fail "no ExecStopPost in $unit: a crash would leave the transmitter keyed"
read -r -a post <<<"$stop_post"
post[0]=$program
for i in "${!post[@]}"; do [ "${post[$i]}" = "/etc/quillmere" ] && post[$i]=$etc; done
"${as_user[@]}" env -i "${environment[@]}" "${post[@]}" </dev/null >"$work/post" 2>&1 ||
  fail "ExecStopPost (${post[*]}) failed: $(cat "$work/post")"
grep -q "no line to release" "$work/post" || fail "ExecStopPost did not read the node's settings: $(cat "$work/post")"
echo "--- transcript"
cat "$work/transcript"
echo "PASS: SIGTERM while keyed released the transmitter and ended the program"
