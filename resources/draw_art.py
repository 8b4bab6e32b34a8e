#!/usr/bin/env python3
"""Draws Glintmark's program icon and logo and writes them next to this script.

    python3 resources/draw_art.py

writes glintmark.ico (32x32 in 16 and 256 colours, 16x16 in 16 colours, 48x48 in 256 colours,
each a classic BMP icon image with an AND mask), logo.bmp (168x271, 24-bit) and the desktop
icons icons/glintmark-<size>.png: 16, 32 and 48 decoded from the icon's own images (the richest
one of each size), 128 and 256 drawn anew at that size. Standard library only; the output is
the same byte for byte on every run. Every file is read back and checked before the script
reports success.

    python3 resources/draw_art.py --check    # only compare a fresh drawing with the files on disk
"""

import os
import struct
import sys
import zlib

sys.dont_write_bytecode = True

from art_icon import VGA, draw_icon  # noqa: E402
from art_logo import LOGO_HEIGHT, LOGO_WIDTH, draw_logo  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))

# The images of the icon, in file order: (size, bits per pixel).
ICON_IMAGES = [(32, 4), (32, 8), (16, 4), (48, 8)]

# Desktop icon sizes taken from the icon file (index of the image in ICON_IMAGES), and the
# sizes drawn anew for large displays.
PNG_FROM_ICON = {16: 2, 32: 1, 48: 3}
PNG_DRAWN = (128, 256)


# Number of bytes in one bitmap row of the given width and depth, padded to four bytes.
def row_bytes(width, bits):
    return (width * bits + 31) // 32 * 4


# An adaptive palette of at most `count` colours for the given colours (median cut).
def median_cut(colours, count):
    unique = sorted(set(colours))
    if len(unique) <= count:
        return unique
    boxes = [sorted(colours)]
    while len(boxes) < count:
        best, best_score, best_channel = None, 0, 0
        for i, box in enumerate(boxes):
            for channel in range(3):
                values = [c[channel] for c in box]
                spread = max(values) - min(values)
                score = spread * len(box)
                if spread > 0 and score > best_score:
                    best, best_score, best_channel = i, score, channel
        if best is None:
            break
        box = sorted(boxes.pop(best), key=lambda c: (c[best_channel], c))
        middle = len(box) // 2
        while middle < len(box) - 1 and box[middle][best_channel] == box[middle - 1][best_channel]:
            middle += 1
        boxes[best:best] = [box[:middle], box[middle:]]
    return [tuple(round(sum(c[k] for c in box) / len(box)) for k in range(3)) for box in boxes]


