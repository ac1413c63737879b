#!/usr/bin/env bash
# The manual page formats without a warning, and names every option --help names and every settings table's file.
#   manpage_test.sh PAGE PROGRAM
set -uo pipefail
page=$1 program=$2

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=100 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "FAIL: the page formats with warnings:"; echo "$warnings"; exit 1; }
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null | col -b)
failed=0
for option in $("$program" --help | grep -oE '^  --[a-z-]+' | sort -u); do
  grep -qE -- "^ +$option( |$)" <<<"$text" || { echo "FAIL: the page has no entry for $option"; failed=1; }
done
for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES SERVICE; do
  grep -qx "$section" <<<"$text" || { echo "FAIL: the page has no $section section"; failed=1; }
done
grep -q 'quillmere_sip.ini' <<<"$text" && grep -qE '^ +DialPattern$' <<<"$text" ||
  { echo "FAIL: the README's SIP settings table is not in the page"; failed=1; }
[ "$failed" -eq 0 ] && echo "PASS: the page formats cleanly and holds every option and the settings tables"
exit "$failed"
