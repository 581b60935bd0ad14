#!/usr/bin/env python3
"""Writes the program's icon: python3 tools/make-icon.py OUT.ico
                              python3 tools/make-icon.py --rgba OUT.cpp

The first form writes the Windows icon group's file; the second a C++ source with the
same pictures in 32-bit colour as RGBA rows from the top (the GTK dialog's window icon,
kKestrowIconImages in platform/posix/views/GtkDialogIcon.h).

Six images, each drawn here from a few shapes (no outside artwork): 16, 32 and 48
pixels square, each once with 256 palette colours and once in 32-bit colour with an
alpha channel. The picture is a blue rounded square with a white arrow pointing down
onto a bar: an update arriving.
"""
import struct
import sys

SIZES = (16, 32, 48)
BLUE = (0x1F, 0x6F, 0xC8)
DARK = (0x16, 0x4E, 0x8E)
WHITE = (0xFF, 0xFF, 0xFF)


def pixel(x, y, n):
    """The colour at (x, y) of an n-pixel image (y downwards), or None outside the shape."""
    # Centre of the pixel in unit coordinates.
    u = (x + 0.5) / n
    v = (y + 0.5) / n
    radius = 0.18
    inner_u = min(max(u, radius), 1 - radius)
    inner_v = min(max(v, radius), 1 - radius)
    if (u - inner_u) ** 2 + (v - inner_v) ** 2 > radius * radius:
        return None
    border = 1.5 / n
    if u < border or v < border or u > 1 - border or v > 1 - border:
        return DARK
    # The arrow: a shaft and a head, then the bar it points at.
    if 0.42 <= u <= 0.58 and 0.16 <= v <= 0.50:
        return WHITE
    if 0.50 <= v <= 0.70 and abs(u - 0.5) <= (0.70 - v) * 1.1:
        return WHITE
    if 0.76 <= v <= 0.84 and 0.22 <= u <= 0.78:
        return WHITE
    return BLUE


def mask_rows(n):
    """The AND mask, bottom row first: 1 bits where the image is transparent."""
    stride = ((n + 31) // 32) * 4
    rows = b""
    for y in reversed(range(n)):
        bits = bytearray(stride)
        for x in range(n):
            if pixel(x, y, n) is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        rows += bytes(bits)
    return rows


def header(n, bits, colours):
    # BITMAPINFOHEADER; the height counts the colour image and the mask.
    return struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bits, 0, 0, 0, 0, colours, 0)


def image_32(n):
    data = header(n, 32, 0)
    for y in reversed(range(n)):
        for x in range(n):
            colour = pixel(x, y, n)
            if colour is None:
                data += b"\0\0\0\0"
            else:
                data += bytes((colour[2], colour[1], colour[0], 0xFF))
    return data + mask_rows(n)


def image_8(n):
    palette = [(0, 0, 0), BLUE, DARK, WHITE]
    data = header(n, 8, 256)
    for index in range(256):
        r, g, b = palette[index] if index < len(palette) else (0, 0, 0)
        data += bytes((b, g, r, 0))
    for y in reversed(range(n)):
        row = bytearray()
        for x in range(n):
            colour = pixel(x, y, n)
            row.append(0 if colour is None else palette.index(colour))
        data += bytes(row)  # n is a multiple of 4: no padding
    return data + mask_rows(n)


def rgba_source(path):
    lines = ['// Made by tools/make-icon.py --rgba: the program\'s icon as RGBA rows from the top.',
             '#include "platform/posix/views/GtkDialogIcon.h"', '', 'namespace {', '']
    for n in SIZES:
        data = bytearray()
        for y in range(n):
            for x in range(n):
                colour = pixel(x, y, n)
                data += bytes((0, 0, 0, 0)) if colour is None else bytes((colour[0], colour[1], colour[2], 0xFF))
        lines.append("const unsigned char kIcon%d[] = {" % n)
        for start in range(0, len(data), 24):
            lines.append("    " + ", ".join(str(b) for b in data[start:start + 24]) + ",")
        lines.append("};")
    lines += ['', '}  // namespace', '', 'const KestrowIconImage kKestrowIconImages[kKestrowIconImageCount] = {']
    lines += ["    {%d, kIcon%d}," % (n, n) for n in SIZES]
    lines.append("};")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--rgba":
        rgba_source(sys.argv[2])
        return
    images = []
    for n in SIZES:
        images.append((n, 8, image_8(n)))
        images.append((n, 32, image_32(n)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, bits, data in images:
        colours = 0  # 0 stands for 256 or more
        out += struct.pack("<BBBBHHII", n, n, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
