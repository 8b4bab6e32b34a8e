#!/usr/bin/env bash
# Peak memory of glintmark-cli in every mode on a source made only of adjacent signatures, the
# most images a source of its size can hold (ten bytes each).
#
#   bash bench/peak_memory.sh [--images N] [--cli PATH] [--dir DIR]
#
# Writes its images into DIR (default build/bench-memory; N files of ten bytes each, so keep it
# off tmpfs for large N; the second writing run replaces the first's) and prints one line per
# mode with the peak resident size in KiB and the time taken.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

images=1000000 cli=$repo/build/ci/cli/glintmark-cli dir=$repo/build/bench-memory
while [ $# -gt 0 ]; do
    case $1 in
    --images) images=$2; shift 2 ;;
    --cli) cli=$(realpath "$2"); shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    -h | --help) sed -n '2,8s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "peak_memory.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
[[ $images =~ ^[0-9]+$ ]] || { echo "peak_memory.sh: '$images' is not a whole number" >&2; exit 2; }
[ -x "$cli" ] || { echo "peak_memory.sh: $cli is not an executable (build it first)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "peak_memory.sh: needs /usr/bin/time (scripts/install-deps --bench)" >&2; exit 1; }

mkdir -p "$dir"
source=$dir/adjacent-$images.ldb
python3 -c 'import sys; sys.stdout.buffer.write(b"\xff\xd8\xff\xe0\x00\x10JFIF" * int(sys.argv[1]))' \
    "$images" >"$source"

peak() { # label, then the command line
    local label=$1; shift
    /usr/bin/time -f '%M %e' -o "$dir/peak" "$@" >/dev/null || true
    read -r kib seconds <"$dir/peak"
    printf '%-20s %8s KiB  %6s s\n' "$label" "$kib" "$seconds"
}
echo "glintmark-cli, $images images in $(stat -c %s "$source") bytes"
rm -rf "$dir/out"
peak "--list" "$cli" --list -o "$dir/out" "$source"
peak "--json --list" "$cli" --json --list -o "$dir/out" "$source"
peak "write" "$cli" -q -o "$dir/out" "$source"
peak "write --writers 1" "$cli" -q --writers 1 -o "$dir/out" "$source"
peak "write --trim" "$cli" -q --trim -o "$dir/out" "$source"
# Into the same folder again: every image now replaces one of the run before.
peak "--json" "$cli" --json -o "$dir/out" "$source"
rm -rf "$dir/out" "$source" "$dir/peak"
