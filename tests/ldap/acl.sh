#!/bin/bash
# What the bound identity may not read is absent: a container hidden with
# all below it, an entry hidden alone, whose subordinates then hang below
# an attribute-less container, as in an LDIF file without that entry, and
# the subordinates of a container, which is then listed empty. An entry
# whose attributes are hidden comes as its DN alone, as ldapsearch dumps it.
. "$(dirname "$0")/lib.sh"

ROOT_PEER="gidNumber=$(id -g)+uidNumber=$(id -u),cn=peercred,cn=external,cn=auth"
conf_head < /dev/null
conf_database o=Acme <<CONF
access to dn.children="ou=Build Farm,ou=Engineering,o=Acme" by * none
access to dn.subtree="ou=Engineering,o=Acme"
  by dn.exact="$ROOT_PEER" read
  by * none
access to dn.base="ou=Sales,o=Acme" by * none
access to dn.base="o=Acme" attrs=entry by * read
access to dn.base="o=Acme" attrs=objectClass by dn.exact="$ROOT_PEER" read by * search
access to dn.base="o=Acme" by dn.exact="$ROOT_PEER" read by * none
access to * by * read
CONF
load o=Acme acme.ldif "$REPO/examples/acme.ldif"
start_slapd

ldif_pick acme.ldif "ou=Sales,o=Acme" out > without-sales.ldif
ldif_pick without-sales.ldif "ou=Engineering,o=Acme" out-subtree > anonymous-full.ldif
ldif_pick anonymous-full.ldif o=Acme bare > anonymous.ldif
ldapsearch -x -H "ldap://127.0.0.1:$PORT/" -b o=Acme objectClass loginScript aliasedObjectName \
  > anonymous-dump.ldif || { echo "ldapsearch failed" >&2; exit 1; }

ldif_pick without-sales.ldif "cn=Dana Dunn,ou=Build Farm,ou=Engineering,o=Acme" out > external.ldif

rows "$REPO/tests/ldap/acl.rows"
finish
