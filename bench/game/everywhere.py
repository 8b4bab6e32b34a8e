#!/usr/bin/env python3
"""Puts one shared texture of a generated game back everywhere it stands, and checks the result.

Usage: everywhere.py CLI GAME_WORK_DIR

GAME_WORK_DIR is what make_game.py made (game/, truth.json). The game is extracted with --trim;
the texture used in the most levels is edited (its top half inverted by djpeg, Python and cjpeg)
in its first level's folder and put back with --put-back --everywhere --fit into new/. Then:
every level that holds the texture, and no other, is written; every byte of each outside the
texture's places is identical to the original level's; extracting each new level with --trim
gives, at every place of the texture, one and the same image that decodes cleanly and differs
from the original; a second, different edit of the same texture in another level is refused
with nothing written. Prints what it found; exits 1 on any difference.
"""

import json
import subprocess
import sys
import tempfile
import time
from pathlib import Path


def run(*args, **kwargs):
    return subprocess.run([str(a) for a in args], capture_output=True, **kwargs)


def edited_jpeg(original, flip_rows):
    """The texture decoded, rows [0, flip_rows) inverted, and encoded again at quality 90."""
    ppm = run("djpeg", "-pnm", input=original, check=True).stdout
    parts = ppm.split(b"\n", 3)  # P6, "W H", 255, pixels (make_game's textures are colour)
    width, height = map(int, parts[1].split())
    pixels = bytearray(parts[3])
    row = width * 3
    for at in range(min(flip_rows, height) * row):
        pixels[at] = 255 - pixels[at]
    again = parts[0] + b"\n" + parts[1] + b"\n" + parts[2] + b"\n" + bytes(pixels)
    return run("cjpeg", "-quality", "90", input=again, check=True).stdout


def level_folder(level):
    return str(Path(level).with_suffix(""))


def main():
    cli, work = Path(sys.argv[1]), Path(sys.argv[2])
    game, out = work / "game", work / "everywhere-out"
    problems = []
    for old in ("new", "new2", "timed", "stopped"):
        subprocess.run(["rm", "-rf", str(out), str(work / old)], check=True)
    run(cli, "-q", "--trim", "-o", out, game, check=True)
    index = json.loads((out / "textures.json").read_text())
    texture = max(index["textures"], key=lambda t: len({u["level"] for u in t["in"]}))
    levels = sorted({u["level"] for u in texture["in"]})
    first = texture["in"][0]
    name = f"Vorlesk_{first['number']:04d}.jpg"
    target = out / level_folder(first["level"]) / name
    original = target.read_bytes()
    target.write_bytes(edited_jpeg(original, 8))
    print(f"texture {texture['sha256'][:16]}: {len(texture['in'])} places in {len(levels)} levels;"
          f" edited {target.relative_to(work)}")

    started = time.monotonic()
    result = run(cli, "--put-back", out, "--into", work / "new", "--everywhere", "--fit", game)
    print(f"put back everywhere: exit {result.returncode} in {time.monotonic() - started:.2f} s")
    if result.returncode != 0:
        problems.append("put-back failed: " + result.stderr.decode(errors="replace"))
    written = sorted(str(p.relative_to(work / "new")) for p in (work / "new").rglob("*")
                     if p.is_file() and not p.name.startswith("."))
    if written != levels:
        problems.append(f"levels written {written} are not the levels holding it {levels}")
    print(f"levels written: {len(written)} of {len(index['levels'])}")

    images = set()
    for level in written:
        old = (game / level).read_bytes()
        new = (work / "new" / level).read_bytes()
        places = [u for u in texture["in"] if u["level"] == level]
        if len(old) != len(new):
            problems.append(f"{level}: its length changed")
            continue
        changed = [i for i in range(len(old)) if old[i] != new[i]]
        outside = [i for i in changed
                   if not any(u["offset"] <= i < u["offset"] + texture["bytes"] for u in places)]
        if outside:
            problems.append(f"{level}: {len(outside)} bytes changed outside the texture's places")
        with tempfile.TemporaryDirectory() as folder:
            run(cli, "-q", "--trim", "-o", folder, work / "new" / level, check=True)
            for use in places:
                image = (Path(folder) / f"Vorlesk_{use['number']:04d}.jpg").read_bytes()
                images.add(image)
                decoded = run("djpeg", "-pnm", input=image)
                if decoded.returncode != 0 or decoded.stderr:
                    problems.append(f"{level} #{use['number']}: does not decode cleanly")
                if image == original:
                    problems.append(f"{level} #{use['number']}: still the original")
    print(f"places checked: {sum(1 for u in texture['in'] if u['level'] in written)}; "
          f"distinct images at them after the put-back: {len(images)}")
    if len(images) != 1:
        problems.append("the places do not all hold the same edit")

    # Stops at several moments of the same put-back: one that ends early leaves no level and no
    # part file behind.
    started = time.monotonic()
    run(cli, "-q", "--put-back", out, "--into", work / "timed", "--everywhere", "--fit", game)
    whole = time.monotonic() - started
    for share in (0.3, 0.6, 0.75, 0.85, 0.9, 0.95, 0.98):
        delay = whole * share
        into = work / "stopped"
        subprocess.run(["rm", "-rf", str(into)], check=True)
        child = subprocess.Popen([str(cli), "-q", "--put-back", str(out), "--into", str(into),
                                  "--everywhere", "--fit", str(game)],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(delay)
        child.send_signal(2)
        code = child.wait()
        left = [p for p in into.rglob("*") if p.is_file()] if into.exists() else []
        print(f"SIGINT after {delay:.2f} s of {whole:.2f}: exit {code}, files under the new "
              f"folder: {len(left)}")
        if code == 130 and left:
            problems.append(f"a stop after {delay} s left {len(left)} files")
        if code == 0 and len(left) != len(levels):
            problems.append(f"a put-back that finished after {delay} s wrote {len(left)} levels")

    # A second, different edit of the same texture in another level: refused, nothing written.
    other = next(u for u in texture["in"] if u["level"] != first["level"])
    second = out / level_folder(other["level"]) / f"Vorlesk_{other['number']:04d}.jpg"
    second.write_bytes(edited_jpeg(original, 16))
    refused = run(cli, "--put-back", out, "--into", work / "new2", "--everywhere", "--fit", game)
    said = refused.stderr.decode(errors="replace") + refused.stdout.decode(errors="replace")
    left = [p for p in (work / "new2").rglob("*") if p.is_file()] if (work / "new2").exists() else []
    print(f"conflicting edit: exit {refused.returncode}; files written: {len(left)}")
    if refused.returncode != 1 or left:
        problems.append("the conflicting edits were not refused cleanly")
    if str(target.relative_to(out)) not in said or str(second.relative_to(out)) not in said:
        problems.append("the refusal does not name both files")
    for line in said.splitlines():
        if "another edit" in line:
            print("  " + line[:200])
            break

    for problem in problems[:20]:
        print("PROBLEM:", problem)
    print("everything as expected" if not problems else f"{len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
