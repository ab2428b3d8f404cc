#!/usr/bin/env bash
# Meets the README's Quick start as a new user would: a minimal Debian 12
# (debootstrap --variant=minbase), this source tree copied in, and each
# command of the Quick start run in it, first as root, then as a user with
# sudo in a second, equally fresh copy (where the same user first tries
# without sudo, and must be told what to install). Each command runs as a
# login shell in the source's top folder, with no terminal (its own
# session, standard input from /dev/null) and a time limit, so that a
# question or a hang shows as a failure. Prints each command's time and
# result; logs stay in WORK_DIR/logs.
# Usage, as root on Debian: tools/fresh-machine.sh [WORK_DIR]
#   WORK_DIR  where the chroots go (default: a new folder in /var/tmp);
#             removed at the end unless KEEP=1
#   LIMIT     seconds each command may take (default 2400)
#   MIRROR    the Debian archive (default: the one this machine's apt uses)
# The tree copied is the working tree's tracked files, edits included.
set -u
[ "$(id -u)" -eq 0 ] || { echo "$0: run as root (debootstrap, chroot, mount)" >&2; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$(mktemp -d /var/tmp/qovant-fresh.XXXXXX)}
limit=${LIMIT:-2400}
user=newcomer
mkdir -p "$work/logs" || exit 2

mounts=()
cleanup() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -R "${mounts[i]}" 2>/dev/null || umount -lR "${mounts[i]}"; done
  [ -n "${KEEP:-}" ] || rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
die() { echo "$0: $*" >&2; exit 1; }

