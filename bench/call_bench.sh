#!/usr/bin/env bash
# The phone call's figures on the radio node, everything on one machine: a dummy JACK server of its own (48 kHz,
# 1024-frame periods), quillmere --headless --node radio --skype sip (baresip on JACK, started by the program), sipp
# on 127.0.0.1 as the far end. Three runs:
#  1. mouth-to-air: a 300 ms tone into radio_in with the carrier up -> call_out -> baresip -> sipp's RTP echo ->
#     baresip -> call_in -> the call's VOX keys -> radio_out after TxDelay (150 ms); ROUNDS times, from the tone's
#     first sample at radio_in to its first sample at radio_out (JACK's clock, to the sample);
#  2. CPU during that call (utime+stime from /proc) over 10 s with no carrier, and over 10 s of unbroken sound in both
#     directions (carrier up, the echo keying the transmitter), for quillmere and for baresip;
#  3. the far end's first sound to PTT keyed: sipp plays ROUNDS bursts of 400 ms, 3 s apart; a watcher client on
#     baresip's output port times each burst's onset, the PTT pty's reader times the T that follows (both on the
#     monotonic clock; JACK's and Python's are compared in the run).
#   bench/call_bench.sh BUILD_DIR [ROUNDS]     (default 10)
set -u
build=$(cd "${1:-build}" && pwd)
rounds=${2:-10}
quillmere=$build/quillmere peer=$build/radio_peer here=$(cd "$(dirname "$0")/../tests/radio" && pwd)
source "$here/radio_rig.bash"
source "$here/call_rig.bash"
need jackd baresip sipp python3 sox
rig_start
trap 'watch_stop; call_cleanup' EXIT
watch_pid=
watch_stop() { [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null; watch_pid=; }

start_node() {  # SIPP_ARGS...
  call_far_end 5500 "$@"
  mkfifo "$work/console"
  "$quillmere" --headless --node radio --skype sip --voice estimate --no-report --home "$work/home" \
    --machine-dir "$work/machine" --transcript "$work/transcript.txt" <"$work/console" 2>"$work/stderr.txt" &
  qm_pid=$!
  exec 4>"$work/console"
  call_wait_node
  rig_peer_start "$work/out.wav"
  call_dial
  call_wait_linked
  sleep 1
}

stop_node() {
  kill -TERM "$qm_pid"
  wait "$qm_pid"
  qm_pid=
  exec 4>&-
  rig_peer_stop >/dev/null
  call_cleanup_between
}

# Ends sipp and waits for baresip's port, so the next run can use the same ports; keeps JACK running.
call_cleanup_between() {
  for _ in $(seq 50); do ss -Hlun "sport = :5501" | grep -q . || break; sleep 0.1; done
  kill "$sipp_pid" 2>/dev/null
  wait "$sipp_pid" 2>/dev/null
  sipp_pid=
  kill "$ptt_reader" 2>/dev/null
  rm -f "$work/console" "$work/ptt.times"
}

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
cpu_percent() {  # PID SECONDS: % of one core over the next SECONDS
  local a b
  a=$(cpu_ticks "$1")
  sleep "$2"
  b=$(cpu_ticks "$1")
  python3 -c "print('%.1f' % (($b - $a) * 100 / $(getconf CLK_TCK) / $2))"
}

call_settings 5500
sox -n -r 48000 -b 16 -c 1 "$work/tone.wav" synth 0.3 sine 1000 vol 0.3
sox -n -r 48000 -b 16 -c 1 "$work/long.wav" synth 10 sine 1000 vol 0.3

# --- 1 and 2: the echo call ---
start_node -sn uas -rtp_echo
lat=()
for _ in $(seq "$rounds"); do
  printf O >"$work/squelch"
  sleep 0.1
  s=$(rig_peer now)
  rig_peer "play $work/tone.wav" >/dev/null
  printf Z >"$work/squelch"
  sleep 1.5
  o=$(rig_peer onset)
  [ "${o#onset }" -gt "${s#now }" ] && lat+=($(((${o#onset } - ${s#now }) / 1000)))
done
agent=$(pgrep -P "$qm_pid" -x baresip)
idle_qm=$( (cpu_percent "$qm_pid" 10 >"$work/cpu_qm") & cpu_percent "$agent" 10; wait)
idle_qm_own=$(cat "$work/cpu_qm")
printf O >"$work/squelch"
( rig_peer "play $work/long.wav" >/dev/null ) &
player=$!
sleep 0.5
busy_agent=$( (cpu_percent "$qm_pid" 9 >"$work/cpu_qm") & cpu_percent "$agent" 9; wait)
busy_qm=$(cat "$work/cpu_qm")
wait "$player"
printf Z >"$work/squelch"
rss=$(awk '/VmRSS/ { print $2 }' "/proc/$qm_pid/status")
stop_node
echo "mouth-to-air, radio_in -> call -> echo -> radio_out (ms, TxDelay 150 ms included), ${#lat[@]} of $rounds rounds:"
printf '%s\n' "${lat[@]}" | sort -n | awk '{ v[NR] = $1 } END { printf "  min %d, median %d, max %d\n", v[1], v[int((NR + 1) / 2)], v[NR] }'
echo "CPU during the call, % of one core: no carrier: quillmere $idle_qm_own, baresip $idle_qm;" \
  "sound both ways: quillmere $busy_qm, baresip $busy_agent; quillmere resident ${rss} kB"

# --- 3: the far end's first sound to PTT keyed ---
specs=(silence:2000)
for _ in $(seq "$rounds"); do specs+=(tone:400 silence:2600); done
python3 "$here/make_far_pcap.py" "$work/far.pcap" "${specs[@]}"
sed "s/milliseconds=\"14000\"/milliseconds=\"$((2000 + rounds * 3000 + 1000))\"/" "$here/call_far_end.xml" >"$work/far.xml"
start_node -sf "$work/far.xml"
port=$(jack_lsp | grep -E '^quillmere-call(-[0-9]+)?:output_1$' | head -1)
mkfifo "$work/watch.in"
"$peer" --record "$work/watch.wav" --from "$port" --client watch <"$work/watch.in" >"$work/watch.out" &
watch_pid=$!
exec 5>"$work/watch.in"
ask_watch() {
  local n
  n=$(wc -l <"$work/watch.out")
  echo "$1" >&5
  for _ in $(seq 100); do [ "$(wc -l <"$work/watch.out")" -gt "$n" ] && break; sleep 0.01; done
  tail -1 "$work/watch.out"
}
for _ in $(seq 50); do grep -q ready "$work/watch.out" && break; sleep 0.1; done
# JACK's clock against the monotonic clock: the smallest of twenty round trips to the watcher, from one process.
read -r offset spread < <(python3 - "$work/watch.in" "$work/watch.out" <<'PY'
import os, sys, time
fifo = os.open(sys.argv[1], os.O_WRONLY)
best = None
for _ in range(20):
    n = len(open(sys.argv[2]).read().splitlines())
    t1 = time.monotonic()
    os.write(fifo, b"now\n")
    while True:
        lines = open(sys.argv[2]).read().splitlines()
        if len(lines) > n and lines[-1].startswith("now "): break
    t2 = time.monotonic()
    if best is None or t2 - t1 < best[1]:
        best = (int(lines[-1].split()[1]) / 1e6 - (t1 + t2) / 2, t2 - t1)
print(best[0], round(best[1] * 1000, 2))
PY
)
onsets=()
end=$(($(date +%s) + rounds * 3 + 4))
last=
while [ "$(date +%s)" -lt "$end" ]; do
  o=$(ask_watch onset)
  if [ "${o#onset }" != 0 ] && [ "$o" != "$last" ]; then onsets+=("${o#onset }"); last=$o; fi
  sleep 0.2
done
echo quit >&5
exec 5>&-
watch_pid=
keyed=$(python3 - "$offset" "$work/ptt.times" "${onsets[@]}" <<'PY'
import sys
offset = float(sys.argv[1])
ts = [float(l.split()[1]) for l in open(sys.argv[2]) if l.startswith("T")]
out = []
for o in sys.argv[3:]:
    at = int(o) / 1e6 - offset
    after = [t for t in ts if t >= at - 0.2]
    if after: out.append(round((after[0] - at) * 1000))
out.sort()
print("%d bursts: min %d, median %d, max %d ms" % (len(out), out[0], out[(len(out) - 1) // 2], out[-1]) if out else "none")
PY
)
stop_node
echo "far end's first sound (at baresip's output port) to PTT keyed (CallVoxAttack 20 ms): $keyed" \
  "(JACK's clock against the monotonic clock: offset $offset s, measured within $spread ms)"
