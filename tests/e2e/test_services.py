"""W3SVC and IISADMIN under the service control stand-in, through `sc`, and the demo."""
import os
import re
import signal
import subprocess
import time
import unittest
import urllib.request

from machine import BIN, SOURCE, Machine, free_port_pair, gunzip, stop_machine_processes


def pid_of(machine, service):
    with open(os.path.join(machine.root, "run", "service-%s.state" % service.lower())) as f:
        return int(f.read().split()[1])


def alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().split(") ")[1][0] != "Z"
    except FileNotFoundError:
        return False


class ServiceControlTest(unittest.TestCase):
    def setUp(self):
        self.machine = Machine()

    def tearDown(self):
        for service in ("W3SVC", "IISADMIN"):
            self.machine.tool("sc", "stop", service, check=False)
        self.wait_state("W3SVC", "STOPPED")
        self.wait_state("IISADMIN", "STOPPED")
        self.machine.remove()

    def sc(self, *args):
        return self.machine.tool("sc", *args, check=False)

    def state(self, service):
        return self.machine.service_state(service)

    def wait_state(self, service, wanted, seconds=30):
        return self.machine.wait_service_state(service, wanted, seconds)

    def test_start_runs_the_dependency_first_and_serves(self):
        self.assertEqual(self.state("W3SVC"), "STOPPED")
        self.assertEqual(self.sc("start", "W3SVC").returncode, 0)
        self.assertEqual(self.wait_state("W3SVC", "RUNNING"), "RUNNING")
        self.assertEqual(self.state("IISADMIN"), "RUNNING")
        with urllib.request.urlopen(urllib.request.Request(self.machine.url("/"), headers={"Accept-Encoding": "gzip"}),
                                    timeout=10) as response:
            self.assertEqual(gunzip(response.read()), self.machine.read("index.htm"))
        again = self.sc("start", "W3SVC")
        self.assertEqual(again.returncode, 1)
        self.assertIn("FAILED 1056", again.stdout)

    def test_stop_is_refused_while_a_dependent_runs_and_when_not_running(self):
        self.sc("start", "W3SVC")
        self.wait_state("W3SVC", "RUNNING")
        refused = self.sc("stop", "IISADMIN")
        self.assertIn("FAILED 1051", refused.stdout)
        self.assertEqual(self.state("IISADMIN"), "RUNNING")
        pid = pid_of(self.machine, "W3SVC")
        self.assertEqual(self.sc("stop", "W3SVC").returncode, 0)
        self.assertEqual(self.wait_state("W3SVC", "STOPPED"), "STOPPED")
        deadline = time.time() + 10
        while alive(pid) and time.time() < deadline:
            time.sleep(0.05)
        self.assertFalse(alive(pid))
        self.assertIn("FAILED 1062", self.sc("stop", "W3SVC").stdout)
        self.assertEqual(self.sc("stop", "IISADMIN").returncode, 0)
        self.assertEqual(self.wait_state("IISADMIN", "STOPPED"), "STOPPED")

    def test_a_crashed_service_reads_as_stopped(self):
        self.sc("start", "W3SVC")
        self.wait_state("W3SVC", "RUNNING")
        os.kill(pid_of(self.machine, "W3SVC"), signal.SIGKILL)
        self.assertEqual(self.wait_state("W3SVC", "STOPPED", 10), "STOPPED")
        self.assertEqual(self.sc("stop", "IISADMIN").returncode, 0)

    def test_create_and_delete(self):
        created = self.sc("create", "Spare", "binPath=", "\"%s\"" % os.path.join(BIN, "iisadmin"), "depend=", "IISADMIN")
        self.assertIn("[SC] CreateService SUCCESS", created.stdout)
        self.assertIn("FAILED 1073", self.sc("create", "spare", "binPath=", "x").stdout)
        self.assertEqual(self.sc("start", "Spare").returncode, 0)
        self.assertEqual(self.wait_state("Spare", "RUNNING"), "RUNNING")
        self.assertIn("FAILED 1051", self.sc("stop", "IISADMIN").stdout)
        self.sc("stop", "Spare")
        self.wait_state("Spare", "STOPPED")
        self.assertIn("[SC] DeleteService SUCCESS", self.sc("delete", "Spare").stdout)
        self.assertIn("FAILED 1060", self.sc("query", "Spare").stdout)


class DemoTest(unittest.TestCase):
    def test_demo_prints_addresses_that_answer_and_stop_leaves_nothing(self):
        import shutil
        import tempfile
        root = tempfile.mkdtemp(prefix="tamsic-demo-")
        port = free_port_pair()
        demo = os.path.join(SOURCE, "scripts", "demo")
        env = dict(os.environ)
        try:
            for _ in range(2):  # a second run reuses the machine
                out = subprocess.run([demo, "--machine", root, "--port", str(port), "--bin", BIN], env=env,
                                     capture_output=True, text=True, check=True).stdout
                addresses = re.findall(r"(http://127\.0\.0\.1:\d+/)\s*$", out, re.M)
                self.assertEqual(addresses, ["http://127.0.0.1:%d/" % port, "http://127.0.0.1:%d/" % (port + 1)])
                for address in addresses:
                    request = urllib.request.Request(address, headers={"Accept-Encoding": "gzip"})
                    with urllib.request.urlopen(request, timeout=10) as response:
                        self.assertEqual(response.headers["Content-Encoding"], "gzip")
                        self.assertIn(b"</html>", gunzip(response.read()))
            machine = type("M", (), {"root": root})
            pids = [pid_of(machine, "W3SVC"), pid_of(machine, "IISADMIN")]
            subprocess.run([demo, "stop", "--machine", root, "--bin", BIN], env=env, check=True, capture_output=True)
            deadline = time.time() + 10
            while any(alive(p) for p in pids) and time.time() < deadline:
                time.sleep(0.05)
            self.assertEqual([p for p in pids if alive(p)], [])
        finally:
            subprocess.run([demo, "stop", "--machine", root, "--bin", BIN], env=env, capture_output=True)
            stop_machine_processes(root)
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
