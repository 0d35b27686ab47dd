#!/usr/bin/env python3
"""browser_approve.py CHROMIUM URL USERNAME PASSWORD

Headless Chromium opens the approval page URL, signs in and presses
«Разрешить», as a person would; prints the heading of the page it ends on.
It is driven over the DevTools protocol on a pipe (--remote-debugging-pipe:
commands in on fd 3, answers out on fd 4, each a JSON text ended by NUL),
so only the standard library is needed. Exits non-zero when a step fails or
the whole run takes longer than a minute.
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
        self.process = subprocess.Popen(
            ["sh", "-c", f'exec "$0" "$@" 3<&{to_chromium} 4>&{from_chromium}', chromium,
             *FLAGS, f"--user-data-dir={profile}", "about:blank"],
            pass_fds=(to_chromium, from_chromium), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(to_chromium)
        os.close(from_chromium)
        self.buffer, self.next_id, self.session = b"", 0, None

    def read_message(self):
        while b"\0" not in self.buffer:
            left = DEADLINE - time.monotonic()
            chunk = os.read(self.answers, 65536) if select.select(
                [self.answers], [], [], max(left, 0))[0] else b""
            if not chunk:
                sys.exit("browser_approve: Chromium stopped answering")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, **params):
        self.next_id += 1
        command = {"id": self.next_id, "method": method, "params": params}
        if self.session:
            command["sessionId"] = self.session
        os.write(self.commands, json.dumps(command).encode() + b"\0")
        while (message := self.read_message()).get("id") != self.next_id:
            pass
        if "error" in message:
            sys.exit(f"browser_approve: {method}: {message['error']}")
        return message["result"]

    def load(self, method, **params):
        """Sends a command that leads to a new page and waits for it."""
        self.send(method, **params)
        while self.read_message().get("method") != "Page.loadEventFired":
            pass

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
            target = browser.send("Target.createTarget", url="about:blank")["targetId"]
            browser.session = browser.send("Target.attachToTarget", targetId=target,
                                           flatten=True)["sessionId"]
            browser.send("Page.enable")
            browser.load("Page.navigate", url=url)
            browser.load("Runtime.evaluate", expression=f"""
                document.querySelector('#username').value = {json.dumps(username)};
                document.querySelector('#password').value = {json.dumps(password)};
                document.querySelector('button[type=submit]').click();""")
            browser.load("Runtime.evaluate",
                         expression="document.querySelector('button[value=approve]').click();")
            heading = browser.send("Runtime.evaluate", returnByValue=True,
                                   expression="document.querySelector('h1').textContent")
            print(heading["result"].get("value"))
        finally:
            browser.close()


if __name__ == "__main__":
    main()
