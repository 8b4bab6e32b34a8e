#!/usr/bin/env python3
"""Turns the raw results of bench/run.sh into Markdown tables: times, memory, whole images.

The results folder holds:
  time/NN.json        timeloop.py's export for one contender (output to /dev/shm)
  disk/NN.json        the same for single runs to disk (optional)
  memory.tsv          NAME<TAB>SOURCE-LABEL<TAB>peak KB, one line per run
  whole.jsonl         count_whole.py --json lines, each with a "name" added
  machine.txt         free text about the machine, printed as it stands
"""

import argparse
import json
import statistics
import sys
from pathlib import Path

REFERENCE = "glintmark"
# name: (kind, factor). "faster": the contender must take at least factor times glintmark's
# time; "within": glintmark must take at most factor times the contender's time.
TARGETS = {
    "foremost": ("faster", 3.0),
    "scalpel": ("faster", 3.5),
    "cp -r": ("within", 0.8),
}
# Peak memory for the small and the large source may differ by at most this much.
MEMORY_SLACK_KB = 2048


def load_times(folder):
    """[(name, result)] from the timing exports (timeloop.py's, or hyperfine's with -n), in
    file-name order; the contender's name is the exported command."""
    rows = []
    for path in sorted(Path(folder).glob("*.json")):
        with open(path, encoding="utf-8") as f:
            for result in json.load(f)["results"]:
                rows.append((result["command"], result))
    return rows


def cpu_median(result):
    """Median user + system seconds per run; from the means when runs are not itemised."""
    if "user_times" in result and "system_times" in result:
        return statistics.median(u + s for u, s in zip(result["user_times"], result["system_times"]))
    return result["user"] + result["system"]


def split_variant(name):
    """("foremost", " + sync") for "foremost + sync"; a plain name has an empty variant."""
    base, plus, rest = name.partition(" + ")
    return base, (plus + rest if plus else "")


def ratio_text(name, value, reference):
    """How a contender's time compares with glintmark's: "3.10x glintmark" for a peer or the
    read floor, "glintmark takes 1.40x" for a floor that glintmark must stay close to."""
    base, _ = split_variant(name)
    if base == REFERENCE or reference is None or value <= 0 or reference <= 0:
        return ""
    if TARGETS.get(base, ("",))[0] == "within":
        return f"glintmark takes {reference / value:.2f}x"
    return f"{value / reference:.2f}x glintmark"


def verdict(name, median, reference):
    """The ratio text and the target text for one contender against glintmark's median for
    the same variant (a run followed by sync is held against glintmark's run with sync)."""
    text = ratio_text(name, median, reference)
    kind, factor = TARGETS.get(split_variant(name)[0], ("", 0.0))
    if not text or not kind:
        return text, ""
    if kind == "within":
        met = reference / median <= factor
        return text, f"<= {factor:g}x: {'met' if met else 'MISSED'}"
    met = median / reference >= factor
    return text, f">= {factor:g}x: {'met' if met else 'MISSED'}"


def time_table(rows, targets=True):
    """Markdown table of wall-clock and CPU medians with the ratios against glintmark, and the
    targets (which are judged on wall-clock time) if asked."""
    walls, cpus = {}, {}
    for name, r in rows:
        base, variant = split_variant(name)
        if base == REFERENCE:
            walls[variant], cpus[variant] = r["median"], cpu_median(r)
    out = [
        "| contender | median s | min s | max s | CPU s | user s | sys s | runs | ratio "
        "| CPU ratio | target |",
        "|---|---:|---:|---:|---:|---:|---:|---:|---|---|---|",
    ]
    for name, r in rows:
        variant = split_variant(name)[1]
        ratio, target = verdict(name, r["median"], walls.get(variant))
        cpu = cpu_median(r)
        cpu_ratio = ratio_text(name, cpu, cpus.get(variant))
        target = target if targets else ""
        out.append(
            f"| {name} | {r['median']:.3f} | {r['min']:.3f} | {r['max']:.3f} | {cpu:.3f} | "
            f"{r['user']:.3f} | {r['system']:.3f} | {len(r['times'])} | {ratio} | {cpu_ratio} "
            f"| {target} |"
        )
    return "\n".join(out)


def memory_table(lines):
    """Markdown table of peak resident memory per source, and the check between them."""
    peaks = {}
    for line in lines:
        parts = line.rstrip("\n").split("\t")
        if len(parts) == 3:
            peaks.setdefault((parts[0], parts[1]), []).append(int(parts[2]))
    out = ["| program | source | runs | peak KB (max) | peak KB (median) |", "|---|---|---:|---:|---:|"]
    for (name, source), values in peaks.items():
        out.append(
            f"| {name} | {source} | {len(values)} | {max(values)} | {statistics.median(values):g} |"
        )
    ours = [max(v) for (n, _), v in peaks.items() if n == REFERENCE]
    if len(ours) >= 2:
        spread = max(ours) - min(ours)
        met = "met" if spread <= MEMORY_SLACK_KB else "MISSED"
        out.append("")
        out.append(
            f"glintmark's peak differs by {spread} KB between its sources "
            f"(<= {MEMORY_SLACK_KB} KB: {met})"
        )
    return "\n".join(out)


def whole_table(records):
    """Markdown table of the whole-image counts."""
    out = [
        "| program | whole images | of true | files written | not a true image | surplus copies |",
        "|---|---:|---:|---:|---:|---:|",
    ]
    for r in records:
        out.append(
            f"| {r['name']} | {r['whole']} | {r['true']} | {r['files']} | {r['other']} | "
            f"{r['surplus']} |"
        )
    return "\n".join(out)


def render(folder):
    """The whole report for a results folder, as Markdown text."""
    folder = Path(folder)
    parts = []
    if (folder / "time").is_dir():
        parts += ["Output to /dev/shm (medians of interleaved runs; CPU = user + system):", "", time_table(load_times(folder / "time"))]
    if (folder / "disk").is_dir():
        parts += ["", "To disk, build/bench-disk (medians; \"+ sync\" adds sync -f):", "", time_table(load_times(folder / "disk"), targets=False)]
    if (folder / "memory.tsv").is_file():
        lines = (folder / "memory.tsv").read_text(encoding="utf-8").splitlines()
        parts += ["", "Peak resident memory (/usr/bin/time -f %M):", "", memory_table(lines)]
    if (folder / "whole.jsonl").is_file():
        lines = (folder / "whole.jsonl").read_text(encoding="utf-8").splitlines()
        records = [json.loads(line) for line in lines if line.strip()]
        parts += ["", "Images got out whole:", "", whole_table(records)]
    if (folder / "machine.txt").is_file():
        parts += ["", "Machine:", "", (folder / "machine.txt").read_text(encoding="utf-8").strip()]
    return "\n".join(parts) + "\n"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("results", type=Path, help="results folder written by bench/run.sh")
    args = parser.parse_args(argv)
    if not args.results.is_dir():
        print(f"{args.results}: not a folder", file=sys.stderr)
        return 2
    sys.stdout.write(render(args.results))
    return 0


if __name__ == "__main__":
    sys.exit(main())
