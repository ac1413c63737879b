#!/usr/bin/env bash
# Writes the manual page quillmere.1 from the program's --help text, the settings tables the program reads its files
# by (settings_doc) and, for files without such a table, the reference's key tables, so that the page says what the
# program and the reference say.
#   packaging/make-manpage.sh PROGRAM SETTINGS_DOC docs/reference.md OUT.1
set -euo pipefail
program=$1 settings_doc=$2 readme=$3 out=$4

# The help as a fresh account sees it: the folders read "~/.config/quillmere", not the builder's own.
help=$(env -u XDG_CONFIG_HOME HOME='~' "$program" --help)
version=$("$program" --version | awk '{print $2}')
epoch=${SOURCE_DATE_EPOCH:-$(stat -c %Y "$readme")}
date=$(date -u -d "@$epoch" +%Y-%m-%d)

# Roff text: backslashes doubled, a leading dot or quote kept as text, `code` in bold.
roff='s/\\/\\e/g; s/^([.'"'"'])/\\\&\1/; s/`([^`]*)`/\\fB\1\\fR/g; s/\*\*([^*]*)\*\*/\\fB\1\\fR/g'
help=$(printf '%s\n' "$help" | sed -E "$roff")

{
  echo ".TH QUILLMERE 1 \"$date\" \"quillmere $version\" \"User Commands\""
  echo ".SH NAME"
  echo "quillmere \\- DTMF-controlled telephone gateway and repeater controller for EchoLink nodes"
  echo ".SH SYNOPSIS"
  echo ".nf"
  printf '%s\n' "$help" | awk '/^Usage: /{on=1; sub(/^Usage: /, "")} on && /^$/{exit} on{sub(/^ +/, "  "); print}' | sed -E 's/-/\\-/g'
  echo ".fi"
  echo ".SH DESCRIPTION"
  printf '%s\n' "$help" | awk 'seen==1 && /^$/{exit} seen==1{print} /^$/ && !seen{seen=1}'
  echo ".PP"
  echo "Without an option it runs the desktop program when a display is there, headless otherwise."
  echo "Headless, scenario commands are read from standard input and the transcript is written to standard output;"
  echo "problems go to standard error, one line each, starting with \\fBquillmere:\\fR."
  echo ".SH OPTIONS"
  # Each option line: two blanks, the option, two or more blanks, its text; deeper lines continue the text. The
  # folder this machine resolves ("here ...") is left out: the page is the same everywhere.
  printf '%s\n' "$help" | awk '
    function flush() { if (term != "") { gsub(/, here [^)]*\)/, ")", text); gsub(/-/, "\\-", term); printf ".TP\n\\fB%s\\fR\n%s\n", term, text } }
    /^  [-(]/ {
      flush()
      line = substr($0, 3)
      split(line, parts, /  +/)
      term = parts[1]
      text = substr(line, length(term) + 1); sub(/^ +/, "", text)
      next
    }
    /^                     / && term != "" { t = $0; sub(/^ +/, "", t); text = text " " t; next }
    /^$/ && term != "" { exit }
    END { flush() }
  '
  echo ".SH FILES"
  printf '%s\n' "$help" | awk '/^Settings files:/{on=1} on{print}'
  "$settings_doc" --man
  # Every reference table whose first column is "key": the settings of the file the text last named before it, unless
  # the program's own tables gave that file above.
  sed -E "$roff" "$readme" | awk -v tabled="$("$settings_doc" --files | tr '\n' ' ')" '
    BEGIN { n = split(tabled, t, / /); for (i = 1; i <= n; i++) if (t[i] != "") done[t[i]] = 1 }
    function cell(s) { sub(/^ +/, "", s); sub(/ +$/, "", s); return s }
    intable && !/^\|/ { intable = 0 }
    intable && /^\|[-| :]+\|$/ { next }
    intable == 2 { next }
    intable {
      n = split($0, c, /\|/)
      key = cell(c[2]); text = ""
      for (i = 3; i < n; i++) text = text (i > 3 ? " | " : "") cell(c[i])
      printf ".TP\n%s\n%s\n", key, text
      next
    }
    /^\| *key/ {
      if (file in done) { intable = 2; next }
      intable = 1
      printf ".SS %s\n", (file != "" ? file : "settings")
      next
    }
    {
      line = $0
      while (match(line, /quillmere_[a-z_]*\.ini/)) { file = substr(line, RSTART, RLENGTH); line = substr(line, RSTART + RLENGTH) }
    }
  '
  cat <<'EOF'
.SH SERVICE
The package installs the systemd unit \fBquillmere.service\fR, which runs
\fBquillmere \-\-headless \-\-node radio \-\-home /etc/quillmere \-\-machine\-dir /etc/quillmere\fR
as the system user \fBquillmere\fR (in the groups audio, dialout, plugdev and gpio), with its state under
/var/lib/quillmere, standard input closed and the transcript and every problem in the journal
(\fBjournalctl \-u quillmere\fR).
After every end, a crash included, it runs \fBquillmere \-\-release\-ptt\fR so the transmitter is never left keyed.
Set the node up in /etc/quillmere, then \fBsystemctl enable \-\-now quillmere\fR.
Example settings files are in /usr/share/doc/quillmere/examples/.
.SH EXIT STATUS
0 on a normal end and when every expectation of a scenario holds; 1 when an expectation fails; 2 for a bad option
or a wrong scenario script.
.SH SEE ALSO
.BR baresip (1),
.BR jackd (1),
.BR systemd.service (5)
EOF
} >"$out"
