#!/usr/bin/env bash
# The headless program on the wall clock, driven from outside as a service manager, a shell pipeline or a careless
# user would: stop signals during an announcement, a reader of standard output that goes away, standard input that
# ends, never ends a line, or holds lines the program refuses.
# Usage: headless_console.sh QUILLMERE CASE, CASE one of stop-TERM stop-INT stop-HUP broken-pipe input-ended
# endless-line long-line refused-lines journal scenario-stop. Every wait is bounded.
set -u -m
trap "" PIPE # a write to a program that has gone fails and is reported, it does not end the test
bin=$1
case_name=$2
work=$(mktemp -d /tmp/quillmere-console-XXXXXX)
pid=
failed=0

cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  failed=1
}

# wait_for FILE PATTERN SECONDS: true once FILE holds PATTERN (a fixed string).
wait_for() {
  local i
  for ((i = 0; i < $3 * 20; i++)); do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

# ends_within SECONDS: true once the program has ended; its status is then in $status.
ends_within() {
  local i
  for ((i = 0; i < $1 * 20; i++)); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      status=$?
      pid=
      return 0
    fi
    sleep 0.05
  done
  return 1
}

# Always run in the background: the job is the program itself.
run() {
  exec "$bin" --headless --no-report --voice estimate --home "$work/home" --machine-dir "$work/machine" "$@"
}

# Stops the program with SIGTERM and checks that the transcript in FILE ends with the transmitter released and the
# program's exit.
stop_and_check() {
  kill -TERM "$pid"
  ends_within 10 || { fail "the program did not end within 10 s of SIGTERM"; return; }
  [ "$status" = 0 ] || fail "exit status $status after SIGTERM"
  check_released "$1"
}

check_released() {
  tail -n 1 "$1" | grep -q ' exit$' || fail "the transcript does not end with the exit: $(tail -n 1 "$1")"
  grep ' ptt ' "$1" | tail -n 1 | grep -q 'ptt off$' || fail "the transmitter is left keyed"
}

case "$case_name" in
stop-*)
  signal=${case_name#stop-}
  mkfifo "$work/in"
  run <"$work/in" >"$work/out" 2>"$work/err" &
  pid=$!
  exec 3>"$work/in"
  wait_for "$work/out" 'ptt off' 10 || fail "the start-up announcement did not end"
  echo 'dtmf "*#1234567890123456"' >&3
  wait_for "$work/out" 'say "Call 1 2 3' 10 || fail "the request was not announced"
  sleep 0.5 # well inside the announcement, which takes about five seconds
  grep ' ptt ' "$work/out" | tail -n 1 | grep -q 'ptt on$' || fail "the transmitter is not keyed when the signal comes"
  kill "-$signal" "$pid"
  if ends_within 3; then
    [ "$status" = 0 ] || fail "exit status $status after SIG$signal"
    check_released "$work/out"
  else
    fail "the program did not end within 3 s of SIG$signal"
  fi
  ;;
broken-pipe)
  mkfifo "$work/in" "$work/pipe"
  run <"$work/in" >"$work/pipe" 2>"$work/err" &
  pid=$!
  head -n 1 <"$work/pipe" >"$work/head" &
  reader=$!
  exec 3>"$work/in"
  wait "$reader" # the reader takes the first line and goes away
  sleep 1.5      # the start-up announcement's end is written into the closed pipe
  echo 'dtmf "#0#"' >&3
  sleep 1.5
  kill -0 "$pid" 2>/dev/null || fail "the program ended when the reader of its output went away"
  n=$(grep -c 'the transcript cannot be written any more' "$work/err")
  [ "$n" = 1 ] || fail "the lost transcript was reported $n times, not once"
  kill -TERM "$pid"
  ends_within 10 || fail "the program did not end within 10 s of SIGTERM"
  [ "${status:-}" = 0 ] || fail "exit status ${status:-none} after SIGTERM"
  ;;
input-ended)
  for how in null closed; do
    if [ $how = null ]; then run </dev/null >"$work/out.$how" 2>"$work/err.$how" & else
      run <&- >"$work/out.$how" 2>"$work/err.$how" &
    fi
    pid=$!
    sleep 2
    kill -0 "$pid" 2>/dev/null || fail "standard input $how: the program ended with its input"
    sed -n 1p "$work/err.$how" | grep -q 'the transcript goes to standard output' ||
      fail "standard input $how: the first line does not say where the transcript goes"
    sed -n 2p "$work/err.$how" | grep -q 'stop with Ctrl-C or SIGTERM' ||
      fail "standard input $how: the second line does not say how to stop the program"
    grep -q 'standard input has ended; the node goes on running' "$work/err.$how" ||
      fail "standard input $how: its end is not mentioned"
    stop_and_check "$work/out.$how"
  done
  ;;
