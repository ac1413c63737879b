# The phone call's part of the radio test rig, sourced after radio_rig.bash: sipp on 127.0.0.1 as the far end, the
# settings that put baresip's audio on the node, a timestamped log of the PTT line, and waiting for the call's ports.
# Ports are derived from $1 so that tests can run side by side.

call_settings() {  # BASE_PORT
  far=$1
  cat > "$work/home/quillmere_radio.ini" <<INI
[SETTINGS]
JackServer=
Squelch=pty:$work/squelch
Ptt=pty:$work/ptt
TxDelay=150
TxTail=100
CallVoxHang=${CALL_VOX_HANG:-500}
INI
  # No courtesy letters: they would sound on radio_out between the tests' own sounds.
  printf '[SETTINGS]\r\nCHECK1=0\r\n' >"$work/machine/quillmere_courtsey.ini"
  printf '[SETTINGS]\r\nAccount=sip:quillmere@127.0.0.1\r\nRegister=0\r\nDialPattern=sip:{number}@127.0.0.1:%s\r\nListenAddress=127.0.0.1:%s\r\n' \
    "$far" $((far + 1)) >"$work/home/quillmere_sip.ini"
}

# sipp answering one call; extra arguments go to sipp (-rtp_echo, or -sf SCENARIO).
call_far_end() {  # BASE_PORT SIPP_ARGS...
  local port=$1
  shift
  (cd "$work" && exec sipp -i 127.0.0.1 -p "$port" -mp $(((port - 5000) * 10 + 6000)) -cp $((port + 3000)) \
    -nostdin -timeout 60s -m 1 ${SIPP_TRACE:-} "$@") >"$work/sipp.log" 2>&1 &
  sipp_pid=$!
}

call_cleanup() {
  [ -n "${qm_pid:-}" ] && kill "$qm_pid" 2>/dev/null && wait "$qm_pid" 2>/dev/null
  qm_pid=
  # baresip, told by the end of its parent, says goodbye to its call before it frees its SIP port: the next test
  # on these ports waits for that.
  for _ in $(seq 50); do
    ss -Hlun "sport = :$((far + 1))" 2>/dev/null | grep -q . || break
    sleep 0.1
  done
  [ -n "${sipp_pid:-}" ] && kill "$sipp_pid" 2>/dev/null
  [ -n "${ptt_reader:-}" ] && kill "$ptt_reader" 2>/dev/null
  rig_cleanup
}

# Every letter of the PTT line with the monotonic time it came, one a line: "T 12.345678".
call_ptt_times() {
  python3 -u -c '
import os, sys, time
fd = os.open(sys.argv[1], os.O_RDONLY)
while True:
    try:
        b = os.read(fd, 1)
    except OSError:  # the node closed the line
        break
    if not b: time.sleep(0.005); continue
    print(b.decode(), "%.6f" % time.monotonic(), flush=True)
' "$work/ptt" >"$work/ptt.times" &
  ptt_reader=$!
}

# The system's python where there is one: a version manager's shim can take a second to start on a loaded machine,
# and a time taken that late would miss what happened meanwhile.
rig_python=$(command -v /usr/bin/python3 || command -v python3)
now() { "$rig_python" -c 'import time; print("%.6f" % time.monotonic())'; }

# Waits until baresip's ports are linked to quillmere:call_in and from quillmere:call_out.
call_wait_linked() {
  for _ in $(seq 200); do
    local links
    links=$(rig_lsp -c)
    if grep -A1 '^quillmere:call_in$' <<<"$links" | grep -q '^ *quillmere-call' &&
      grep -A1 '^quillmere:call_out$' <<<"$links" | grep -q '^ *quillmere-call'; then
      return 0
    fi
    kill -0 "$qm_pid" 2>/dev/null || fail "quillmere ended before the call's audio was linked: $(tail -5 "$work/stderr.txt")"
    sleep 0.1
  done
  fail "baresip's ports were not linked to quillmere:call_in and call_out; JACK has: $(jack_lsp -c | tr '\n' ' ')"
}

call_unlinked() { ! rig_lsp | grep -q '^quillmere-call'; }

# The PTT letters logged after the monotonic time $1, as one word.
call_ptt_since() {
  awk -v t="$1" '$2 >= t { printf "%s", $1 }' "$work/ptt.times"
}

# Waits until the node has made its lines and ports, then logs the PTT line with times.
call_wait_node() {
  for _ in $(seq 150); do
    if [ -e "$work/ptt" ] && [ -e "$work/squelch" ] && jack_lsp 2>/dev/null | grep -q '^quillmere:radio_in$'; then
      call_ptt_times
      return 0
    fi
    kill -0 "$qm_pid" 2>/dev/null || fail "quillmere ended before its node was up: $(cat "$work/stderr.txt" 2>/dev/null)"
    sleep 0.1
  done
  fail "the radio node's lines and ports did not appear"
}

# Dials the far end from the headless console (fd 4) once the program has attached to baresip: "Can't Send
# Message" means it had not yet, and the dial is tried again.
# Waits until the program has attached to baresip and whatever it said at start has ended: the transmitter is
# released (as many "ptt off" as "ptt on" in the transcript, the line's last letter R).
call_wait_ready() {
  for _ in $(seq 150); do grep -q "baresip is ready" "$work/stderr.txt" && break; sleep 0.1; done
  sleep 1
  for _ in $(seq 100); do
    [ "$(grep -c '^[0-9:.]* ptt on' "$work/transcript.txt" 2>/dev/null)" = \
      "$(grep -c '^[0-9:.]* ptt off' "$work/transcript.txt" 2>/dev/null)" ] &&
      [[ "$(call_ptt_since 0)" =~ (^|R)$ ]] && return 0
    sleep 0.1
  done
  fail "the transmitter was still keyed 10 s after baresip was ready"
}

call_dial() {
  call_wait_ready
  for _ in $(seq 10); do
    local refused
    refused=$(grep -c "Can't Send Message" "$work/transcript.txt" 2>/dev/null)
    echo 'dtmf "*#5551234"' >&4
    echo 'dtmf "A"' >&4
    sleep 1
    [ "$(grep -c "Can't Send Message" "$work/transcript.txt" 2>/dev/null)" = "$refused" ] && return 0
  done
  fail "the program never attached to baresip"
}
