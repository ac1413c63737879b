#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit tests, scenario files and GUI tests.
# With --sanitize, the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
# At the end, each skipped test with the reason it gave (a missing tool, a machine that cannot do what it needs).
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
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
status=0
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" | tee "$summary" || status=$?

# ctest names the skipped tests; each one's reason is in its output: a script's "SKIP: ..." line, or the line after a
# GoogleTest case's "Skipped".
skipped=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$summary")
if [ -n "$skipped" ]; then
  echo "Skipped tests and why:"
  for name in $skipped; do
    reason=$(awk -v test="$name" '
      index($0, "Testing: ") && $0 ~ /^[0-9]+\/[0-9]+ Testing: / { on = (substr($0, index($0, "Testing: ") + 9) == test); next }
      !on { next }
      after { why = why (why ? "; " : "") $0; after = 0; next }
      /: Skipped$/ { after = 1; next }
      /^SKIP/ { why = why (why ? "; " : "") $0 }
      END { print why }' "$dir/Testing/Temporary/LastTest.log")
    echo "  $name: ${reason:-(it gave no reason)}"
  done
fi
exit "$status"
