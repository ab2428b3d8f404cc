// The checks that keep a password on its way to the server the user meant:
// no configuration from the working directory that someone else could have
// written, no password in clear over a network, and a word on standard error
// wherever the working directory or libldap's configuration decides
// something the user may not expect.
#pragma once

#include <ldap.h>

#include <string>
#include <vector>

#include "base/environment.h"
#include "base/failure.h"
#include "base/status.h"
#include "ldap/user_ldap_config.h"

namespace ldap_reader {

// The variable that allows a simple bind over a connection without
// confidentiality, when set to exactly this value.
inline constexpr const char* kPlaintextBindVariable = "DIRCLIENT_PLAINTEXT_BIND";
inline constexpr const char* kPlaintextBindAllowed = "allow";

// The refusal (kLdapConfigUnsafe, its message naming the file) of the first
// of `config`'s files read from the working directory that is not the
// user's own or that group or others can write, or no failure (status 0):
// whoever can write it chooses the server the password goes to. (Only
// regular files are read at all.)
base::Failure CheckWorkingDirConfig(const UserLdapConfig& config);

// Lines saying which of the server (when it comes from the configuration at
// all) and the bind DN (when a simple bind uses it) the working directory
// chose, with their values.
std::vector<std::string> WorkingDirChoices(const UserLdapConfig& config, bool serverFromConfig,
                                           bool simpleBind);

// True when nothing sent over the connection can be read on a network: TLS
// is in place, or the peer is a local socket or a loopback address
// (127.0.0.0/8, ::1). RFC 4513 section 6.3.1 asks a client not to send a
// simple bind's password otherwise.
bool ConnectionIsConfidential(LDAP* ld);

// True when the user set kPlaintextBindVariable to kPlaintextBindAllowed.
bool PlaintextBindAllowed(const base::Environment& environment);

// "never" or "allow" when libldap's configuration (ldap.conf, ldaprc,
// LDAPTLS_REQCERT) lets TLS go on with a certificate that does not check
// out; null otherwise.
const char* WeakCertificateCheck();

}  // namespace ldap_reader
