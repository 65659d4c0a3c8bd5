"""A machine root with the product and the two sample sites, and a w3svc running on it in
the foreground, for end-to-end tests with real clients. Everything started is stopped."""
import gzip
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import urllib.request

SOURCE = os.environ.get("TAMSIC_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BIN = os.environ.get("TAMSIC_BIN_DIR", os.path.join(SOURCE, "build", "bin"))
# The sanitizers' quarantine would hold freed memory and hide whether the server's own use is flat.
SERVER_ENV = {"ASAN_OPTIONS": ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"), "quarantine_size_mb=1"]))}


def free_port_pair():
    """Two consecutive free loopback ports, found by asking the kernel."""
    for _ in range(200):
        with socket.socket() as first:
            first.bind(("127.0.0.1", 0))
            port = first.getsockname()[1]
            if port >= 65535:
                continue
            with socket.socket() as second:
                try:
                    second.bind(("127.0.0.1", port + 1))
                except OSError:
                    continue
            return port
    raise RuntimeError("no two free consecutive ports")


class Machine:
    def __init__(self, server_args=()):
        self.root = tempfile.mkdtemp(prefix="tamsic-e2e-")
        self.port = free_port_pair()
        self.env = dict(os.environ, TAMSIC_MACHINE=self.root, **SERVER_ENV)
        self.server_args = list(server_args)
        self.process = None
        subprocess.run([os.path.join(SOURCE, "scripts", "prepare-machine"), "--machine", self.root, "--bin", BIN,
                        "--port", str(self.port)], check=True, env=self.env, stdout=subprocess.DEVNULL)

    # Paths and tools.
    def host(self, relative):
        return os.path.join(self.root, "drive_c", relative)

    def wwwroot(self, relative=""):
        return self.host(os.path.join("Inetpub", "wwwroot", relative))

    def tool(self, name, *args, check=True):
        return subprocess.run([os.path.join(BIN, name), *args], env=self.env, check=check, capture_output=True,
                              text=True)

    def set_site_value(self, site, name, value):
        self.tool("reg", "add", "HKLM\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\%d" % site, "/v", name, "/t",
                  "REG_SZ", "/d", value, "/f")

    def reload_token(self):
        out = self.tool("reg", "query", "HKLM\\SOFTWARE\\Korvane\\Sablewing\\Value", "/v", "ReloadToken").stdout
        return out.split("REG_SZ")[1].strip()

    def write(self, relative, content, mode=0o644):
        path = self.wwwroot(relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(content if isinstance(content, bytes) else content.encode())
        os.chmod(path, mode)
        return path

    def read(self, relative):
        with open(self.wwwroot(relative), "rb") as f:
            return f.read()

    def access_log(self, site=1):
        folder = os.path.join(self.root, "logs", "W3SVC%d" % site)
        text = ""
        for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
            with open(os.path.join(folder, name)) as f:
                text += f.read()
        return text

    # Services.
    def service_state(self, service):
        """STOPPED, RUNNING, ... as `sc query` says, or None for a service that is not there."""
        match = re.search(r"STATE\s+:\s+\d+\s+(\w+)", self.tool("sc", "query", service, check=False).stdout)
        return match.group(1) if match else None

    def wait_service_state(self, service, wanted, seconds=30):
        deadline = time.time() + seconds
        while self.service_state(service) != wanted and time.time() < deadline:
            time.sleep(0.1)
        return self.service_state(service)

    # The server.
    def start(self):
        # Another test's client or server may take a port between finding it free and the
        # server's bind: the sites then move to another free pair, and the server tries again.
        for attempt in range(3):
            try:
                return self.start_once()
            except RuntimeError as error:
                if "Address already in use" not in str(error) or attempt == 2:
                    raise
                try:
                    self.stop()
                except RuntimeError:
                    pass  # it was told to stop for want of a port; how it ended does not matter here
                self.port = free_port_pair()
                for site in (1, 2):
                    self.tool("adsutil", "set", "W3SVC/%d/ServerBindings" % site, "127.0.0.1:%d:" % (self.port + site - 1))
                self.tool("reg", "add", "HKLM\\SOFTWARE\\Korvane\\Sablewing\\Value", "/v", "ReloadPort", "/t",
                          "REG_SZ", "/d", str(self.port), "/f")

    def start_once(self):
        self.log = open(os.path.join(self.root, "w3svc.out"), "w")
        self.process = subprocess.Popen([os.path.join(BIN, "w3svc"), "--foreground", *self.server_args],
                                        env=self.env, stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.time() + 30
        while time.time() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("w3svc ended: " + self.output())
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                socket.create_connection(("127.0.0.1", self.port + 1), timeout=1).close()
                return
            except OSError:
                if "Address already in use" in self.output():
                    break
                time.sleep(0.05)
        raise RuntimeError("w3svc does not listen: " + self.output())

    def output(self):
        with open(os.path.join(self.root, "w3svc.out")) as f:
            return f.read()

    def rss_kb(self):
        with open("/proc/%d/status" % self.process.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def stop(self):
        """Stops the server; a server that does not end cleanly (a crash, a leak report, a
        hang) is a failure of the test that ran it."""
        process, self.process = self.process, None
        if not process:
            return
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.log.close()
        if process.returncode != 0:
            raise RuntimeError("w3svc ended with %d:\n%s" % (process.returncode, self.output()[-4000:]))

    def remove(self):
        try:
            self.stop()
        finally:
            stop_machine_processes(self.root)
            shutil.rmtree(self.root, ignore_errors=True)

    # Clients.
    def url(self, path, site=1):
        return "http://127.0.0.1:%d%s" % (self.port + site - 1, path)

    def raw(self, data, site=1, timeout=10.0, until_close=True):
        """Sends bytes on a fresh connection and returns what comes back until the server
        closes it (or the time-out passes)."""
        with socket.create_connection(("127.0.0.1", self.port + site - 1), timeout=timeout) as s:
            s.sendall(data)
            received = b""
            try:
                while True:
                    piece = s.recv(65536)
                    if not piece:
                        break
                    received += piece
                    if not until_close and b"\r\n\r\n" in received:
                        break
            except socket.timeout:
                pass
            return received


def machine_processes(root):
    """The processes that run on this machine root: a service a test started through sc or
    hostprep that had not yet reported in when it was told to stop is still one of them."""
    marker = b"TAMSIC_MACHINE=" + root.encode() + b"\0"
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit() or int(name) == os.getpid():
            continue
        try:
            with open("/proc/%s/environ" % name, "rb") as f:
                if marker in f.read() + b"\0":
                    found.append(int(name))
        except OSError:
            pass  # gone, or not ours to read
    return found


def stop_machine_processes(root, seconds=10):
    """Ends what is left running on a machine root before the root goes: a service process
    without its folder would serve on until the machine is rebooted."""
    left = machine_processes(root)
    for pid in left:
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
    deadline = time.time() + seconds
    while left and time.time() < deadline:
        time.sleep(0.05)
        left = [pid for pid in left if os.path.exists("/proc/%d" % pid) and not zombie(pid)]
    for pid in left:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def zombie(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(") ", 1)[1].startswith("Z")
    except OSError:
        return True


def gunzip(data):
    return gzip.decompress(data)


def dechunk(body):
    """The data of a chunked body (extensions behind ';' ignored)."""
    data = b""
    while True:
        size_line, body = body.split(b"\r\n", 1)
        size = int(size_line.split(b";")[0], 16)
        if size == 0:
            return data
        data += body[:size]
        body = body[size + 2:]


def fetch(url, headers=None):
    request = urllib.request.Request(url, headers=headers or {})
    with urllib.request.urlopen(request, timeout=30) as response:
        return response.status, dict(response.headers), response.read()
