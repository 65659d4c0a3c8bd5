#!/usr/bin/env python3
"""Writes the sample site's generated files: a PNG logo and an archive page larger than the
filter's default MaxSize (500000 bytes), so that both pass uncompressed."""
import os
import struct
import sys
import zlib


def png(width, height):
    rows = b""
    for y in range(height):
        row = b"\x00"
        for x in range(width):
            inside = (x - width / 2) ** 2 + (y - height / 2) ** 2 < (width / 2.2) ** 2
            row += bytes((31, 63, 127) if inside else (255, 255, 255))
        rows += row

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def archive_page():
    lines = ["<html>\n  <head>\n    <title>Order archive</title>\n  </head>\n  <body>\n    <table>\n"]
    for number in range(1, 9001):
        lines.append(f"      <tr>  <td>{100000 + number}</td>  <td>Customer {number % 977}</td>  "
                     f"<td>{(number * 37) % 1000}.{number % 100:02d} EUR</td>  </tr>\n")
    lines.append("    </table>\n  </body>\n</html>\n")
    return "".join(lines)


def main():
    root = sys.argv[1]
    os.makedirs(os.path.join(root, "images"), exist_ok=True)
    with open(os.path.join(root, "images", "logo.png"), "wb") as out:
        out.write(png(64, 64))
    with open(os.path.join(root, "archive.htm"), "w") as out:
        out.write(archive_page())


if __name__ == "__main__":
    main()
