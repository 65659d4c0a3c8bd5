"""Clients that try to harm the server or read what is not theirs, against the real w3svc
and console host: a connection flood past the cap, programs that block, requests a proxy
would read differently, odd Host values, a flood of the console. After each, a normal client
must be served correctly, and what the machine keeps must stay its owner's."""
import gzip
import http.client
import os
import socket
import stat
import subprocess
import threading
import time
import unittest
import urllib.error
import urllib.request

from machine import BIN, Machine, free_port_pair

MAX_CONNECTIONS = 100
PROGRAMS_PER_SITE = 4
SLOW_CGI = "#!/bin/sh\nsleep 4\nprintf 'Content-Type: text/plain\\r\\n\\r\\nslept\\n'\n"
# A page made for the user its cookie names, large enough to be compressed and cached.
USER_CGI = ("#!/bin/sh\nprintf 'Content-Type: text/html\\r\\n\\r\\n'\ni=0\n"
            "while [ $i -lt 60 ]; do printf '<p>Account of %s</p>\\n' \"$HTTP_COOKIE\"; i=$((i+1)); done\n")


def mode(path):
    return stat.S_IMODE(os.stat(path).st_mode)


def closed_by_peer(sock):
    """True when the server has closed the connection (without waiting)."""
    sock.setblocking(False)
    try:
        return sock.recv(1) == b""
    except BlockingIOError:
        return False
    except OSError:
        return True


class HostileClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.machine = Machine(["--max-connections", str(MAX_CONNECTIONS), "--max-programs-per-site",
                               str(PROGRAMS_PER_SITE), "--cgi-timeout-ms", "20000"])
        cls.machine.write("cgi/slow.cgi", SLOW_CGI, 0o755)
        cls.machine.write("folder/index.htm", "<html><body>folder</body></html>")
        cls.machine.write("cgi/user.cgi", USER_CGI, 0o755)
        cls.machine.start()

    @classmethod
    def tearDownClass(cls):
        cls.machine.remove()

    def normal_get(self, path="/index.htm", site=1):
        """A plain client's request; its body must be the file's own bytes."""
        connection = http.client.HTTPConnection("127.0.0.1", self.machine.port + site - 1, timeout=10)
        try:
            connection.request("GET", path)
            response = connection.getresponse()
            return response.status, response.read()
        finally:
            connection.close()

    def assert_served(self, site=1):
        page = "index.htm" if site == 1 else "default.htm"
        status, body = self.normal_get("/" + page, site=site)
        self.assertEqual(status, 200)
        folder = "wwwroot" if site == 1 else "docs"
        with open(self.machine.host(os.path.join("Inetpub", folder, page)), "rb") as f:
            self.assertEqual(body, f.read())

    def open_descriptors(self):
        return len(os.listdir("/proc/%d/fd" % self.machine.process.pid))

    def test_a_connection_flood_past_the_cap_closes_idle_ones_and_others_are_served(self):
        flood = []
        try:
            for _ in range(3 * MAX_CONNECTIONS):
                flood.append(socket.create_connection(("127.0.0.1", self.machine.port), timeout=5))
            self.assert_served()
            time.sleep(0.3)
            still_open = [s for s in flood if not closed_by_peer(s)]
            self.assertLessEqual(len(still_open), MAX_CONNECTIONS)
            # The cap holds the server's descriptors, whatever the flood (files, logs and
            # the registry come on top).
            self.assertLessEqual(self.open_descriptors(), MAX_CONNECTIONS + 64)
            # The newest idle connections are the ones kept: the oldest went first.
            self.assertTrue(closed_by_peer(flood[0]))
            self.assertFalse(closed_by_peer(flood[-1]))
        finally:
            for s in flood:
                s.close()
        self.assert_served(site=2)

    def test_blocking_programs_hold_neither_files_nor_other_sites(self):
        results = []

        def run_program():
            try:
                status, body = self.normal_get("/cgi/slow.cgi")
            except OSError as e:
                status, body = str(e), b""
            results.append((status, body, time.monotonic()))

        threads = [threading.Thread(target=run_program) for _ in range(3 * PROGRAMS_PER_SITE)]
        for t in threads:
            t.start()
        time.sleep(0.5)
        self.assert_served(site=1)
        self.assert_served(site=2)
        served_at = time.monotonic()
        for t in threads:
            t.join(30)
        statuses = sorted(status for status, _, _ in results)
        # Past the site's share a program is refused at once rather than queued.
        self.assertEqual(statuses.count(200), PROGRAMS_PER_SITE, statuses)
        self.assertEqual(statuses.count(503), 2 * PROGRAMS_PER_SITE, statuses)
        for status, body, done in results:
            if status == 200:
                self.assertEqual(body, b"slept\n")
                self.assertGreater(done, served_at)  # the files came while programs slept

    def test_smuggling_openings_are_refused_with_one_answer(self):
        smuggled = b"GET /index.htm HTTP/1.1\r\nHost: x\r\n\r\n"
        cases = [
            (b"Transfer-Encoding: xchunked\r\n", b"501"),
            (b"Transfer-Encoding: gzip, chunked\r\n", b"501"),
            (b"Transfer-Encoding: chunked, chunked\r\n", b"400"),
            (b"Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n", b"400"),
            (b"Content-Length:\r\n 38\r\n", b"400"),
            (b"Transfer-Encoding:\r\n chunked\r\n", b"400"),
            (b"X-Folded: a\r\n\tb\r\n", b"400"),
        ]
        for fields, status in cases:
            with self.subTest(fields=fields):
                answer = self.machine.raw(b"POST /index.htm HTTP/1.1\r\nHost: x\r\n" + fields + b"\r\n" + smuggled,
                                          timeout=5)
                self.assertTrue(answer.startswith(b"HTTP/1.1 " + status + b" "), answer[:60])
                self.assertEqual(answer.count(b"HTTP/1.1 "), 1, answer)
        two_hosts = b"GET /index.htm HTTP/1.1\r\nHost: x\r\nHost: y\r\n\r\n"
        self.assertTrue(self.machine.raw(two_hosts, timeout=5).startswith(b"HTTP/1.1 400 "))
        # HTTP/1.1 requires a Host; for HTTP/1.0 the address decides.
        for version, status in [(b"1.0", b"200"), (b"1.1", b"400")]:
            answer = self.machine.raw(b"GET /index.htm HTTP/" + version + b"\r\nConnection: close\r\n\r\n", timeout=5)
            self.assertTrue(answer.startswith(b"HTTP/1.1 " + status + b" "), answer[:60])
        self.assert_served()

    def test_a_host_that_is_no_host_never_reaches_a_redirect(self):
        for host in [b"\"><script>alert(1)</script>", b"a b", b"x:99999", b"x/y"]:
            with self.subTest(host=host):
                answer = self.machine.raw(b"GET /folder HTTP/1.1\r\nHost: " + host + b"\r\nConnection: close\r\n\r\n",
                                          timeout=5)
                self.assertTrue(answer.startswith(b"HTTP/1.1 400 "), answer[:60])
                self.assertNotIn(b"<script>", answer)
        authority = b"127.0.0.1:%d" % self.machine.port
        answer = self.machine.raw(b"GET /folder?a=1 HTTP/1.1\r\nHost: " + authority + b"\r\nConnection: close\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 302 "), answer[:60])
        self.assertIn(b"\r\nLocation: http://" + authority + b"/folder/?a=1\r\n", answer)
        self.assert_served()

    def test_a_users_page_is_never_served_to_another(self):
        # Dynamic pages cached by query: a page asked with a cookie (or that sets one) is the
        # user's own and never goes through the shared cache.
        site = "HKLM\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1"
        for name, value in [("DynamicCache", "1"), ("CacheExt", ".htm,.cgi")]:
            self.machine.tool("reg", "add", site, "/v", name, "/d", value, "/f")
        self.machine.raw(b"GET /rstval=%s HTTP/1.1\r\nHost: x\r\n\r\n" % self.machine.reload_token().encode())
        try:
            pages = {}
            for user in ["ann", "bob", "ann", "bob"]:
                connection = http.client.HTTPConnection("127.0.0.1", self.machine.port, timeout=10)
                connection.request("GET", "/cgi/user.cgi?view=1",
                                   headers={"Cookie": "session=" + user, "Accept-Encoding": "gzip"})
                response = connection.getresponse()
                body = response.read()
                connection.close()
                if response.getheader("Content-Encoding") == "gzip":
                    body = gzip.decompress(body)
                self.assertIn(("session=" + user).encode(), body)
                pages.setdefault(user, body)
            cached = os.path.join(self.machine.wwwroot("gzipcache"), "korvanecompress", "cgi")
            self.assertEqual(os.listdir(cached) if os.path.isdir(cached) else [], [])
        finally:
            for name, value in [("DynamicCache", "0"), ("CacheExt", ".htm,.html,.txt,.xml")]:
                self.machine.tool("reg", "add", site, "/v", name, "/d", value, "/f")
            self.machine.raw(b"GET /rstval=%s HTTP/1.1\r\nHost: x\r\n\r\n" % self.machine.reload_token().encode())
        self.assert_served()

    def test_the_cache_and_log_folders_are_not_served(self):
        self.normal_get("/index.htm")
        connection = http.client.HTTPConnection("127.0.0.1", self.machine.port, timeout=10)
        connection.request("GET", "/index.htm", headers={"Accept-Encoding": "gzip"})  # a cached copy
        connection.getresponse().read()
        connection.close()
        for path in ["/gzipcache/korvanecompress/index.htm", "/GzipCache/korvanecompress/index.htm",
                     "/gziplog/pagestat.txt", "/gziplog/sitestat.txt", "/gzipcache/korvanecompress/",
                     "/gzip%6cog/pagestat.txt"]:
            with self.subTest(path=path):
                status, body = self.normal_get(path)
                self.assertEqual(status, 404)
                self.assertNotIn(b"index.htm", body)
        # A page of the site's own in those folders is the site's to serve.
        self.machine.write("gziplog/notes.htm", "<html><body>notes</body></html>")
        status, body = self.normal_get("/gziplog/notes.htm")
        self.assertEqual((status, body), (200, b"<html><body>notes</body></html>"))
        # Nothing was cached again one level deeper.
        nested = os.path.join(self.machine.wwwroot("gzipcache"), "korvanecompress", "gzipcache")
        self.assertFalse(os.path.exists(nested))
        self.assert_served()

    def test_bodies_held_at_once_are_bounded_in_all(self):
        # Each body is read whole before it is served: past what all may hold (256 MB, some
        # sixteen bodies near the 16 MB limit) a request is told the server is busy.
        waiting = []
        try:
            for _ in range(24):
                s = socket.create_connection(("127.0.0.1", self.machine.port), timeout=10)
                s.sendall(b"POST /cgi/user.cgi HTTP/1.1\r\nHost: x\r\nContent-Length: 16000000\r\n\r\n" + b"x" * 4096)
                waiting.append(s)
            busy = 0
            for s in waiting:
                s.settimeout(0.5)
                try:
                    answer = s.recv(4096)
                except socket.timeout:
                    continue
                busy += answer.startswith(b"HTTP/1.1 503 ")
            self.assertGreaterEqual(busy, 24 - 16)
            self.assertLess(busy, 24)
            self.assertEqual(self.normal_get()[0], 200)
        finally:
            for s in waiting:
                s.close()
        # Those bodies given up, their room is there again; and a body served is given back
        # with its answer, not when its kept connection next asks.
        time.sleep(0.5)
        kept = []
        try:
            for _ in range(20):
                s = socket.create_connection(("127.0.0.1", self.machine.port), timeout=10)
                s.sendall(b"POST /cgi/user.cgi HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
                          b"5\r\nhello\r\n0\r\n\r\n")
                answer = b""
                while b"\r\n\r\n" not in answer:
                    answer += s.recv(4096)
                self.assertTrue(answer.startswith(b"HTTP/1.1 200 "), answer[:60])
                kept.append(s)
        finally:
            for s in kept:
                s.close()

    def test_a_final_chunk_sent_a_byte_at_a_time_is_read_and_the_server_stays(self):
        with socket.create_connection(("127.0.0.1", self.machine.port), timeout=10) as s:
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            s.sendall(b"POST /cgi/user.cgi HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
                      b"Connection: close\r\n\r\n0\r")
            for piece in [b"\n", b"\r", b"\n"]:
                time.sleep(0.1)
                s.sendall(piece)
            answer = s.recv(4096)
        self.assertTrue(answer.startswith(b"HTTP/1.1 200 "), answer[:60])
        self.assertEqual(self.normal_get()[0], 200)

    def test_an_answer_whose_header_the_filter_writes_says_the_connection_closes(self):
        # The filter's own 404 and its report: the server cannot tell where their bodies end.
        for target in [b"/gziplog/pagestat.txt", b"/tamsicreport/report.htm?x"]:
            with self.subTest(target=target):
                answer = self.machine.raw(b"GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % target)
                self.assertIn(b"\r\nConnection: close\r\n", answer.split(b"\r\n\r\n")[0] + b"\r\n")

    def test_methods_and_targets_that_name_no_file(self):
        answer = self.machine.raw(b"OPTIONS /index.htm HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 405 "), answer[:60])
        self.assertIn(b"\r\nAllow: GET, HEAD\r\n", answer)
        # A method HTTP does not define is one the server does not know.
        answer = self.machine.raw(b"FOO /index.htm HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 501 "), answer[:60])
        # The server as a whole answers OPTIONS *; no site here makes a tunnel.
        answer = self.machine.raw(b"OPTIONS * HTTP/1.1\r\nHost: x\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 200 "), answer[:60])
        self.assertIn(b"\r\nAllow: GET, HEAD, POST\r\n", answer)
        self.assertIn(b"\r\nContent-Length: 0\r\n", answer)
        answer = self.machine.raw(b"GET * HTTP/1.1\r\nHost: x\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 400 "), answer[:60])
        answer = self.machine.raw(b"CONNECT example.com:443 HTTP/1.1\r\nHost: example.com:443\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 501 "), answer[:60])
        # An empty port is the scheme's own.
        answer = self.machine.raw(b"GET /index.htm HTTP/1.1\r\nHost: x:\r\nConnection: close\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 200 "), answer[:60])

    def test_the_machine_keeps_its_secrets_from_other_users(self):
        token = self.machine.reload_token()
        answer = self.machine.raw(b"GET /rstval=%s HTTP/1.1\r\nUser-Agent: TamsicUI\r\nHost: 127.0.0.1\r\n\r\n" % token.encode())
        self.assertIn(b"Changes Updated", answer)
        self.assertEqual(mode(self.machine.root), 0o700)
        for name in ["registry.db", "registry.db-wal", "metabase.db"]:
            path = os.path.join(self.machine.root, name)
            if os.path.exists(path):
                self.assertEqual(mode(path), 0o600, name)
        logs = os.path.join(self.machine.root, "logs", "W3SVC1")
        self.assertEqual(mode(logs), 0o700)
        for name in os.listdir(logs):
            self.assertEqual(mode(os.path.join(logs, name)), 0o600, name)
        log = self.machine.access_log()
        self.assertIn("/rstval=-", log)
        self.assertNotIn(token, log)


