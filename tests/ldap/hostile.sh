#!/bin/bash
# What a server sends and how long a read may take, against a hostile server
# of the tests' own (hostile_server.cc): each row plays one scenario to one
# qovant run and expects its exact standard error and exit status. Stalls
# end by qovant's own bounds (the whole load's DIRCLIENT_LOAD_TIMEOUT, or
# NETWORK_TIMEOUT for a connection, TLS handshake included); caps fail with
# the limit named; memory running out is a clean failure; a reference is a
# part not searched.
#   hostile.sh QOVANT REPO HOSTILE_SERVER
QOVANT=$1 REPO=$2 SERVER=$3
. "$(dirname "$0")/lib.sh"

# start_server SCENARIO: sets HOST (127.0.0.1:port) and SERVER_PID.
start_server() {
  rm -f "$TMP/server.port"
  "$SERVER" "$TMP/server.port" "$1" &
  SERVER_PID=$!
  local wait
  for wait in $(seq 50); do
    [ -s "$TMP/server.port" ] && { HOST="127.0.0.1:$(cat "$TMP/server.port")"; return 0; }
    sleep 0.1
  done
  echo "the hostile server did not start" >&2
  exit 1
}
stop_server() {
  kill "$SERVER_PID" 2> /dev/null
  wait "$SERVER_PID" 2> /dev/null
}

# QOVANT for a row run in at most LIMIT_KIB KiB of address space.
printf '#!/bin/bash\nulimit -v "$LIMIT_KIB" && exec "%s" "$@"\n' "$QOVANT" > limited
chmod +x limited
REAL_QOVANT=$QOVANT

