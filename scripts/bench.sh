#!/usr/bin/env bash
# Builds Quillmere with its benchmarks (build/, optimised) and runs every benchmark, then prints one table of the
# figures beside their budgets. Takes a few minutes: the idle measurement alone watches the program for a minute.
#   scripts/bench.sh [IDLE_SECONDS]      (default 60)
# Details of each measurement go to build/bench.log.
set -euo pipefail
cd "$(dirname "$0")/.."

idle_seconds=${1:-60}
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMERE_BENCH=ON >/dev/null
cmake --build build -j "$(nproc)" --target quillmere simulated_day history_append_bench timer_census qt_timer_floor \
  realtime_bench >/dev/null

log=build/bench.log
figures=build/bench.figures
: >"$log"
: >"$figures"
run() {
  echo "== $*" >>"$log"
  "$@" 2>>"$log" | grep '^figure' | cut -f2- >>"$figures"
}

echo "Running the benchmarks (details in $log) ..." >&2
run build/simulated_day
run build/history_append_bench
timers=$(build/timer_census 2>>"$log")
run build/realtime_bench build/quillmere build/qt_timer_floor "$timers" "$idle_seconds"
# The desktop program's resident memory, drawn offscreen: its windows, the node simulator and Qt Widgets on top of
# the headless program (no budget of its own).
desktop_home=$(mktemp -d)
QT_QPA_PLATFORM=offscreen build/quillmere --no-report --voice estimate --home "$desktop_home" \
  --machine-dir "$desktop_home" --transcript /dev/null </dev/null 2>>"$log" &
desktop=$!
sleep 4
rss_kb=$(sed -n 's/^VmRSS:\s*\([0-9]*\) kB/\1/p' "/proc/$desktop/status")
kill "$desktop"
wait "$desktop" 2>/dev/null || true
rm -rf "$desktop_home"
printf 'resident memory, desktop program (offscreen), after start-up\t%s MiB\t-\tmeasured\n' \
  "$(awk -v kb="$rss_kb" 'BEGIN { printf "%.1f", kb / 1024 }')" >>"$figures"

{
  printf 'figure\tvalue\tbudget\tverdict\n'
  cat "$figures"
} | column -t -s $'\t'
echo
echo "$(uname -m), $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1); $(date -u +%Y-%m-%d)"
! grep -q 'OVER BUDGET' "$figures"
