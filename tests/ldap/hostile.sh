#!/bin/bash
# What a server sends and how long a read may take, against a hostile server
# of the tests' own (hostile_server.cc): each row plays one scenario to one
# qovant run and expects its exact standard error and exit status. Stalls
# end by qovant's own bounds (the whole load's DIRCLIENT_LOAD_TIMEOUT, or
# NETWORK_TIMEOUT for a connection, TLS handshake included); caps fail with
# the limit named; memory running out is a clean failure; a reference is a
# part not searched.
. "$(dirname "$0")/lib.sh"

# Each "@SCENARIO" of a row is a server playing it, for that row alone.
before_row() {
  SERVERS=()
  local all="${EXPECT[*]} ${VARS[*]}" pattern='@([a-z-]+)'
  while [[ $all =~ $pattern ]]; do
    start_helper "${BASH_REMATCH[1]}"
    SERVERS+=("$HELPER_PID")
    all=${all//${BASH_REMATCH[0]}/}
    EXPECT=("${EXPECT[@]//${BASH_REMATCH[0]}/$HOST}")
    VARS=("${VARS[@]//${BASH_REMATCH[0]}/$HOST}")
  done
}
after_row() {
  local pid
  for pid in "${SERVERS[@]}"; do
    kill "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
  done
}

# terminal, EXPECTED "BYTES": what qovant shows on a pseudo-terminal from
# script(1), standard output and standard error together, byte for byte
# (BYTES as printf's %b reads them; the pty turns "\n" to "\r\n").
expect_terminal() {
  env "${VARS[@]}" SHELL=/bin/sh script -qec "$QOVANT ${SEARCH[0]}" /dev/null \
    > "$TMP/$1.out" 2> "$TMP/$1.err" < /dev/null
  printf '%b' "${EXPECT[0]}" > "$TMP/$1.expected"
  bytes "$1" "the terminal's bytes" "$TMP/$1.out" "$TMP/$1.expected" && pass "$1"
}

# A row's qovant runs in at most LIMIT_KIB KiB of address space (not under
# AddressSanitizer, which needs terabytes of address space for itself).
SANITIZED=${QOVANT_SANITIZED:-}
if [ -z "$SANITIZED" ]; then
  printf '#!/bin/bash\nulimit -v "${LIMIT_KIB:-unlimited}" && exec "%s" "$@"\n' "$QOVANT" > limited
  chmod +x limited
  QOVANT=$TMP/limited
fi

T="Timed out (-5)"
WHOLE_LOAD="the tree was not read within DIRCLIENT_LOAD_TIMEOUT"
REFERENCE="qovant: not searched: search reference to ldap://far.example/ou=Far,o=H ldap://127.0.0.1:1/ou=Far,o=H: that part of the tree is on another server"
STALLS="ldap://@connect-stall/o=H ldap://@connect-stall/o=H ldap://@connect-stall/o=H ldap://@connect-stall/o=H"
mkdir huge && printf 'TIMEOUT 9300000000\nNETWORK_TIMEOUT 9300000000\n' > huge/.ldaprc
rows "$REPO/tests/ldap/hostile.rows"
# Entries without end, with DNs of 50 KB, in 200 MiB of address space: one
# clean failure, not std::bad_alloc's abort.
if [ -n "$SANITIZED" ]; then
  skip "no address-space limit under a sanitizer" out-of-memory
else
  rows <<<'out-of-memory | fail | FFFFFD93 "qovant: ldap://@flood/o=H: out of memory while loading the tree" | needle | DIRCLIENT_TREE=ldap://@flood/o=H LIMIT_KIB=200000 DIRCLIENT_LOAD_TIMEOUT=20'
fi

finish
