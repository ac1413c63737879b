#!/usr/bin/env bash
# A far end that talks keys the transmitter through the radio node: sipp plays a recording of its own (silence, a
# 1.5 s burst, silence, 6 s of unbroken sound) over a call that baresip, on JACK, placed for the program. The
# transmitter keys not before the first sound, for the burst plus the hang time; the unbroken sound cannot hold it
# past TxLimit; the far end's hang-up leaves it released.
#   call_far_talks.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$(cd "$3" && pwd)
source "$here/radio_rig.bash"
source "$here/call_rig.bash"
need jackd baresip sipp python3
rig_start
trap call_cleanup EXIT
call_settings 5480
echo "TxLimit=3" >>"$work/home/quillmere_radio.ini"
python3 "$here/make_far_pcap.py" "$work/far.pcap" silence:2000 tone:1500 silence:2000 tone:6000 silence:1000 ||
  fail "the far end's recording could not be made"
call_far_end 5480 -sf "$here/call_far_end.xml"

"$quillmere" --scenario "$here/call_far_talks.scn" --real-time --node radio --skype sip --no-report \
  --home "$work/home" --machine-dir "$work/machine" --transcript "$work/transcript.txt" 2>"$work/stderr.txt" &
qm_pid=$!
call_wait_node
rig_peer_start "$work/out.wav"
call_wait_linked
linked=$(now)

for _ in $(seq 300); do call_unlinked && break; sleep 0.1; done
call_unlinked || fail "baresip's ports were still there after the far end hung up"
wait "$qm_pid"
status=$?
rig_peer_stop >/dev/null
qm_pid=
[ "$status" = 0 ] || { cat "$work/stderr.txt" >&2; fail "the scenario failed (status $status)"; }

# The keying after the call's audio was linked: T R for the burst, T R for the unbroken sound, nothing more.
keys=$(call_ptt_since "$linked")
mapfile -t times < <(awk -v t="$linked" '$2 >= t { print $2 }' "$work/ptt.times")
echo "PTT after the call was linked: $keys at ${times[*]} (linked at $linked)"
[[ "$keys" =~ ^TR+TR+$ ]] || fail "the PTT line wrote '$keys', not two transmissions"
ms() { python3 -c "print(round(($1 - $2) * 1000))"; }
first=$(ms "${times[0]}" "$linked")
burst=$(ms "${times[1]}" "${times[0]}")
second=$(awk -v t="$linked" '$2 >= t && $1 == "T" { n++; if (n == 2) print $2 }' "$work/ptt.times")
limit_r=$(awk -v s="$second" '$2 > s && $1 == "R" { print $2; exit }' "$work/ptt.times")
held=$(ms "$limit_r" "$second")
echo "first sound 2000 ms after answer -> keyed at $first ms; 1500 ms burst + 500 ms hang + 100 ms tail -> keyed $burst ms; unbroken sound -> keyed $held ms (TxLimit 3 s)"
# The far end's recording starts at its answer, and baresip's ports are linked (and seen here) up to several hundred
# milliseconds later, and seen here up to a second and a half later on a loaded machine: a key at the link itself (a VOX
# that opens on nothing) comes within a few tens of milliseconds of it (or before it is seen, and then the pattern
# above fails), the first sound later.
[ "$first" -ge 200 ] && [ "$first" -le 2600 ] || fail "keyed $first ms after the call was linked; the far end spoke after 2000 ms"
[ "$burst" -ge 1900 ] && [ "$burst" -le 2600 ] || fail "keyed for $burst ms; the burst, the hang and the tail take 2100 ms"
[ "$held" -ge 2900 ] && [ "$held" -le 3300 ] || fail "the unbroken sound held the transmitter $held ms; TxLimit is 3 s"
grep -q "TxLimit (3 s)" "$work/stderr.txt" || fail "the TxLimit release was not reported"
[[ "$(awk 'END{print $1}' "$work/ptt.times")" == R ]] || fail "the transmitter was left keyed"
wait "$sipp_pid" || fail "sipp did not count the call as completed: $(tr -d '\033' <"$work/sipp.log" | tail -5)"
sipp_pid=
echo "PASS"
