#!/usr/bin/env bash
# End-to-end cases of the installed binary: exact standard output, standard
# error and exit status for each row of the table below.
# Usage: run.sh BUILD_DIR
set -u
build=$1
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null || exit 1
qovant=$work/prefix/bin/qovant
gzip -dc "$work/prefix/share/man/man1/qovant.1.gz" | cmp -s - "$top/docs/qovant.1" ||
  { echo "man page not installed"; exit 1; }

failures=0 passed=0 skipped=0
# check NAME EXPECTED_EXIT EXPECTED_OUT_FILE EXPECTED_ERR -- COMMAND...
check() {
  local name=$1 want_exit=$2 want_out=$3 want_err=$4
  shift 5
  "$@" >"$work/out" 2>"$work/err" </dev/null
  local got_exit=$?
  local ok=1
  [ "$got_exit" = "$want_exit" ] || { echo "$name: exit $got_exit, want $want_exit"; ok=0; }
  cmp -s "$work/out" "$want_out" || { echo "$name: stdout differs:"; od -c "$work/out" | head -20; ok=0; }
  [ "$(cat "$work/err")" = "$want_err" ] || { echo "$name: stderr: $(cat "$work/err")"; echo "  want: $want_err"; ok=0; }
  if [ $ok = 1 ]; then passed=$((passed + 1)); else failures=$((failures + 1)); fi
}

empty=$work/empty
: >"$empty"
printf '\nNWCallsInit returned FFFFFD88' >"$work/malformed.out"
printf '\nNWCallsInit returned FFFFFD89' >"$work/unreadable.out"
printf '\nNWCallsInit returned FFFFFD8A' >"$work/unconfigured.out"
printf 'qovant: the substring is longer than 99 bytes\nUse: qovant <substring>\n' >"$work/long.out"
long=$(printf 'x%.0s' $(seq 100))

export LC_ALL=C
check sample 0 "$here/expected/acme-map.out" "" -- env DIRCLIENT_TREE="$top/examples/acme.ldif" "$qovant" map
check display-and-cut 0 "$here/expected/cases-map.out" "" -- env DIRCLIENT_TREE="$here/cases.ldif" "$qovant" map
check empty-substring 0 "$here/expected/cases-empty.out" "" -- env DIRCLIENT_TREE="$here/cases.ldif" "$qovant" ""
check tree-from-a-pipe 0 "$here/expected/cases-map.out" "" -- bash -c "DIRCLIENT_TREE=<(cat '$here/cases.ldif') '$qovant' map"
check malformed-tree 1 "$work/malformed.out" "qovant: $here/bad-base64.ldif:5: bad base64 value: a byte outside the base64 alphabet" -- env DIRCLIENT_TREE="$here/bad-base64.ldif" "$qovant" x
check missing-tree 1 "$work/unreadable.out" "qovant: $work/none.ldif: No such file or directory" -- env DIRCLIENT_TREE="$work/none.ldif" "$qovant" x
check endless-line 1 "$work/malformed.out" "qovant: /dev/zero:1: line longer than 64 MiB with its continuations: no export holds one" -- env DIRCLIENT_TREE=/dev/zero "$qovant" x
check directory-as-tree 1 "$work/unreadable.out" "qovant: $here: Is a directory" -- env DIRCLIENT_TREE="$here" "$qovant" x
# A regular file whose first read fails: the read error, not a parse.
check read-error 1 "$work/unreadable.out" "qovant: /proc/self/mem: Input/output error" -- env DIRCLIENT_TREE=/proc/self/mem "$qovant" x
check substring-too-long 2 "$work/long.out" "" -- env DIRCLIENT_TREE="$here/cases.ldif" "$qovant" "$long"
check full-disk 3 "$empty" "qovant: cannot write standard output: No space left on device" -- bash -c "DIRCLIENT_TREE='$top/examples/acme.ldif' '$qovant' map >/dev/full"
# Standard output closed: a report is lost as on a full disk, even though
# the descriptor holds /dev/null by the time it is written; no report, no loss.
check closed-stdout 3 "$empty" "qovant: cannot write standard output: Bad file descriptor" -- bash -c "DIRCLIENT_TREE='$top/examples/acme.ldif' '$qovant' map >&-"
check closed-stdout-no-match 0 "$empty" "" -- bash -c "DIRCLIENT_TREE='$top/examples/acme.ldif' '$qovant' 'no such text' >&-"

