// Start-up over LDAP: read the password file, connect, bind, read the tree.
#pragma once

#include <memory>

#include "base/environment.h"
#include "base/failure.h"
#include "base/load_observer.h"
#include "base/status.h"
#include "ldap/ldap_target.h"
#include "ldap/user_ldap_config.h"
#include "tree/loaded_tree.h"

namespace ldap_reader {

// The settings of a load over LDAP, beside libldap's own.
inline constexpr char kPasswordFileVariable[] = "DIRCLIENT_PASSWORD_FILE";

// Loads the tree `target` names into *out, with libldap's configuration
// `config` (read and applied by ReadLdapConfig and ApplyLdapConfig). A
// password file in `environment` (DIRCLIENT_PASSWORD_FILE) makes the bind a
// simple one. A failure names the URI, or the file or setting at fault, and
// says what the server, libldap or the client said; notices and progress go
// to `observer` as the load goes on.
base::Failure LoadLdapTree(const LdapTarget& target, const UserLdapConfig& config,
                           const base::Environment& environment, base::LoadObserver& observer,
                           std::unique_ptr<tree::LoadedTree>* out);

}  // namespace ldap_reader
