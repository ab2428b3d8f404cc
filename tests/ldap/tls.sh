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

rows "$REPO/tests/ldap/tls.rows"
printf 'TLS_REQCERT allow\n' > ldaprc
rows <<<'starttls-reqcert-allow | same | acme.ldif "qovant: warning: TLS_REQCERT allow: $NOT_CHECKED" | "" | "DIRCLIENT_TREE=$PLAIN/????StartTLS"'
rm ldaprc
# The CA from a file named by LDAPCONF, as qovant hands it on to libldap.
printf 'TLS_CACERT %s\n' "$TMP/ca.pem" > trust.conf
rows <<<'ldaps-trusted-by-ldapconf | same | acme.ldif | "" | DIRCLIENT_TREE=$LDAPS LDAPCONF=$TMP/trust.conf'

# Entries of about 100 KB (a script of 1000 lines, "needle" on one of them),
# each larger than the read-ahead buffer's 64 KiB below TLS; in a database
# of their own, added once the rows above, which read every database, ran.
{
  printf 'dn: o=Big\nobjectClass: organization\no: Big\n\n'
  for i in $(seq 40); do
    printf 'dn: cn=e%d,o=Big\nobjectClass: person\nobjectClass: loginScriptHolder\ncn: e%d\nsn: e\nloginScript:: ' "$i" "$i"
    awk -v i="$i" 'BEGIN { for (l = 0; l < 1000; l++)
      printf "REM %d line %d %s %088d\r\n", i, l, l == (i * 37) % 550 ? "needle" : "hay", l }' | base64 -w0
    printf '\n\n'
  done
} > big.ldif
stop_slapd
conf_database o=Big < /dev/null
load o=Big big.ldif
start_slapd tls
LDAPS="ldaps://127.0.0.1:$TLS_PORT/" PLAIN="ldap://127.0.0.1:$PORT"
rows <<'ROWS'
big-ldaps    | same | big.ldif | needle | DIRCLIENT_TREE=${LDAPS}o=Big "${TRUST[@]}"
big-starttls | same | big.ldif | needle | "DIRCLIENT_TREE=$PLAIN/o=Big????StartTLS" "${TRUST[@]}"
ROWS
finish
