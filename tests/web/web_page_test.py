#!/usr/bin/env python3
"""The web page against the headless program on the simulated node, in a real browser (headless chromium through
selenium) and with plain HTTP: login, live status, a carrier on the page within 200 ms, hanging up a call, the roles,
the CSRF token, the login lock-out and hostile requests. Usage: web_page_test.py QUILLMERE. Exits 77 (skipped) when
chromium, chromedriver or python3-selenium is missing."""
import json
import os
import shutil
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.request

from web_node import WebNode, free_port, wait_until

# Debian's python3-selenium, also when another python3 comes first on the PATH.
sys.path.append("/usr/lib/python3/dist-packages")
try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.common.exceptions import StaleElementReferenceException
    from selenium.webdriver.support.ui import WebDriverWait as SeleniumWait
except ImportError:
    print("SKIP: python3-selenium is not installed")
    sys.exit(77)



def WebDriverWait(browser, seconds):
    """Waits on the page as it is redrawn: an element found just before the page replaced it is looked for again."""
    return SeleniumWait(browser, seconds, ignored_exceptions=[StaleElementReferenceException])


BIN = sys.argv[1]
DRIVER = shutil.which("chromedriver")
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
if not DRIVER or not CHROMIUM:
    print("SKIP: chromium and chromium-driver are not installed")
    sys.exit(77)

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


node = WebNode(BIN, "MetricsToken=scrape-me\r\n",
               (("op", "operator", "op pass"), ("view", "viewer", "view pass"), ("adm", "admin", "adm pass")))
base, port, transcript, type_line = node.base, node.port, node.transcript, node.type_line
check(all(node.added), "--add-user with each role")
check(oct(os.stat(os.path.join(node.machine, "quillmere_web_users")).st_mode & 0o777) == "0o600", "the users file is 0600")


def request(method, path, body=None, headers=None, cookie=None):
    data = None if body is None else json.dumps(body).encode()
    req = urllib.request.Request(base + path, data=data, method=method, headers=dict(headers or {}))
    if data is not None:
        req.add_header("Content-Type", "application/json")
    if cookie:
        req.add_header("Cookie", cookie)
    try:
        with urllib.request.urlopen(req, timeout=10) as r:
            return r.status, r.read().decode(), r.headers
    except urllib.error.HTTPError as e:
        return e.code, e.read().decode(), e.headers


def raw(data):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(data)
        answer = b""
        while True:
            try:
                chunk = s.recv(65536)
            except (ConnectionResetError, socket.timeout):
                break
            if not chunk:
                break
            answer += chunk
    return answer.decode(errors="replace")


# With QUILLMERE_WEB_SCREENSHOTS=DIR, pictures of each page at a phone's and a desktop's size go there.
SHOTS = os.environ.get("QUILLMERE_WEB_SCREENSHOTS")


def shoot(name):
    if not SHOTS:
        return
    os.makedirs(SHOTS, exist_ok=True)
    for size, (width, height) in (("phone", (412, 900)), ("desktop", (1280, 800))):
        browser.set_window_size(width, height)
        time.sleep(0.3)
        browser.save_screenshot(os.path.join(SHOTS, "web-%s-%s.png" % (name, size)))
    browser.set_window_size(412, 900)


def login(user, password):
    status, body, headers = request("POST", "/api/login", {"user": user, "password": password})
    cookie = (headers.get("Set-Cookie") or "").split(";")[0]
    return status, cookie, (json.loads(body).get("csrfToken") if status == 200 else None), headers


