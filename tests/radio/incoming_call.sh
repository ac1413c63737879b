#!/usr/bin/env bash
# Calls from the telephone to the air, end to end: baresip (run by the program, its audio on the radio node's JACK
# server) registers with kamailio (digest authentication) on 127.0.0.1, and sipp calls the account through kamailio,
# authenticating there. A denied caller is refused (403, through the provider) and nothing is keyed; a `ring` caller
# is announced on the air (PTT keyed, speech at radio_out), answered by the answer code played into radio_in, and its
# talking then keys the transmitter until DD hangs up; a `pin` caller is held off the air (its talking keys nothing),
# keys a wrong PIN as tones in its audio and another as RFC 4733 events, and is locked out, the node hanging up.
#   incoming_call.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$(cd "$3" && pwd)
source "$here/radio_rig.bash"
source "$here/call_rig.bash"
source "$here/../sip/kamailio.bash"
need jackd baresip sipp python3 kamailio
kamailio_modules >/dev/null || { echo "SKIP: kamailio's modules not found"; exit 77; }
rig_start
kamailio_pid=
incoming_cleanup() {
  call_cleanup
  rig_end "$kamailio_pid" 5
}
trap incoming_cleanup EXIT
call_settings 5470
sip_port=5471 provider=5478
printf '[SETTINGS]\r\nAccount=sip:quillmere@127.0.0.1:%s\r\nPassword=secret\r\nListenAddress=127.0.0.1:%s\r\n' \
  "$provider" "$sip_port" >"$work/home/quillmere_sip.ini"
kamailio_config "$work/kamailio.cfg" "$provider" location || fail "no kamailio configuration"
kamailio -f "$work/kamailio.cfg" -DD -E -Y "$work" -w "$work" >"$work/kamailio.log" 2>&1 &
kamailio_pid=$!
python3 "$here/make_far_pcap.py" "$work/talk.pcap" silence:1200 tone:2000 silence:200 &&
  python3 "$here/make_far_pcap.py" "$work/pin-tones.pcap" silence:600 dtmf:1234 &&
  python3 "$here/make_far_pcap.py" "$work/no-key.pcap" silence:20 || fail "the caller's recordings could not be made"

"$quillmere" --scenario "$here/incoming_call.scn" --real-time --node radio --skype sip --voice espeak --no-report \
  --home "$work/home" --machine-dir "$work/machine" --transcript "$work/transcript.txt" 2>"$work/stderr.txt" &
qm_pid=$!
call_wait_node
rig_peer_start "$work/out.wav"
call_wait_ready
for _ in $(seq 100); do grep -q "registered quillmere" "$work/kamailio.log" && break; sleep 0.1; done
grep -q "registered quillmere" "$work/kamailio.log" || fail "the account did not register with kamailio: $(tail -5 "$work/kamailio.log")"

# caller NUMBER AUDIO KEYS...: one call from sipp through kamailio, talking AUDIO (a pcap made above) and keying
# KEYS (RFC 4733; - is none); its exit status.
caller() {
  local number=$1 i=1
  cp "$work/$2" "$work/talking.pcap" || fail "no recording $2"
  shift 2
  for key in "$@"; do
    local recording=/usr/share/sip-tester/dtmf_2833_$key.pcap
    [ "$key" = - ] && recording=$work/no-key.pcap
    cp "$recording" "$work/k$i.pcap" || fail "no sipp recording of key $key"
    i=$((i + 1))
  done
  (cd "$work" && exec sipp 127.0.0.1:$provider -i 127.0.0.1 -p 5475 -mp 6750 -cp 8475 -nostdin -timeout 40s -m 1 \
    -sf "$here/incoming_caller.xml" -key caller "$number" -key agent "$sip_port" -au "$number" -ap secret \
    -trace_msg -message_file "$work/sipp-$number.msg") >"$work/sipp-$number.log" 2>&1 &
  sipp_pid=$!
}

