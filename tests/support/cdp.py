#!/usr/bin/python3
"""Drives headless Chromium through its DevTools protocol: cdp.py STEPS.json

Chromium is started with --remote-debugging-pipe: it reads commands on descriptor 3 and writes
answers and events on descriptor 4, each message JSON ended by a NUL byte, so the standard
library is enough (no WebSocket client). STEPS.json is a list of steps, run in order:

  {"viewport": [W, H]}         the page's size (below 600 pixels wide, as a phone)
  {"go": URL}                  opens URL and waits for its load event
  {"eval": JS}                 evaluates JS (promises awaited) and prints its value
  {"wait": JS, "timeout": S}   evaluates JS every 100 ms until it is truthy; prints that value
  {"key": NAME}                presses and releases a key: ArrowLeft, ArrowRight, Home, End, Space
  {"shot": PATH}               writes a PNG screenshot of the viewport

Each printed value is one line of JSON. A failing step prints "error: WHY" on stderr and the
exit code is 1; nothing may take more than a minute.
"""
import base64
import fcntl
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

CHROMIUM = "/usr/bin/chromium"
KEYS = {"ArrowLeft": 37, "ArrowRight": 39, "Home": 36, "End": 35, "Space": 32}


class Failure(Exception):
    pass


class Browser:
    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="kestrix-chromium-")
        commands_read, self.commands = os.pipe()
        self.answers, answers_write = os.pipe()

        def on_descriptors_3_and_4():
            # Out of the way first: either pipe end may already sit on 3 or 4.
            high_read = fcntl.fcntl(commands_read, fcntl.F_DUPFD, 10)
            high_write = fcntl.fcntl(answers_write, fcntl.F_DUPFD, 10)
            os.dup2(high_read, 3)
            os.dup2(high_write, 4)

        self.process = subprocess.Popen(
            [CHROMIUM, "--headless=new", "--no-sandbox", "--disable-gpu",
             "--remote-debugging-pipe", "--user-data-dir=" + self.profile, "--no-first-run",
             "--no-default-browser-check", "--disable-extensions", "--hide-scrollbars",
             "--mute-audio", "--autoplay-policy=no-user-gesture-required",
             "--disable-background-networking", "--window-size=1280,800", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            close_fds=False, preexec_fn=on_descriptors_3_and_4)
        os.close(commands_read)
        os.close(answers_write)
        self.received = b""
        self.waiting = []
        self.last_id = 0
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": target, "flatten": True})["sessionId"]
        self.call("Page.enable", session=self.session)

    def close(self):
        try:
            self.call("Browser.close", timeout=5)
        except Exception:
            pass
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.commands)
        os.close(self.answers)
        shutil.rmtree(self.profile, ignore_errors=True)

    def call(self, method, params=None, session=None, timeout=30):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.commands, json.dumps(message).encode() + b"\0")
        wanted = self.last_id
        answer = self.next(lambda m: m.get("id") == wanted, timeout)
        if "error" in answer:
            raise Failure(method + ": " + answer["error"].get("message", "failed"))
        return answer.get("result", {})

    def next(self, match, timeout):
        deadline = time.monotonic() + timeout
        while True:
            for i, message in enumerate(self.waiting):
                if match(message):
                    return self.waiting.pop(i)
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure("no answer from chromium within %g s" % timeout)
            ready, _, _ = select.select([self.answers], [], [], left)
            if not ready:
                continue
            data = os.read(self.answers, 1 << 20)
            if not data:
                raise Failure("chromium has gone")
            self.received += data
            *complete, self.received = self.received.split(b"\0")
            self.waiting += [json.loads(m) for m in complete if m]

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                                "returnByValue": True}, self.session)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            raise Failure("script failed: " + details.get("exception", {}).get(
                "description", details.get("text", "")))
        return result["result"].get("value")

    def run(self, step):
        if "viewport" in step:
            width, height = step["viewport"]
            self.call("Emulation.setDeviceMetricsOverride",
                      {"width": width, "height": height, "deviceScaleFactor": 1,
                       "mobile": width < 600}, self.session)
        elif "go" in step:
            self.waiting = []
            self.call("Page.navigate", {"url": step["go"]}, self.session)
            session = self.session
            self.next(lambda m: m.get("method") == "Page.loadEventFired"
                      and m.get("sessionId") == session, 30)
        elif "eval" in step:
            print(json.dumps(self.evaluate(step["eval"])), flush=True)
        elif "wait" in step:
            deadline = time.monotonic() + step.get("timeout", 10)
            while True:
                value = self.evaluate(step["wait"])
                if value:
                    print(json.dumps(value), flush=True)
                    break
                if time.monotonic() > deadline:
                    raise Failure("still false: " + step["wait"])
                time.sleep(0.1)
        elif "key" in step:
            name = step["key"]
            key = " " if name == "Space" else name
            base = {"key": key, "code": name, "windowsVirtualKeyCode": KEYS[name],
                    "nativeVirtualKeyCode": KEYS[name]}
            down = dict(base, type="keyDown", **({"text": " "} if name == "Space" else {}))
            self.call("Input.dispatchKeyEvent", down, self.session)
            self.call("Input.dispatchKeyEvent", dict(base, type="keyUp"), self.session)
        elif "shot" in step:
            data = self.call("Page.captureScreenshot", {"format": "png"}, self.session)["data"]
            with open(step["shot"], "wb") as out:
                out.write(base64.b64decode(data))
        else:
            raise Failure("unknown step " + json.dumps(step))


def main(args):
    if len(args) != 1:
        sys.exit("usage: cdp.py STEPS.json")
    with open(args[0], encoding="utf-8") as f:
        steps = json.load(f)

    def too_long(*_):
        raise Failure("the steps took more than a minute")

    signal.signal(signal.SIGALRM, too_long)
    signal.alarm(60)
    browser = Browser()
    try:
        for step in steps:
            browser.run(step)
    except Failure as e:
        print("error: " + str(e), file=sys.stderr)
        return 1
    finally:
        browser.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
