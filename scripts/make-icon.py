#!/usr/bin/env python3
"""Builds a 16-colour .ico file from pixel grids kept as text.

Each grid file holds a line "size N" and N rows of N characters: 0-9 and A-F
pick a colour of the standard Windows 16-colour palette, "." is transparent.
Lines starting with "#" are comments. Every image of the .ico is written as
4 bits per pixel with its AND mask, so the same grids always give the same
bytes.

usage: make-icon.py OUT.ico GRID.txt [GRID.txt ...]
"""
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
TRANSPARENT = "."


def read_grid(path):
    size = None
    rows = []
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            if size is None:
                word, _, value = line.partition(" ")
                if word != "size" or not value.isdigit():
                    sys.exit(f"{path}:{number}: expected 'size N'")
                size = int(value)
                continue
            if len(line) != size:
                sys.exit(f"{path}:{number}: row of {len(line)} characters, expected {size}")
            for ch in line:
                if ch != TRANSPARENT and ch not in "0123456789ABCDEF":
                    sys.exit(f"{path}:{number}: unknown pixel {ch!r}")
            rows.append(line)
    if size is None or len(rows) != size:
        sys.exit(f"{path}: expected {size} rows, found {len(rows)}")
    return size, rows


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def image_bytes(size, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour = b""
    mask = b""
    for row in reversed(rows):  # bitmaps are stored bottom-up
        indices = [0 if ch == TRANSPARENT else int(ch, 16) for ch in row]
        colour += padded(bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2)))
        bits = [1 if ch == TRANSPARENT else 0 for ch in row]
        mask += padded(bytes(
            sum(bit << (7 - j) for j, bit in enumerate(bits[i:i + 8])) for i in range(0, size, 8)))
    return header + palette + colour + mask


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    images = [read_grid(path) for path in sys.argv[2:]]
    blobs = [image_bytes(size, rows) for size, rows in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for (size, _), blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    out += b"".join(blobs)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
