#!/usr/bin/env python3
"""Optimises real and generated pages and checks with Python's HTML parser that each
still reads as the same document: the same text (white space collapsed), the same tags
and the same attribute values. Style contents are left out (the CSS pass drops their
comments), and so are comments.

Usage: same_text_check.py OPTIMIZE_FILE_BINARY PAGE..."""

import html.parser
import random
import re
import subprocess
import sys
import tempfile


class Reader(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.text, self.tags, self.in_style = [], [], 0

    def handle_starttag(self, tag, attrs):
        self.tags.append((tag, tuple(attrs)))
        if tag == "style":
            self.in_style += 1

    handle_startendtag = handle_starttag

    def handle_endtag(self, tag):
        self.tags.append(("/" + tag,))
        if tag == "style":
            self.in_style -= 1

    def handle_data(self, data):
        if not self.in_style:
            self.text.append(data)


def read(document):
    r = Reader()
    r.feed(document)
    r.close()
    return re.sub(r"\s+", " ", "".join(r.text)).strip(), r.tags


def generated_page(seed):
    rnd = random.Random(seed)
    words = ["river", "gauge", "flow", "bank", "ford", "depth", "morning", "flag"]
    parts = ["<!DOCTYPE html>\n<HTML>\n<HEAD><TITLE>Report  %d</TITLE></HEAD>\n<BODY>\n" % seed]
    for _ in range(rnd.randint(20, 60)):
        kind = rnd.choice(["p", "table", "pre", "ul", "comment"])
        text = "  ".join(rnd.choice(words) for _ in range(rnd.randint(3, 15)))
        if kind == "p":
            parts.append("<P class=c%d title='%s'>\n   %s\n</P>\n" % (rnd.randint(1, 3), rnd.choice(words), text))
        elif kind == "table":
            rows = "".join("<TR><TD align=right>%d</TD>  <TD>%s</TD></TR>\n" % (i, text) for i in range(3))
            parts.append("<TABLE border=1>\n%s</TABLE>\n" % rows)
        elif kind == "pre":
            parts.append("<PRE>  %s\n    %s  </PRE>\n" % (text, text))
        elif kind == "ul":
            parts.append("<UL>%s</UL>\n" % "".join("<LI> %s </LI>\n" % w for w in text.split()))
        else:
            parts.append("<!--   %s   -->\n" % text)
    parts.append("</BODY>\n</HTML>\n")
    return "".join(parts)


def main():
    binary, pages = sys.argv[1], sys.argv[2:]
    documents = [(p, open(p, encoding="utf-8").read()) for p in pages]
    documents += [("generated-%d" % s, generated_page(s)) for s in range(5)]
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name, document in documents:
            src, dst = tmp + "/in.html", tmp + "/out.html"
            with open(src, "w", encoding="utf-8") as f:
                f.write(document)
            result = subprocess.run([binary, src, dst], capture_output=True, text=True, check=True)
            optimised = open(dst, encoding="utf-8").read()
            before, after = read(document), read(optimised)
            shrunk = len(optimised) < len(document)
            if before != after or not shrunk:
                failures += 1
                print("FAIL %s (%s)" % (name, result.stdout.strip()))
                if before[0] != after[0]:
                    print("  text before: %r\n  text after:  %r" % (before[0][:300], after[0][:300]))
                for b, a in zip(before[1], after[1]):
                    if b != a:
                        print("  first tag difference: %r -> %r" % (b, a))
                        break
            else:
                print("ok %s: %s" % (name, result.stdout.strip()))
    print("%d passed, %d failed" % (len(documents) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
