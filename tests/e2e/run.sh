#!/usr/bin/env bash
# End-to-end cases of the installed binary: exact standard output, standard
# error and exit status for each row of the table below.
# Usage: run.sh BUILD_DIR [EMULATOR...]
# A Windows build (qovant.exe) runs under EMULATOR (wine): its lines end in
# CR LF, and it also runs the fixture cases the unit tests run in-process.
set -u
build=$1
emulator=("${@:2}")
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null || exit 1
windows= cr=
if [ -e "$work/prefix/qovant.exe" ]; then
  windows=1 cr=$'\r'
  qovant=("${emulator[@]}" "$work/prefix/qovant.exe")
else
  qovant=("$work/prefix/bin/qovant")
  gzip -dc "$work/prefix/share/man/man1/qovant.1.gz" | cmp -s - "$top/docs/qovant.1" ||
    { echo "man page not installed"; exit 1; }
fi
q=$(printf '%q ' "${qovant[@]}")  # for bash -c

# Rows that need what wine lacks: process substitution, /proc, a closed
# descriptor (wine hands the process a handle of its own), ulimit -v (wine
# reserves more address space than the limits leave), a pty (wine draws a
# console of its own on it). Fixture cases that pass a code page other than
# the process's (1252 under wine), a terminal, or a search text that is not
# UTF-8 (a Windows command line is Unicode) are also Linux-only, and so are
# one that shows the C locale's upper case of a letter beyond ASCII (none)
# and one whose script holds Windows-1252 bytes, not the UTF-8 this build
# takes a tree's text to be.
linux_only=(tree-from-a-pipe read-error closed-stdout closed-stdout-no-match out-of-memory sparse-2G
            sparse-4G sparse-60G terminal-utf8 terminal-latin1 terminal-stderr
            tool/cases/hostile-script-utf-8-letters-stay-lower-case.ldif
            tool/cases/script-case-map-edges-windows-1252.ldif)
