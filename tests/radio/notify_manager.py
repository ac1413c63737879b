#!/usr/bin/env python3
"""The service manager's side of sd_notify, as systemd plays it for a Type=notify unit with WatchdogSec=: receives
the program's datagrams on a socket of its own and, once READY=1 has come, kills the program (SIGABRT, then SIGCONT
so that a stopped one dies too) when no WATCHDOG=1 came for the watchdog's interval. Logs each message and the kill
with the monotonic time.
    notify_manager.py SOCKET PIDFILE WATCHDOG_SECONDS LOG"""
import os
import signal
import socket
import sys
import time

path, pid_file, watchdog, log_path = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4]
sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
sock.bind(path)
sock.settimeout(0.05)
log = open(log_path, "a", buffering=1)
log.write(f"{time.monotonic():.3f} LISTENING\n")
ready = False
last_ping = 0.0
pid = None
while True:
    if pid is None and os.path.exists(pid_file):
        text = open(pid_file).read().strip()
        pid = int(text) if text else None
    try:
        data = sock.recv(4096).decode(errors="replace")
        now = time.monotonic()
        for line in data.split("\n"):
            if not line:
                continue
            log.write(f"{now:.3f} {line}\n")
            if line == "READY=1":
                ready = True
                last_ping = now
            if line == "WATCHDOG=1":
                last_ping = now
    except socket.timeout:
        pass
    now = time.monotonic()
    if ready and pid is not None and now - last_ping > watchdog:
        log.write(f"{now:.3f} KILLED\n")
        try:
            os.kill(pid, signal.SIGABRT)
            os.kill(pid, signal.SIGCONT)
        except ProcessLookupError:
            pass
        break
