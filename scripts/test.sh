#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit tests, scenario files and GUI tests.
# With --sanitize, the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh "$@"
dir=build
[ "${1:-}" = "--sanitize" ] && dir=build-sanitize
# JACK keeps a registry of at most eight servers in /dev/shm, and a server that was killed leaves its entry behind
# for good. With no JACK server running, stale entries are cleared, so the radio tests' servers can start.
if ! pgrep -x jackd >/dev/null 2>&1 && ! pgrep -x jackdbus >/dev/null 2>&1; then
  rm -rf /dev/shm/jack-* /dev/shm/jack_* 2>/dev/null || true
fi
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
