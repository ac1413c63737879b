#!/usr/bin/env bash
# A refused start never touches the transmitter. A PTT or squelch line of any type that cannot be opened ends the
# program (status 1) before the load keys or says anything. With a callsign without "-", or with another copy
# running, the program ends before the radio node opens its lines, so the PTT line is never even made. A copy that
# does not see the first (another XDG_RUNTIME_DIR: another login, a service beside a desktop run) finds the lines
# themselves held and is refused, naming the line, with the first's line left as it was.
#   refused_start.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$3
source "$here/radio_rig.bash"
rig_start_bare

# Lines that cannot be opened, each type in turn, with a good line of the other kind: no JACK is needed to fail.
missing=$work/no-such-folder
for lines in "pty:$missing/ptt pty:$work/sq" "serial:$missing/ttyUSB0:RTS pty:$work/sq" \
  "cm108:$missing/hidraw0:GPIO3 pty:$work/sq" "gpio:$missing/gpiochip0:5 pty:$work/sq" \
  "pty:$work/ptt pty:$missing/sq" "pty:$work/ptt serial:$missing/ttyUSB0:DCD" \
  "pty:$work/ptt cm108:$missing/hidraw0:VOL_UP" "pty:$work/ptt gpio:$missing/gpiochip0:6"; do
  read -r ptt squelch <<<"$lines"
  printf '[SETTINGS]\nJackServer=\nPtt=%s\nSquelch=%s\n' "$ptt" "$squelch" >"$work/home/quillmere_radio.ini"
  timeout 20 "$quillmere" --headless --node radio --voice estimate --no-report --home "$work/home" \
    --machine-dir "$work/machine" </dev/null >"$work/transcript.txt" 2>"$work/stderr.txt"
  status=$?
  [ "$status" -eq 1 ] || fail "Ptt=$ptt Squelch=$squelch: status $status, not 1"
  grep -Eq ' (ptt on|say) ' "$work/transcript.txt" && fail "Ptt=$ptt Squelch=$squelch: keyed or spoke before failing"
  grep -q "$missing" "$work/stderr.txt" || fail "Ptt=$ptt Squelch=$squelch: the failing line is not named"
done

need jackd
rig_start_server
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
