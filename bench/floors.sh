#!/usr/bin/env bash
# Every job against its floor, in one run: a game with and without --dedupe --trim, a game
# against cp -r of its output, put-back of one edit against cp of the level, and the window's
# run against the command line's. Each figure is the median wall time of interleaved rounds;
# with --base, an older glintmark-cli is measured in the same rounds ("before").
#
#   bash bench/floors.sh [--base CLI] [--runs N] [--disk DIR] [--shared-fs DIR] [--no-window]
#
#   --base CLI       an older glintmark-cli, measured beside build/default's
#   --disk DIR       where the on-disk rounds run (default build/bench-floors, on the checkout's
#                    file system); the in-memory rounds run on /dev/shm
#   --shared-fs DIR  a folder on a file system that shares extents (btrfs, XFS with reflink;
#                    a loop image will do): put-back there against cp --reflink=never
#   --no-window      leave out the window (it needs build/default's glintmark-window-bench)
#
# The report goes to stdout and to DIR/report.md.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cli=$repo/build/default/cli/glintmark-cli
winbench=$repo/build/default/bench/window/glintmark-window-bench
base="" runs=5 disk=$repo/build/bench-floors shared="" window=1
while [ $# -gt 0 ]; do
    case $1 in
    --base) base=$(realpath "$2"); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --disk) disk=$2; shift 2 ;;
    --shared-fs) shared=$2; shift 2 ;;
    --no-window) window=0; shift ;;
    -h | --help) sed -n '2,16s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "floors.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "floors.sh: --runs must be a whole number >= 1" >&2; exit 2; }
[ -x "$cli" ] || { echo "floors.sh: no $cli (cmake --preset default && cmake --build build/default)" >&2; exit 2; }
[ -z "$base" ] || [ -x "$base" ] || { echo "floors.sh: --base $base is not a program" >&2; exit 2; }
if ((window)) && [ ! -x "$winbench" ]; then
    echo "floors.sh: no $winbench; build it or pass --no-window" >&2
    exit 2
fi

mem=$(mktemp -d /dev/shm/glintmark-floors.XXXXXX)
mkdir -p "$disk"
disk=$(realpath "$disk")
work_dirs=("$mem" "$disk/run")
[ -z "$shared" ] || { shared=$(realpath "$shared")/glintmark-floors; work_dirs+=("$shared"); }
trap 'rm -rf "$mem" "$disk/run" ${shared:+"$shared"}' EXIT
rm -rf "$disk/run"
mkdir -p "$disk/run" ${shared:+"$shared"}
times=$mem/times.tsv
: >"$times"

echo "== Making the game (40 levels, 20,000 images) and the 300 MiB level" >&2
python3 "$repo/bench/game/make_game.py" "$mem/game-src" --levels 40 --images 20000 --shared 0.3 >/dev/null
python3 "$repo/bench/make_container.py" "$mem/level.ldb" --size 300 --seed 1 >/dev/null
"$cli" -q -o "$mem/extracted" "$mem/level.ldb"
python3 "$repo/bench/edit_textures.py" "$mem/level.ldb.truth.json" "$mem/extracted" 1 >"$mem/edited.txt"
mkdir "$mem/edit"
printf -v edited "Vorlesk_%04d.jpg" "$(head -1 "$mem/edited.txt")"
cp "$mem/extracted/$edited" "$mem/edit/"
rm -rf "$mem/extracted"
for dir in "${work_dirs[@]}"; do
    [ "$dir" = "$mem" ] || { cp -r "$mem/game-src" "$dir/"; cp "$mem/level.ldb" "$dir/"; cp -r "$mem/edit" "$dir/"; }
done

now() { date +%s%N; }
# timed KEY COMMAND...: runs it once, appending "KEY<TAB>seconds".
timed() {
    local key=$1 t0
    shift
    sync
    t0=$(now)
    "$@" >/dev/null
    printf '%s\t%s\n' "$key" "$(($(now) - t0))" >>"$times"
}
contenders=("after:$cli")
[ -z "$base" ] || contenders+=("before:$base")

