// Which LDAP server the client's setting names, and what the client takes
// from its URI: the servers to connect to, the base DN, StartTLS.
#pragma once

#include <string>
#include <string_view>

#include "base/failure.h"

namespace ldap_reader {

struct LdapTarget {
  std::string display;  // the URIs as written or configured, for diagnostics
  // "scheme://host:port" of each URI, blank-separated, for ldap_initialize:
  // libldap itself would split a base DN at its commas.
  std::string servers;
  std::string base;       // the first URI's base DN, decoded; empty for none
  bool startTls = false;  // a URI asks for StartTLS (critical or not)
  bool ldapi = false;     // the first URI is ldapi://
};

// True when `setting` begins with ldap://, ldaps:// or ldapi://, in any case.
bool IsLdapUri(std::string_view setting);

// Parses one or more blank-separated LDAP URIs (RFC 4516). Attributes, scope
// and filter are ignored: the client always reads the whole subtree. Fails
// with a reason for a URI that does not parse and for a critical extension
// other than StartTLS (status kLdapBadUri, about the URIs).
base::Failure ParseLdapTarget(std::string_view uris, LdapTarget* target);

// The URIs libldap's configuration names (ldap.conf, ldaprc, LDAPURI, ...),
// or "" when it names none: libldap's built-in fallback, which its
// configuration reports as "ldap://localhost:389/??base", does not count.
std::string ConfiguredLdapUris();

// The configured default base DN (BASE, LDAPBASE), or "".
std::string ConfiguredLdapBase();

}  // namespace ldap_reader
