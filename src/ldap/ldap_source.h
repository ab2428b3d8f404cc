// Start-up over LDAP: read the password file, connect, bind, read the tree.
#pragma once

#include <memory>

#include "client/dirclient.h"
#include "client/environment.h"
#include "client/failure.h"
#include "client/load_observer.h"
#include "ldap/ldap_target.h"
#include "ldap/user_ldap_config.h"
#include "tree/loaded_tree.h"

namespace dirclient {

// The settings of a load over LDAP, beside libldap's own.
inline constexpr char kPasswordFileVariable[] = "DIRCLIENT_PASSWORD_FILE";

// Loads the tree `target` names, with libldap's configuration `config`
// (read and applied by ReadLdapConfig and ApplyLdapConfig). A password file in `environment`
// (DIRCLIENT_PASSWORD_FILE) makes the bind a simple one. On failure sets
// *failure (the URI, or the file or setting at fault, and what the server,
// libldap or the client said) and returns its status; notices and progress
// go to `observer` as the load goes on.
Status LoadLdapTree(const LdapTarget& target, const UserLdapConfig& config,
                    const Environment& environment,
                    LoadObserver& observer, std::unique_ptr<LoadedTree>* out, Failure* failure);

}  // namespace dirclient
