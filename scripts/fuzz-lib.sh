# shellcheck shell=bash
# Shared by scripts/fuzz and scripts/fuzz-ci: builds the libFuzzer targets and knows how each
# is run. Sourced, not run.

fuzz_targets=(jpeg_reader extraction name_rules decode)

# Configures and builds the fuzz preset (with ccache when there is one).
fuzz_build()
{
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake --preset fuzz "${launcher[@]}" >/dev/null
    cmake --build --preset fuzz -j "$(nproc)" --target "${fuzz_targets[@]/#/fuzz_}"
}

# The options one target runs with. libjpeg sizes its buffers from the header, so the decoder
# runs under a memory cap that a header asking for gigabytes exceeds: that is a finding.
fuzz_options()
{
    local options=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
    case $1 in
        extraction) options+=(-max_len=4096) ;;
        decode) options+=(-malloc_limit_mb=1024 -max_len=65536) ;;
    esac
    echo "${options[@]}"
}

# Prints every input that made a target fail, as hex, so the log alone reproduces it.
fuzz_print_findings()
{
    local dir=$1 file
    for file in "$dir"/crash-* "$dir"/leak-* "$dir"/timeout-* "$dir"/oom-* "$dir"/slow-unit-*; do
        [ -e "$file" ] || continue
        echo "--- $(basename "$file") ($(stat -c %s "$file") bytes), as hex:"
        od -An -tx1 -v "$file" | tr -s ' ' | sed 's/^ //'
    done
}
