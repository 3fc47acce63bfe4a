#!/usr/bin/env python3
"""Converts an X window dump (xwd -root of a 24/32-bit Xvfb screen) into a PNG file.

Usage: xwd2png.py <in.xwd> <out.png> [auto | x y width height]
  auto: crop to what differs from the screen's background, with a small margin.
Only the standard library is used: the screenshots need no image package.
"""
import struct
import sys
import zlib


def read_xwd(path):
    data = open(path, "rb").read()
    header = struct.unpack(">25I", data[:100])
    header_size, _, _, depth, width, height = header[0:6]
    byte_order, bits_per_pixel, bytes_per_line = header[7], header[11], header[12]
    red_mask, green_mask, blue_mask = header[14:17]
    ncolors = header[19]
    if bits_per_pixel not in (24, 32):
        raise SystemExit("xwd2png: only 24 and 32 bits per pixel are supported, got %d"
                         % bits_per_pixel)
    offset = header_size + ncolors * 12
    step = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"

    def shift(mask):
        s = 0
        while mask and not mask & 1:
            mask >>= 1
            s += 1
        return s

    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    rows = []
    for y in range(height):
        line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        row = bytearray()
        for i in range(0, width * step, step):
            pixel = int.from_bytes(line[i:i + step], order)
            row += bytes(((pixel & red_mask) >> rs, (pixel & green_mask) >> gs,
                          (pixel & blue_mask) >> bs))
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    raw = b"".join(b"\x00" + r for r in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    open(path, "wb").write(png)


def main():
    width, height, rows = read_xwd(sys.argv[1])
    if len(sys.argv) == 4 and sys.argv[3] == "auto":
        background = rows[0][0:3]
        top, bottom, left, right = height, -1, width, -1
        for y, r in enumerate(rows):
            for x in range(0, width * 3, 3):
                if r[x:x + 3] != background:
                    top, bottom = min(top, y), max(bottom, y)
                    left, right = min(left, x // 3), max(right, x // 3)
        if bottom >= 0:
            m = 8
            x, y = max(0, left - m), max(0, top - m)
            w, h = min(width, right + m + 1) - x, min(height, bottom + m + 1) - y
            rows = [r[x * 3:(x + w) * 3] for r in rows[y:y + h]]
            width, height = w, h
    elif len(sys.argv) == 7:
        x, y, w, h = (int(v) for v in sys.argv[3:7])
        x, y = max(0, x), max(0, y)
        w, h = min(w, width - x), min(h, height - y)
        rows = [r[x * 3:(x + w) * 3] for r in rows[y:y + h]]
        width, height = w, h
    write_png(sys.argv[2], width, height, rows)


if __name__ == "__main__":
    main()
