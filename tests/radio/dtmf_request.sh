#!/usr/bin/env bash
# The radio node end to end on a JACK server of this test's own (dummy backend): DTMF keyed while the carrier is up
# gives `> dtmf "*#123"` when it drops; the spoken request goes out between T and R on the PTT line; the recording of
# radio_out holds the speech, the courtesy letter and the CW identifier, which multimon-ng reads back; no DTMF heard
# on the receiver reaches the transmitter; the air recording (--air) holds what went out.
#   dtmf_request.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$3
source "$here/radio_rig.bash"
need jackd multimon-ng sox
rig_start

cat > "$work/home/quillmere_radio.ini" <<INI
[SETTINGS]
JackServer=
Squelch=pty:$work/squelch
Ptt=pty:$work/ptt
TxDelay=150
TxTail=100
CwSpeed=20
INI

"$quillmere" --scenario "$here/dtmf_request.scn" --real-time --node radio --voice espeak --no-report --air "$work/air.wav" \
  --home "$work/home" --machine-dir "$work/machine" --transcript "$work/transcript.txt" 2>"$work/stderr.txt" &
qm_pid=$!
rig_wait_node
rig_peer_start "$work/out.wav"

printf O >"$work/squelch"
sleep 1
rig_peer "dtmf *#123" >/dev/null
sleep 2.5   # the carrier stays up over three seconds, so the courtesy letter is owed
printf Z >"$work/squelch"

wait "$qm_pid"
status=$?
sound=$(rig_peer_stop)
cat "$work/stderr.txt" >&2
[ "$status" = 0 ] || fail "the scenario failed (status $status)"

grep -q '> carrier on$' "$work/transcript.txt" || fail "no '> carrier on' in the transcript"
grep -q '> dtmf "\*#123"$' "$work/transcript.txt" || fail "no '> dtmf \"*#123\"' in the transcript"
# The string comes when the carrier drops, not before.
drop=$(grep -n '> carrier off$' "$work/transcript.txt" | head -1 | cut -d: -f1)
digits=$(grep -n '> dtmf "\*#123"$' "$work/transcript.txt" | head -1 | cut -d: -f1)
[ -n "$drop" ] && [ "$digits" -gt "$drop" ] || fail "the DTMF string came before the carrier dropped"

keys=$(rig_ptt_log)
# A release may be repeated (the line is released once more as it closes); a key never is.
[[ "$keys" =~ ^(TR+){2,}$ ]] || fail "the PTT line wrote '$keys', not two or more transmissions each T then R"
[ "$sound" -ge 1500 ] || fail "the recording holds only $sound ms of sound; the spoken request is longer"

cw=$(rig_decode MORSE_CW "$work/out.wav")
echo "multimon-ng MORSE_CW read: $cw"
[[ "$cw" == *K* ]] || fail "the courtesy letter K is not in the recording"
[[ "$cw" == *N0CALL* ]] || fail "the identifier N0CALL is not in the recording"
# --air keeps what went out on radio_out.
air=$(rig_decode MORSE_CW "$work/air.wav")
[[ "$air" == *K*N0CALL* ]] || fail "the air recording does not hold the letter and the identifier (read '$air')"
dtmf=$(rig_decode DTMF "$work/out.wav")
[ -z "$dtmf" ] || fail "DTMF went out on the transmitter: '$dtmf'"
echo "PASS: PTT line $keys, $sound ms of sound on the air"
