#!/usr/bin/env python3
"""Edits textures as a person would, for the put-back round trip: a grey banner with lighter
block letters drawn across each picture, then encoded again with cjpeg using the options the
original was made with (quality, sampling, progressive), as the container's truth file records.

Usage: edit_textures.py LEVEL.truth.json FOLDER COUNT. FOLDER holds the level's extracted
Vorlesk_NNNN.jpg; COUNT of them, spread evenly over those the level made at quality 60 or more
and at least 32 pixels wide and high (the banner's sharp edges rarely fit in the bytes of lower
qualities or of thumbnails), are replaced in place. Prints the numbers edited, one a line.
"""

import json
import subprocess
import sys
from pathlib import Path

# "EDIT" in a five-row block font, one string per row.
GLYPHS = ["### ##  ### ###", "#   # #  #   # ", "##  # #  #   # ", "#   # #  #   # ",
          "### ##  ###  # "]


def read_ppm(data):
    """Width, height, channels and pixels of the binary PPM or PGM djpeg writes."""
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    channels = 3 if fields[0] == b"P6" else 1
    return int(fields[1]), int(fields[2]), channels, bytearray(data[at + 1:])


def draw_banner(width, height, channels, pixels):
    """A mid-grey band across the middle, with the block letters a lighter grey."""
    scale = max(1, min(width // 32, height // 24))
    top = max(0, height // 2 - 4 * scale)
    for y in range(top, min(height, top + 8 * scale)):
        for x in range(width):
            row, col = (y - top) // scale - 1, x // scale
            lit = 0 <= row < 5 and col < 15 and GLYPHS[row][col] == "#"
            value = 160 if lit else 100
            at = (y * width + x) * channels
            pixels[at:at + channels] = bytes([value]) * channels


def main():
    truth, folder, count = json.loads(Path(sys.argv[1]).read_text()), Path(sys.argv[2]), int(
        sys.argv[3])
    def options(image):
        return truth["pool"][image["pool"]]["options"]

    def editable(image):
        made = truth["pool"][image["pool"]]
        quality = int(made["options"][made["options"].index("-quality") + 1])
        return quality >= 60 and min(made["width"], made["height"]) >= 32

    numbers = [n for n, image in enumerate(truth["images"], 1) if editable(image)]
    for i in range(count):
        number = numbers[i * len(numbers) // count]
        name = folder / f"Vorlesk_{number:04d}.jpg"
        ppm = subprocess.run(["djpeg", str(name)], capture_output=True, check=True).stdout
        width, height, channels, pixels = read_ppm(ppm)
        draw_banner(width, height, channels, pixels)
        header = b"P%d\n%d %d\n255\n" % (6 if channels == 3 else 5, width, height)
        encoded = subprocess.run(["cjpeg", *options(truth["images"][number - 1])], input=header + bytes(pixels),
                                 capture_output=True, check=True).stdout
        name.write_bytes(encoded)
        print(number)


if __name__ == "__main__":
    main()
