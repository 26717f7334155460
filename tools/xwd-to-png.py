#!/usr/bin/env python3
"""Converts an X window dump (XWD, 24/32-bit TrueColor, as Xvfb's -fbdir screen file holds it) into a
PNG, optionally cut to the rectangle X Y W H.

    xwd-to-png.py SCREEN.xwd OUT.png [X Y W H]
"""
import struct
import sys
import zlib


def main():
    if len(sys.argv) not in (3, 7):
        sys.exit(__doc__)
    data = open(sys.argv[1], "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, version, pixmap_format, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    ncolors = fields[19]
    if version != 7 or pixmap_format != 2 or bits_per_pixel != 32:
        sys.exit("unsupported XWD: version %d, format %d, %d bits per pixel" % (version, pixmap_format, bits_per_pixel))
    pixels = header_size + 12 * ncolors
    x, y, w, h = 0, 0, width, height
    if len(sys.argv) == 7:
        x, y, w, h = (int(v) for v in sys.argv[3:7])
        x, y = max(0, min(x, width - 1)), max(0, min(y, height - 1))
        w, h = max(1, min(w, width - x)), max(1, min(h, height - y))
    rows = []
    for row in range(y, y + h):
        start = pixels + row * bytes_per_line + 4 * x
        line = data[start:start + 4 * w]
        out = bytearray(3 * w)
        if byte_order == 0:  # LSBFirst: B G R X
            out[0::3], out[1::3], out[2::3] = line[2::4], line[1::4], line[0::4]
        else:  # MSBFirst: X R G B
            out[0::3], out[1::3], out[2::3] = line[1::4], line[2::4], line[3::4]
        rows.append(b"\0" + bytes(out))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + chunk(b"IEND", b"")
    open(sys.argv[2], "wb").write(png)


if __name__ == "__main__":
    main()
