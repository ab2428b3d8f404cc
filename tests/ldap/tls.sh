#!/bin/bash
# TLS as libldap's configuration sets it: ldaps://, StartTLS asked for by the
# URI's extension (critical or not, by name or OID), certificate checks on
# unless the configuration turns them off, and never a silent fall-back to
# plain text. The server takes nothing but TLS (or ldapi) for operations.
#   tls.sh QOVANT REPO
QOVANT=$1 REPO=$2
. "$(dirname "$0")/lib.sh"

# A throwaway CA and a server certificate for 127.0.0.1.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -keyout ca.key -out ca.pem -subj /CN=qovant-test-ca 2> openssl.log &&
openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
  -keyout server.key -out server.csr -subj /CN=127.0.0.1 2>> openssl.log &&
printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > server.ext &&
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
  -extfile server.ext -out server.pem 2>> openssl.log || {
  cat openssl.log >&2
  echo "could not make the test certificates" >&2
  exit 1
}

conf_head <<CONF
TLSCACertificateFile $TMP/ca.pem
TLSCertificateFile $TMP/server.pem
TLSCertificateKeyFile $TMP/server.key
security ssf=1
CONF
conf_database o=Acme < /dev/null
ldif_subtree "$REPO/examples/acme.ldif" o=Acme > acme.ldif
load o=Acme acme.ldif
start_slapd tls

TRUST=(LDAPTLS_CACERT="$TMP/ca.pem")
PLAIN="ldap://127.0.0.1:$PORT"
LDAPS="ldaps://127.0.0.1:$TLS_PORT/"

expect_same ldaps-trusted acme.ldif "" DIRCLIENT_TREE="$LDAPS" "${TRUST[@]}"
expect_same starttls-critical acme.ldif "" DIRCLIENT_TREE="$PLAIN/????!StartTLS" "${TRUST[@]}"
expect_same starttls-oid acme.ldif "" \
  DIRCLIENT_TREE="$PLAIN/????1.3.6.1.4.1.1466.20037" "${TRUST[@]}"
expect_same starttls-with-base acme.ldif "" DIRCLIENT_TREE="$PLAIN/o=Acme????StartTLS" "${TRUST[@]}"
# The configuration may turn the checks off, never silently; the client
# itself never does.
SAME_ERR="qovant: warning: TLS_REQCERT never: the server's certificate is not checked" \
  expect_same ldaps-reqcert-never acme.ldif "" DIRCLIENT_TREE="$LDAPS" LDAPTLS_REQCERT=never
printf 'TLS_REQCERT allow\n' > ldaprc
SAME_ERR="qovant: warning: TLS_REQCERT allow: the server's certificate is not checked" \
  expect_same starttls-reqcert-allow acme.ldif "" DIRCLIENT_TREE="$PLAIN/????StartTLS"
rm ldaprc

# Without the CA the certificate is refused, over ldaps and over StartTLS,
# and StartTLS not marked critical is no reason to go on in plain text.
# (libldap's text for a refused certificate says little: only its start is
# checked.)
# check_refused NAME STATUS PREFIX URI
check_refused() {
  run "$1" "" DIRCLIENT_TREE="$4"
  printf '\nNWCallsInit returned %s' "$2" > "$1.expected"
  if [ "$(cat "$1.rc")" = 1 ] && cmp -s "$1.expected" "$1.out" &&
     [ "$(wc -l < "$1.err")" = 1 ] && grep -qF "qovant: $4: $3" "$1.err"; then
    pass "$1"
  else
    fail "$1" "an untrusted certificate was not refused with $2 and $3"
  fi
}
check_refused ldaps-untrusted FFFFFC7B "Can't contact LDAP server (-1)" "$LDAPS"
check_refused starttls-untrusted FFFFFC71 "StartTLS: Connect error (-11)" "$PLAIN/????StartTLS"
check_refused starttls-critical-untrusted FFFFFC71 "StartTLS: Connect error (-11)" \
  "$PLAIN/????!StartTLS"
# Plain text is refused by this server: what passed above went over TLS.
expect_failure plain-refused FFFFFC0B \
  "qovant: $PLAIN/: Confidentiality required (13): confidentiality required" \
  "" DIRCLIENT_TREE="$PLAIN/"
finish
