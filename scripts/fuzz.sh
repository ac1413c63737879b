#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (into build-fuzz/) and runs each for SECONDS (default 5), from the
# seed inputs in fuzz/corpus/ and whatever earlier runs added in build-fuzz/corpus/. Any crash stops the run with its
# input saved in build-fuzz/ and a non-zero status.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: profile_file scenario_parser dtmf skype_message station_text
#                                           echolink_packet web_request
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-5}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(profile_file scenario_parser dtmf skype_message station_text echolink_packet web_request)

scripts/install-deps.sh --fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMERE_FUZZ=ON -DQUILLMERE_WERROR=ON \
  -DQUILLMERE_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzzers -j "$(nproc)"

mkdir -p build-fuzz/logs
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus"
  log=build-fuzz/logs/$t.log
  if ! (cd build-fuzz && "./${t}_fuzz" -max_total_time="$seconds" -timeout=30 -max_len=8192 -print_final_stats=1 \
      "corpus/$t" "../fuzz/corpus/$t") >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $t FAILED (input saved in build-fuzz/, log in $log)"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz: $t clean, $runs executions in $seconds s"
done
