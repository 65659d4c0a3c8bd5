"""What the administrator stores with reg and hostprep is what the running filter uses: the
store written by the real tools, read by the filter in w3svc or by a settings load."""
import gzip
import os
import re
import subprocess
import tempfile
import unittest

from machine import BIN, Machine

SITE1 = "HKLM\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1"
GLOBAL = "HKLM\\SOFTWARE\\Korvane\\Sablewing\\Value"
IE5 = "Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)"
FILTER = "C:\\Program Files\\Korvane\\Tamsic\\squashfilter.so"


def value(machine, key, name):
    """A value's data as `reg query` shows it, or None."""
    out = machine.tool("reg", "query", key, "/v", name, check=False)
    if out.returncode != 0:
        return None
    match = re.search(r"^\s+%s\s+REG_\w+\s+(.*)$" % re.escape(name), out.stdout, re.M)
    return match.group(1) if match else None


class StoreThroughTheServerTest(unittest.TestCase):
    def setUp(self):
        self.machine = Machine()
        self.machine.start()
        # The filter made the site's key with its defaults on its first load.
        self.assertEqual(self.encoding("/index.htm"), "gzip")

    def tearDown(self):
        self.machine.remove()

    def reg(self, *args):
        out = self.machine.tool("reg", *args, check=False)
        self.assertEqual(out.returncode, 0, out.stdout + out.stderr)

    def encoding(self, path, agent="Mozilla/5.0"):
        answer = self.machine.raw(("GET %s HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\nUser-Agent: %s\r\n"
                                   "Connection: close\r\n\r\n" % (path, agent)).encode(), timeout=30)
        head = answer.split(b"\r\n\r\n", 1)[0].decode("latin-1")
        self.assertTrue(head.startswith("HTTP/1.1 200"), head)
        match = re.search(r"^Content-Encoding:\s*(\S+)", head, re.M | re.I)
        return match.group(1) if match else None

    def reload(self, token=None):
        token = token or self.machine.reload_token()
        return self.machine.raw(b"GET /rstval=%s HTTP/1.1\r\nUser-Agent: TamsicUI\r\nHost: 127.0.0.1\r\n\r\n" % token.encode(), timeout=30)

    def test_a_browser_stored_as_its_search_term_alone_keeps_the_other_browser_rules(self):
        self.assertIsNone(self.encoding("/styles/site.css", IE5))  # the built-in rule for IE 5
        self.reg("add", SITE1 + "\\Browsers", "/v", "Lynx", "/t", "REG_MULTI_SZ", "/d", "Lynx", "/f")
        self.reg("add", SITE1 + "\\Browsers", "/v", "Wget", "/t", "REG_MULTI_SZ", "/d", "Wget/,text,0,0", "/f")
        self.assertEqual(self.reload(), b"Changes Updated")
        self.assertIsNone(self.encoding("/index.htm", "Wget/1.21"))  # the rules were loaded
        self.assertIsNone(self.encoding("/styles/site.css", IE5))
        self.assertEqual(self.encoding("/styles/site.css", "Lynx/2.8.9"), "gzip")  # the site's rules

    def test_a_cache_folder_stored_for_two_sites_serves_each_site_its_own_pages(self):
        site2 = SITE1[:-1] + "2"
        self.reg("add", site2, "/v", "CacheFolder", "/d", "C:\\Inetpub\\wwwroot\\gzipcache", "/f")
        self.assertEqual(self.reload(), b"Changes Updated")
        pages = {1: self.machine.wwwroot("same.htm"), 2: self.machine.host("Inetpub/docs/same.htm")}
        for site, path in pages.items():
            with open(path, "wb") as f:
                f.write(b"<html><body>\n" + b"<p>site %d words words words</p>\n" % site * 120 + b"</body></html>\n")
            os.utime(path, (1600000000, 1600000000))  # one size and one time: only the file tells them apart
        for _ in range(3):
            for site, path in pages.items():
                answer = self.machine.raw(b"GET /same.htm HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\n"
                                          b"Connection: close\r\n\r\n", site=site, timeout=30)
                head, _, body = answer.partition(b"\r\n\r\n")
                self.assertIn(b"Content-Encoding: gzip", head)
                with open(path, "rb") as f:
                    self.assertEqual(gzip.decompress(body), f.read(), "site %d" % site)
        # The first site keeps the folder and its copy.
        with open(self.machine.wwwroot("gzipcache/korvanecompress/same.htm"), "rb") as f:
            self.assertIn(b"site 1 words", gzip.decompress(f.read()))

    def test_numbers_past_32_bits_read_clamped_and_stored_lists_stay(self):
        self.reg("add", SITE1, "/v", "MaxSize", "/d", "3000000000", "/f")
        self.reg("delete", SITE1, "/v", "FileExtensions", "/f")
        self.reg("add", SITE1, "/v", "NewExclude", "/d", "*.zip,*.dll", "/f")
        self.reg("delete", SITE1 + "\\Browsers", "/v", "Opera 5", "/f")
        self.assertEqual(self.reload(), b"Changes Updated")
        self.assertEqual(self.encoding("/index.htm"), "gzip")  # a negative maximum compressed nothing
        self.assertEqual(value(self.machine, SITE1, "NewExclude"), "*.zip,*.dll")
        self.assertIsNone(value(self.machine, SITE1 + "\\Browsers", "Opera 5"))
        self.assertIsNotNone(value(self.machine, SITE1, "FileExtensions"))  # what was missing
        self.assertEqual(value(self.machine, SITE1, "MaxSize"), "3000000000")

    def test_a_token_made_anew_takes_effect_without_a_restart(self):
        old = self.machine.reload_token()
        new = "f" * 32
        self.reg("add", GLOBAL, "/v", "ReloadToken", "/d", new, "/f")
        self.machine.set_site_value(1, "Disabled", "1")
        self.assertEqual(self.reload(new), b"Changes Updated")
        self.assertIsNone(self.encoding("/index.htm"))
        self.assertTrue(self.reload(old).startswith(b"HTTP/1.1 404 "))


