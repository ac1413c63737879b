#!/usr/bin/env bash
# A phone call on the radio node end to end: a dummy JACK server of the test's own, baresip (run by the program) on
# JACK, sipp on 127.0.0.1 answering and echoing the media back. A tone played into radio_in with the carrier up
# comes back out of radio_out with the transmitter keyed; with no carrier nothing reaches the call; DTMF keyed on the
# radio does not reach the far end (its echo would key the transmitter and be heard); "Mute On" stops the path and
# "Mute off" restarts it; a carrier held past RxLimit is cut from the call until it drops; "DD" ends the call. The program runs headless, the script typing its console commands.
#   call_echo.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$(cd "$3" && pwd)
source "$here/radio_rig.bash"
source "$here/call_rig.bash"
need jackd baresip sipp sox multimon-ng python3
rig_start
trap call_cleanup EXIT
call_settings 5470
echo "RxLimit=2" >>"$work/home/quillmere_radio.ini"
call_far_end 5470 -sn uas -rtp_echo
sox -n -r 48000 -b 16 -c 1 "$work/tone.wav" synth 1 sine 1000 vol 0.3

printf '[SETTINGS]\r\nCheck2=0\r\n' >"$work/home/quillmere.ini"
mkfifo "$work/console"
"$quillmere" --headless --node radio --skype sip --voice estimate --no-report --home "$work/home" \
  --machine-dir "$work/machine" --transcript "$work/transcript.txt" <"$work/console" 2>"$work/stderr.txt" &
qm_pid=$!
exec 4>"$work/console"
console() { echo "$1" >&4; }
call_wait_node
rig_peer_start "$work/out.wav"
call_dial
call_wait_linked
sleep 1

# A tone with the carrier up; prints how long it took from radio_in to radio_out (ms), or nothing if it never came.
echo_tone() {
  printf O >"$work/squelch"
  sleep 0.2
  local start onset
  start=$(rig_peer now)
  rig_peer "play $work/tone.wav" >/dev/null
  sleep 0.3
  printf Z >"$work/squelch"
  sleep 1.5
  onset=$(rig_peer onset)
  [ "${onset#onset }" -gt "${start#now }" ] && echo $(((${onset#onset } - ${start#now }) / 1000))
}

# No carrier: the tone does not reach the call, so nothing comes back and nothing keys.
before=$(rig_peer onset)
mark=$(now)
rig_peer "play $work/tone.wav" >/dev/null
sleep 1.5
[ "$(rig_peer onset)" = "$before" ] || fail "radio_out sounded although the carrier was down"
[ -z "$(call_ptt_since "$mark")" ] || fail "the transmitter was keyed although the carrier was down: $(call_ptt_since "$mark")"

# Carrier up: the tone goes to the far end, comes back, and goes out keyed.
mark=$(now)
latency=$(echo_tone)
[ -n "$latency" ] || fail "the tone did not come back out of radio_out"
echo "radio_in -> call -> echo -> radio_out: $latency ms (TxDelay 150 ms included)"
keys=$(call_ptt_since "$mark")
[[ "$keys" =~ ^TR+$ ]] || fail "the PTT line wrote '$keys' around the echo, not one transmission T then R"

# DTMF on the radio: the far end never hears it, so nothing comes back.
printf O >"$work/squelch"
sleep 0.2
mark=$(now)
before=$(rig_peer onset)
rig_peer "dtmf 123 100 100" >/dev/null
sleep 0.2
printf Z >"$work/squelch"
sleep 1.5
[ "$(rig_peer onset)" = "$before" ] || fail "the DTMF digits came back from the far end"
[ -z "$(call_ptt_since "$mark")" ] || fail "the far end's echo of DTMF keyed the transmitter: $(call_ptt_since "$mark")"

# "Mute On" stops the radio-to-call path, "Mute off" restarts it.
console 'click frmMain.Command3'
sleep 0.3
[ -z "$(echo_tone)" ] || fail "the tone reached the far end although the call was muted"
console 'click frmMain.Command4'
sleep 0.3
[ -n "$(echo_tone)" ] || fail "the tone did not reach the far end after Mute off"

# A carrier held past RxLimit (2 s here) counts as gone: a tone under it does not reach the call. Once it drops, the
# next carrier does again.
printf O >"$work/squelch"
sleep 3
before=$(rig_peer onset)
rig_peer "play $work/tone.wav" >/dev/null
sleep 1.5
printf Z >"$work/squelch"
[ "$(rig_peer onset)" = "$before" ] || fail "a carrier held past RxLimit still reached the call"
sleep 0.3
[ -n "$(echo_tone)" ] || fail "the tone did not reach the far end once the held carrier had dropped"

# "DD" on the radio ends the call: the node decodes it, the program hangs up, baresip's ports go.
printf O >"$work/squelch"
sleep 0.2
rig_peer "dtmf DD 100 100" >/dev/null
printf Z >"$work/squelch"
for _ in $(seq 50); do call_unlinked && break; sleep 0.1; done
call_unlinked || fail "baresip's ports were still there after DD"

sleep 0.5
kill -TERM "$qm_pid"
wait "$qm_pid"
qm_pid=
exec 4>&-
rig_peer_stop >/dev/null
for line in 'sent "CALL 5551234"' 'notify "CALL 1 STATUS INPROGRESS"' 'sent "SET MUTE ON"' 'sent "SET MUTE OFF"' \
  'sent "SET CALL 1 STATUS FINISHED"' 'notify "CALL 1 STATUS FINISHED"'; do
  grep -qF "$line" "$work/transcript.txt" || fail "no '$line' in the transcript"
done
grep -q '> dtmf "123"$' "$work/transcript.txt" || fail "the node did not decode the DTMF 123"
grep -q '> dtmf "DD"$' "$work/transcript.txt" || fail "the node did not decode DD"
wait "$sipp_pid" || fail "sipp did not count the call as completed: $(tr -d '\033' <"$work/sipp.log" | tail -5)"
sipp_pid=

[[ "$(awk 'END{print $1}' "$work/ptt.times")" == R ]] || fail "the transmitter was left keyed"
# The DTMF never reached radio_out either.
dtmf=$(rig_decode DTMF "$work/out.wav")
[ -z "$dtmf" ] || fail "multimon-ng read DTMF '$dtmf' on radio_out"
echo "PASS"
