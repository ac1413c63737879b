#!/usr/bin/env bash
# Installs what is missing, builds, and runs Quillmere on its embedded defaults: the simulated EchoLink node and
# Skype client. With a display the desktop program opens its windows and the node simulator; without one it runs
# headless. Extra arguments go to the program (see --help).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh >/dev/null
exec build/quillmere "$@"
