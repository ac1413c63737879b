#!/usr/bin/env bash
# Installs what is missing, builds, and runs Quillmere on its embedded defaults: the simulated EchoLink node and
# Skype client. Extra arguments go to the program (see --help).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh >/dev/null
exec build/quillmere --headless "$@"
