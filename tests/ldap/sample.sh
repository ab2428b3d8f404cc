#!/bin/bash
# The sample tree over LDAP: two naming contexts (o=Acme and the dc-style
# dc=example,dc=com), aliases, base DNs in the URI, the configured server,
# ldapi with SASL EXTERNAL, and the start-up failures that need no data.
. "$(dirname "$0")/lib.sh"

SAMPLE=$REPO/examples/acme.ldif
conf_head < /dev/null
conf_database o=Acme < /dev/null
conf_database dc=example,dc=com < /dev/null
load o=Acme acme.ldif "$SAMPLE"
load dc=example,dc=com example.ldif "$SAMPLE"
start_slapd

ldif_pick "$SAMPLE" "ou=Build Farm,ou=Engineering,o=Acme" in > build-farm.ldif
ldif_pick "$SAMPLE" "ou=People,dc=example,dc=com" in > people.ldif

L=ldap://127.0.0.1:$PORT
rows "$REPO/tests/ldap/sample.rows"
# libldap splits a configured URI list at commas (a base DN's are %2C); named
# by a file of the working directory, the server is announced.
printf 'URI %s/ou=People%%2Cdc=example%%2Cdc=com\n' "$L" > ldaprc
rows <<<'configured-ldaprc | same | people.ldif "qovant: server set by ldaprc in the working directory: $L/ou=People%2Cdc=example%2Cdc=com" | ""'
rm ldaprc
stop_slapd
rows <<<'unreachable | fail | FFFFFC7B "qovant: $L/: $NO_CONTACT" | "" | DIRCLIENT_TREE=$L/'

# A server holds each entry as it was added, parents first. An export may
# list children first and spell their parents otherwise; each object still
# takes its own entry's spelling, as over the server.
rm -rf "$TMP"/db*
conf_head < /dev/null
conf_database o=Spelling < /dev/null
entries() {
  printf 'dn: %s\nobjectClass: %s\nobjectClass: loginScriptHolder\nloginScript: map %s\n\n' "$@"
}
entries o=Spelling organization top "ou=Sales,o=Spelling" organizationalUnit unit \
  "cn=Ann,ou=Sales,o=Spelling" organizationalRole ann > spelling.ldif
entries "cn=Ann,OU=SALES,O=SPELLING" organizationalRole ann "ou = Sales , o=spelling" organizationalUnit unit \
  o=Spelling organization top > spelling-children-first.ldif
load o=Spelling spelling.ldif
start_slapd
rows <<<'own-spelling | same | spelling-children-first.ldif | "" | DIRCLIENT_TREE=ldap://127.0.0.1:$PORT/'
stop_slapd
finish
