#!/bin/bash
# The sample tree over LDAP: two naming contexts (o=Acme and the dc-style
# dc=example,dc=com), aliases, base DNs in the URI, the configured server,
# ldapi with SASL EXTERNAL, and the start-up failures that need no data.
#   sample.sh QOVANT REPO
QOVANT=$1 REPO=$2
. "$(dirname "$0")/lib.sh"

SAMPLE=$REPO/examples/acme.ldif
conf_head < /dev/null
conf_database o=Acme < /dev/null
conf_database dc=example,dc=com < /dev/null
ldif_subtree "$SAMPLE" o=Acme > acme.ldif
ldif_subtree "$SAMPLE" dc=example,dc=com > example.ldif
load o=Acme acme.ldif
load dc=example,dc=com example.ldif
start_slapd

ldif_subtree "$SAMPLE" "ou=Build Farm,ou=Engineering,o=Acme" > build-farm.ldif
ldif_subtree "$SAMPLE" "ou=People,dc=example,dc=com" > people.ldif

# Both naming contexts, in the root DSE's order, as the whole sample file.
expect_same contexts-all "$SAMPLE" "" DIRCLIENT_TREE="ldap://127.0.0.1:$PORT/"
expect_same contexts-map "$SAMPLE" map DIRCLIENT_TREE="ldap://127.0.0.1:$PORT"
expect_same upper-case-scheme "$SAMPLE" "" DIRCLIENT_TREE="LDAP://127.0.0.1:$PORT/"
# A base DN in the URI: its subtree, still named from [Root].
expect_same base-escaped build-farm.ldif "" \
  DIRCLIENT_TREE="ldap://127.0.0.1:$PORT/ou=Build%20Farm,ou=Engineering,o=Acme"
expect_same base-dc-suffix example.ldif "" DIRCLIENT_TREE="ldap://127.0.0.1:$PORT/dc=example,dc=com"
expect_same base-below-dc people.ldif "" \
  DIRCLIENT_TREE="ldap://127.0.0.1:$PORT/ou=People,dc=example,dc=com??sub?(cn=ignored)"
# Over ldapi the client binds with SASL EXTERNAL.
expect_same ldapi-external "$SAMPLE" "" DIRCLIENT_TREE="$LDAPI_URI"
# Unset: libldap's own configuration names the server and the base.
expect_same configured-uri "$SAMPLE" "" LDAPURI="ldap://127.0.0.1:$PORT/"
expect_same configured-base build-farm.ldif "" LDAPURI="ldap://127.0.0.1:$PORT/" \
  LDAPBASE="ou=Build Farm,ou=Engineering,o=Acme"
# libldap splits a configured URI list at commas: a base DN's are %2C.
printf 'URI ldap://127.0.0.1:%s/ou=People%%2Cdc=example%%2Cdc=com\n' "$PORT" > ldaprc
# Named by a file of the working directory, the server is announced.
SAME_ERR="qovant: server set by ldaprc in the working directory: ldap://127.0.0.1:$PORT/ou=People%2Cdc=example%2Cdc=com" \
  expect_same configured-ldaprc people.ldif ""
rm ldaprc

# Failures: status, the start-up message, one line on standard error.
expect_failure base-missing FFFFFBF8 \
  "qovant: ldap://127.0.0.1:$PORT/o=Nowhere: No such object (32)" \
  "" DIRCLIENT_TREE="ldap://127.0.0.1:$PORT/o=Nowhere"
expect_failure bad-extension FFFFFD83 \
  "qovant: ldap://127.0.0.1:$PORT/????!x-unknown: unsupported critical extension !x-unknown" \
  "" DIRCLIENT_TREE="ldap://127.0.0.1:$PORT/????!x-unknown"
# LDAPNOINIT: not even this machine's ldap.conf may name a server.
expect_failure not-configured FFFFFD8A \
  "qovant: no directory tree configured: set DIRCLIENT_TREE to an LDIF file or an ldap://, ldaps:// or ldapi:// URI, or name a server in ldap.conf (URI)" \
  "" LDAPNOINIT=1
stop_slapd
expect_failure unreachable FFFFFC7B \
  "qovant: ldap://127.0.0.1:$PORT/: Can't contact LDAP server (-1)" \
  "" DIRCLIENT_TREE="ldap://127.0.0.1:$PORT/"

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
expect_same own-spelling spelling-children-first.ldif "" DIRCLIENT_TREE="ldap://127.0.0.1:$PORT/"
stop_slapd
finish
