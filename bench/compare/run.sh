#!/usr/bin/env bash
# Builds what the comparison needs (the libraries of the other engines, a
# Release build of the project with the benchmarks) and runs it; the
# arguments go to the program (--quick for a short smoke run, --help).
# Prints the machine's facts first, then the table; build output goes to
# standard error.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build/compare"

"$root/scripts/setup.sh" >&2
mkdir -p "$root/build"
"$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DMOX_BUILD_TESTS=OFF -DMOX_BUILD_BENCHMARKS=ON >&2
if [ ! -x "$build/bench/compare/compare" ]; then
    echo "bench/compare was not built: see $build.configure.log" >&2
    exit 1
fi

echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "cpu: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores"
echo "memory: $(free -g | awk '/^Mem:/ {print $2 " GiB"}')"
echo "file system of the databases: $(df -T "${TMPDIR:-/tmp}" | awk 'NR == 2 {print $2}')"
echo "compiler: $(c++ --version | head -n 1)"
echo
start=$(date +%s)
"$build/bench/compare/compare" "$@"
echo "run.sh: the run took $(($(date +%s) - start)) s"
