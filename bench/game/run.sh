#!/usr/bin/env bash
# Extracts a generated game (make_game.py) with and without --dedupe --trim and reports, for
# each, the time, the peak memory, the disk the output takes (hard links counted once) and
# whether the index matches the generator's truth.
#
#   bash bench/game/run.sh [--cli PATH] [--levels 40] [--images 20000] [--shared 0.3]
#                          [--work DIR] [--runs 3]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=$here/../../build/default/cli/glintmark-cli
levels=40 images=20000 shared=0.3 work=${TMPDIR:-/tmp}/glintmark-game-bench runs=3
while [ $# -gt 0 ]; do
    case $1 in
    --cli) cli=$2; shift 2 ;;
    --levels) levels=$2; shift 2 ;;
    --images) images=$2; shift 2 ;;
    --shared) shared=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    -h|--help) sed -n '2,7p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
[ -x "$cli" ] || { echo "run.sh: no glintmark-cli at $cli (build it, or pass --cli)" >&2; exit 2; }
rm -rf "$work"
mkdir -p "$work"
python3 "$here/make_game.py" "$work" --levels "$levels" --images "$images" --shared "$shared"
echo "game: $(du -sk "$work/game" | cut -f1) KB in $(find "$work/game" -iname '*.ldb' | wc -l) levels"

measure() {
    local name=$1
    shift
    local best=""
    for ((r = 1; r <= runs; r++)); do
        rm -rf "$work/out"
        sync
        /usr/bin/time -f "%e %M" -o "$work/time" "$cli" -q -o "$work/out" "$@" "$work/game"
        read -r seconds kb <"$work/time"
        echo "  $name run $r: $seconds s, peak $kb KB"
        best=$(printf '%s\n%s %s\n' "$best" "$seconds" "$kb" | sed '/^$/d' | sort -n | head -1)
    done
    local files links
    files=$(find "$work/out" -name '*.jpg' | wc -l)
    links=$(find "$work/out" -name '*.jpg' -links +1 | wc -l)
    echo "$name: best $best (s, peak KB); disk $(du -sk "$work/out" | cut -f1) KB;" \
        "$files image files, $links of them sharing their data with another"
    python3 "$here/check_index.py" "$work/out/textures.json" "$work/truth.json"
}

measure "plain" 
measure "--dedupe --trim" --dedupe --trim
"$cli" --list --json -q "$work/game" >"$work/list.json"
echo "--list --json:"
python3 "$here/check_index.py" "$work/list.json" "$work/truth.json"