# Index of the palette entry nearest to c, searching entries from `first` on.
def closest(palette, c, first=0):
    best, best_d = first, None
    for i in range(first, len(palette)):
        p = palette[i]
        d = 3 * (c[0] - p[0]) ** 2 + 4 * (c[1] - p[1]) ** 2 + 2 * (c[2] - p[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


# Palette, palette-index rows and transparency rows of one icon image.
def render_icon(size, bits):
    if bits == 4:
        canvas = draw_icon(size, "vga")
        _, coverage = canvas.resolve()
        indices = canvas.resolve_majority(VGA)
        palette = list(VGA)
    else:
        canvas = draw_icon(size, "rich")
        pixels, coverage = canvas.resolve()
        opaque = [tuple(round(v) for v in c) for prow, crow in zip(pixels, coverage)
                  for c, k in zip(prow, crow) if k >= 0.5]
        # entry 0 stays black: transparent pixels use it, so they leave the screen untouched
        palette = [(0, 0, 0)] + median_cut(opaque, 255)
        cache = {}
        indices = []
        for prow in pixels:
            row = []
            for c in prow:
                key = tuple(round(v) for v in c)
                if key not in cache:
                    cache[key] = closest(palette, key, 1)
                row.append(cache[key])
            indices.append(row)
        palette += [(0, 0, 0)] * (256 - len(palette))
    transparent = [[k < 0.5 for k in crow] for crow in coverage]
    for y in range(size):
        for x in range(size):
            if transparent[y][x]:
                indices[y][x] = 0
    return palette, indices, transparent


# One icon image: BITMAPINFOHEADER (doubled height), palette, XOR bitmap, AND mask.
def icon_image(size, bits, palette, indices, transparent):
    assert bits in (4, 8) and len(palette) == 1 << bits
    assert palette[0] == (0, 0, 0), "transparent pixels need black at palette entry 0"
    assert all(indices[y][x] == 0 for y in range(size) for x in range(size)
               if transparent[y][x]), "a transparent pixel would tint the screen"
    assert len(indices) == size and all(len(r) == size for r in indices)
    assert all(0 <= i < len(palette) for r in indices for i in r)
    xor_row, and_row = row_bytes(size, bits), row_bytes(size, 1)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0,
                         (xor_row + and_row) * size, 0, 0, 0, 0)
    body = bytearray(header)
    for r, g, b in palette:
        body += bytes((b, g, r, 0))
    for y in reversed(range(size)):
        row = bytearray(xor_row)
        for x, index in enumerate(indices[y]):
            if bits == 8:
                row[x] = index
            else:
                row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        body += row
    for y in reversed(range(size)):
        row = bytearray(and_row)
        for x, clear in enumerate(transparent[y]):
            if clear:
                row[x // 8] |= 0x80 >> (x % 8)
        body += row
    return bytes(body)


# The whole .ico file: directory followed by the images.
def icon_file(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for size, bits, blob in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0, 1,
                               bits, len(blob), offset + len(data))
        data += blob
    return directory + entries + data


# A 24-bit bottom-up BMP file of the given pixel rows.
def bmp_file(pixels):
    height, width = len(pixels), len(pixels[0])
    stride = row_bytes(width, 24)
    image = bytearray()
    for y in reversed(range(height)):
        row = bytearray(stride)
        for x, (r, g, b) in enumerate(pixels[y]):
            row[3 * x:3 * x + 3] = bytes((b, g, r))
        image += row
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(image), 3780, 3780, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(image), 0, 0, 14 + len(info))
    return header + info + bytes(image)


# Reads an .ico back and fails loudly unless it holds exactly the expected images.
def check_icon(data, expected):
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    assert (reserved, kind, count) == (0, 1, len(expected)), "bad icon directory"
    end = 6 + 16 * count
    for i, (size, bits) in enumerate(expected):
        w, h, colours, _, planes, depth, length, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * i)
        assert (w, h, planes, depth) == (size % 256, size % 256, 1, bits), f"entry {i} is wrong"
        assert colours == (16 if bits == 4 else 0), f"entry {i} has a wrong colour count"
        assert offset == end and offset + length <= len(data), f"entry {i} is misplaced"
        fields = struct.unpack_from("<IiiHHIIiiII", data, offset)
        assert fields[:6] == (40, size, 2 * size, 1, bits, 0), f"image {i} header is wrong"
        pixels = (row_bytes(size, bits) + row_bytes(size, 1)) * size
        assert fields[6] == pixels, f"image {i} size field is wrong"
        assert length == 40 + 4 * (1 << bits) + pixels, f"image {i} has a wrong length"
        end = offset + length
    assert end == len(data), "icon file has trailing bytes"


# Reads a BMP back and fails loudly unless it is an uncompressed 24-bit image of that size.
def check_bmp(data, width, height):
    magic, size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
    fields = struct.unpack_from("<IiiHHIIiiII", data, 14)
    assert magic == b"BM" and size == len(data) and offset == 54, "bad bitmap file header"
    assert fields[:6] == (40, width, height, 1, 24, 0), "bitmap is not 24-bit bottom-up"
    assert offset + row_bytes(width, 24) * height == len(data), "bitmap has a wrong length"


