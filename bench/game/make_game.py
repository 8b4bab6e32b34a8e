#!/usr/bin/env python3
"""Builds a synthetic game: level databases in nested folders sharing a share of their textures.

Usage: make_game.py OUT [--levels 40] [--images 20000] [--shared 0.3] [--seed 1]

OUT/game/ holds the levels (zone01/area02/level003.ldb, ...) and OUT/truth.json what a correct
index must say: the levels, the number of images, the distinct textures with the SHA-256 of
each texture's bytes (signature through end marker) and every level and number it is used at.

A few base JPEGs are encoded by cjpeg once; each texture is one of them with a comment segment
of its own after the JFIF header, so every texture has bytes of its own and still decodes. About
`shared` of all images are uses of textures that sit in more than one level (each in 2 to 12
levels); the rest are used once. Filler between images never holds FF D8,
and trailing filler after an end marker is part of the image's slice, not of its texture.
"""

import argparse
import hashlib
import json
import random
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

SOI = b"\xff\xd8"


def base_jpegs(rng, count):
    """`count` small real JPEGs of several sizes, encoded by cjpeg from drawn PPMs."""
    bases = []
    with tempfile.TemporaryDirectory() as tmp:
        for i in range(count):
            w, h = rng.choice([(32, 32), (64, 64), (64, 32), (96, 48), (128, 128), (48, 80)])
            pixels = bytes(((x * (i + 3) + y * 7) ^ (x * y + i * 29)) & 0xFF
                           for y in range(h) for x in range(w) for _ in range(3))
            ppm = Path(tmp) / f"b{i}.ppm"
            ppm.write_bytes(f"P6 {w} {h} 255\n".encode() + pixels)
            jpeg = subprocess.run(["cjpeg", "-quality", str(60 + i % 35), str(ppm)],
                                  check=True, capture_output=True).stdout
            assert jpeg.startswith(bytes.fromhex("FFD8FFE000104A464946"))
            bases.append((jpeg, w, h))
    return bases


def texture_bytes(base, texture_id):
    """The base JPEG with a comment segment naming `texture_id` after its JFIF header."""
    jpeg = base[0]
    app0_end = 4 + struct.unpack(">H", jpeg[4:6])[0]
    text = f"texture {texture_id:08d}".encode()
    comment = b"\xff\xfe" + struct.pack(">H", len(text) + 2) + text
    return jpeg[:app0_end] + comment + jpeg[app0_end:]


def filler(rng, low, high):
    return bytes(rng.getrandbits(8) for _ in range(rng.randint(low, high))).replace(SOI, b"\xff\x00")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("out", type=Path)
    parser.add_argument("--levels", type=int, default=40)
    parser.add_argument("--images", type=int, default=20000)
    parser.add_argument("--shared", type=float, default=0.3)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    bases = base_jpegs(rng, 12)

    # Which texture each image slot of each level holds.
    shared_uses = int(args.images * args.shared)
    slots = [[] for _ in range(args.levels)]
    next_id = 0
    placed = 0
    while placed < shared_uses:
        spread = min(args.levels, rng.randint(2, 12), shared_uses - placed)
        if spread < 2:
            break
        for level in rng.sample(range(args.levels), spread):
            slots[level].append(next_id)
        placed += spread
        next_id += 1
    for _ in range(args.images - placed):
        slots[rng.randrange(args.levels)].append(next_id)
        next_id += 1

    game = args.out / "game"
    names = []
    uses = {}  # texture id -> [(level name, number, offset)]
    for index, level in enumerate(slots):
        rng.shuffle(level)
        name = f"zone{index % 4 + 1:02d}/area{index % 7 + 1:02d}/level{index + 1:03d}.ldb"
        if index % 9 == 0:
            name = f"level{index + 1:03d}.LDB"
        names.append(name)
        data = bytearray(filler(rng, 100, 400))
        for number, texture_id in enumerate(level, start=1):
            offset = len(data)
            data += texture_bytes(bases[texture_id % len(bases)], texture_id)
            # Some images carry bytes behind their end marker, as real levels do.
            data += filler(rng, 0, 64) if rng.random() < 0.5 else b""
            uses.setdefault(texture_id, []).append((name, number, offset))
        path = game / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)

    textures = []
    for texture_id in sorted(uses):
        base = bases[texture_id % len(bases)]
        body = texture_bytes(base, texture_id)
        textures.append({"sha256": hashlib.sha256(body).hexdigest(), "width": base[1],
                         "height": base[2], "bytes": len(body),
                         "in": [{"level": l, "number": n, "offset": o} for l, n, o in uses[texture_id]]})
    truth = {"levels": sorted(names), "images": sum(len(level) for level in slots),
             "distinct": len(textures),
             "shared_images": sum(len(t["in"]) for t in textures
                                  if len({u["level"] for u in t["in"]}) > 1),
             "textures": textures}
    (args.out / "truth.json").write_text(json.dumps(truth))
    print(f"{truth['images']} images in {len(names)} levels, {truth['distinct']} distinct, "
          f"{truth['shared_images']} of them shared between levels", file=sys.stderr)


if __name__ == "__main__":
    main()
