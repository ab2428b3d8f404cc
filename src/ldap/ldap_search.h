// The searches the client makes: the root DSE's naming contexts, and paged
// subtree reads (RFC 2696) that never take a cut-short result for a whole one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ldap/ldap_connection.h"
#include "ldap/ldap_status.h"

namespace ldap_reader {

// Entries per page: large enough that the paging costs little, small enough
// that one page held by libldap stays small.
inline constexpr int kPageSize = 1000;

// Receives the entries of a search in the order the server sends them; the
// message is freed when the call returns.
class EntrySink {
 public:
  virtual ~EntrySink() = default;
  // A failure ends the search.
  virtual base::Failure Entry(LDAP* ld, LDAPMessage* entry) = 0;
  // A search continuation reference: a part of the tree on another server,
  // not searched; `urls` are its URLs, made printable, joined by blanks.
  virtual void Reference(std::string_view urls) = 0;
};

// The namingContexts of the server's root DSE, in the order it lists them.
base::Failure ReadNamingContexts(LdapConnection& connection, std::vector<std::string>* contexts);

// Reads the subtree below `baseDn` (all entries, `attributes` of each) page by
// page, the paging control marked critical, and hands every entry to `sink`.
// Fails on any result but success (a base the server does not have or
// hides included), on a final result without the paging control, on a
// page of more entries than asked for, on a cookie the server sent before
// (at any earlier page), and on a timeout.
base::Failure ReadSubtreePaged(LdapConnection& connection, const std::string& baseDn,
                               const char* const* attributes, EntrySink& sink);

}  // namespace ldap_reader
