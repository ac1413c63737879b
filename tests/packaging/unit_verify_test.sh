#!/usr/bin/env bash
# systemd-analyze verify on quillmere.service as this build installs it, the program's path pointed at the built
# program (systemd checks that it exists) and the manual page's folder on MANPATH (it checks the Documentation= link);
# then the lines a radio node's service depends on.
#   unit_verify_test.sh UNIT INSTALLED_PROGRAM BUILT_PROGRAM MAN_DIR
set -uo pipefail
unit=$1 installed=$2 built=$3 man_dir=$4

command -v systemd-analyze >/dev/null || { echo "SKIP: systemd-analyze is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s#$installed#$built#g" "$unit" >"$work/quillmere.service"
# systemd only warns of an unknown or misspelt key: any word from it is a problem.
if ! report=$(MANPATH=$man_dir systemd-analyze verify "$work/quillmere.service" 2>&1) || [ -n "$report" ]; then
  echo "FAIL: systemd-analyze verify found problems in the unit:"
  echo "$report"
  exit 1
fi

failed=0
expect() {
  if ! grep -qxF -- "$1" "$unit"; then
    echo "FAIL: the unit lacks the line: $1"
    failed=1
  fi
}
# No backend option: the settings in /etc/quillmere choose the node and the telephone.
expect "ExecStart=$installed --headless --home /etc/quillmere --machine-dir /etc/quillmere"
expect "Type=notify"
expect "WatchdogSec=30s"
expect "ExecStopPost=$installed --release-ptt --home /etc/quillmere"
expect "User=quillmere"
expect "Restart=on-failure"
expect "StartLimitBurst=5"
expect "StartLimitIntervalSec=10min"
expect "StandardInput=null"
expect "StandardError=journal"
expect "StateDirectory=quillmere"
expect "NoNewPrivileges=yes"
expect "ProtectSystem=strict"
expect "ReadWritePaths=/etc/quillmere"
expect "ProtectHome=yes"
expect "PrivateTmp=yes"
expect "DevicePolicy=closed"
for device in char-alsa char-ttyS char-ttyUSB char-ttyACM char-hidraw char-gpiochip /dev/ptmx char-pts; do
  expect "DeviceAllow=$device rw"
done
grep -q '^Environment=.*XDG_STATE_HOME=/var/lib/quillmere' "$unit" || { echo "FAIL: XDG_STATE_HOME is not the state folder"; failed=1; }
grep -q '^Environment=.*XDG_RUNTIME_DIR=/run/quillmere' "$unit" || { echo "FAIL: the lock is not in the runtime folder"; failed=1; }
[ "$failed" -eq 0 ] && echo "PASS: systemd-analyze verify, and the unit runs a hardened headless radio node"
exit "$failed"
