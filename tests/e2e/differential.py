"""A differential check of the filter through the real server: generated requests go to
w3svc with the filter and to a second w3svc without it that serves the same folder, and
every answer of the first is judged against the second by an oracle, not by expected bytes.

Run long:  python3 differential.py --seed S --requests N [--rounds R]
A failure prints the seed, the settings, the request and both responses."""
import argparse
import gzip
import os
import random
import re
import socket
import sys
import time
import zlib

from machine import Machine

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "optimizer"))
from same_text_check import read as read_markup  # noqa: E402

SITE_KEY = "HKLM\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1"
MAX_URL = 8192

# Header fields the two servers may differ in without the filter's doing, and those the
# filter documents as its own edits.
VOLATILE = {"date", "connection", "keep-alive"}
FILTER_EDITED = {"content-length", "transfer-encoding", "etag", "tamsic"}

ACCEPT_ENCODINGS = [None, "gzip", "deflate", "gzip, deflate", "deflate, gzip", "gzip;q=0, deflate", "gzip;q=0",
                    "*", "identity;q=0", "deflate;q=0.5, gzip;q=1.0", "gzip; q=0.000", "br", "x-gzip", "GZIP",
                    "identity", "gzip;q=0.001", "deflate;q=0", "GZIP;q=0, deflate", "deflate, *;q=0",
                    "deflate, gzip;\tq=0", "gzip, *;q=0"]
USER_AGENTS = [None, "Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)", "Mozilla/4.0 (compatible; MSIE 6.0)",
               "Mozilla/4.7 [en] (WinNT; I)", "Opera/5.02 (Windows 98; U)", "curl/8.0", "Mozilla/5.0 (X11)"]
WORDS = ["river", "gauge", "flow", "bank", "ford", "depth", "morning", "flag", "Weir", "LOCK", "sluice"]


# ---------------------------------------------------------------------------------------
# What the sites hold

def exact(pieces, head, tail, size):
    """head, as many pieces as fit, tail, and new lines up to exactly size bytes."""
    text = head
    for piece in pieces:
        if len(text) + len(piece) + len(tail) > size:
            break
        text += piece
    text += tail
    return (text + "\n" * (size - len(text))).encode() if len(text) <= size else text.encode()[:size]


def html_page(rnd, size):
    head = "<!DOCTYPE html>\n<HTML>\n<HEAD><TITLE>Page  %d</TITLE>\n" % rnd.randint(0, 999)
    if rnd.random() < 0.5:
        head += "<STYLE>\n  body  {  color : red ;  }\n  /* a comment */\n  p { margin : 0 }\n</STYLE>\n"
    head += "</HEAD>\n<BODY>\n"
    return exact(html_pieces(rnd, size), head, "</BODY>\n</HTML>\n", size)


def html_pieces(rnd, size):
    total = 0
    while total < size:
        kind = rnd.choice(["p", "table", "pre", "ul", "comment", "attr"])
        text = "  ".join(rnd.choice(WORDS) for _ in range(rnd.randint(3, 12)))
        if kind == "p":
            piece = "<P class=c%d title='%s'>\n   %s\n</P>\n" % (rnd.randint(1, 3), rnd.choice(WORDS), text)
        elif kind == "table":
            piece = "<TABLE border=1>\n%s</TABLE>\n" % "".join(
                "<TR><TD align=right>%d</TD>  <TD>%s</TD></TR>\n" % (i, text) for i in range(3))
        elif kind == "pre":
            piece = "<PRE>  %s\n    %s  </PRE>\n" % (text, text)
        elif kind == "ul":
            piece = "<UL>%s</UL>\n" % "".join("<LI> %s </LI>\n" % w for w in text.split())
        elif kind == "attr":
            piece = '<A HREF="/d/page.htm?a=1&amp;b=2"  data-x="%s">%s</A>\n' % (rnd.choice(WORDS), text)
            if rnd.random() < 0.2:
                piece = '<DIV data-x="{\\"a\\":1}"  title=\'  two  words \'>%s</DIV>\n' % text
        else:
            piece = "<!--   %s   -->\n" % text
        total += len(piece)
        yield piece


