#!/usr/bin/env python3
"""Counts how many of a container's true images an extractor got out whole.

An output file counts for a true image when the file begins with that image's exact bytes,
from its start-of-image marker to its end-of-image marker. The same rule serves every tool:
carvers write exactly the image, while glintmark's files run on to the next signature and so
also carry the filler behind the image. Since the generator makes sure that an image's first
FF D9 is its end, the leading part of a file up to and including its first FF D9 is compared
with the true images by SHA-256.

Images are reused inside a container, so matching is done per content: for each distinct
image, min(times it is embedded, files that begin with it) are counted whole. Files that begin
with no true image, and files beyond an image's number of copies, are reported apart.
"""

import argparse
import hashlib
import json
import os
import sys
from collections import Counter
from pathlib import Path

EOI = b"\xff\xd9"


def leading_image(data):
    """The bytes from the start of data up to and including its first FF D9, or None."""
    end = data.find(EOI)
    return None if end < 0 else data[: end + 2]


def output_files(folder):
    """Every *.jpg below folder (any case), sorted, so carvers' sub-folders are included."""
    found = []
    for root, _, names in os.walk(folder):
        found.extend(Path(root, n) for n in names if n.lower().endswith(".jpg"))
    return sorted(found)


def count(truth, folder):
    """Compares the files below folder with the truth; returns a dictionary of counts."""
    expected = Counter(im["sha256"] for im in truth["images"])
    got = Counter()
    files = output_files(folder)
    for path in files:
        lead = leading_image(path.read_bytes())
        got[hashlib.sha256(lead).hexdigest() if lead is not None else None] += 1
    whole = sum(min(n, got[h]) for h, n in expected.items())
    matching = sum(n for h, n in got.items() if h in expected)
    return {
        "true": len(truth["images"]),
        "whole": whole,
        "files": len(files),
        "other": len(files) - matching,
        "surplus": matching - whole,
    }


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("truth", type=Path, help="truth file written by make_container.py")
    parser.add_argument("folders", type=Path, nargs="+", help="output folders to check")
    parser.add_argument("--json", action="store_true", help="print one JSON object a folder")
    args = parser.parse_args(argv)
    with open(args.truth, encoding="utf-8") as f:
        truth = json.load(f)
    for folder in args.folders:
        if not folder.is_dir():
            print(f"{folder}: not a folder", file=sys.stderr)
            return 2
        res = count(truth, folder)
        if args.json:
            print(json.dumps({"folder": str(folder), **res}))
        else:
            print(
                f"{folder}: {res['whole']} of {res['true']} whole; {res['files']} files, "
                f"{res['other']} not starting with a true image, {res['surplus']} surplus copies"
            )
    return 0


if __name__ == "__main__":
    sys.exit(main())
