"""The console host on a machine, and a driver that reads its screen and types and clicks
through the same HTTP interface as its page in the browser."""
import http.client
import json
import os
import subprocess
import time
import urllib.parse

from machine import BIN


def start_console(machine):
    """The console host in the foreground on the machine: its process, its log and the
    address with this run's secret."""
    url_file = os.path.join(machine.root, "run", "console-url.txt")
    log = open(os.path.join(machine.root, "iisadmin.out"), "w")
    console = subprocess.Popen([os.path.join(BIN, "iisadmin"), "--foreground"], env=machine.env, stdout=log,
                               stderr=subprocess.STDOUT)
    deadline = time.time() + 30
    while not os.path.exists(url_file) and time.time() < deadline and console.poll() is None:
        time.sleep(0.05)
    with open(url_file) as f:
        return console, log, f.read().strip()


class ConsoleDriver:
    def __init__(self, machine):
        self.process, self.log, url = start_console(machine)
        parts = urllib.parse.urlsplit(url)
        self.host, self.port, self.path = parts.hostname, parts.port, parts.path
        self.origin = "http://%s:%d" % (self.host, self.port)

    def stop(self):
        self.process.terminate()
        code = self.process.wait(timeout=60)
        self.log.close()
        return code

    def request(self, method, path, body=None, headers=None):
        connection = http.client.HTTPConnection(self.host, self.port, timeout=60)
        try:
            connection.request(method, self.path + path, body=body, headers=headers or {})
            response = connection.getresponse()
            return response.status, response.read()
        finally:
            connection.close()

    def send(self, **form):
        status, data = self.request("POST", "input", urllib.parse.urlencode(form),
                                    {"Content-Type": "application/x-www-form-urlencoded", "Origin": self.origin})
        if status != 200:
            raise RuntimeError("input %r answered %d" % (form, status))
        return json.loads(data)

    def windows(self):
        """The open windows, the newest last."""
        return json.loads(self.request("GET", "screen")[1])["windows"]

    def window(self, caption, wait=10):
        deadline = time.time() + wait
        while True:
            windows = self.windows()
            for window in windows:
                if window["caption"] == caption:
                    return window
            if time.time() > deadline:
                raise RuntimeError("no window %r among %r" % (caption, [w["caption"] for w in windows]))
            time.sleep(0.05)

    def controls(self, caption):
        window = self.window(caption)
        return window["controls"] + [c for page in window.get("pages", []) for c in page["controls"]]

    def control(self, caption, text=None, id=None):
        for c in self.controls(caption):
            # Labels carry the captions of buttons too; they have no id.
            if (id is None or c["id"] == id) and (text is None or (c["text"].replace("&", "") == text and c["id"] != -1)):
                return c
        raise RuntimeError("no control %r/%r in %r" % (text, id, caption))

    def click(self, caption, text=None, id=None):
        return self.send(action="click", target=self.control(caption, text=text, id=id)["handle"])

    def type(self, caption, id, text):
        return self.send(action="type", target=self.control(caption, id=id)["handle"], text=text)

    def select_tree_item(self, caption, text):
        for c in self.controls(caption):
            for item in c["tree"]:
                if item["text"] == text:
                    return self.send(action="tree-select", target=c["handle"], item=item["handle"])
        raise RuntimeError("no tree item %r in %r" % (text, caption))

    def open_sheet(self, site_name):
        """The site's property sheet, on its Tamsic page."""
        self.select_tree_item("Internet Information Services", site_name)
        self.click("Internet Information Services", "Properties")
        sheet = site_name + " Properties"
        window = self.window(sheet)
        for index, page in enumerate(window["pages"]):
            if page["title"] == "Tamsic":
                self.send(action="page", target=window["handle"], index=index)
        return sheet

    def gone(self, caption, wait=10):
        deadline = time.time() + wait
        while any(w["caption"] == caption for w in self.windows()):
            if time.time() > deadline:
                raise RuntimeError("window %r stays" % caption)
            time.sleep(0.05)

    def apply(self, sheet):
        self.click(sheet, "Apply")
        deadline = time.time() + 10
        while self.control(sheet, "Apply")["enabled"] and time.time() < deadline:
            time.sleep(0.05)