round() {
    local dir=$1 on=$2 who bin
    for c in "${contenders[@]}"; do
        who=${c%%:*} bin=${c#*:}
        rm -rf "$dir/out"
        timed "$on game plain $who" "$bin" -q -o "$dir/out" "$dir/game-src"
        rm -rf "$dir/cp"
        timed "$on game cp-r $who" cp -r "$dir/out" "$dir/cp"
        rm -rf "$dir/out" "$dir/cp"
        timed "$on game dedupe $who" "$bin" -q --dedupe --trim -o "$dir/out" "$dir/game-src"
        rm -rf "$dir/out" "$dir/new.ldb"
        timed "$on putback one $who" "$bin" -q --put-back "$dir/edit" --into "$dir/new.ldb" --fit "$dir/level.ldb"
        rm -f "$dir/new.ldb" "$dir/copy.ldb"
        timed "$on putback cp $who" cp --reflink=never "$dir/level.ldb" "$dir/copy.ldb"
        rm -f "$dir/copy.ldb"
    done
}

for ((r = 1; r <= runs; r++)); do
    echo "== Round $r of $runs ($(cut -d' ' -f1-3 /proc/loadavg) load)" >&2
    round "$mem" memory
    round "$disk/run" disk
    [ -z "$shared" ] || round "$shared" shared
    if ((window)); then
        rm -rf "$mem/win" "$mem/wcli"
        mkdir "$mem/wcli"
        timed "memory window cli after" "$cli" -q -o "$mem/wcli" "$mem/level.ldb"
        sync
        QT_QPA_PLATFORM=offscreen "$winbench" "$mem/level.ldb" "$mem/win" 2>/dev/null |
            sed -n 's/^run 1: \([0-9.]*\) s.*/memory window run after\t\1/p' |
            awk -F'\t' '{printf "%s\t%d\n", $1, $2 * 1e9}' >>"$times"
        # The window writes exactly the images; the command line adds its texture index.
        diff -rq -x textures.json "$mem/wcli" "$mem/win" >/dev/null ||
            { echo "floors.sh: the window's images differ from glintmark-cli's" >&2; exit 1; }
    fi
done

load=$(cut -d' ' -f1-3 /proc/loadavg)
report=$disk/report.md
python3 - "$times" "$runs" "$load" "${base:+yes}" <<'PY' | tee "$report"
import collections, statistics, sys
times = collections.defaultdict(list)
for line in open(sys.argv[1]):
    key, ns = line.rstrip("\n").split("\t")
    times[key].append(int(ns) / 1e9)
runs, load, base = sys.argv[2], sys.argv[3], bool(sys.argv[4])
med = lambda key: statistics.median(times[key]) if times.get(key) else None
fmt = lambda s: "" if s is None else f"{s:.3f}"
print(f"Medians of {runs} interleaved rounds, load average at the end {load}.\n")
print("| job | on | glintmark before s | glintmark after s | against | its s | after / it | floor | met |")
print("|---|---|---:|---:|---|---:|---:|---:|---|")
def row(job, on, mine, against, theirs, floor):
    after, before, ref = med(f"{on} {mine} after"), med(f"{on} {mine} before"), med(f"{on} {theirs} after")
    if after is None or ref is None:
        return
    ratio = after / ref
    met = "yes" if ratio <= floor else "no"
    print(f"| {job} | {on} | {fmt(before) if base else ''} | {after:.3f} | {against} | {ref:.3f} | {ratio:.2f}x | <= {floor}x | {met} |")
for on in ("memory", "disk"):
    row("game `--dedupe --trim`", on, "game dedupe", "the plain run", "game plain", 1.15)
for on in ("memory", "disk"):
    row("game, plain", on, "game plain", "`cp -r` of its output", "game cp-r", 0.7)
for on in ("memory", "disk"):
    row("put-back of one edit, 300 MiB level", on, "putback one", "`cp --reflink=never` of the level", "putback cp", 1.3)
row("put-back of one edit, 300 MiB level", "shared", "putback one", "`cp --reflink=never` of the level", "putback cp", 0.3)
row("the window's run (Extract to the count)", "memory", "window run", "`glintmark-cli -q -o`", "window cli", 1.1)
PY
echo "(report in $report)" >&2
