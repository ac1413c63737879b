#!/usr/bin/env bash
# The reference's key tables are the program's own: each "<!-- keys of FILE -->" block of docs/reference.md holds what
# settings_doc writes from FILE's table. To refresh them after a key changed:
#   build/settings_doc --reference docs/reference.md > /tmp/reference.md && mv /tmp/reference.md docs/reference.md
#   reference_test.sh docs/reference.md SETTINGS_DOC
set -uo pipefail
reference=$1 settings_doc=$2

blocks=$(grep -c '^<!-- keys of ' "$reference")
[ "$blocks" -eq "$("$settings_doc" --files | wc -l)" ] ||
  { echo "FAIL: $reference has $blocks key tables; the program has $("$settings_doc" --files | wc -l) settings tables"; exit 1; }
if ! diff -u "$reference" <("$settings_doc" --reference "$reference"); then
  echo "FAIL: the key tables of $reference differ from the program's (the diff above); refresh them as this test's"
  echo "      opening comment says"
  exit 1
fi
echo "PASS: the $blocks key tables of $reference are the program's"