class LargeBodyLimitTest(unittest.TestCase):
    """A body limit set above what all bodies may hold by default raises that room with it."""

    def test_a_chunked_body_is_served_under_a_limit_above_the_default_room(self):
        machine = Machine(["--max-body-bytes", "300000000"])
        try:
            machine.write("cgi/user.cgi", USER_CGI, 0o755)
            machine.start()
            answer = machine.raw(b"POST /cgi/user.cgi HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
                                 b"Connection: close\r\n\r\n5\r\nhello\r\n0\r\n\r\n")
            self.assertTrue(answer.startswith(b"HTTP/1.1 200 "), answer[:60])
        finally:
            machine.remove()


class NonReadingClientTest(unittest.TestCase):
    """Clients that ask for large answers and never read them: each costs its connection a
    held answer, never a thread, so others are served and the stop keeps its time."""

    WORKERS = 4

    @classmethod
    def setUpClass(cls):
        cls.machine = Machine(["--workers", str(cls.WORKERS), "--send-timeout-ms", "30000",
                               "--stop-timeout-ms", "2000"])
        cls.machine.write("big.bin", os.urandom(8 * 1024 * 1024))
        cls.machine.start()

    @classmethod
    def tearDownClass(cls):
        cls.machine.remove()

    def stalled_client(self):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.connect(("127.0.0.1", self.machine.port))
        s.sendall(b"GET /big.bin HTTP/1.1\r\nHost: x\r\n\r\n")
        return s

    def test_clients_that_never_read_hold_no_thread(self):
        # More than a fixed count of held files (once 128) would allow: the server leaves a
        # descriptor for each connection it takes.
        stalled = [self.stalled_client() for _ in range(140 + 3 * self.WORKERS)]
        try:
            time.sleep(1)
            started = time.time()
            connection = http.client.HTTPConnection("127.0.0.1", self.machine.port, timeout=10)
            connection.request("GET", "/index.htm")
            response = connection.getresponse()
            body = response.read()
            connection.close()
            self.assertEqual(response.status, 200)
            self.assertEqual(body, self.machine.read("index.htm"))
            self.assertLess(time.time() - started, 5)
            # The stop ends held answers at its time-out instead of waiting out each client's.
            started = time.time()
            self.machine.stop()
            self.assertLess(time.time() - started, 15)
        finally:
            for s in stalled:
                s.close()


