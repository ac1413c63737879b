#!/usr/bin/env python3
"""Debian's Prometheus scrapes /metrics of the headless program on loopback, with the Bearer token, and its query API
returns the node's series. Usage: prometheus_scrape_test.py QUILLMERE. Exits 77 (skipped) without prometheus."""
import json
import os
import shutil
import subprocess
import sys
import urllib.parse
import urllib.request

from web_node import WebNode, free_port, wait_until

PROMETHEUS = shutil.which("prometheus")
if not PROMETHEUS:
    print("SKIP: prometheus is not installed")
    sys.exit(77)

node = WebNode(sys.argv[1], "MetricsToken=club-token\r\n")
prom_port = free_port()
config = os.path.join(node.work, "prometheus.yml")
with open(config, "w") as f:
    f.write("""global: {scrape_interval: 1s}
scrape_configs:
  - job_name: quillmere
    authorization: {credentials: club-token}
    static_configs: [{targets: ["127.0.0.1:%d"]}]
""" % node.port)
prometheus = subprocess.Popen([PROMETHEUS, "--config.file=" + config, "--storage.tsdb.path=" + node.work + "/tsdb",
                               "--web.listen-address=127.0.0.1:%d" % prom_port], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)


def query(expression):
    url = "http://127.0.0.1:%d/api/v1/query?query=%s" % (prom_port, urllib.parse.quote(expression))
    try:
        with urllib.request.urlopen(url, timeout=5) as r:
            return json.loads(r.read())["data"]["result"]
    except (OSError, ValueError, KeyError):
        return []


try:
    node.type_line("carrier on")
    seen = wait_until(lambda: [s["value"][1] for s in query("quillmere_carrier")] == ["1"], 60)
    up = [s["value"][1] for s in query('up{job="quillmere"}')]
    series = query("quillmere_transmit_seconds_total") and query("quillmere_stations") and query("quillmere_ptt")
    print("carrier:", query("quillmere_carrier"), "up:", up)
finally:
    prometheus.terminate()
    prometheus.wait(10)
    node.stop()
ok = seen and up == ["1"] and bool(series)
print("ok" if ok else "FAIL: Prometheus did not read the node's series")
sys.exit(0 if ok else 1)
