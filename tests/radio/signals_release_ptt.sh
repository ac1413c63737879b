#!/usr/bin/env bash
# SIGTERM, SIGINT and SIGHUP while the node is keyed (speaking): the transmitter is released (R on the PTT line), the
# program closes as on EchoLink's closing, and the process ends. Every other signal whose default action ends the
# process releases the line too before the process ends by that signal. A stop from the terminal (SIGTSTP) releases it
# before the process pauses.
#   signals_release_ptt.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$3
source "$here/radio_rig.bash"
need jackd
rig_start

cat > "$work/home/quillmere_radio.ini" <<INI
[SETTINGS]
JackServer=
Squelch=pty:$work/squelch
Ptt=pty:$work/ptt
INI
long="This is a long announcement that keeps the transmitter keyed for many seconds while the test sends a signal."

ulimit -c 0  # the signals that dump core leave none here
for signal in TERM INT HUP QUIT USR1 USR2 ALRM XCPU XFSZ PWR VTALRM PROF SYS TRAP BUS IO STKFLT RTMIN+1; do
  rm -f "$work/ptt" "$work/squelch" "$work/console"
  mkfifo "$work/console"
  # A background job of a script starts with SIGINT and SIGQUIT ignored; the program keeps what it inherits. Under
  # the sanitizers, AddressSanitizer leaves the fault signals to the program's own release.
  env --default-signal=INT,QUIT ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}:handle_sigbus=0:handle_segv=0" "$quillmere" --headless --node radio --voice estimate --no-report --home "$work/home" --machine-dir "$work/machine" \
    <"$work/console" >"$work/transcript.txt" 2>"$work/stderr.txt" &
  qm_pid=$!
  exec {console}>"$work/console"
  rig_wait_node
  echo "speak \"$long\"" >&$console
  for _ in $(seq 100); do
    grep -q T "$work/ptt.log" && break
    sleep 0.05
  done
  grep -q T "$work/ptt.log" || fail "SIG$signal: the node never keyed for the announcement"
  sleep 0.2
  kill -s "$signal" "$qm_pid"
  for _ in $(seq 100); do
    kill -0 "$qm_pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$qm_pid" 2>/dev/null && fail "SIG$signal: the program did not end within five seconds"
  wait "$qm_pid"
  status=$?
  exec {console}>&-
  kill "$cat_pid" 2>/dev/null
  keys=$(rig_ptt_log)
  [[ "$keys" =~ ^TR+$ ]] || fail "SIG$signal: the PTT line wrote '$keys', not T then R"
  case $signal in
    TERM | INT | HUP)
      grep -q '> closing$' "$work/transcript.txt" || fail "SIG$signal: the node raised no Closing" ;;
    *)
      [ "$status" -eq $((128 + $(kill -l "$signal"))) ] || fail "SIG$signal: the program ended with status $status" ;;
  esac
  echo "SIG$signal: PTT line $keys"
done
# Ctrl-Z: the line is released, then the process pauses; it goes on when continued.
rm -f "$work/ptt" "$work/squelch" "$work/console"
mkfifo "$work/console"
"$quillmere" --headless --node radio --voice estimate --no-report --home "$work/home" --machine-dir "$work/machine" \
  <"$work/console" >"$work/transcript.txt" 2>"$work/stderr.txt" &
qm_pid=$!
exec {console}>"$work/console"
rig_wait_node
echo "speak \"$long\"" >&$console
for _ in $(seq 100); do grep -q T "$work/ptt.log" && break; sleep 0.05; done
kill -s TSTP "$qm_pid"
for _ in $(seq 100); do [ "$(awk '{print $3}' "/proc/$qm_pid/stat" 2>/dev/null)" = T ] && break; sleep 0.05; done
[ "$(awk '{print $3}' "/proc/$qm_pid/stat")" = T ] || fail "SIGTSTP: the program did not pause"
sleep 0.2
keys=$(rig_ptt_log)
[[ "$keys" =~ ^TR+$ ]] || fail "SIGTSTP: the PTT line wrote '$keys' before the pause, not T then R"
kill -s CONT "$qm_pid"
kill -s TERM "$qm_pid"
wait "$qm_pid"
exec {console}>&-
kill "$cat_pid" 2>/dev/null
echo "SIGTSTP: PTT line $keys, paused"
echo "PASS"