# The commands: each line of each code block in the Quick start section.
mapfile -t commands < <(awk '/^## / { quick = /^## Quick start/ } quick && /^```/ { block = !block; next }
                             quick && block && NF' "$top/README.md")
[ ${#commands[@]} -gt 0 ] || die "no commands found in the README's Quick start"

if [ -z "${MIRROR:-}" ]; then
  # The Debian archive this machine installs from: the source whose suite is
  # its release's own codename (not -updates, not the security archive).
  MIRROR=$(apt-cache policy | awk '$1 ~ /^[0-9]+$/ && NF >= 3 { uri = $2; split($3, s, "/"); suite = s[1] }
    $1 == "release" && $2 ~ /(^|,)o=Debian(,|$)/ && $2 ~ /(^|,)l=Debian(,|$)/ &&
    $2 ~ ("(^|,)n=" suite "(,|$)") { print uri; exit }')
  [ -n "$MIRROR" ] || die "no Debian archive in this machine's apt sources: set MIRROR"
fi
if ! command -v debootstrap >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get -q -y install debootstrap >"$work/logs/debootstrap-install.log" 2>&1 ||
    die "could not install debootstrap (see $work/logs/debootstrap-install.log)"
fi

# seconds COMMAND...: runs it, prints nothing; SECONDS_TAKEN and RC.
seconds() {
  local start=$EPOCHREALTIME
  "$@"
  RC=$?
  SECONDS_TAKEN=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')
}
result() { case $1 in 0) echo ok ;; 124|137) echo "TIMED OUT after ${limit}s" ;; *) echo "FAILED (exit $1)" ;; esac; }

echo "debootstrap --variant=minbase bookworm from $MIRROR"
seconds debootstrap --variant=minbase bookworm "$work/base" "$MIRROR" >"$work/logs/debootstrap.log" 2>&1
[ "$RC" = 0 ] || { tail -20 "$work/logs/debootstrap.log"; die "debootstrap failed"; }
echo "  ${SECONDS_TAKEN}s"
# A chroot shares the host's network and has no init of its own: a service a
# package starts (slapd's postinst starts slapd) would listen on the host and
# outlive the chroot. policy-rc.d refuses every start; a user's own machine
# has none, and there the first command must not install slapd at all.
printf '#!/bin/sh\nexit 101\n' >"$work/base/usr/sbin/policy-rc.d"
chmod 755 "$work/base/usr/sbin/policy-rc.d"
# As an installed system has it: sudo looks its host name up.
printf '127.0.0.1 localhost\n127.0.1.1 %s\n' "$(hostname)" >"$work/base/etc/hosts"
stash=$(git -C "$top" stash create) || die "not a git working tree: $top"
git -C "$top" archive --format=tar --prefix=qovant/ "${stash:-HEAD}" >"$work/source.tar" || die "git archive failed"

# fresh NAME: a copy of the base with /proc and /dev mounted; sets ROOT.
fresh() {
  ROOT=$work/$1
  cp -a "$work/base" "$ROOT" || die "copy of the base failed"
  mount -t proc proc "$ROOT/proc" && mounts+=("$ROOT/proc") || die "mount of /proc failed"
  # /dev/pts for script(1) in the tests; rslave: nothing unmounted here
  # reaches the host's /dev.
  mount --rbind /dev "$ROOT/dev" && mount --make-rslave "$ROOT/dev" && mounts+=("$ROOT/dev") ||
    die "mount of /dev failed"
}
# in_chroot WHO LOG COMMAND: COMMAND in a login shell of WHO in the chroot,
# in the source's top folder, no terminal, the time limit; RC, SECONDS_TAKEN.
in_chroot() {
  seconds setsid -w timeout -k 10 "$limit" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    chroot "$ROOT" runuser -l "$1" -c "cd qovant && $3" \
    </dev/null >"$2" 2>&1
}
# as WHO: every Quick start command, in order, with its time and result,
# and what a newcomer would look at after each.
as() {
  local i log home=/home/$1
  [ "$1" != root ] || home=/root
  for i in "${!commands[@]}"; do
    log=$work/logs/$ROOT_NAME-$1-$((i + 1)).log
    in_chroot "$1" "$log" "${commands[i]}"
    printf '  %-8s %5ss  %-22s %s\n' "$1" "$SECONDS_TAKEN" "$(result "$RC")" "${commands[i]}"
    [ "$RC" = 0 ] || { tail -15 "$log" | sed 's/^/      | /'; continue; }
    case ${commands[i]} in
      *build/qovant*)
        echo "      output: $(wc -l <"$log") lines, last: $(tail -1 "$log")"
        echo "      slapd installed afterwards: $(chroot "$ROOT" dpkg-query -W -f='${Status}' slapd 2>/dev/null |
          grep -q 'install ok installed' && echo yes || echo no)" ;;
      *ctest*) grep -E 'tests passed|\(Skipped\)|\(Failed\)' "$log" | sed -E 's/^[[:space:]]*/      /' ;;
      *cpack*) echo "      Depends: $(dpkg-deb -f "$ROOT$home"/qovant/build/qovant_*.deb Depends)" ;;
    esac
  done
}

echo "root, in a fresh chroot:"
ROOT_NAME=root
fresh root
tar -xf "$work/source.tar" -C "$ROOT/root"
as root

echo "a user, in a fresh chroot:"
ROOT_NAME=user
fresh user
chroot "$ROOT" useradd -m -s /bin/bash "$user" || die "useradd failed"
tar -xf "$work/source.tar" -C "$ROOT/home/$user"
chroot "$ROOT" chown -R "$user:$user" "/home/$user/qovant"
# Without sudo, the first command must stop at once and say what to install.
in_chroot "$user" "$work/logs/user-nosudo.log" "${commands[0]}"
printf '  %-8s %5ss  %-22s %s\n' "no sudo" "$SECONDS_TAKEN" "exit $RC" "${commands[0]}"
sed 's/^/      | /' "$work/logs/user-nosudo.log"
[ "$RC" != 0 ] && [ "$RC" != 124 ] || echo "      WRONG: the command should have failed at once"
chroot "$ROOT" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
  sh -c 'apt-get -q update && apt-get -q -y install sudo' >"$work/logs/user-sudo-install.log" 2>&1 </dev/null ||
  die "could not install sudo in the chroot"
echo "$user ALL=(ALL) NOPASSWD: ALL" >"$ROOT/etc/sudoers.d/$user"
chmod 440 "$ROOT/etc/sudoers.d/$user"
as "$user"
echo "all done in ${SECONDS}s"
