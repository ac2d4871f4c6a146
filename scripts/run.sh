#!/usr/bin/env bash
# Sets up a machine, builds the engine and runs the main job, moxstop, with
# the given arguments.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
mkdir -p "$root/build"
# Build output goes to standard error, so that standard output is moxstop's alone.
"$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DMOX_BUILD_TESTS=OFF -DMOX_BUILD_BENCHMARKS=OFF >&2
exec "$root/build/release/moxstop" "$@"
