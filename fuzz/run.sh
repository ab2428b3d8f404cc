#!/usr/bin/env bash
# Runs every fuzz harness of a QOVANT_FUZZ build: first the kept regression
# inputs, then new inputs for SECONDS seconds per harness, starting from the
# seed corpus. Builds nothing; fails when any harness finds a crash, a
# sanitizer report, a leak, a timeout or too much memory.
# Usage: fuzz/run.sh BUILD_DIR SECONDS
set -u
if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
build=$(cd "$1" && pwd) || exit 2
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
harnesses=(ldif_tree names script_check)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Findings are kept in the build directory, where a developer can replay them.
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
options=(-rss_limit_mb=2048 -timeout=10 -max_len=8192 -print_final_stats=1)

# Shows a finding in the log too, since a CI machine does not last.
show_findings() {
  local harness=$1 file
  for file in "$artifacts/$harness"-*; do
    [ -f "$file" ] || continue
    echo "finding: $file ($(stat -c %s "$file") bytes), base64:"
    head -c 65536 "$file" | base64
  done
}

failed=()
for harness in "${harnesses[@]}"; do
  binary=$build/fuzz/fuzz_$harness
  if [ ! -x "$binary" ]; then
    echo "$harness: $binary is missing (configure with -DQOVANT_FUZZ=ON and build)" >&2
    failed+=("$harness")
    continue
  fi
  rm -f "$artifacts/$harness"-*

  # The inputs that once failed must pass before anything new is tried.
  regressions=()
  for file in "$here/regressions/$harness"/*; do
    [ -f "$file" ] && regressions+=("$file")
  done
  if [ ${#regressions[@]} -gt 0 ]; then
    echo "== $harness: ${#regressions[@]} regression input(s)"
    if ! "$binary" "${options[@]}" -artifact_prefix="$artifacts/$harness-" \
        "${regressions[@]}" >"$work/$harness-replay.log" 2>&1; then
      tail -n 60 "$work/$harness-replay.log"
      show_findings "$harness"
      failed+=("$harness")
      continue
    fi
  fi

  echo "== $harness: fuzzing for $seconds s"
  mkdir -p "$work/$harness"
  if ! "$binary" "${options[@]}" -max_total_time="$seconds" \
      -artifact_prefix="$artifacts/$harness-" \
      "$work/$harness" "$here/corpus/$harness" >"$work/$harness.log" 2>&1; then
    tail -n 60 "$work/$harness.log"
    show_findings "$harness"
    failed+=("$harness")
    continue
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$work/$harness.log"
done

[ ${#failed[@]} -eq 0 ] || echo "failed: ${failed[*]} (inputs in $artifacts)"
echo "fuzz: $((${#harnesses[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
