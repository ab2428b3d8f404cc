#!/bin/bash
# Server limits and server faults while the tree is read: a per-request
# size limit below the size of a container, with paging left unlimited, must
# still list every entry; a total size limit that cuts the read, and a
# server killed part way through, must fail the run with the server's own
# message, never pass for the tree. (A server that stops answering is
# paging.sh's stalled row; a time limit is a row of hostile.sh: slapd's
# own, checked in whole seconds against a frozen server, passed or not by
# chance.)
. "$(dirname "$0")/lib.sh"

LC_ALL=C awk -v units=10 -v users=1200 -f "$REPO/tests/ldap/make_paged_tree.awk" > generated.ldif
# Right below the top, 600 entries with scripts of 10 KB: the first page
# then outgrows any socket buffer, so a server killed at its start is killed
# in the middle of it.
{
  awk 'BEGIN { RS = ""; ORS = "\n\n" } NR == 1' generated.ldif
  printf 'dn: ou=Big,o=Paged\nobjectClass: organizationalUnit\nou: Big\n\n'
  padding=$(head -c 10000 /dev/zero | tr '\0' x)
  for i in $(seq 600); do
    printf 'dn: cn=big%d,ou=Big,o=Paged\nobjectClass: person\nobjectClass: loginScriptHolder\ncn: big%d\nsn: big\nloginScript: map big%d %s\n\n' \
      "$i" "$i" "$i" "$padding"
  done
  awk 'BEGIN { RS = ""; ORS = "\n\n" } NR > 1' generated.ldif
} > paged.ldif
# Identities with limits of their own (below), all with the password "secret".
for who in paged capped; do
  printf 'dn: cn=%s,o=Paged\nobjectClass: person\ncn: %s\nsn: %s\nuserPassword: secret\n\n' \
    "$who" "$who" "$who" >> paged.ldif
done
conf_head <<'CONF'
sizelimit 100
CONF
conf_database o=Paged <<'CONF'
limits dn.exact="cn=paged,o=Paged" size.soft=100 size.hard=100 size.prtotal=unlimited
limits dn.exact="cn=capped,o=Paged" size.soft=100 size.hard=100 size.prtotal=5000
access to * by * read
CONF
load o=Paged paged.ldif
start_slapd
URI="ldap://127.0.0.1:$PORT/"
PAGED=(LDAPBINDDN=cn=paged,o=Paged DIRCLIENT_PASSWORD_FILE="$TMP/password")
CAPPED=(LDAPBINDDN=cn=capped,o=Paged DIRCLIENT_PASSWORD_FILE="$TMP/password")

rows "$REPO/tests/ldap/limits.rows"

# Killed (SIGKILL) in the middle of a page.
start_proxy sigkill 50000 "$SLAPD_PID"
rows <<<'server-killed | fail | FFFFFC7B "qovant: $PROXY_URI: $NO_CONTACT" | "" | DIRCLIENT_TREE=$PROXY_URI "${PAGED[@]}"'
wait "$PROXY_PID"
finish
