#!/usr/bin/env python3
"""Carries three edits of a generated game over to an updated version of it, and checks each.

Usage: update.py CLI WORK_DIR [--levels 12] [--images 3000] [--seed 7]

A game is made with make_game.py in WORK_DIR and extracted; three of its textures are edited in
the extraction (their top rows inverted with djpeg, Python and cjpeg): the one used in the most
levels, one used once in a level of its own, and one that the update will remove. The game is
then updated as a game's patch does it: new textures put in front of others (at the front of the
shared texture's first level, and just before the single one's place), the removed texture's
image cut out of its level, and one level that holds the shared texture renamed. What each level
of the update holds, place by place, is worked out from the generator's truth and the changes
made, never from glintmark's own output.

The edits are put back into the update with --everywhere --fit: once as they are (the removed
texture's edit and the renamed level's folder must be named, exit 1, nothing written), once with
--ignore-unmatched. Every level of the update is then extracted again with --trim: each place of
an edited texture holds one and the same new image for each edit, which decodes cleanly with
djpeg; every other place holds exactly the texture the truth says; and every byte of a written
level outside the edited places is the update's. Last, the same edits are saved as a pack from
the game they were made on (--pack with --list), and the pack is applied to the update: the
removed texture's entry is named, and the levels written are the same, byte for byte.

Prints what it found; exits 1 on any difference.
"""

import argparse
import hashlib
import json
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from everywhere import edited_jpeg, level_folder, run  # noqa: E402
from make_game import texture_bytes  # noqa: E402

SIGNATURE = bytes.fromhex("FFD8FFE000104A464946")


def image_offsets(data):
    """Where each signature of a generated level sits (its filler never holds FF D8)."""
    offsets, at = [], data.find(SIGNATURE)
    while at >= 0:
        offsets.append(at)
        at = data.find(SIGNATURE, at + 1)
    return offsets


def places_by_level(truth):
    """Each level's textures in the order of their numbers, as SHA-256 digests."""
    levels = {name: [] for name in truth["levels"]}
    for texture in truth["textures"]:
        for use in texture["in"]:
            levels[use["level"]].append((use["number"], texture["sha256"]))
    return {name: [digest for _, digest in sorted(uses)] for name, uses in levels.items()}


def new_texture(source, texture_id):
    """A texture the original game did not have: `source` with a comment naming `texture_id`."""
    return texture_bytes((source, 0, 0), texture_id)


def update_game(game, updated, truth, shared, single, removed):
    """Copies `game` to `updated` with the changes a patch makes; returns what each level of the
    update holds (level -> digests by number), the renamed level's old and new names, and the
    new textures' digests."""
    shutil.copytree(game, updated)
    holds = places_by_level(truth)
    first_shared = shared["in"][0]["level"]
    single_use = single["in"][0]
    removed_use = removed["in"][0]
    sample = (game / first_shared).read_bytes()
    sample = sample[shared["in"][0]["offset"]:shared["in"][0]["offset"] + shared["bytes"]]
    added = []

    def insert(level, number, texture_id):
        path = updated / level
        data = path.read_bytes()
        offsets = image_offsets(data)
        body = new_texture(sample, texture_id)
        at = offsets[number - 1]
        path.write_bytes(data[:at] + body + data[at:])
        holds[level].insert(number - 1, hashlib.sha256(body).hexdigest())
        added.append(hashlib.sha256(body).hexdigest())

    insert(first_shared, 1, 90000001)
    insert(single_use["level"], holds[single_use["level"]].index(single["sha256"]) + 1, 90000002)

    path = updated / removed_use["level"]
    data = path.read_bytes()
    number = holds[removed_use["level"]].index(removed["sha256"]) + 1
    offsets = image_offsets(data) + [len(data)]
    path.write_bytes(data[:offsets[number - 1]] + data[offsets[number]:])
    del holds[removed_use["level"]][number - 1]

    busy = {first_shared, single_use["level"], removed_use["level"]}
    renamed = next(u["level"] for u in shared["in"] if u["level"] not in busy)
    new_name = str(Path(renamed).with_name("renamed-" + Path(renamed).name))
    (updated / renamed).rename(updated / new_name)
    holds[new_name] = holds.pop(renamed)
    return holds, (renamed, new_name), added


def extracted_digests(cli, level):
    """The SHA-256 of each image glintmark cuts from `level` with --trim, by number."""
    with tempfile.TemporaryDirectory() as folder:
        run(cli, "-q", "--trim", "--no-index", "-o", folder, level, check=True)
        files = sorted(Path(folder).glob("Vorlesk_*.jpg"))
        return [(f.read_bytes(), hashlib.sha256(f.read_bytes()).hexdigest()) for f in files]


