# Shared by the LDAP test cases: a throwaway slapd in a temporary folder,
# qovant runs over LDIF and over the server, and checks of their bytes.
# Sourced by a case run as: CASE.sh QOVANT REPO HOSTILE_SERVER
set -u
shopt -s extglob
QOVANT=$1 REPO=$2 HELPER=$3

TMP=$(mktemp -d /tmp/qovant-ldap.XXXXXX)
SLAPD_PID=
PASSED=0
FAILED=0
SKIPPED=0

stop_slapd() {
  [ -n "$SLAPD_PID" ] || return 0
  kill "$SLAPD_PID" 2>/dev/null
  wait "$SLAPD_PID" 2>/dev/null
  SLAPD_PID=
}
trap 'stop_slapd; [ -n "${KEEP_TMP:-}" ] || rm -rf "$TMP"' EXIT
trap 'exit 1' INT TERM HUP

# Nothing of the caller's LDAP configuration may leak into a case: no
# ldaprc in HOME or the working folder, no LDAP* or DIRCLIENT_* variable.
unset $(env | sed -n 's/^\(LDAP[A-Z_]*\|DIRCLIENT_[A-Z_]*\)=.*/\1/p')
export HOME=$TMP
export PATH=$PATH:/usr/sbin:/sbin  # slapd, slapadd, slaptest
cd "$TMP" || exit 1
printf 'secret\n' > password  # the password of each database's rootdn
chmod 600 password

LDAPI_URI="ldapi://$(printf '%s' "$TMP/ldapi" | sed 's|/|%2F|g')"

# Writes the part of slapd.conf before the databases; extra global lines
# (limits, TLS) follow from standard input.
conf_head() {
  cat > "$TMP/slapd.conf" <<CONF
include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include /etc/ldap/schema/inetorgperson.schema
include $REPO/examples/loginscript.schema
pidfile $TMP/slapd.pid
argsfile $TMP/slapd.args
modulepath /usr/lib/ldap
moduleload back_mdb
CONF
  cat >> "$TMP/slapd.conf"
}

# conf_database SUFFIX: a database with its own folder; its own lines
# (access, limits) follow from standard input. The rootdn is cn=admin with
# password "secret".
conf_database() {
  local folder="$TMP/db$(grep -c '^database' "$TMP/slapd.conf")"
  mkdir -p "$folder"
  cat >> "$TMP/slapd.conf" <<CONF

database mdb
suffix "$1"
rootdn "cn=admin,$1"
rootpw secret
directory $folder
maxsize 1073741824
CONF
  cat >> "$TMP/slapd.conf"
}

# ldif_pick FILE DN in|out|out-subtree|bare: the entries (paragraphs
# "dn: ...") at or below DN, or all but DN, or all but DN and those below
# it, or all with DN's as its "dn:" line alone.
ldif_pick() {
  LC_ALL=C awk -v t="$2" -v how="$3" 'BEGIN { RS = ""; ORS = "\n\n"; t = tolower(t) }
    /^dn: / { split($0, line, "\n"); dn = tolower(substr(line[1], 5))
              at = dn == t; below = substr(dn, length(dn) - length(t)) == "," t
              if (how == "bare") { print at ? line[1] : $0; next }
              if (how == "in" ? at || below : !at && !(below && how == "out-subtree")) print }' "$1"
}

# load SUFFIX LDIF [FROM]: adds the entries to the database of SUFFIX; with
# FROM, LDIF is first made of FROM's entries at or below SUFFIX.
load() {
  [ -z "${3:-}" ] || ldif_pick "$3" "$1" in > "$2"
  slapadd -q -f "$TMP/slapd.conf" -b "$1" -l "$2" > "$TMP/slapadd.log" 2>&1 || {
    cat "$TMP/slapadd.log" >&2
    echo "slapadd of $2 failed" >&2
    exit 1
  }
}

