#!/usr/bin/env bash
# Peak memory of put-back at its two extremes: a level made only of adjacent signatures (the
# most images a level of its size can hold, ten bytes each) put back from an empty folder, and a
# level of large textures with every one of them edited.
#
#   bash bench/putback_memory.sh [--signatures-mb MB] [--edits N] [--cli PATH] [--dir DIR]
#
# Defaults: a 60 MB level of signatures, and 5,000 textures of about 1 MB each (a level of about
# 5.3 GB, written again as the new level, so DIR needs about 11 GB free; it is kept off tmpfs by
# default: build/bench-putback-memory). The edited textures are hard links to one edited image,
# so the folder costs 1 MB of disk; put-back reads each of them as a file of its own all the
# same. Prints one line per run with the peak resident size in KiB and the time taken.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

signatures_mb=60 edits=5000 cli=$repo/build/ci/cli/glintmark-cli dir=$repo/build/bench-putback-memory
while [ $# -gt 0 ]; do
    case $1 in
    --signatures-mb) signatures_mb=$2; shift 2 ;;
    --edits) edits=$2; shift 2 ;;
    --cli) cli=$(realpath "$2"); shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    -h | --help) sed -n '2,12s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "putback_memory.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
for n in "$signatures_mb" "$edits"; do
    [[ $n =~ ^[0-9]+$ ]] || { echo "putback_memory.sh: '$n' is not a whole number" >&2; exit 2; }
done
[ -x "$cli" ] || { echo "putback_memory.sh: $cli is not an executable (build it first)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "putback_memory.sh: needs /usr/bin/time (scripts/install-deps --bench)" >&2; exit 1; }
command -v cjpeg >/dev/null || { echo "putback_memory.sh: needs cjpeg (libjpeg-turbo-progs)" >&2; exit 1; }

mkdir -p "$dir"
cd "$dir"

peak() { # label, then the command line
    local label=$1; shift
    local status=0
    /usr/bin/time -f '%M %e' -o peak "$@" >/dev/null 2>run.err || status=$?
    read -r kib seconds <peak
    printf '%-44s %9s KiB  %7s s  exit %s\n' "$label" "$kib" "$seconds" "$status"
    [ "$status" -eq 0 ] || sed 's/^/    /' run.err
}

# Two pictures of noise, 1024 x 1024: the original texture at quality 95 (about 1 MB), and the
# edit at quality 93, so that it fits in the original's room.
noise() {
    python3 -c 'import os, sys; sys.stdout.buffer.write(b"P6 1024 1024 255\n" + os.urandom(3 << 20))'
}
[ -s original.jpg ] || noise | cjpeg -quality 95 -optimize >original.jpg
[ -s edit.jpg ] || noise | cjpeg -quality 93 -optimize >edit.jpg

signatures=signatures-${signatures_mb}M.ldb
if [ ! -s "$signatures" ]; then
    python3 -c 'import sys; sys.stdout.buffer.write(b"\xff\xd8\xff\xe0\x00\x10JFIF" * (int(sys.argv[1]) * 100000))' \
        "$signatures_mb" >"$signatures"
fi
large=large-$edits.ldb
if [ ! -s "$large" ]; then
    python3 - "$edits" <<'MAKE'
import sys
image = open("original.jpg", "rb").read()
with open("large-" + sys.argv[1] + ".ldb", "wb") as out:
    out.write(b"level" + bytes(59))
    for _ in range(int(sys.argv[1])):
        out.write(image + bytes(64))
MAKE
fi
rm -rf empty edited
mkdir empty edited
for i in $(seq "$edits"); do
    ln edit.jpg "edited/$(printf 'Vorlesk_%04d.jpg' "$i")"
done

echo "glintmark-cli put-back: $signatures ($(stat -c %s "$signatures") bytes, $((signatures_mb * 100000)) images)," \
    "$large ($(stat -c %s "$large") bytes, $edits images, every one edited)"
rm -f new.ldb
peak "empty folder, dry run ($signatures)" "$cli" -q --put-back empty --list "$signatures"
peak "empty folder, written ($signatures)" "$cli" -q --put-back empty --into new.ldb "$signatures"
rm -f new.ldb
peak "$edits edits, dry run ($large)" "$cli" -q --put-back edited --list "$large"
peak "$edits edits, written ($large)" "$cli" -q --put-back edited --into new.ldb "$large"
rm -f new.ldb
