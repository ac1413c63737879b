#!/usr/bin/env bash
# The warning before the longest call ends a call reaches the caller as well as the air: the radio node with the
# simulated telephone, a JACK client standing in for baresip's (quillmere-call) recording what the far end hears. With
# no carrier the far end hears nothing; "Thirty seconds left" is keyed on the air and heard by the far end.
#   call_warning.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$3
source "$here/radio_rig.bash"
need jackd
rig_start
cat >"$work/home/quillmere_radio.ini" <<INI
[SETTINGS]
JackServer=
Squelch=pty:$work/squelch
Ptt=pty:$work/ptt
INI
printf '[SETTINGS]\r\nDefault=allow\r\nLongestCallMinutes=1\r\n' >"$work/home/quillmere_dialrules.ini"
mkfifo "$work/console"
"$quillmere" --headless --node radio --voice espeak --no-report --home "$work/home" --machine-dir "$work/machine" \
  <"$work/console" >"$work/transcript.txt" 2>"$work/stderr.txt" &
qm_pid=$!
exec {console}>"$work/console"
rig_wait_node

# The far end's JACK client, named as baresip's: the node links it as the call.
coproc PEER { "$peer" --record "$work/call.wav" --client quillmere-call --to quillmere:call_in --from quillmere:call_out; }
read -r -t 15 -u "${PEER[0]}" line || fail "radio_peer did not start"
[[ "$line" == ready* ]] || fail "radio_peer: $line"

# Placed once the simulated telephone has attached (a second or so after the start; a send before that disconnects,
# and the test connects again).
sleep 2
for _ in $(seq 5); do
  echo 'set frmMain.txtSend "CALL 5551234"' >&$console
  echo 'click frmMain.cmdSend' >&$console
  sleep 0.5
  grep -q 'sent "CALL 5551234"' "$work/transcript.txt" && break
  echo 'click frmMain.cmdConnect' >&$console
  sleep 2
done
echo 'skype answer' >&$console
for _ in $(seq 100); do grep -q 'notify "CALL 1 STATUS INPROGRESS"' "$work/transcript.txt" && break; sleep 0.1; done
grep -q 'notify "CALL 1 STATUS INPROGRESS"' "$work/transcript.txt" || fail "the simulated call was not answered"
sleep 1
# Thirty seconds before the minute's end, told by the telephone as it tells each second.
echo 'skype notify "CALL 1 DURATION 30"' >&$console
for _ in $(seq 100); do grep -q 'say "Thirty seconds left"' "$work/transcript.txt" && break; sleep 0.1; done
grep -q 'say "Thirty seconds left"' "$work/transcript.txt" || fail "no warning was spoken"
for _ in $(seq 100); do sed -n '/seconds left/,$p' "$work/transcript.txt" | grep -q 'ptt off$' && break; sleep 0.1; done
sleep 0.5
keys=$(rig_ptt_log)
[[ "$keys" == T*R ]] || fail "the warning was not keyed on the air: the PTT line wrote '$keys'"
heard=$(rig_peer_stop)
echo "the far end heard $heard ms of sound"
((heard >= 500 && heard <= 4000)) || fail "the far end heard $heard ms of sound, not the warning"
exec {console}>&-
echo PASS