# start_slapd [tls]: starts slapd on a free port of 127.0.0.1 (PORT) and on
# the ldapi socket; with "tls", on ldaps as well (TLS_PORT).
start_slapd() {
  slaptest -Q -u -f "$TMP/slapd.conf" || { echo "slaptest refused slapd.conf" >&2; exit 1; }
  local attempt listeners
  for attempt in 1 2 3 4 5 6 7 8; do
    PORT=$((20000 + RANDOM % 30000))
    TLS_PORT=$((PORT + 1))
    listeners="ldap://127.0.0.1:$PORT/ $LDAPI_URI"
    [ "${1:-}" = tls ] && listeners="$listeners ldaps://127.0.0.1:$TLS_PORT/"
    # HOST_ADDR: an address of the case's own that is not loopback.
    [ -n "${HOST_ADDR:-}" ] && listeners="$listeners ldap://$HOST_ADDR:$PORT/"
    rm -f "$TMP/ldapi"
    slapd -f "$TMP/slapd.conf" -h "$listeners" -d ${SLAPD_DEBUG:-0} > "$TMP/slapd.log" 2>&1 < /dev/null &
    SLAPD_PID=$!
    local wait
    for wait in $(seq 100); do
      # A port in use makes slapd exit at once: try another.
      kill -0 "$SLAPD_PID" 2>/dev/null || break
      # ldapi counts as secure, whatever "security" the case sets.
      ldapsearch -x -H "$LDAPI_URI" -s base -b "" namingContexts > /dev/null 2>&1 && return 0
      sleep 0.1
    done
    stop_slapd
  done
  cat "$TMP/slapd.log" >&2
  echo "slapd did not start" >&2
  exit 1
}

# run NAME SEARCH [VAR=VALUE...]: qovant with the variables set, into
# NAME.out, NAME.err and NAME.rc.
run() {
  local name=$1 search=$2
  shift 2
  env "$@" "$QOVANT" "$search" > "$TMP/$name.out" 2> "$TMP/$name.err" < /dev/null
  echo $? > "$TMP/$name.rc"
}

