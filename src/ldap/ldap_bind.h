// Who the client is on the server, as libldap users expect: a simple bind as
// the configured BINDDN when a password is given; SASL EXTERNAL over ldapi://
// or where libldap's configuration names that mechanism (SASL_MECH);
// anonymous otherwise.
#pragma once

#include <string>

#include "ldap/ldap_connection.h"
#include "ldap/ldap_status.h"
#include "ldap/ldap_target.h"
#include "ldap/password_file.h"

namespace ldap_reader {

// `password` is null when no password file is configured; with one, the
// bind is a simple bind as `bindDn`, the DN the client found in libldap's
// configuration and checked. A refused bind fails with the server's result.
base::Failure BindConnection(LdapConnection& connection, const LdapTarget& target,
                             const SecretBytes* password, const std::string& bindDn);

}  // namespace ldap_reader
