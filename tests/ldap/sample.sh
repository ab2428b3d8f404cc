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
rows <<'ROWS'
# Both naming contexts, in the root DSE's order, as the whole sample file.
contexts-all      | same | "$SAMPLE" | "" | DIRCLIENT_TREE=$L/
contexts-map      | same | "$SAMPLE" | map | DIRCLIENT_TREE=$L
upper-case-scheme | same | "$SAMPLE" | "" | DIRCLIENT_TREE=LDAP://127.0.0.1:$PORT/
# A base DN in the URI: its subtree, still named from [Root].
base-escaped      | same | build-farm.ldif | "" | "DIRCLIENT_TREE=$L/ou=Build%20Farm,ou=Engineering,o=Acme"
base-dc-suffix    | same | example.ldif | "" | DIRCLIENT_TREE=$L/dc=example,dc=com
base-below-dc     | same | people.ldif | "" | "DIRCLIENT_TREE=$L/ou=People,dc=example,dc=com??sub?(cn=ignored)"
# Over ldapi the client binds with SASL EXTERNAL.
ldapi-external    | same | "$SAMPLE" | "" | DIRCLIENT_TREE=$LDAPI_URI
# Unset: libldap's own configuration names the server and the base.
configured-uri    | same | "$SAMPLE" | "" | LDAPURI=$L/
configured-base   | same | build-farm.ldif | "" | LDAPURI=$L/ "LDAPBASE=ou=Build Farm,ou=Engineering,o=Acme"
# Failures: status, the start-up message, one line on standard error.
base-missing      | fail | FFFFFBF8 "qovant: $L/o=Nowhere: No such object (32)" | "" | DIRCLIENT_TREE=$L/o=Nowhere
bad-extension     | fail | FFFFFD83 "qovant: $L/????!x-unknown: unsupported critical extension !x-unknown" | "" | "DIRCLIENT_TREE=$L/????!x-unknown"
# LDAPNOINIT: not even this machine's ldap.conf may name a server.
not-configured    | fail | FFFFFD8A "qovant: no directory tree configured: set DIRCLIENT_TREE to an LDIF file or an ldap://, ldaps:// or ldapi:// URI, or name a server in ldap.conf (URI)" | "" | LDAPNOINIT=1
ROWS
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
