#!/usr/bin/python3
"""Drives the console page in headless chromium against a real `svcsh serve`.

    /usr/bin/python3 console_page.py --svcsh build/default/bin/svcsh --screenshot out.png

Starts svcsh serve on loopback TCP in a private XDG_RUNTIME_DIR, finds the endpoint and token in
the discovery file, signs in through the login link, and then works the page as a person would:
lists services, opens HelloWorldService, calls add, writes and watches Greeting while another
client changes it, checks the charts move, saves a screenshot, and stops svcsh with SIGTERM.
Needs Debian's chromium, chromium-driver and python3-selenium. Exits 0 on success, 1 on failure.
"""
import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import TimeoutException, WebDriverException
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
START_SECONDS = 30  # svcsh start, first page load (chromium starts slowly on a busy machine)
STEP_SECONDS = 15  # every later wait for the page or the server
STOP_SECONDS = 10  # svcsh's exit after SIGTERM


class Failure(Exception):
    """A check that did not hold; the message says what was expected and what was seen."""


def wait_for(what, condition, seconds=STEP_SECONDS, driver=None):
    """Polls condition (given the driver, or None) until it answers something true; fails with
    `what` after `seconds`. Answers the condition's value."""
    try:
        return WebDriverWait(driver, seconds, poll_frequency=0.1).until(lambda d: condition(d))
    except TimeoutException:
        raise Failure(f"timed out after {seconds} s waiting for {what}") from None


def api(base, token, method, path, body=None):
    """Calls the console as a second client with the bearer token; answers (status, JSON body)."""
    data = json.dumps(body).encode() if body is not None else None
    req = urllib.request.Request(base + path, data=data, method=method)
    if token:
        req.add_header("Authorization", f"Bearer {token}")
    if data is not None:
        req.add_header("Content-Type", "application/json")
    try:
        with urllib.request.urlopen(req, timeout=STEP_SECONDS) as response:
            return response.status, json.loads(response.read())
    except urllib.error.HTTPError as error:
        return error.code, json.loads(error.read() or b"null")


def text_of(driver, selector):
    """The text of the first element matching selector, or None while there is none."""
    found = driver.find_elements(By.CSS_SELECTOR, selector)
    return found[0].text if found else None


def attribute_of(driver, selector, name):
    found = driver.find_elements(By.CSS_SELECTOR, selector)
    return found[0].get_attribute(name) if found else None


def expect_text(driver, selector, expected, what):
    """Waits until the element's text is exactly `expected`; the failure shows the last text."""
    seen = []

    def matches(d):
        seen.append(text_of(d, selector))
        return seen[-1] == expected

    try:
        wait_for(what, matches, driver=driver)
    except Failure as failure:
        raise Failure(f"{failure}: expected {expected!r} in {selector}, saw {seen[-1]!r}") from None


def read_discovery(path):
    """The discovery file's content, or None while it is missing or not yet whole."""
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def start_browser():
    options = Options()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     "--window-size=1280,900"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    # The window size counts the window's frame; grow it so the page itself (and the picture)
    # is 1280x900.
    width, height = driver.execute_script("return [window.innerWidth, window.innerHeight]")
    if (width, height) != (1280, 900):
        driver.set_window_size(1280 + 1280 - width, 900 + 900 - height)
    return driver


