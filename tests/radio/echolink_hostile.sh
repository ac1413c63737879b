#!/usr/bin/env bash
# The radio node as an EchoLink node against hostile stations on loopback (echolink_peer_raw.py on 127.0.0.x): the
# RTCP datagram that made libecholib walk off its buffer is survived; a station's info text with terminal control
# sequences reaches the transcript without them; audio sent far faster than real time does not keep the transmitter
# keyed after it stops; a station that connects and leaves twice a second is announced once; thirty unlisted callers
# do not make the node fetch the station list thirty times; and with one-time codes on, the node's own DTMF functions
# wait for DTMF control like the program's commands.
#   echolink_hostile.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR   (echolink_directory beside RADIO_PEER)
set -u
quillmere=$1 peer=$2 here=$3
eldir="$(dirname "$peer")/echolink_directory"
raw="$here/../tools/echolink_peer_raw.py"
source "$here/radio_rig.bash"
source "$here/echolink_rig.bash"
need jackd python3
[ -x "$eldir" ] || { echo "SKIP: $eldir is not built"; exit 77; }
rig_start
el_settings </dev/null
printf '[SETTINGS]\r\nOneTimeCodes=1\r\n' >"$work/home/quillmere_dialrules.ini"

alive() { kill -0 "$qm_pid" 2>/dev/null || fail "quillmere died $1: $(tail -5 "$work/stderr.txt")"; }
hostile() { python3 "$raw" "$1" 127.0.0.1 "$port_base" "${@:2}"; }
# Waits until the PTT line has been released for $1 seconds in a row; prints the seconds that took.
released_for() {
  local start=$SECONDS quiet=0
  while ((SECONDS - start < 60)); do
    if [[ "$(tr -dc 'TR' <"$work/ptt.log")" =~ (^|R)$ ]]; then quiet=$((quiet + 1)); else quiet=0; fi
    ((quiet >= $1 * 10)) && { echo $((SECONDS - start - $1)); return 0; }
    sleep 0.1
  done
  echo 60
}

el_directory_start
trap 'kill $dir_pid 2>/dev/null; rig_cleanup' EXIT
echo "add W1HAM 127.0.0.2" >&$dir
echo "add K2FLD 127.0.0.4" >&$dir
await '^added K2FLD' 5 "$work/dir_out.txt"

el_node_start
await 'Logged in to the EchoLink directory as N0QM-L' 10 "$work/stderr.txt"

# 16 bytes at the control port, from a station nobody knows.
hostile 127.0.0.2 killer
sleep 1
alive "of the RTCP datagram"

# A station's info text with control sequences: shown, never run.
hostile 127.0.0.2 connect W1HAM
await '> connect W1HAM ' 10 "$work/transcript.txt"
hostile 127.0.0.2 killer  # and once more at its connection
hostile 127.0.0.2 info 'W1HAM\x1b[31m red\x1b]0;owned\x07\rsecond line'
hostile 127.0.0.2 talk 1000
await '> stationtext ' 10 "$work/transcript.txt"
alive "of the RTCP datagram at a station's connection"
grep -aq $'[\x1b\x07]' "$work/transcript.txt" && fail "the transcript holds the station's control characters"
grep -aq '> stationtext "W1HAM�\[31m red�\]0;owned�\\rsecond line\\r"' "$work/transcript.txt" ||
  fail "the station text is not shown with its control characters made visible"
await '> rx off$' 10 "$work/transcript.txt"
released_for 2 >/dev/null

# 8,000 audio packets (640 s of speech) in 8 s: the transmitter is released soon after the last one.
hostile 127.0.0.2 flood 8000 8
after=$(released_for 3)
echo "transmitter released $after s after 8,000 packets in 8 s"
# The library holds its receive up to 1 s, then RxHang, the courtesy "I" and the tail: a few seconds (more on a loaded
# machine), not the 640 s of audio sent.
((after <= 15)) || fail "the transmitter stayed keyed $after s after the flood of audio"
grep -q 'W1HAM sends audio faster than real time' "$work/stderr.txt" || fail "the dropped audio was not logged"
hostile 127.0.0.2 bye
await '> disconnect W1HAM$' 10 "$work/transcript.txt"

# A station connecting and leaving twice a second for 10 s: announced once, and the transmitter let go.
hostile 127.0.0.4 flap K2FLD 10 0.5
connects=$(grep -ac '> connect K2FLD ' "$work/transcript.txt")
echo "K2FLD connected 20 times, announced $connects times"
((connects == 1)) || fail "K2FLD's 20 connections were announced $connects times"
after=$(released_for 3)
((after <= 15)) || fail "the transmitter was still keyed $after s after the station stopped"

# Thirty unlisted callers in 6 s: the station list is fetched for the first, and once more 10 s later for the others
# (who wait for it), not thirty times.
echo lists >&$dir
await '^lists ' 5 "$work/dir_out.txt"
before=$(grep '^lists ' "$work/dir_out.txt" | tail -1 | cut -d' ' -f2)
hostile 127.0.0.10 callers 30 0.2
sleep 12
echo lists >&$dir
for _ in $(seq 50); do [ "$(grep -c '^lists ' "$work/dir_out.txt")" -ge 2 ] && break; sleep 0.1; done
fetched=$(($(grep '^lists ' "$work/dir_out.txt" | tail -1 | cut -d' ' -f2) - before))
echo "30 unlisted callers: the station list fetched $fetched times"
((fetched <= 2)) || fail "30 unlisted callers made the node fetch the station list $fetched times"
grep -aq '> connect N0UL' "$work/transcript.txt" && fail "an unlisted caller was let in"

# One-time codes are on and DTMF control is off: the node's status function is not taken.
el_key_dtmf 08
await '> dtmf "08"$' 10 "$work/transcript.txt"
sleep 3
grep -aq 'say ".*Directory online' "$work/transcript.txt" && fail "the node's status function answered without DTMF control"

alive "at the end"
rig_peer_stop >/dev/null
kill -TERM "$qm_pid"
for _ in $(seq 60); do kill -0 "$qm_pid" 2>/dev/null || break; sleep 0.1; done
exec {console}>&-
echo quit >&$dir
echo "PASS: PTT line $(rig_ptt_log)"
