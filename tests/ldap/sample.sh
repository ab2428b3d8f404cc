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
finish
