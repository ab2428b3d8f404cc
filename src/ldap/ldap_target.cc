#include "ldap/ldap_target.h"

#include <ldap.h>

#include "base/status.h"
#include "ldap/ldap_handles.h"
#include "tree/name_mapping.h"

namespace ldap_reader {
namespace {

// What libldap reports as its URI when nothing configures one (or only the
// historic HOST option names localhost).
constexpr std::string_view kBuiltInDefaultUri = "ldap://localhost:389/??base";

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

bool ParseOne(std::string_view uri, bool first, LdapTarget* target, std::string* reason) {
  std::string text(uri);
  LDAPURLDesc* parsed = nullptr;
  int rc = ldap_url_parse(text.c_str(), &parsed);
  LdapUrlPtr url(parsed);
  if (rc != LDAP_URL_SUCCESS || !url) {
    *reason = "not an LDAP URI: " + text;
    return false;
  }
  if (url->lud_exts) {
    for (char** extension = url->lud_exts; *extension; ++extension) {
      if (AsksForStartTls(*extension)) {
        target->startTls = true;
      } else if ((*extension)[0] == '!') {
        *reason = std::string("unsupported critical extension ") + *extension;
        return false;
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
  return true;
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

bool ParseTargets(std::string_view uris, LdapTarget* target, std::string* reason) {
  *target = LdapTarget{};
  size_t pos = 0;
  bool first = true;
  for (;;) {
    while (pos < uris.size() && IsBlank(uris[pos])) ++pos;
    if (pos == uris.size()) break;
    size_t end = pos;
    while (end < uris.size() && !IsBlank(uris[end])) ++end;
    std::string_view uri = uris.substr(pos, end - pos);
    if (!IsLdapUri(uri)) {
      *reason = "not an LDAP URI: " + std::string(uri);
      return false;
    }
    if (!ParseOne(uri, first, target, reason)) return false;
    first = false;
    pos = end;
  }
  if (first) {
    *reason = "no LDAP URI";
    return false;
  }
  target->display = std::string(uris);
  return true;
}

}  // namespace

base::Failure ParseLdapTarget(std::string_view uris, LdapTarget* target) {
  base::Failure failure;
  if (!ParseTargets(uris, target, &failure.message)) {
    failure.status = base::kLdapBadUri;
    failure.where = std::string(uris);
  }
  return failure;
}

std::string ConfiguredLdapUris() {
  char* uri = nullptr;
  if (ldap_get_option(nullptr, LDAP_OPT_URI, &uri) != LDAP_OPT_SUCCESS) return "";
  std::string configured = TakeLdapString(uri);
  return configured == kBuiltInDefaultUri ? "" : configured;
}

std::string ConfiguredLdapBase() {
  char* base = nullptr;
  if (ldap_get_option(nullptr, LDAP_OPT_DEFBASE, &base) != LDAP_OPT_SUCCESS) return "";
  return TakeLdapString(base);
}

}  // namespace ldap_reader
