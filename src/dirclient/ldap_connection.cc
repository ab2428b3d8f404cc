#include "dirclient/ldap_connection.h"

#include <string>

namespace dirclient {
namespace {

// The timeout option `option` as configured, or `fallback` where none is.
struct timeval ConfiguredTimeout(LDAP* ld, int option, long fallback) {
  struct timeval* configured = nullptr;
  struct timeval result = {fallback, 0};
  if (ldap_get_option(ld, option, &configured) == LDAP_OPT_SUCCESS && configured) {
    if (configured->tv_sec > 0 || configured->tv_usec > 0) result = *configured;
    ldap_memfree(configured);
  }
  return result;
}

}  // namespace

LdapFailure LdapConnection::Failure(int code) const {
  char* diagnostic = nullptr;
  if (ld_) ldap_get_option(ld_.get(), LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic);
  LdapStringPtr owned(diagnostic);
  return MakeLdapFailure(code, owned.get());
}

bool LdapConnection::SetOptions(LdapFailure* failure) {
  LDAP* ld = ld_.get();
  int version = LDAP_VERSION3;
  // Aliases are read as entries, never followed: ldap.conf's DEREF must not
  // change that. Referrals would be chased with other credentials. A client
  // size or time limit would only cut the tree short.
  int deref = LDAP_DEREF_NEVER;
  int noLimit = LDAP_NO_LIMIT;
  struct timeval network =
      ConfiguredTimeout(ld, LDAP_OPT_NETWORK_TIMEOUT, kDefaultNetworkTimeoutSeconds);
  requestTimeout_ = ConfiguredTimeout(ld, LDAP_OPT_TIMEOUT, kDefaultRequestTimeoutSeconds);
  struct Setting {
    int option;
    const void* value;
  } settings[] = {
      {LDAP_OPT_PROTOCOL_VERSION, &version},
      {LDAP_OPT_REFERRALS, LDAP_OPT_OFF},
      {LDAP_OPT_DEREF, &deref},
      {LDAP_OPT_SIZELIMIT, &noLimit},
      {LDAP_OPT_TIMELIMIT, &noLimit},
      {LDAP_OPT_RESTART, LDAP_OPT_ON},
      {LDAP_OPT_NETWORK_TIMEOUT, &network},
      {LDAP_OPT_TIMEOUT, &requestTimeout_},
  };
  for (const Setting& setting : settings) {
    if (ldap_set_option(ld, setting.option, setting.value) != LDAP_OPT_SUCCESS) {
      *failure = MakeLdapFailure(LDAP_LOCAL_ERROR, "libldap refused an option");
      return false;
    }
  }
  return true;
}

bool LdapConnection::Open(const LdapTarget& target, LdapFailure* failure) {
  LDAP* raw = nullptr;
  int rc = ldap_initialize(&raw, target.servers.c_str());
  ld_.reset(raw);
  if (rc != LDAP_SUCCESS || !ld_) {
    *failure = MakeLdapFailure(rc != LDAP_SUCCESS ? rc : LDAP_NO_MEMORY, nullptr);
    return false;
  }
  if (!SetOptions(failure)) return false;
  rc = ldap_connect(ld_.get());
  if (rc != LDAP_SUCCESS) {
    *failure = Failure(rc);
    return false;
  }
  if (target.startTls && !ldap_tls_inplace(ld_.get())) {
    rc = ldap_start_tls_s(ld_.get(), nullptr, nullptr);
    if (rc != LDAP_SUCCESS) {
      *failure = Failure(rc);
      failure->message = "StartTLS: " + failure->message;
      return false;
    }
  }
  return true;
}

int LdapConnection::Next(int msgid, LdapMessagePtr* message, LdapFailure* failure) {
  struct timeval wait = requestTimeout_;
  LDAPMessage* raw = nullptr;
  int type = ldap_result(ld_.get(), msgid, LDAP_MSG_ONE, &wait, &raw);
  message->reset(raw);
  if (type == 0) {
    *failure = MakeLdapFailure(LDAP_TIMEOUT, nullptr);
    failure->message += ": no answer from the server within " +
                        std::to_string(requestTimeout_.tv_sec) + " s";
    return 0;
  }
  if (type < 0 || !raw) {
    int code = LDAP_OTHER;
    ldap_get_option(ld_.get(), LDAP_OPT_RESULT_CODE, &code);
    *failure = Failure(code != LDAP_SUCCESS ? code : LDAP_OTHER);
    return 0;
  }
  return type;
}

}  // namespace dirclient
