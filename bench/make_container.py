#!/usr/bin/env python3
"""Builds a large synthetic level database for the extraction benchmarks.

The container holds thousands of real JFIF JPEGs, drawn here and encoded with cjpeg, separated
by binary filler. A truth file (JSON) lists the offset, size and SHA-256 of every embedded
image, so the images each extractor wrote can be checked against it.

The same seed always gives the same container (for the same cjpeg). The filler never holds the
bytes FF D8, so it can neither hold a JFIF signature nor look like the start of a JPEG to a
carver; every pool image holds its signature only at its start and its first FF D9 is its
end-of-image marker, so "the image" is unambiguous for every tool.
"""

import argparse
import hashlib
import json
import math
import random
import subprocess
import sys
from pathlib import Path

SIGNATURE = bytes.fromhex("FFD8FFE000104A464946")
SOI = b"\xff\xd8"
EOI = b"\xff\xd9"
MIB = 1 << 20
# Larger drawings are redrawn, so the biggest image stays at a few hundred KB.
MAX_IMAGE = 480 * 1024
# Changes whenever the layout or the pool drawing changes, so cached containers are remade.
GENERATOR_VERSION = 1

PATTERNS = ("noise", "grain", "gradient", "checker", "stripes", "rings", "waves")


def log_uniform(rng, low, high):
    """An integer between low and high whose logarithm is uniform."""
    return int(round(math.exp(rng.uniform(math.log(low), math.log(high)))))


def scrub_filler(data):
    """Returns data with every FF D8 pair broken, so no signature or JPEG start remains."""
    # Replacing the D8 cannot create a new FF D8: the byte before the FF is unchanged and the
    # new 00 is no FF.
    return data.replace(SOI, b"\xff\x00")


