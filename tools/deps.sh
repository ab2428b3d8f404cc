#!/usr/bin/env bash
# Installs the Debian packages that building and testing qovant need, and
# any named as arguments, where they are missing. Safe to run again.
set -eu
packages=(g++ cmake make pkgconf libgtest-dev libldap-dev slapd ldap-utils openssl bsdutils iproute2 strace "$@")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "installing: ${missing[*]}" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
