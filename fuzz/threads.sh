#!/usr/bin/env bash
# Builds everything with ThreadSanitizer in BUILD_DIR and runs the whole test
# suite there: loads build the tree on a second thread (LDIF files read in
# blocks, every LDAP read), and any report of a race fails the run.
# Usage: fuzz/threads.sh BUILD_DIR
set -eu
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:second_deadlock_stack=1}
cmake -S "$top" -B "$1" -DQOVANT_TSAN=ON
cmake --build "$1" -j2
ctest --test-dir "$1" --output-on-failure
