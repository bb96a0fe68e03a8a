#!/usr/bin/python3
"""kqcam --serve in a real browser: headless Chromium driven by Selenium opens
the page, sees live view change, captures a picture and finds it in the
gallery and on disk, changes ISO in the settings panel and reads it back
through the API, captures from the keyboard as a booth's foot pedal would
(countdown, busy state on the page, the picture shown large for review), opens
the view-only URL, and saves a screenshot.

usage: browser_test.py --kqcam PATH --workdir DIR --screenshot PNG
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

TIMEOUT = 60  # seconds for any one thing to happen; kqcam may run under qemu


def fail(message):
    print("browser_test: " + message, file=sys.stderr)
    sys.exit(1)


def start_server(kqcam, workdir):
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    env = dict(os.environ, XDG_STATE_HOME=os.path.join(workdir, "state"))
    out = open(os.path.join(workdir, "kqcam.out"), "w+")
    process = subprocess.Popen([kqcam, "--serve=127.0.0.1:0", "--filename", "web-%03n.jpg",
                                "--serve-countdown=1", "--serve-control"],
                               cwd=workdir, env=env, stdout=out, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        out.seek(0)
        text = out.read()
        match = re.search(r"Serving (http://\S+).*\nControl (http://\S+)", text)
        if match:
            return process, match.group(1), match.group(2), out
        if process.poll() is not None:
            break
        time.sleep(0.05)
    out.seek(0)
    process.kill()
    fail("kqcam printed no URL: " + out.read())


def api(base, path):
    with urllib.request.urlopen(base.rstrip("/") + path, timeout=TIMEOUT) as response:
        return json.load(response)


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1280,1000", "--no-proxy-server"):
        options.add_argument(argument)
    # A first start on a fresh machine (profile, font cache) may miss the
    # driver's start-up time once.
    for attempt in (1, 2):
        try:
            return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        except Exception as error:  # noqa: BLE001 - any start-up failure
            if attempt == 2:
                raise
            print("browser_test: Chromium did not start (%s); once more" % str(error).splitlines()[0])


# The live view's current picture, drawn into a canvas and hashed.
FRAME_HASH = """
const img = document.getElementById('live');
if (!img.naturalWidth) return null;
const canvas = document.createElement('canvas');
canvas.width = 160; canvas.height = 120;
const context = canvas.getContext('2d');
context.drawImage(img, 0, 0, 160, 120);
return canvas.toDataURL('image/png');
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kqcam", required=True)
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--screenshot", required=True)
    args = parser.parse_args()
    args.kqcam = os.path.abspath(args.kqcam)

    process, url, control_url, out = start_server(args.kqcam, args.workdir)
    driver = None
    try:
        driver = browser()
        wait = WebDriverWait(driver, TIMEOUT, poll_frequency=0.1)
        driver.get(control_url)

        # Live view: several distinct frames.
        frames = set()

        def distinct_frames(d):
            picture = d.execute_script(FRAME_HASH)
            if picture:
                frames.add(hashlib.sha1(picture.encode()).hexdigest())
            return len(frames) >= 3
        wait.until(distinct_frames)
        print("browser_test: live view showed %d distinct frames" % len(frames))

        # Status line names the camera.
        wait.until(lambda d: "ZT Virtual Camera" in d.find_element(By.ID, "status").text)

        # Capture: the picture appears in the gallery and on disk.
        driver.find_element(By.ID, "capture").click()
        figure = wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, '#gallery figure[data-name="web-001.jpg"]'))
        thumb = figure[0].find_element(By.TAG_NAME, "img")
        wait.until(lambda d: d.execute_script("return arguments[0].complete && arguments[0].naturalWidth", thumb))
        path = os.path.join(args.workdir, "web-001.jpg")
        with open(path, "rb") as f:
            data = f.read()
        if not (data.startswith(b"\xff\xd8") and data.endswith(b"\xff\xd9")):
            fail("the captured file is not a whole JPEG")
        print("browser_test: captured %s (%d bytes), shown in the gallery" % (path, len(data)))

        # ISO from the settings panel, read back through the API.
        iso = api(url, "/api/config/0xD01C")
        target = next(c for c in reversed(iso["choices"]) if c["value"] != iso["current"]["value"])
        select = wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, 'select[data-code="0xD01C"]'))
        Select(select[0]).select_by_value(str(target["index"]))
        wait.until(lambda d: api(url, "/api/config/0xD01C")["current"]["value"] == target["value"])
        # The panel shows the value the camera reports (its row is rebuilt
        # when the change comes back, so it is read in one script).
        shown = """const s = document.querySelector('select[data-code="0xD01C"]');
                   return s ? s.options[s.selectedIndex].text : null;"""
        wait.until(lambda d: d.execute_script(shown) == target["label"])
        print("browser_test: ISO set to %s from the page" % target["label"])

        # The booth: a key press captures (a foot pedal types one); every
        # page then shows the countdown and the busy state, further presses
        # queue nothing, and the picture is shown large for a few seconds.
        shots_before = len(api(url, "/api/shots"))
        driver.execute_script("document.activeElement.blur()")
        ActionChains(driver).send_keys(Keys.SPACE).perform()
        wait.until(lambda d: d.execute_script(
            "return !document.getElementById('busy').hidden && document.getElementById('capture').disabled"))
        wait.until(lambda d: d.execute_script(
            "const c = document.getElementById('countdown');"
            "return c.classList.contains('shown') && c.textContent === '1'"))
        ActionChains(driver).send_keys(Keys.SPACE).send_keys(Keys.ENTER).perform()
        name = "web-%03d.jpg" % (shots_before + 1)
        wait.until(lambda d: d.execute_script(
            "const r = document.getElementById('review');"
            "return r.classList.contains('shown') && r.dataset.name === arguments[0]"
            " && r.firstChild.complete && r.firstChild.naturalWidth > 0", name))
        wait.until(lambda d: not d.find_element(By.ID, "capture").get_attribute("disabled"))
        wait.until(lambda d: not d.execute_script(
            "return document.getElementById('review').classList.contains('shown')"))
        shots = api(url, "/api/shots")
        if len(shots) != shots_before + 1 or shots[-1]["name"] != name:
            fail("one key press, then two while busy, gave %s" % [s["name"] for s in shots])
        if "Picture saved" not in driver.find_element(By.ID, "status").text:
            fail("the status line does not say what happened: " + driver.find_element(By.ID, "status").text)
        print("browser_test: Space captured %s after the countdown, reviewed, nothing queued" % name)

        # Settings: names and labels; codes and types behind "details"; the
        # panel does not scroll inside the page.
        code_shown = "return document.querySelector('.prop[data-code=\"0xD01C\"] small').offsetParent !== null"
        if driver.execute_script(code_shown):
            fail("property codes are shown without 'details'")
        driver.find_element(By.ID, "detailsToggle").click()
        wait.until(lambda d: d.execute_script(code_shown))
        panel = "const a = document.querySelector('aside'); return a.scrollHeight <= a.clientHeight + 1"
        if not driver.execute_script(panel):
            fail("the settings panel scrolls inside the page")

        os.makedirs(os.path.dirname(os.path.abspath(args.screenshot)), exist_ok=True)
        driver.save_screenshot(args.screenshot)

        # Without the control token the page watches only.
        driver.get(url)
        wait.until(lambda d: not d.find_element(By.ID, "viewOnly").get_attribute("hidden"))
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, 'select[data-code="0xD01C"]'))
        if driver.find_element(By.ID, "capture").is_displayed():
            fail("the view-only page offers Capture")
        if driver.find_element(By.CSS_SELECTOR, 'select[data-code="0xD01C"]').is_enabled():
            fail("the view-only page lets settings change")
        print("browser_test: the view-only URL watches and cannot capture")
        print("browser_test: screenshot " + args.screenshot)
    finally:
        if driver is not None:
            driver.quit()
        process.send_signal(signal.SIGINT)
        try:
            status = process.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            process.kill()
            fail("kqcam did not stop after Ctrl-C")
        out.seek(0)
        log = out.read()
    if status != 0:
        fail("kqcam exited with %d: %s" % (status, log))
    print("browser_test: passed")


if __name__ == "__main__":
    main()