# Denied: refused at once, nothing on the air.
start=$(now)
caller 5550001 talk.pcap 1 2 3 4 5 6 7 8
wait "$sipp_pid" || fail "sipp's denied call failed: $(tail -5 "$work/sipp-5550001.log")"
sipp_pid=
grep -q "relaying a call from 5550001" "$work/kamailio.log" || fail "the denied call did not go through kamailio"
grep -q "SIP/2.0 403" "$work/sipp-5550001.msg" || fail "the denied caller did not get 403: $(grep '^SIP/2.0' "$work/sipp-5550001.msg")"
[ -z "$(call_ptt_since "$start")" ] || fail "a denied call keyed the transmitter"
grep -q 'call [0-9]* from 5550001 refused (not allowed, 403)' "$work/stderr.txt" ||
  fail "the denied call is not on standard error"

# Ring: announced with the transmitter keyed, answered from the radio, the caller's talking then on the air.
start=$(now)
caller 5551234 talk.pcap 1 2 3 4 5 6 7 8
for _ in $(seq 100); do grep -q 'say "Incoming call from 5 5 5 1 2 3 4"' "$work/transcript.txt" && break; sleep 0.1; done
grep -q 'say "Incoming call from 5 5 5 1 2 3 4"' "$work/transcript.txt" || fail "the ringing call was not announced"
[[ "$(call_ptt_since "$start")" == T* ]] || fail "the announcement did not key the transmitter"
sleep 3   # the announcement ends
printf O >"$work/squelch"
sleep 0.3
rig_peer "dtmf *0" >/dev/null
sleep 0.3
printf Z >"$work/squelch"
# The announcement is over: whatever keys from here on is the caller's talking (however late this script sees it).
answered=$(now)
for _ in $(seq 100); do grep -q 'ALTER CALL [0-9]* ANSWER' "$work/transcript.txt" && break; sleep 0.1; done
grep -q 'ALTER CALL [0-9]* ANSWER' "$work/transcript.txt" || fail "the answer code did not answer the call"
for _ in $(seq 60); do [[ "$(call_ptt_since "$answered")" == *T* ]] && break; sleep 0.1; done
[[ "$(call_ptt_since "$answered")" == *T* ]] || fail "the caller's talking did not key the transmitter"
# "DD" from the radio hangs up, as for a call placed from the radio.
sleep 2.5
printf O >"$work/squelch"
sleep 0.3
rig_peer "dtmf DD" >/dev/null
sleep 0.3
printf Z >"$work/squelch"
wait "$sipp_pid" || fail "sipp's ringing call failed: $(tail -5 "$work/sipp-5551234.log")"
sipp_pid=
grep -q 'sent "SET CALL [0-9]* STATUS FINISHED"' "$work/transcript.txt" || fail "DD did not hang up the call"

# PIN: held off the air; a wrong PIN keyed as tones (a phone without RFC 4733) and another as RFC 4733 events lock
# the caller out and the node hangs up.
sleep 1
start=$(now)
# The tones end before the first recording of the keys starts at 1.5 s: played over them, its packets (another
# stream's numbers) would upset baresip's jitter buffer.
caller 5552222 pin-tones.pcap - - - - 5 6 7 8
wait "$sipp_pid" || fail "sipp's PIN call failed: $(tail -5 "$work/sipp-5552222.log")"
sipp_pid=
[ -z "$(call_ptt_since "$start")" ] || fail "a caller keying its PIN keyed the transmitter"
grep -q "^BYE sip:5552222" "$work/sipp-5552222.msg" ||
  fail "the node did not hang up on the second wrong PIN: the PIN keyed as tones did not count"
caller 5552222 talk.pcap 1 2 3 4 5 6 7 8
wait "$sipp_pid" || fail "sipp's locked-out call failed"
sipp_pid=
grep -q "SIP/2.0 403\|SIP/2.0 486" "$work/sipp-5552222.msg" || fail "the locked-out caller was not refused"

wait "$qm_pid"
status=$?
qm_pid=
rig_peer_stop >/dev/null
[ "$status" = 0 ] || { cat "$work/stderr.txt" >&2; fail "the scenario failed (status $status)"; }
echo "PASS"
