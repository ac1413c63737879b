#!/usr/bin/env bash
# TxLimit is enforced in the node: an announcement longer than the limit is cut off, the PTT line released when the
# limit runs out, the operator told once, and the line not keyed again while the program still asks for it.
#   tx_limit.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
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
TxLimit=2
INI
mkfifo "$work/console"
"$quillmere" --headless --node radio --voice espeak --no-report --home "$work/home" --machine-dir "$work/machine" \
  <"$work/console" >"$work/transcript.txt" 2>"$work/stderr.txt" &
qm_pid=$!
exec {console}>"$work/console"
rig_wait_node
start=$(date +%s.%N)
echo 'speak "This announcement runs well past the two second limit of the transmitter, on and on and on."' >&$console
for _ in $(seq 100); do grep -q R "$work/ptt.log" && break; sleep 0.05; done
released=$(date +%s.%N)
keyed_for=$(echo "$released - $start" | bc -l)
grep -q R "$work/ptt.log" || fail "the limit never released the PTT line"
echo "released after $keyed_for s"
(($(echo "$keyed_for >= 1.9 && $keyed_for < 3.5" | bc -l))) || fail "released after $keyed_for s, not at the 2 s limit"
sleep 4   # the rest of the announcement: the program still holds PTT, the node keeps it released
keys=$(rig_ptt_log)
[ "$keys" = TR ] || fail "the PTT line wrote '$keys' while the program still asked: keyed again"
[ "$(grep -c 'TxLimit' "$work/stderr.txt")" = 1 ] || fail "the limit was not said exactly once: $(cat "$work/stderr.txt")"
echo 'speak "Again."' >&$console   # asked afresh after letting go: keys again
for _ in $(seq 100); do [ "$(rig_ptt_log)" != TR ] && break; sleep 0.05; done
[[ "$(rig_ptt_log)" == TRT* ]] || fail "the line did not key again for a new request: '$(rig_ptt_log)'"
exec {console}>&-
echo "PASS"
