#!/usr/bin/env bash
# Builds everything under a sanitizer in BUILD_DIR and runs the whole test
# suite there; any report fails the run. "address" (the default):
# AddressSanitizer and UndefinedBehaviorSanitizer; "thread": ThreadSanitizer,
# since loads build the tree on a second thread (LDIF files read in blocks,
# every LDAP read) and a race must fail the run too.
# Usage: fuzz/sanitize.sh BUILD_DIR [address|thread]
set -eu
[ $# -ge 1 ] && [[ ${2:-address} =~ ^(address|thread)$ ]] || { echo "usage: $0 BUILD_DIR [address|thread]" >&2; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:second_deadlock_stack=1}
[ "${2:-address}" = address ] && option=QOVANT_SANITIZE || option=QOVANT_TSAN
cmake -S "$top" -B "$1" -D$option=ON
cmake --build "$1" -j2
ctest --test-dir "$1" --output-on-failure
