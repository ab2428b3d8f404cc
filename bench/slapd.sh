#!/bin/bash
# A throwaway slapd for the benchmark, in a folder of its own.
#
#   bench/slapd.sh start DIR LDIF PORT   load LDIF into DIR/db and serve it on
#                                        ldap://127.0.0.1:PORT/ and ldapi in DIR
#   bench/slapd.sh stop DIR              stop the slapd started in DIR, by its PID
#   bench/slapd.sh uris DIR              print the two URIs, one a line
#
# The suffix is the first entry's DN (the generator writes parents first).
# Anonymous reads are allowed (slapd's default access) and no size limit
# applies, paged searches included. The loginScript schema is the project's
# examples/loginscript.schema.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")

die() { echo "slapd.sh: $*" >&2; exit 1; }

ldapi_uri() {
  local path=$1/ldapi
  echo "ldapi://${path//\//%2F}"
}

cmd=${1:-}
case "$cmd" in
start)
  [ $# -eq 4 ] || die "usage: slapd.sh start DIR LDIF PORT"
  dir=$2 ldif=$3 port=$4
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  [ ! -e "$dir/db" ] || die "$dir/db exists already"
  [ ${#dir} -lt 90 ] || die "$dir is too long for a socket path"
  schema=$repo/examples/loginscript.schema
  [ -f "$schema" ] || die "$schema is missing"
  suffix=$(grep -m1 '^dn: ' "$ldif" | sed 's/^dn: //') || die "no plain dn: line in $ldif"
  mkdir "$dir/db"
  cat > "$dir/slapd.conf" <<EOF
include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include /etc/ldap/schema/inetorgperson.schema
include $schema
pidfile $dir/slapd.pid
argsfile $dir/slapd.args
modulepath /usr/lib/ldap
moduleload back_mdb
loglevel 0
sizelimit unlimited
timelimit unlimited

database mdb
suffix "$suffix"
rootdn "cn=admin,$suffix"
directory $dir/db
# The default 10 MiB fills up near 17,000 entries; the map is sparse.
maxsize 17179869184
limits * size=unlimited size.prtotal=unlimited time=unlimited
EOF
  slaptest -Q -u -f "$dir/slapd.conf" || die "slaptest refused $dir/slapd.conf"
  slapadd -q -f "$dir/slapd.conf" -l "$ldif" || die "slapadd failed"
  slapd -f "$dir/slapd.conf" -h "ldap://127.0.0.1:$port/ $(ldapi_uri "$dir")" -d 0 \
    > "$dir/slapd.log" 2>&1 < /dev/null &
  echo $! > "$dir/run.pid"
  echo "$port" > "$dir/port"
  # Ready when the root DSE answers; at most 20 s.
  for _ in $(seq 200); do
    if ! kill -0 "$(cat "$dir/run.pid")" 2>/dev/null; then
      cat "$dir/slapd.log" >&2
      die "slapd exited"
    fi
    if ldapsearch -x -H "ldap://127.0.0.1:$port/" -s base -b "" namingContexts \
        > /dev/null 2>&1; then
      exit 0
    fi
    sleep 0.1
  done
  "$0" stop "$dir"
  die "slapd did not answer within 20 s"
  ;;
stop)
  [ $# -eq 2 ] || die "usage: slapd.sh stop DIR"
  dir=$2
  [ -f "$dir/run.pid" ] || exit 0
  pid=$(cat "$dir/run.pid")
  if kill "$pid" 2>/dev/null; then
    for _ in $(seq 300); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
      echo "slapd.sh: slapd $pid still running after 30 s; killing it" >&2
      kill -9 "$pid" 2>/dev/null || true
    fi
  fi
  rm -f "$dir/run.pid"
  ;;
uris)
  [ $# -eq 2 ] || die "usage: slapd.sh uris DIR"
  dir=$(cd "$2" && pwd)
  port=$(cat "$dir/port")
  echo "ldap://127.0.0.1:$port/"
  ldapi_uri "$dir"
  ;;
*)
  die "usage: slapd.sh start DIR LDIF PORT | stop DIR | uris DIR"
  ;;
esac
