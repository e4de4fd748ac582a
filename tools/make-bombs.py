#!/usr/bin/env python3
"""Writes the small picture files in tests/data/bombs that decode to huge
pictures, for tests/tst_image_memory and the image bench:

  wide-1bit.png   32 000 x 32 000 dots, 1 bit grey (125 kB on disk)
  rle8.bmp        20 000 x 6 000, 8-bit RLE whose data ends at once (1 kB)
  tall-1bit.png   384 x 999 999, 1 bit grey, printable (about 50 kB)
  tall-grey.png   384 x 340 000, 8-bit grey (130 MB decoded by Qt's reader)
  long-colour.png 384 x 100 000, 8-bit RGB: over Qt's 128 MB image limit
  header-only.png 60 000 x 40 000, 1 bit grey: the header and where the
                  rows would start, too big to print (287 MB at 1 bit)

Run from anywhere: python3 tools/make-bombs.py"""

import os
import struct
import zlib


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def grey_png(path, width, height, row, depth=1, colour_type=0, channels=1):
    """A grey (or colour) PNG whose every row is `row` (the packed samples)."""
    packer = zlib.compressobj(9)
    stride = (width * depth * channels + 7) // 8
    line = b"\0" + (row * stride)[:stride]
    data = bytearray()
    for _ in range(height):
        data += packer.compress(line)
    data += packer.flush()
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)))
        out.write(chunk(b"IDAT", bytes(data)))
        out.write(chunk(b"IEND", b""))


def header_only_png(path, width, height):
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 1, 0, 0, 0, 0)))
        out.write(b"\0\0\0\0IDAT")


def rle8_bmp(path, width, height):
    palette = b"".join(struct.pack("<BBBB", i, i, i, 0) for i in range(256))
    pixels = b"\x00\x01"  # end of bitmap at once
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(pixels), 2835, 2835, 256, 0)
    with open(path, "wb") as out:
        out.write(header + info + palette + pixels)


os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "bombs"))
grey_png("wide-1bit.png", 32000, 32000, b"\xf0")
rle8_bmp("rle8.bmp", 20000, 6000)
grey_png("tall-1bit.png", 384, 999999, b"\xaa\x55")
grey_png("tall-grey.png", 384, 340000, bytes(range(0, 256, 2)), depth=8)
grey_png("long-colour.png", 384, 100000, bytes(range(0, 255, 3)), depth=8, colour_type=2, channels=3)
header_only_png("header-only.png", 60000, 40000)
