#!/bin/bash
# TLS as libldap's configuration sets it: ldaps://, StartTLS asked for by the
# URI's extension (critical or not, by name or OID), certificate checks on
# unless the configuration turns them off, and never a silent fall-back to
# plain text. The server takes nothing but TLS (or ldapi) for operations.
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
load o=Acme acme.ldif "$REPO/examples/acme.ldif"
start_slapd tls

TRUST=(LDAPTLS_CACERT="$TMP/ca.pem")
PLAIN="ldap://127.0.0.1:$PORT"
LDAPS="ldaps://127.0.0.1:$TLS_PORT/"
NOT_CHECKED="the server's certificate is not checked"

rows <<'ROWS'
ldaps-trusted       | same | acme.ldif | "" | DIRCLIENT_TREE=$LDAPS "${TRUST[@]}"
starttls-critical   | same | acme.ldif | "" | "DIRCLIENT_TREE=$PLAIN/????!StartTLS" "${TRUST[@]}"
starttls-oid        | same | acme.ldif | "" | "DIRCLIENT_TREE=$PLAIN/????1.3.6.1.4.1.1466.20037" "${TRUST[@]}"
starttls-with-base  | same | acme.ldif | "" | "DIRCLIENT_TREE=$PLAIN/o=Acme????StartTLS" "${TRUST[@]}"
# The configuration may turn the checks off, never silently; the client
# itself never does.
ldaps-reqcert-never | same | acme.ldif "qovant: warning: TLS_REQCERT never: $NOT_CHECKED" | "" | DIRCLIENT_TREE=$LDAPS LDAPTLS_REQCERT=never
# Without the CA the certificate is refused, over ldaps and over StartTLS,
# and StartTLS not marked critical is no reason to go on in plain text.
# (libldap's text for a refused certificate says little: only its start is
# checked.)
ldaps-untrusted     | starts | FFFFFC7B "qovant: $LDAPS: $NO_CONTACT" | "" | DIRCLIENT_TREE=$LDAPS
starttls-untrusted  | starts | FFFFFC71 "qovant: $PLAIN/????StartTLS: StartTLS: Connect error (-11)" | "" | "DIRCLIENT_TREE=$PLAIN/????StartTLS"
starttls-critical-untrusted | starts | FFFFFC71 "qovant: $PLAIN/????!StartTLS: StartTLS: Connect error (-11)" | "" | "DIRCLIENT_TREE=$PLAIN/????!StartTLS"
# Plain text is refused by this server: what passed above went over TLS.
plain-refused       | fail | FFFFFC0B "qovant: $PLAIN/: Confidentiality required (13): confidentiality required" | "" | DIRCLIENT_TREE=$PLAIN/
ROWS
printf 'TLS_REQCERT allow\n' > ldaprc
rows <<<'starttls-reqcert-allow | same | acme.ldif "qovant: warning: TLS_REQCERT allow: $NOT_CHECKED" | "" | "DIRCLIENT_TREE=$PLAIN/????StartTLS"'
rm ldaprc
finish
