#!/usr/bin/env bash
# Benchmarks glintmark-cli on a large synthetic level database against two file carvers
# (foremost, scalpel) and against the floor of the job (reading the source; copying an
# already extracted folder), then checks peak memory on a small and a large source and counts
# the images each tool got out whole.
#
#   bash bench/run.sh [--size MB] [--runs N] [--seed S] [--warmup N] [--cli PATH]
#                     [--no-disk] [--disk-runs N] [--profile]
#
# Every round runs every contender once (timeloop.py), each into an empty, fresh folder on
# /dev/shm, so the figures measure the programs, not the disk, and all contenders share the
# machine's passing load alike; a few more rounds go to build/bench-disk. The report is
# printed and kept in build/bench-results/<size>M-s<seed>/report.md.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

size=256 runs=5 seed=1 warmup=1 cli="" disk=1 disk_runs=3 profile=0
usage() { sed -n '2,14s/^# \{0,1\}//p' "$0"; }
while [ $# -gt 0 ]; do
    case $1 in
    --size) size=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --warmup) warmup=$2; shift 2 ;;
    --cli) cli=$(realpath "$2"); shift 2 ;; # a ready glintmark-cli instead of building one
    --no-disk) disk=0; shift ;;
    --disk-runs) disk_runs=$2; shift 2 ;;
    --profile) profile=1; shift ;;         # also strace -c (and perf, if present) one glintmark run
    -h | --help) usage; exit 0 ;;
    *) echo "run.sh: unknown argument '$1'" >&2; usage >&2; exit 2 ;;
    esac
done
for n in "$size" "$runs" "$seed" "$warmup" "$disk_runs"; do
    [[ $n =~ ^[0-9]+$ ]] || { echo "run.sh: '$n' is not a whole number" >&2; exit 2; }
done
[ "$runs" -ge 1 ] && [ "$size" -ge 1 ] && [ "$disk_runs" -ge 1 ] ||
    { echo "run.sh: --size, --runs and --disk-runs must be >= 1" >&2; exit 2; }

say() { printf '\n== %s\n' "$*" >&2; }

say "Installing what is missing"
"$repo/scripts/install-deps" --bench

if [ -z "$cli" ]; then
    say "Building glintmark-cli (Release)"
    build=$repo/build/bench-peers
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLINTMARK_BUILD_GUI=OFF \
        -DGLINTMARK_BUILD_TESTS=OFF -DGLINTMARK_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" --target glintmark-cli -j2 >&2
    cli=$build/cli/glintmark-cli
fi
[ -x "$cli" ] || { echo "run.sh: $cli is not an executable" >&2; exit 1; }

# Containers are made once per size, seed and generator version, and kept in build/.
data=$repo/build/bench-data
mkdir -p "$data"
generator=$(python3 "$repo/bench/make_container.py" --version)
container() {
    local f="$data/container-${1}M-s${seed}-g${generator}.ldb"
    if [ ! -s "$f" ] || [ ! -s "$f.truth.json" ]; then
        say "Making the ${1} MiB container (seed $seed)"
        python3 "$repo/bench/make_container.py" "$f.part" --size "$1" --seed "$seed" \
            --truth "$f.truth.json.part"
        mv "$f.truth.json.part" "$f.truth.json"
        mv "$f.part" "$f"
    fi
    printf '%s\n' "$f"
}
src=$(container "$size")
small=$(container 3)
large=$(container 300)
truth=$src.truth.json

conf=$repo/bench/scalpel-jfif.conf
python3 - "$truth" "$conf" <<'EOF'
import json, sys
biggest = max((im["size"] for im in json.load(open(sys.argv[1]))["images"]), default=0)
rule = [l.split() for l in open(sys.argv[2]) if l.strip() and not l.startswith("#")][0]
if biggest > int(rule[2]):
    sys.exit(f"run.sh: the largest image ({biggest} bytes) exceeds scalpel's limit ({rule[2]})")
EOF

say "Page-caching the sources"
cat "$src" "$small" "$large" >/dev/null
fincore "$src" "$small" "$large" >&2 || true

work=$(mktemp -d /dev/shm/glintmark-bench.XXXXXX)
trap 'rm -rf "$work" "$repo/build/bench-disk"' EXIT
results=$repo/build/bench-results/${size}M-s${seed}
rm -rf "$results"
mkdir -p "$results/time" "$results/disk"

# The contenders. contender NAME SRC OUT sets the array `cmd` to NAME's command line that
# extracts SRC into the existing, empty folder OUT.
names=(glintmark "glintmark --writers 1" "glintmark --trim" foremost scalpel)
# >>> ANOTHER CONTENDER: add its name to `names` above and its command line below (the window
# >>> program, run headless, goes here). It must write into the empty folder "$3" and leave
# >>> *.jpg files there (sub-folders are fine) for the whole-image count.
contender() {
    case $1 in
    glintmark) cmd=("$cli" -q -o "$3" "$2") ;;
    "glintmark --writers 1") cmd=("$cli" -q --writers 1 -o "$3" "$2") ;; # the run writes itself
    "glintmark --trim") cmd=("$cli" -q --trim -o "$3" "$2") ;;
    foremost) cmd=(foremost -t jpg -i "$2" -o "$3") ;;
    scalpel) cmd=(scalpel -c "$conf" -o "$3" "$2") ;;
    *) echo "run.sh: no command line for contender '$1'" >&2; exit 1 ;;
    esac
}
# A command line as one shell-quoted string, for timeloop.py.
quoted() { printf '%s\n' "${*@Q}"; }