browser = None
try:
    check(node.listening, "the web server listens")

    # The API: login, the cookie's attributes, the status.
    status, cookie, csrf, headers = login("op", "op pass")
    check(status == 200 and csrf, "an operator logs in")
    set_cookie = headers.get("Set-Cookie") or ""
    check("HttpOnly" in set_cookie and "SameSite=Strict" in set_cookie, "the session cookie is HttpOnly, SameSite=Strict")
    status, body, _ = request("GET", "/api/status", cookie=cookie)
    s = json.loads(body) if status == 200 else {}
    check(status == 200 and s.get("callsign") == "N0CALL-L" and s.get("ptt") is False and s.get("call") is None and
          s.get("stations") == [], "the status: callsign, transmitter, no call, no stations")
    check(request("GET", "/api/status")[0] == 401, "no status without a session")

    # Roles and the CSRF token.
    check(request("POST", "/api/command", {"command": "inhibit-on"}, cookie=cookie)[0] == 403,
          "a command without its CSRF token is refused (403)")
    check(request("POST", "/api/command", {"command": "inhibit-on"}, {"X-CSRF-Token": "0" * 64}, cookie)[0] == 403,
          "a command with a wrong CSRF token is refused (403)")
    vstatus, vcookie, vcsrf, _ = login("view", "view pass")
    check(request("POST", "/api/command", {"command": "hangup"}, {"X-CSRF-Token": vcsrf}, vcookie)[0] == 403,
          "a viewer is refused a command (403)")
    check(request("POST", "/api/command", {"command": "reboot"}, {"X-CSRF-Token": csrf}, cookie)[0] == 400,
          "an unknown command is refused (400)")

    # Metrics.
    status, body, _ = request("GET", "/metrics", headers={"Authorization": "Bearer scrape-me"})
    check(status == 200 and "quillmere_ptt 0" in body and "quillmere_transmit_seconds_total" in body and
          "quillmere_stations 0" in body, "/metrics with its token")
    check(request("GET", "/metrics", headers={"Authorization": "Bearer wrong"})[0] == 401, "/metrics refuses a wrong token")

    # Hostile requests.
    answer = raw(b"POST /api/login HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: 999999\r\n\r\n")
    check(answer.startswith("HTTP/1.1 413"), "an oversized body is refused (413)")
    answer = raw(b"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + b"a" * 20000 + b"\r\n\r\n")
    check(answer.startswith("HTTP/1.1 431"), "an oversized head is refused (431)")
    for path in (b"/../../etc/passwd", b"/%2e%2e/%2e%2e/etc/passwd", b"/app.js/../../../etc/passwd", b"/..%2f..%2fetc%2fpasswd"):
        answer = raw(b"GET " + path + b" HTTP/1.1\r\nHost: x\r\n\r\n")
        check(answer.startswith("HTTP/1.1 404") and "root:" not in answer, "path traversal %s is refused" % path.decode())
    answer = raw(b"POST /api/command HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: 9\r\n"
                 b"Cookie: " + cookie.encode() + b"\r\nX-CSRF-Token: " + csrf.encode() + b"\r\n\r\n{\"comma[[")
    check(answer.startswith("HTTP/1.1 400"), "malformed JSON is refused (400)")

    # The page in a browser.
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--window-size=412,900"):
        options.add_argument(arg)
    browser = webdriver.Chrome(service=Service(DRIVER), options=options)
    browser.get(base + "/")
    WebDriverWait(browser, 10).until(lambda b: b.find_element(By.NAME, "user").is_displayed())
    browser.find_element(By.NAME, "user").send_keys("op")
    browser.find_element(By.NAME, "password").send_keys("op pass")
    browser.find_element(By.CSS_SELECTOR, "#login-form button").click()
    WebDriverWait(browser, 10).until(lambda b: b.find_element(By.ID, "link").text == "live")
    check(browser.find_element(By.ID, "callsign").text == "N0CALL-L", "the page shows the callsign after login")

    # A carrier and a keyed transmitter reach the open page within 200 ms of the change (the page notes the instant
    # its text changes; the browser and this test share the clock).
    def latency(element, text, line):
        browser.execute_script("""
            const [id, text] = arguments;
            window.changedAt = 0;
            new MutationObserver(() => {
              if (document.getElementById(id).textContent.startsWith(text) && !window.changedAt) window.changedAt = Date.now();
            }).observe(document.getElementById(id), {childList: true, characterData: true, subtree: true});""",
                               element, text)
        sent = time.time() * 1000
        type_line(line)
        WebDriverWait(browser, 5).until(lambda b: b.execute_script("return window.changedAt"))
        return browser.execute_script("return window.changedAt") - sent

    ms = latency("carrier", "present", "carrier on")
    check(ms < 200, "a carrier appears on the page within 200 ms (%.0f ms)" % ms)
    type_line("carrier off")
    ms = latency("ptt", "keyed", "rx on")
    check(ms < 200, "a keyed transmitter appears on the page within 200 ms (%.0f ms)" % ms)
    type_line("rx off")

    # A station's text is shown as text, never as markup.
    type_line('connect "<img src=x onerror=alert(1)>" Name 1.2.3.4')
    WebDriverWait(browser, 5).until(lambda b: "<img" in b.find_element(By.ID, "stations").text)
    check(not browser.find_elements(By.CSS_SELECTOR, "#stations img"), "a station's callsign is escaped on the page")
    type_line('disconnect "<img src=x onerror=alert(1)>"')  # the pictures show ordinary stations
    type_line("connect W1AW-L Hiram 10.0.0.7")
    type_line("connect K1ABC-R Club 10.0.0.8")

    # A call, hung up from the control page.
    type_line('dtmf "*#123"')
    time.sleep(0.5)
    type_line('dtmf "A"')
    WebDriverWait(browser, 30).until(lambda b: "inprogress" in b.find_element(By.ID, "call").text and " s" in
                                     b.find_element(By.ID, "call").text)
    shoot("status")
    browser.find_element(By.CSS_SELECTOR, "[data-page=control]").click()
    shoot("control")
    browser.find_element(By.CSS_SELECTOR, "[data-command=hangup]").click()
    ended = wait_until(lambda: any("STATUS FINISHED" in l for l in transcript), 10)
    check(ended, "hang up from the page ends the call (the transcript shows it)")
    browser.find_element(By.CSS_SELECTOR, "[data-page=status]").click()
    WebDriverWait(browser, 10).until(lambda b: b.find_element(By.ID, "call").text == "none")
    browser.find_element(By.CSS_SELECTOR, "[data-page=history]").click()
    WebDriverWait(browser, 10).until(lambda b: "Web: op: hangup" in b.find_element(By.ID, "history-lines").text)
    check(True, "the hang-up is in the history log with the user's name")
    shoot("history")
    browser.find_element(By.CSS_SELECTOR, "[data-page=statistics]").click()
    WebDriverWait(browser, 10).until(lambda b: len(b.find_elements(By.CSS_SELECTOR, "#stat-hours tbody tr")) == 24)
    totals = browser.find_element(By.ID, "stat-totals").text
    check(totals.endswith("\n1 answered"), "the statistics page counts the call from the log (%r)" % totals)
    shoot("statistics")

    # The inhibit keeps the transmitter released while the node would key it.
    status, _, _ = request("POST", "/api/command", {"command": "inhibit-on"}, {"X-CSRF-Token": csrf}, cookie)
    type_line("rx on")
    time.sleep(0.3)
    s = json.loads(request("GET", "/api/status", cookie=cookie)[1])
    check(status == 200 and s.get("inhibit") is True and s.get("ptt") is False, "the inhibit keeps PTT released")
    type_line("rx off")
    request("POST", "/api/command", {"command": "inhibit-off"}, {"X-CSRF-Token": csrf}, cookie)

    # One station let go from the control page; one that is not connected cannot be named; the voice test speaks.
    browser.find_element(By.CSS_SELECTOR, "[data-page=control]").click()
    WebDriverWait(browser, 10).until(lambda b: b.find_element(By.CSS_SELECTOR, '#control-stations [data-station="W1AW-L"]'))
    browser.find_element(By.CSS_SELECTOR, '#control-stations [data-station="W1AW-L"] button').click()
    gone = wait_until(lambda: json.loads(request("GET", "/api/status", cookie=cookie)[1]).get("stations") == ["K1ABC-R"], 10)
    status, _, _ = request("POST", "/api/command", {"command": "disconnect", "station": "W1AW-L"}, {"X-CSRF-Token": csrf},
                           cookie)
    said = len(transcript)
    voice = request("POST", "/api/command", {"command": "voice-test"}, {"X-CSRF-Token": csrf}, cookie)[0]
    history = request("GET", "/api/history", cookie=cookie)[1]
    check(gone and status == 400 and voice == 200 and "Web: op: disconnect W1AW-L" in history and
          "Web: op: voice-test" in history and any("ptt" in l and "on" in l for l in transcript[said:]),
          "a single station is disconnected and the voice test keys the transmitter, each logged with the user's name")

    # Settings: only an admin sees and changes them; a bad value gets --check's words and is not saved; a good one is
    # saved into the file through its symbolic link, its comment and mode kept; a secret is never sent.
    sip_target = os.path.join(node.work, "sip-real.ini")
    with open(sip_target, "w") as f:
        f.write("; the provider's account\r\n[SETTINGS]\r\nPassword=hunter2-secret\r\n")
    os.chmod(sip_target, 0o640)
    os.symlink(sip_target, os.path.join(node.home, "quillmere_sip.ini"))
    rules = os.path.join(node.home, "quillmere_dialrules.ini")
    with open(rules, "w") as f:
        f.write("[SETTINGS]\r\nRingSeconds=30\r\n[RULES]\r\nallow 555XXXX\r\n[INCOMING]\r\nallow +1555* pin 4321\r\n")
    os.chmod(rules, 0o600)
    change = {"file": "quillmere_sip.ini", "key": "DialPattern", "value": "sip:{number}@pbx.example"}
    check(request("GET", "/api/settings", cookie=vcookie)[0] == 403 and
          request("POST", "/api/settings", change, {"X-CSRF-Token": csrf}, cookie)[0] == 403,
          "a viewer cannot see the settings, an operator cannot change them (403)")
    astatus, acookie, acsrf, _ = login("adm", "adm pass")
    status, body, _ = request("GET", "/api/settings", cookie=acookie)
    files = {f["file"]: f for f in json.loads(body)["files"]} if status == 200 else {}
    password = [k for k in files.get("quillmere_sip.ini", {"keys": []})["keys"] if k["name"] == "Password"]
    check(set(files) == {"quillmere.ini", "quillmere_radio.ini", "quillmere_sip.ini", "quillmere_echolink.ini",
                         "quillmere_dialrules.ini", "quillmere_web.ini", "quillmere_courtsey.ini"} and
          password and password[0]["set"] and "value" not in password[0] and "hunter2" not in body and
          "scrape-me" not in body and "pin 4321" not in body,
          "an admin sees every settings file; a password, the metrics token and the PINs never")
    bad = dict(change, value="sip:no-number@pbx.example")
    status, body, _ = request("POST", "/api/settings", bad, {"X-CSRF-Token": acsrf}, acookie)
    message = json.loads(body).get("error", "")
    check_home = os.path.join(node.work, "check-home")
    os.makedirs(check_home)
    with open(os.path.join(check_home, "quillmere_sip.ini"), "w") as f:
        f.write("[SETTINGS]\r\nDialPattern=sip:no-number@pbx.example\r\n")
    said = subprocess.run([BIN, "--check", "--home", check_home, "--machine-dir", node.machine], capture_output=True,
                          text=True, env=node.env).stdout.replace(check_home, node.home)
    check(status == 400 and message.endswith("; nothing was saved.") and
          message[:-len("; nothing was saved.")] in said, "a bad value is refused with --check's words (%r)" % message)
    status, body, _ = request("POST", "/api/settings", change, {"X-CSRF-Token": acsrf}, acookie)
    with open(sip_target) as f:
        saved = f.read()
    check(status == 200 and json.loads(body).get("nextStart") is True and
          os.path.islink(os.path.join(node.home, "quillmere_sip.ini")) and saved.startswith("; the provider's account") and
          "DialPattern=sip:{number}@pbx.example" in saved and "Password=hunter2-secret" in saved and
          oct(os.stat(sip_target).st_mode & 0o777) == "0o640", "an admin's change is saved: link, comment, mode kept")
    # The dial rules file keeps its rules, its PINs and its mode; the courtesy window's key takes effect at once.
    status, body, _ = request("POST", "/api/settings", {"file": "quillmere_dialrules.ini", "key": "RingSeconds",
                                                        "value": "45"}, {"X-CSRF-Token": acsrf}, acookie)
    with open(rules) as f:
        saved = f.read()
    cstatus, cbody, _ = request("POST", "/api/settings", {"file": "quillmere_courtsey.ini", "key": "HANGTIME",
                                                          "value": "700"}, {"X-CSRF-Token": acsrf}, acookie)
    with open(os.path.join(node.machine, "quillmere_courtsey.ini")) as f:
        courtesy = f.read()
    check(status == 200 and "RingSeconds=45" in saved and "allow 555XXXX" in saved and "allow +1555* pin 4321" in saved and
          oct(os.stat(rules).st_mode & 0o777) == "0o600" and cstatus == 200 and
          "in effect now" in cbody and "HANGTIME=700" in courtesy,
          "the dial rules' and the courtesy tones' keys are saved, the rules, PINs and mode kept")
    # In the browser: a key the main window holds takes effect at once, and lands in the log with the user's name.
    browser.find_element(By.ID, "logout").click()
    WebDriverWait(browser, 10).until(lambda b: b.find_element(By.NAME, "user").is_displayed())
    browser.find_element(By.NAME, "user").send_keys("adm")
    browser.find_element(By.NAME, "password").send_keys("adm pass")
    browser.find_element(By.CSS_SELECTOR, "#login-form button").click()
    WebDriverWait(browser, 10).until(lambda b: b.find_element(By.ID, "settings-tab").is_displayed())
    browser.find_element(By.ID, "settings-tab").click()
    row = WebDriverWait(browser, 10).until(
        lambda b: b.find_element(By.CSS_SELECTOR, '.setting[data-file="quillmere.ini"][data-key="VOICESPEED"]'))
    browser.execute_script("arguments[0].open = true", browser.find_element(By.CSS_SELECTOR, ".settings-file"))
    box = row.find_element(By.NAME, "VOICESPEED")
    box.clear()
    box.send_keys("9")
    row.find_element(By.TAG_NAME, "button").click()
    WebDriverWait(browser, 10).until(lambda b: "from -5 to 5" in row.find_element(By.CLASS_NAME, "message").text)
    box.clear()
    box.send_keys("3")
    row.find_element(By.TAG_NAME, "button").click()
    WebDriverWait(browser, 10).until(lambda b: "in effect now" in row.find_element(By.CLASS_NAME, "message").text)
    shoot("settings")
    with open(os.path.join(node.home, "quillmere.ini")) as f:
        main_ini = f.read()
    check("VOICESPEED=3" in main_ini and wait_until(lambda: "Web: adm: quillmere.ini VOICESPEED" in
                                                    request("GET", "/api/history", cookie=acookie)[1], 5),
          "the admin's change in the browser is saved and logged with the user's name")

    # Five wrong passwords in a row lock the login.
    codes = [login("op", "wrong")[0] for _ in range(5)]
    check(codes == [401] * 5 and login("op", "op pass")[0] == 429, "five wrong passwords lock the login (429)")
    check(node.process.poll() is None, "the program is still running")

    # The SIP account's tile, with baresip registering at kamailio: registered, then refused once an admin sets a wrong
    # password (the account is reloaded as the settings window's save reloads it).
    kamailio_bash = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "sip", "kamailio.bash")
    registrar, sip_port = free_port(), free_port()
    config = os.path.join(node.work, "kamailio.cfg")
    made = shutil.which("kamailio") and shutil.which("baresip") and subprocess.run(
        ["bash", "-c", '. "$0" && kamailio_config "$1" "$2"', kamailio_bash, config, str(registrar)]).returncode == 0
    if not made:
        print("skip the SIP account's tile: kamailio (with its modules) or baresip is not installed")
    else:
        kamailio = subprocess.Popen(["kamailio", "-f", config, "-DD", "-E", "-Y", node.work, "-w", node.work],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        sip_node = WebNode(BIN, "", (("adm", "admin", "adm pass"),), args=("--skype", "sip"), home_files={
            "quillmere_sip.ini": "[SETTINGS]\r\nAccount=sip:alice@127.0.0.1:%d\r\nPassword=secret\r\n"
                                 "AudioDriver=aubridge\r\nInputDevice=q\r\nOutputDevice=q\r\n"
                                 "ListenAddress=127.0.0.1:%d\r\n" % (registrar, sip_port)})
        try:
            browser.get(sip_node.base + "/")
            WebDriverWait(browser, 10).until(lambda b: b.find_element(By.NAME, "user").is_displayed())
            browser.find_element(By.NAME, "user").send_keys("adm")
            browser.find_element(By.NAME, "password").send_keys("adm pass")
            browser.find_element(By.CSS_SELECTOR, "#login-form button").click()
            # The tile is marked ("on") while the account is not registered.
            tile = lambda b: (b.find_element(By.ID, "registration").text, "on" in
                              b.find_element(By.ID, "tile-sip").get_attribute("class").split())
            WebDriverWait(browser, 15).until(lambda b: tile(b) == ("registered", False))
            base = sip_node.base  # for request() and login()
            _, cookie, token, _ = login("adm", "adm pass")
            status = request("POST", "/api/settings", {"file": "quillmere_sip.ini", "key": "Password", "value": "wrong"},
                             {"X-CSRF-Token": token}, cookie)[0]
            WebDriverWait(browser, 15).until(lambda b: tile(b)[0].startswith("refused") and tile(b)[1])
            check(status == 200, "the SIP account's tile shows registered, then the refusal of a wrong password")
        except Exception as e:  # a timeout names what the page showed
            check(False, "the SIP account's tile: %r (%s)" % (browser.find_element(By.ID, "registration").text, e))
        finally:
            sip_node.stop()
            kamailio.terminate()
            kamailio.wait(10)
finally:
    if browser:
        browser.quit()
    node.stop()

if failures:
    print("%d failed; the transcript's end:" % len(failures))
    print("\n".join(transcript[-30:]))
sys.exit(1 if failures else 0)
