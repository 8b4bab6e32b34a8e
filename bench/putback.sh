#!/usr/bin/env bash
# The put-back round trip on a benchmark level: extract it, edit COUNT textures (a banner drawn
# in, then cjpeg with the original's options: bench/edit_textures.py), put them back with --fit,
# and time that against cp of the level, with peak memory; then extract the new level and check
# that the edited textures come out as put back (through their end marker) and all others as
# they were.
#
#   bash bench/putback.sh [--size MB] [--seed S] [--count N] [--runs N] [--cli PATH] [--dir DIR]
#
# The level is made with bench/make_container.py into DIR (default build/bench-putback).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

size=256 seed=1 count=100 runs=3 cli=$repo/build/ci/cli/glintmark-cli dir=$repo/build/bench-putback
while [ $# -gt 0 ]; do
    case $1 in
    --size) size=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --cli) cli=$(realpath "$2"); shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    -h | --help) sed -n '2,10s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "putback.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
[ -x "$cli" ] || { echo "putback.sh: $cli is not an executable (build it first)" >&2; exit 1; }

mkdir -p "$dir"
cd "$dir"
level=level-${size}M-s$seed.ldb
if [ ! -s "$level" ] || [ ! -s "$level.truth.json" ]; then
    python3 "$repo/bench/make_container.py" "$level" --size "$size" --seed "$seed"
fi
rm -rf original edited check new.ldb copy.ldb
"$cli" -q --trim -o original "$level"
"$cli" -q -o edited "$level"
python3 "$repo/bench/edit_textures.py" "$level.truth.json" edited "$count" >edited.txt
"$cli" --json --put-back edited --list --fit "$level" >plan.json

# Both start from a warm cache with no dirty pages of the run before waiting to be written.
cat "$level" >/dev/null
for run in $(seq "$runs"); do
    rm -f copy.ldb new.ldb
    sync
    /usr/bin/time -f "cp: %e s (user %U s, system %S s), peak %M KiB" cp "$level" copy.ldb
    rm -f copy.ldb
    sync
    /usr/bin/time -f "put-back: %e s (user %U s, system %S s), peak %M KiB" \
        "$cli" -q --put-back edited --into new.ldb --fit "$level" >/dev/null
done

"$cli" -q --trim -o check new.ldb
python3 - "$count" <<'CHECK'
import json, sys
from pathlib import Path
plan = json.loads(Path("plan.json").read_text())
replaced = {r["number"]: r for r in plan["replaced"]}
names = sorted(p.name for p in Path("original").iterdir())
assert names == sorted(p.name for p in Path("check").iterdir()), "the texture count changed"
same = edited = 0
for name in names:
    number = int(name[8:-4])
    got = (Path("check") / name).read_bytes()
    if number in replaced:
        put = (Path("edited") / name).read_bytes()
        # Put back as edited unless encoded again; either way as long as the plan said.
        assert len(got) == replaced[number]["length"], name
        assert replaced[number]["quality"] is not None or got == put, name
        edited += 1
    else:
        assert got == (Path("original") / name).read_bytes(), name
        same += 1
encoded = sum(r["quality"] is not None for r in replaced.values())
print(f"new level: {edited} textures as put back ({encoded} encoded again by --fit), "
      f"{same} unchanged, of {len(names)}")
assert edited == int(sys.argv[1])
CHECK