runs_here() {  # NAME [EXPECTED]
  [ -z "$windows" ] && return 0
  [[ " ${linux_only[*]} " != *" $1 "* ]] || return 1
  [ $# = 1 ] && return 0
  ! grep -qE '^(terminal|codepage (2|6))' "$2" &&
    printf '%b' "$(sed -n 's/^search //p' "$2")" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1
}
# The expected bytes with the platform's line ends.
ends() { if [ -n "$windows" ]; then sed -z 's/\n/\r\n/g'; else cat; fi; }

failures=0 passed=0 skipped=0
# check NAME EXPECTED_EXIT EXPECTED_OUT_FILE EXPECTED_ERR -- COMMAND...
check() {
  local name=$1 want_exit=$2 want_out=$3 want_err=$4
  shift 5
  runs_here "$name" || return 0
  "$@" >"$work/out" 2>"$work/err" </dev/null
  local got_exit=$?
  local ok=1
  [ "$got_exit" = "$want_exit" ] || { echo "$name: exit $got_exit, want $want_exit"; ok=0; }
  ends <"$want_out" | cmp -s "$work/out" - || { echo "$name: stdout differs:"; od -c "$work/out" | head -20; ok=0; }
  { [ -z "$want_err" ] || printf '%s\n' "$want_err"; } | ends | cmp -s "$work/err" - ||
    { echo "$name: stderr: $(cat "$work/err")"; echo "  want: $want_err"; ok=0; }
  if [ $ok = 1 ]; then passed=$((passed + 1)); else failures=$((failures + 1)); fi
}

empty=$work/empty
: >"$empty"
printf '\nNWCallsInit returned FFFFFD88' >"$work/malformed.out"
printf '\nNWCallsInit returned FFFFFD89' >"$work/unreadable.out"
printf '\nNWCallsInit returned FFFFFD8A' >"$work/unconfigured.out"
printf 'qovant: the substring is longer than 99 bytes\nUse: qovant <substring>\n' >"$work/long.out"
long=$(printf 'x%.0s' $(seq 100))

# wine reads the command line and the environment as UTF-8 only in a UTF-8
# locale.
export LC_ALL=C
[ -z "$windows" ] || LC_ALL=C.UTF-8
check sample 0 "$here/expected/acme-map.out" "" -- env DIRCLIENT_TREE="$top/examples/acme.ldif" "${qovant[@]}" map
check display-and-cut 0 "$here/expected/cases-map.out" "" -- env DIRCLIENT_TREE="$here/cases.ldif" "${qovant[@]}" map
check empty-substring 0 "$here/expected/cases-empty.out" "" -- env DIRCLIENT_TREE="$here/cases.ldif" "${qovant[@]}" ""
check tree-from-a-pipe 0 "$here/expected/cases-map.out" "" -- bash -c "DIRCLIENT_TREE=<(cat '$here/cases.ldif') $q map"
check malformed-tree 1 "$work/malformed.out" "qovant: $here/bad-base64.ldif:5: bad base64 value: a byte outside the base64 alphabet" -- env DIRCLIENT_TREE="$here/bad-base64.ldif" "${qovant[@]}" x
check missing-tree 1 "$work/unreadable.out" "qovant: $work/none.ldif: No such file or directory" -- env DIRCLIENT_TREE="$work/none.ldif" "${qovant[@]}" x
check endless-line 1 "$work/malformed.out" "qovant: /dev/zero:1: line longer than 64 MiB with its continuations: no export holds one" -- env DIRCLIENT_TREE=/dev/zero "${qovant[@]}" x
check directory-as-tree 1 "$work/unreadable.out" "qovant: $here: Is a directory" -- env DIRCLIENT_TREE="$here" "${qovant[@]}" x
# A regular file whose first read fails: the read error, not a parse.
check read-error 1 "$work/unreadable.out" "qovant: /proc/self/mem: Input/output error" -- env DIRCLIENT_TREE=/proc/self/mem "${qovant[@]}" x
check substring-too-long 2 "$work/long.out" "" -- env DIRCLIENT_TREE="$here/cases.ldif" "${qovant[@]}" "$long"
check full-disk 3 "$empty" "qovant: cannot write standard output: No space left on device" -- bash -c "DIRCLIENT_TREE='$top/examples/acme.ldif' $q map >/dev/full"
# Standard output closed: a report is lost as on a full disk, even though
# the descriptor holds /dev/null by the time it is written; no report, no loss.
check closed-stdout 3 "$empty" "qovant: cannot write standard output: Bad file descriptor" -- bash -c "DIRCLIENT_TREE='$top/examples/acme.ldif' $q map >&-"
check closed-stdout-no-match 0 "$empty" "" -- bash -c "DIRCLIENT_TREE='$top/examples/acme.ldif' $q 'no such text' >&-"

# Fixture cases, each NAME.ldif searched for "map" or its "search" text,
# with NAME.expected as ldif/ldif_loader_test.cc reads them: exports as real
# tools write them, whole and cut, and on Windows the unit tests' cases too.
fixtures() {  # DIR
  local ldif expected search want_err
  for ldif in "$1"/*.ldif; do
    expected=${ldif%.ldif}.expected search=map
    grep -q '^search' "$expected" && search=$(printf '%b' "$(sed -n 's/^search \{0,1\}//p' "$expected")")
    want_err=$(sed -n '/^--- stdout$/q; s/^err //p' "$expected")
    sed '1,/^--- stdout$/d' "$expected" >"$work/want.out"
    runs_here "${ldif#"$top"/tests/}" "$expected" || continue
    check "${ldif#"$top"/tests/}" "$(sed -n '1s/^exit //p' "$expected")" "$work/want.out" \
      "${want_err//PATH/$ldif}" -- env DIRCLIENT_TREE="$ldif" "${qovant[@]}" "$search"
  done
}
fixtures "$here/exports"
[ -z "$windows" ] || { fixtures "$top/tests/ldif/cases"; fixtures "$top/tests/tool/cases"; }

# A tree larger than the memory allowed: a start-up failure, not an abort.
# (AddressSanitizer needs more address space than any such limit leaves.)
if [ -z "${QOVANT_SANITIZED:-}" ]; then
  awk 'BEGIN { print "dn: o=Big\nobjectClass: organization\n"
               for (i = 0; i < 400000; i++) printf "dn: cn=user%d,ou=u%d,o=Big\nobjectClass: person\n\n", i, i % 5000 }' \
    >"$work/big.ldif"
  printf '\nNWCallsInit returned FFFFFD93' >"$work/nomemory.out"
  check out-of-memory 1 "$work/nomemory.out" "qovant: $work/big.ldif: out of memory while loading the tree" -- \
    bash -c "ulimit -v 50000; DIRCLIENT_TREE='$work/big.ldif' exec $q map"
  # Sparse files that claim gigabytes: memory follows what is read, not the
  # size, so the line cap ends each within the same 500 MB.
  for size in 2G 4G 60G; do
    truncate -s "$size" "$work/sparse.ldif"
    check "sparse-$size" 1 "$work/malformed.out" "qovant: $work/sparse.ldif:1: line longer than 64 MiB with its continuations: no export holds one" -- \
      bash -c "ulimit -v 500000; DIRCLIENT_TREE='$work/sparse.ldif' exec $q map"
  done
  rm -f "$work/sparse.ldif"
else
  skipped=4
  echo "skip out-of-memory sparse-2G sparse-4G sparse-60G: no address-space limit under a sanitizer"
fi

# A path is shown with its control characters as "?", even when piped, so
# that a diagnostic stays one line. Windows allows no line break in a name.
reason="No such file or directory"
[ -z "$windows" ] || reason="Invalid argument"
check path-with-line-break 1 "$work/unreadable.out" "qovant: $work/a?b.ldif: $reason" -- env DIRCLIENT_TREE="$work/a
b.ldif" "${qovant[@]}" x

# A folder name outside the ANSI code page, in the platform's form of the
# path, and a search text with the same letter, which Windows upper-cases
# by the ANSI code page's letters and the C locale leaves.
mkdir "$work/Jürgen"
printf 'dn: o=A\nobjectClass: top\n\ndn: cn=J\303\274rgen,o=A\nloginScript: map h:=fs1/home:j\303\274rgen\n' \
  >"$work/Jürgen/tree.ldif"
upper=ü
[ -z "$windows" ] || upper=Ü
printf 'J\303\274rgen.A (MAP H:=FS1/HOME:J%sRGEN)\n' "$upper" >"$work/juergen.out"
tree=$work/Jürgen/tree.ldif
[ -z "$windows" ] || tree=Z:${tree//\//\\}
check unicode-path 0 "$work/juergen.out" "" -- env DIRCLIENT_TREE="$tree" "${qovant[@]}" map
check unicode-search 0 "$work/juergen.out" "" -- env DIRCLIENT_TREE="$tree" "${qovant[@]}" "home:jü"

# A file over 4 GiB, sparse: comment lines of zero bytes, each under the
# line cap, carry it past 4 GiB to one more entry, which must be read.
printf 'dn: o=A\nobjectClass: top\nloginScript: map a:\n' >"$work/huge.ldif"
for mib in $(seq 60 60 4200); do
  printf '\n#' >>"$work/huge.ldif"
  truncate -s "${mib}M" "$work/huge.ldif"
done
printf '\n\ndn: cn=Last,o=A\nloginScript: map z:\n' >>"$work/huge.ldif"
printf 'A (MAP A:)\nLast.A (MAP Z:)\n' >"$work/huge.out"
check sparse-over-4G 0 "$work/huge.out" "" -- env DIRCLIENT_TREE="$work/huge.ldif" "${qovant[@]}" map
rm -f "$work/huge.ldif"

# Windows only: an LDAP URI is refused at start-up, and standard output on
# NUL, which _isatty takes for a terminal, is written as to a file.
if [ -n "$windows" ]; then
  printf '\nNWCallsInit returned FFFFFD7A' >"$work/noldap.out"
  for uri in ldap://dir.example.com ldaps://dir.example.com/o=Acme LDAPI://; do
    check "refused $uri" 1 "$work/noldap.out" "qovant: $uri: this build reads LDIF exports, not LDAP servers: export the tree with \"ldapsearch -x -H URI -b BASE -E pr=1000/noprompt objectClass loginScript aliasedObjectName > tree.ldif\" and set DIRCLIENT_TREE to that file" \
      -- env DIRCLIENT_TREE="$uri" "${qovant[@]}" map
  done
  exe=Z:${qovant[-1]//\//\\}
  check nul-as-stdout 0 "$empty" "" -- env DIRCLIENT_TREE="$top/examples/acme.ldif" \
    "${emulator[@]}" cmd /c "$exe map >NUL"
fi

# On a terminal (a pty from script(1)), standard output and standard error
# together, byte for byte: C1 controls and escapes in names, script lines
# and file names never reach the terminal raw. The pty turns "\n" to "\r\n".
# check_terminal NAME EXPECTED_BYTES VAR=VALUE...
check_terminal() {
  local name=$1 want=$2
  shift 2
  runs_here "$name" || return 0
  env "$@" SHELL=/bin/sh script -qec "$q map" /dev/null >"$work/out" 2>"$work/err" </dev/null
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
env -u DIRCLIENT_TREE LDAPNOINIT=1 "${qovant[@]}" x >"$work/out" 2>/dev/null
[ $? = 1 ] && ends <"$work/unconfigured.out" | cmp -s "$work/out" - && passed=$((passed + 1)) ||
  { echo "unset-tree: wrong result"; failures=$((failures + 1)); }
env DIRCLIENT_TREE=/nonexistent "${qovant[@]}" >"$work/out" 2>"$work/err"
[ $? = 2 ] && grep -qxE "Compiled at [A-Z][a-z]{2} [0-9]{2} [0-9]{4}  [0-9]{2}:[0-9]{2}:[0-9]{2}$cr" "$work/out" &&
  [ "$(sed -n '1p;3p' "$work/out")" = "$(printf 'Brellkin.%s\nUse: qovant <substring>%s' "$cr" "$cr")" ] && [ ! -s "$work/err" ] &&
  passed=$((passed + 1)) || { echo "usage: wrong banner"; failures=$((failures + 1)); }

echo "$passed passed, $failures failed, $skipped skipped"
# 77: ctest reports a run that skipped a case as Skipped.
[ "$failures" = 0 ] || exit 1
[ "$skipped" = 0 ] || exit 77
