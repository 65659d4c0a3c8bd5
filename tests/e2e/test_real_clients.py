"""The filter served to real clients by a running w3svc: curl and Python's http.client."""
import http.client
import re
import socket
import os
import subprocess
import threading
import time
import unittest

from machine import Machine, dechunk, gunzip

GZIP = {"Accept-Encoding": "gzip, deflate"}

DIRECTIVE_CGI = """#!/bin/sh
printf 'Content-Type: text/html\\r\\ntamsic: %s\\r\\n\\r\\n'
i=0
while [ $i -lt 60 ]; do printf '<p>Line %%d of a page with a directive.</p>\\n' $i; i=$((i+1)); done
"""


class RealClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.machine = Machine(["--workers", "16", "--request-timeout-ms", "1500", "--max-header-bytes", "4096"])
        cls.machine.write("cgi/nocompress.cgi", DIRECTIVE_CGI % "no-compression", 0o755)
        cls.machine.write("cgi/gzip.cgi", DIRECTIVE_CGI % "gzip-only", 0o755)
        cls.machine.write("cgi/padded.cgi", DIRECTIVE_CGI % "no-compression \t ", 0o755)
        cls.machine.write("cgi/varies.cgi", DIRECTIVE_CGI.replace("tamsic: %s", "Vary: accept-encoding"), 0o755)
        cls.machine.write("cgi/short.cgi", "#!/bin/sh\nprintf 'Content-Type: text/plain\\r\\nContent-Length: 100"
                          "\\r\\n\\r\\nonly twenty bytes..\\n'\n", 0o755)
        cls.machine.write("cgi/long.cgi", "#!/bin/sh\nprintf 'Content-Type: text/plain\\r\\nContent-Length: 5\\r\\n\\r\\n"
                          "hello'\nprintf 'HTTP/1.1 200 OK\\r\\nContent-Length: 9\\r\\n\\r\\nnot small'\n", 0o755)
        cgi = "#!/bin/sh\nprintf '%s'\n"
        cls.machine.write("cgi/twolengths.cgi", cgi % "Content-Type: text/plain\\r\\nContent-Length: 5\\r\\n"
                          "Content-Length: 50\\r\\n\\r\\nhello", 0o755)
        cls.machine.write("cgi/samelength.cgi", cgi % "Content-Type: text/plain\\r\\nContent-Length: 5\\r\\n"
                          "Content-Length: 5\\r\\n\\r\\nhello", 0o755)
        cls.machine.write("cgi/wordlength.cgi",
                          cgi % "Content-Type: text/plain\\r\\nContent-Length: abc\\r\\n\\r\\nhello", 0o755)
        cls.machine.write("cgi/crfield.cgi", cgi % "Content-Type: text/plain\\rX-Made: up\\r\\n\\r\\nhello", 0o755)
        cls.machine.write("cgi/controlname.cgi",
                          cgi % "Content-Type: text/plain\\r\\nX\\001Made: up\\r\\n\\r\\nhello", 0o755)
        cls.machine.write("cgi/foldedline.cgi",
                          cgi % "Content-Type: text/plain\\r\\n X-Made: up\\r\\n\\r\\nhello", 0o755)
        cls.machine.write("cgi/blankcolon.cgi",
                          cgi % "Content-Type: text/plain\\r\\nTransfer-Encoding : chunked\\r\\n\\r\\nhello", 0o755)
        cls.machine.write("cgi/interim.cgi",
                          cgi % "Status: 100 Continue\\r\\nContent-Type: text/html\\r\\n\\r\\n<p>x</p>", 0o755)
        for status in (204, 304):
            cls.machine.write("cgi/status%d.cgi" % status, cgi % ("Status: %d\\r\\nContent-Length: 10\\r\\n\\r\\n"
                                                                  "0123456789" % status), 0o755)
        cls.machine.write("memory.htm", "<html><body>\n" + "".join(
            "<p>Paragraph %d of a page large enough that keeping any of its buffers would show.</p>\n" % i
            for i in range(700)) + "</body></html>\n")
        cls.machine.start()

    @classmethod
    def tearDownClass(cls):
        cls.machine.remove()

    def get(self, path, headers=None, method="GET", body=None, site=1):
        connection = http.client.HTTPConnection("127.0.0.1", self.machine.port + site - 1, timeout=30)
        try:
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()
        finally:
            connection.close()

    def curl(self, *args):
        result = subprocess.run(["curl", "-s", "-S", "--max-time", "30", *args], capture_output=True, check=True)
        return result.stdout

    # Compression of pages.
    def test_compressible_pages_arrive_gzipped_and_decode_to_the_file(self):
        for path, file in [("/", "index.htm"), ("/index.htm", "index.htm"), ("/styles/site.css", "styles/site.css"),
                           ("/guide/", "guide/index.htm")]:
            with self.subTest(path=path):
                status, headers, body = self.get(path, GZIP)
                self.assertEqual(status, 200)
                self.assertEqual(headers.get("content-encoding"), "gzip")
                self.assertIn("Accept-Encoding", headers.get("vary", ""))
                self.assertEqual(int(headers["content-length"]), len(body))
                self.assertEqual(gunzip(body), self.machine.read(file))

    def test_curl_compressed_gets_the_files_of_both_sites(self):
        self.assertEqual(self.curl("--compressed", self.machine.url("/index.htm")), self.machine.read("index.htm"))
        with open(self.machine.host("Inetpub/docs/default.htm"), "rb") as f:
            self.assertEqual(self.curl("--compressed", self.machine.url("/", site=2)), f.read())

    def test_client_without_accept_encoding_gets_the_file_as_is(self):
        status, headers, body = self.get("/index.htm")
        self.assertEqual(status, 200)
        self.assertNotIn("content-encoding", headers)
        self.assertEqual(body, self.machine.read("index.htm"))

    def test_images_small_and_huge_pages_pass_unchanged(self):
        # Scripts too: IIS types them application/x-javascript, which the default MIME rules leave alone.
        for path in ["/images/logo.png", "/small.htm", "/archive.htm", "/scripts/menu.js"]:
            with self.subTest(path=path):
                status, headers, body = self.get(path, GZIP)
                self.assertEqual(status, 200)
                self.assertNotIn("content-encoding", headers)
                self.assertEqual(body, self.machine.read(path[1:]))
        self.assertGreater(len(self.machine.read("archive.htm")), 500000)

    # Dynamic pages.
    def test_directive_header_never_reaches_the_client(self):
        status, headers, body = self.get("/cgi/nocompress.cgi", GZIP)
        self.assertEqual(status, 200)
        self.assertNotIn("tamsic", headers)
        self.assertNotIn("content-encoding", headers)
        self.assertIn(b"Line 59", body)
        status, headers, body = self.get("/cgi/gzip.cgi", GZIP)
        self.assertNotIn("tamsic", headers)
        self.assertEqual(headers.get("content-encoding"), "gzip")
        self.assertIn(b"Line 59", gunzip(body))
        # Blanks behind the word are no part of it.
        status, headers, body = self.get("/cgi/padded.cgi", GZIP)
        self.assertNotIn("tamsic", headers)
        self.assertNotIn("content-encoding", headers)
        self.assertIn(b"Line 59", body)

    def test_a_compressed_answer_names_accept_encoding_in_vary_once(self):
        for path, origin in (("/index.htm", b""), ("/cgi/varies.cgi", b"Vary: accept-encoding\r\n")):
            with self.subTest(path=path):
                answer = self.machine.raw(("GET %s HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\n"
                                           "Connection: close\r\n\r\n" % path).encode())
                header = answer.split(b"\r\n\r\n", 1)[0] + b"\r\n"
                self.assertIn(b"Content-Encoding: gzip\r\n", header)
                self.assertEqual(re.findall(rb"(?im)^vary:[^\r\n]*", header), [origin.strip() or b"Vary: Accept-Encoding"])

    def test_chunked_cgi_output_arrives_dechunked_and_compressed(self):
        status, headers, body = self.get("/cgi/stream.cgi", GZIP)
        self.assertEqual(status, 200)
        self.assertNotIn("transfer-encoding", headers)
        self.assertEqual(headers.get("content-encoding"), "gzip")
        page = gunzip(body)
        self.assertTrue(page.startswith(b"<html>") and page.rstrip().endswith(b"</html>"), page[-40:])
        # Without the filter's work the same program's output is chunked.
        raw = self.machine.raw(b"GET /cgi/stream.cgi HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        self.assertIn(b"Transfer-Encoding: chunked", raw)

    def test_post_with_expect_continue_completes(self):
        for headers in ({}, GZIP):
            with self.subTest(gzip=bool(headers)):
                extra = "".join("%s: %s\r\n" % item for item in headers.items())
                with socket.create_connection(("127.0.0.1", self.machine.port), timeout=10) as s:
                    s.sendall(("POST /cgi/form.cgi HTTP/1.1\r\nHost: x\r\nContent-Length: 18\r\n"
                               "Expect: 100-continue\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                               "Connection: close\r\n%s\r\n" % extra).encode())
                    s.settimeout(1.0)
                    try:
                        interim = s.recv(100)
                    except socket.timeout:
                        interim = b""  # the filter holds the interim answer back with a POST it rewrites
                    s.settimeout(10)
                    s.sendall(b"name=Ann&room=2.14")
                    answer = interim
                    while True:
                        piece = s.recv(65536)
                        if not piece:
                            break
                        answer += piece
                self.assertTrue(answer.startswith(b"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n"), answer[:80])
                header, body = answer.split(b"\r\n\r\n", 2)[1:]
                page = gunzip(body) if b"Content-Encoding: gzip" in header else dechunk(body)
                self.assertIn(b"name=Ann&room=2.14", page)

    # The cache and the log.
    def test_second_request_is_served_from_the_cache_and_logged_with_its_size(self):
        source = self.machine.write("cached.htm", "<html><body>" + "<p>A page that is kept in the cache.</p>\n" * 80 +
                                    "</body></html>\n")
        # Saved a minute ago: a page written while its body was read is not stored.
        os.utime(source, (time.time() - 60, time.time() - 60))
        first = self.get("/cached.htm", GZIP)
        cached = os.path.join(self.machine.wwwroot("gzipcache"), "korvanecompress", "cached.htm")
        self.assertTrue(os.path.exists(cached))
        with socket_raw(self.machine, b"GET /cached.htm HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\n"
                                      b"User-Agent: cache-check\r\nConnection: close\r\n\r\n") as answer:
            header, body = answer.split(b"\r\n\r\n", 1)
        self.assertEqual(body, first[2])
        with open(cached, "rb") as f:
            self.assertEqual(f.read(), body)
        deadline = time.time() + 5
        while "cache-check" not in self.machine.access_log() and time.time() < deadline:
            time.sleep(0.05)
        line = [l for l in self.machine.access_log().splitlines() if "cache-check" in l][-1]
        self.assertEqual(int(line.split()[7]), len(answer))

    def test_a_page_in_a_folder_with_a_dot_in_its_name_is_cached(self):
        source = self.machine.write("v1.2/dotted.htm", "<html><body>" + "<p>A page in a versioned folder.</p>\n" * 80 +
                                    "</body></html>\n")
        os.utime(source, (time.time() - 60, time.time() - 60))
        status, headers, body = self.get("/v1.2/dotted.htm", GZIP)
        self.assertEqual(headers.get("content-encoding"), "gzip")
        cached = os.path.join(self.machine.wwwroot("gzipcache"), "korvanecompress", "v1.2", "dotted.htm")
        self.assertTrue(os.path.exists(cached))
        with open(cached, "rb") as f:
            self.assertEqual(f.read(), body)

    # The report page.
    def test_the_report_asked_with_a_query_or_in_other_case_ends_with_its_page(self):
        self.get("/index.htm", GZIP)  # something to report
        for path in ["/tamsicreport/report.htm?x=1", "/TamsicReport/report.htm", "/tamsicreport/REPORT.htm?y"]:
            with self.subTest(path=path):
                answer = self.machine.raw(("GET %s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n" % path).encode())
                self.assertTrue(answer.startswith(b"HTTP/1.1 200 OK\r\n"), answer[:60])
                self.assertTrue(answer.rstrip().endswith(b"</html>"), answer[-120:])
                self.assertEqual(answer.count(b"HTTP/1.1 "), 1)

    def test_thirty_report_requests_at_once_each_get_the_whole_page(self):
        self.get("/index.htm", GZIP)
        answers = []

        def client():
            answers.append(self.get("/tamsicreport/report.htm"))

        threads = [threading.Thread(target=client) for _ in range(30)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(len(answers), 30)
        for status, headers, body in answers:
            self.assertEqual(status, 200)
            self.assertTrue(body.rstrip().endswith(b"</html>"), body[-80:])
            self.assertEqual(int(headers["content-length"]), len(body))

    def test_a_head_answer_names_the_fields_its_get_would_have(self):
        file = self.machine.read("index.htm")
        for accept in [GZIP, {}]:
            with self.subTest(accept=accept):
                _, got, body = self.get("/index.htm", accept)
                status, headers, empty = self.get("/index.htm", accept, method="HEAD")
                self.assertEqual((status, empty), (200, b""))
                for name in ["content-encoding", "vary", "etag", "content-type", "last-modified"]:
                    self.assertEqual(headers.get(name), got.get(name), name)
                # The rewritten body's length is not known without the work; the file's is
                # never named for it.
                if accept:
                    self.assertNotIn("content-length", headers)
                else:
                    self.assertEqual(int(headers["content-length"]), len(file))
        # A HEAD range is a plain piece, as its GET is.
        _, got, _ = self.get("/index.htm", dict(GZIP, Range="bytes=0-99"))
        status, headers, _ = self.get("/index.htm", dict(GZIP, Range="bytes=0-99"), method="HEAD")
        self.assertEqual(status, 206)
        for name in ["content-encoding", "vary", "etag", "content-range"]:
            self.assertEqual(headers.get(name), got.get(name), name)
        # Without a length the size limits decide on the body: a HEAD answer claims nothing.
        _, headers, _ = self.get("/cgi/stream.cgi", GZIP, method="HEAD")
        self.assertNotIn("content-encoding", headers)
        # An answer no client gets rewritten keeps its length.
        _, headers, _ = self.get("/images/logo.png", GZIP, method="HEAD")
        self.assertNotIn("content-encoding", headers)
        self.assertEqual(int(headers["content-length"]), len(self.machine.read("images/logo.png")))

    # What the filter leaves alone.
    def test_304_and_206_keep_their_bodies(self):
        file = self.machine.read("index.htm")
        etag = self.get("/index.htm")[1]["etag"]
        status, headers, body = self.get("/index.htm", dict(GZIP, **{"If-None-Match": etag}))
        self.assertEqual((status, body), (304, b""))
        # A range is a piece of the plain file, varying by Accept-Encoding as its whole
        # answer does, even when the piece is smaller than the site's MinSize.
        for accept in [GZIP, {}]:
            for first, last in [(10, 99), (0, 9), (len(file) - 5, len(file) - 1)]:
                with self.subTest(accept=accept, first=first):
                    status, headers, body = self.get("/index.htm", dict(accept, Range="bytes=%d-%d" % (first, last)))
                    self.assertEqual(status, 206)
                    self.assertEqual(headers["content-range"], "bytes %d-%d/%d" % (first, last, len(file)))
                    self.assertNotIn("content-encoding", headers)
                    self.assertEqual(headers.get("vary"), "Accept-Encoding")
                    self.assertEqual(body, file[first:last + 1])
        status, headers, body = self.get("/images/logo.png", dict(GZIP, Range="bytes=0-9"))
        self.assertEqual((status, headers.get("vary")), (206, None))

    # Load.
    def test_a_thousand_requests_on_one_connection_leave_memory_flat(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.machine.port, timeout=30)

        closes = []

        page = self.machine.read("memory.htm")

        def requests(count):
            for _ in range(count):
                connection.request("GET", "/memory.htm", headers=GZIP)
                response = connection.getresponse()
                self.assertEqual(gunzip(response.read()), page)
                closes.append(response.getheader("Connection") == "close")

        # The first thousand warm the allocator's caches (the sanitizers' most of all). After
        # that, keeping any buffer of a 60 KB response (body, compressed copy, deflate's
        # state) would grow the server by 60 MB or more; the allocator's own drift stays
        # within a few MB.
        requests(1000)
        before = self.machine.rss_kb()
        requests(1000)
        after = self.machine.rss_kb()
        connection.close()
        self.assertLess(after - before, 8192, "RSS grew from %d KB to %d KB" % (before, after))
        # The connection ends after 1000 responses, giving back its pool; the client reconnects.
        self.assertEqual([i for i, close in enumerate(closes) if close], [999, 1999])

    def test_large_unsized_answers_on_one_connection_all_arrive_and_leave_memory_flat(self):
        # Each answer is past MaxSize and has no length: the filter gives up holding it and
        # hands it on. What it held is the request's, so the connection does not grow.
        self.machine.write("cgi/large.cgi", "#!/bin/sh\nprintf 'Content-Type: text/html\\r\\n\\r\\n'\n"
                           "head -c 600000 /dev/zero | tr '\\0' 'x'\n", 0o755)
        connection = http.client.HTTPConnection("127.0.0.1", self.machine.port, timeout=30)
        try:
            def fetch_all(count):
                for i in range(count):
                    connection.request("GET", "/cgi/large.cgi", headers=GZIP)
                    response = connection.getresponse()
                    body = response.read()
                    self.assertEqual((response.status, len(body)), (200, 600000), "answer %d" % i)
                    self.assertIsNone(response.getheader("Content-Encoding"))

            fetch_all(40)
            before = self.machine.rss_kb()
            fetch_all(100)
            after = self.machine.rss_kb()
        finally:
            connection.close()
        # Keeping what each answer handed on would hold 60 MB on this connection.
        self.assertLess(after - before, 20480, "RSS grew from %d KB to %d KB" % (before, after))

    def test_two_hundred_concurrent_connections_all_succeed(self):
        expected = self.machine.read("index.htm")
        failures = []

        def client():
            try:
                status, headers, body = self.get("/index.htm", GZIP)
                if status != 200 or gunzip(body) != expected:
                    failures.append(status)
            except Exception as error:  # noqa: BLE001 - every failure counts
                failures.append(repr(error))

        threads = [threading.Thread(target=client) for _ in range(200)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(failures, [])

    # Bad clients.
    def test_bad_requests_get_their_error_and_others_are_still_served(self):
        self.assertTrue(self.machine.raw(b"GARBAGE\r\n\r\n").startswith(b"HTTP/1.1 400 "))
        self.assertTrue(self.machine.raw(b"GET /../../etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n").startswith(b"HTTP/1.1 400 "))
        big = b"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + b"a" * 8000 + b"\r\n\r\n"
        self.assertTrue(self.machine.raw(big).startswith(b"HTTP/1.1 431 "))
        # A URL too long is 414 however far past the limit it runs (past the header's own
        # room too), not the 431 of too many fields.
        for length in (9000, 30000, 80000):
            long_url = b"GET /" + b"a" * length + b" HTTP/1.1\r\nHost: x\r\n\r\n"
            self.assertTrue(self.machine.raw(long_url).startswith(b"HTTP/1.1 414 "), length)
        # Fields past the header's room after a short URL are 431 still.
        fields = b"GET /index.htm HTTP/1.1\r\nHost: x\r\nCookie: " + b"c" * 20000 + b"\r\nX-More: " + b"m" * 20000
        self.assertTrue(self.machine.raw(fields + b"\r\n\r\n").startswith(b"HTTP/1.1 431 "))
        # Another major version is not served (505); a later 1.x is served as 1.1, and an
        # empty line before a request line is passed over.
        self.assertTrue(self.machine.raw(b"GET /small.htm HTTP/2.0\r\nHost: x\r\n\r\n").startswith(b"HTTP/1.1 505 "))
        small = self.machine.read("small.htm")
        for request in (b"GET /small.htm HTTP/1.2\r\nHost: x\r\nConnection: close\r\n\r\n",
                        b"\r\nGET /small.htm HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"):
            head, _, body = self.machine.raw(request).partition(b"\r\n\r\n")
            self.assertTrue(head.startswith(b"HTTP/1.1 200 "), request)
            self.assertEqual(body, small)
        self.assertTrue(self.machine.raw(b"GET /nothing-here.htm HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                        .startswith(b"HTTP/1.1 404 "))
        self.assertTrue(self.machine.raw(b"DELETE /index.htm HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                        .startswith(b"HTTP/1.1 405 "))
        too_big = b"POST /cgi/form.cgi HTTP/1.1\r\nHost: x\r\nContent-Length: 999999999\r\n\r\n"
        self.assertTrue(self.machine.raw(too_big).startswith(b"HTTP/1.1 413 "))
        many = b"GET / HTTP/1.1\r\nHost: x\r\n" + b"".join(b"X-%d: 1\r\n" % i for i in range(150)) + b"\r\n"
        self.assertTrue(self.machine.raw(many).startswith(b"HTTP/1.1 431 "))

    def test_stalled_client_times_out_while_others_are_served(self):
        stalled = socket.create_connection(("127.0.0.1", self.machine.port), timeout=10)
        stalled.sendall(b"GET /index.htm HTTP/1.1\r\nHost: x\r\n")
        started = time.time()
        status, _, _ = self.get("/index.htm", GZIP)
        self.assertEqual(status, 200)
        self.assertLess(time.time() - started, 1.0)
        answer = stalled.recv(4096)
        stalled.close()
        self.assertTrue(answer.startswith(b"HTTP/1.1 408 "), answer[:40])
        self.assertGreater(time.time() - started, 1.0)

    def test_http10_gets_its_answer_and_the_connection_closes(self):
        answer = self.machine.raw(b"GET /index.htm HTTP/1.0\r\nAccept-Encoding: gzip\r\n\r\n", timeout=5)
        header, body = answer.split(b"\r\n\r\n", 1)
        self.assertIn(b"Content-Encoding: gzip", header)
        self.assertEqual(gunzip(body), self.machine.read("index.htm"))

    def test_pipelined_requests_are_answered_in_order(self):
        answer = self.machine.raw(b"GET /small.htm HTTP/1.1\r\nHost: x\r\n\r\nGET /robots-none.txt HTTP/1.1\r\nHost: x\r\n\r\n"
                                  b"GET /small.htm HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        statuses = re.findall(rb"HTTP/1\.1 (\d{3}) ", answer)
        self.assertEqual(statuses, [b"200", b"404", b"200"])


    def test_a_programs_output_ends_at_its_declared_length_on_a_kept_connection(self):
        # Output past its Content-Length was read by the client as the next answer (here a
        # made-up one for /small.htm); output short of it took the next answer's bytes.
        small = self.machine.read("small.htm")
        pair = b"GET /cgi/%s HTTP/1.1\r\nHost: x\r\n\r\nGET /small.htm HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"
        answer = self.machine.raw(pair % b"long.cgi", timeout=10)
        head, _, rest = answer.partition(b"\r\n\r\n")
        self.assertTrue(rest.startswith(b"hello"))
        second_head, _, second_body = rest[5:].partition(b"\r\n\r\n")
        self.assertTrue(second_head.startswith(b"HTTP/1.1 200 OK"))
        self.assertEqual(second_body, small)
        # Short: what the program wrote, then the connection closes; nothing is taken for
        # the body that is not the program's.
        answer = self.machine.raw(pair % b"short.cgi", timeout=10)
        head, _, body = answer.partition(b"\r\n\r\n")
        self.assertIn(b"Content-Length: 100", head)
        self.assertEqual(body, b"only twenty bytes..\n")

    def test_a_program_answer_that_cannot_be_framed_as_one_answer_is_refused_or_cut_at_its_header(self):
        small = self.machine.read("small.htm")
        then_small = b"GET /small.htm HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"
        # Two lengths that differ, a length that is no number, a CR inside a field (a client
        # may end the field there), an interim status as the final one: the server cannot
        # pass these on as one answer a client reads as the server does.
        # A field name that is no token (a control byte, a folded line) too.
        for program in (b"twolengths", b"wordlength", b"crfield", b"interim", b"controlname", b"foldedline"):
            with self.subTest(program=program):
                answer = self.machine.raw(b"GET /cgi/%s.cgi HTTP/1.1\r\nHost: x\r\n\r\n" % program + then_small)
                self.assertTrue(answer.startswith(b"HTTP/1.1 502 "), answer[:200])
                self.assertIn(b"\r\nConnection: close\r\n\r\n", answer)
                self.assertNotIn(b"X-Made", answer)
        # Blanks before the colon are dropped: the program's framing field is then the one
        # the server drops, and the answer is framed once, by the server.
        answer = self.machine.raw(b"GET /cgi/blankcolon.cgi HTTP/1.1\r\nHost: x\r\n\r\n" + then_small)
        head, _, rest = answer.partition(b"\r\n\r\n")
        self.assertEqual(head.lower().count(b"transfer-encoding"), 1, head)
        self.assertTrue(rest.startswith(b"5\r\nhello\r\n0\r\n\r\nHTTP/1.1 200 OK"), rest[:80])
        answer = self.machine.raw(b"GET /cgi/samelength.cgi HTTP/1.1\r\nHost: x\r\n\r\n" + then_small)
        head, _, rest = answer.partition(b"\r\n\r\n")
        self.assertEqual(head.count(b"Content-Length: 5"), 1)
        self.assertTrue(rest.startswith(b"helloHTTP/1.1 200 OK"))
        # A 204 or a 304 ends at its header, whatever the program wrote behind it.
        for status in (b"204", b"304"):
            with self.subTest(status=status):
                answer = self.machine.raw(b"GET /cgi/status%s.cgi HTTP/1.1\r\nHost: x\r\n\r\n" % status + then_small)
                head, _, rest = answer.partition(b"\r\n\r\n")
                self.assertTrue(head.startswith(b"HTTP/1.1 " + status), head)
                self.assertEqual(b"Content-Length" in head, status == b"304")
                second_head, _, second_body = rest.partition(b"\r\n\r\n")
                self.assertTrue(second_head.startswith(b"HTTP/1.1 200 OK"), rest[:80])
                self.assertEqual(second_body, small)

    def test_an_http_1_0_client_gets_no_interim_answer_and_the_log_counts_every_byte_sent(self):
        body = b"name=value"
        for version, interim in ((b"1.0", False), (b"1.1", True)):
            for accept in (b"", b"Accept-Encoding: gzip\r\n"):
                with self.subTest(version=version, accept=accept):
                    query = "q%d" % time.monotonic_ns()  # the request's own log line
                    answer = self.machine.raw(b"POST /cgi/gzip.cgi?%s HTTP/%s\r\nHost: x\r\nExpect: 100-continue\r\n"
                                              b"%sContent-Length: %d\r\nConnection: close\r\n\r\n%s"
                                              % (query.encode(), version, accept, len(body), body))
                    self.assertEqual(b" 100 Continue" in answer, interim)
                    self.assertIn(b" 200 OK", answer)
                    self.assertEqual(b"Content-Encoding: gzip" in answer, bool(accept))
                    deadline = time.time() + 5
                    while query not in self.machine.access_log() and time.time() < deadline:
                        time.sleep(0.05)
                    line = [l for l in self.machine.access_log().splitlines() if query in l][0]
                    self.assertEqual(int(line.split(" ")[7]), len(answer))  # sc-bytes

    def test_a_304_carries_the_tag_of_the_answer_it_revalidates(self):
        # The compressed answer's tag is weak; a strong one on its 304 would replace it in the
        # client's copy and let the client resume the compressed body with the file's bytes.
        for headers in ({"Accept-Encoding": "gzip"}, {}):
            with self.subTest(headers=headers):
                status, first, _ = self.get("/index.htm", headers)
                self.assertEqual(status, 200)
                self.assertEqual(first["etag"].startswith("W/"), "content-encoding" in first)
                status, again, body = self.get("/index.htm", dict(headers, **{"If-None-Match": first["etag"]}))
                self.assertEqual((status, body), (304, b""))
                self.assertEqual(again["etag"], first["etag"])
                self.assertEqual(again.get("vary"), first.get("vary"))

    def test_a_download_resumed_against_another_version_is_refused(self):
        self.machine.write("versions/file.txt", "first version\n" * 100)
        _, first, _ = self.get("/versions/file.txt")
        path = self.machine.write("versions/file.txt", "second version\n" * 100)
        later = os.stat(path).st_mtime + 10
        os.utime(path, (later, later))
        _, second, _ = self.get("/versions/file.txt")
        self.assertNotEqual(first["etag"], second["etag"])
        for condition, status in [({"If-Match": first["etag"]}, 412), ({"If-Unmodified-Since": first["last-modified"]}, 412),
                                  ({"If-Match": "W/" + second["etag"]}, 412), ({"If-Match": second["etag"]}, 206),
                                  ({"If-Match": "*"}, 206), ({"If-Unmodified-Since": second["last-modified"]}, 206)]:
            with self.subTest(condition=condition):
                got, _, body = self.get("/versions/file.txt", dict(condition, Range="bytes=10-"))
                self.assertEqual(got, status)
                if status == 206:
                    self.assertEqual(body, self.machine.read("versions/file.txt")[10:])

    def test_a_folders_redirect_names_that_folder(self):
        # The redirect is built from the decoded name; written back raw, "p%41" named "pA"
        # and "a?b" a query.
        for name, spelled in [("p%41", b"p%2541"), ("a?b", b"a%3Fb"), ("my folder#1", b"my%20folder%231"),
                              ("caf\u00e9", b"caf%C3%A9")]:
            with self.subTest(name=name):
                self.machine.write(os.path.join("named", name, "f.htm"), "<p>inside %s</p>" % name)
                answer = self.machine.raw(b"GET /named/%s HTTP/1.1\r\nHost: www.example\r\nConnection: close\r\n\r\n"
                                          % spelled)
                location = re.search(rb"\r\nLocation: http://www\.example(\S*)\r\n", answer).group(1)
                self.assertEqual(location, b"/named/" + spelled + b"/")
                status, _, body = self.get(location.decode() + "f.htm")
                self.assertEqual((status, body), (200, ("<p>inside %s</p>" % name).encode()))

    def test_a_head_request_the_filter_answers_itself_gets_no_body(self):
        # The report asked under another folder or with a query, and the filter's hidden
        # cache folder: the filter writes these answers, and a body behind a HEAD answer's
        # header would be read as the next answer.
        for target in (b"/nofolder/tamsicreport/report.htm", b"/tamsicreport/report.htm?x=1", b"/gzipcache/x.htm"):
            with self.subTest(target=target):
                get = self.machine.raw(b"GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % target)
                head = self.machine.raw(b"HEAD %s HTTP/1.1\r\nHost: x\r\n\r\n" % target)
                get_head, _, get_body = get.partition(b"\r\n\r\n")
                self.assertTrue(get_body)
                undated = lambda text: re.sub(rb"Date: [^\r]*", b"Date:", text)
                self.assertEqual(undated(head), undated(get_head + b"\r\n\r\n"))


class HostsAndRecordsTest(unittest.TestCase):
    """Which site a request reaches, what a program is told of it, and what the log says."""

    @classmethod
    def setUpClass(cls):
        cls.machine = Machine()
        port = cls.machine.port
        # The second site shares the first one's port under a host name of its own.
        cls.machine.tool("adsutil", "set", "W3SVC/2/ServerBindings", "127.0.0.1:%d:two.example" % port,
                         "127.0.0.1:%d:" % (port + 1))
        cls.machine.write("cgi/env.cgi", "#!/bin/sh\nprintf 'Content-Type: text/plain\\r\\n\\r\\n'\n"
                          "tr '\\000' '\\n' < /proc/$$/environ | grep -E '^(HTTP_|SERVER_NAME=)' | sort\n", 0o755)
        docs = cls.machine.host(os.path.join("Inetpub", "docs"))
        os.makedirs(docs, exist_ok=True)
        with open(os.path.join(docs, "which.htm"), "w") as f:
            f.write("site two")
        cls.machine.write("which.htm", "site one")
        cls.machine.start()

    @classmethod
    def tearDownClass(cls):
        cls.machine.remove()

    def ask(self, request):
        return self.machine.raw(request + b"Connection: close\r\n\r\n")

    def test_an_absolute_form_target_reaches_the_site_of_its_own_host(self):
        for target, host, site in [(b"http://two.example/which.htm", b"x", b"site two"),
                                   (b"http://other.example/which.htm", b"two.example", b"site one"),
                                   (b"/which.htm", b"two.example:%d" % self.machine.port, b"site two"),
                                   (b"hTTp://two.example/which.htm", b"x", b"site two")]:
            with self.subTest(target=target, host=host):
                answer = self.ask(b"GET %s HTTP/1.1\r\nHost: %s\r\n" % (target, host))
                self.assertTrue(answer.endswith(site), answer[-40:])
        self.assertTrue(self.ask(b"GET http://a b/which.htm HTTP/1.1\r\nHost: x\r\n").startswith(b"HTTP/1.1 400"))

    def test_a_program_sees_one_host_and_one_variable_a_name(self):
        answer = self.ask(b"GET /cgi/env.cgi HTTP/1.1\r\nHost: [::1]:%d\r\nX-Forwarded-For: 10.0.0.1\r\n"
                          b"X_Forwarded_For: 6.6.6.6\r\nAccept: text/html\r\nAccept: */*\r\n" % self.machine.port)
        variables = answer.partition(b"\r\n\r\n")[2].decode().splitlines()
        self.assertIn("SERVER_NAME=[::1]", variables)
        self.assertEqual([v for v in variables if v.startswith("HTTP_X_FORWARDED_FOR=")], ["HTTP_X_FORWARDED_FOR=10.0.0.1"])
        self.assertEqual([v for v in variables if v.startswith("HTTP_ACCEPT=")], ["HTTP_ACCEPT=text/html, */*"])
        answer = self.ask(b"GET http://two.example/cgi/env.cgi HTTP/1.1\r\nHost: x\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 404"))  # site two has no program there...
        answer = self.ask(b"GET http://127.0.0.1/cgi/env.cgi HTTP/1.1\r\nHost: two.example\r\n")
        self.assertIn(b"HTTP_HOST=127.0.0.1\n", answer)  # ...and the target's host is the one a program sees

    def test_the_log_gives_the_status_the_client_was_answered(self):
        # The filter answers a hidden folder with its own 404, and a report asked under
        # another folder with the report.
        for target, status in [(b"/gzipcache/x.htm", b"404"), (b"/nofolder/tamsicreport/report.htm", b"200")]:
            with self.subTest(target=target):
                answer = self.ask(b"GET %s HTTP/1.1\r\nHost: x\r\n" % target)
                self.assertTrue(answer.startswith(b"HTTP/1.1 " + status))
                deadline = time.time() + 5
                while target.decode() not in self.machine.access_log() and time.time() < deadline:
                    time.sleep(0.05)
                line = [l for l in self.machine.access_log().splitlines() if target.decode() in l][-1]
                self.assertIn(" %s " % status.decode(), line)
        # A client that leaves during its body gets no answer: logged as a failure, not a success.
        with socket.create_connection(("127.0.0.1", self.machine.port), timeout=10) as client:
            client.sendall(b"POST /index.htm?left HTTP/1.1\r\nHost: x\r\nContent-Length: 10\r\n\r\nabc")
            time.sleep(0.2)
            client.shutdown(socket.SHUT_WR)
            self.assertEqual(client.recv(100), b"")
        deadline = time.time() + 5
        while "left" not in self.machine.access_log() and time.time() < deadline:
            time.sleep(0.05)
        line = [l for l in self.machine.access_log().splitlines() if " left " in l][-1]
        self.assertEqual(line.split(" ")[6:8], ["400", "0"])


class SizeLimitTest(unittest.TestCase):
    def test_a_program_page_within_max_size_is_compressed_however_finely_it_is_chunked(self):
        # 29 lines of 100 bytes, each its own chunk: 2 900 bytes of data, more than 3 000
        # with the chunks' framing. The limit is about the data.
        machine = Machine()
        try:
            machine.start()
            machine.set_site_value(1, "MaxSize", "3000")
            token = machine.reload_token().encode()
            self.assertIn(b"Changes Updated", machine.raw(b"GET /rstval=%s HTTP/1.1\r\nHost: x\r\n\r\n" % token))
            line = "<p>" + "x" * 92 + "</p>"
            machine.write("cgi/lines.cgi", "#!/bin/sh\nprintf 'Content-Type: text/html\\r\\n\\r\\n'\n"
                          "for i in $(seq 1 29); do printf '%s\\n' '" + line + "'; sleep 0.005; done\n", 0o755)
            answer = machine.raw(b"GET /cgi/lines.cgi HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\n"
                                 b"Connection: close\r\n\r\n", timeout=30)
            head, _, body = answer.partition(b"\r\n\r\n")
            self.assertIn(b"Content-Encoding: gzip", head)
            self.assertEqual(gunzip(body), (line + "\n").encode() * 29)
        finally:
            machine.remove()


class FolderSpellingTest(unittest.TestCase):
    def test_the_filters_folders_hide_their_files_however_the_settings_spell_them(self):
        machine = Machine()
        try:
            machine.start()
            machine.write("gziplog/pagestat.txt", "a log line")
            machine.write("gzipcache/korvanecompress/secret.htm", "a cached page")
            machine.write("gziplog2/pagestat.txt", "a page of the site")
            machine.write("gziplog/open.txt", "a page of the site beside the log")
            machine.set_site_value(1, "LogFolder", "C:\\Inetpub\\wwwroot\\images\\..\\gziplog\\")
            machine.set_site_value(1, "CacheFolder", "\\Inetpub\\wwwroot\\.\\GZIPCACHE")
            token = machine.reload_token().encode()
            self.assertIn(b"Changes Updated", machine.raw(b"GET /rstval=%s HTTP/1.1\r\nHost: x\r\n\r\n" % token))
            for target, status in [(b"/gziplog/pagestat.txt", b"404"), (b"/GzipLog/PageStat.txt", b"404"),
                                   (b"/gzipcache/korvanecompress/secret.htm", b"404"),
                                   (b"/gziplog2/pagestat.txt", b"200"), (b"/gziplog/open.txt", b"200")]:
                with self.subTest(target=target):
                    answer = machine.raw(b"GET %s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n" % target)
                    self.assertTrue(answer.startswith(b"HTTP/1.1 " + status), answer[:60])
        finally:
            machine.remove()


class socket_raw:
    """A request on a fresh connection, its whole answer as the context value."""

    def __init__(self, machine, data):
        self.answer = machine.raw(data)

    def __enter__(self):
        return self.answer

    def __exit__(self, *exc):
        return False


if __name__ == "__main__":
    unittest.main()
