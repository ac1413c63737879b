#!/usr/bin/env python3
"""The web page's figures against the headless program on the simulated node, on loopback:
  1. event-to-page latency with PAGES open pages (WebSockets with a session, as the page opens them): ROUNDS carrier
     changes typed on the console, each timed from the line written to the status with the new carrier arriving at
     every page; the 50th, 99th percentile and the worst over all pages and rounds;
  2. idle CPU of the program (its threads' time on the CPU, /proc/PID/task/*/schedstat) over SECONDS with the web
     server off, then on with one page open, each after a settling time; RUNS pairs, alternating.
  bench/web_bench.py QUILLMERE [PAGES] [ROUNDS] [SECONDS] [RUNS]     (defaults 50, 100, 60, 2)"""
import base64
import json
import os
import select
import socket
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
from web_node import WebNode  # noqa: E402

BIN = sys.argv[1]
PAGES = int(sys.argv[2]) if len(sys.argv) > 2 else 50
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 100
SECONDS = float(sys.argv[4]) if len(sys.argv) > 4 else 60
RUNS = int(sys.argv[5]) if len(sys.argv) > 5 else 2


class Page:
    """One open page's WebSocket: the handshake, then the server's text frames (unmasked, never fragmented here)."""

    def __init__(self, port, cookie):
        self.sock = socket.create_connection(("127.0.0.1", port))
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(("GET /ws HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                           "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\nCookie: %s\r\n\r\n"
                           % (port, key, cookie)).encode())
        self.buffer = b""
        while b"\r\n\r\n" not in self.buffer:
            self.buffer += self.sock.recv(4096)
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        if not head.startswith(b"HTTP/1.1 101"):
            raise RuntimeError("no WebSocket: " + head.decode(errors="replace").splitlines()[0])

    def messages(self):
        """The whole messages that have arrived, read without waiting."""
        try:
            self.buffer += self.sock.recv(1 << 20)
        except BlockingIOError:
            pass
        out = []
        while len(self.buffer) >= 2:
            length, at = self.buffer[1] & 0x7F, 2
            if length == 126:
                length, at = int.from_bytes(self.buffer[2:4], "big"), 4
            elif length == 127:
                length, at = int.from_bytes(self.buffer[2:10], "big"), 10
            if len(self.buffer) < at + length:
                break
            if self.buffer[0] & 0x0F == 1:
                out.append(self.buffer[at:at + length].decode())
            self.buffer = self.buffer[at + length:]
        return out


def login(node):
    req = urllib.request.Request(node.base + "/api/login", json.dumps({"user": "bench", "password": "bench pass"}).encode(),
                                 {"Content-Type": "application/json"}, method="POST")
    with urllib.request.urlopen(req, timeout=10) as r:
        return r.headers["Set-Cookie"].split(";")[0]


def cpu_seconds(pid, thread=None):
    """Time on the CPU of the process's threads (only those named `thread` when given), from the scheduler's
    nanosecond count (clock ticks of 10 ms are too coarse for a tenth of a percent); the threads live for the whole
    run."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/comm" % (pid, task)) as f:
            if thread and f.read().strip() != thread:
                continue
        with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
            total += int(f.read().split()[0])
    return total / 1e9


def idle_cpu(web_on):
    node = WebNode(BIN, "", (("bench", "viewer", "bench pass"),), enabled=web_on)
    try:
        if web_on:
            page = Page(node.port, login(node))
            page.sock.setblocking(False)  # an idle node sends nothing
        else:
            time.sleep(3)  # the start, as the other run waits for its port
        time.sleep(10)  # the start's announcement and settling
        before, web, start = cpu_seconds(node.process.pid), cpu_seconds(node.process.pid, "web"), time.time()
        time.sleep(SECONDS)
        used, wall = cpu_seconds(node.process.pid) - before, time.time() - start
        web = cpu_seconds(node.process.pid, "web") - web
        if web_on:
            page.messages()
        return 100.0 * used / wall, 100.0 * web / wall
    finally:
        node.stop()


def latency():
    node = WebNode(BIN, "", (("bench", "viewer", "bench pass"),))
    try:
        if not node.listening:
            raise RuntimeError("the web server does not listen")
        cookie = login(node)
        pages = [Page(node.port, cookie) for _ in range(PAGES)]
        for p in pages:
            p.sock.setblocking(False)
        time.sleep(8)  # the start's announcement
        for p in pages:
            p.messages()
        samples, carrier = [], False
        for _ in range(ROUNDS):
            carrier = not carrier
            waiting = {p.sock.fileno(): p for p in pages}
            sent = time.monotonic()
            node.type_line("carrier on" if carrier else "carrier off")
            while waiting:
                ready, _, _ = select.select(list(waiting), [], [], 5)
                if not ready:
                    raise RuntimeError("%d pages did not hear of the carrier" % len(waiting))
                now = time.monotonic()
                for fd in ready:
                    if any(json.loads(m).get("carrier") == carrier for m in waiting[fd].messages()):
                        samples.append((now - sent) * 1000)
                        del waiting[fd]
            time.sleep(0.05)
        return sorted(samples)
    finally:
        node.stop()


def percentile(values, p):
    return values[min(len(values) - 1, int(round(p / 100.0 * (len(values) - 1))))]


ms = latency()
print("%d pages, %d carrier changes: event-to-page latency p50 %.1f ms, p99 %.1f ms, worst %.1f ms"
      % (PAGES, ROUNDS, percentile(ms, 50), percentile(ms, 99), ms[-1]), flush=True)
for _ in range(RUNS):
    off, _ = idle_cpu(False)
    on, web = idle_cpu(True)
    print("idle CPU over %.0f s: web server off %.3f %%, on with one page open %.3f %% of a core (difference %+.3f; "
          "the web thread alone %.3f %%)" % (SECONDS, off, on, on - off, web), flush=True)
