#!/bin/bash
# qovant only reads: against a server whose ACLs would let anyone write,
# with an audit log of every change and the server's log of every
# operation, a run leaves the audit log empty and asks for nothing but
# binds, searches and the unbind. The password it binds with never shows up
# in its output.
. "$(dirname "$0")/lib.sh"

conf_head <<'CONF'
moduleload auditlog
allow update_anon
CONF
conf_database o=Acme <<CONF
access to * by * write
overlay auditlog
auditlog $TMP/audit.log
CONF
load o=Acme acme.ldif "$REPO/examples/acme.ldif"
: > audit.log
SLAPD_DEBUG=256 start_slapd
URI="ldap://127.0.0.1:$PORT/"

rows "$REPO/tests/ldap/readonly.rows"
# A failed bind says why without the password.
printf 'Wrong-Pw-Text\n' > wrong
chmod 600 wrong
WRONG=(DIRCLIENT_TREE="$URI" LDAPBINDDN=cn=admin,o=Acme DIRCLIENT_PASSWORD_FILE="$TMP/wrong")
run wrong-bind map "${WRONG[@]}"
# Started with standard error closed, the same failure must not put its
# message into the connection, which would otherwise take descriptor 2:
# the server then sees a clean unbind and no undecodable bytes.
log_before=$(wc -c < slapd.log)
env "${WRONG[@]}" "$QOVANT" map > closed-stderr.out 2>&-
echo $? > closed-stderr.rc
# slapd logs the close a moment after qovant has gone: wait for it.
for wait in $(seq 50); do
  closed_log=$(tail -c +$((log_before + 1)) slapd.log)
  grep -q ' closed' <<< "$closed_log" && break
  sleep 0.1
done
[ "$(rc closed-stderr)" = 1 ] && grep -q ' UNBIND' <<< "$closed_log" &&
  ! grep -qi -e 'input error' -e 'connection lost' -e 'ber_get_next' <<< "$closed_log" && pass closed-stderr ||
  fail closed-stderr "the server saw: $(grep -v '^$' <<< "$closed_log" | tail -5)"

[ ! -s audit.log ] && pass audit-log || fail audit-log "the server recorded changes: $(head -c 300 audit.log)"
# Every operation the server saw from qovant's connections (the harness's
# own ldapsearch probes are binds and searches too).
operations=$(sed -n 's/.* op=[0-9]* \([A-Z]*\)\( .*\)\?$/\1/p' slapd.log | sort -u | tr '\n' ' ')
echo "operations seen: $operations"
! printf '%s\n' $operations | grep -qvxE 'BIND|SRCH|SEARCH|UNBIND|RESULT' && pass operations ||
  fail operations "the server saw: $operations"
! grep -q -e secret -e Wrong-Pw-Text ./*.out ./*.err && pass password-hidden ||
  fail password-shown "a password reached standard output or error"
# The audit log does catch a change: one made by hand lands in it.
printf 'dn: o=Acme\nchangetype: modify\nreplace: description\ndescription: changed\n' |
  ldapmodify -x -H "$URI" > modify.log 2>&1
grep -q "description: changed" audit.log && pass audit-log-works || fail audit-log-works "a change was not recorded"
finish
