#!/bin/bash
# A tree of many pages: read whole by an identity without limits; cut by
# the server's size limit (slapd's default 500 for everyone else), a
# refused bind, password files that are refused, and a server that stalls,
# drops the connection or is stopped part way through the read.
. "$(dirname "$0")/lib.sh"

LC_ALL=C awk -v units=10 -v users=1200 -f "$REPO/tests/ldap/make_paged_tree.awk" > paged.ldif
conf_head < /dev/null
conf_database o=Paged < /dev/null
load o=Paged paged.ldif
start_slapd

URI="ldap://127.0.0.1:$PORT/"
ADMIN=(LDAPBINDDN=cn=admin,o=Paged DIRCLIENT_PASSWORD_FILE="$TMP/password")

printf 'wrong\n' > wrong
printf '\n' > empty
chmod 600 wrong empty
for mode in 644 640 604 620 602; do printf 'secret\n' > "loose$mode" && chmod "$mode" "loose$mode"; done

rows "$REPO/tests/ldap/paging.rows"

# The first page is half through when the server stops answering.
start_proxy stall 50000
rows <<<'stalled | fail | FFFFFC77 "qovant: $PROXY_URI: Timed out (-5): no answer from the server within 2 s" | "" | DIRCLIENT_TREE=$PROXY_URI LDAPTIMEOUT=2 "${ADMIN[@]}"'
wait "$PROXY_PID"
# After the first page, the connection is dropped as the next page is asked
# for: the run still ends with the message, not killed by SIGPIPE.
start_proxy hangup 50000
rows <<<'connection-dropped | fail | FFFFFC7B "qovant: $PROXY_URI: $NO_CONTACT" | "" | DIRCLIENT_TREE=$PROXY_URI "${ADMIN[@]}"'
wait "$PROXY_PID"
# After the first page, the request for the next one stops slapd (by PID).
start_proxy kill 50000 "$SLAPD_PID"
rows <<<'server-stopped | fail | FFFFFC7B "qovant: $PROXY_URI: $NO_CONTACT" | "" | DIRCLIENT_TREE=$PROXY_URI "${ADMIN[@]}"'
wait "$PROXY_PID"
finish
