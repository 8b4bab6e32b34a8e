#!/usr/bin/env bash
# How soon put-back --fit honours SIGINT while it encodes a large texture again, and its peak
# memory when let run: a level holding one SIZE x SIZE texture (default 8192), and an edit of it
# too large for its room, so that --fit decodes it and searches for a quality that fits.
#
#   bash bench/fit_stop.sh [--size N] [--after SECONDS] [--cli PATH] [--dir DIR]
#
# Sends SIGINT --after seconds (default 3) into the run, and prints the seconds from the signal
# to the program's exit and its exit status; then runs it to the end and prints its peak memory.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

size=8192 after=3 cli=$repo/build/ci/cli/glintmark-cli dir=$repo/build/bench-fit-stop
while [ $# -gt 0 ]; do
    case $1 in
    --size) size=$2; shift 2 ;;
    --after) after=$2; shift 2 ;;
    --cli) cli=$(realpath "$2"); shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    -h | --help) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "fit_stop.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
[ -x "$cli" ] || { echo "fit_stop.sh: $cli is not an executable (build it first)" >&2; exit 1; }
command -v convert >/dev/null || { echo "fit_stop.sh: needs convert (imagemagick)" >&2; exit 1; }

mkdir -p "$dir"
cd "$dir"
if [ ! -s "level-$size.ldb" ]; then
    # A noisy gradient of 1024 x 1024, tiled to the size (ImageMagick's own limits stop short of
    # drawing 8192 x 8192 at once).
    convert -size 1024x1024 gradient:navy-orange -attenuate 0.4 +noise Gaussian tile.ppm
    python3 - "$size" <<'TILE'
import sys
size = int(sys.argv[1])
data = open("tile.ppm", "rb").read()
fields, at = [], 0
while len(fields) < 4:
    while data[at:at + 1].isspace():
        at += 1
    end = at
    while not data[end:end + 1].isspace():
        end += 1
    fields.append(data[at:end])
    at = end
width, height = int(fields[1]), int(fields[2])
pixels = data[at + 1:]
with open("picture.ppm", "wb") as out:
    out.write(b"P6 %d %d 255\n" % (size, size))
    for y in range(size):
        row = pixels[(y % height) * width * 3:(y % height + 1) * width * 3]
        out.write((row * (size // width + 1))[:size * 3])
TILE
    rm tile.ppm
    cjpeg -quality 40 picture.ppm >original.jpg
    cjpeg -quality 92 -progressive picture.ppm >edited.jpg
    rm picture.ppm
    { printf 'level\0\0\0'; cat original.jpg; } >"level-$size.ldb"
fi
rm -rf edit new.ldb && mkdir edit && cp edited.jpg edit/Vorlesk_0001.jpg
echo "texture ${size}x$size: original $(stat -c %s original.jpg) bytes, edit $(stat -c %s edited.jpg) bytes (progressive)"

"$cli" -q --put-back edit --into new.ldb --fit "level-$size.ldb" >/dev/null 2>stop.err &
pid=$!
sleep "$after"
sent=$(date +%s.%N)
kill -INT "$pid"
status=0
wait "$pid" || status=$?
ended=$(date +%s.%N)
printf 'SIGINT after %s s: exit %s, %.2f s after the signal; new level left: %s\n' "$after" "$status" \
    "$(echo "$ended - $sent" | bc)" "$(ls -A | grep -c 'new.ldb' || true)"

/usr/bin/time -f '%M %e' -o peak "$cli" -q --put-back edit --into new.ldb --fit "level-$size.ldb" \
    >/dev/null 2>run.err || true
read -r kib seconds <peak
echo "run to the end: peak $kib KiB, $seconds s, exit as: $(cat run.err | head -2)"
rm -f new.ldb
