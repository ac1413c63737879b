#!/usr/bin/env bash
# Runs one real-call scenario: sipp plays the far end on 127.0.0.1, Quillmere runs the scenario on the wall clock
# with the SIP client (baresip). Everything stays on 127.0.0.1.
#
#   run_real_call.sh QUILLMERE SCENARIO PORT MODE
#     PORT  the far end's SIP port (its media and control ports are derived from it)
#     MODE  answer  the far end answers one call; passes when sipp counts it successful (BYE received)
#           busy    the far end answers one call with 486 Busy Here; passes when sipp counts it complete
#           keep    the far end answers up to two calls; sipp's own count is not checked
# Exit status: 0 passed, 1 failed, 77 skipped (baresip or sipp not installed).
set -u
quillmere=$1 scenario=$2 port=$3 mode=$4

for tool in baresip sipp; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is not installed (scripts/install-deps.sh installs baresip and sip-tester)"
    exit 77
  fi
done

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmere-real-call-XXXXXX")
sipp_pid=
cleanup() {
  if [ -n "$sipp_pid" ] && kill -0 "$sipp_pid" 2>/dev/null; then
    kill "$sipp_pid" 2>/dev/null
    wait "$sipp_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# sipp's media takes four ports from -mp and its control port one: spaced apart for tests that run side by side.
sipp_args=(-i 127.0.0.1 -p "$port" -mp $(((port - 5000) * 10 + 6000)) -cp $((port + 3000)) -nostdin -timeout 25s)
case "$mode" in
  answer) sipp_args+=(-sn uas -m 1) ;;
  busy) sipp_args+=(-sf "$here/busy.xml" -m 1) ;;
  keep) sipp_args+=(-sn uas -m 2) ;;
  *) echo "unknown mode $mode"; exit 2 ;;
esac
(cd "$work" && exec sipp "${sipp_args[@]}") >"$work/sipp.log" 2>&1 &
sipp_pid=$!

status=0
timeout 60 "$quillmere" --scenario "$scenario" --real-time --skype sip || status=$?
if [ "$status" -ne 0 ]; then
  echo "FAILED: the scenario ended with status $status; sipp said:"
  tr -d '\033' <"$work/sipp.log" | tail -n 20
  exit 1
fi

if [ "$mode" != keep ]; then
  sipp_status=0
  wait "$sipp_pid" || sipp_status=$?
  sipp_pid=
  if [ "$sipp_status" -ne 0 ]; then
    echo "FAILED: sipp ended with status $sipp_status (0 means every call was completed)"
    tr -d '\033' <"$work/sipp.log" | tail -n 40
    exit 1
  fi
  echo "sipp: $(tr -d '\033' <"$work/sipp.log" | grep -E 'Successful call|Failed call' | tail -n 2 | tr -s ' ')"
fi
exit 0
