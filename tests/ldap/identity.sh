#!/bin/bash
# Where the password goes: only with a bind DN, never in clear over a
# network unless the user allows it, never on the word of a working-folder
# ldaprc that someone else could have written, and never from a password
# file of another user. What the working folder chose is said on standard
# error.
# The plain-text rows need an address that is not loopback. The case runs in
# a network namespace of its own, which has no network at all, and gives
# its loopback interface one more address, from a range kept for
# documentation (RFC 5737), which is not a loopback address.
if [ -z "${IDENTITY_NETNS:-}" ] && [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
  exec env IDENTITY_NETNS=1 unshare -n bash "$0" "$@"
fi
HOST_ADDR=
if [ -n "${IDENTITY_NETNS:-}" ]; then
  ip link set lo up && ip addr add 198.51.100.7/32 dev lo && HOST_ADDR=198.51.100.7
fi
. "$(dirname "$0")/lib.sh"
conf_head < /dev/null
conf_database o=Acme < /dev/null
load o=Acme acme.ldif "$REPO/examples/acme.ldif"
start_slapd

URI="ldap://127.0.0.1:$PORT/"
PW=DIRCLIENT_PASSWORD_FILE="$TMP/password"
REFUSED="; configuration from the working directory is refused with a password file"

OWN="qovant: server set by ldaprc in the working directory: $URI"
NO_DN="qovant: $TMP/password: a password needs a bind DN: set BINDDN in ~/.ldaprc, or LDAPBINDDN"
rows < "$REPO/tests/ldap/identity.rows"
if [ -n "$HOST_ADDR" ]; then
  NET="ldap://$HOST_ADDR:$PORT/"
  CLEAR="qovant: $NET: simple bind refused: the password would cross the network in clear (use ldaps:// or StartTLS, or set DIRCLIENT_PLAINTEXT_BIND=allow)"
  rows < "$REPO/tests/ldap/identity-plaintext.rows"
else
  skip "no network namespace of our own (needs root)" \
    $(sed -n 's/^\(plaintext-[a-z-]*\).*/\1/p' "$REPO/tests/ldap/identity-plaintext.rows")
fi

# A working folder apart from HOME, as a project folder would be. An ldaprc
# of the user's own may choose both server and bind DN; each is announced.
mkdir work && cd work || exit 1
printf 'URI %s\nBINDDN cn=admin,o=Acme\n' "$URI" > ldaprc
chmod 600 ldaprc
OWN_BOTH="$OWN
qovant: bind DN set by ldaprc in the working directory: cn=admin,o=Acme"
rows <<<'ldaprc-own | same | $TMP/acme.ldif "$OWN_BOTH" | map | $PW'
# Written by someone else, it is refused before anything is sent...
for row in group-writable:664 others-writable:602; do
  chmod "${row#*:}" ldaprc
  rows <<<"ldaprc-${row%:*} | fail | FFFFFD7D \"qovant: ldaprc: writable by group or others (mode 0${row#*:})\$REFUSED\" | map | \$PW"
done
chmod 600 ldaprc
if [ "$(id -u)" = 0 ]; then
  chown nobody ldaprc
  rows <<<'ldaprc-other-owner | fail | FFFFFD7D "qovant: ldaprc: owned by uid $(id -u nobody), not yours (uid 0)$REFUSED" | map | $PW'
  chown 0 ldaprc
  printf 'secret\n' > "$TMP/nobodys"
  chmod 600 "$TMP/nobodys"
  chown nobody "$TMP/nobodys"
  rows <<<"password-other-owner | fail | FFFFFD7F \"qovant: \$TMP/nobodys: owned by uid \$(id -u nobody), neither yours (uid 0) nor root's\" | map | DIRCLIENT_TREE=\$URI LDAPBINDDN=cn=admin,o=Acme DIRCLIENT_PASSWORD_FILE=\$TMP/nobodys"
else
  skip "not root" ldaprc-other-owner password-other-owner
fi
# libldap reads ./.ldaprc only as HOME's: when the working folder is HOME.
mv ldaprc .ldaprc
chmod 620 .ldaprc
rows <<<'dot-ldaprc-at-home | fail | FFFFFD7D "qovant: $TMP/work/.ldaprc: writable by group or others (mode 0620)$REFUSED" | map | $PW HOME=$TMP/work'
mv .ldaprc ldaprc
# ...but without a password it only names the server.
chmod 664 ldaprc
rows <<<'ldaprc-anonymous | same | $TMP/acme.ldif "$OWN" | map'
rm ldaprc
finish
