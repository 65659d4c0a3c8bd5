"""The statistics files of a running server under concurrent real clients: what they hold
after a quiet second, in a report asked for right after a burst, after the console's change
of the report fields, and after the server's stop."""
import http.client
import os
import re
import threading
import time
import unittest

from machine import Machine, dechunk, gunzip

GZIP = {"Accept-Encoding": "gzip"}
# (path, headers, compressed?): pages to clients that take gzip (the second and later ones
# from the cache), the same page to a client that does not, and an image.
MIX = [("/index.htm", GZIP, True), ("/styles/site.css", GZIP, True), ("/index.htm", {}, False),
       ("/images/logo.png", GZIP, False)]
# A folder without its slash: answered 302, which the filter does not log. Asked on the
# connection of a logged request, its answer comes only once that request has been logged.
FENCE = "/guide"
QUIET = 1.5


class StatisticsTest(unittest.TestCase):
    def setUp(self):
        self.machine = Machine(["--workers", "16"])
        self.machine.start()

    def tearDown(self):
        self.machine.remove()

    def log_file(self, name):
        return os.path.join(self.machine.wwwroot("gziplog"), name)

    def page_lines(self):
        try:
            with open(self.log_file("pagestat.txt"), "rb") as f:
                return f.read().split(b"\r\n")[:-1]
        except FileNotFoundError:
            return []

    def site_totals(self):
        try:
            with open(self.log_file("sitestat.txt")) as f:
                start, total, count = f.read().split()
            return int(count)
        except FileNotFoundError:
            return 0

    def reload(self):
        request = b"GET /rstval=%s HTTP/1.1\r\nUser-Agent: TamsicUI\r\nHost: 127.0.0.1\r\n\r\n" % \
            self.machine.reload_token().encode()
        self.assertEqual(self.machine.raw(request, timeout=30), b"Changes Updated")

    def burst(self, clients=8, each=12):
        """Concurrent clients, each on its own connection, through the mix; each ends with the
        fence. Returns how many answers were compressed and how many not."""
        counts = {True: 0, False: 0}
        failures = []
        lock = threading.Lock()

        def client(number):
            connection = http.client.HTTPConnection("127.0.0.1", self.machine.port, timeout=30)
            try:
                for i in range(each):
                    path, headers, compressed = MIX[(number + i) % len(MIX)]
                    connection.request("GET", path, headers=headers)
                    response = connection.getresponse()
                    body = response.read()
                    gzipped = response.getheader("Content-Encoding") == "gzip"
                    expected = self.machine.read(path[1:])
                    if response.status != 200 or gzipped != compressed or (gunzip(body) if gzipped else body) != expected:
                        failures.append((path, response.status, gzipped))
                    with lock:
                        counts[compressed] += 1
                connection.request("GET", FENCE)
                response = connection.getresponse()
                response.read()
                if response.status != 302:
                    failures.append((FENCE, response.status))
            finally:
                connection.close()

        threads = [threading.Thread(target=client, args=(n,)) for n in range(clients)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(failures, [])
        return counts[True], counts[False]

    def test_after_a_quiet_second_the_files_count_every_response(self):
        compressed, uncompressed = self.burst()
        more_compressed, more_uncompressed = self.burst(clients=3, each=5)
        time.sleep(QUIET)
        self.assertEqual(len(self.page_lines()), compressed + more_compressed)
        self.assertEqual(self.site_totals(), uncompressed + more_uncompressed)

    def site_bytes(self):
        with open(self.log_file("sitestat.txt")) as f:
            return float(f.read().split()[1])

    def test_uncompressed_answers_add_the_bytes_they_carry(self):
        # A whole page and a range of it (the range passes before anything else is decided),
        # and a program's page without a length that outgrows MaxSize: held back at first,
        # then sent on as it came, and counted whole with its header.
        self.machine.set_site_value(1, "MaxSize", "3000")
        self.reload()
        line = "<p>" + "x" * 92 + "</p>"
        self.machine.write("cgi/long.cgi", "#!/bin/sh\nprintf 'Content-Type: text/html\\r\\n\\r\\n'\n"
                           "for i in $(seq 1 60); do printf '%s\\n' '" + line + "'; sleep 0.005; done\n", mode=0o755)
        connection = http.client.HTTPConnection("127.0.0.1", self.machine.port, timeout=30)
        try:
            connection.request("GET", "/index.htm")
            whole = len(connection.getresponse().read())
            connection.request("GET", "/index.htm", headers={"Range": "bytes=0-999"})
            response = connection.getresponse()
            self.assertEqual((response.status, len(response.read())), (206, 1000))
        finally:
            connection.close()
        answer = self.machine.raw(b"GET /cgi/long.cgi HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\n"
                                  b"Connection: close\r\n\r\n", timeout=30)
        head, _, body = answer.partition(b"\r\n\r\n")
        self.assertNotIn(b"Content-Encoding", head)
        data = (line + "\n").encode() * 60
        self.assertEqual(dechunk(body), data)
        time.sleep(QUIET)
        self.assertEqual(self.site_totals(), 3)
        program = self.site_bytes() - whole - 1000
        self.assertGreaterEqual(program, len(data) + len(head))
        self.assertLess(program, len(data) + len(head) + 200)

    def report_totals(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.machine.port, timeout=30)
        try:
            connection.request("GET", "/tamsicreport/report.htm")
            report = connection.getresponse().read().decode("latin-1")
        finally:
            connection.close()
        totals = dict(re.findall(r"(total\w+)=(\d+);", report))
        return int(totals["totalCR"]), int(totals["totalUR"])

    def test_a_report_asked_right_after_a_burst_counts_all_of_it(self):
        first = self.burst()
        self.assertEqual(self.report_totals(), first)
        second = self.burst(clients=4, each=7)
        # The report page itself is not logged: it is the filter's own answer.
        self.assertEqual(self.report_totals(), (first[0] + second[0], first[1] + second[1]))

    def test_an_answer_passed_whole_is_counted_before_its_request_ends(self):
        # A program that answers with its length and then takes its time to exit: the client
        # has all of the answer long before the request ends.
        self.machine.write("cgi/linger.cgi", "#!/bin/sh\nprintf 'Content-Type: image/png\\r\\nContent-Length: 5"
                           "\\r\\n\\r\\nhello'\nsleep 3\n", 0o755)
        before = self.report_totals()
        connection = http.client.HTTPConnection("127.0.0.1", self.machine.port, timeout=30)
        try:
            connection.request("GET", "/cgi/linger.cgi")
            response = connection.getresponse()
            self.assertEqual(response.read(), b"hello")
            self.assertEqual(self.report_totals(), (before[0], before[1] + 1))
        finally:
            connection.close()

    def test_a_report_asked_again_with_its_date_is_the_new_page(self):
        # The page is rebuilt at each request, mostly within the second of the copy the
        # client holds: a date alone must not make the server answer 304.
        connection = http.client.HTTPConnection("127.0.0.1", self.machine.port, timeout=30)
        try:
            connection.request("GET", "/tamsicreport/report.htm")
            response = connection.getresponse()
            response.read()
            date = response.getheader("Last-Modified")
            self.assertEqual(self.burst(clients=1, each=1), (1, 0))
            connection.request("GET", "/tamsicreport/report.htm", headers={"If-Modified-Since": date})
            response = connection.getresponse()
            report = response.read().decode("latin-1")
        finally:
            connection.close()
        self.assertEqual(response.status, 200)
        self.assertEqual(dict(re.findall(r"(total\w+)=(\d+);", report))["totalCR"], "1")

    def test_the_consoles_change_of_report_fields_starts_the_files_afresh(self):
        # A program's page asked under the old fields that ends during the reload's wait for
        # such requests: counted in the fresh files, with the new columns.
        self.machine.write("cgi/slow.cgi", "#!/bin/sh\nsleep 1\nprintf 'Content-Type: text/html\\r\\n\\r\\n'\n"
                           "for i in $(seq 1 60); do printf '<p>Paragraph %d of a slow page.</p>\\n' $i; done\n",
                           mode=0o755)
        slow = {}
        asker = threading.Thread(target=lambda: slow.update(answer=self.machine.raw(
            b"GET /cgi/slow.cgi HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\nConnection: close\r\n\r\n",
            timeout=30)))
        asker.start()
        self.burst()  # logged, perhaps not yet written, when the console deletes the files
        # What the console does when the fields change: delete both files, store the new
        # mask, and, once applied, send the reload.
        for name in ("pagestat.txt", "sitestat.txt"):
            if os.path.exists(self.log_file(name)):
                os.remove(self.log_file(name))
        self.machine.set_site_value(1, "ReportMask", "%H%O%C")
        self.reload()
        asker.join()
        self.assertIn(b"Content-Encoding: gzip", slow["answer"].partition(b"\r\n\r\n")[0])
        compressed, uncompressed = self.burst(clients=4, each=6)
        time.sleep(QUIET)
        lines = self.page_lines()
        self.assertEqual(len(lines), compressed + 1)
        self.assertEqual([len(line.split(b",")) for line in lines], [4] * (compressed + 1))
        self.assertEqual(self.site_totals(), uncompressed)
        self.assertEqual(self.report_totals(), (compressed + 1, uncompressed))

    def test_the_same_fields_in_another_order_keep_the_files(self):
        # A mask written again in another order (an import, an edit by hand) or without "%L"
        # names the same columns: the console keeps the files then, and so must the reload.
        compressed, uncompressed = self.burst(clients=2, each=4)
        time.sleep(QUIET)
        for mask in ("%W%D%G%Z%L%M%P%C%O%H", "%W%D%G%Z%M%P%C%O%H"):
            self.machine.set_site_value(1, "ReportMask", mask)
            self.reload()
            time.sleep(QUIET)
            self.assertEqual(len(self.page_lines()), compressed, mask)
            self.assertEqual(self.site_totals(), uncompressed, mask)
        self.machine.set_site_value(1, "ReportMask", "%W%D%G%Z%M%C%O%H")  # "%P" gone: afresh
        self.reload()
        time.sleep(QUIET)
        self.assertEqual(self.page_lines(), [])

    def test_a_page_that_outlasts_the_reloads_wait_is_written_in_the_new_columns(self):
        # The reload waits about 20 s for the requests bound to the settings before. One that
        # ends later still writes into the files that started afresh with the new fields: a
        # line in the old columns there ended the report's reading of every line after it.
        self.machine.write("cgi/late.cgi", "#!/bin/sh\nprintf 'Content-Type: text/html\\r\\n\\r\\n'\n"
                           "for i in $(seq 1 40); do printf '<p>Paragraph %d of a late page.</p>\\n' $i; done\n"
                           "sleep 23\nprintf '<p>The end.</p>\\n'\n", mode=0o755)
        late = {}
        asker = threading.Thread(target=lambda: late.update(answer=self.machine.raw(
            b"GET /cgi/late.cgi HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\nConnection: close\r\n\r\n",
            timeout=60)))
        asker.start()
        time.sleep(1)
        for name in ("pagestat.txt", "sitestat.txt"):
            if os.path.exists(self.log_file(name)):
                os.remove(self.log_file(name))
        self.machine.set_site_value(1, "ReportMask", "%H%O%C")
        self.reload()  # gives up waiting with the program still running
        asker.join()
        self.assertIn(b"Content-Encoding: gzip", late["answer"].partition(b"\r\n\r\n")[0])
        compressed, uncompressed = self.burst(clients=2, each=3)
        time.sleep(QUIET)
        lines = self.page_lines()
        self.assertEqual([len(line.split(b",")) for line in lines], [4] * (compressed + 1))
        self.assertEqual(self.report_totals(), (compressed + 1, uncompressed))

    def test_a_url_longer_than_the_filter_holds_passes_and_is_counted(self):
        # 515 characters: the filter holds 511. Its page goes out as it is, and the lines of
        # the pages after it are all read by the report.
        path = "/".join(["d" * 100] * 5) + "/long.htm"
        self.machine.write(path, self.machine.read("index.htm"))
        answer = self.machine.raw(("GET /%s HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\n"
                                   "Connection: close\r\n\r\n" % path).encode(), timeout=30)
        head, _, body = answer.partition(b"\r\n\r\n")
        self.assertTrue(head.startswith(b"HTTP/1.1 200 "), head)
        self.assertNotIn(b"Content-Encoding", head)
        self.assertEqual(body, self.machine.read("index.htm"))
        compressed, uncompressed = self.burst(clients=2, each=4)
        self.assertEqual(self.report_totals(), (compressed, uncompressed + 1))

    def test_a_stopped_server_has_written_everything(self):
        self.machine.set_site_value(1, "RefreshLog", "Never")
        self.reload()
        compressed, uncompressed = self.burst()
        self.machine.stop()
        self.assertEqual(len(self.page_lines()), compressed)
        self.assertEqual(self.site_totals(), uncompressed)
        # "IIS Restart": the stop deletes both files, and nothing pending comes after.
        self.machine.set_site_value(1, "RefreshLog", "IIS Restart")
        self.machine.start()
        self.burst(clients=2, each=4)
        self.machine.stop()
        self.assertFalse(os.path.exists(self.log_file("pagestat.txt")))
        self.assertFalse(os.path.exists(self.log_file("sitestat.txt")))


if __name__ == "__main__":
    unittest.main()
