#!/usr/bin/env bash
# Installs what the fuzzing build needs on top of the usual packages: clang
# and its sanitizer and libFuzzer runtimes. Safe to run again.
set -eu
exec "$(dirname "$0")/../tools/deps.sh" clang libclang-rt-dev
