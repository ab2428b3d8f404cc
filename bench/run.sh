#!/bin/bash
# The benchmark in one command: builds qovant in Release mode in bench/build,
# then generates the trees into bench/data/ (reused when present with the same
# seed) and times every contender on each size.
#
#   bench/run.sh [SIZE ...]        default: 10000 100000 1000000
#
# BENCH_SEED, BENCH_WORD, BENCH_RUNS and BENCH_SKIP are described in bench.py.
# BENCH_SOURCE=DIR builds qovant from another source tree (a snapshot, say)
# into DIR's own bench/build instead of this checkout's. BENCH_WINE=1 also
# cross-builds qovant.exe in Release mode into bench/build-win and times it
# under wine (tools/deps.sh --windows installs what that needs).
# The results table goes to standard output, progress to standard error.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")

# Debian packages the contenders need, installed only when missing.
missing=()
/usr/bin/python3 -c 'import ldap, ldif' 2>/dev/null || missing+=(python3-ldap)
command -v slapd > /dev/null || [ -x /usr/sbin/slapd ] || missing+=(slapd)
command -v ldapsearch > /dev/null || missing+=(ldap-utils)
[ -x /usr/bin/time ] || missing+=(time)
command -v cmake > /dev/null || missing+=(cmake)
command -v g++ > /dev/null || missing+=(g++)
if [ ${#missing[@]} -gt 0 ]; then
  echo "run.sh: installing ${missing[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >&2
fi
export PATH="$PATH:/usr/sbin"

source=$(cd "${BENCH_SOURCE:-$repo}" && pwd)
build=$source/bench/build
cmake -S "$source" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
cmake --build "$build" -j2 >&2
if [ -n "${BENCH_WINE:-}" ]; then
  cmake -S "$source" -B "$build-win" --toolchain "$source/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$build-win" -j2 >&2
  export BENCH_WINE=$build-win/qovant.exe
fi

BENCH_SOURCE=$source exec /usr/bin/python3 "$here/bench.py" "$build/qovant" "$@"
