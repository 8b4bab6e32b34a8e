#!/usr/bin/env python3
"""Times several commands in interleaved rounds, each run into an empty output folder.

On a machine shared with other work the load changes from minute to minute; timing one
command N times and then the next would hand each its own share of that drift. Here every
round runs every contender once, in an order that rotates from round to round, so all of them
see the same conditions. Before each run the contender's output folder is removed and made
afresh, and after it the folder is removed again; neither step is timed.

Each contender is given as NAME OUT COMMAND: OUT is its output folder ("-" for none) and
COMMAND a shell-quoted command line that is run without a shell, its output discarded.
The results go to DIR/NN.json (NN counting from --first-index, in the order given), in the
layout of hyperfine's JSON export, with the CPU time of every run added.
"""

import argparse
import json
import os
import shlex
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path


class RunFailed(RuntimeError):
    """A contender exited with a non-zero status or was killed."""


def fresh_folder(out, sync):
    """Removes out with its contents and makes it again, empty; flushes it to disk if asked."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    if sync:
        subprocess.run(["sync", "-f", str(out)], check=True)


def time_once(argv):
    """Runs argv once; returns (wall seconds, user seconds, system seconds, exit code)."""
    start = time.perf_counter()
    with subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL) as proc:
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
    return wall, usage.ru_utime, usage.ru_stime, proc.returncode


def run_rounds(contenders, runs, warmup, sync=False, log=None):
    """Times every contender `runs` times (after `warmup` untimed rounds); returns, per
    contender in the order given, a dictionary of its wall, user and system times."""
    samples = [{"wall": [], "user": [], "system": []} for _ in contenders]
    for rnd in range(warmup + runs):
        shift = rnd % len(contenders)
        for k in list(range(shift, len(contenders))) + list(range(shift)):
            name, out, argv = contenders[k]
            if out is not None:
                fresh_folder(out, sync)
            wall, user, system, code = time_once(argv)
            if out is not None:
                shutil.rmtree(out, ignore_errors=True)
            if code != 0:
                raise RunFailed(f"{name}: '{shlex.join(argv)}' exited with {code}")
            if rnd >= warmup:
                samples[k]["wall"].append(wall)
                samples[k]["user"].append(user)
                samples[k]["system"].append(system)
            if log:
                tag = "warm-up" if rnd < warmup else f"run {rnd - warmup + 1}/{runs}"
                log(f"{tag}: {name} {wall:.3f} s (user {user:.3f}, sys {system:.3f})")
    return samples


def export(name, sample):
    """One contender's results in the layout of hyperfine's JSON export."""
    wall = sample["wall"]
    return {
        "results": [
            {
                "command": name,
                "mean": statistics.fmean(wall),
                "median": statistics.median(wall),
                "min": min(wall),
                "max": max(wall),
                "user": statistics.fmean(sample["user"]),
                "system": statistics.fmean(sample["system"]),
                "times": wall,
                "user_times": sample["user"],
                "system_times": sample["system"],
                "exit_codes": [0] * len(wall),
            }
        ]
    }


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5, help="timed rounds (default 5)")
    parser.add_argument("--warmup", type=int, default=1, help="untimed rounds first (default 1)")
    parser.add_argument("--sync", action="store_true", help="flush each fresh folder to disk")
    parser.add_argument("--export-dir", type=Path, required=True, help="where NN.json go")
    parser.add_argument("--first-index", type=int, default=1, help="NN of the first contender")
    parser.add_argument("--contender", nargs=3, action="append", required=True,
                        metavar=("NAME", "OUT", "COMMAND"), help="a command to time")
    args = parser.parse_args(argv)
    if args.runs < 1 or args.warmup < 0:
        parser.error("--runs must be at least 1 and --warmup not negative")
    contenders = []
    for name, out, command in args.contender:
        cmd = shlex.split(command)
        if not cmd:
            parser.error(f"{name}: empty command")
        contenders.append((name, None if out == "-" else Path(out), cmd))
    try:
        samples = run_rounds(contenders, args.runs, args.warmup, args.sync,
                             log=lambda m: print(m, file=sys.stderr, flush=True))
    except (RunFailed, OSError, subprocess.CalledProcessError) as exc:
        print(f"timeloop.py: {exc}", file=sys.stderr)
        return 1
    args.export_dir.mkdir(parents=True, exist_ok=True)
    for i, ((name, _, _), sample) in enumerate(zip(contenders, samples)):
        path = args.export_dir / f"{args.first_index + i:02d}.json"
        path.write_text(json.dumps(export(name, sample), indent=1) + "\n", encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
