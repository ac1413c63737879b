#!/usr/bin/env bash
# With no JACK server running, the node starts JackServer as a child of its own, says so plainly when it cannot,
# reconnects (starting it again) when the server goes away, releasing a transmitter it keyed meanwhile (its audio has
# nowhere to go), and ends it with the program. A server that freezes (SIGSTOP) moves no audio: the transmitter is let
# go within two seconds, and a SIGTERM still ends the program within a few seconds.
#   jack_server.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$3
source "$here/radio_rig.bash"
need jackd pgrep
rig_start_bare
server="jackd --no-realtime -n $JACK_DEFAULT_SERVER -d dummy -r 48000 -p 1024"

run_node() {  # JackServer
  printf '[SETTINGS]\nJackServer=%s\nSquelch=pty:%s/squelch\nPtt=pty:%s/ptt\n' "$1" "$work" "$work" \
    >"$work/home/quillmere_radio.ini"
  rm -f "$work/ptt" "$work/squelch" "$work/console"
  mkfifo "$work/console"
  "$quillmere" --headless --node radio --voice estimate --no-report --home "$work/home" --machine-dir "$work/machine" \
    <"$work/console" >"$work/transcript.txt" 2>"$work/stderr.txt" &
  qm_pid=$!
  exec {console}>"$work/console"
}
await() {  # SECONDS WHAT COMMAND...
  local seconds=$1 what=$2
  shift 2
  for _ in $(seq $((seconds * 10))); do "$@" && return 0; sleep 0.1; done
  rig_skip_when_full "$work/stderr.txt"
  fail "$what (stderr: $(cat "$work/stderr.txt"))"
}
ports_up() { jack_lsp 2>/dev/null | grep -q '^quillmere:radio_in$'; }
server_pid() { pgrep -f -x "$server"; }
gone() {  # an ended process may stay a zombie when nobody reaps orphans here
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null)
  [ -z "$state" ] || [[ "$state" == Z* ]]
}

# The node up with the server it started ($pid), keyed for a long announcement.
speaking() {
  run_node "$server"
  rig_wait_node
  pid=$(server_pid) || fail "no JACK server runs after the node started one"
  echo 'speak "A long announcement that is still being spoken when the sound server goes, on and on and on."' \
    >&$console
  await 5 "the node did not key for the announcement" grep -q T "$work/ptt.log"
}

# Keyed for a long announcement when the server goes: the line is let go at once, not when the speaking ends.
speaking
kill -KILL "$pid"
# The node's own thread lets go; the report waits for the program's thread, which the speaking holds.
await 2 "the transmitter stayed keyed after its audio server went away" grep -q R "$work/ptt.log"
await 20 "the lost server was not reported" grep -q 'JACK: the server went away' "$work/stderr.txt"
await 15 "the node did not reconnect" grep -q 'JACK: connected again' "$work/stderr.txt"
ports_up || fail "quillmere's ports are not back after the reconnection"
[ "$(tr -dc 'TR' <"$work/ptt.log")" = TR ] || fail "the line was keyed again while the announcement went on"
pid=$(server_pid) || fail "the server was not started again"
kill -TERM "$qm_pid"
wait "$qm_pid"
exec {console}>&-
kill "$cat_pid" 2>/dev/null
await 10 "the JACK server the node started outlived the program" gone "$pid"

# The server frozen while the node speaks.
speaking
kill -STOP "$pid"
stopped=$(date +%s%N)
await 3 "the transmitter stayed keyed with the JACK server frozen" grep -q R "$work/ptt.log"
echo "released $(( ($(date +%s%N) - stopped) / 1000000 )) ms after the server froze"
kill -TERM "$qm_pid"
stopped=$(date +%s%N)
await 10 "SIGTERM did not end the program with the JACK server frozen" gone "$qm_pid"
echo "ended $(( ($(date +%s%N) - stopped) / 1000000 )) ms after SIGTERM"
wait "$qm_pid"
exec {console}>&-
kill "$cat_pid" 2>/dev/null
[[ "$(tr -dc 'TR' <"$work/ptt.log")" =~ ^TR+$ ]] || fail "the line wrote '$(tr -dc 'TR' <"$work/ptt.log")', not T then R"
grep -q 'moved no audio' "$work/stderr.txt" || fail "the frozen server was not reported"
kill -CONT "$pid" 2>/dev/null
await 10 "the frozen JACK server the node started outlived the program" gone "$pid"

# A server that cannot start: the message names the command and what it said.
run_node "jackd --no-realtime -n $JACK_DEFAULT_SERVER -d no-such-driver"
await 20 "a failed JackServer was not reported" grep -q 'did not come up' "$work/stderr.txt"
grep 'did not come up' "$work/stderr.txt" | grep -q 'no-such-driver' || fail "the message does not name the command"
echo "reported: $(grep 'did not come up' "$work/stderr.txt" | head -1)"
kill -TERM "$qm_pid"
wait "$qm_pid"
exec {console}>&-
echo "PASS"
