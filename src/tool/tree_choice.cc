#include "tool/tree_choice.h"

#include <unistd.h>

#include <new>
#include <string>

#include "base/shown_text.h"
#include "base/status.h"
#include "client/locale_query.h"
#include "ldap/ldap_source.h"
#include "ldap/ldap_target.h"
#include "ldap/user_ldap_config.h"
#include "ldif/ldif_file.h"
#include "tool/load_reporter.h"
#include "tree/tree_builder.h"

namespace tool {
namespace {

constexpr char kTreeVariable[] = "DIRCLIENT_TREE";

base::Failure LoadFromSetting(const char* setting, const base::Environment& environment,
                              base::LoadObserver& observer,
                              std::unique_ptr<tree::LoadedTree>* out) {
  if (setting && *setting && !ldap_reader::IsLdapUri(setting))
    return ldif::LoadLdifFile(setting, observer, out);

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

}  // namespace

base::Status ConfiguredTree::Load(std::unique_ptr<tree::LoadedTree>* out) {
  bool terminal = isatty(fileno(diagnostics_)) == 1;
  uint32_t codePage = client::QueryLocale(environment_.Get("LC_ALL"), environment_.Get("LC_CTYPE"),
                                          environment_.Get("LANG"))
                          .codePage;
  tool::LoadReporter reporter(diagnostics_, terminal, codePage, program_);
  const char* setting = environment_.Get(kTreeVariable);
  base::Failure failure;
  try {
    failure = LoadFromSetting(setting, environment_, reporter, out);
  } catch (const std::bad_alloc&) {
    // A tree larger than memory is a start-up failure like any other.
    out->reset();
    failure = tree::OutOfMemoryWhileLoading();
    failure.where = setting ? setting : "";
  }
  reporter.Finish();
  if (failure.status != base::kOk) Print(failure, codePage, terminal);
  return failure.status;
}

void ConfiguredTree::Print(const base::Failure& failure, uint32_t codePage, bool terminal) const {
  std::string line;
  if (!failure.where.empty()) {
    base::AppendShownText(line, failure.where, codePage, terminal);
    if (failure.line) line += ":" + std::to_string(failure.line);
    line += ": ";
  }
  base::AppendShownText(
      line, failure.message.empty() ? base::StatusText(failure.status) : failure.message, codePage,
      terminal);
  std::fprintf(diagnostics_, "%s: %s\n", program_, line.c_str());
}

}  // namespace tool
