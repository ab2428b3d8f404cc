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
rows <<'ROWS'
# Stalls. A server that takes the connection and never answers the TLS
# ClientHello, over ldaps or after StartTLS: libldap with GnuTLS alone
# spins for ever there.
tls-stall            | fail | FFFFFC77 "qovant: ldaps://@tls-stall/o=H: $T: no connection within 1 s (TLS handshake included)" | needle | DIRCLIENT_TREE=ldaps://@tls-stall/o=H LDAPNETWORK_TIMEOUT=1
tls-stall-whole-load | fail | FFFFFC77 "qovant: ldaps://@tls-stall/o=H: $T: $WHOLE_LOAD (1 s)" | needle | DIRCLIENT_TREE=ldaps://@tls-stall/o=H DIRCLIENT_LOAD_TIMEOUT=1
starttls-stall       | fail | FFFFFC77 "qovant: ldap://@starttls-stall/o=H????!StartTLS: StartTLS: $T: no connection within 1 s (TLS handshake included)" | needle | "DIRCLIENT_TREE=ldap://@starttls-stall/o=H????!StartTLS" LDAPNETWORK_TIMEOUT=1
# A message that stops half way: TIMEOUT bounds the wait for its rest.
half-entry   | fail | FFFFFC77 "qovant: ldap://@half-entry/o=H: $T: no answer from the server within 1 s" | needle | DIRCLIENT_TREE=ldap://@half-entry/o=H LDAPTIMEOUT=1
# Reads that would never end, each wait well within TIMEOUT.
cookie-fresh | fail | FFFFFC77 "qovant: ldap://@cookie-fresh/o=H: $T: $WHOLE_LOAD (1 s)" | needle | DIRCLIENT_TREE=ldap://@cookie-fresh/o=H DIRCLIENT_LOAD_TIMEOUT=1
slow-entries | fail | FFFFFC77 "qovant: ldap://@slow-entries/o=H: $T: $WHOLE_LOAD (2 s)" | needle | DIRCLIENT_TREE=ldap://@slow-entries/o=H DIRCLIENT_LOAD_TIMEOUT=2
# Broken paging: A, B, A is caught at the third page, not only A, A.
cookie-cycle | fail | FFFFFD81 "qovant: ldap://@cookie-cycle/o=H: the server sent a paged results cookie it had sent before" | needle | DIRCLIENT_TREE=ldap://@cookie-cycle/o=H
big-page     | fail | FFFFFD81 "qovant: ldap://@big-page/o=H: protocol error: the server sent more than the 1000 entries asked for" | needle | DIRCLIENT_TREE=ldap://@big-page/o=H
# Caps. A header that claims 2 GiB is refused before anything is allocated
# for it, with nothing more sent (no timeout either).
big-message  | fail | FFFFFD7B "qovant: ldap://@big-message/o=H: the server sent a message over the largest incoming message (16777216 bytes)" | needle | DIRCLIENT_TREE=ldap://@big-message/o=H
bad-dn       | fail | FFFFFD80 "qovant: ldap://@bad-dn/o=H: the server sent a DN that does not parse: bad dn 4500,o=H" | needle | DIRCLIENT_TREE=ldap://@bad-dn/o=H
big-dn       | fail | FFFFFD7B "qovant: ldap://@big-dn/o=H: the server sent a DN of 69999 bytes, over the largest DN (65536 bytes)" | needle | DIRCLIENT_TREE=ldap://@big-dn/o=H
# 200 scripts of 1 MiB each are kept to the 60000 bytes the tool reads of
# a script: they fit in 150 MiB of address space, and a text past those
# bytes ("hidden", at 70000) is found nowhere.
big-values-needle | lines | 201 | needle | DIRCLIENT_TREE=ldap://@big-values/o=H LIMIT_KIB=150000
big-values-hidden | exit  | 0 "" "" | hidden | DIRCLIENT_TREE=ldap://@big-values/o=H LIMIT_KIB=150000
# A continuation reference is a part not searched: said after the report,
# exit status 3. REFERRALS on in the environment does not make qovant chase
# it (one of its URLs is a closed port of this host).
reference    | exit | 3 "H (TOP NEEDLE)" "$REFERENCE" | needle | DIRCLIENT_TREE=ldap://@reference/o=H LDAPREFERRALS=on
# The bound of a stalled handshake ends that connection only: libldap goes
# on to the next server of the list, as it would for one that is down.
next-server  | exit | 3 "H (TOP NEEDLE)" "$REFERENCE" | needle | "DIRCLIENT_TREE=ldaps://@tls-stall/o=H ldap://@reference/o=H" LDAPNETWORK_TIMEOUT=1
ROWS
# Entries without end, with DNs of 50 KB, in 200 MiB of address space: one
# clean failure, not std::bad_alloc's abort.
[ -n "$SANITIZED" ] ||
  rows <<<'out-of-memory | fail | FFFFFD93 "qovant: ldap://@flood/o=H: out of memory" | needle | DIRCLIENT_TREE=ldap://@flood/o=H LIMIT_KIB=200000 DIRCLIENT_LOAD_TIMEOUT=20'

# A deadline that is no number of seconds is refused before connecting.
rows < <(for value in 0 -1 1.5 2s 604801 99999999999999999999; do
  echo "bad-deadline-$value | fail | FFFFFD95 \"qovant: DIRCLIENT_LOAD_TIMEOUT: not a whole number of seconds from 1 to 604800\" | needle | DIRCLIENT_TREE=ldap://127.0.0.1:1/o=H DIRCLIENT_LOAD_TIMEOUT=$value"
done)
finish
