#!/usr/bin/env bash
# The radio node's figures, on a dummy JACK server of its own (48 kHz, 1024-frame periods, as a USB sound fob runs):
#  1. idle: quillmere --headless --node radio (Squelch=vox, so the VOX and the DTMF decoder take every sample; no
#     carrier) beside svxlink-server in the same run on comparable audio: svxlink's audio device is UDP
#     (udp:127.0.0.1:PORT: its ALSA "null" device has no clock and spins), fed 48 kHz stereo silence in 20 ms packets,
#     with a VOX squelch and its DTMF decoder. CPU (utime+stime from /proc) over the same window, resident memory;
#  2. the latencies (radio_latency): SetPTT to the line, keying to speech at radio_out, carrier drop to DTMFString.
#   bench/radio_bench.sh BUILD_DIR [SECONDS]     (default 60)
set -u
build=${1:-build}
seconds=${2:-60}
work=$(mktemp -d /tmp/quillmere-radio-bench-XXXXXX)
export JACK_DEFAULT_SERVER="quillmere-bench-$$"
pids=()
cleanup() {
  # The JACK server last, once its clients are gone, so it leaves JACK's server registry clean.
  for p in "${pids[@]:1}"; do kill "$p" 2>/dev/null; done
  sleep 0.3
  kill "${pids[0]}" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# --port-max 64: JACK's shared segment grows with it, and every client maps it (about 100 MB at the default).
jackd --no-realtime --port-max 64 -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 1024 >"$work/jackd.log" 2>&1 &
pids+=($!)
# Up before the node looks for it (on a loaded machine it can take seconds).
jack_wait -w -t 20 >/dev/null 2>&1 || { echo "the JACK server did not start: $(cat "$work/jackd.log")"; exit 1; }

mkdir -p "$work/home" "$work/machine"
printf '[SETTINGS]\r\nJackServer=\r\nSquelch=vox\r\nPtt=pty:%s/ptt\r\n' "$work" >"$work/home/quillmere_radio.ini"
printf '[SETTINGS]\r\nCheck1=0\r\n' >"$work/home/quillmere.ini"
mkfifo "$work/console"
"$build/quillmere" --headless --node radio --voice estimate --no-report --home "$work/home" \
  --machine-dir "$work/machine" <"$work/console" >"$work/transcript.txt" 2>"$work/stderr.txt" &
qm=$!
pids+=($qm)
exec 3>"$work/console"

port=$((47000 + $$ % 1000))
cat >"$work/svxlink.conf" <<CONF
[GLOBAL]
LOGICS=SimplexLogic
CARD_SAMPLE_RATE=48000
[SimplexLogic]
TYPE=Simplex
RX=Rx1
TX=Tx1
CALLSIGN=N0CALL
EVENT_HANDLER=/usr/share/svxlink/events.tcl
DEFAULT_LANG=en_US
[Rx1]
TYPE=Local
AUDIO_DEV=udp:127.0.0.1:$port
AUDIO_CHANNEL=0
SQL_DET=VOX
VOX_FILTER_DEPTH=20
VOX_THRESH=1000
SQL_HANGTIME=20
DTMF_DEC_TYPE=INTERNAL
[Tx1]
TYPE=Local
AUDIO_DEV=udp:127.0.0.1:$port
AUDIO_CHANNEL=0
PTT_TYPE=NONE
CONF
svx=""
if command -v svxlink >/dev/null; then
  svxlink --config="$work/svxlink.conf" >"$work/svxlink.log" 2>&1 &
  svx=$!
  pids+=($svx)
  # 960 stereo frames of silence every 20 ms, paced by the clock.
  python3 - "$port" <<'PY' &
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
packet = bytes(960 * 2 * 2)
t = time.monotonic()
while True:
    s.sendto(packet, ("127.0.0.1", int(sys.argv[1])))
    t += 0.02
    time.sleep(max(0, t - time.monotonic()))
PY
  pids+=($!)
fi
sleep 5   # both settle

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# The node's own threads: every thread but the program's (the main thread), i.e. the node's loop and JACK's.
node_ticks() {
  local sum=0
  for t in /proc/$1/task/*; do
    [ "${t##*/}" = "$1" ] && continue
    sum=$((sum + $(awk '{print $14 + $15}' "$t/stat")))
  done
  echo $sum
}
# The scheduler's own count of run time, in ns over every thread: the clock ticks above are sampled (10 ms each), so a
# minute of well under 1 % reads a few dozen of them and differs by a third from run to run.
runtime() { cat /proc/$1/task/*/schedstat 2>/dev/null | awk '{s += $1} END {print s}'; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
hz=$(getconf CLK_TCK)
q0=$(ticks $qm)
n0=$(node_ticks $qm)
r0=$(runtime $qm)
[ -n "$svx" ] && s0=$(ticks $svx) && sr0=$(runtime $svx)
t0=$(date +%s.%N)
sleep "$seconds"
q1=$(ticks $qm)
n1=$(node_ticks $qm)
r1=$(runtime $qm)
[ -n "$svx" ] && s1=$(ticks $svx) && sr1=$(runtime $svx)
t1=$(date +%s.%N)
elapsed=$(echo "$t1 - $t0" | bc -l)
printf 'idle quillmere --node radio    CPU %6.2f %% of a core   resident %6.1f MB   (%s s)\n' \
  "$(echo "100 * ($q1 - $q0) / $hz / $elapsed" | bc -l)" "$(echo "$(rss $qm) / 1024" | bc -l)" "$seconds"
printf '  of which the node (its loop and JACK threads) %6.2f %%; the program on its main thread the rest\n' \
  "$(echo "100 * ($n1 - $n0) / $hz / $elapsed" | bc -l)"
if [ -n "$svx" ]; then
  printf 'idle svxlink-server (same run) CPU %6.2f %% of a core   resident %6.1f MB\n' \
    "$(echo "100 * ($s1 - $s0) / $hz / $elapsed" | bc -l)" "$(echo "$(rss $svx) / 1024" | bc -l)"
  q=$(echo "100 * ($r1 - $r0) / 1000000000 / $elapsed" | bc -l)
  v=$(echo "100 * ($sr1 - $sr0) / 1000000000 / $elapsed" | bc -l)
  printf 'run time as the scheduler counts it: quillmere %.3f %%, svxlink-server %.3f %%, ratio %.2f\n' \
    "$q" "$v" "$(echo "$q / $v" | bc -l)"
else
  printf 'run time as the scheduler counts it: quillmere %.3f %%\n' \
    "$(echo "100 * ($r1 - $r0) / 1000000000 / $elapsed" | bc -l)"
fi
echo "  quillmere's resident memory: $(grep -E 'RssAnon|RssFile|RssShmem' /proc/$qm/status | tr -s ' \t\n' ' ')"
awk '/^[0-9a-f]+-/ {name=$6} /^Rss:/ {if ($2 > 4096) print "  mapped", $2, "kB", name}' /proc/$qm/smaps
grep -q 'radio_in' <(jack_lsp 2>/dev/null) || echo "(quillmere's ports were missing: $(cat "$work/stderr.txt"))"
exec 3>&-
kill $qm 2>/dev/null
wait $qm 2>/dev/null
"$build/radio_latency" 50
