#!/usr/bin/env python3
"""Encodes the small real JPEGs the structure reader's tests read, with cjpeg, into a folder.

Usage: make_test_jpegs.py OUTDIR. The same pictures (a seeded pattern) every time; one JPEG per
way of coding them, named after it.
"""

import random
import subprocess
import sys
from pathlib import Path

# name: (width, height, cjpeg options)
VARIANTS = {
    "baseline": (45, 29, ["-quality", "85"]),
    "sampling444": (45, 29, ["-sample", "1x1"]),
    "progressive": (45, 29, ["-progressive"]),
    "restarts": (45, 29, ["-restart", "1B"]),
    "greyscale": (45, 29, ["-grayscale"]),
    "arithmetic": (45, 29, ["-arithmetic"]),
    "thumbnail": (16, 12, ["-quality", "50"]),
}


def picture(width, height):
    """A binary PPM: gradients in red and green, seeded noise in blue."""
    noise = random.Random(7)
    pixels = bytearray()
    for y in range(height):
        for x in range(width):
            pixels += bytes(((x * 5) & 0xFF, (y * 8) & 0xFF, noise.randrange(256)))
    return b"P6\n%d %d\n255\n" % (width, height) + bytes(pixels)


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, (width, height, options) in VARIANTS.items():
        ppm = out / f"{name}.ppm"
        ppm.write_bytes(picture(width, height))
        subprocess.run(["cjpeg", *options, "-outfile", str(out / f"{name}.jpg"), str(ppm)],
                       check=True)
        ppm.unlink()


if __name__ == "__main__":
    main()
