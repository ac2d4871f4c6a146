#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh <directory> [cmake options]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
directory=$1
shift
cmake -S "$root" -B "$directory" -G Ninja "$@" > "$directory.configure.log" 2>&1 || { cat "$directory.configure.log"; exit 1; }
cmake --build "$directory" -j "$(nproc)"
