#!/usr/bin/env bash
# The texture window's figures: the 256 MiB generated level and the 40-level generated game
# (20,000 images) opened, the list complete and the first screen of thumbnails shown; the game's
# grid scrolled page by page through every texture (the longest frame on the window's thread);
# the peak memory with the game open and every thumbnail visited once (/usr/bin/time -v); the
# plan of a replacement of the level's largest texture, from the drop to the plan shown, for an
# edit saved as JPEG that fits and for one saved as PNG (encoded at the highest quality that fits).
#
#   bash bench/window/textures.sh [--runs N]
#
# BUILD (default build/default) is the build tree, DATA (default /tmp/glintmark-texture-bench)
# where the generated level and game are kept between runs; Qt's platform is offscreen unless
# QT_QPA_PLATFORM says otherwise.
set -euo pipefail
runs=3
if [ "${1:-}" = "--runs" ]; then runs=$2; fi
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD:-$repo/build/default}
data=${DATA:-/tmp/glintmark-texture-bench}
mkdir -p "$data"
[ -f "$data/level.ldb" ] || python3 "$repo/bench/make_container.py" --size 256 "$data/level.ldb" >&2
[ -d "$data/game" ] || python3 "$repo/bench/game/make_game.py" --levels 40 --images 20000 \
    "$data/game" >&2
cmake --build "$build" --target glintmark-texture-bench -j2 >&2
bench="$build/bench/window/glintmark-texture-bench"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg) before"
for run in $(seq "$runs"); do
    echo "== level, run $run"
    "$bench" --no-scroll "$data/level.ldb"
done
for run in $(seq "$runs"); do
    echo "== game, run $run"
    "$bench" --no-scroll "$data/game"
done
echo "== game, scrolled through every thumbnail"
/usr/bin/time -v "$bench" "$data/game" 2> "$data/time.txt"
grep "Maximum resident" "$data/time.txt"

# The level's largest texture, and two edits of it: a JPEG at quality 50 and a PNG of its negative.
if [ ! -f "$data/edit.png" ]; then
    rm -rf "$data/extracted"
    "$build/cli/glintmark-cli" -q --trim -o "$data/extracted" "$data/level.ldb"
    largest=$(ls -S "$data/extracted"/Vorlesk_*.jpg | sed -n 1p)
    basename "$largest" .jpg | sed 's/^Vorlesk_0*//' >"$data/edit.image"
    djpeg "$largest" | cjpeg -quality 50 >"$data/edit.jpg"
    djpeg "$largest" | convert - -negate "$data/edit.png"
    rm -rf "$data/extracted"
fi
for edit in edit.jpg edit.png; do
    for run in $(seq "$runs"); do
        echo "== level, the plan of $edit, run $run"
        "$bench" --replace-image "$(cat "$data/edit.image")" --replace-with "$data/$edit" \
            "$data/level.ldb"
    done
done
echo "load $(cut -d' ' -f1-3 /proc/loadavg) after"
