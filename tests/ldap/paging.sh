#!/bin/bash
# A tree of many pages: read whole by an identity without limits; cut by
# the server's size limit (slapd's default 500 for everyone else), a
# refused bind, password files that are refused, and a server that stalls,
# drops the connection or is stopped part way through the read.
#   paging.sh QOVANT REPO FAULT_PROXY
QOVANT=$1 REPO=$2 PROXY=$3
. "$(dirname "$0")/lib.sh"

LC_ALL=C awk -v units=10 -v users=1200 -f "$REPO/tests/ldap/make_paged_tree.awk" > paged.ldif
conf_head < /dev/null
conf_database o=Paged < /dev/null
load o=Paged paged.ldif
start_slapd

URI="ldap://127.0.0.1:$PORT/"
ADMIN=(LDAPBINDDN=cn=admin,o=Paged DIRCLIENT_PASSWORD_FILE="$TMP/password")
printf 'secret\n' > password
chmod 600 password

# The rootdn has no size limit: 12,035 entries over 13 pages. The top entry
# and four users in six have a script that is not empty.
expect_same paged-all paged.ldif "" DIRCLIENT_TREE="$URI" "${ADMIN[@]}"
expect_lines paged-all 8001
expect_same paged-map paged.ldif map DIRCLIENT_TREE="$URI" "${ADMIN[@]}"

# Everybody else stops at 500 entries, which is never taken for the tree.
expect_failure over-size-limit FFFFFC14 "qovant: $URI: Size limit exceeded (4)" \
  "" DIRCLIENT_TREE="$URI"
expect_failure over-size-limit-external FFFFFC14 "qovant: $LDAPI_URI: Size limit exceeded (4)" \
  "" DIRCLIENT_TREE="$LDAPI_URI"

# Identity failures.
printf 'wrong\n' > wrong
chmod 600 wrong
expect_failure bind-refused FFFFFBE7 \
  "qovant: $URI: simple bind as BINDDN: Invalid credentials (49)" \
  "" DIRCLIENT_TREE="$URI" LDAPBINDDN=cn=admin,o=Paged DIRCLIENT_PASSWORD_FILE="$TMP/wrong"
for mode in 644 640 604 620 602; do
  printf 'secret\n' > "loose$mode"
  chmod "$mode" "loose$mode"
  expect_failure "password-mode-$mode" FFFFFD85 \
    "qovant: $TMP/loose$mode: permissions 0$mode are too open: group and others must have no access (chmod 600)" \
    "" DIRCLIENT_TREE="$URI" LDAPBINDDN=cn=admin,o=Paged DIRCLIENT_PASSWORD_FILE="$TMP/loose$mode"
done
printf '\n' > empty
chmod 600 empty
expect_failure password-empty FFFFFD84 "qovant: $TMP/empty: holds no password" \
  "" DIRCLIENT_TREE="$URI" LDAPBINDDN=cn=admin,o=Paged DIRCLIENT_PASSWORD_FILE="$TMP/empty"
expect_failure password-missing FFFFFD86 "qovant: $TMP/absent: No such file or directory" \
  "" DIRCLIENT_TREE="$URI" LDAPBINDDN=cn=admin,o=Paged DIRCLIENT_PASSWORD_FILE="$TMP/absent"


# The first page is half through when the server stops answering.
start_proxy stall 50000
expect_failure stalled FFFFFC77 \
  "qovant: $PROXY_URI: Timed out (-5): no answer from the server within 2 s" \
  "" DIRCLIENT_TREE="$PROXY_URI" LDAPTIMEOUT=2 "${ADMIN[@]}"
wait "$PROXY_PID"

# After the first page, the connection is dropped as the next page is asked
# for: the run still ends with the message, not killed by SIGPIPE.
start_proxy hangup 50000
expect_failure connection-dropped FFFFFC7B \
  "qovant: $PROXY_URI: Can't contact LDAP server (-1)" \
  "" DIRCLIENT_TREE="$PROXY_URI" "${ADMIN[@]}"
wait "$PROXY_PID"

# After the first page, the request for the next one stops slapd (by PID).
start_proxy kill 50000 "$SLAPD_PID"
expect_failure server-stopped FFFFFC7B \
  "qovant: $PROXY_URI: Can't contact LDAP server (-1)" \
  "" DIRCLIENT_TREE="$PROXY_URI" "${ADMIN[@]}"
wait "$PROXY_PID"
finish
