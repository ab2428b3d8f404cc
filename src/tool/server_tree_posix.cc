#include <string>

#include "base/status.h"
#include "ldap/ldap_source.h"
#include "ldap/ldap_target.h"
#include "ldap/user_ldap_config.h"
#include "tool/server_tree.h"

namespace tool {

bool NamesServer(std::string_view setting) { return ldap_reader::IsLdapUri(setting); }

base::Failure LoadServerTree(const char* setting, const base::Environment& environment,
                             base::LoadObserver& observer, std::unique_ptr<tree::LoadedTree>* out) {
  // libldap's configuration is read once, here, and handed to libldap
  // before its first call, so that libldap never reads a file itself.
  ldap_reader::UserLdapConfig config;
  if (base::Failure failure = ldap_reader::ReadLdapConfig(environment, &config);
      failure.status != base::kOk)
    return failure;
  ldap_reader::ApplyLdapConfig(&config);
  // A URI, or else whatever server libldap's configuration names, with its
  // default base (BASE, LDAPBASE) where the URI has none.
  std::string uris = setting && *setting ? std::string(setting) : ldap_reader::ConfiguredLdapUris();
  if (uris.empty())
    return base::Failure{base::kNoTreeConfigured,
                         {},
                         0,
                         "no directory tree configured: set DIRCLIENT_TREE to an LDIF file or an "
                         "ldap://, ldaps:// or ldapi:// URI, or name a server in ldap.conf (URI)"};
  ldap_reader::LdapTarget target;
  if (base::Failure failure = ldap_reader::ParseLdapTarget(uris, &target);
      failure.status != base::kOk)
    return failure;
  if (!(setting && *setting) && target.base.empty())
    target.base = ldap_reader::ConfiguredLdapBase();
  return ldap_reader::LoadLdapTree(target, config, environment, observer, out);
}

}  // namespace tool
