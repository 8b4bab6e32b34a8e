#!/usr/bin/env bash
# Times an extraction through the main window (headless) against glintmark-cli on the same
# level database, in interleaved rounds, each run into an empty, fresh folder on /dev/shm.
#
#   bash bench/window/compare.sh [--size MB] [--seed S] [--runs N] [--source FILE]
#                                [--block-size BYTES]
#
# Without --source a container of --size MiB (default 256) is made with bench/make_container.py
# and kept in /dev/shm. Prints, per contender, the median wall time of the whole process, and
# for the window also the median of its run alone (press of Extract to the count message), and
# the ratios to glintmark-cli. The outputs of the last round are compared byte for byte.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)

size=256 seed=1 runs=5 source="" block=""
usage() { sed -n '2,11s/^# \{0,1\}//p' "$0"; }
while [ $# -gt 0 ]; do
    case $1 in
    --size) size=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --source) source=$(realpath "$2"); shift 2 ;;
    --block-size) block=$2; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) echo "compare.sh: unknown argument '$1'" >&2; usage >&2; exit 2 ;;
    esac
done
for n in "$size" "$seed" "$runs" ${block:+"$block"}; do
    [[ $n =~ ^[0-9]+$ ]] || { echo "compare.sh: '$n' is not a whole number" >&2; exit 2; }
done
[ "$runs" -ge 1 ] || { echo "compare.sh: --runs must be >= 1" >&2; exit 2; }

build=$repo/build/window-bench
echo "== Building glintmark-cli and glintmark-window-bench (Release) in $build" >&2
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLINTMARK_BUILD_TESTS=OFF \
    >/dev/null
cmake --build "$build" --target glintmark-cli glintmark-window-bench -j2 >&2
cli=$build/cli/glintmark-cli
win=$build/bench/window/glintmark-window-bench

if [ -z "$source" ]; then
    source=/dev/shm/glintmark-window-${size}M-s${seed}.ldb
    if [ ! -s "$source" ]; then
        echo "== Making a ${size} MiB container" >&2
        python3 "$repo/bench/make_container.py" "$source.part" --size "$size" --seed "$seed" \
            --truth "$source.truth.json" >&2
        mv "$source.part" "$source"
    fi
fi
cat "$source" >/dev/null # page-cache it

work=$(mktemp -d /dev/shm/glintmark-window-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
now() { date +%s%N; }
cli_ns=() win_ns=() run_s=()
run_cli() {
    local t0
    t0=$(now)
    "$cli" -q -o "$work/cli" "$source"
    cli_ns+=($(($(now) - t0)))
}
run_win() {
    local t0
    t0=$(now)
    out=$(QT_QPA_PLATFORM=offscreen "$win" ${block:+--block-size "$block"} "$source" \
        "$work/win" 2>/dev/null)
    win_ns+=($(($(now) - t0)))
    run_s+=("$(sed -n 's/^run 1: \([0-9.]*\) s.*/\1/p' <<<"$out")")
}
out=""
for ((r = 1; r <= runs; r++)); do
    rm -rf "$work/cli" "$work/win"
    mkdir "$work/cli"
    # Alternate who goes first, so neither always meets the other's freed pages.
    if ((r % 2)); then run_cli; run_win; else run_win; run_cli; fi
    echo "round $r: cli $((cli_ns[-1] / 1000000)) ms, window $((win_ns[-1] / 1000000)) ms" \
        "(run ${run_s[-1]} s)" >&2
done
head -1 <<<"$out"
diff -rq "$work/cli" "$work/win" >/dev/null ||
    { echo "compare.sh: the window's files differ from glintmark-cli's" >&2; exit 1; }
echo "outputs identical: $(find "$work/win" -type f | wc -l) files"

python3 - "${cli_ns[*]}" "${win_ns[*]}" "${run_s[*]}" <<'PY'
import statistics, sys
cli = statistics.median(int(x) for x in sys.argv[1].split()) / 1e9
win = statistics.median(int(x) for x in sys.argv[2].split()) / 1e9
run = statistics.median(float(x) for x in sys.argv[3].split())
print(f"median over {len(sys.argv[1].split())} rounds:")
print(f"  glintmark-cli -q -o OUT SOURCE     {cli:7.3f} s")
print(f"  window program, whole process      {win:7.3f} s   {win / cli:5.2f} x cli")
print(f"  window run (Extract to message)    {run:7.3f} s   {run / cli:5.2f} x cli")
PY
