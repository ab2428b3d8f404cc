#!/usr/bin/env bash
# Installs, where missing, the Debian packages qovant needs. Safe to run again.
#   tools/deps.sh [--test] [--package] [--windows] [PACKAGE...]
# Alone: what building the tool needs. --test adds what the test suite needs,
# --package what `cpack -G DEB` needs, --windows what building qovant.exe,
# testing it and zipping it need; any other argument is a package too.
# Runs as root, or through sudo; apt-get's output is shown, so that nothing
# it asks or reports is hidden.
set -eu
packages=(g++ cmake make pkgconf libldap-dev)
for argument in "$@"; do
  case $argument in
    # GoogleTest; slapd and ldap-utils for the servers the LDAP tests start
    # themselves; openssl for their TLS certificates; script(1) from
    # bsdutils for the terminal cases; ip from iproute2 for a network
    # namespace's address; strace to see which files are opened.
    --test) packages+=(libgtest-dev slapd ldap-utils openssl bsdutils iproute2 strace) ;;
    # CPack reads the binary's type with file(1), and dpkg-shlibdeps, from
    # dpkg-dev, gives the package its Depends.
    --package) packages+=(file dpkg-dev) ;;
    # The mingw-w64 compiler with posix threads (std::thread) and its
    # binutils (objdump reads the DLLs qovant.exe imports); wine, whose
    # 64-bit loader is wine64, runs the tests; GoogleTest's sources, built
    # for Windows in the build tree; groff renders the man page for the zip,
    # unzip lists it.
    --windows) packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
                          googletest groff-base unzip) ;;
    -*) echo "usage: $0 [--test] [--package] [--windows] [PACKAGE...]" >&2; exit 2 ;;
    *) packages+=("$argument") ;;
  esac
done
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

advise() {
  echo "$0: $1. As root, install what is missing:" >&2
  echo "  apt-get install ${missing[*]}" >&2
  echo "or run $0 again as root or as a user who may use sudo." >&2
  exit 1
}
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || advise "not root, and sudo is not installed"
  sudo=(sudo)
fi
echo "$0: installing ${missing[*]}" >&2
# sudo drops DEBIAN_FRONTEND from the environment: env passes it on, so that
# a package's configuration (slapd's) asks nothing.
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q update ||
  advise "apt-get update failed"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get -q -y --no-install-recommends install "${missing[@]}" ||
  advise "apt-get install failed"
