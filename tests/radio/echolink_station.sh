#!/usr/bin/env bash
# The radio node as an EchoLink node, end to end on loopback: a second station (echolink_peer on 127.0.0.2) calls
# the node on 127.0.0.1. Its connect is in the transcript and announced on the air between `ptt on` and `ptt off`;
# its chat "/ver/" is answered in its chat; its talk gives `> rx on` ... `> rx off` with the PTT line keyed T then R
# and the sound on radio_out; its leaving gives `> disconnect`. The radio's audio reaches the station, the status
# code keyed on the radio is answered on the air, and a save of EchoLinkSettings logs in anew. Both stations log in to the stand-in directory on
# 127.0.0.1:5200 (the node lets in only a caller listed there); the node logs off there when SIGTERM ends it.
#   echolink_station.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR   (echolink_peer, echolink_directory beside RADIO_PEER)
set -u
quillmere=$1 peer=$2 here=$3
elpeer="$(dirname "$peer")/echolink_peer"
eldir="$(dirname "$peer")/echolink_directory"
source "$here/radio_rig.bash"
source "$here/echolink_rig.bash"
need jackd sox bc
for tool in "$elpeer" "$eldir"; do [ -x "$tool" ] || { echo "SKIP: $tool is not built"; exit 77; }; done
rig_start
el_settings <<<"Location=Test hill"
el_directory_start
el_node_start
el_station_start
await 'Logged in to the EchoLink directory as N0QM-L' 10 "$work/stderr.txt"
echo "connect 127.0.0.1" >&$el
await '^connected' 15 "$work/el_out.txt"
await '> connect PE1ER Peer 127\.0\.0\.2$' 10 "$work/transcript.txt"
# The connect announcement is spoken on the air: the program keys, speaks, releases.
for _ in $(seq 200); do
  after=$(sed -n '/> connect PE1ER/,$p' "$work/transcript.txt" | sed -e 's/^[0-9:.]* //' | tr '\n' '|')
  [[ "$after" == *"ptt off"* ]] && break
  sleep 0.1
done
[[ "$after" =~ ptt\ on\|say\ \"P\ E\ 1\ E\ R.*Connected.*\|ptt\ off ]] ||
  fail "the connect was not announced between ptt on and ptt off: $after"

echo "chat /ver/" >&$el
await '> chat ".*/ver/"$' 10 "$work/transcript.txt"
await '^chat .*Quillmere' 10 "$work/el_out.txt"

before=$(rig_ptt_log)
echo "tone 1000 2000" >&$el
await '> rx on$' 10 "$work/transcript.txt"
await '> rx off$' 15 "$work/transcript.txt"
sleep 0.5
keys=$(rig_ptt_log)
during=${keys#"$before"}
[[ "$during" =~ ^(TR+)+$ ]] || fail "the PTT line wrote '$during' for the station's talk, not T then R"

# The radio's receive audio goes to the station while the carrier is up.
sox -n -r 48000 -b 16 -c 1 "$work/radio.wav" synth 1.5 sine 700 vol 0.5 || fail "sox could not make the radio's tone"
printf O >"$work/squelch"
sleep 0.3
rig_peer "play $work/radio.wav" >/dev/null
sleep 0.2
printf Z >"$work/squelch"
await '^rx off ' 10 "$work/el_out.txt"
heard=$(grep '^rx off ' "$work/el_out.txt" | tail -1)
echo "the station heard the radio: $heard"
# SAMPLES at 8 kHz and HZ over all of them: the cycles heard are the tone's 1050 (700 Hz for 1.5 s).
read -r _ _ samples hz _ <<<"$heard"
cycles=$(echo "$hz * $samples / 8000" | bc -l)
(($(echo "$cycles >= 1000 && $cycles <= 1100" | bc -l))) ||
  fail "the station did not hear the radio's 1.5 s of 700 Hz ($cycles cycles): '$heard'"

# The node's status function keyed on the radio: answered on the air in the program's voice.
el_key_dtmf 08
await '> dtmf "08"$' 10 "$work/transcript.txt"
await 'say ".*connected.*Directory online' 10 "$work/transcript.txt"

echo "disconnect" >&$el
await '> disconnect PE1ER$' 10 "$work/transcript.txt"
echo quit >&$el
exec {el}>&-
wait "$el_pid"

# The settings saved in the EchoLinkSettings window: the node logs in anew with them.
echo 'set EchoLinkSettings.txtLocation "Other hill"' >&$console
echo 'click EchoLinkSettings.cmdSave' >&$console
for _ in $(seq 100); do
  [ "$(grep -c 'Logged in to the EchoLink directory as N0QM-L' "$work/stderr.txt")" -ge 2 ] && break
  sleep 0.1
done
[ "$(grep -c 'Logged in to the EchoLink directory as N0QM-L' "$work/stderr.txt")" -ge 2 ] ||
  fail "the node did not log in anew after the settings were saved: $(tail -5 "$work/stderr.txt")"
grep -q '^Location=Other hill' "$work/home/quillmere_echolink.ini" || fail "the window did not save the Location"

sound=$(rig_peer_stop)
# The end: the transmitter released, the node logged off at the directory (within its 3 s) before the program exits.
kill -TERM "$qm_pid"
for _ in $(seq 60); do kill -0 "$qm_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$qm_pid" 2>/dev/null && fail "quillmere did not end within 6 s of SIGTERM"
exec {console}>&-
echo logins >&$dir
await '^end' 5 "$work/dir_out.txt"
grep -q '^login N0QM-L ONLINE[^ ]* Other hill$' "$work/dir_out.txt" ||
  fail "the node did not log in with the saved Location: $(cat "$work/dir_out.txt")"
last=$(grep '^login N0QM-L ' "$work/dir_out.txt" | tail -1)
[[ "$last" == "login N0QM-L OFF"* ]] || fail "the node did not log off at the directory: $(cat "$work/dir_out.txt")"
echo quit >&$dir
exec {dir}>&-
wait "$dir_pid"
cat "$work/stderr.txt" >&2
# The station's two seconds of 1 kHz tone went out on radio_out: the 100 ms stretches of the recording that are
# loud (RMS over 0.2) and at 1 kHz (sox's rough frequency within 2 %); the speech is neither.
length=$(sox "$work/out.wav" -n stat 2>&1 | awk '/^Length/ {print $3}')
tone_windows=0
for start in $(seq 0 0.1 "$length"); do
  loud=$(sox "$work/out.wav" -n trim "$start" 0.1 stat 2>&1 |
    awk '/^RMS +amplitude/ {r=$3} /^Rough +frequency/ {f=$3} END {print (r + 0 > 0.2 && f >= 980 && f <= 1020)}')
  [ "$loud" = 1 ] && tone_windows=$((tone_windows + 1))
done
echo "1 kHz tone on radio_out: $tone_windows stretches of 100 ms; all sound: $sound ms"
((tone_windows >= 17 && tone_windows <= 23)) || fail "radio_out holds $tone_windows00 ms of the 1 kHz tone, not 2000 ms"
[ "$(rig_ptt_log)" = "" ] || [[ "$(rig_ptt_log)" =~ R$ ]] || fail "the PTT line was left keyed: $(rig_ptt_log)"
echo "PASS: PTT line $(rig_ptt_log), $sound ms of sound on the air"
