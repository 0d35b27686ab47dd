#!/usr/bin/env python3
"""Approves a device login the way a person does: headless Chromium opens
the approval page, signs in and presses «Разрешить».

    browser_approve.py CHROMIUM URL USERNAME PASSWORD

Chromium is driven over the DevTools protocol on a pipe
(--remote-debugging-pipe: commands in on fd 3, answers out on fd 4, each a
JSON text ended by a NUL byte), so nothing beyond the standard library is
needed. Prints the heading of the page it ends on; exits 1 when a step
fails or takes longer than the deadline.
"""
import json
import os
import select
import subprocess
import sys
import tempfile
import time

DEADLINE = time.monotonic() + 60
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--remote-debugging-pipe"]


class Browser:
    def __init__(self, chromium, profile):
        to_chromium, self.commands = os.pipe()
        self.answers, from_chromium = os.pipe()
        # The shell puts the pipe ends on the descriptors Chromium expects.
        script = f'exec "$0" "$@" 3<&{to_chromium} 4>&{from_chromium}'
        self.process = subprocess.Popen(
            ["sh", "-c", script, chromium, *FLAGS, f"--user-data-dir={profile}", "about:blank"],
            pass_fds=(to_chromium, from_chromium), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(to_chromium)
        os.close(from_chromium)
        self.buffer = b""
        self.next_id = 0
        self.session = None

    def read_message(self):
        while b"\0" not in self.buffer:
            left = DEADLINE - time.monotonic()
            if left <= 0 or not select.select([self.answers], [], [], left)[0]:
                sys.exit("browser_approve: Chromium did not answer in time")
            chunk = os.read(self.answers, 65536)
            if not chunk:
                sys.exit("browser_approve: Chromium closed the pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, **params):
        self.next_id += 1
        command = {"id": self.next_id, "method": method, "params": params}
        if self.session:
            command["sessionId"] = self.session
        os.write(self.commands, json.dumps(command).encode() + b"\0")
        while True:
            message = self.read_message()
            if message.get("id") == self.next_id:
                if "error" in message:
                    sys.exit(f"browser_approve: {method}: {message['error']}")
                return message["result"]

    def wait_for(self, event):
        while self.read_message().get("method") != event:
            pass

    def open_tab(self):
        target = self.send("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.send("Target.attachToTarget", targetId=target,
                                 flatten=True)["sessionId"]
        self.send("Page.enable")

    def evaluate(self, expression):
        return self.send("Runtime.evaluate", expression=expression,
                         returnByValue=True)["result"].get("value")

    # Runs a script that submits a form, and waits for the page it leads to.
    def submit(self, expression):
        self.evaluate(expression)
        self.wait_for("Page.loadEventFired")

    def close(self):
        self.session = None
        try:
            self.send("Browser.close")
            self.process.wait(timeout=10)
        except (SystemExit, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.wait()


def main():
    chromium, url, username, password = sys.argv[1:5]
    with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as profile:
        browser = Browser(chromium, profile)
        try:
            browser.open_tab()
            browser.send("Page.navigate", url=url)
            browser.wait_for("Page.loadEventFired")
            browser.submit(f"""
                document.querySelector('#username').value = {json.dumps(username)};
                document.querySelector('#password').value = {json.dumps(password)};
                document.querySelector('button[type=submit]').click();""")
            browser.submit("document.querySelector('button[value=approve]').click();")
            print(browser.evaluate("document.querySelector('h1').textContent"))
        finally:
            browser.close()


if __name__ == "__main__":
    main()
