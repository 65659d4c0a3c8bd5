#!/usr/bin/env python3
"""Fails when a system folder reaches the operating system other than through platform/.

The system's sources also build for Windows against the real headers, where POSIX and
Linux headers, std::filesystem (whose paths bypass the machine's Windows path namespace)
and the host's C library extensions do not exist or mean something else.

usage: os_calls_check.py SOURCE_ROOT
"""

import pathlib
import re
import sys

SYSTEM_FOLDERS = ("filter", "compress", "optimizer", "settings", "stats", "console", "setup")

HEADER = re.compile(
    r"#\s*include\s*<("
    r"unistd\.h|fcntl\.h|sys/[^>]*|netinet/[^>]*|arpa/[^>]*|netdb\.h|dlfcn\.h|pthread\.h|poll\.h|"
    r"signal\.h|csignal|spawn\.h|dirent\.h|strings\.h|termios\.h|syslog\.h|pwd\.h|grp\.h|sched\.h|"
    r"semaphore\.h|linux/[^>]*|asm/[^>]*|execinfo\.h|link\.h|glob\.h|fnmatch\.h|libgen\.h|utime\.h|"
    r"wordexp\.h|ifaddrs\.h|resolv\.h|mqueue\.h|aio\.h|filesystem"
    r")>")
CALL = re.compile(
    r"std::filesystem|\b(getpid|getppid|gmtime_r|localtime_r|timegm|strcasecmp|strncasecmp|"
    r"dlopen|dlsym|fork|waitpid|usleep)\s*\(|/dev/u?random|__attribute__\s*\(\(\s*(constructor|destructor)")


def offences(root):
    for folder in SYSTEM_FOLDERS:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".hpp", ".cpp", ".cc", ".c") or not path.is_file():
                continue
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                if HEADER.search(line) or CALL.search(line):
                    yield f"{path.relative_to(root)}:{number}: {line.strip()}"


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    found = list(offences(pathlib.Path(sys.argv[1])))
    for line in found:
        print(line)
    print(f"{len(found)} lines reach the operating system other than through platform/")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
