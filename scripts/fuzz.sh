#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time:
#   scripts/fuzz.sh [seconds per target] [target ...]
# (default 60 seconds, every target under fuzz/). Seeds come fresh from a
# real database (MoxFuzzCorpusGenerator), damaged ones that once found faults
# among them; what a target finds stays in build/fuzz/corpus/<target> for
# the next run.
# A crash, a hang (10 seconds for one input) or a sanitizer report fails the
# script; the input is written to build/fuzz/artifacts/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true

if ! command -v clang++ > /dev/null; then
    echo "clang++ is not installed (scripts/setup.sh installs it): no fuzzing"
    exit 0
fi
build=$root/build/fuzz
mkdir -p "$root/build"
CXX=clang++ "$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOX_BUILD_FUZZERS=ON \
    -DMOX_BUILD_TESTS=OFF -DMOX_BUILD_BENCHMARKS=OFF > "$build.build.log" 2>&1 || { cat "$build.build.log"; exit 1; }

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in "$root"/fuzz/Mox*Fuzzer.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

# Each process works in a directory of its own, which is also its database:
# after a crash the script stops that database's system, so that no shared
# memory set outlives the run.
work=$build/work
stopSystemOf() {
    MOX_DATABASE_PATH=$1 "$build/moxstop" force > /dev/null 2>&1 || true
}
rm -rf "$work" "$build/seeds"
mkdir -p "$work/generator" "$build/artifacts"
trap 'for directory in "$work"/*; do stopSystemOf "$directory"; done' EXIT
MOX_FUZZ_WORK=$work/generator "$build/fuzz/MoxFuzzCorpusGenerator" "$build/seeds"

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
failed=()
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    mkdir -p "$corpus" "$work/$target" "$build/seeds/$target"
    log=$build/$target.log
    status=0
    MOX_FUZZ_WORK=$work/$target "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "$corpus" "$build/seeds/$target" \
        > "$log" 2>&1 || status=$?
    stopSystemOf "$work/$target"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    if [ "$status" -ne 0 ]; then
        failed+=("$target")
        echo "$target: FAILED after ${runs:-?} runs"
        tail -n 60 "$log"
    else
        echo "$target: ${runs:-?} runs in ${seconds} s, corpus of $(find "$corpus" -type f | wc -l) inputs"
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found faults in: ${failed[*]} (inputs in $build/artifacts)"
    exit 1
fi