{
    echo "- CPU: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores"
    echo "- RAM: $(free -g | awk '/^Mem:/ {print $2}') GiB; load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "- Linux $(uname -r); outputs on $(df --output=fstype /dev/shm | tail -1) (/dev/shm); disk run on $(df --output=fstype "$repo/build" | tail -1)"
    echo "- glintmark $(git -C "$repo" rev-parse --short HEAD) (Release); foremost $(foremost -V 2>&1 | head -1 | tr -s ' '); $(scalpel -V 2>&1 | sed -n 's/^Scalpel version/scalpel/p')"
    python3 - "$truth" <<'EOF'
import json, sys
t = json.load(open(sys.argv[1]))
sizes = [im["size"] for im in t["images"]]
print(f"- source: {t['size'] >> 20} MiB container (seed {t['seed']}), {len(sizes)} JFIF images "
      f"of {min(sizes)} to {max(sizes)} bytes ({len(t['pool'])} distinct), "
      f"{sum(sizes) * 100 // t['size']}% image data, the rest filler")
EOF
} >"$results/machine.txt"

say "Correctness run: one extraction each, counted against the truth file"
for name in "${names[@]}"; do
    out=$work/check/$name
    mkdir -p "$out"
    contender "$name" "$src" "$out"
    /usr/bin/time -f '%M' -o "$work/peak" "${cmd[@]}" >/dev/null 2>"$work/stderr" || {
        echo "run.sh: $name failed:" >&2; cat "$work/stderr" >&2; exit 1
    }
    printf '%s\t%s MiB\t%s\n' "$name" "$size" "$(tail -1 "$work/peak")" >>"$results/memory.tsv"
    python3 "$repo/bench/count_whole.py" --json "$truth" "$out" |
        python3 -c "import json,sys; r=json.load(sys.stdin); r['name']=sys.argv[1]; print(json.dumps(r))" \
            "$name" >>"$results/whole.jsonl"
done
ref=$work/check/glintmark
jpgs=$(find "$ref" -name '*.jpg' | wc -l)
[ "$jpgs" -gt 0 ] || { echo "run.sh: glintmark wrote no image; nothing to compare" >&2; exit 1; }

say "Peak memory of glintmark-cli: 3 and 300 MiB sources, each way of writing"
for label in 3 300; do
    [ "$label" = 3 ] && s=$small || s=$large
    for mode in "" "--writers 1" "--trim"; do
        for _ in 1 2 3; do
            rm -rf "$work/mem" && mkdir "$work/mem"
            # shellcheck disable=SC2086 # the mode is one option, or none
            /usr/bin/time -f '%M' -o "$work/peak" "$cli" -q $mode -o "$work/mem" "$s"
            printf 'glintmark%s\t%s MiB\t%s\n' "${mode:+ $mode}" "$label" "$(tail -1 "$work/peak")" \
                >>"$results/memory.tsv"
        done
    done
done
rm -rf "$work/mem"

say "Timing, outputs to /dev/shm ($runs interleaved rounds, $warmup warm-up)"
loop=()
for name in "${names[@]}"; do
    contender "$name" "$src" "$work/out-$name"
    loop+=(--contender "$name" "$work/out-$name" "$(quoted "${cmd[@]}")")
done
loop+=(--contender cat - "$(quoted cat "$src")")
loop+=(--contender "cp -r" "$work/out-cp" "$(quoted cp -r "$ref/." "$work/out-cp")")
python3 "$repo/bench/timeloop.py" --runs "$runs" --warmup "$warmup" \
    --export-dir "$results/time" "${loop[@]}"

if [ "$disk" = 1 ]; then
    say "To disk (build/bench-disk), as is and followed by sync: $disk_runs rounds"
    target=$repo/build/bench-disk/out
    loop=()
    for name in "${names[@]}" "cp -r"; do
        if [ "$name" = "cp -r" ]; then cmd=(cp -r "$ref/." "$target"); else contender "$name" "$src" "$target"; fi
        loop+=(--contender "$name" "$target" "$(quoted "${cmd[@]}")")
        loop+=(--contender "$name + sync" "$target" \
            "$(quoted sh -c "$(quoted "${cmd[@]}") && sync -f $(quoted "$target")")")
    done
    python3 "$repo/bench/timeloop.py" --runs "$disk_runs" --warmup 0 --sync \
        --export-dir "$results/disk" "${loop[@]}"
fi

if [ "$profile" = 1 ]; then
    say "System calls of one glintmark run (strace -c)"
    mkdir -p "$work/prof"
    strace -c -f -o "$results/strace-glintmark.txt" "$cli" -q -o "$work/prof" "$src"
    cat "$results/strace-glintmark.txt" >&2
    if command -v perf >/dev/null; then
        say "Where one glintmark run spends its time (perf, share of samples per system call)"
        rm -rf "$work/prof" && mkdir "$work/prof"
        perf record -q -g -o "$work/perf.data" "$cli" -q -o "$work/prof" "$src" >/dev/null 2>&1 &&
            perf report -i "$work/perf.data" --children --sort symbol --stdio -g none 2>/dev/null |
            grep -E '\] (ksys_read|ksys_write|__x64_sys_openat|__do_sys_newfstatat|__x64_sys_close|__memchr|__memcmp)' |
                tee "$results/perf-glintmark.txt" >&2 || echo "perf could not profile here" >&2
    fi
fi

echo "- load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$results/machine.txt"
say "Report (kept in ${results#"$repo"/}/report.md)"
python3 "$repo/bench/report.py" "$results" | tee "$results/report.md"
