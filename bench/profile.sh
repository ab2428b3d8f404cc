#!/bin/bash
# Profiles qovant over the benchmark's LDIF trees, as bench/README.md reports.
#
#   bench/profile.sh [ENTRIES]     default 100000 (callgrind) and 1000000 (perf)
#
# Builds Release with -g into bench/build-prof, then:
# - callgrind on the ENTRIES tree (repeatable instruction counts);
# - perf record -e cpu-clock on the 1,000,000-entry tree when perf works here
#   (hardware counters are not exposed on this VM; the software clock is).
# Reports go to bench/data/profile/. The trees must exist (bench/run.sh makes them).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "${BENCH_SOURCE:-$(dirname "$here")}" && pwd)
entries=${1:-100000}
seed=${BENCH_SEED:-1}
word=${BENCH_WORD:-legacyshare}
out=$here/data/profile
mkdir -p "$out"

cmake -S "$source" -B "$source/bench/build-prof" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_FLAGS="-g -fno-omit-frame-pointer" > /dev/null
cmake --build "$source/bench/build-prof" -j2 >&2
qovant=$source/bench/build-prof/qovant

tree=$here/data/tree-$entries-s$seed.ldif
[ -f "$tree" ] || { echo "profile.sh: $tree missing; run bench/run.sh $entries first" >&2; exit 1; }
echo "callgrind over $tree" >&2
LC_ALL=C DIRCLIENT_TREE=$tree valgrind --tool=callgrind --callgrind-out-file="$out/callgrind.$entries.out" \
  "$qovant" "$word" > /dev/null 2> "$out/callgrind.$entries.log"
callgrind_annotate --inclusive=no "$out/callgrind.$entries.out" > "$out/callgrind.$entries.self.txt"
callgrind_annotate --inclusive=yes "$out/callgrind.$entries.out" > "$out/callgrind.$entries.inclusive.txt"
grep -m1 'Collected' "$out/callgrind.$entries.log" >&2 || true

big=$here/data/tree-1000000-s$seed.ldif
if [ -f "$big" ] && perf stat -e cpu-clock true > /dev/null 2>&1; then
  echo "perf (cpu-clock) over $big" >&2
  LC_ALL=C DIRCLIENT_TREE=$big perf record -q -e cpu-clock -F 2000 -g -o "$out/perf.1000000.data" \
    "$qovant" "$word" > /dev/null
  perf report -i "$out/perf.1000000.data" --no-children --sort symbol --stdio -g none \
    > "$out/perf.1000000.self.txt" 2> /dev/null
  perf report -i "$out/perf.1000000.data" --children --sort symbol --stdio -g none \
    > "$out/perf.1000000.children.txt" 2> /dev/null
fi
ls "$out" >&2
