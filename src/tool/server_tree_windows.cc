#include <string>

#include "base/status.h"
#include "tool/server_tree.h"
#include "tree/name_mapping.h"

namespace tool {
namespace {

constexpr std::string_view kLdapSchemes[] = {"ldap://", "ldaps://", "ldapi://"};

}  // namespace

bool NamesServer(std::string_view setting) {
  for (std::string_view scheme : kLdapSchemes)
    if (setting.size() >= scheme.size() &&
        tree::EqualsIgnoreAsciiCase(setting.substr(0, scheme.size()), scheme))
      return true;
  return false;
}

// No LDAP reader yet: a server is refused at once, with the way to an export.
base::Failure LoadServerTree(const char* setting, const base::Environment&, base::LoadObserver&,
                             std::unique_ptr<tree::LoadedTree>*) {
  if (!(setting && *setting))
    return base::Failure{base::kNoTreeConfigured,
                         {},
                         0,
                         "no directory tree configured: set DIRCLIENT_TREE to an LDIF file"};
  return base::Failure{
      base::kNoLdapReader, setting, 0,
      "this build reads LDIF exports, not LDAP servers: export the tree with \"ldapsearch -x -H "
      "URI -b BASE -E pr=1000/noprompt objectClass loginScript aliasedObjectName > tree.ldif\" and "
      "set DIRCLIENT_TREE to that file"};
}

}  // namespace tool
