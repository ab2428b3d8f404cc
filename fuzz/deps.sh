#!/usr/bin/env bash
# Installs what the sanitizer and fuzzing builds need: the test suite's
# packages, clang and its sanitizer and libFuzzer runtimes. Safe to run again.
set -eu
exec "$(dirname "$0")/../tools/deps.sh" --test clang libclang-rt-dev
