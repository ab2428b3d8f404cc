#!/bin/bash
# What the bound identity may not read is absent: a container hidden with
# all below it, an entry hidden alone, whose subordinates then hang below
# an attribute-less container, as in an LDIF file without that entry, and
# the subordinates of a container, which is then listed empty.
#   acl.sh QOVANT REPO
QOVANT=$1 REPO=$2
. "$(dirname "$0")/lib.sh"

ROOT_PEER="gidNumber=$(id -g)+uidNumber=$(id -u),cn=peercred,cn=external,cn=auth"
conf_head < /dev/null
conf_database o=Acme <<CONF
access to dn.children="ou=Build Farm,ou=Engineering,o=Acme" by * none
access to dn.subtree="ou=Engineering,o=Acme"
  by dn.exact="$ROOT_PEER" read
  by * none
access to dn.base="ou=Sales,o=Acme" by * none
access to * by * read
CONF
ldif_subtree "$REPO/examples/acme.ldif" o=Acme > acme.ldif
load o=Acme acme.ldif
start_slapd

ldif_without acme.ldif "ou=Sales,o=Acme" > without-sales.ldif
ldif_without without-sales.ldif "ou=Engineering,o=Acme" subtree > anonymous.ldif

expect_same hidden-anonymous anonymous.ldif "" DIRCLIENT_TREE="ldap://127.0.0.1:$PORT/"
expect_same hidden-anonymous-map anonymous.ldif map DIRCLIENT_TREE="ldap://127.0.0.1:$PORT/"
expect_no_report hidden-anonymous Engineering
expect_no_report hidden-anonymous "Sales.Acme (MAP G:"
expect_report hidden-anonymous "Ann Archer.Sales.Acme (MAP P:=FS2/SALES:ANN)"
# SASL EXTERNAL over ldapi is the local user, who may read Engineering.
ldif_without without-sales.ldif "cn=Dana Dunn,ou=Build Farm,ou=Engineering,o=Acme" > external.ldif
expect_same hidden-external external.ldif "" DIRCLIENT_TREE="$LDAPI_URI"
expect_report hidden-external "Build Farm.Engineering.Acme (MAP B:=FS3/BUILD:ARTIFACTS)"
expect_report hidden-external "Eve Evans.Engineering.Acme (MAP ROOT I:=FS3/ENG:EVE)"
finish
