#!/usr/bin/env bash
# The manual page formats without a warning, names every option --help names and every settings table's file, and
# documents every key of every example file with the value that file holds, which is the program's default (the
# settings_table unit test reads each example file back through the program's reader).
#   manpage_test.sh PAGE PROGRAM EXAMPLES_DIR
set -uo pipefail
page=$1 program=$2 examples=$3

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=100 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "FAIL: the page formats with warnings:"; echo "$warnings"; exit 1; }
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null | col -bx)
failed=0
for option in $("$program" --help | grep -oE '^  --[a-z-]+' | sort -u); do
  grep -qE -- "^ +$option( |$)" <<<"$text" || { echo "FAIL: the page has no entry for $option"; failed=1; }
done
for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES SERVICE; do
  grep -qx "$section" <<<"$text" || { echo "FAIL: the page has no $section section"; failed=1; }
done
# Each key entry as one line, "FILE KEY TEXT": an entry starts with its key (its text beside it when the key is short),
# its text goes on in the deeper lines below.
entries=$(awk '
  function flush() { if (key != "") print file, key, body; key = "" }
  /^   [^ ]/ { flush(); sub(/^ +/, ""); if ($0 ~ /^quillmere[a-z_]*\.ini$/) file = $0; next }
  /^       [^ ]/ { flush(); key = $1; body = $0; sub(/^ *[^ ]+ */, "", body); next }
  /^        / && key != "" { t = $0; sub(/^ +/, "", t); body = body (body == "" ? "" : " ") t; next }
  /^$/ { next }
  { flush() }
  END { flush() }' <<<"$text")
keys=0
for example in "$examples"/*.ini; do
  file=$(basename "$example")
  while IFS= read -r line; do
    [[ $line == \;* || $line == \[* || $line != *=* ]] && continue
    key=${line%%=*} value=${line#*=}
    want="Default: ${value:-empty}."
    [ -z "$value" ] && want="Default: empty."
    keys=$((keys + 1))
    awk -v f="$file" -v k="$key" '$1 == f && $2 == k' <<<"$entries" | grep -qF -- "$want" ||
      { echo "FAIL: the page's $file has no entry $key with \"$want\""; failed=1; }
  done <"$example"
done
[ "$keys" -gt 0 ] || { echo "FAIL: no example files in $examples"; failed=1; }
[ "$failed" -eq 0 ] && echo "PASS: the page formats cleanly and holds every option and all $keys keys of the example files with their defaults"
exit "$failed"
