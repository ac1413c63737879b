#!/usr/bin/env bash
# The service's readiness and watchdog, with the service manager played by notify_manager.py as systemd plays it for
# Type=notify and WatchdogSec=2: READY=1 comes once the node is up, WATCHDOG=1 pings keep coming while the program
# holds for a long announcement, and they stop once the program is stopped (SIGSTOP) while keyed; the manager then
# kills it within the watchdog's interval, the transmitter is released (R on the PTT line) and the unit's
# ExecStopPost (--release-ptt) runs.
#   service_watchdog.sh QUILLMERE RADIO_PEER TESTS_RADIO_DIR
set -u
quillmere=$1 peer=$2 here=$3
source "$here/radio_rig.bash"
need jackd python3
rig_start

cat >"$work/home/quillmere_radio.ini" <<INI
[SETTINGS]
JackServer=
Squelch=pty:$work/squelch
Ptt=pty:$work/ptt
INI
printf '[SETTINGS]\r\nNode=radio\r\n' >"$work/home/quillmere.ini"
long="This is a long announcement that keeps the transmitter keyed for many seconds while the test stops the program."
notify_log=$work/notify.log
python3 "$here/notify_manager.py" "$work/notify" "$work/pid" 2 "$notify_log" &
manager_pid=$!
trap 'kill "$manager_pid" 2>/dev/null; rig_cleanup' EXIT
for _ in $(seq 50); do [ -S "$work/notify" ] && break; sleep 0.1; done
[ -S "$work/notify" ] || fail "the manager's socket did not appear"

mkfifo "$work/console"
NOTIFY_SOCKET=$work/notify WATCHDOG_USEC=2000000 "$quillmere" --headless --voice estimate --no-report \
  --home "$work/home" --machine-dir "$work/machine" <"$work/console" >"$work/transcript.txt" 2>"$work/stderr.txt" &
qm_pid=$!
echo "$qm_pid" >"$work/pid"
exec {console}>"$work/console"
rig_wait_node
for _ in $(seq 200); do grep -q ' READY=1$' "$notify_log" && break; sleep 0.1; done
grep -q ' READY=1$' "$notify_log" || fail "no READY=1 within 20 s: $(cat "$notify_log")"
grep -q '^[0-9.]* STATUS=on the air as ' "$notify_log" || fail "no status line with READY=1: $(cat "$notify_log")"

echo "speak \"$long\"" >&$console
for _ in $(seq 100); do grep -q T "$work/ptt.log" && break; sleep 0.05; done
grep -q T "$work/ptt.log" || fail "the node never keyed for the announcement"
before=$(grep -c ' WATCHDOG=1$' "$notify_log")
sleep 2.5
held=$(($(grep -c ' WATCHDOG=1$' "$notify_log") - before))
[ "$held" -ge 3 ] || fail "only $held pings in 2.5 s while the program held for the announcement"
grep -q ' KILLED$' "$notify_log" && fail "the manager killed a running program: $(cat "$notify_log")"

stopped=$(python3 -c 'import time; print(f"{time.monotonic():.3f}")')
kill -STOP "$qm_pid"
for _ in $(seq 60); do grep -q ' KILLED$' "$notify_log" && break; sleep 0.1; done
killed=$(sed -n 's/ KILLED$//p' "$notify_log")
[ -n "$killed" ] || fail "the pings went on while the program was stopped: $(tail -5 "$notify_log")"
late=$(grep ' WATCHDOG=1$' "$notify_log" | tail -n 1 | cut -d' ' -f1)
python3 -c "import sys; sys.exit(0 if $late < $stopped + 0.1 else 1)" || fail "a ping came after SIGSTOP"
python3 -c "import sys; sys.exit(0 if $killed - $stopped <= 2.5 else 1)" ||
  fail "killed $(python3 -c "print(round($killed - $stopped, 2))") s after SIGSTOP, beyond WatchdogSec"
for _ in $(seq 100); do kill -0 "$qm_pid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$qm_pid" 2>/dev/null && fail "the program outlived SIGABRT"
wait "$qm_pid"
exec {console}>&-
kill "$cat_pid" 2>/dev/null
keys=$(rig_ptt_log)
[[ "$keys" == *T*R ]] || fail "the PTT line wrote '$keys': not released after the kill"
"$quillmere" --release-ptt --home "$work/home" >"$work/post.txt" 2>&1 || fail "ExecStopPost failed: $(cat "$work/post.txt")"
wait "$manager_pid" 2>/dev/null
echo "READY, $held pings while held, killed $(python3 -c "print(round($killed - $stopped, 2))") s after SIGSTOP; PTT $keys"
echo PASS
