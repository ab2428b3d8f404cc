// Start-up over LDAP: read the password file, connect, bind, read the tree.
#pragma once

#include <cstdio>
#include <memory>

#include "client/dirclient.h"
#include "ldap/ldap_target.h"
#include "tree/loaded_tree.h"

namespace dirclient {

// Loads the tree `target` names. `passwordFile` (DIRCLIENT_PASSWORD_FILE, may
// be null) makes the bind a simple one. On failure writes one line to
// `diagnostics`: "program: URI: what the server or libldap said", or
// "program: FILE: reason" for the password file.
Status LoadLdapTree(const LdapTarget& target, const char* passwordFile,
                    std::FILE* diagnostics, const char* program,
                    std::unique_ptr<LoadedTree>* out);

}  // namespace dirclient
