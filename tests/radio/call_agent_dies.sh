#!/usr/bin/env bash
# A call keyed for its whole length (CallPtt=call, a duplex repeater) keys the transmitter as soon as the call's
# audio is linked, and baresip dying in the middle releases it at once: its ports go, and the node lets go.
#   call_agent_dies.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$(cd "$3" && pwd)
source "$here/radio_rig.bash"
source "$here/call_rig.bash"
need jackd baresip sipp python3
rig_start
trap call_cleanup EXIT
call_settings 5490
echo "CallPtt=call" >>"$work/home/quillmere_radio.ini"
python3 "$here/make_far_pcap.py" "$work/far.pcap" tone:12000 || fail "the far end's recording could not be made"
call_far_end 5490 -sf "$here/call_far_end.xml"
printf '[SETTINGS]\r\nCheck2=0\r\n' >"$work/home/quillmere.ini"
mkfifo "$work/console"
"$quillmere" --headless --node radio --skype sip --voice estimate --no-report --home "$work/home" \
  --machine-dir "$work/machine" --transcript "$work/transcript.txt" <"$work/console" 2>"$work/stderr.txt" &
qm_pid=$!
exec 4>"$work/console"
call_wait_node
call_wait_ready
dialled=$(now)
call_dial
call_wait_linked
sleep 1.5
[[ "$(call_ptt_since "$dialled")" == T ]] || fail "the whole call did not key the transmitter: '$(call_ptt_since "$dialled")'"

agent=$(pgrep -P "$qm_pid" -x baresip) || fail "no baresip under quillmere"
killed=$(now)
kill -KILL "$agent"
for _ in $(seq 30); do [[ "$(call_ptt_since "$killed")" == R* ]] && break; sleep 0.05; done
released=$(awk -v t="$killed" '$2 >= t && $1 == "R" { print $2; exit }' "$work/ptt.times")
[ -n "$released" ] || fail "the transmitter was still keyed 1.5 s after baresip died"
echo "baresip killed -> transmitter released in $(python3 -c "print(round(($released - $killed) * 1000))") ms"
sleep 2  # baresip is started again; the ended call keys nothing
[[ "$(call_ptt_since "$killed")" =~ ^R+$ ]] || fail "keyed again after baresip died: '$(call_ptt_since "$killed")'"
kill -TERM "$qm_pid"
wait "$qm_pid"
qm_pid=
exec 4>&-
grep -q 'notify "CALL 1 STATUS FINISHED"' "$work/transcript.txt" || fail "the call did not end for the program"
echo "PASS"
