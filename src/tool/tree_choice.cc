#include "tool/tree_choice.h"

#include <cstdlib>
#include <new>

#include "client/shown_text.h"
#include "client/status.h"
#include "ldap/ldap_source.h"
#include "ldap/ldap_target.h"
#include "ldif/ldif_file.h"

namespace dirclient {

Status LoadConfiguredTree(const char* setting, std::FILE* diagnostics,
                          const char* program, std::unique_ptr<LoadedTree>* out) {
  if (setting && *setting && !IsLdapUri(setting))
    return LoadLdifFile(setting, diagnostics, program, out);

  // A URI, or else whatever server libldap's own configuration names, with
  // its default base (BASE, LDAPBASE) where the URI has none.
  std::string uris = setting && *setting ? std::string(setting) : ConfiguredLdapUris();
  if (uris.empty()) {
    std::fprintf(diagnostics,
                 "%s: no directory tree configured: set DIRCLIENT_TREE to an "
                 "LDIF file or an ldap://, ldaps:// or ldapi:// URI, or name a "
                 "server in ldap.conf (URI)\n",
                 program);
    return kNoTreeConfigured;
  }
  LdapTarget target;
  std::string reason;
  if (!ParseLdapTarget(uris, &target, &reason)) {
    std::fprintf(diagnostics, "%s: %s: %s\n", program, ShownOn(diagnostics, uris).c_str(),
                 ShownOn(diagnostics, reason).c_str());
    return kLdapBadUri;
  }
  if (!(setting && *setting) && target.base.empty()) target.base = ConfiguredLdapBase();
  return LoadLdapTree(target, std::getenv("DIRCLIENT_PASSWORD_FILE"), diagnostics,
                      program, out);
}

Status ConfiguredTree::Load(std::unique_ptr<LoadedTree>* out) {
  try {
    return LoadConfiguredTree(setting_, diagnostics_, program_, out);
  } catch (const std::bad_alloc&) {
    // A tree larger than memory is a start-up failure like any other.
    out->reset();
    bool named = setting_ && *setting_;
    std::fprintf(diagnostics_, "%s: %s%sout of memory while loading the tree\n", program_,
                 named ? ShownOn(diagnostics_, setting_).c_str() : "", named ? ": " : "");
    return kOutOfMemory;
  }
}

}  // namespace dirclient
