#!/usr/bin/env bash
# Installs what is missing, builds, and runs Quillmere on its embedded defaults: the simulated EchoLink node and
# Skype client. With a display the desktop program opens its windows and the node simulator; without one it runs
# headless. Extra arguments go to the program (see --help).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# The build's progress goes to standard error, so standard output stays the program's transcript.
if [ ! -x build/quillmere ]; then
  echo "run.sh: building Quillmere; the first build compiles everything and can take a quarter of an hour on two" \
    "cores (later builds take seconds)" >&2
fi
scripts/build.sh >&2
exec build/quillmere "$@"