# refused NAME SCENARIO URI STATUS TEXT [VAR=VALUE...]: URI (its "HOST"
# replaced) fails the start-up with STATUS and "qovant: URI: TEXT".
refused() {
  local name=$1 scenario=$2 uri=$3 status=$4 text=$5
  shift 5
  start_server "$scenario"
  uri=${uri//HOST/$HOST}
  expect_failure "$name" "$status" "qovant: $uri: $text" needle DIRCLIENT_TREE="$uri" "$@"
  stop_server
}

TIMED_OUT="Timed out (-5)"
WHOLE_LOAD="the tree was not read within DIRCLIENT_LOAD_TIMEOUT"
# Stalls. A server that takes the connection and never answers the TLS
# ClientHello, over ldaps or after StartTLS: libldap with GnuTLS alone
# spins for ever there.
refused tls-stall tls-stall "ldaps://HOST/o=H" FFFFFC77 \
  "$TIMED_OUT: no connection within 1 s (TLS handshake included)" LDAPNETWORK_TIMEOUT=1
refused tls-stall-whole-load tls-stall "ldaps://HOST/o=H" FFFFFC77 \
  "$TIMED_OUT: $WHOLE_LOAD (1 s)" DIRCLIENT_LOAD_TIMEOUT=1
refused starttls-stall starttls-stall "ldap://HOST/o=H????!StartTLS" FFFFFC77 \
  "StartTLS: $TIMED_OUT: no connection within 1 s (TLS handshake included)" LDAPNETWORK_TIMEOUT=1
# A message that stops half way: TIMEOUT bounds the wait for its rest.
refused half-entry half-entry "ldap://HOST/o=H" FFFFFC77 \
  "$TIMED_OUT: no answer from the server within 1 s" LDAPTIMEOUT=1
# Reads that would never end, each wait well within TIMEOUT.
refused cookie-fresh cookie-fresh "ldap://HOST/o=H" FFFFFC77 \
  "$TIMED_OUT: $WHOLE_LOAD (1 s)" DIRCLIENT_LOAD_TIMEOUT=1
refused slow-entries slow-entries "ldap://HOST/o=H" FFFFFC77 \
  "$TIMED_OUT: $WHOLE_LOAD (2 s)" DIRCLIENT_LOAD_TIMEOUT=2
# Broken paging: A, B, A is caught at the third page, not only A, A.
refused cookie-cycle cookie-cycle "ldap://HOST/o=H" FFFFFD81 \
  "the server sent a paged results cookie it had sent before"
refused big-page big-page "ldap://HOST/o=H" FFFFFD81 \
  "protocol error: the server sent more than the 1000 entries asked for"
# Caps. A header that claims 2 GiB is refused before anything is allocated
# for it, with nothing more sent (no timeout either).
refused big-message big-message "ldap://HOST/o=H" FFFFFD7B \
  "the server sent a message over the largest incoming message (16777216 bytes)"
refused big-dn big-dn "ldap://HOST/o=H" FFFFFD7B \
  "the server sent a DN of 69999 bytes, over the largest DN (65536 bytes)"
# Entries without end, with DNs of 50 KB, in 200 MiB of address space: one
# clean failure, not std::bad_alloc's abort. (Not under AddressSanitizer,
# which needs terabytes of address space for itself; nor big-values below.)
SANITIZED=${QOVANT_SANITIZED:-}
if [ -z "$SANITIZED" ]; then
  QOVANT=$TMP/limited
  refused out-of-memory flood "ldap://HOST/o=H" FFFFFD93 "out of memory" \
    LIMIT_KIB=200000 DIRCLIENT_LOAD_TIMEOUT=20
  QOVANT=$REAL_QOVANT
fi

# A deadline that is no number of seconds is refused before connecting.
for value in 0 -1 1.5 2s 604801 99999999999999999999; do
  expect_failure "bad-deadline-$value" FFFFFD95 \
    "qovant: DIRCLIENT_LOAD_TIMEOUT: not a whole number of seconds from 1 to 604800" \
    needle DIRCLIENT_TREE=ldap://127.0.0.1:1/o=H DIRCLIENT_LOAD_TIMEOUT="$value"
done

# 200 scripts of 1 MiB each are kept to the 60000 bytes the tool reads of
# a script: they fit in 150 MiB of address space, and a text past those
# bytes ("hidden", at 70000) is found nowhere.
[ -z "$SANITIZED" ] && QOVANT=$TMP/limited
for search in needle hidden; do
  start_server big-values
  run "big-values-$search" "$search" DIRCLIENT_TREE="ldap://$HOST/o=H" LIMIT_KIB=150000
  stop_server
done
QOVANT=$REAL_QOVANT
if [ "$(cat "$TMP/big-values-needle.rc")" != 0 ] || [ -s "$TMP/big-values-needle.err" ]; then
  fail big-values-needle "exit status $(cat "$TMP/big-values-needle.rc") or standard error"
else
  expect_lines big-values-needle 201
fi
if [ "$(cat "$TMP/big-values-hidden.rc")" != 0 ] || [ -s "$TMP/big-values-hidden.out" ] ||
   [ -s "$TMP/big-values-hidden.err" ]; then
  fail big-values-hidden "found past the kept bytes, or failed"
else
  pass big-values-hidden
fi

# A continuation reference is a part not searched: said after the report,
# exit status 3. REFERRALS on in the environment does not make qovant chase
# it (one of its URLs is a closed port of this host).
reference_text="qovant: not searched: search reference to ldap://far.example/ou=Far,o=H"
reference_text+=" ldap://127.0.0.1:1/ou=Far,o=H: that part of the tree is on another server"
expect_reference() {
  if [ "$(cat "$TMP/$1.rc")" != 3 ]; then
    fail "$1" "exit status $(cat "$TMP/$1.rc"), not 3"
  elif [ "$(cat "$TMP/$1.err")" != "$reference_text" ]; then
    fail "$1" "standard error is not the one line: $reference_text"
  elif [ "$(cat "$TMP/$1.out")" != "H (TOP NEEDLE)" ]; then
    fail "$1" "the report is not the one entry searched"
  else
    pass "$1"
  fi
}
start_server reference
run reference needle DIRCLIENT_TREE="ldap://$HOST/o=H" LDAPREFERRALS=on
stop_server
expect_reference reference
# The bound of a stalled handshake ends that connection only: libldap goes
# on to the next server of the list, as it would for one that is down.
start_server tls-stall
STALLED=$HOST STALLED_PID=$SERVER_PID
start_server reference
run next-server needle DIRCLIENT_TREE="ldaps://$STALLED/o=H ldap://$HOST/o=H" LDAPNETWORK_TIMEOUT=1
stop_server
kill "$STALLED_PID" 2> /dev/null
wait "$STALLED_PID" 2> /dev/null
expect_reference next-server
finish
