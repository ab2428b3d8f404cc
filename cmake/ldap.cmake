# OpenLDAP's client libraries (Debian: libldap-dev), found through their
# pkg-config files so that their own include and library flags are used:
# PkgConfig::LDAP (libldap with liblber) for the LDAP backend, PkgConfig::LBER
# alone for what only encodes and decodes LDAP messages. GLOBAL, so that any
# folder's CMakeLists.txt may include this file and link them.
include_guard(GLOBAL)
find_package(PkgConfig REQUIRED)
pkg_check_modules(LDAP REQUIRED IMPORTED_TARGET GLOBAL ldap lber)
pkg_check_modules(LBER REQUIRED IMPORTED_TARGET GLOBAL lber)
