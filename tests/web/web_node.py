"""The headless program on the simulated node with its web page on, in folders of its own, for the web tests."""
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(predicate, seconds):
    end = time.time() + seconds
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return False


class WebNode:
    def __init__(self, binary, settings="", users=(), enabled=True, args=(), home_files=None):
        self.binary = binary
        self.work = tempfile.mkdtemp(prefix="quillmere-web-")
        self.home, self.machine, self.state = (os.path.join(self.work, d) for d in ("home", "machine", "state"))
        for d in (self.home, self.machine, self.state):
            os.makedirs(d)
        self.port = free_port()
        self.base = "http://127.0.0.1:%d" % self.port
        with open(os.path.join(self.machine, "quillmere_web.ini"), "w") as f:
            f.write("[SETTINGS]\r\nEnabled=%d\r\nListen=127.0.0.1:%d\r\n%s" % (enabled, self.port, settings))
        self.env = dict(os.environ, XDG_STATE_HOME=self.state, XDG_RUNTIME_DIR=self.work, XDG_CONFIG_HOME=self.home,
                        LC_ALL="C")
        self.added = [self.add_user(*user) for user in users]
        for name, text in (home_files or {}).items():
            with open(os.path.join(self.home, name), "w") as f:
                f.write(text)
        self.process = subprocess.Popen(
            [binary, "--headless", "--no-report", "--voice", "estimate", "--home", self.home, "--machine-dir",
             self.machine, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
            env=self.env, bufsize=1)
        self.transcript = []
        threading.Thread(target=self._read, daemon=True).start()
        self.listening = enabled and wait_until(self._open, 20)

    def add_user(self, name, role, password):
        return subprocess.run([self.binary, "--add-user", name, "--role", role, "--machine-dir", self.machine],
                              input=password + "\n", text=True, capture_output=True, env=self.env).returncode == 0

    def _open(self):
        with socket.socket() as s:
            return s.connect_ex(("127.0.0.1", self.port)) == 0

    def _read(self):
        for line in self.process.stdout:
            self.transcript.append(line.rstrip("\n"))

    def type_line(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
        shutil.rmtree(self.work, ignore_errors=True)
