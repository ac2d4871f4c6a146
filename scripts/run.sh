#!/usr/bin/env bash
# Sets up a machine, builds the engine and shows it at work through the mox
# command on a fresh database in build/release/database: start, a table with
# an index, a load of 100,000 generated rows, an indexed lookup, a range
# scan, the integrity check, the buffer statistics, stop.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
mkdir -p "$root/build"
# Build output goes to standard error, so that standard output is the session's alone.
"$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DMOX_BUILD_TESTS=OFF -DMOX_BUILD_BENCHMARKS=OFF >&2

mox=$root/build/release/mox
database=$root/build/release/database
export MOX_DATABASE_PATH=$database
# A system that an earlier run left started there is stopped before its
# directory goes. The log files live in the working directory: the database's.
if [ -d "$database" ]; then (cd "$database" && "$mox" stop force > /dev/null 2>&1) || true; fi
rm -rf "$database"
mkdir -p "$database"
cd "$database"
# Whatever happens, no shared memory set outlives the session.
trap '"$mox" stop force > /dev/null 2>&1 || true' EXIT

# Shows the command as one would type it (quoted where the shell needs it), then runs it.
step() {
    local shown="\$ mox" word
    for word in "$@"; do
        if [[ $word =~ ^[A-Za-z0-9_:=,.+-]+$ ]]; then shown+=" $word"; else shown+=" '$word'"; fi
    done
    echo
    echo "$shown"
    "$mox" "$@"
}

step start
step create-table people id:int 'name:varchar(40)' age:int:null
step create-index people_id people id unique
# Every 7th person without an age (an empty field is NULL), every 100th with
# a comma in the name.
awk 'BEGIN { for (i = 1; i <= 100000; i++)
                 printf "%d,%s,%s\n", i, (i % 100 == 0 ? "\"Person " i ", Jr\"" : "Person " i), (i % 7 == 0 ? "" : 18 + i % 70) }' \
    > people.csv
echo
echo "\$ head -3 people.csv"
head -3 people.csv
step load people people.csv --batch 5000
step tables
step scan people --where id=4200 --explain
step scan people --range id 99996 100000 --explain
step scan people --where 'name="Person 4200, Jr"' --explain
step check
step show BM_STATS
step stop
trap - EXIT
