"""The compression report in a real browser (headless Chromium through playwright-core),
after real traffic to a sample site."""
import json
import os
import subprocess
import time
import unittest
import urllib.parse
import urllib.request

from machine import SOURCE, Machine

BROWSER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "browser")
ARTIFACTS = os.environ.get("TAMSIC_ARTIFACTS", os.path.join(SOURCE, "build", "artifacts"))
# A file whose name, logged as a URL, would run script if the report did not escape it.
HOSTILE = "x'<img src=x onerror=window.__pwned=1>\".htm"


class ReportInBrowserTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.machine = Machine()
        cls.machine.write(HOSTILE, "<html><body>" + "<p>An oddly named page.</p>\n" * 60 + "</body></html>")
        cls.machine.start()

    @classmethod
    def tearDownClass(cls):
        cls.machine.remove()

    def get(self, path, gzip=True):
        headers = {"Accept-Encoding": "gzip"} if gzip else {}
        with urllib.request.urlopen(urllib.request.Request(self.machine.url(path), headers=headers), timeout=30) as r:
            return r.read()

    def test_report_shows_the_logged_traffic_and_folds_and_escapes(self):
        for path in ["/", "/index.htm", "/guide/", "/guide/index.htm", "/styles/site.css", "/cgi/stream.cgi",
                     "/" + urllib.parse.quote(HOSTILE)]:
            self.get(path)
        self.get("/images/logo.png")
        self.get("/index.htm", gzip=False)
        # Seven compressed responses and two sent as they are (the image, the page to a client
        # without gzip); each is logged just after it went out.
        log = self.machine.wwwroot("gziplog")
        deadline = time.time() + 10
        page_lines, unsized_count = [], "0"
        while time.time() < deadline:
            try:
                with open(os.path.join(log, "pagestat.txt")) as f:
                    page_lines = f.read().splitlines()
                with open(os.path.join(log, "sitestat.txt")) as f:
                    start, unsized_bytes, unsized_count = f.read().split()
            except (FileNotFoundError, ValueError):
                pass
            if len(page_lines) == 7 and unsized_count == "2":
                break
            time.sleep(0.05)
        self.assertEqual((len(page_lines), unsized_count), (7, "2"))

        os.makedirs(ARTIFACTS, exist_ok=True)
        screenshot = os.path.join(ARTIFACTS, "report.png")
        out = subprocess.run(["node", os.path.join(BROWSER, "report_check.mjs"),
                              self.machine.url("/tamsicreport/report.htm"), screenshot, "styles", "site.css"],
                             capture_output=True, text=True, timeout=120, cwd=BROWSER)
        self.assertEqual(out.returncode, 0, out.stderr)
        seen = json.loads(out.stdout)
        self.maxDiff = None
        self.assertEqual(seen["errors"], [], seen.get("requests"))
        self.assertEqual(seen["dialogs"], [])
        self.assertFalse(seen["pwned"])
        origin = self.machine.url("/")
        self.assertEqual([r for r in seen["requests"] if not r.startswith(origin)], [])

        totals = seen["totals"]
        self.assertEqual(totals["totalCR"], len(page_lines))
        self.assertEqual(totals["totalUR"], int(unsized_count))
        self.assertEqual(totals["totalR"], len(page_lines) + int(unsized_count))
        self.assertEqual(totals["totalCBS"], sum(int(l.split(",")[3]) for l in page_lines))
        self.assertIn("{:,}".format(totals["totalR"]), seen["siteText"])
        self.assertGreaterEqual(seen["charts"], 6)

        self.assertEqual((seen["foldedAtStart"], seen["afterOpen"], seen["afterClose"]), ("none", "block", "none"))
        self.assertIn("/styles/site.css", seen["pageText"])
        self.assertIn("Total hits", seen["pageText"])
        self.assertIn(HOSTILE, seen["linkTexts"])
        self.assertTrue(os.path.getsize(screenshot) > 10000)


class ReportFiguresTest(unittest.TestCase):
    def test_figures_are_grouped_by_thousands_with_their_sign(self):
        # A page that does not compress saves a negative number of bytes; its minus sign
        # once counted as a digit ("-,130").
        with open(os.path.join(SOURCE, "resources", "reporting", "rtemplate.dat"), encoding="latin-1") as f:
            template = f.read()
        start = template.index("function groupDigits")
        end = template.index("\n}\n", start) + 3
        script = template[start:end] + (
            "console.log(JSON.stringify([-130, -123456, -1234567.4, 0, 999, 1000, 123456789]"
            ".map(groupDigits)));")
        out = subprocess.run(["node", "-e", script], capture_output=True, text=True, timeout=60, check=True)
        self.assertEqual(json.loads(out.stdout),
                         ["-130", "-123,456", "-1,234,567", "0", "999", "1,000", "123,456,789"])


if __name__ == "__main__":
    unittest.main()