# Exports as real tools write them, whole and cut: each NAME.ldif in
# exports/ is searched for "map"; NAME.expected is a fixture case's, as
# ldif/ldif_loader_test.cc reads them, of "exit" and "err" lines only.
for ldif in "$here"/exports/*.ldif; do
  expected=${ldif%.ldif}.expected
  want_err=$(sed -n '/^--- stdout$/q; s/^err //p' "$expected")
  sed '1,/^--- stdout$/d' "$expected" >"$work/want.out"
  check "export $(basename "$ldif")" "$(sed -n '1s/^exit //p' "$expected")" "$work/want.out" \
    "${want_err//PATH/$ldif}" -- env DIRCLIENT_TREE="$ldif" "$qovant" map
done

# A tree larger than the memory allowed: a start-up failure, not an abort.
# (AddressSanitizer needs more address space than any such limit leaves.)
if [ -z "${QOVANT_SANITIZED:-}" ]; then
  awk 'BEGIN { print "dn: o=Big\nobjectClass: organization\n"
               for (i = 0; i < 400000; i++) printf "dn: cn=user%d,ou=u%d,o=Big\nobjectClass: person\n\n", i, i % 5000 }' \
    >"$work/big.ldif"
  printf '\nNWCallsInit returned FFFFFD93' >"$work/nomemory.out"
  check out-of-memory 1 "$work/nomemory.out" "qovant: $work/big.ldif: out of memory while loading the tree" -- \
    bash -c "ulimit -v 50000; DIRCLIENT_TREE='$work/big.ldif' exec '$qovant' map"
  # Sparse files that claim gigabytes: memory follows what is read, not the
  # size, so the line cap ends each within the same 500 MB.
  for size in 2G 4G 60G; do
    truncate -s "$size" "$work/sparse.ldif"
    check "sparse-$size" 1 "$work/malformed.out" "qovant: $work/sparse.ldif:1: line longer than 64 MiB with its continuations: no export holds one" -- \
      bash -c "ulimit -v 500000; DIRCLIENT_TREE='$work/sparse.ldif' exec '$qovant' map"
  done
  rm -f "$work/sparse.ldif"
else
  skipped=4
  echo "skip out-of-memory sparse-2G sparse-4G sparse-60G: no address-space limit under a sanitizer"
fi

# A path is shown with its control characters as "?", even when piped, so
# that a diagnostic stays one line.
check path-with-line-break 1 "$work/unreadable.out" "qovant: $work/a?b.ldif: No such file or directory" -- env DIRCLIENT_TREE="$work/a
b.ldif" "$qovant" x

# On a terminal (a pty from script(1)), standard output and standard error
# together, byte for byte: C1 controls and escapes in names, script lines
# and file names never reach the terminal raw. The pty turns "\n" to "\r\n".
# check_terminal NAME EXPECTED_BYTES VAR=VALUE...
check_terminal() {
  local name=$1 want=$2
  shift 2
  env "$@" SHELL=/bin/sh script -qec "$qovant map" /dev/null >"$work/out" 2>"$work/err" </dev/null
  printf '%b' "$want" | cmp -s "$work/out" - && passed=$((passed + 1)) ||
    { echo "$name: terminal bytes differ:"; od -c "$work/out" | head -10; failures=$((failures + 1)); }
}
printf 'dn: o=A\nobjectClass: top\n\ndn: cn=\\C2\\9B2J\\C3\\A9,o=A\nloginScript:: bWFwIMKFeBtbMG0=\n' >"$work/c1.ldif"
check_terminal terminal-utf8 '?2J\xc3\xa9.A (MAP ?X?[0M)\r\n' DIRCLIENT_TREE="$work/c1.ldif" LC_ALL=C.UTF-8
check_terminal terminal-latin1 '\xc2?2J\xc3\xa9.A (MAP \xc2?X?[0M)\r\n' DIRCLIENT_TREE="$work/c1.ldif" \
  LC_ALL=de_DE.ISO-8859-1
check_terminal terminal-stderr "qovant: $work/x?]0;t??.ldif: No such file or directory\\r\\n\\r\\nNWCallsInit returned FFFFFD89" \
  DIRCLIENT_TREE="$(printf '%s/x\033]0;t\007\302\233.ldif' "$work")" LC_ALL=C.UTF-8

# Unset tree: the message depends on what else may be configured, so only
# the start-up failure is checked here. Usage: the banner with the build
# line, no client start.
env -u DIRCLIENT_TREE LDAPNOINIT=1 "$qovant" x >"$work/out" 2>/dev/null
[ $? = 1 ] && cmp -s "$work/out" "$work/unconfigured.out" && passed=$((passed + 1)) ||
  { echo "unset-tree: wrong result"; failures=$((failures + 1)); }
env DIRCLIENT_TREE=/nonexistent "$qovant" >"$work/out" 2>"$work/err"
[ $? = 2 ] && grep -qxE 'Compiled at [A-Z][a-z]{2} [0-9]{2} [0-9]{4}  [0-9]{2}:[0-9]{2}:[0-9]{2}' "$work/out" &&
  [ "$(sed -n '1p;3p' "$work/out")" = "$(printf 'Brellkin.\nUse: qovant <substring>')" ] && [ ! -s "$work/err" ] &&
  passed=$((passed + 1)) || { echo "usage: wrong banner"; failures=$((failures + 1)); }

echo "$passed passed, $failures failed, $skipped skipped"
# 77: ctest reports a run that skipped a case as Skipped.
[ "$failures" = 0 ] || exit 1
[ "$skipped" = 0 ] || exit 77
