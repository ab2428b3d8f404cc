#include "ldap/ldap_target.h"

#include <ldap.h>

#include <utility>

#include "base/status.h"
#include "ldap/ldap_handles.h"
#include "tree/name_mapping.h"

namespace ldap_reader {
namespace {

// What libldap reports as its URI when nothing configures one (or only the
// historic HOST option names localhost).
constexpr std::string_view kBuiltInDefaultUri = "ldap://localhost:389/??base";

// The failure for a setting that names no LDAP target; where it stands is
// the caller's to say.
base::Failure BadUri(std::string message) {
  return base::Failure{base::kLdapBadUri, {}, 0, std::move(message)};
}

base::Failure NotAnLdapUri(std::string_view text) {
  return BadUri("not an LDAP URI: " + std::string(text));
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         tree::EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// StartTLS by name or OID, marked critical or not.
bool AsksForStartTls(std::string_view extension) {
  if (!extension.empty() && extension[0] == '!') extension.remove_prefix(1);
  return tree::EqualsIgnoreAsciiCase(extension, "StartTLS") ||
         tree::EqualsIgnoreAsciiCase(extension, "X-StartTLS") || extension == LDAP_EXOP_START_TLS;
}

base::Failure ParseOne(std::string_view uri, bool first, LdapTarget* target) {
  std::string text(uri);
  LDAPURLDesc* parsed = nullptr;
  int rc = ldap_url_parse(text.c_str(), &parsed);
  LdapUrlPtr url(parsed);
  if (rc != LDAP_URL_SUCCESS || !url) return NotAnLdapUri(text);
  if (url->lud_exts) {
    for (char** extension = url->lud_exts; *extension; ++extension) {
      if (AsksForStartTls(*extension)) {
        target->startTls = true;
      } else if ((*extension)[0] == '!') {
        return BadUri(std::string("unsupported critical extension ") + *extension);
      }
    }
  }
  // Only scheme, host and port go to libldap.
  size_t hostStart = text.find("://") + 3;
  size_t hostEnd = text.find_first_of("/?", hostStart);
  if (hostEnd == std::string::npos) hostEnd = text.size();
  if (!target->servers.empty()) target->servers += ' ';
  target->servers += url->lud_scheme;
  target->servers += "://";
  target->servers.append(text, hostStart, hostEnd - hostStart);
  if (first) {
    target->ldapi = tree::EqualsIgnoreAsciiCase(url->lud_scheme, "ldapi");
    if (url->lud_dn) target->base = url->lud_dn;
  }
  return {};
}

std::string TakeLdapString(char* value) {
  LdapStringPtr owned(value);
  return owned ? std::string(owned.get()) : std::string();
}

}  // namespace

bool IsLdapUri(std::string_view setting) {
  return StartsWithIgnoreCase(setting, "ldap://") || StartsWithIgnoreCase(setting, "ldaps://") ||
         StartsWithIgnoreCase(setting, "ldapi://");
}

namespace {

base::Failure ParseTargets(std::string_view uris, LdapTarget* target) {
  *target = LdapTarget{};
  size_t pos = 0;
  bool first = true;
  for (;;) {
    while (pos < uris.size() && IsBlank(uris[pos])) ++pos;
    if (pos == uris.size()) break;
    size_t end = pos;
    while (end < uris.size() && !IsBlank(uris[end])) ++end;
    std::string_view uri = uris.substr(pos, end - pos);
    if (!IsLdapUri(uri)) return NotAnLdapUri(uri);
    if (base::Failure failure = ParseOne(uri, first, target); failure.status != base::kOk)
      return failure;
    first = false;
    pos = end;
  }
  if (first) return BadUri("no LDAP URI");
  target->display = std::string(uris);
  return {};
}

}  // namespace

base::Failure ParseLdapTarget(std::string_view uris, LdapTarget* target) {
  base::Failure failure = ParseTargets(uris, target);
  if (failure.status != base::kOk) failure.where = std::string(uris);
  return failure;
}

std::string ConfiguredLdapUris() {
  char* uri = nullptr;
  if (ldap_get_option(nullptr, LDAP_OPT_URI, &uri) != LDAP_OPT_SUCCESS) return "";
  std::string configured = TakeLdapString(uri);
  return configured == kBuiltInDefaultUri ? "" : configured;
}

std::string ConfiguredLdapBase() {
  char* value = nullptr;
  if (ldap_get_option(nullptr, LDAP_OPT_DEFBASE, &value) != LDAP_OPT_SUCCESS) return "";
  return TakeLdapString(value);
}

}  // namespace ldap_reader
