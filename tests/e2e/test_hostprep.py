"""hostprep against the real services: what an installer and an administrator run."""
import os
import re
import time
import unittest
import urllib.request

from machine import Machine

FILTER = "C:\\Program Files\\Korvane\\Tamsic\\squashfilter.so"


class HostprepWithServicesTest(unittest.TestCase):
    def setUp(self):
        self.machine = Machine()

    def tearDown(self):
        for service in ("W3SVC", "IISADMIN"):
            self.machine.tool("sc", "stop", service, check=False)
        for service in ("W3SVC", "IISADMIN"):
            self.wait_state(service, "STOPPED")
        self.machine.remove()

    def hostprep(self, *args):
        return self.machine.tool("hostprep", *args, check=False).returncode

    def state(self, service):
        return self.machine.service_state(service)

    def wait_state(self, service, wanted, seconds=30):
        return self.machine.wait_service_state(service, wanted, seconds)

    def encoding(self):
        request = urllib.request.Request(self.machine.url("/index.htm"), headers={"Accept-Encoding": "gzip"})
        with urllib.request.urlopen(request, timeout=10) as response:
            response.read()
            return response.headers.get("Content-Encoding")

    def load_order(self):
        return self.machine.tool("adsutil", "get", "W3SVC/Filters/FilterLoadOrder").stdout

    def test_install_and_removal_change_what_the_running_server_loads(self):
        self.assertEqual(self.machine.tool("sc", "start", "W3SVC").returncode, 0)
        self.assertEqual(self.wait_state("W3SVC", "RUNNING"), "RUNNING")
        self.assertEqual(self.encoding(), "gzip")

        # Removal restarts both services; the server then runs without the filter.
        self.assertEqual(self.hostprep("Tamsic"), 0)
        self.assertEqual((self.state("IISADMIN"), self.state("W3SVC")), ("RUNNING", "RUNNING"))
        self.assertNotIn("Tamsic", self.load_order())
        self.assertIsNone(self.encoding())

        # A name that cannot be registered changes nothing: the server is not stopped for it.
        self.assertEqual(self.hostprep("Tam,sic", "Tamsic compression filter", FILTER), 0)
        self.assertEqual(self.hostprep("Tam/sic"), 0)
        self.assertEqual((self.state("IISADMIN"), self.state("W3SVC")), ("RUNNING", "RUNNING"))
        self.assertNotIn("Tam", self.load_order())

        # Installing stops the running server, registers the filter and starts it again.
        self.assertEqual(self.hostprep("Tamsic", "Tamsic compression filter", FILTER), 0)
        self.assertEqual(self.state("W3SVC"), "RUNNING")
        self.assertIn("Tamsic", self.load_order())
        self.assertEqual(self.encoding(), "gzip")

        # With "off" the web service stays stopped.
        self.assertEqual(self.hostprep("Tamsic", "Tamsic compression filter", FILTER, "OFF"), 0)
        self.assertEqual(self.state("W3SVC"), "STOPPED")

    def test_command_two_stops_and_starts_both_in_order(self):
        self.assertEqual(self.hostprep("2", "start"), 0)
        self.assertEqual((self.state("IISADMIN"), self.state("W3SVC")), ("RUNNING", "RUNNING"))
        self.assertEqual(self.hostprep("2", "STOP", "x"), 0)  # C must be empty: nothing happens
        self.assertEqual(self.state("W3SVC"), "RUNNING")
        self.assertEqual(self.hostprep("2", "stop"), 0)
        self.assertEqual((self.state("W3SVC"), self.state("IISADMIN")), ("STOPPED", "STOPPED"))

    def test_commands_four_and_nine_wait_for_a_state(self):
        started = time.time()
        self.assertEqual(self.hostprep("9", "1", "W3SVC"), 0)  # stopped already: one poll
        self.assertLess(time.time() - started, 5)
        self.assertEqual(self.hostprep("6"), 2)


if __name__ == "__main__":
    unittest.main()
