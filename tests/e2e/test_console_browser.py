"""A whole administration through the console host in a real browser (headless Chromium
through playwright-core), against a running web server with the filter."""
import http.client
import json
import os
import subprocess
import unittest
import urllib.parse
import urllib.request

from console_driver import start_console
from machine import SOURCE, Machine

BROWSER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "browser")
ARTIFACTS = os.environ.get("TAMSIC_ARTIFACTS", os.path.join(SOURCE, "build", "artifacts"))


class ConsoleInBrowserTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.machine = Machine()
        cls.machine.start()
        # The filter makes the site's key with its defaults on its first load.
        urllib.request.urlopen(cls.machine.url("/small.htm"), timeout=30).read()
        cls.console, cls.console_log, cls.console_url = start_console(cls.machine)

    @classmethod
    def tearDownClass(cls):
        cls.console.terminate()
        code = cls.console.wait(timeout=60)
        cls.console_log.close()
        cls.machine.remove()
        if code != 0:
            raise RuntimeError("iisadmin ended with %d" % code)

    def request(self, method, path, headers=None, body=None):
        parsed = urllib.parse.urlsplit(self.console_url)
        connection = http.client.HTTPConnection(parsed.hostname, parsed.port, timeout=30)
        try:
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            return response.status, response.read()
        finally:
            connection.close()

    def test_the_console_answers_only_with_its_secret_its_host_and_its_origin(self):
        secret_path = urllib.parse.urlsplit(self.console_url).path
        origin = self.console_url[:self.console_url.index(secret_path)]
        self.assertEqual(self.request("GET", secret_path)[0], 200)
        self.assertEqual(self.request("GET", "/")[0], 403)
        self.assertEqual(self.request("GET", "/" + "0" * 32 + "/screen")[0], 403)
        self.assertEqual(self.request("GET", secret_path, {"Host": "console.example:80"})[0], 403)
        status, body = self.request("GET", secret_path + "screen")
        self.assertEqual(status, 200)
        self.assertIn("Internet Information Services", json.loads(body)["windows"][0]["caption"])
        form = {"Content-Type": "application/x-www-form-urlencoded"}
        # Input from a page of another origin, or with none, does not reach the windows.
        for headers in (form, dict(form, Origin="http://evil.example")):
            self.assertEqual(self.request("POST", secret_path + "input", headers, "action=close&target=1")[0], 403)
        status, body = self.request("POST", secret_path + "input", dict(form, Origin=origin), "action=click&target=1")
        self.assertEqual((status, json.loads(body)["delivered"]), (200, False))  # no such window
        self.assertEqual(self.request("GET", secret_path + "open/99")[0], 404)

    def test_an_administration_changes_what_the_running_server_sends(self):
        os.makedirs(ARTIFACTS, exist_ok=True)
        out = subprocess.run(["node", os.path.join(BROWSER, "console_check.mjs"), self.console_url,
                              self.machine.url("").rstrip("/"), ARTIFACTS],
                             capture_output=True, text=True, errors="replace", timeout=300, cwd=BROWSER)
        self.assertEqual(out.returncode, 0, out.stderr)
        seen = json.loads(out.stdout)
        self.assertEqual(seen["errors"], [], seen["steps"])
        original = self.machine.read("index.htm").decode()
        fetched = seen["fetched"]
        # Compressed as stored before; optimised after the optional compression was applied.
        self.assertEqual(fetched["before"]["encoding"], "gzip")
        self.assertEqual(fetched["before"]["body"], original)
        self.assertEqual(fetched["optimised"]["encoding"], "gzip")
        self.assertIn("<!--", original)
        self.assertNotIn("<!--", fetched["optimised"]["body"])
        self.assertLess(len(fetched["optimised"]["body"]), len(original))
        # The folder chosen in the chooser, as an exclusion pattern; the page below it then
        # goes out as it is, while the rest of the site stays compressed.
        self.assertEqual(seen["chosen"], "C:/Inetpub/wwwroot/guide\\*")
        self.assertIn("C:/Inetpub/wwwroot/guide\\*", seen["exclusions"])
        self.assertEqual(fetched["guideBefore"]["encoding"], "gzip")
        self.assertIsNone(fetched["guideAfter"]["encoding"])
        self.assertEqual(fetched["guideAfter"]["body"], self.machine.read("guide/index.htm").decode())
        self.assertEqual(fetched["indexAfter"]["encoding"], "gzip")
        self.assertEqual(seen["helpTitle"], "Tamsic Help")
        # What the lists and the readers cannot hold is refused, with the reason.
        self.assertIn("2147483647", seen["refused"]["size"])
        self.assertIn("comma", seen["refused"]["comma"])
        # A browser added without MIME types is its search term alone; the filter keeps every
        # browser rule (Wget's own, the built-in one against CSS for IE 5) beside it.
        self.assertEqual(fetched["wgetBefore"]["encoding"], "gzip")
        self.assertIsNone(fetched["wgetAfter"]["encoding"])
        self.assertIsNone(fetched["ie5Css"]["encoding"])
        self.assertEqual(fetched["lynxCss"]["encoding"], "gzip")
        # What the page stored.
        out = self.machine.tool("reg", "query", "HKLM\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1").stdout
        self.assertRegex(out, r"EnableWhite\s+REG_SZ\s+1")
        self.assertIn("C:/Inetpub/wwwroot/guide\\*", out)
        browsers = self.machine.tool("reg", "query", "HKLM\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1\\Browsers").stdout
        self.assertRegex(browsers, r"(?m)^\s+Lynx\s+REG_MULTI_SZ\s+Lynx$")
        self.assertRegex(browsers, r"Wget\s+REG_MULTI_SZ\s+Wget/,text,0,6")



class SameDescriptionInBrowserTest(unittest.TestCase):
    """Two sites with the same description: the sheet opened for the second edits it."""

    def setUp(self):
        self.machine = Machine()
        root = self.machine.host(os.path.join("Inetpub", "docs3"))
        os.makedirs(root, exist_ok=True)
        for args in (("create_vserv", "W3SVC/3"), ("set", "W3SVC/3/ServerComment", "Documentation"),
                     ("set", "W3SVC/3/ServerBindings", "127.0.0.1:%d:" % (self.machine.port + 5)),
                     ("set", "W3SVC/3/Root/Path", "C:\\Inetpub\\docs3")):
            self.machine.tool("adsutil", *args)
        self.console, self.log, self.console_url = start_console(self.machine)

    def tearDown(self):
        self.console.terminate()
        code = self.console.wait(timeout=60)
        self.log.close()
        self.machine.remove()
        self.assertEqual(code, 0)

    def disabled(self, site):
        out = self.machine.tool("reg", "query", "HKLM\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\%d" % site,
                                "/v", "Disabled", check=False).stdout
        return "REG_SZ    1" in out

    def test_the_sheet_edits_the_site_it_was_opened_for(self):
        os.makedirs(ARTIFACTS, exist_ok=True)
        out = subprocess.run(["node", os.path.join(BROWSER, "same_description_check.mjs"), self.console_url,
                              "Documentation", ARTIFACTS],
                             capture_output=True, text=True, errors="replace", timeout=120, cwd=BROWSER)
        self.assertEqual(out.returncode, 0, out.stderr)
        seen = json.loads(out.stdout)
        self.assertEqual(seen["errors"], [])
        self.assertEqual(seen["items"], 2)
        self.assertTrue(self.disabled(3))
        self.assertFalse(self.disabled(2))


if __name__ == "__main__":
    unittest.main()
