#include "tool/tree_choice.h"

#include <unistd.h>

#include <new>
#include <string>

#include "client/locale_query.h"
#include "client/shown_text.h"
#include "client/status.h"
#include "ldap/ldap_source.h"
#include "ldap/ldap_target.h"
#include "ldap/user_ldap_config.h"
#include "ldif/ldif_file.h"
#include "tool/load_reporter.h"

namespace dirclient {
namespace {

constexpr char kTreeVariable[] = "DIRCLIENT_TREE";

Status LoadFromSetting(const char* setting, const Environment& environment,
                       LoadObserver& observer, std::unique_ptr<LoadedTree>* out,
                       Failure* failure) {
  if (setting && *setting && !IsLdapUri(setting))
    return LoadLdifFile(setting, observer, out, failure);

  // libldap's configuration is read once, here, and handed to libldap
  // before its first call, so that libldap never reads a file itself.
  UserLdapConfig config;
  *failure = ReadLdapConfig(environment, &config);
  if (failure->status != kOk) return failure->status;
  ApplyLdapConfig(&config);
  // A URI, or else whatever server libldap's configuration names, with its
  // default base (BASE, LDAPBASE) where the URI has none.
  std::string uris = setting && *setting ? std::string(setting) : ConfiguredLdapUris();
  if (uris.empty()) {
    failure->message =
        "no directory tree configured: set DIRCLIENT_TREE to an LDIF file or an ldap://, "
        "ldaps:// or ldapi:// URI, or name a server in ldap.conf (URI)";
    return failure->status = kNoTreeConfigured;
  }
  LdapTarget target;
  *failure = ParseLdapTarget(uris, &target);
  if (failure->status != kOk) return failure->status;
  if (!(setting && *setting) && target.base.empty()) target.base = ConfiguredLdapBase();
  return LoadLdapTree(target, config, environment, observer, out, failure);
}

}  // namespace

Status ConfiguredTree::Load(std::unique_ptr<LoadedTree>* out) {
  bool terminal = isatty(fileno(diagnostics_)) == 1;
  uint32_t codePage = QueryLocale(environment_.Get("LC_ALL"), environment_.Get("LC_CTYPE"),
                                  environment_.Get("LANG"))
                          .codePage;
  qovant::LoadReporter reporter(diagnostics_, terminal, codePage, program_);
  const char* setting = environment_.Get(kTreeVariable);
  Failure failure;
  try {
    LoadFromSetting(setting, environment_, reporter, out, &failure);
  } catch (const std::bad_alloc&) {
    // A tree larger than memory is a start-up failure like any other.
    out->reset();
    failure = Failure{kOutOfMemory, setting ? setting : "", 0, kOutOfMemoryWhileLoading};
  }
  reporter.Finish();
  if (failure.status != kOk) Print(failure, codePage, terminal);
  return failure.status;
}

void ConfiguredTree::Print(const Failure& failure, uint32_t codePage, bool terminal) const {
  std::string line;
  if (!failure.where.empty()) {
    AppendShownText(line, failure.where, codePage, terminal);
    if (failure.line) line += ":" + std::to_string(failure.line);
    line += ": ";
  }
  AppendShownText(line, failure.message.empty() ? StatusText(failure.status) : failure.message,
                  codePage, terminal);
  std::fprintf(diagnostics_, "%s: %s\n", program_, line.c_str());
}

}  // namespace dirclient
