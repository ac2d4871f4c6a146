#!/usr/bin/env bash
# Sets up a machine and runs every test twice: in a normal build and in a
# build with AddressSanitizer and UndefinedBehaviorSanitizer, both with the
# seam that lets tests make file operations fail. Then every fuzz target
# runs, together less than two minutes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
mkdir -p "$root/build"
jobs=$(nproc)

echo "== normal build"
"$root/scripts/build.sh" "$root/build/normal" -DCMAKE_BUILD_TYPE=Release -DMOX_WERROR=ON -DMOX_FAULT_INJECTION=ON
(cd "$root/build/normal" && ctest --output-on-failure -j "$jobs")

echo "== sanitizer build"
"$root/scripts/build.sh" "$root/build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DMOX_WERROR=ON -DMOX_SANITIZE=ON -DMOX_BUILD_BENCHMARKS=OFF \
    -DMOX_FAULT_INJECTION=ON
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
(cd "$root/build/sanitize" && ctest --output-on-failure -j "$jobs")

echo "== fuzzing"
targets=$(ls "$root"/fuzz/Mox*Fuzzer.cpp | wc -l)
"$root/scripts/fuzz.sh" $((100 / targets))
