# The test rig of the radio node's end-to-end tests, sourced by them: a JACK server of the test's own (dummy
# backend, a server name no other test uses), the radio_peer client on quillmere's radio ports, the PTT line's log.
# Expects $quillmere and $peer; leaves everything in $work, removed at the end (kept, and named, on failure).

fail() {
  echo "FAIL: $*" >&2
  [ -f "${work:-}/transcript.txt" ] && { echo "--- transcript" >&2; cat "$work/transcript.txt" >&2; }
  keep_work=1
  exit 1
}

need() {
  for tool in "$@" jack_lsp; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
  done
}

# Ends a process the test started: SIGTERM, then SIGKILL after SECONDS, so that a helper that hangs in its own
# shutdown can never hold the test (or, through its inherited output, ctest) to its time-out.
rig_end() {
  local pid=$1 seconds=${2:-5}
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq $((seconds * 10))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

rig_cleanup() {
  for pid in ${qm_pid:-} ${PEER_PID:-} ${cat_pid:-}; do kill "$pid" 2>/dev/null; done
  sleep 0.2
  # The program's JACK client goes before the server (its network logs off within 3 s): a server stopped under a
  # client may end without taking its name out of JACK's registry, and JACK keeps only a few names.
  rig_end "${qm_pid:-}" 6
  rig_end "${PEER_PID:-}" 2
  rig_end "${jack_pid:-}" 5
  if [ -n "${keep_work:-}" ]; then echo "the test's files are in $work" >&2; else rm -rf "$work"; fi
}

# JACK allows only a few servers on one machine at a time; when others' tests hold them all, this test cannot run.
rig_skip_when_full() {
  if grep -q 'Too many servers already active' "$@" 2>/dev/null; then
    echo "SKIP: this machine already runs as many JACK servers as JACK allows"
    exit 77
  fi
}

# jack_lsp, asked again when it cannot reach the server for a moment (a loaded machine running several servers).
rig_lsp() {
  local out
  for _ in 1 2 3 4 5; do
    out=$(jack_lsp "$@" 2>/dev/null) && { printf '%s\n' "$out"; return 0; }
    sleep 0.2
  done
  return 1
}

# The test's folders and server name, no server yet.
rig_start_bare() {
  work=$(mktemp -d /tmp/quillmere-radio-XXXXXX)
  mkdir -p "$work/home" "$work/machine"
  export JACK_DEFAULT_SERVER="quillmere-test-$$-$RANDOM"
  trap rig_cleanup EXIT
}

# The JACK server, in folders rig_start_bare made.
rig_start_server() {
  jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 1024 >"$work/jackd.log" 2>&1 &
  jack_pid=$!
  for _ in $(seq 50); do
    jack_lsp >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  rig_skip_when_full "$work/jackd.log"
  fail "the dummy JACK server did not start: $(tail -3 "$work/jackd.log")"
}

rig_start() {
  rig_start_bare
  rig_start_server
}

# Waits until the node has made its lines and ports, then logs what the PTT line says.
rig_wait_node() {
  for _ in $(seq 150); do
    if [ -e "$work/ptt" ] && [ -e "$work/squelch" ] && jack_lsp 2>/dev/null | grep -q '^quillmere:radio_in$'; then
      cat "$work/ptt" >"$work/ptt.log" 2>/dev/null &
      cat_pid=$!
      rig_skip_start_announcement
      return 0
    fi
    kill -0 "$qm_pid" 2>/dev/null || fail "quillmere ended before its node was up: $(cat "$work/stderr.txt" 2>/dev/null)"
    sleep 0.1
  done
  rig_skip_when_full "$work/stderr.txt"
  fail "the radio node's lines and ports did not appear"
}

# The start announcement ("DTMF Enabled") keys the line as soon as the node is up; the PTT log starts once it has been
# released, so that it holds what the test itself caused (emptied in place: cat writes on, tr drops the gap).
rig_skip_start_announcement() {
  local i
  for ((i = 0; i < 30; i++)); do
    grep -q ' ptt on$' "$work/transcript.txt" 2>/dev/null && break
    sleep 0.1
  done
  grep -q ' ptt on$' "$work/transcript.txt" 2>/dev/null || return 0
  for ((i = 0; i < 150; i++)); do
    grep -q ' ptt off$' "$work/transcript.txt" && [ "$(tr -dc 'TR' <"$work/ptt.log" | tail -c 1)" = R ] && break
    sleep 0.1
  done
  : >"$work/ptt.log"
}

rig_peer_start() {
  coproc PEER { "$peer" --record "$1"; }
  read -r -t 15 -u "${PEER[0]}" line || fail "radio_peer did not start"
  [[ "$line" == ready* ]] || fail "radio_peer: $line"
}

# One command to the peer; its answer on standard output.
rig_peer() {
  echo "$1" >&"${PEER[1]}"
  read -r -t 30 -u "${PEER[0]}" answer || fail "radio_peer did not answer '$1'"
  echo "$answer"
}

# Ends the peer (the recording is written); prints how many milliseconds of it hold sound.
rig_peer_stop() {
  echo quit >&"${PEER[1]}"
  read -r -t 30 -u "${PEER[0]}" sound || fail "radio_peer did not end"
  read -r -t 5 -u "${PEER[0]}" _
  echo "${sound#sound_ms }"
}

# What the PTT line has said, as one word (T keyed, R released).
rig_ptt_log() {
  sleep 0.3
  tr -dc 'TR' <"$work/ptt.log"
}

# What multimon-ng's decoder TYPE (MORSE_CW, DTMF) reads in a WAV file, as one line.
rig_decode() {
  # A second of silence after the end, which the Morse decoder needs to give its last letter.
  sox "$2" -t raw -r 22050 -e signed -b 16 -c 1 "$work/decode.raw" pad 0 1 2>/dev/null || fail "sox could not convert $2"
  multimon-ng -q -a "$1" -t raw "$work/decode.raw" 2>/dev/null | sed -e 's/^[A-Z_]*: *//' | tr -d '\n'
}
