#!/usr/bin/env bash
# Measures what knowing each texture's structure costs: extraction and --list against a
# reference build (alternating rounds), --check in images/s and MB/s with one thread and with
# every core, and the gallery's size and load time in headless chromium.
#
#   bash bench/findings.sh --base PATH [--cli PATH] [--size MB] [--runs N] [--gallery-size MB]
#
# --base is a glintmark-cli to compare with (for example one built from main); --cli defaults
# to a Release build of this tree in build/bench-peers. Containers come from make_container.py
# (seed 1) and are cached in build/bench-data, as bench/run.sh does.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
size=256
runs=7
gallery_size=520
base=
cli=
while [ $# -gt 0 ]; do
    case $1 in
    --base) base=$(realpath "$2"); shift 2 ;;
    --cli) cli=$(realpath "$2"); shift 2 ;;
    --size) size=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --gallery-size) gallery_size=$2; shift 2 ;;
    *) echo "findings.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
[ -n "$base" ] || { echo "findings.sh: --base PATH is required" >&2; exit 2; }
say() { printf '\n== %s\n' "$*" >&2; }

if [ -z "$cli" ]; then
    build=$repo/build/bench-peers
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLINTMARK_BUILD_GUI=OFF \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
    cmake --build "$build" --target glintmark-cli -j2 >&2
    cli=$build/cli/glintmark-cli
fi

data=$repo/build/bench-data
mkdir -p "$data"
generator=$(python3 "$repo/bench/make_container.py" --version)
container() {
    local f="$data/container-${1}M-s1-g${generator}.ldb"
    [ -s "$f" ] || python3 "$repo/bench/make_container.py" "$f" --size "$1" --seed 1 >&2
    printf '%s\n' "$f"
}
src=$(container "$size")
cat "$src" >/dev/null
work=$(mktemp -d /dev/shm/glintmark-findings.XXXXXX)
trap 'rm -rf "$work"' EXIT

say "Extraction and --list, $runs alternating rounds on $(basename "$src")"
python3 "$repo/bench/timeloop.py" --runs "$runs" --warmup 1 --export-dir "$work/times" \
    --contender base "$work/b" "$base -q -o $work/b $src" \
    --contender reader "$work/r" "$cli -q -o $work/r $src" \
    --contender reader-trim "$work/t" "$cli -q --trim -o $work/t $src" \
    --contender list-base - "$base -q --list $src" \
    --contender list-reader - "$cli -q --list $src" >/dev/null
python3 - "$work/times" "$src" <<'EOF'
import glob, json, os, statistics, sys
size = os.path.getsize(sys.argv[2])
rows = {}
for f in sorted(glob.glob(sys.argv[1] + "/*.json")):
    r = json.load(open(f))["results"][0]
    cpu = [u + s for u, s in zip(r["user_times"], r["system_times"])]
    rows[r["command"].split()[0]] = (statistics.median(r["times"]), statistics.median(cpu))
print("| run | median s | CPU s | GB/s (wall) |\n|---|---:|---:|---:|")
for name, (wall, cpu) in rows.items():
    print(f"| {name} | {wall:.3f} | {cpu:.3f} | {size / wall / 1e9:.2f} |")
b, r = rows["base"], rows["reader"]
print(f"\nreader against base: {r[0] / b[0]:.2f}x wall, {r[1] / b[1]:.2f}x CPU")
EOF

say "--check, one thread and every core"
images=$("$cli" -q --list "$src" | tail -n +3 | wc -l)
for threads in 1 "$(nproc)" 1 "$(nproc)"; do
    /usr/bin/time -f "%e %U" -o "$work/check-time" env GLINTMARK_CHECK_THREADS="$threads" \
        "$cli" -q --list --check "$src" >/dev/null
    read -r wall user <"$work/check-time"
    python3 -c "import sys; w=float('$wall'); print(f'threads $threads: {w:.2f} s wall, {float(\"$user\"):.2f} s user, {$images / w:.0f} images/s, {$(stat -c %s "$src") / w / 1e6:.1f} MB/s')"
done

say "Gallery of the $gallery_size MiB container"
gsrc=$(container "$gallery_size")
"$cli" -q --gallery -o "$work/gallery" "$gsrc"
printf 'textures: %s, index.html: %s bytes (%s gzipped)\n' \
    "$(find "$work/gallery" -name '*.jpg' | wc -l)" "$(stat -c %s "$work/gallery/index.html")" \
    "$(gzip -c "$work/gallery/index.html" | wc -c)"
for round in 1 2 3; do
    rm -rf "$work/profile"
    start=$(date +%s.%N)
    chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
        --disable-component-update --disable-sync --user-data-dir="$work/profile" \
        --window-size=1280,900 --dump-dom "file://$work/gallery/index.html" 2>/dev/null \
        | head -c 400 | grep -o '<html[^>]*>' || true
    python3 -c "import time; print(f'round $round: chromium until every thumbnail loaded: {time.time() - $start:.1f} s')"
done
