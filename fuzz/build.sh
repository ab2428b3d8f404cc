#!/usr/bin/env bash
# Configures and builds the fuzz harnesses (clang, libFuzzer, ASan, UBSan) in
# BUILD_DIR; fuzz/run.sh runs them.
# Usage: fuzz/build.sh BUILD_DIR
set -eu
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$top" -B "$1" -DCMAKE_CXX_COMPILER=clang++ -DQOVANT_FUZZ=ON \
  -DBUILD_TESTING=OFF
cmake --build "$1" -j2 --target qovant_fuzzers
