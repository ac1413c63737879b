#!/usr/bin/env bash
# run_gtest.sh turns GoogleTest's exit status into CTest's: skipped cases make 77 (skipped) only when nothing failed.
#   run_gtest_test.sh RUN_GTEST
set -uo pipefail
runner=$1
failed=0
check() {
  local want=$1 output=$2 status=$3
  "$runner" sh -c "printf '%s\n' \"\$0\"; exit $status" "$output" >/dev/null
  local got=$?
  [ "$got" -eq "$want" ] || { echo "FAIL: exit $status with '$output' gave $got, not $want"; failed=1; }
}
check 0 "[  PASSED  ] 3 tests." 0
check 77 "[  SKIPPED ] 1 test, listed below:" 0
check 77 "[  SKIPPED ] 2 tests, listed below:" 0
check 1 "[  SKIPPED ] 1 test, listed below:" 1
check 1 "[  FAILED  ] 1 test, listed below:" 1
check 0 "a line that mentions [  SKIPPED ] in passing" 0
[ "$failed" -eq 0 ] && echo "PASS: skips show as skipped, failures as failures"
exit "$failed"