class StoreThroughHostprepTest(unittest.TestCase):
    def setUp(self):
        self.machine = Machine()

    def tearDown(self):
        self.machine.remove()

    def load(self):
        out = subprocess.run([os.path.join(BIN, "load_settings")], env=self.machine.env, capture_output=True, text=True)
        self.assertEqual(out.returncode, 0, out.stderr)
        return out.stdout

    def test_an_old_store_converted_by_command_five_loads_as_it_was(self):
        self.assertIn("site /LM/W3SVC/1", self.load())  # the site's key with every scalar
        for name in ("FileExtensions", "MimeTypes", "NewExclude"):
            self.machine.tool("reg", "delete", SITE1, "/v", name, "/f")
        self.machine.tool("reg", "delete", SITE1 + "\\Browsers", "/f")
        exclude = ".DLL," + ",".join("C:\\\\Inetpub\\\\wwwroot\\\\private%02d" % i for i in range(60))
        self.assertGreater(len(exclude), 1100)
        key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1"
        text = "\r\n".join([
            "Windows Registry Editor Version 5.00", "",
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value]", '"Version"="1.4.0.10"', "",
            key + "]", '"NewExclude"="%s"' % exclude, "",
            key + "\\FileExtensions\\.htm]", '"Level"="9"', "",
            key + "\\MimeTypes\\text]", '"Compress"="1"', '"Level"="9"', "",
            key + "\\Browsers\\Lynx]", '"SearchTerm"="Lynx"', "",
            key + "\\Browsers\\Mozilla]", '"SearchTerm"="Mozilla/4"', "",
            key + "\\Browsers\\Mozilla\\text]", '"Compress"="0"', '"Level"="0"', "", ""])
        with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False) as f:
            f.write(text)
        try:
            out = self.machine.tool("reg", "import", f.name, check=False)
            self.assertEqual(out.returncode, 0, out.stdout + out.stderr)
        finally:
            os.unlink(f.name)
        self.assertEqual(self.machine.tool("hostprep", "5", check=False).returncode, 0)
        self.assertEqual(value(self.machine, SITE1, "NewExclude"), "*.dll" + exclude[4:].replace("\\\\", "\\"))
        loaded = self.load()
        self.assertIn("  extension .htm=9\n", loaded)
        self.assertIn("  mime text,1,9\n", loaded)
        self.assertIn("  exclude C:\\Inetpub\\wwwroot\\private59\n", loaded)
        self.assertIn("  browser Lynx|Lynx|\n", loaded)
        self.assertIn("  browser Mozilla|Mozilla/4|text,0,0\n", loaded)

    def test_registration_compares_load_order_items_as_the_server_reads_them(self):
        self.machine.tool("adsutil", "set", "W3SVC/Filters/FilterLoadOrder", "sspifilt, Tamsic")
        self.assertEqual(self.machine.tool("hostprep", "Tamsic", "Tamsic", FILTER, "off", check=False).returncode, 0)
        order = self.machine.tool("adsutil", "get", "W3SVC/Filters/FilterLoadOrder").stdout
        self.assertEqual(order.lower().count("tamsic"), 1, order)


if __name__ == "__main__":
    unittest.main()