def check_levels(cli, updated, new, holds, edits, problems):
    """Every level of the update, as the put-back left it, against what it must hold."""
    edited = {e["sha256"]: e for e in edits}
    written = sorted(str(p.relative_to(new)) for p in new.rglob("*.*")
                     if p.is_file() and not p.name.startswith("."))
    expected = sorted(level for level, digests in holds.items()
                      if any(d in edited and edited[d]["goes"] for d in digests))
    if written != expected:
        problems.append(f"levels written {written}, expected {expected}")
    results = {e["sha256"]: set() for e in edits}
    checked = 0
    for level, digests in sorted(holds.items()):
        path = new / level if (new / level).exists() else updated / level
        images = extracted_digests(cli, path)
        if len(images) != len(digests):
            problems.append(f"{level}: {len(images)} images, expected {len(digests)}")
            continue
        for number, ((image, digest), truth) in enumerate(zip(images, digests), start=1):
            checked += 1
            if truth in edited and edited[truth]["goes"]:
                results[truth].add(digest)
                decoded = run("djpeg", "-pnm", input=image)
                if digest == truth or decoded.returncode != 0 or decoded.stderr:
                    problems.append(f"{level} #{number}: not a clean edit of its texture")
            elif digest != truth:
                problems.append(f"{level} #{number}: {digest[:12]}, expected {truth[:12]}")
        if (new / level).exists():
            old, now = (updated / level).read_bytes(), path.read_bytes()
            offsets = image_offsets(old) + [len(old)]
            edited_ranges = [(offsets[i], offsets[i + 1]) for i, d in enumerate(digests)
                             if d in edited and edited[d]["goes"]]
            outside = [i for i in range(len(old)) if old[i] != now[i]
                       and not any(a <= i < b for a, b in edited_ranges)]
            if len(old) != len(now) or outside:
                problems.append(f"{level}: bytes changed outside the edited places")
    for edit in edits:
        if edit["goes"] and len(results[edit["sha256"]]) != 1:
            problems.append(f"{edit['file']}: {len(results[edit['sha256']])} different images")
    return written, checked


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("cli", type=Path)
    parser.add_argument("work", type=Path)
    parser.add_argument("--levels", type=int, default=12)
    parser.add_argument("--images", type=int, default=3000)
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    cli, work = args.cli.resolve(), args.work.resolve()
    shutil.rmtree(work, ignore_errors=True)
    subprocess.run([sys.executable, str(HERE / "make_game.py"), str(work), "--levels",
                    str(args.levels), "--images", str(args.images), "--seed", str(args.seed)],
                   check=True)
    truth = json.loads((work / "truth.json").read_text())
    game, out, updated = work / "game", work / "out", work / "updated"
    run(cli, "-q", "-o", out, game, check=True)

    textures = truth["textures"]
    shared = max(textures, key=lambda t: len({u["level"] for u in t["in"]}))
    singles = [t for t in textures if len(t["in"]) == 1 and t["in"][0]["number"] > 1]
    single = next(t for t in singles if t["in"][0]["level"] != shared["in"][0]["level"])
    removed = next(t for t in singles if t["in"][0]["level"] not in
                   (shared["in"][0]["level"], single["in"][0]["level"]))
    edits = []
    for texture, goes in ((shared, True), (single, True), (removed, False)):
        use = texture["in"][0]
        file = out / level_folder(use["level"]) / f"Vorlesk_{use['number']:04d}.jpg"
        file.write_bytes(edited_jpeg(file.read_bytes(), 8))
        edits.append({"sha256": texture["sha256"], "goes": goes, "file": file})
        levels = len({u['level'] for u in texture['in']})
        print(f"edited {file.relative_to(work)}: its texture is in {levels} "
              f"level{'' if levels == 1 else 's'}")

    holds, (renamed, new_name), added = update_game(game, updated, truth, shared, single, removed)
    print(f"updated: 2 textures put in front of others, the removed one's image cut out, "
          f"{renamed} renamed {new_name}")
    problems = []

    refused = run(cli, "--put-back", out, "--into", work / "new", "--everywhere", "--fit", updated)
    said = refused.stderr.decode(errors="replace")
    print(f"put back as it is: exit {refused.returncode}")
    for line in said.splitlines():
        print("  " + line[:160])
    if refused.returncode != 1 or (work / "new").exists():
        problems.append("a run with an edit whose texture is gone was not refused cleanly")
    removed_name = str(edits[2]["file"].relative_to(work))
    if removed_name not in said or level_folder(renamed) not in said:
        problems.append("the removed texture's edit or the renamed level's folder is not named")

    result = run(cli, "--put-back", out, "--into", work / "new", "--everywhere", "--fit",
                 "--ignore-unmatched", updated)
    print(f"put back with --ignore-unmatched: exit {result.returncode}")
    for line in result.stdout.decode(errors="replace").splitlines():
        print("  " + line[:160])
    if result.returncode != 0:
        problems.append("put-back failed: " + result.stderr.decode(errors="replace"))
    written, checked = check_levels(cli, updated, work / "new", holds, edits, problems)
    print(f"levels written: {len(written)} of {len(holds)}; places checked: {checked}; "
          f"new textures left alone: {len(added)}")

    packed = run(cli, "--put-back", out, "--list", "--everywhere", "--fit", "--pack", work / "pack",
                 game)
    print(f"pack saved: exit {packed.returncode}, "
          f"{len(list((work / 'pack').glob('*.jpg'))) if (work / 'pack').exists() else 0} entries")
    if packed.returncode != 0:
        problems.append("saving the pack failed: " + packed.stderr.decode(errors="replace"))
    applied = run(cli, "--put-back", work / "pack", "--into", work / "new-pack", "--fit",
                  "--ignore-unmatched", updated)
    print(f"pack applied to the update: exit {applied.returncode}")
    for line in (applied.stdout + applied.stderr).decode(errors="replace").splitlines():
        print("  " + line[:160])
    if applied.returncode != 0 or edits[2]["sha256"] not in applied.stderr.decode():
        problems.append("the pack did not apply, or its removed texture's entry is not named")
    for level in written:
        packed_level = work / "new-pack" / level
        ours = (work / "new" / level).read_bytes()
        same = packed_level.exists() and packed_level.read_bytes() == ours
        if not same:
            problems.append(f"{level}: the pack wrote other bytes than the edits did")
    packed_levels = sorted(str(p.relative_to(work / "new-pack"))
                           for p in (work / "new-pack").rglob("*.*")
                           if p.is_file() and not p.name.startswith(".")) \
        if (work / "new-pack").exists() else []
    if packed_levels != written:
        problems.append(f"the pack wrote {packed_levels}, the edits {written}")

    for problem in problems[:20]:
        print("PROBLEM:", problem)
    print("everything as expected" if not problems else f"{len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