# Text inside strings and url(...) must pass exactly as it is.
CSS_STRINGS = ['p:before {  content: "  /* keep me */  " ;  }\n', "a { background: url(\"x  y.png\") ; }\n",
               "q::after { content : '  a ,  b ' }\n", "b { background : url( pic  one.gif ) }\n"]


def css_sheet(rnd, size):
    pieces = ["/* rule %d */\n.%s  >  p ,  h%d {\n   color : #%06x ;\n   margin : %dpx  %dpx ;\n}\n" % (
        rnd.randint(0, 99), rnd.choice(WORDS).lower(), rnd.randint(1, 6), rnd.randint(0, 0xffffff),
        rnd.randint(0, 9), rnd.randint(0, 9)) if rnd.random() < 0.8 else rnd.choice(CSS_STRINGS)
        for _ in range(size // 60 + 1)]
    return exact(pieces, "", "", size)


def plain_text(rnd, size):
    return (" ".join(rnd.choice(WORDS) for _ in range(size // 5 + 1)) + "\n").encode()[:size]


def binary(rnd, size):
    return (bytes(rnd.getrandbits(8) for _ in range(min(size, 4096))) * (size // 4096 + 1))[:size]


STATIC_KINDS = [  # extension, maker
    (".htm", html_page), (".html", html_page), (".css", css_sheet), (".txt", plain_text), (".xml", plain_text),
    (".js", plain_text), (".json", plain_text), (".csv", plain_text), (".png", binary), (".gif", binary),
    (".pdf", binary), (".zip", binary), (".dll", binary), (".exe", binary), (".bmp", binary), (".svg", plain_text),
    (".wav", binary), ("", plain_text)]
SIZES = [0, 1, 150, 799, 800, 801, 1000, 4999, 5001, 12000, 19999, 20001, 99999, 100001, 499999, 500001, 600000]

CGI_STATUSES = [None, None, None, "200 OK", "204 No Content", "206 Partial Content", "301 Moved Permanently",
                "304 Not Modified", "404 Not Found", "500 Server Error"]
CGI_TYPES = ["Content-Type: text/html", "content-type: text/html", "Content-type: text/css", "CONTENT-TYPE: text/plain",
             "Content-Type: text/html; charset=iso-8859-1", "Content-Type: application/octet-stream",
             "Content-Type: image/png", None]
CGI_EXTRAS = ["Access-Control-Expose-Headers: Content-Length", "X-Note: tamsic: gzip-only",
              "X-Framing: Transfer-Encoding: chunked", "Cache-Control: no-cache", "Cache-control: max-age=60",
              "Cache-Control: private", "Cache-Control: no-store", "Expires: Thu, 01 Jan 1998 00:00:00 GMT",
              "Expires: Fri, 01 Jan 2100 00:00:00 GMT", "tamsic: gzip-only", "tamsic: no-compression",
              "tamsic: white-space-only", "TAMSIC: full-compression", "tamsic: something-else",
              "X-Encoding-Note: Content-Encoding is added by the filter", "Set-Cookie: session=abc; Path=/", "Vary: Accept-Encoding", "vary: Cookie, accept-encoding"]


def cgi_output(rnd):
    """A program's whole output: its header lines and a body."""
    status = rnd.choice(CGI_STATUSES)
    lines = ["Status: " + status] if status else []
    content_type = rnd.choice(CGI_TYPES)
    if content_type:
        lines.append(content_type)
    lines += rnd.sample(CGI_EXTRAS, rnd.randint(0, 3))
    code = int(status[:3]) if status else 200
    if code == 301:
        lines.append("Location: http://127.0.0.1/elsewhere.htm")
    # The body is what its type says, as a program's would be (markup is optimised by type).
    declared = (content_type or "").lower()
    kind = "html" if "text/html" in declared else "css" if "text/css" in declared else \
        "text" if "text/plain" in declared or not declared else "nul"
    if rnd.random() < 0.1:
        kind = "big"
    size = rnd.choice([0, 100, 900, 3000, 20000])
    body = {"html": lambda: html_page(rnd, size), "css": lambda: css_sheet(rnd, size),
            "text": lambda: plain_text(rnd, size), "nul": lambda: b"a\x00b" * (size // 3 + 1),
            "big": lambda: plain_text(rnd, 600000)}[kind]()
    if code in (204, 304):
        body = b""
    if code == 206:
        lines.append("Content-Range: bytes 0-%d/%d" % (max(len(body) - 1, 0), len(body) + 10))
    if rnd.random() < 0.5:
        name = rnd.choice(["Content-Length", "content-length", "CONTENT-LENGTH", "Content-length"])
        lines.append("%s: %d" % (name, len(body)))
    rnd.shuffle(lines)
    eol = rnd.choice(["\r\n", "\n"])
    return (eol.join(lines) + eol + eol).encode() + body


ECHO_CGI = """#!/bin/sh
printf 'Content-Type: text/html\\r\\n\\r\\n<html><body>\\n'
i=0
while [ $i -lt 30 ]; do printf '<p>%s [%s] [%s]</p>\\n' "$REQUEST_METHOD" "$QUERY_STRING" "$HTTP_COOKIE"; i=$((i+1)); done
printf '</body></html>\\n'
"""

# A page made for each browser, as it says: a copy kept by URL must not go to another one.
AGENT_CGI = """#!/bin/sh
printf 'Content-Type: text/html\\r\\nVary: User-Agent\\r\\n\\r\\n<html><body>\\n'
i=0
while [ $i -lt 30 ]; do printf '<p>for %s</p>\\n' "$HTTP_USER_AGENT"; i=$((i+1)); done
printf '</body></html>\\n'
"""


class Content:
    """The files and programs of the site, made once per run from the seed."""

    def __init__(self, machine, rnd):
        self.statics, self.programs = [], []
        self.files = []  # (name, maker): what a run may rewrite
        for extension, maker in STATIC_KINDS:
            for size in rnd.sample(SIZES, 5):
                # A third in a folder with a dot: the extension is still the file's.
                folder = "d/v1.2" if len(self.statics) % 3 == 0 else "d"
                name = "%s/f%d_%d%s" % (folder, size, len(self.statics), extension)
                machine.write(name, maker(rnd, size))
                self.statics.append("/" + name)
                self.files.append((name, maker))
        machine.write("d/sub/index.htm", html_page(rnd, 3000))
        machine.write("d/Mixed.HTM", html_page(rnd, 6000))
        self.statics += ["/d/sub/", "/d/sub", "/d/Mixed.HTM", "/d/mixed.htm", "/D/MIXED.htm", "/d/missing.htm"]
        # Pairs whose URLs give one cache name, of one size and time as an unpacked archive
        # leaves them: each must get its own page.
        then = time.time() - 3600
        for pair in (("d/Twin.htm", "d/twin.htm"), ("d/a;b.htm", "d/a,b.htm")):
            for name in pair:
                path = machine.write(name, html_page(rnd, 5000))
                os.utime(path, (then, then))
                self.statics.append("/" + name)
        self.markup = [p for p in self.statics if p.endswith((".htm", ".html", ".css", ".txt"))]
        outputs = os.path.join(machine.root, "cgi-outputs")
        os.makedirs(outputs, exist_ok=True)
        for i in range(40):
            output = os.path.join(outputs, "p%d.out" % i)
            with open(output, "wb") as f:
                f.write(cgi_output(rnd))
            machine.write("c/p%d.cgi" % i, "#!/bin/sh\nexec cat '%s'\n" % output, 0o755)
            self.programs.append("/c/p%d.cgi" % i)
        machine.write("c/echo.cgi", ECHO_CGI, 0o755)
        machine.write("c/agent.cgi", AGENT_CGI, 0o755)
        self.programs += ["/c/echo.cgi", "/c/agent.cgi"]

    def rewrite(self, machine, rnd, batch):
        """A site's author changing the pages a batch asked for; False when it asked for none."""
        asked = {request.target.split("?")[0].lower() for request in batch}
        changed = False
        for name, maker in self.files:
            if "/" + name.lower() in asked:
                before = os.stat(machine.wwwroot(name))
                keep = rnd.random() < 0.15
                path = machine.write(name, maker(rnd, before.st_size if keep else rnd.choice(SIZES)))
                if keep:
                    # Rewritten in place, its size and time kept, as a copy that keeps times does.
                    os.utime(path, ns=(before.st_atime_ns, before.st_mtime_ns))
                elif rnd.random() < 0.3:
                    # Put in place with an older time, as a copy that keeps times leaves it.
                    then = time.time() - rnd.choice([60, 86400, 86400 * 400])
                    os.utime(path, (then, then))
                changed = True
        return changed


# ---------------------------------------------------------------------------------------
# Settings

EXCLUSIONS = ["*.dll,*.exe", "*.dll,*.exe,*.css", "c:\\inetpub\\wwwroot\\c\\*", "*.*", "*.txt,*.dll",
              "c:\\inetpub\\wwwroot\\d\\f0_0.htm,*.exe", ""]


def generate_settings(rnd):
    return {
        "Cache": rnd.choice("01"), "DynamicCache": rnd.choice("01"), "CacheHeaders": rnd.choice("01"),
        "CacheExt": rnd.choice([".htm,.html,.txt,.xml", ".htm,.html,.txt,.xml,.cgi", ".css,.cgi,.htm"]),
        "EnableWhite": rnd.choice("01"), "WsWhite": rnd.choice("01"), "WsComment": rnd.choice("01"),
        "WsLower": rnd.choice("01"), "WsCss": rnd.choice("01"), "WsCssCom": rnd.choice("01"),
        "MinSize": rnd.choice(["0", "1", "200", "800", "5000"]),
        "MaxSize": rnd.choice(["20000", "100000", "500000", "2000000"]),
        "NoLimit": rnd.choice("01"), "Limit": rnd.choice(["0", "5000", "100000"]),
        "Report": rnd.choice("01"), "NewExclude": rnd.choice(EXCLUSIONS),
    }


def apply_settings(machine, settings):
    for name, value in settings.items():
        machine.set_site_value(1, name, value)


# ---------------------------------------------------------------------------------------
# Requests and a client that reads answers byte by byte

class Request:
    def __init__(self, method, target, headers, body=b"", expect=False):
        self.method, self.target, self.headers, self.body, self.expect = method, target, headers, body, expect

    def head_bytes(self):
        lines = ["%s %s HTTP/1.1" % (self.method, self.target), "Host: 127.0.0.1"]
        lines += ["%s: %s" % item for item in self.headers]
        if self.method == "POST":
            lines.append("Content-Length: %d" % len(self.body))
            if self.expect:
                lines.append("Expect: 100-continue")
        return ("\r\n".join(lines) + "\r\n\r\n").encode()

    def header(self, name):
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def __repr__(self):
        return "%s%s" % (self.head_bytes().decode(errors="replace"), self.body.decode(errors="replace"))


def random_query(rnd):
    choice = rnd.random()
    if choice < 0.5:
        return ""
    if choice < 0.7:
        return rnd.choice(["id=A", "id=a", "ID=a", "id=B", "x=1&y=2"])
    length = rnd.choice([1, 50, 511, 512, 513, 600, 2000, MAX_URL - 40])
    return "".join(rnd.choice("abcXYZ019=&") for _ in range(length))


def generate_request(rnd, content, pipelined):
    program = rnd.random() < 0.4
    # The echoing program often: its page differs by query, method and cookie.
    echo = program and rnd.random() < 0.3
    target = "/c/echo.cgi" if echo else rnd.choice(content.programs if program else
                        content.markup if rnd.random() < 0.5 else content.statics)
    if not program and rnd.random() < 0.1:
        target = "".join(c.upper() if rnd.random() < 0.3 else c for c in target)
    query = random_query(rnd)
    if query and len(target) + len(query) + 1 <= MAX_URL - 16:
        target += "?" + query
    # Other methods go to programs, which answer them (a file answers 405): each answer is
    # that method's own, "get" included, as methods are case-sensitive.
    method = rnd.choices(["GET", "HEAD", "POST", "PUT", "DELETE", "get"],
                         [70, 12, 18 if program else 2, 8 if program else 0, 6 if program else 0, 6 if program else 0])[0]
    headers = []
    encoding = "gzip, deflate" if rnd.random() < 0.4 else rnd.choice(ACCEPT_ENCODINGS)
    if encoding is not None:
        headers.append(("Accept-Encoding", encoding))
    agent = rnd.choice(USER_AGENTS)
    if agent:
        headers.append(("User-Agent", agent))
    if rnd.random() < 0.08:
        headers.append(("Range", rnd.choice(["bytes=0-99", "bytes=10-", "bytes=-50"])))
    if rnd.random() < 0.15:
        headers.append(("Cookie", "session=%s" % rnd.choice(["ann", "bob", "x" * 3000])))
    if rnd.random() < 0.05:
        headers.append(("If-Modified-Since", rnd.choice(["Sat, 01 Jan 2000 00:00:00 GMT", "Fri, 01 Jan 2100 00:00:00 GMT"])))
    body = b""
    if method == "POST":
        body = b"name=Ann&room=" + str(rnd.randint(0, 999)).encode()
    return Request(method, target, headers, body, expect=method == "POST" and not pipelined and rnd.random() < 0.5)


class Response:
    def __init__(self):
        self.interim, self.status, self.headers, self.body, self.raw_header = [], None, [], b"", b""
        self.lengths, self.chunked, self.close_delimited = [], False, False

    def header(self, name):
        values = [v for k, v in self.headers if k.lower() == name.lower()]
        return values[0] if values else None

    def show(self, limit=600):
        body = self.body[:limit]
        return "%s%r%s" % (self.raw_header.decode(errors="replace"), body, "..." if len(self.body) > limit else "")


class ProtocolError(Exception):
    pass


class Client:
    """One keep-alive connection that reads answers exactly as their framing says."""

    def __init__(self, port, timeout=30):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.buffer = b""
        self.closed = False

    def close(self):
        self.sock.close()

    def _fill(self):
        piece = self.sock.recv(65536)
        if not piece:
            self.closed = True
            raise ProtocolError("connection closed by the server")
        self.buffer += piece

    def _line_block(self):
        while b"\r\n\r\n" not in self.buffer:
            self._fill()
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        return head + b"\r\n\r\n"

    def _take(self, n):
        while len(self.buffer) < n:
            self._fill()
        data, self.buffer = self.buffer[:n], self.buffer[n:]
        return data

    def send(self, request):
        self.sock.sendall(request.head_bytes() + (b"" if request.expect else request.body))

    def read(self, request):
        response = Response()
        if request.expect:
            # The client waits for the interim answer before it sends its body, as browsers do.
            self.sock.settimeout(3)
            try:
                while b"\r\n\r\n" not in self.buffer:
                    self._fill()
            except socket.timeout:
                pass
            self.sock.settimeout(30)
            if self.buffer.startswith(b"HTTP/1.1 100"):
                response.interim.append(self._line_block())
            self.sock.sendall(request.body)
        while True:
            head = self._line_block()
            status = int(head[9:12])
            if 100 <= status < 200:
                response.interim.append(head)
                continue
            break
        response.raw_header = head
        response.status = status
        for line in head.decode("latin-1").split("\r\n")[1:]:
            if line:
                name, _, value = line.partition(":")
                response.headers.append((name, value.strip()))
        response.lengths = [v for k, v in response.headers if k.lower() == "content-length"]
        encoding = response.header("Transfer-Encoding")
        if request.method == "HEAD" or status in (204, 304):
            return response
        if encoding is not None:
            if encoding.lower() != "chunked":
                raise ProtocolError("transfer coding %r" % encoding)
            response.chunked = True
            while True:
                while b"\r\n" not in self.buffer:
                    self._fill()
                size_line, self.buffer = self.buffer.split(b"\r\n", 1)
                size = int(size_line.split(b";")[0], 16)
                if size == 0:
                    self._take(2)
                    break
                response.body += self._take(size)
                self._take(2)
        elif response.lengths:
            response.body = self._take(int(response.lengths[0]))
        else:
            response.close_delimited = True
            try:
                while True:
                    self._fill()
            except ProtocolError:
                pass
            response.body, self.buffer = self.buffer, b""
        return response


# ---------------------------------------------------------------------------------------
# The oracle

def quality(item):
    match = re.search(r";\s*q=([0-9.]+)", item)
    try:
        return float(match.group(1)) if match else 1.0
    except ValueError:
        return 1.0


def accepts_gzip(accept):
    """gzip may go to a client that names gzip, or deflate without refusing gzip."""
    if accept is None:
        return False
    items = [(i.split(";")[0].strip(), quality(i)) for i in accept.split(",")]
    # Coding names are case-insensitive; "*" with a zero weight refuses every coding not named.
    if any("gzip" in coding.lower() and q == 0 for coding, q in items):
        return False
    if any(coding == "*" and q == 0 for coding, q in items) and not any("gzip" in c.lower() for c, _ in items):
        return False
    return any(("gzip" in coding or "deflate" in coding) and q > 0 for coding, q in items)


CSS_LITERAL = re.compile(r"(\"(?:\\.|[^\"\\])*\"|'(?:\\.|[^'\\])*'|url\([^)]*\))")


def css_form(text):
    """Comments gone and white space reduced outside strings and url(...), which stay exact."""
    parts = CSS_LITERAL.split(text)
    for i in range(0, len(parts), 2):
        part = re.sub(r"/\*.*?\*/", "", parts[i], flags=re.S)
        part = re.sub(r"\s+", " ", part)
        parts[i] = re.sub(r" ?([{}:;,>]) ?", r"\1", part)
    return "".join(parts).replace(";}", "}").strip()


def same_markup(kind, before, after):
    try:
        a, b = before.decode("latin-1"), after.decode("latin-1")
    except UnicodeDecodeError:
        return False
    if kind == "text/css":
        return css_form(a) == css_form(b)
    return read_markup(a) == read_markup(b)


def judge(request, got, reference):
    """Every way the filtered answer differs from the reference that the filter may not make."""
    faults = []
    if got.status != reference.status:
        faults.append("status %s, the origin said %s" % (got.status, reference.status))
        return faults
    if len(got.lengths) > 1:
        faults.append("%d Content-Length fields" % len(got.lengths))
    if got.chunked and got.lengths:
        faults.append("both Content-Length and chunked")
    has_body = request.method != "HEAD" and got.status not in (204, 304)
    if has_body and got.lengths and int(got.lengths[0]) != len(got.body):
        faults.append("Content-Length %s for %d bytes" % (got.lengths[0], len(got.body)))
    body = got.body
    coding = got.header("Content-Encoding")
    if not has_body and coding is not None and reference.header("Content-Encoding") is None:
        # A HEAD answer names the fields its GET would have, but never the plain length.
        if request.method != "HEAD" or got.status in (204, 304):
            faults.append("Content-Encoding %r on an answer without a body" % coding)
        elif got.lengths:
            faults.append("Content-Encoding %r on a HEAD answer with the length %s" % (coding, got.lengths[0]))
    if coding is not None and reference.header("Content-Encoding") is None:
        if coding != "gzip":
            faults.append("Content-Encoding %r" % coding)
        elif not accepts_gzip(request.header("Accept-Encoding")):
            faults.append("gzip sent to a client that accepts %r" % request.header("Accept-Encoding"))
        # The origin may send a Vary of its own (even two naming it); the filter names
        # Accept-Encoding only where the origin did not.
        def named(answer):
            return len([n for k, v in answer.headers if k.lower() == "vary" for n in v.split(",")
                        if n.strip().lower() == "accept-encoding"])
        if named(got) != max(1, named(reference)):
            faults.append("gzip with Accept-Encoding named %d times in Vary, the origin %d" %
                          (named(got), named(reference)))
        if has_body:
            try:
                body = gzip.decompress(got.body)
            except (OSError, EOFError, zlib.error) as error:
                faults.append("body does not decode: %s" % error)
                return faults
    if has_body and body != reference.body:
        kind = (reference.header("Content-Type") or "").lower()
        if kind not in ("text/html", "text/css") or not same_markup(kind, reference.body, body):
            faults.append("body differs (%d bytes decoded, origin %d)" % (len(body), len(reference.body)))
    if not has_body and got.lengths and reference.lengths and got.lengths[0] != reference.lengths[0] \
            and coding is None:
        faults.append("Content-Length %s, origin %s" % (got.lengths[0], reference.lengths[0]))
    faults += judge_fields(got, reference)
    return faults


def judge_fields(got, reference):
    faults = []
    got_fields = [(k.lower(), v) for k, v in got.headers]
    for name, value in reference.headers:
        key = name.lower()
        if key in VOLATILE or key in FILTER_EDITED:
            continue
        if (key, value) in got_fields:
            got_fields.remove((key, value))
        else:
            faults.append("field %s: %s lost or changed" % (name, value))
    etag, origin_etag = got.header("ETag"), reference.header("ETag")
    if (etag is None) != (origin_etag is None) or (etag and etag not in (origin_etag, "W/" + (origin_etag or ""))):
        faults.append("ETag %r, origin %r" % (etag, origin_etag))
    tamsic = got.header("tamsic")
    if tamsic is not None and tamsic != reference.header("tamsic"):
        faults.append("tamsic field %r" % tamsic)
    for key, value in got_fields:
        if key in VOLATILE or key in FILTER_EDITED or key == "content-encoding":
            continue
        if key == "vary" and value == "Accept-Encoding":
            continue
        faults.append("field %s: %s added" % (key, value))
    return faults


# ---------------------------------------------------------------------------------------
# The run

class Differential:
    def __init__(self, seed, server_args=()):
        self.seed = seed
        self.rnd = random.Random(seed)
        self.filtered = Machine(server_args)
        self.reference = Machine(server_args)
        ref = self.reference
        ref.tool("adsutil", "set", "W3SVC/Filters/FilterLoadOrder", "")
        ref.tool("adsutil", "set", "W3SVC/1/Root/Path", "Z:" + self.filtered.wwwroot().rstrip("/").replace("/", "\\"))
        self.content = Content(self.filtered, self.rnd)
        self.settings = None
        self.count = 0
        self.compressed = 0  # answers that came gzipped: a run without any tested nothing

    def close(self):
        try:
            self.filtered.remove()
        finally:
            self.reference.remove()

    def start(self, settings):
        """The first start makes the site's key with all its values; the settings follow."""
        self.filtered.start()
        self.reference.start()
        self.reload(settings)

    def reload(self, settings):
        self.settings = settings
        apply_settings(self.filtered, settings)
        client = Client(self.filtered.port)
        try:
            client.sock.sendall(("GET /rstval=%s HTTP/1.1\r\nHost: x\r\n\r\n" % self.filtered.reload_token()).encode())
            answer = b""
            while b"Changes Updated" not in answer:
                piece = client.sock.recv(4096)
                if not piece:
                    break
                answer += piece
        finally:
            client.close()

    def restart(self, settings):
        """A fresh start of the filtered server (the origin has nothing to restart)."""
        self.settings = settings
        self.filtered.stop()
        apply_settings(self.filtered, settings)
        self.filtered.start()  # on another port pair if a client holds its own for a moment

    def run(self, count):
        """Sends count requests in sessions on keep-alive connections; returns the faults."""
        failures = []
        done = 0
        while done < count:
            pipelined = self.rnd.random() < 0.25
            batch = [generate_request(self.rnd, self.content, pipelined) for _ in range(self.rnd.randint(1, 12))]
            failures += self.session(batch, pipelined)
            done += len(batch)
            # Asked again after their author changed them, the pages must not come from a
            # copy the cache made before.
            if not failures and self.rnd.random() < 0.2 and self.content.rewrite(self.filtered, self.rnd, batch):
                failures += self.session(batch, pipelined)
                done += len(batch)
            if len(failures) > 5:
                break
        self.count += done
        return failures

    def exchange(self, port, batch, pipelined):
        client = Client(port)
        answers = []
        try:
            if pipelined:
                for request in batch:
                    client.send(request)
            for request in batch:
                if not pipelined:
                    client.send(request)
                try:
                    answers.append(client.read(request))
                except (ProtocolError, socket.timeout, ValueError) as error:
                    answers.append(error)
                    break
                if (answers[-1].header("Connection") or "").lower() == "close":
                    break
        finally:
            client.close()
        return answers

    def session(self, batch, pipelined):
        got = self.exchange(self.filtered.port, batch, pipelined)
        reference = self.exchange(self.reference.port, batch, pipelined)
        failures = []
        for i, request in enumerate(batch):
            if i >= len(reference) or isinstance(reference[i], Exception):
                break  # the origin itself ended the connection here
            answer = got[i] if i < len(got) else ProtocolError("no answer: the connection ended before it")
            faults = ["no usable answer: %s" % answer] if isinstance(answer, Exception) else judge(request, answer, reference[i])
            if request.expect and reference[i].interim and (isinstance(answer, Exception) or not answer.interim):
                faults.append("no 100 Continue before the body was sent")
            if isinstance(answer, Response) and answer.header("Content-Encoding") == "gzip":
                self.compressed += 1
            if faults:
                text = self.describe(request, faults, answer, reference[i], i, pipelined)
                if isinstance(answer, Exception) and i > 0 and isinstance(got[i - 1], Response):
                    # A framing fault shows in the next answer: the one before is the culprit.
                    text += "--- the answer before it, to\n%r\n%s\n" % (batch[i - 1], got[i - 1].show())
                failures.append(text)
                break
        return failures

    def describe(self, request, faults, got, reference, index, pipelined):
        shown = got.show() if isinstance(got, Response) else repr(got)
        return ("seed %d, request %d of its connection%s:\n  %s\nsettings %s\n--- request\n%r\n--- with the filter\n%s"
                "\n--- origin\n%s\n" % (self.seed, index + 1, " (pipelined)" if pipelined else "", "\n  ".join(faults),
                                        self.settings, request, shown, reference.show()))


def run(seed, requests, rounds, out=sys.stdout):
    """Rounds of generated settings: the first and one in the middle on a fresh server, the
    rest through a reload. Returns the failure texts."""
    differential = Differential(seed)
    failures = []
    try:
        per_round = max(1, requests // rounds)
        for index in range(rounds):
            settings = generate_settings(differential.rnd)
            if index == 0:
                differential.start(settings)
            elif index == rounds // 2:
                differential.restart(settings)
            else:
                differential.reload(settings)
            failures += differential.run(per_round)
            print("round %d: %d requests, %d compressed, %d failures" % (
                index + 1, differential.count, differential.compressed, len(failures)), file=out)
            if failures:
                break
        if not failures and differential.compressed == 0:
            failures.append("seed %d: no answer came compressed; the filter did not work" % seed)
    finally:
        differential.close()
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--requests", type=int, default=3000)
    parser.add_argument("--rounds", type=int, default=6)
    args = parser.parse_args()
    print("seed %d" % args.seed)
    failures = run(args.seed, args.requests, args.rounds)
    for text in failures:
        print(text)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
