"""The console's reload request, sent to a loaded server: the filter answers after the drain
and the responses after it follow the changed settings."""
import http.client
import os
import threading
import time
import unittest

from machine import Machine, gunzip

GZIP = {"Accept-Encoding": "gzip"}


def get(machine, path):
    connection = http.client.HTTPConnection("127.0.0.1", machine.port, timeout=30)
    try:
        connection.request("GET", path, headers=GZIP)
        response = connection.getresponse()
        return response.status, response.getheader("Content-Encoding"), response.read()
    finally:
        connection.close()


class ReloadTest(unittest.TestCase):
    def setUp(self):
        self.machine = Machine()
        self.machine.start()

    def tearDown(self):
        self.machine.remove()

    def reload(self):
        # The console's bytes, without a Host header, as it sends them.
        request = b"GET /rstval=%s HTTP/1.1\r\nUser-Agent: TamsicUI\r\nHost: 127.0.0.1\r\n\r\n" % self.machine.reload_token().encode()
        return self.machine.raw(request, timeout=30)

    def test_reload_under_load_answers_and_switches_to_the_new_settings(self):
        page = self.machine.read("index.htm")
        stop = threading.Event()
        failures = []
        served = [0]

        def client():
            while not stop.is_set():
                status, encoding, body = get(self.machine, "/index.htm")
                if status != 200 or (gunzip(body) if encoding == "gzip" else body) != page:
                    failures.append(status)
                served[0] += 1

        threads = [threading.Thread(target=client) for _ in range(4)]
        for t in threads:
            t.start()
        try:
            self.assertEqual(self.reload(), b"Changes Updated")
            self.assertEqual(get(self.machine, "/index.htm")[1], "gzip")
            self.machine.set_site_value(1, "Disabled", "1")
            self.assertEqual(self.reload(), b"Changes Updated")
            status, encoding, body = get(self.machine, "/index.htm")
            self.assertEqual((status, encoding, body), (200, None, page))
        finally:
            stop.set()
            for t in threads:
                t.join()
        self.assertEqual(failures, [])
        self.assertGreater(served[0], 0)

    def test_a_request_bound_to_the_settings_before_a_reload_leaves_the_new_copy_alone(self):
        # The slow request finishes under the old settings (white space stripped) after the
        # new ones stored their copy of the same page; its store replaced that file, and the
        # new entry served the old settings' page for good.
        page = "<html>\n<body>\n" + "".join("<p>   line   %d   with    spaces   </p>\n\n" % i for i in range(300)) + \
            "</body>\n</html>\n"
        script = "#!/bin/sh\nprintf 'Content-Type: text/html\\r\\n\\r\\n'\n" \
                 "if [ \"$HTTP_USER_AGENT\" = slow ]; then sleep 2; fi\ncat <<'END'\n" + page + "END\n"
        written = self.machine.write("cgi/slow.cgi", script, 0o755)
        os.utime(written, (time.time() - 3600,) * 2)  # saved well before: its copy may be kept
        self.machine.set_site_value(1, "CacheExt", ".htm,.cgi")
        self.machine.set_site_value(1, "EnableWhite", "1")
        self.assertEqual(self.reload(), b"Changes Updated")
        slow = {}

        def old_settings():
            connection = http.client.HTTPConnection("127.0.0.1", self.machine.port, timeout=30)
            try:
                connection.request("GET", "/cgi/slow.cgi", headers=dict(GZIP, **{"User-Agent": "slow"}))
                slow["body"] = gunzip(connection.getresponse().read())
            finally:
                connection.close()

        first = threading.Thread(target=old_settings)
        first.start()
        time.sleep(0.3)
        self.machine.set_site_value(1, "EnableWhite", "0")
        reloading = threading.Thread(target=self.reload)
        reloading.start()
        time.sleep(0.3)
        self.assertEqual(gunzip(get(self.machine, "/cgi/slow.cgi")[2]), page.encode())
        first.join()
        reloading.join()
        self.assertNotEqual(slow["body"], page.encode())  # the old settings' page
        for _ in range(3):
            self.assertEqual(gunzip(get(self.machine, "/cgi/slow.cgi")[2]), page.encode())

    def test_a_wrong_token_or_one_not_spelled_exactly_is_an_ordinary_request(self):
        # The token is compared with the URL as the client sent it: anything behind it, or
        # another spelling of the same path, is no reload.
        token = self.machine.reload_token().encode()
        for target in [b"/rstval=0123", b"/rstval=%s?" % token, b"//rstval=%s" % token, b"/x/../rstval=%s" % token,
                       b"/rstval%%3D%s" % token, b"/rstval=%s%%%02X" % (token[:-1], token[-1])]:
            with self.subTest(target=target):
                answer = self.machine.raw(b"GET %s HTTP/1.1\r\nUser-Agent: TamsicUI\r\nHost: 127.0.0.1\r\n"
                                          b"Connection: close\r\n\r\n" % target)
                self.assertNotIn(b"Changes Updated", answer)
                self.assertTrue(answer.startswith(b"HTTP/1.1 "), answer[:40])
        # The absolute form names the same URL.
        answer = self.machine.raw(b"GET http://127.0.0.1/rstval=%s HTTP/1.1\r\nUser-Agent: TamsicUI\r\n"
                                  b"Host: 127.0.0.1\r\nConnection: close\r\n\r\n" % token)
        self.assertEqual(answer, b"Changes Updated")


class FilterNotLoadedTest(unittest.TestCase):
    def test_a_filter_whose_start_fails_is_not_used_and_the_log_says_so(self):
        machine = Machine()
        try:
            # Without the install folder's value the filter's settings cannot load.
            machine.tool("reg", "delete", "HKLM\\SOFTWARE\\Korvane\\Sablewing\\Value", "/v", "ProgFiles", "/f")
            machine.start()
            status, encoding, body = get(machine, "/index.htm")
            self.assertEqual((status, encoding, body), (200, None, machine.read("index.htm")))
            self.assertIn("not loaded: GetFilterVersion returned FALSE", machine.access_log())
        finally:
            machine.remove()


if __name__ == "__main__":
    unittest.main()