pass() { PASSED=$((PASSED + 1)); echo "ok   $1"; }
fail() {
  FAILED=$((FAILED + 1))
  echo "FAIL $1: $2"
  local file
  for file in "$TMP/$1".out "$TMP/$1".err "$TMP/$1".rc; do
    [ -f "$file" ] && { echo "--- $(basename "$file")"; head -c 2000 "$file"; echo; }
  done
  false
}
# skip WHY NAME...: cases that cannot run here. A run that skipped any ends
# with status 77, which ctest reports as Skipped, not Passed.
skip() { SKIPPED=$((SKIPPED + $# - 1)); echo "skip ${*:2}: $1"; }
finish() {
  stop_slapd
  echo "$PASSED passed, $FAILED failed, $SKIPPED skipped"
  [ "$FAILED" -eq 0 ] || return 1
  [ "$SKIPPED" -eq 0 ] || return 77
}
# is NAME WHAT GOT WANT, bytes NAME WHAT FILE WANT_FILE: true when the two
# are the same, else NAME fails.
is() { [ "$3" = "$4" ] || fail "$1" "$2 is \"$3\", not \"$4\""; }
bytes() { cmp -s "$3" "$4" || fail "$1" "$2 differs: $(diff "$4" "$3" | head -5)"; }
rc() { cat "$TMP/$1.rc"; }
err() { cat "$TMP/$1.err"; }
NO_CONTACT="Can't contact LDAP server (-1)"

# rows [FILE]: the cases of FILE under its header line, which names the
# columns (name, kind, expected, search, vars), or of standard input in that
# order; one a line, "#" and blank lines aside, fields left out at the end
# empty. EXPECTED, SEARCH and VARS are shell words, expanded as the row runs
# into EXPECT, SEARCH and VARS: plain or "quoted" words and $VARIABLES, never
# a command. expect_KIND NAME checks the row, between the case's before_row
# and after_row where it has them.
rows() {
  local where line number=0 i words fields columns=(name kind expected search vars) && local -A row
  [ $# = 0 ] || columns=()
  while IFS= read -r line; do
    number=$((number + 1)) where=${1:-${BASH_SOURCE[1]}:${BASH_LINENO[0]}}
    [ $# = 0 ] || where+=:$number
    [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
    IFS='|' read -ra fields <<<"$line"
    fields=("${fields[@]##+([[:space:]])}") && fields=("${fields[@]%%+([[:space:]])}")
    if [ ${#columns[@]} = 0 ]; then
      columns=("${fields[@]}")
      for i in "${columns[@]}"; do [[ $i =~ ^(name|kind|expected|search|vars)$ ]] || fail "$where" "no column \"$i\""; done
      continue
    fi
    [ ${#fields[@]} -le ${#columns[@]} ] || { fail "$where" "${#fields[@]} fields under a header of ${#columns[@]}"; continue; }
    row=([name]= [kind]= [expected]= [search]= [vars]=)
    for i in "${!fields[@]}"; do row[${columns[i]}]=${fields[i]}; done
    words="${row[expected]} ${row[search]} ${row[vars]}"
    [[ $(sed 's/"[^"]*"//g' <<<"$words") != *[\'\(\)\;\&\<\>]* && $words != *@(\$\(|\`)* ]] ||
      { fail "${row[name]}" "$where: more than words and variables"; continue; }
    eval "EXPECT=(${row[expected]}) SEARCH=(${row[search]} \"\") VARS=(${row[vars]})"
    [ "$(type -t before_row)" != function ] || before_row
    "expect_${row[kind]}" "${row[name]}" < /dev/null
    [ "$(type -t after_row)" != function ] || after_row
  done < "${1:-/dev/stdin}"
}

# same, EXPECTED "LDIF [STDERR]": over the server qovant prints byte for byte
# what it prints over LDIF (not nothing), exit status 0 and no (or exactly
# STDERR on) standard error.
expect_same() {
  run "$1.ldif" "$SEARCH" DIRCLIENT_TREE="${EXPECT[0]}"
  run "$1" "$SEARCH" "${VARS[@]}"
  { [ -s "$TMP/$1.ldif.out" ] || fail "$1" "the LDIF run reported nothing"; } &&
    is "$1" "the LDIF run's exit status" "$(rc "$1.ldif")" 0 && is "$1" "exit status" "$(rc "$1")" 0 &&
    is "$1" "standard error" "$(err "$1")" "${EXPECT[1]:-}" &&
    bytes "$1" "the report" "$TMP/$1.out" "$TMP/$1.ldif.out" && pass "$1"
}
# fail, EXPECTED "STATUS STDERR": exit status 1, "\nNWCallsInit returned
# STATUS" on standard output, exactly the line STDERR on standard error;
# starts: a line that starts with STDERR.
expect_fail() {
  run "$1" "$SEARCH" "${VARS[@]}"
  local got
  got=$(err "$1")
  [ -z "${STARTS:-}" ] || got=${got:0:${#EXPECT[1]}}
  printf '\nNWCallsInit returned %s' "${EXPECT[0]}" > "$TMP/$1.expected"
  is "$1" "exit status" "$(rc "$1")" 1 && bytes "$1" "standard output" "$TMP/$1.out" "$TMP/$1.expected" &&
    is "$1" "standard error" "$got" "${EXPECT[1]}" &&
    is "$1" "standard error's line count" "$(wc -l < "$TMP/$1.err")" 1 && pass "$1"
}
expect_starts() { STARTS=1 expect_fail "$1"; }
# exit, EXPECTED "STATUS STDOUT STDERR": these, trailing newlines aside.
expect_exit() {
  run "$1" "$SEARCH" "${VARS[@]}"
  is "$1" "exit status" "$(rc "$1")" "${EXPECT[0]}" && is "$1" "the report" "$(cat "$TMP/$1.out")" "${EXPECT[1]}" &&
    is "$1" "standard error" "$(err "$1")" "${EXPECT[2]}" && pass "$1"
}
# lines, EXPECTED "COUNT": NAME's report (run now if the row has variables,
# else by a row before) has COUNT lines, exit status 0, no standard error.
expect_lines() {
  [ ${#VARS[@]} = 0 ] || run "$1" "$SEARCH" "${VARS[@]}"
  is "$1" "exit status" "$(rc "$1")" 0 && is "$1" "standard error" "$(err "$1")" "" &&
    is "$1" "report lines" "$(wc -l < "$TMP/$1.out")" "${EXPECT[0]}" && pass "$1-lines"
}
# has, EXPECTED "LINE": NAME's report holds LINE; lacks, EXPECTED "TEXT": no
# line of it holds TEXT.
expect_has() { grep -qxF -- "${EXPECT[0]}" "$TMP/$1.out" && pass "$1-has" || fail "$1" "no report line: ${EXPECT[0]}"; }
expect_lacks() { ! grep -qF -- "${EXPECT[0]}" "$TMP/$1.out" && pass "$1-lacks" || fail "$1" "a report line holds: ${EXPECT[0]}"; }

# start_helper ARGS...: the tests' hostile server or relay (hostile_server.cc)
# on a port of its own; sets HOST (127.0.0.1:port) and HELPER_PID.
start_helper() {
  rm -f "$TMP/helper.port"
  "$HELPER" "$TMP/helper.port" "$@" &
  HELPER_PID=$!
  local wait
  for wait in $(seq 50); do
    [ -s "$TMP/helper.port" ] && { HOST="127.0.0.1:$(cat "$TMP/helper.port")"; return 0; }
    sleep 0.1
  done
  echo "ldap_hostile_server did not start" >&2
  exit 1
}
# start_proxy MODE BYTES [PID]: a relay to slapd that misbehaves once BYTES
# have come from it; sets PROXY_URI and PROXY_PID.
start_proxy() {
  start_helper "$1" "$2" "$PORT" "${@:3}"
  PROXY_PID=$HELPER_PID PROXY_URI="ldap://$HOST/"
}
