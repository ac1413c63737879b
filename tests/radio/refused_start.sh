#!/usr/bin/env bash
# A refused start never touches the transmitter: with a callsign without "-", or with another copy running, the
# program ends before the radio node opens its lines, so the PTT line is never even made. A copy that does not see the
# first (another XDG_RUNTIME_DIR: another login, a service beside a desktop run) finds the lines themselves held and
# is refused, naming the line, with the first's line left as it was.
#   refused_start.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$3
source "$here/radio_rig.bash"
need jackd
rig_start
settings() {  # the PTT and squelch lines' names
  printf '[SETTINGS]\nJackServer=\nSquelch=pty:%s/%s-squelch\nPtt=pty:%s/%s-ptt\n' "$work" "$1" "$work" "$1" \
    >"$work/home/quillmere_radio.ini"
}

settings nodash
timeout 20 "$quillmere" --headless --node radio --voice estimate --no-report --callsign N0CALL --home "$work/home" \
  --machine-dir "$work/machine" </dev/null >"$work/transcript.txt" 2>"$work/stderr.txt"
grep -q exit "$work/transcript.txt" || fail "a callsign without '-' did not end the program"
[ -e "$work/nodash-ptt" ] && fail "the refused start made the PTT line"

settings first
mkfifo "$work/console"
"$quillmere" --headless --node radio --voice estimate --no-report --home "$work/home" --machine-dir "$work/machine" \
  <"$work/console" >"$work/first.txt" 2>"$work/stderr.txt" &
qm_pid=$!
exec {console}>"$work/console"
for _ in $(seq 100); do [ -e "$work/first-ptt" ] && break; sleep 0.1; done
[ -e "$work/first-ptt" ] || fail "the first copy did not start its node"
settings second
timeout 20 "$quillmere" --headless --node radio --voice estimate --no-report --home "$work/home" \
  --machine-dir "$work/machine" </dev/null >"$work/transcript.txt" 2>"$work/stderr2.txt"
grep -q exit "$work/transcript.txt" || fail "a second copy did not end"
[ -e "$work/second-ptt" ] && fail "the second copy made its PTT line"
cat "$work/transcript.txt"

settings first
link=$(readlink "$work/first-ptt")
mkdir -m 700 "$work/run2"
XDG_RUNTIME_DIR="$work/run2" timeout 20 "$quillmere" --headless --node radio --voice estimate --no-report \
  --home "$work/home" --machine-dir "$work/machine" </dev/null >"$work/third.txt" 2>"$work/stderr3.txt"
grep -q "Ptt=pty:$work/first-ptt: .*another program holds this line" "$work/stderr3.txt" ||
  fail "a copy beside the first was not refused for the held line: $(cat "$work/stderr3.txt")"
[ "$(readlink "$work/first-ptt")" = "$link" ] || fail "the refused copy replaced the first's PTT line"
kill -0 "$qm_pid" 2>/dev/null || fail "the first copy did not survive the second"
exec {console}>&-
grep -m1 'another program' "$work/stderr3.txt"
echo PASS
