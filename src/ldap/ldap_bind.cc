#include "ldap/ldap_bind.h"

#include <string>

#include "tree/name_mapping.h"

namespace ldap_reader {
namespace {

std::string StringOption(LDAP* ld, int option) {
  char* value = nullptr;
  if (ldap_get_option(ld, option, &value) != LDAP_OPT_SUCCESS) return "";
  LdapStringPtr owned(value);
  return owned ? std::string(owned.get()) : std::string();
}

bool WantsExternal(LDAP* ld, const LdapTarget& target) {
  return target.ldapi ||
         tree::EqualsIgnoreAsciiCase(StringOption(ld, LDAP_OPT_X_SASL_MECH), "EXTERNAL");
}

}  // namespace

base::Failure BindConnection(LdapConnection& connection, const LdapTarget& target,
                             const SecretBytes* password, const std::string& bindDn) {
  LDAP* ld = connection.get();
  int msgid = -1;
  int rc;
  if (password) {
    // The DN is passed, not left to libldap's default, so that what is
    // sent is what was checked.
    struct berval credentials = {password->size(), const_cast<char*>(password->view().data())};
    rc = ldap_sasl_bind(ld, bindDn.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr,
                        &msgid);
  } else if (WantsExternal(ld, target)) {
    // EXTERNAL's initial response is the authorization identity, empty
    // unless one is configured; sent even when empty, so that the bind
    // takes one round trip.
    std::string authzid = StringOption(ld, LDAP_OPT_X_SASL_AUTHZID);
    struct berval credentials = {authzid.size(), authzid.data()};
    rc = ldap_sasl_bind(ld, nullptr, "EXTERNAL", &credentials, nullptr, nullptr, &msgid);
  } else {
    return {};  // LDAPv3 needs no bind to be anonymous
  }
  if (rc != LDAP_SUCCESS) {
    return connection.FailureOf(rc);
  }
  PendingRequest request(ld, msgid);
  LdapMessagePtr message;
  int type = 0;
  base::Failure failure = connection.Next(msgid, &message, &type);
  if (failure.status != base::kOk) return failure;
  request.Finished();
  int result = LDAP_OTHER;
  char* diagnostic = nullptr;
  rc = ldap_parse_result(ld, message.get(), &result, nullptr, &diagnostic, nullptr, nullptr, 0);
  LdapStringPtr ownedDiagnostic(diagnostic);
  if (rc != LDAP_SUCCESS) {
    return connection.FailureOf(rc);
  }
  if (result != LDAP_SUCCESS) {
    failure = MakeLdapFailure(result, diagnostic);
    failure.message.insert(0, password ? "simple bind as BINDDN: " : "SASL EXTERNAL bind: ");
    return failure;
  }
  return {};
}

}  // namespace ldap_reader