endless-line)
  run </dev/zero >"$work/out" 2>"$work/err" &
  pid=$!
  sleep 3
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
  [ "$rss" -lt 102400 ] || fail "resident memory grew to $rss kB reading an endless line"
  n=$(grep -c 'is longer than' "$work/err")
  [ "$n" = 1 ] || fail "the endless line was reported $n times, not once"
  stop_and_check "$work/out"
  ;;
long-line)
  mkfifo "$work/in"
  run <"$work/in" >"$work/out" 2>"$work/err" &
  pid=$!
  { head -c 50000000 /dev/zero | tr '\0' x; echo; echo 'dtmf "#0#"'; sleep 30; } >"$work/in" &
  writer=$!
  wait_for "$work/out" '> dtmf "#0#"' 20 || fail "the command after a 50 MB line did not run within 20 s"
  n=$(grep -c 'is longer than' "$work/err")
  [ "$n" = 1 ] || fail "the long line was reported $n times, not once"
  stop_and_check "$work/out"
  kill -- "-$writer" 2>/dev/null
  ;;
refused-lines)
  mkfifo "$work/in"
  run <"$work/in" >"$work/out" 2>"$work/err" &
  pid=$!
  exec 3>"$work/in"
  wait_for "$work/out" 'ptt off' 10 || fail "the start-up announcement did not end"
  echo 'frobnicate now' >&3
  printf 'dtmf "*#1\0002"\n' >&3
  echo 'dtmf ""' >&3
  echo 'carrier maybe' >&3
  echo 'dtmf "#0#"' >&3
  wait_for "$work/out" 'say "DTMF Disabled"' 10 || fail "the line after the refused ones did not run"
  grep -q 'frobnicate\|carrier\|\*#1\|dtmf ""' "$work/out" && fail "a refused line is in the transcript: $(cat "$work/out")"
  grep -q "unknown command 'frobnicate'" "$work/err" || fail "the unknown command is not named"
  grep -q 'a NUL byte at column 10' "$work/err" || fail "the NUL byte is not named"
  grep -q "'dtmf' takes at least one digit" "$work/err" || fail "the empty DTMF string is not refused"
  [ "$(grep -c ' say ' "$work/out")" = 2 ] || fail "more than the two switch announcements were made"
  stop_and_check "$work/out"
  ;;
journal)
  # Standard error as systemd's journal stream (JOURNAL_STREAM names its device and inode): every line carries its
  # priority, a problem (here: a SIP settings file beside the simulated telephone) as a warning, notes as information.
  mkdir -p "$work/home"
  printf '[SETTINGS]\r\n' >"$work/home/quillmere_sip.ini"
  : >"$work/err"
  JOURNAL_STREAM=$(stat -c '%d:%i' "$work/err") run </dev/null >"$work/out" 2>>"$work/err" &
  pid=$!
  wait_for "$work/err" 'standard input has ended' 10 || fail "the program did not start"
  grep -v '^<[0-7]>' "$work/err" && fail "lines without a priority"
  grep -q '^<4>quillmere: WARNING: the telephone is the SIMULATED' "$work/err" || fail "the warning is not a warning"
  grep -q '^<6>quillmere: running headless' "$work/err" || fail "a note is not information"
  stop_and_check "$work/out"
  ;;
scenario-stop)
  # A scenario on the wall clock, stopped in the middle of a wait: the node closes and the run ends there.
  printf 'start\nwait 20s\nexpect no ptt\n' >"$work/stop.scn"
  "$bin" --scenario "$work/stop.scn" --real-time --no-report --home "$work/home" --machine-dir "$work/machine" \
    >"$work/out" 2>"$work/err" &
  pid=$!
  wait_for "$work/out" 'ptt off' 10 || fail "the start-up announcement did not end"
  kill -TERM "$pid"
  if ends_within 3; then
    [ "$status" = 1 ] || fail "exit status $status, not 1, for a run stopped before its end"
    grep -q 'stop.scn:2: the run was stopped by SIGTERM' "$work/err" || fail "the stop is not named"
    check_released "$work/out"
  else
    fail "the run did not end within 3 s of SIGTERM"
  fi
  ;;
*)
  echo "unknown case $case_name"
  exit 2
  ;;
esac
if [ "$failed" = 0 ]; then echo "PASS: $case_name"; else
  echo "--- transcript"
  cat "$work"/out* 2>/dev/null | tail -n 20
  echo "--- standard error"
  cat "$work"/err* 2>/dev/null | tail -n 20
fi
exit "$failed"
