#!/usr/bin/env python3
"""Checks a game's textures.json (or a --list --json report's "textures") against the truth
make_game.py wrote: the same levels, and exactly the same distinct textures (by SHA-256) with
the same dimensions, byte counts and places of use. Prints the counts; exits 1 on a difference.

Usage: check_index.py INDEX.json TRUTH.json
"""

import json
import sys


def places(texture):
    return sorted((use["level"], use["number"], use["offset"]) for use in texture["in"])


def main():
    index = json.load(open(sys.argv[1]))
    if "textures" in index and isinstance(index["textures"], dict):
        index = index["textures"]  # a --json report
    truth = json.load(open(sys.argv[2]))
    found = {t["sha256"]: t for t in index["textures"]}
    expected = {t["sha256"]: t for t in truth["textures"]}
    uses = sum(len(t["in"]) for t in index["textures"])
    shared = sum(len(t["in"]) for t in index["textures"] if len({u["level"] for u in t["in"]}) > 1)
    print(f"index: {uses} textures in {len(index['levels'])} levels, {len(found)} distinct, "
          f"{shared} shared between levels")
    print(f"truth: {truth['images']} textures in {len(truth['levels'])} levels, "
          f"{truth['distinct']} distinct, {truth['shared_images']} shared between levels")
    problems = []
    if sorted(index["levels"]) != truth["levels"]:
        problems.append("the levels differ")
    if len(found) != len(index["textures"]):
        problems.append("a digest is listed twice")
    for digest in expected.keys() - found.keys():
        problems.append(f"missing {digest}")
    for digest in found.keys() - expected.keys():
        problems.append(f"unexpected {digest}")
    for digest in expected.keys() & found.keys():
        a, b = found[digest], expected[digest]
        if (a["width"], a["height"], a["bytes"]) != (b["width"], b["height"], b["bytes"]):
            problems.append(f"{digest}: dimensions or size differ")
        if places(a) != places(b):
            problems.append(f"{digest}: places of use differ")
    for problem in problems[:20]:
        print("DIFFERENCE:", problem)
    print("index matches the truth" if not problems else f"{len(problems)} differences")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
