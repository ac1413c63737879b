#!/usr/bin/env bash
# baresip's control port takes commands from the Quillmere that started it and from nobody else: another user
# (nobody) and another process of the same user connect to it and send a dial command; both connections are closed
# unanswered, no INVITE leaves baresip, and the program's own connection still places a call afterwards.
#
#   control_port_guard.sh QUILLMERE
# Exit status: 0 passed, 1 failed, 77 skipped (baresip or python3 missing, or not run as root, which runuser needs).
set -u
quillmere=$1
for tool in baresip python3 runuser; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "SKIPPED: runs the intruder as user nobody, which needs root"; exit 77; }

control=5195 sip=5196 far=5197
work=$(mktemp -d /tmp/quillmere-guard-XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  echo "--- transcript"; tail -n 30 "$work/transcript"
  echo "--- stderr"; tail -n 30 "$work/stderr"
  exit 1
}
wait_for() {  # FILE TEXT SECONDS
  for ((i = 0; i < $3 * 20; i++)); do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

# The far end: counts the INVITEs that reach it, answers none.
python3 - "$far" "$work/invites" <<'EOF' &
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", int(sys.argv[1])))
while True:
    data, _ = s.recvfrom(65536)
    if data.startswith(b"INVITE "):
        with open(sys.argv[2], "a") as f:
            f.write(data.split(b"\r\n", 1)[0].decode(errors="replace") + "\n")
EOF
pids+=($!)

mkdir -p "$work/home"
printf '[SETTINGS]\r\nCheck2=0\r\n' >"$work/home/quillmere.ini"
printf '[SETTINGS]\r\nRegister=0\r\nDialPattern=sip:{number}@127.0.0.1:%s\r\nAudioDriver=aubridge\r\nInputDevice=q\r\nOutputDevice=q\r\nListenAddress=127.0.0.1:%s\r\nControlPort=%s\r\n' \
  "$far" "$sip" "$control" >"$work/home/quillmere_sip.ini"
mkfifo "$work/console"
"$quillmere" --headless --skype sip --voice estimate --no-report --home "$work/home" --machine-dir "$work/home" \
  <"$work/console" >"$work/transcript" 2>"$work/stderr" &
pids+=($!)
exec 3>"$work/console"
wait_for "$work/stderr" "baresip is ready" 15 || fail "baresip never came up"
sleep 2  # the program attaches a second after its start

# An intruder: connects, sends "dial", and reports what came back (nothing, the connection closed).
intrude() {
  "$@" python3 - "$control" "$far" <<'EOF'
import json, socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=3)
cmd = json.dumps({"command": "dial", "params": "sip:intruder@127.0.0.1:%s" % sys.argv[2], "token": "x"})
try:
    s.sendall(b"%d:%s," % (len(cmd), cmd.encode()))
    s.settimeout(2)
    got = s.recv(4096)
except OSError as e:
    got = b""
print("answered" if got else "closed")
EOF
}
[ "$(intrude runuser -u nobody --)" = closed ] || fail "user nobody was answered on the control port"
[ "$(intrude env)" = closed ] || fail "another process of the same user was answered on the control port"
sleep 1
[ ! -s "$work/invites" ] || fail "an intruder's dial left baresip: $(cat "$work/invites")"

# The program's own connection is still there and places a call.
echo 'set frmMain.txtSend "CALL 5551234"' >&3
echo 'click frmMain.cmdSend' >&3
wait_for "$work/invites" "INVITE sip:5551234@127.0.0.1:$far" 10 || fail "the program's own call did not go out"
grep -q "intruder" "$work/invites" && fail "an intruder's dial left baresip"
echo "both intruders refused; the program's call went out"
exit 0