def run(svcsh, screenshot, workdir, state):
    env = dict(os.environ, XDG_RUNTIME_DIR=workdir, SF_CONSOLE="tcp:127.0.0.1:0")
    state["stderr"] = open(os.path.join(workdir, "svcsh.stderr"), "w+", encoding="utf-8")
    # stdin stays an open pipe, so svcsh serve never sees end of input while the test runs.
    proc = subprocess.Popen([svcsh, "serve"], env=env, stdin=subprocess.PIPE,
                            stdout=state["stderr"], stderr=state["stderr"])
    state["proc"] = proc
    discovery_path = os.path.join(workdir, "servicesframework", f"console-{proc.pid}.json")

    def discovered(_):
        if proc.poll() is not None:
            raise Failure(f"svcsh serve exited with status {proc.returncode} before it served")
        return read_discovery(discovery_path)

    discovery = wait_for(f"the discovery file {discovery_path}", discovered, START_SECONDS)
    print(f"discovery file: {json.dumps({**discovery, 'token': '...'})}")
    endpoint, token = discovery.get("endpoint", ""), discovery.get("token", "")
    if discovery.get("pid") != proc.pid or discovery.get("program") != "svcsh":
        raise Failure(f"discovery file names pid {discovery.get('pid')} / program "
                      f"{discovery.get('program')!r}, expected {proc.pid} / 'svcsh'")
    prefix = "tcp:127.0.0.1:"
    if not endpoint.startswith(prefix) or not endpoint[len(prefix):].isdigit() or not token:
        raise Failure(f"discovery file has endpoint {endpoint!r} and token {bool(token)}")
    base = f"http://127.0.0.1:{endpoint[len(prefix):]}"

    # The API refuses a client without the token and answers one with it.
    status, body = api(base, None, "GET", "/v1/status")
    if status != 401:
        raise Failure(f"GET /v1/status without credentials answered {status} {body}, expected 401")
    status, body = api(base, token, "GET", "/v1/status")
    if status != 200 or body.get("pid") != proc.pid:
        raise Failure(f"GET /v1/status with the token answered {status} {body}")

    driver = start_browser()
    state["driver"] = driver
    driver.set_page_load_timeout(START_SECONDS)
    driver.get(f"{base}/login?token={token}")
    wait_for("the login link to lead to /", lambda d: d.current_url == base + "/", driver=driver)
    cookie = driver.get_cookie("sf_console_session")
    if not cookie or not cookie.get("httpOnly"):
        raise Failure(f"after login the session cookie is {cookie}, expected an HttpOnly cookie")

    # Status line and the list of services.
    wait_for("the status line", lambda d: attribute_of(d, "#status", "data-state") == "ok",
             START_SECONDS, driver)
    status_text = text_of(driver, "#status")
    if f"pid {proc.pid}" not in status_text or endpoint not in status_text:
        raise Failure(f"status line {status_text!r} lacks pid {proc.pid} or {endpoint}")
    service = '#services li[data-service="HelloWorldService"]'
    wait_for("HelloWorldService in the list of services",
             lambda d: d.find_elements(By.CSS_SELECTOR, service), driver=driver)

    # A service whose library is absent: the page shows the failure with the factory's reason,
    # and the libraries list then shows that library failed, with the reason.
    absent = '#services li[data-service="SystemService"][data-state="not installed"]'
    wait_for("SystemService listed as not installed",
             lambda d: d.find_elements(By.CSS_SELECTOR, absent), driver=driver)
    driver.find_element(By.CSS_SELECTOR, f"{absent} button").click()
    why = "why: The library SystemService could not be opened: "
    wait_for(f"the reason SystemService cannot be described, starting {why!r}",
             lambda d: (text_of(d, "#detail-error [data-why]") or "").startswith(why), driver=driver)
    reason = '#libraries tr[data-library="SystemService"][data-state="failed"] [data-reason]'
    wait_for("the SystemService library shown as failed with the reason",
             lambda d: "could not be opened" in (text_of(d, reason) or ""), driver=driver)

    driver.find_element(By.CSS_SELECTOR, f"{service} button").click()

    # Its members: Greeting and the masked Secret read live.
    greeting = '#properties tr[data-property="Greeting"] [data-value]'
    expect_text(driver, greeting, "Hello", "Greeting's first value")
    expect_text(driver, '#properties tr[data-property="Secret"] [data-value]', "********",
                "the masked Secret")
    add = '#methods form[data-method="add"]'
    wait_for("the add form", lambda d: d.find_elements(By.CSS_SELECTOR, add), driver=driver)
    # A refused call shows the interpreter's message, then add(2, 3) answers 5.
    def call_add(a, b):
        for name, value in (("a", a), ("b", b)):
            field = driver.find_element(By.CSS_SELECTOR, f'{add} input[data-param="{name}"]')
            field.clear()
            field.send_keys(value)
        driver.find_element(By.CSS_SELECTOR, f"{add} button[type=submit]").click()

    call_add("2", "x")
    expect_text(driver, f"{add} output[data-result]", "argument 'b' of add: \"x\" is not an int",
                "the failure of add(2, x)")
    if attribute_of(driver, f"{add} output[data-result]", "data-state") != "error":
        raise Failure("the failure of add(2, x) is not marked as an error")
    call_add("2", "3")
    expect_text(driver, f"{add} output[data-result]", "5", "the result of add(2, 3)")
    if attribute_of(driver, f"{add} output[data-result]", "data-state") != "ok":
        raise Failure("add's result is not marked ok")

    # sayHello(name) with quotes and a backslash in the argument comes back unchanged.
    hello = '#methods form[data-method="sayHello"][data-signature="std::string name"]'
    driver.find_element(By.CSS_SELECTOR, f'{hello} input[data-param="name"]').send_keys('A "B" \\ C')
    driver.find_element(By.CSS_SELECTOR, f"{hello} button[type=submit]").click()
    expect_text(driver, f"{hello} output[data-result]", 'Hello, A "B" \\ C!', "sayHello's answer")

    # Writing Greeting from the page; the value is read again.
    written = 'Good "day", all \\ of you'
    write = '#properties form[data-write="Greeting"]'
    driver.find_element(By.CSS_SELECTOR, f"{write} input").send_keys(written)
    driver.find_element(By.CSS_SELECTOR, f"{write} button[type=submit]").click()
    expect_text(driver, greeting, written, "Greeting after writing it from the page")

    # Watching Greeting, then changing it from another client: the page follows in place.
    watch = '#properties tr[data-property="Greeting"] button[data-watch]'
    if attribute_of(driver, watch, "data-watch") != "off":
        raise Failure("Greeting's watch button is not in the state off")
    cell = driver.find_element(By.CSS_SELECTOR, greeting)
    driver.find_element(By.CSS_SELECTOR, watch).click()
    wait_for("the watch on Greeting to be on",
             lambda d: attribute_of(d, watch, "data-watch") == "on", driver=driver)
    status, body = api(base, token, "POST", "/v1/run",
                       {"line": 'HelloWorldService/Greeting("from elsewhere")'})
    if status != 200 or body.get("ok") is not True:
        raise Failure(f"the second client's write answered {status} {body}")
    expect_text(driver, greeting, "from elsewhere", "the watched Greeting to follow another client")
    if driver.find_element(By.CSS_SELECTOR, greeting) != cell:
        raise Failure("the watched value was redrawn instead of updated in place")

    # The libraries list shows the sample library loaded.
    wait_for("HelloWorldService's library shown as loaded", lambda d: d.find_elements(
        By.CSS_SELECTOR, '#libraries tr[data-library="HelloWorldService"][data-state="loaded"]'),
        driver=driver)

    # Statistics arrive once a second: every chart keeps drawing.
    for chart in ("queued", "wait", "rate"):
        selector = f"#chart-{chart}"
        before = int(attribute_of(driver, selector, "data-points") or 0)
        wait_for(f"{selector} to draw two more samples than {before}",
                 lambda d, s=selector, b=before: int(attribute_of(d, s, "data-points") or 0) >= b + 2,
                 driver=driver)

    # Nothing was refused by the content security policy or failed in the page's script. Network
    # entries are left out: the refused add above is a 422 that the browser logs as an error.
    problems = [entry["message"] for entry in driver.get_log("browser")
                if entry["level"] == "SEVERE" and entry.get("source") != "network"]
    if problems:
        raise Failure("the browser reported errors:\n  " + "\n  ".join(problems))

    driver.execute_script("window.scrollTo(0, 0); document.activeElement.blur();")
    if not driver.save_screenshot(screenshot):
        raise Failure(f"could not save the screenshot to {screenshot}")
    print(f"screenshot: {screenshot}")

    # SIGTERM ends svcsh, which removes its discovery file.
    driver.quit()
    state["driver"] = None
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=STOP_SECONDS)
    except subprocess.TimeoutExpired:
        raise Failure(f"svcsh serve did not exit within {STOP_SECONDS} s of SIGTERM") from None
    print(f"svcsh serve exited with status {proc.returncode} after SIGTERM")
    if os.path.exists(discovery_path):
        raise Failure(f"the discovery file {discovery_path} is still there after svcsh exited")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--svcsh", required=True, help="path to the svcsh program")
    parser.add_argument("--screenshot", required=True, help="where to save the page's picture")
    args = parser.parse_args()
    svcsh = os.path.abspath(args.svcsh)
    screenshot = os.path.abspath(args.screenshot)
    for path in (svcsh, CHROMIUM, CHROMEDRIVER):
        if not os.access(path, os.X_OK):
            print(f"FAIL: {path} is missing or not executable", file=sys.stderr)
            return 1

    workdir = tempfile.mkdtemp(prefix="console-page-")
    os.chmod(workdir, 0o700)
    state = {"proc": None, "driver": None, "stderr": None}
    try:
        run(svcsh, screenshot, workdir, state)
        print("PASS: the console page works against svcsh serve")
        return 0
    except (Failure, WebDriverException) as error:
        print(f"FAIL: {error}", file=sys.stderr)
        if state["driver"]:
            failed = os.path.splitext(screenshot)[0] + "-failed.png"
            try:
                state["driver"].save_screenshot(failed)
                print(f"the page at the failure: {failed}", file=sys.stderr)
            except WebDriverException:
                pass
        if state["stderr"]:
            state["stderr"].seek(0)
            print("---- svcsh output ----\n" + state["stderr"].read() + "----------------------",
                  file=sys.stderr)
        return 1
    finally:
        if state["driver"]:
            state["driver"].quit()
        if state["proc"] and state["proc"].poll() is None:
            state["proc"].kill()
            state["proc"].wait(timeout=STOP_SECONDS)
        if state["stderr"]:
            state["stderr"].close()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
