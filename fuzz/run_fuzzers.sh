#!/bin/sh
# Runs every fuzz target of a fuzzing build for a fixed time each, starting
# from the seed corpus kept in fuzz/corpus/<target>. What a run finds beyond
# the seeds goes to <build>/corpus/<target>, crash inputs to
# <build>/artifacts. Fails at the first target that crashes.
# Usage: run_fuzzers.sh <build dir> <seconds per target> [target...]
set -eu
build=$1
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -eq 0 ]; then
    set -- $(ls "$here/corpus")
fi

# LibTorch keeps some allocations for the life of the process, which the
# leak check would otherwise report at exit.
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

mkdir -p "$build/artifacts"
for target in "$@"; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "fuzz: $target for ${seconds}s"
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$corpus" "$here/corpus/$target" > "$build/artifacts/$target.log" 2>&1 || {
        tail -n 60 "$build/artifacts/$target.log"
        echo "fuzz: $target failed; see $build/artifacts"
        exit 1
    }
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|cov: ' \
        "$build/artifacts/$target.log" | tail -n 3
done
