// The tree of a directory server, read through the system's LDAP reader:
// libldap's (src/ldap) on POSIX systems. The Windows build has none yet and
// refuses a server at start-up; a reader there slots in behind these two.
#pragma once

#include <memory>
#include <string_view>

#include "base/environment.h"
#include "base/failure.h"
#include "base/load_observer.h"
#include "tree/loaded_tree.h"

namespace tool {

// True when the tree setting names a server (an ldap://, ldaps:// or
// ldapi:// URI) rather than a file.
bool NamesServer(std::string_view setting);

// Loads the tree of the server `setting` names or, null or empty, of the
// server the reader's own configuration names.
base::Failure LoadServerTree(const char* setting, const base::Environment& environment,
                             base::LoadObserver& observer, std::unique_ptr<tree::LoadedTree>* out);

}  // namespace tool