# RGBA rows of one icon image, decoded from its bytes: palette colour, or clear where the AND
# mask says so.
def icon_rgba(blob):
    _, size, _, _, bits = struct.unpack_from("<IiiHH", blob, 0)
    palette = [tuple(reversed(blob[40 + 4 * i:43 + 4 * i])) for i in range(1 << bits)]
    xor_start = 40 + 4 * len(palette)
    xor_row, and_row = row_bytes(size, bits), row_bytes(size, 1)
    and_start = xor_start + xor_row * size
    rows = []
    for y in range(size):
        xor = blob[xor_start + (size - 1 - y) * xor_row:]
        mask = blob[and_start + (size - 1 - y) * and_row:]
        row = []
        for x in range(size):
            index = xor[x] if bits == 8 else (xor[x // 2] >> (4 if x % 2 == 0 else 0)) & 15
            clear = mask[x // 8] & (0x80 >> (x % 8))
            row.append(palette[index] + ((0 if clear else 255),))
        rows.append(row)
    return rows


# RGBA rows of an icon drawn anew at a large size; the covered share of a pixel is its alpha.
def drawn_rgba(size):
    pixels, coverage = draw_icon(size, "rich", ss=4).resolve()
    return [[tuple(min(255, max(0, round(v))) for v in c) + (round(255 * k),)
             for c, k in zip(prow, crow)] for prow, crow in zip(pixels, coverage)]


# One PNG chunk: length, type, data and the CRC over type and data.
def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


# An 8-bit RGBA PNG file of the given rows (no filtering, no time or text chunks).
def png_file(rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


# Reads a PNG written by png_file back and fails loudly unless it holds exactly these rows.
def check_png(data, rows):
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG file"
    chunks, at = {}, 8
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        body = data[at + 8:at + 8 + length]
        crc, = struct.unpack_from(">I", data, at + 8 + length)
        assert crc == zlib.crc32(kind + body) & 0xFFFFFFFF, f"PNG chunk {kind} is damaged"
        chunks[kind] = body
        at += 12 + length
    size = len(rows)
    assert chunks[b"IHDR"] == struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0), "bad PNG header"
    raw = zlib.decompress(chunks[b"IDAT"])
    stride = 1 + 4 * size
    assert len(raw) == stride * size, "PNG image has a wrong length"
    for y, row in enumerate(rows):
        line = raw[y * stride:(y + 1) * stride]
        assert line[0] == 0 and list(line[1:]) == [v for p in row for v in p], f"PNG row {y}"


# Writes a file in one go, naming it in the error if that fails.
def write(name, data):
    path = os.path.join(HERE, name)
    try:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
    except OSError as error:
        sys.exit(f"draw_art: cannot write {path}: {error.strerror}")
    print(f"wrote {path} ({len(data)} bytes)")


# Compares a fresh drawing with the file on disk; True when they are the same bytes.
def same_as_on_disk(name, data):
    path = os.path.join(HERE, name)
    try:
        with open(path, "rb") as existing:
            same = existing.read() == data
    except OSError as error:
        print(f"draw_art: cannot read {path}: {error.strerror}", file=sys.stderr)
        return False
    if not same:
        print(f"draw_art: {path} differs from a fresh drawing", file=sys.stderr)
    return same


def main():
    check_only = sys.argv[1:] == ["--check"]
    if sys.argv[1:] and not check_only:
        sys.exit("usage: draw_art.py [--check]")
    images = []
    for size, bits in ICON_IMAGES:
        palette, indices, transparent = render_icon(size, bits)
        images.append((size, bits, icon_image(size, bits, palette, indices, transparent)))
    ico = icon_file(images)
    check_icon(ico, ICON_IMAGES)
    files = {"glintmark.ico": ico}

    for size in sorted([*PNG_FROM_ICON, *PNG_DRAWN]):
        if size in PNG_FROM_ICON:
            rows = icon_rgba(images[PNG_FROM_ICON[size]][2])
        else:
            rows = drawn_rgba(size)
        png = png_file(rows)
        check_png(png, rows)
        files[f"icons/glintmark-{size}.png"] = png

    pixels, _ = draw_logo().resolve()
    rows = [[tuple(min(255, max(0, round(v))) for v in c) for c in row] for row in pixels]
    assert len(rows) == LOGO_HEIGHT and all(len(r) == LOGO_WIDTH for r in rows)
    bmp = bmp_file(rows)
    check_bmp(bmp, LOGO_WIDTH, LOGO_HEIGHT)

    files["logo.bmp"] = bmp

    if check_only:
        if not all([same_as_on_disk(name, data) for name, data in files.items()]):
            sys.exit(1)
        print(f"draw_art: all {len(files)} files match a fresh drawing")
        return
    for name, data in files.items():
        write(name, data)


if __name__ == "__main__":
    main()
