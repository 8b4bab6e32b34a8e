#!/usr/bin/env python3
"""Builds samples/demo.ldb, a small level database with JFIF textures in it, and demo.json,
which records where every texture sits so tests can check an extraction against the truth.

The textures are real JPEGs: the script draws each picture itself, has cjpeg (from
libjpeg-turbo-progs) compress it, and lays the results out between runs of binary filler.
Everything is seeded, so running it again gives the same files.

    python3 samples/make_demo_ldb.py            # rewrite demo.ldb and demo.json next to this script
    python3 samples/make_demo_ldb.py --check    # only compare a fresh build with the files on disk
    python3 samples/make_demo_ldb.py --out DIR  # write into DIR instead
"""

import argparse
import json
import math
import random
import subprocess
import sys
from pathlib import Path

SIGNATURE = bytes.fromhex("FFD8FFE000104A464946")
SEED = 20240611
BLOCK = 1000  # the size the desktop program reads in; the layout puts images at its edges
SIZE_LIMIT = 300 * 1024


# ---- pictures -------------------------------------------------------------------------------


def gradient(w, h, x, y, rnd):
    return (x * 255 // max(w - 1, 1), y * 255 // max(h - 1, 1), 128)


def checker(w, h, x, y, rnd):
    on = ((x // 2) + (y // 2)) % 2
    return (230, 40, 40) if on else (20, 20, 200)


def rings(w, h, x, y, rnd):
    d = math.hypot(x - w / 2, y - h / 2)
    v = int(127 + 127 * math.sin(d / 3.0))
    return (v, 255 - v, (v * 3) % 256)


def stripes(w, h, x, y, rnd):
    return (255, 255, 255) if (x + y) % 6 < 3 else (0, 0, 0)


def plasma(w, h, x, y, rnd):
    v = math.sin(x / 9.0) + math.sin(y / 7.0) + math.sin((x + y) / 11.0)
    r = int(127 + 40 * v)
    g = int(127 + 40 * math.sin(v * 2.0))
    b = int(127 - 40 * v)
    return (r, g, b)


def noise(w, h, x, y, rnd):
    base = 90 + (x * 100) // max(w, 1)
    return tuple(max(0, min(255, base + rnd.randint(-40, 40))) for _ in range(3))


def dots(w, h, x, y, rnd):
    return (250, 220, 0) if (x % 4 == 1 and y % 4 == 1) else (30, 60, 30)


def bricks(w, h, x, y, rnd):
    row = y // 8
    mortar = y % 8 == 0 or (x + (4 if row % 2 else 0)) % 16 == 0
    return (200, 200, 190) if mortar else (150 + (row * 13) % 60, 60, 40)


def gray_ramp(w, h, x, y, rnd):
    v = ((x + y) * 255) // max(w + h - 2, 1)
    return (v, v, v)


PATTERNS = {f.__name__: f for f in (gradient, checker, rings, stripes, plasma, noise, dots,
                                    bricks, gray_ramp)}

# name, width, height, pattern, grayscale, cjpeg switches. The order is the order in the file.
IMAGES = [
    ("wall", 200, 200, "bricks", False, ["-quality", "85"]),
    ("tile", 8, 8, "checker", False, ["-quality", "50"]),
    ("sky", 160, 120, "plasma", False, ["-quality", "60", "-optimize"]),
    ("glow", 120, 90, "rings", False, ["-quality", "75", "-progressive"]),
    ("grate", 16, 16, "stripes", True, ["-quality", "30", "-optimize"]),
    ("spark", 24, 12, "dots", False, ["-quality", "20", "-optimize"]),
    ("dirt", 64, 48, "noise", False, ["-quality", "90", "-sample", "1x1"]),
    ("fade", 100, 100, "gray_ramp", True, ["-quality", "70", "-restart", "2"]),
    ("panel", 33, 17, "gradient", False, ["-quality", "95", "-sample", "1x1"]),
    ("floor", 180, 60, "bricks", False, ["-quality", "40", "-progressive", "-optimize"]),
    ("gem", 10, 10, "rings", False, ["-quality", "10"]),
]


def draw(width, height, pattern, grayscale, rnd):
    """Returns the picture as a binary PPM (or PGM for grayscale)."""
    paint = PATTERNS[pattern]
    pixels = bytearray()
    for y in range(height):
        for x in range(width):
            r, g, b = paint(width, height, x, y, rnd)
            if grayscale:
                pixels.append((r * 299 + g * 587 + b * 114) // 1000)
            else:
                pixels += bytes((r, g, b))
    magic = b"P5" if grayscale else b"P6"
    return magic + b"\n%d %d\n255\n" % (width, height) + bytes(pixels)


def compress(picture, switches):
    result = subprocess.run(["cjpeg", *switches], input=picture, capture_output=True, check=True)
    jpeg = result.stdout
    if not jpeg.startswith(SIGNATURE) or not jpeg.endswith(b"\xff\xd9"):
        sys.exit("cjpeg did not write a JFIF image starting with the expected signature")
    if jpeg.find(SIGNATURE, 1) != -1:
        sys.exit("a compressed image holds a second signature")
    return jpeg


# ---- filler ---------------------------------------------------------------------------------


def filler(rnd, length):
    """Binary filler that looks like level data: record headers, zero runs and noise."""
    out = bytearray()
    while len(out) < length:
        kind = rnd.randrange(3)
        if kind == 0:
            out += b"REC\x00" + rnd.randrange(1 << 32).to_bytes(4, "little")
        elif kind == 1:
            out += bytes(rnd.randrange(4, 40))
        else:
            out += rnd.randbytes(rnd.randrange(8, 120))
    return bytes(out[:length])


def gap_to(position, remainder, rnd, minimum):
    """A filler length of at least `minimum` that makes the next image start at `remainder`
    within a block."""
    gap = (remainder - (position + minimum)) % BLOCK + minimum
    return gap + BLOCK * rnd.randrange(2)


# ---- layout ---------------------------------------------------------------------------------


def build():
    rnd = random.Random(SEED)
    jpegs = []
    for name, width, height, pattern, grayscale, switches in IMAGES:
        jpeg = compress(draw(width, height, pattern, grayscale, rnd), switches)
        jpegs.append((name, width, height, grayscale, switches, jpeg))

    data = bytearray(filler(rnd, 1234))
    entries = []
    for index, (name, width, height, grayscale, switches, jpeg) in enumerate(jpegs):
        if index == 2:
            # straddles a block boundary: the signature starts 4 bytes before it
            gap = gap_to(len(data), BLOCK - 4, rnd, 64)
        elif index == 4:
            # starts exactly on a block boundary
            gap = gap_to(len(data), 0, rnd, 64)
        elif index == 5:
            # follows the previous small image closely: both start within the same block
            gap = 37
        elif index == 10:
            # the last image starts just before a boundary and ends past it
            gap = gap_to(len(data), BLOCK - 9, rnd, 64)
        else:
            gap = rnd.randrange(40, 3000)
        data += filler(rnd, gap)
        entries.append({
            "number": index + 1,
            "name": name,
            "offset": len(data),
            "jpegSize": len(jpeg),
            "width": width,
            "height": height,
            "components": 1 if grayscale else 3,
            "cjpeg": switches,
        })
        data += jpeg
    data += filler(rnd, 321)

    # Each image runs from its signature to the byte before the next one (the last to the end).
    for entry, following in zip(entries, entries[1:] + [None]):
        end = following["offset"] if following else len(data)
        entry["size"] = end - entry["offset"]

    check_layout(bytes(data), entries)
    report = {
        "file": "demo.ldb",
        "size": len(data),
        "signature": SIGNATURE.hex().upper(),
        "images": entries,
    }
    return bytes(data), json.dumps(report, indent=2) + "\n"


def check_layout(data, entries):
    found = []
    at = data.find(SIGNATURE)
    while at != -1:
        found.append(at)
        at = data.find(SIGNATURE, at + 1)
    if found != [e["offset"] for e in entries]:
        sys.exit("the signature occurs where no image was placed")
    if len(data) > SIZE_LIMIT:
        sys.exit(f"demo.ldb came out at {len(data)} bytes, over the {SIZE_LIMIT} byte budget")
    offsets = [e["offset"] for e in entries]
    if not any(BLOCK - len(SIGNATURE) < o % BLOCK for o in offsets):
        sys.exit("no signature straddles a block boundary")
    if not any(b - a < BLOCK for a, b in zip(offsets, offsets[1:])):
        sys.exit("no two images start less than a block apart")
    if not any(e["jpegSize"] < 1000 for e in entries):
        sys.exit("no image is under 1000 bytes")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=Path(__file__).resolve().parent,
                        help="folder to write demo.ldb and demo.json into")
    parser.add_argument("--check", action="store_true",
                        help="compare a fresh build with the files in --out; write nothing")
    args = parser.parse_args()

    data, report = build()
    ldb, manifest = args.out / "demo.ldb", args.out / "demo.json"
    if args.check:
        same = (ldb.is_file() and ldb.read_bytes() == data and manifest.is_file()
                and manifest.read_text() == report)
        print("up to date" if same else "differs from a fresh build")
        return 0 if same else 1
    args.out.mkdir(parents=True, exist_ok=True)
    ldb.write_bytes(data)
    manifest.write_text(report)
    count = len(json.loads(report)["images"])
    print(f"wrote {ldb} ({len(data)} bytes, {count} images) and {manifest}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