def add_grain(rng, pixels, amp):
    """pixels with random grain of up to `amp` added to every byte, without numpy."""
    if amp == 0:
        return pixels
    n = len(pixels)
    # Squeeze the picture into 0..255-amp and the noise into 0..amp, so that adding the two
    # as big integers never carries from one byte into the next.
    squeeze = bytes(v * (255 - amp) // 255 for v in range(256))
    shrink = bytes(v * amp // 255 for v in range(256))
    base = int.from_bytes(pixels.translate(squeeze), "big")
    noise = int.from_bytes(rng.randbytes(n).translate(shrink), "big")
    return (base + noise).to_bytes(n, "big")


def _periodic_row(colours, period, length):
    """A row of `length` bytes alternating the two colours every `period` pixels."""
    unit = bytes(colours[0]) * period + bytes(colours[1]) * period
    return (unit * (length // len(unit) + 2))[: length + len(unit)]


def draw_pixels(rng, pattern, width, height, channels):
    """Raw pixel bytes (row-major, `channels` bytes a pixel) of one drawn image."""
    n = width * height * channels
    if pattern == "noise":
        return rng.randbytes(n)
    colours = [[rng.randrange(256) for _ in range(channels)] for _ in range(2)]
    rowlen = width * channels
    if pattern in ("checker", "stripes"):
        period = rng.randint(2, 40)
        slope = 0 if pattern == "checker" else rng.choice((0, 1, 2, 3))
        row = _periodic_row(colours, period, rowlen)
        unit = 2 * period * channels
        rows = []
        for y in range(height):
            if pattern == "checker":
                shift = period * channels if (y // period) & 1 else 0
            else:
                shift = (slope * y * channels) % unit
            rows.append(row[shift : shift + rowlen])
        return add_grain(rng, b"".join(rows), rng.randint(0, 12))
    # Smooth patterns: a value 0..1 per cell of a coarse grid, blended between the two colours,
    # blown up to full size, then grain on top.
    cell = max(1, max(width, height) // 96)
    cw, ch = -(-width // cell), -(-height // cell)
    cx, cy = rng.uniform(0, cw), rng.uniform(0, ch)
    fx, fy = rng.uniform(0.05, 0.8), rng.uniform(0.05, 0.8)
    ring = rng.uniform(0.7, 8)
    rows = []
    for y in range(ch):
        parts = []
        for x in range(cw):
            if pattern == "rings":
                t = 0.5 + 0.5 * math.sin(math.hypot(x - cx, y - cy) / ring)
            elif pattern == "waves":
                t = 0.5 + 0.25 * (math.sin(x * fx) + math.cos(y * fy))
            else:  # gradient, grain
                t = (x + y) / (cw + ch)
            pixel = bytes(int(a + (b - a) * t) for a, b in zip(*colours))
            parts.append(pixel * cell)
        row = b"".join(parts)[:rowlen]
        rows.extend([row] * cell)
    pixels = b"".join(rows[:height])
    amp = rng.randint(20, 90) if pattern == "grain" else rng.randint(0, 24)
    return add_grain(rng, pixels, amp)


def jpeg_is_clean(data):
    """True when data is one JFIF image whose only signature and only FF D9 are its ends."""
    return (
        data.startswith(SIGNATURE)
        and data.find(SIGNATURE, 1) == -1
        and data.endswith(EOI)
        and data.find(EOI) == len(data) - 2
    )


def decodes(data):
    """True when djpeg decodes the image without a warning."""
    res = subprocess.run(
        ["djpeg", "-outfile", "/dev/null"], input=data, capture_output=True, check=False
    )
    return res.returncode == 0 and not res.stderr


def encode(rng):
    """Draws one image and encodes it; returns (jpeg bytes, description)."""
    pattern = rng.choice(PATTERNS)
    gray = rng.random() < 0.2
    channels = 1 if gray else 3
    # Noise compresses worst: keep it smaller so the largest images stay at a few hundred KB.
    # A fifth are tiny (icons, masks under 1 KB); the rest mostly a few to a few hundred KB.
    top = 420 if pattern in ("noise", "grain") else 1400
    width = log_uniform(rng, 8 if rng.random() < 0.2 else 96, top)
    height = max(8, min(top, int(width * rng.uniform(0.4, 2.5))))
    quality = rng.randint(30, 98)
    opts = ["-quality", str(quality)]
    if rng.random() < 0.3:
        opts.append("-progressive")
    if rng.random() < 0.3:
        opts.append("-optimize")
    if rng.random() < 0.15:
        opts += ["-restart", str(rng.randint(1, 8))]
    if not gray and rng.random() < 0.3:
        opts += ["-sample", rng.choice(("1x1", "2x1", "2x2"))]
    header = b"P%d\n%d %d\n255\n" % (5 if gray else 6, width, height)
    pixels = draw_pixels(rng, pattern, width, height, channels)
    res = subprocess.run(["cjpeg", *opts], input=header + pixels, capture_output=True, check=True)
    info = {
        "pattern": pattern,
        "width": width,
        "height": height,
        "gray": gray,
        "options": opts,
    }
    return res.stdout, info


def make_pool(seed, count):
    """A list of (jpeg bytes, description) of `count` distinct clean images."""
    rng = random.Random(f"pool-{seed}")
    pool, seen = [], set()
    attempts = 0
    while len(pool) < count:
        attempts += 1
        if attempts > count * 4:
            raise RuntimeError(f"could not draw {count} clean images in {attempts} attempts")
        data, info = encode(rng)
        digest = hashlib.sha256(data).hexdigest()
        if len(data) > MAX_IMAGE or digest in seen or not jpeg_is_clean(data) or not decodes(data):
            continue
        seen.add(digest)
        info.update(size=len(data), sha256=digest)
        pool.append((data, info))
    return pool


def make_filler(rng, size):
    """`size` bytes of binary filler, a mix of random bytes, zero runs and repeated words."""
    parts, left = [], size
    while left > 0:
        n = min(left, log_uniform(rng, 16, 16384))
        kind = rng.random()
        if kind < 0.7:
            parts.append(rng.randbytes(n))
        elif kind < 0.85:
            parts.append(bytes(n))
        else:
            word = rng.randbytes(rng.choice((2, 4, 8)))
            parts.append((word * (n // len(word) + 1))[:n])
        left -= n
    return scrub_filler(b"".join(parts))


def gap_size(rng):
    """Filler length between two images: sometimes none, usually up to 64 KB."""
    return 0 if rng.random() < 0.1 else log_uniform(rng, 16, 65536)


def build(path, truth_path, total, seed, pool_count, log=None):
    """Writes the container and its truth file; returns the truth dictionary."""
    pool = make_pool(seed, pool_count)
    rng = random.Random(f"layout-{seed}")
    images = []
    pos = 0
    with open(path, "wb") as out:
        while True:
            gap = gap_size(rng) if images else log_uniform(rng, 64, 8192)
            index = rng.randrange(len(pool))
            data, info = pool[index]
            if pos + gap + len(data) > total:
                break
            out.write(make_filler(rng, gap))
            pos += gap
            out.write(data)
            images.append({"offset": pos, "size": len(data), "pool": index, "sha256": info["sha256"]})
            pos += len(data)
        out.write(make_filler(rng, total - pos))
    truth = {
        "generator": GENERATOR_VERSION,
        "seed": seed,
        "size": total,
        "signature": SIGNATURE.hex(),
        "images": images,
        "pool": [info for _, info in pool],
    }
    with open(truth_path, "w", encoding="utf-8") as f:
        json.dump(truth, f, separators=(",", ":"))
        f.write("\n")
    if log:
        sizes = [im["size"] for im in images]
        used = len({im["pool"] for im in images})
        log(
            f"{path}: {total} bytes, {len(images)} images ({used} distinct), "
            f"sizes {min(sizes, default=0)}..{max(sizes, default=0)} bytes, "
            f"{sum(sizes) * 100 // max(total, 1)}% image data"
        )
    return truth


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", type=Path, nargs="?", help="container file to write")
    parser.add_argument("--size", type=float, default=256, help="size in MiB (default 256)")
    parser.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    parser.add_argument("--pool", type=int, default=300, help="distinct images (default 300)")
    parser.add_argument("--truth", type=Path, help="truth file (default OUTPUT.truth.json)")
    parser.add_argument("--version", action="store_true", help="print the generator version")
    args = parser.parse_args(argv)
    if args.version:
        print(GENERATOR_VERSION)
        return 0
    if args.output is None:
        parser.error("the container file to write is missing")
    total = int(args.size * MIB)
    if total <= 0 or args.pool <= 0:
        parser.error("--size and --pool must be positive")
    truth_path = args.truth or args.output.with_name(args.output.name + ".truth.json")
    build(args.output, truth_path, total, args.seed, args.pool,
          log=lambda m: print(m, file=sys.stderr))
    return 0


if __name__ == "__main__":
    sys.exit(main())