class ConsoleFloodTest(unittest.TestCase):
    """Any local process may connect to the console; only the page with the secret counts."""

    @classmethod
    def setUpClass(cls):
        cls.machine = Machine()
        cls.port = free_port_pair()
        cls.log = open(os.path.join(cls.machine.root, "iisadmin.out"), "w")
        cls.console = subprocess.Popen([os.path.join(BIN, "iisadmin"), "--foreground", "--port", str(cls.port)],
                                       env=cls.machine.env, stdout=cls.log, stderr=subprocess.STDOUT)
        url_file = os.path.join(cls.machine.root, "run", "console-url.txt")
        deadline = time.time() + 30
        while not os.path.exists(url_file) or not os.path.getsize(url_file):
            if time.time() > deadline or cls.console.poll() is not None:
                raise RuntimeError("the console does not start")
            time.sleep(0.05)
        cls.url_file = url_file
        with open(url_file) as f:
            cls.url = f.read().strip()

    @classmethod
    def tearDownClass(cls):
        cls.console.terminate()
        try:
            cls.console.wait(timeout=30)
        finally:
            cls.log.close()
            cls.machine.remove()

    def page(self):
        with urllib.request.urlopen(self.url, timeout=5) as response:
            return response.status, response.read()

    def test_idle_strangers_neither_lock_out_the_page_nor_stay(self):
        self.assertEqual(mode(self.url_file), 0o600)
        flood = [socket.create_connection(("127.0.0.1", self.port), timeout=5) for _ in range(100)]
        try:
            status, body = self.page()
            self.assertEqual(status, 200)
            self.assertIn(b"<html", body.lower())
            time.sleep(4)
            self.assertTrue(all(closed_by_peer(s) for s in flood))
        finally:
            for s in flood:
                s.close()

    def test_a_request_without_the_secret_is_refused_and_its_connection_closed(self):
        with socket.create_connection(("127.0.0.1", self.port), timeout=5) as s:
            s.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % self.port)
            answer = b""
            while True:
                piece = s.recv(4096)
                if not piece:
                    break
                answer += piece
        self.assertTrue(answer.startswith(b"HTTP/1.1 403 "), answer[:60])
        with self.assertRaises(urllib.error.HTTPError):
            urllib.request.urlopen(self.url.rsplit("/", 2)[0] + "/wrong/", timeout=5)
        self.assertEqual(self.page()[0], 200)


if __name__ == "__main__":
    unittest.main()
