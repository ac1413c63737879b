#!/usr/bin/env bash
# CapturePort and PlaybackPort are connected to quillmere:radio_in and from quillmere:radio_out; a port that does not
# exist is named with the ports that do, and the node runs on unconnected.
#   ports.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$3
source "$here/radio_rig.bash"
need jackd
rig_start
run_node() {  # CAPTURE PLAYBACK
  printf '[SETTINGS]\nJackServer=\nCapturePort=%s\nPlaybackPort=%s\nSquelch=pty:%s/squelch\nPtt=pty:%s/ptt\n' \
    "$1" "$2" "$work" "$work" >"$work/home/quillmere_radio.ini"
  rm -f "$work/ptt" "$work/squelch" "$work/console"
  mkfifo "$work/console"
  "$quillmere" --headless --node radio --voice estimate --no-report --home "$work/home" --machine-dir "$work/machine" \
    <"$work/console" >"$work/transcript.txt" 2>"$work/stderr.txt" &
  qm_pid=$!
  exec {console}>"$work/console"
  rig_wait_node
  sleep 0.5
}
stop_node() {
  kill -TERM "$qm_pid"
  wait "$qm_pid"
  exec {console}>&-
  kill "$cat_pid" 2>/dev/null
}

run_node system:capture_1 system:playback_1
rig_lsp -c quillmere:radio_in | grep -q 'system:capture_1' || fail "CapturePort is not connected to radio_in"
rig_lsp -c quillmere:radio_out | grep -q 'system:playback_1' || fail "radio_out is not connected to PlaybackPort"
stop_node

run_node system:capture_1 nowhere:playback
message=$(grep 'nowhere:playback' "$work/stderr.txt")
[[ "$message" == *PlaybackPort*system:playback_1* ]] || fail "the missing port is not named with those that exist: $message"
rig_lsp -c quillmere:radio_in | grep -q 'system:capture_1' || fail "the good port was not connected beside the bad"
echo "reported: $message"
stop_node
echo PASS
