#!/usr/bin/env bash
# Runs every fuzz harness of a QOVANT_FUZZ build: first the kept regression
# inputs, then new inputs for SECONDS seconds per harness, starting from the
# seed corpus. Builds nothing; fails when any harness finds a crash, a
# sanitizer report, a leak, a timeout or too much memory.
# Usage: fuzz/run.sh BUILD_DIR SECONDS
set -u
[ $# -eq 2 ] && [[ $2 =~ ^[0-9]+$ ]] || { echo "usage: $0 BUILD_DIR SECONDS" >&2; exit 2; }
build=$(cd "$1" && pwd) || exit 2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Findings are kept in the build directory, where a developer can replay them.
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
options=(-rss_limit_mb=2048 -timeout=10 -max_len=8192 -print_final_stats=1)

# fuzz HARNESS LOG INPUTS...: false on a finding, shown in the log too (in
# base64), since a CI machine does not last.
fuzz() {
  local harness=$1 log=$work/$2.log file
  "$build/fuzz/fuzz_$harness" "${options[@]}" -artifact_prefix="$artifacts/$harness-" "${@:3}" >"$log" 2>&1 &&
    return 0
  tail -n 60 "$log"
  for file in "$artifacts/$harness"-*; do
    [ -f "$file" ] && echo "finding: $file ($(stat -c %s "$file") bytes), base64:" && head -c 65536 "$file" | base64
  done
  return 1
}

failed=()
for harness in ldif_tree names script_check; do
  if [ ! -x "$build/fuzz/fuzz_$harness" ]; then
    echo "$harness: missing (configure with -DQOVANT_FUZZ=ON and build)" >&2
    failed+=("$harness")
    continue
  fi
  rm -f "$artifacts/$harness"-*
  # The inputs that once failed must pass before anything new is tried.
  regressions=("$here/regressions/$harness"/*)
  [ -f "${regressions[0]}" ] && echo "== $harness: ${#regressions[@]} regression input(s)" &&
    ! fuzz "$harness" "$harness-replay" "${regressions[@]}" && { failed+=("$harness"); continue; }
  echo "== $harness: fuzzing for $2 s"
  mkdir -p "$work/$harness"
  fuzz "$harness" "$harness" -max_total_time="$2" "$work/$harness" "$here/corpus/$harness" ||
    { failed+=("$harness"); continue; }
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$work/$harness.log"
done
[ ${#failed[@]} -eq 0 ] || echo "failed: ${failed[*]} (inputs in $artifacts)"
echo "fuzz: $((3 - ${#failed[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
