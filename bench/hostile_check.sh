#!/usr/bin/env bash
# Wall time and peak memory of --list --check on tiny images whose frame headers claim huge
# sizes (a few bytes patched into a real cjpeg output), and on a sparse file holding one
# signature. Every case should end in moments with a few MB, its images "not checked".
#
#   bash bench/hostile_check.sh [--cli PATH] [--dir DIR] [--threads N]
#
# Makes its sources in DIR (default build/bench-hostile; the sparse file takes no space) and
# prints one line per case: peak resident size in KiB, wall seconds, exit code, the summary.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

cli=$repo/build/ci/cli/glintmark-cli dir=$repo/build/bench-hostile threads=$(nproc)
while [ $# -gt 0 ]; do
    case $1 in
    --cli) cli=$(realpath "$2"); shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    -h | --help) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "hostile_check.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
[ -x "$cli" ] || { echo "hostile_check.sh: $cli is not an executable (build it first)" >&2; exit 1; }
for tool in cjpeg /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "hostile_check.sh: needs $tool (scripts/install-deps --bench)" >&2; exit 1; }
done
mkdir -p "$dir"

# A 16x16 colour picture, encoded both ways.
python3 - "$dir/pic.ppm" <<'PY'
import sys
pixels = bytes((x * 16, y * 16, (x ^ y) * 16) [c] for y in range(16) for x in range(16) for c in range(3))
open(sys.argv[1], "wb").write(b"P6 16 16 255\n" + pixels)
PY
cjpeg -quality 75 "$dir/pic.ppm" >"$dir/baseline.jpg"
cjpeg -quality 75 -progressive "$dir/pic.ppm" >"$dir/progressive.jpg"

# source name, then (kind width height) for each image in it
make_source() {
    local name=$1; shift
    python3 - "$dir" "$name" "$@" <<'PY'
import struct, sys
folder, name, args = sys.argv[1], sys.argv[2], sys.argv[3:]
out = b""
for i in range(0, len(args), 3):
    kind, width, height = args[i], int(args[i + 1]), int(args[i + 2])
    data = bytearray(open(f"{folder}/{kind}.jpg", "rb").read())
    frame = data.find(b"\xff\xc2" if kind == "progressive" else b"\xff\xc0")
    data[frame + 5:frame + 9] = struct.pack(">HH", height, width)
    out += bytes(data)
open(f"{folder}/{name}.ldb", "wb").write(out)
PY
}
make_source three-progressive progressive 16000 16000 progressive 16000 16000 progressive 16000 16000
set --
for _ in $(seq 20); do set -- "$@" progressive 16000 16000; done
make_source twenty-progressive "$@"
make_source two-24000-progressive progressive 24000 24000 progressive 24000 24000
make_source one-65500-progressive progressive 65500 65500
make_source one-24000-baseline baseline 24000 24000
make_source largest-within-limits baseline 9000 9000
# A sparse 2 GiB file: one signature at its start, then nothing but a hole.
sparse=$dir/sparse-2g.ldb
rm -f "$sparse"
printf '\xff\xd8\xff\xe0\x00\x10JFIF\x00' >"$sparse"
truncate -s 2G "$sparse"

echo "glintmark-cli --list --check, GLINTMARK_CHECK_THREADS=$threads"
printf '%-26s %8s %9s %5s  %s\n' case 'KiB' seconds exit summary
for name in three-progressive twenty-progressive two-24000-progressive one-65500-progressive \
    one-24000-baseline largest-within-limits sparse-2g; do
    code=0
    GLINTMARK_CHECK_THREADS=$threads /usr/bin/time -f '%M %e' -o "$dir/peak" \
        "$cli" --list --check "$dir/$name.ldb" >"$dir/out" 2>/dev/null || code=$?
    read -r kib seconds <"$dir/peak"
    printf '%-26s %8s %9s %5s  %s\n' "$name" "$kib" "$seconds" "$code" "$(tail -n 1 "$dir/out")"
done
rm -f "$sparse" "$dir/peak" "$dir/out"
