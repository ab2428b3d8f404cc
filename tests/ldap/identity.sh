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
mkdir conf && printf 'BINDDN cn=admin,o=Acme\n' > conf/binddn.rc

# The stalled rows look at a qovant held up in the read of the tree.
# /proc/PID/status belongs to
# qovant's user while qovant is dumpable and to root while it is not: a
# root run of the case runs qovant as nobody, from a copy it can read.
PEER_QOVANT=$QOVANT PEER_PW=$TMP/password AS=()
if [ "$(id -u)" = 0 ]; then
  chmod 711 "$TMP" && mkdir -m 755 "$TMP/peer" && cp "$QOVANT" "$TMP/peer/" &&
    cp -p password "$TMP/peer/password" && chown nobody "$TMP/peer/password" || exit 1
  PEER_QOVANT=$TMP/peer/$(basename "$QOVANT") PEER_PW=$TMP/peer/password
  AS=(setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups)
fi
# stalled, EXPECTED "DUMPABLE BASE HELPER...": held up in the read of BASE
# by the tests' server (hostile_server.cc, run with HELPER...), qovant is
# ("yes") or is not ("no") dumpable; and (read as root, not under the
# sanitizers' terabytes of shadow memory) its memory holds
# no copy of the password file's "secret\n": qovant's was wiped. (libldap's
# encoded bind request, which it frees unwiped, has "\x80\x06secret".)
expect_stalled() {
  start_helper "${EXPECT[@]:2}"
  "${AS[@]}" env "${VARS[@]}" DIRCLIENT_TREE="ldap://$HOST/${EXPECT[1]}" "$PEER_QOVANT" "$SEARCH" \
    > "$TMP/$1.out" 2> "$TMP/$1.err" < /dev/null &
  local pid=$! wait threads=0 owner unwiped=0
  # The thread that builds the tree starts after the bind, with the read.
  for wait in $(seq 100); do
    threads=$(sed -n 's/^Threads:\t//p' "/proc/$pid/status")
    [ "${threads:-0}" -ge 3 ] && break
    sleep 0.1
  done
  owner=$(stat -c %u "/proc/$pid/status")
  if [ "$(id -u)" = 0 ] && [ -z "${QOVANT_SANITIZED:-}" ]; then
    local range perms rest
    unwiped=$(while read -r range perms rest; do
        [ "${perms:1:1}" = w ] || continue
        dd if="/proc/$pid/mem" bs=4096 skip=$((16#${range%-*} / 4096)) status=none \
          count=$(((16#${range#*-} - 16#${range%-*}) / 4096)) 2> /dev/null
      done < "/proc/$pid/maps" | LC_ALL=C grep -ca 'secret$')
  fi
  kill "$pid" "$HELPER_PID"
  wait "$pid" "$HELPER_PID" 2> /dev/null
  local dumpable=no
  [ "$owner" = 0 ] || dumpable=yes
  { [ "${threads:-0}" -ge 3 ] || fail "$1" "not held up in the read ($threads threads)"; } &&
    is "$1" "dumpable" "$dumpable" "${EXPECT[0]}" &&
    is "$1" "unwiped copies of the password" "$unwiped" 0 && pass "$1"
}
rows "$REPO/tests/ldap/identity.rows"
if [ -n "$HOST_ADDR" ]; then
  NET="ldap://$HOST_ADDR:$PORT/"
  CLEAR="qovant: $NET: simple bind refused: the password would cross the network in clear (use ldaps:// or StartTLS, or set DIRCLIENT_PLAINTEXT_BIND=allow)"
  rows "$REPO/tests/ldap/identity-plaintext.rows"
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
# What decides and what is used come from one read: libldap opens no file
# itself, so nothing can swap ./ldaprc between its read and qovant's check.
# opens, EXPECTED as same's, then FILE: FILE is opened once in the run, by
# qovant's open that does not wait. (LeakSanitizer cannot trace a process
# that strace traces.)
expect_opens() {
  printf '#!/bin/bash\nASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0 exec strace -f -qq -e trace=open,openat -o "%s" "%s" "$@"\n' \
    "$TMP/$1.trace" "$QOVANT" > "$TMP/traced"
  chmod +x "$TMP/traced"
  QOVANT=$TMP/traced expect_same "$1" &&
    is "$1" "opens of ${EXPECT[2]}" "$(grep "\"${EXPECT[2]}\"" "$TMP/$1.trace" | grep -c O_NONBLOCK)/$(grep -c "\"${EXPECT[2]}\"" "$TMP/$1.trace")" 1/1 &&
    pass "$1-opened-once"
}
if command -v strace > /dev/null; then
  rows <<<'ldaprc-one-read | opens | $TMP/acme.ldif "$OWN_BOTH" ldaprc | map | $PW'
else
  skip "no strace" ldaprc-one-read
fi
# Written by someone else, it is refused before anything is sent...
for row in group-writable:664 others-writable:602; do
  chmod "${row#*:}" ldaprc
  rows <<<"ldaprc-${row%:*} | fail | FFFFFD7D \"qovant: ldaprc: writable by group or others (mode 0${row#*:})\$REFUSED\" | map | \$PW"
done
chmod 600 ldaprc
if [ "$(id -u)" = 0 ]; then
  NOBODY=$(id -u nobody)
  chown nobody ldaprc
  rows <<<'ldaprc-other-owner | fail | FFFFFD7D "qovant: ldaprc: owned by uid $NOBODY, not yours (uid 0)$REFUSED" | map | $PW'
  chown 0 ldaprc
  printf 'secret\n' > "$TMP/nobodys"
  chmod 600 "$TMP/nobodys"
  chown nobody "$TMP/nobodys"
  rows <<<"password-other-owner | fail | FFFFFD7F \"qovant: \$TMP/nobodys: owned by uid \$NOBODY, neither yours (uid 0) nor root's\" | map | DIRCLIENT_TREE=\$URI LDAPBINDDN=cn=admin,o=Acme DIRCLIENT_PASSWORD_FILE=\$TMP/nobodys"
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
# Nothing in the working folder can hold up the start: what is not a
# regular file is refused before it is read, with or without a password,
# and a file is read up to 1 MiB, whatever size it claims.
NOT_REGULAR="not a regular file: an LDAP configuration file must be one"
mkfifo ldaprc
rows <<<'ldaprc-fifo | fail | FFFFFD7D "qovant: ldaprc: $NOT_REGULAR" | map | DIRCLIENT_TREE=$URI'
rm ldaprc && ln -s /dev/zero ldaprc
rows <<<'ldaprc-dev-zero | fail | FFFFFD7D "qovant: ldaprc: $NOT_REGULAR" | map | DIRCLIENT_TREE=$URI $PW LDAPBINDDN=cn=admin,o=Acme'
rm ldaprc && truncate -s 60G ldaprc
rows <<<'ldaprc-sparse | fail | FFFFFD7D "qovant: ldaprc: over 1048576 bytes: too large for an LDAP configuration file" | map | DIRCLIENT_TREE=$URI'
rm ldaprc
finish
