// Builds the client's tree from a server: the entries below the URI's base
// DN, or below each naming context of the root DSE, as the same compact tree
// the LDIF loader builds, so that the walk is served the same way.
#pragma once

#include <string>

#include "ldap/ldap_connection.h"
#include "ldap/ldap_status.h"
#include "tree/load_progress.h"
#include "tree/loaded_tree.h"

namespace ldap_reader {

// `baseDn` empty means every naming context. Names stay absolute: a base
// or context hangs below "[Root]" by its chain of RDNs. On failure `loaded`
// is left part-built and must not be served.
base::Failure ReadLdapTree(LdapConnection& connection, const std::string& baseDn,
                           tree::LoadedTree& loaded, tree::LoadProgress* progress = nullptr);

}  // namespace ldap_reader
