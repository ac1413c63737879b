#!/usr/bin/env bash
# Installs what is missing, builds, and runs Quillmere on its embedded defaults: the simulated EchoLink node and
# Skype client. With a display the desktop program opens its windows and the node simulator; without one it runs
# headless. Extra arguments go to the program (see --help).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# The build's steps counted on one line (a first build takes many minutes); its whole output kept in a log, shown
# when it fails.
log=$(mktemp -t quillmere-build.XXXXXX.log)
echo "Building Quillmere (its output goes to $log) ..." >&2
steps() {
  local line
  while IFS= read -r line; do
    [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]] && printf '\r  step %s of %s' "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" >&2
  done
  return 0
}
if ! scripts/build.sh 2>&1 | tee "$log" | steps; then
  echo >&2
  tail -n 40 "$log" >&2
  echo "run.sh: the build failed; its whole output is in $log" >&2
  exit 1
fi
echo >&2
rm -f "$log"
exec build/quillmere "$@"
