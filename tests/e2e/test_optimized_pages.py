"""Pages stripped of white space and comments, served by a running w3svc to a real client:
what the browser gets must mean what the file says, and a cached copy must be the page as it
would be stripped now."""
import http.client
import os
import time
import unittest

from machine import Machine, gunzip

GZIP = {"Accept-Encoding": "gzip"}
KEPT = b"  first line\n    indented line"
PAGE = (b"<html><head><link rel=stylesheet href=look.css></head><body>"
        b"<div class=code>" + KEPT + b"</div>" + b"<p>   some   text   </p>\n" * 60 + b"</body></html>")


class OptimizedPagesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.machine = Machine()
        cls.machine.start()
        for name, value in (("EnableWhite", "1"), ("MinSize", "0")):
            cls.machine.set_site_value(1, name, value)
        token = cls.machine.reload_token().encode()
        assert b"Changes Updated" in cls.machine.raw(b"GET /rstval=%s HTTP/1.1\r\nHost: x\r\n\r\n" % token)

    @classmethod
    def tearDownClass(cls):
        cls.machine.remove()

    def get(self, path):
        connection = http.client.HTTPConnection("127.0.0.1", self.machine.port, timeout=30)
        try:
            connection.request("GET", path, headers=GZIP)
            response = connection.getresponse()
            body = response.read()
            self.assertEqual(response.status, 200)
            return gunzip(body) if response.getheader("Content-Encoding") == "gzip" else body
        finally:
            connection.close()

    def test_a_cached_page_follows_a_change_of_the_style_sheet_it_links(self):
        self.machine.write("sheets/look.css", "body { color: black }\n")
        self.machine.write("sheets/page.htm", PAGE)
        time.sleep(2.2)  # a copy of a file written within the last second or so is not stored
        self.assertNotIn(KEPT, self.get("/sheets/page.htm"))
        self.assertTrue(os.path.exists(self.machine.wwwroot("gzipcache/korvanecompress/sheets/page.htm")))
        self.machine.write("sheets/look.css", ".code { white-space: pre }\n")
        self.assertIn(KEPT, self.get("/sheets/page.htm"))
        self.assertIn(KEPT, self.get("/sheets/page.htm"))  # and the copy stored again with it

    def test_text_a_browser_reads_literally_comes_out_as_written(self):
        script = b"<script><!-- Hide from old browsers\nvar arrow = \"-->\";\n// End hiding -->\n</script>"
        pre = b"<pre>  line one\n    line two</pre>"
        xmp = b"<xmp>Write <P   CLASS=intro></xmp>"
        filler = b"<p>   some   text   </p>\n" * 40
        for path, kept in [("literal/script.htm", script), ("literal/menu.css/demo.htm", pre),
                           ("literal/howto.css.htm", pre), ("literal/xmp.htm", xmp)]:
            with self.subTest(path=path):
                self.machine.write(path, b"<html><body>" + kept + filler + b"</body></html>")
                body = self.get("/" + path)
                self.assertIn(kept, body)
                self.assertLess(len(body), len(kept) + len(filler))  # stripped all the same


if __name__ == "__main__":
    unittest.main()
