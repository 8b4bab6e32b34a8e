#!/usr/bin/env python3
"""Encodes the real JPEGs the feature tests read, with cjpeg, into a folder.

Usage: make_feature_jpegs.py OUTDIR. The same pictures every time (seeded); one JPEG per name.
"""

import random
import subprocess
import sys
from pathlib import Path


def picture(width, height, noise_share):
    """A binary PPM: gradients in red and green, seeded noise in blue, and in every channel as
    much again of noise as `noise_share` (0 to 1) says."""
    noise = random.Random(7)
    pixels = bytearray()
    for y in range(height):
        for x in range(width):
            base = ((x * 5) & 0xFF, (y * 8) & 0xFF, noise.randrange(256))
            pixels += bytes(
                int(value * (1 - noise_share) + noise.randrange(256) * noise_share)
                for value in base)
    return b"P6\n%d %d\n255\n" % (width, height) + bytes(pixels)


# name: (width, height, share of noise, cjpeg options)
VARIANTS = {
    "colour": (48, 32, 0.0, ["-quality", "85"]),
    "taller": (48, 40, 0.0, ["-quality", "85"]),
    "wider": (56, 32, 0.0, ["-quality", "85"]),
    "grey": (48, 32, 0.0, ["-grayscale"]),
    "sampling444": (48, 32, 0.0, ["-sample", "1x1"]),
    "progressive": (48, 32, 0.0, ["-progressive"]),
    "arithmetic": (48, 32, 0.0, ["-arithmetic"]),
    # Quantisation values over 255 need 16-bit tables: an extended sequential frame.
    "extended": (48, 32, 0.0, ["-quality", "5"]),
    # The same size as "colour", much harder to compress: an edit that needs --fit.
    "noisy": (48, 32, 0.6, ["-quality", "95"]),
    "noisy_progressive": (48, 32, 0.6, ["-quality", "95", "-progressive"]),
    # Large enough that decoding takes a while, with several scans to cut between.
    "large_progressive": (640, 480, 0.3, ["-quality", "90", "-progressive"]),
}


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, (width, height, noise_share, options) in VARIANTS.items():
        ppm = out / f"{name}.ppm"
        ppm.write_bytes(picture(width, height, noise_share))
        subprocess.run(["cjpeg", *options, "-outfile", str(out / f"{name}.jpg"), str(ppm)],
                       check=True)
        ppm.unlink()


if __name__ == "__main__":
    main()
