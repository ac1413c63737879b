#!/usr/bin/env bash
# RxLimit: a carrier held past it (a squelch stuck open) is cut from a connected EchoLink station, the program hears
# the carrier go, and the problem line and the history log say so once; after the carrier really drops, the next one
# reaches the station again. The station (echolink_peer on 127.0.0.2) measures what it hears.
#   rx_limit.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR   (echolink_peer, echolink_directory beside RADIO_PEER)
set -u
quillmere=$1 peer=$2 here=$3
elpeer="$(dirname "$peer")/echolink_peer"
eldir="$(dirname "$peer")/echolink_directory"
source "$here/radio_rig.bash"
source "$here/echolink_rig.bash"
need jackd sox bc
for tool in "$elpeer" "$eldir"; do [ -x "$tool" ] || { echo "SKIP: $tool is not built"; exit 77; }; done
rig_start
export XDG_STATE_HOME="$work/state"
el_settings </dev/null
echo "RxLimit=2" >>"$work/home/quillmere_radio.ini"
el_directory_start
el_node_start
el_station_start
echo "connect 127.0.0.1" >&$el
await '^connected' 15 "$work/el_out.txt"
await '> connect PE1ER Peer 127\.0\.0\.2$' 10 "$work/transcript.txt"
# The connect announcement over (it holds the program, whose transcript would then lag).
for _ in $(seq 100); do sed -n '/> connect PE1ER/,$p' "$work/transcript.txt" | grep -q 'ptt off$' && break; sleep 0.1; done

# The cycles of 700 Hz the station heard in its last "rx off SAMPLES HZ RMS" (at 8 kHz).
heard_cycles() {
  local _ samples hz
  read -r _ _ samples hz _ <<<"$(grep '^rx off ' "$work/el_out.txt" | tail -1)"
  echo "$hz * $samples / 8000" | bc -l
}

# Held: five seconds of tone under a carrier that never drops. The station hears it until RxLimit, not to the end.
sox -n -r 48000 -b 16 -c 1 "$work/long.wav" synth 5 sine 700 vol 0.5 || fail "sox could not make the tone"
printf O >"$work/squelch"
sleep 0.3
rig_peer "play $work/long.wav" >/dev/null
await '^rx off ' 5 "$work/el_out.txt"
await '> carrier off$' 5 "$work/transcript.txt"
cycles=$(heard_cycles)
echo "held carrier: the station heard $cycles cycles of the tone's 3500"
(($(echo "$cycles >= 300 && $cycles <= 1800" | bc -l))) || fail "the station heard $cycles cycles, not about 2 s"
history="$work/state/quillmere/quillmere_history.log"
await 'carrier has been held for RxLimit \(2 s\)' 5 "$history"
[ "$(grep -c 'held for RxLimit' "$work/stderr.txt")" = 1 ] || fail "the cut was not told once: $(cat "$work/stderr.txt")"

# Dropped and up again: the receiver counts again and the station hears a second of tone.
printf Z >"$work/squelch"
await 'held past RxLimit has dropped' 5 "$history"
sox -n -r 48000 -b 16 -c 1 "$work/short.wav" synth 1 sine 700 vol 0.5 || fail "sox could not make the tone"
printf O >"$work/squelch"
sleep 0.3
rig_peer "play $work/short.wav" >/dev/null
sleep 0.2
printf Z >"$work/squelch"
for _ in $(seq 100); do [ "$(grep -c '^rx off ' "$work/el_out.txt")" -ge 2 ] && break; sleep 0.1; done
[ "$(grep -c '^rx off ' "$work/el_out.txt")" -ge 2 ] || fail "the station heard nothing of the second carrier"
cycles=$(heard_cycles)
echo "second carrier: the station heard $cycles cycles of the tone's 700"
(($(echo "$cycles >= 630 && $cycles <= 800" | bc -l))) || fail "the station heard $cycles cycles, not the whole second"
for _ in $(seq 50); do [ "$(grep -c '> carrier on$' "$work/transcript.txt")" -ge 2 ] && break; sleep 0.1; done
[ "$(grep -c '> carrier on$' "$work/transcript.txt")" -ge 2 ] || fail "the program did not hear the second carrier"
echo "disconnect" >&$el
echo quit >&$el
exec {el}>&-
echo quit >&$dir
exec {dir}>&-
exec {console}>&-
echo PASS
