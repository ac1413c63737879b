# The EchoLink side of the radio node's end-to-end tests, sourced after radio_rig.bash: the node on PTY lines as an
# EchoLink node on 127.0.0.1 (ports $port_base and the next), and the stand-in directory on 127.0.0.1:5200.
# Expects $quillmere, $eldir (the echolink_directory tool) and, for the second station, $elpeer.
port_base=5298

# Waits up to $2 seconds for the extended regular expression $1 in file $3.
await() {
  for _ in $(seq $(($2 * 10))); do grep -Eaq -- "$1" "$3" && return 0; sleep 0.1; done
  fail "no '$1' in $3 after $2 s: $(tail -5 "$3")"
}

# The radio's and the network's settings in $work/home; more lines for the network's on standard input.
el_settings() {
  cat >"$work/home/quillmere_radio.ini" <<INI
[SETTINGS]
JackServer=
Squelch=pty:$work/squelch
Ptt=pty:$work/ptt
TxDelay=100
TxTail=100
INI
  {
    printf '[SETTINGS]\nEnabled=1\nPassword=secret\nServers=127.0.0.1\nBindAddress=127.0.0.1\nPortBase=%s\n' "$port_base"
    cat
  } >"$work/home/quillmere_echolink.ini"
}

# The stand-in directory, N0QM-L's password "secret"; its commands go to descriptor $dir, its answers to dir_out.txt.
el_directory_start() {
  mkfifo "$work/dir_in"
  "$eldir" N0QM-L secret <"$work/dir_in" >"$work/dir_out.txt" 2>&1 &
  dir_pid=$!
  exec {dir}>"$work/dir_in"
  await '^(ready|cannot listen)' 5 "$work/dir_out.txt"
  grep -q '^ready' "$work/dir_out.txt" || fail "the stand-in directory cannot listen on 127.0.0.1:5200"
}

# The node, headless, its console on descriptor $console; then radio_peer on its ports, recording into out.wav.
el_node_start() {
  mkfifo "$work/console"
  "$quillmere" --headless --node radio --callsign N0QM-L --voice espeak --no-report --home "$work/home" \
    --machine-dir "$work/machine" <"$work/console" >"$work/transcript.txt" 2>"$work/stderr.txt" &
  qm_pid=$!
  exec {console}>"$work/console"
  rig_wait_node
  rig_peer_start "$work/out.wav"
}

# The second station, PE1ER on 127.0.0.2 (echolink_peer, $elpeer), logged in to the directory; its commands go to
# descriptor $el, its answers to el_out.txt.
el_station_start() {
  mkfifo "$work/el_in"
  "$elpeer" PE1ER 127.0.0.2 "$port_base" 127.0.0.1 peerpass <"$work/el_in" >"$work/el_out.txt" 2>"$work/el_err.txt" &
  el_pid=$!
  exec {el}>"$work/el_in"
  trap 'kill $el_pid $dir_pid 2>/dev/null; rig_cleanup' EXIT
  await '^ready' 10 "$work/el_out.txt"
  echo login >&$el
  await '^status ON' 10 "$work/el_out.txt"
}

# A radio user keys DTMF digits: the carrier up, the tones, the carrier down.
el_key_dtmf() {
  printf O >"$work/squelch"
  sleep 0.3
  rig_peer "dtmf $1" >/dev/null
  sleep 0.2
  printf Z >"$work/squelch"
}
