// The files and variables through which libldap's configuration decides
// where a password goes: the server (URI, HOST) and the bind DN (BINDDN).
// libldap reads them by itself and offers no way to ask which file set an
// option, or what BINDDN is; the client reads the same sources in the same
// order to find out, so that it can refuse files others could have written
// and say when the working directory chose the server or the identity.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "client/environment.h"

namespace dirclient {

// One configuration file that libldap reads.
struct LdapConfigFile {
  std::string path;
  bool inWorkingDir = false;  // a relative path, or one in the working directory
  bool opened = false;        // false: absent or unreadable, so not read
  bool regular = false;
  bool tooLarge = false;      // over kMaxLdapConfigFile: not read
  uid_t owner = 0;
  mode_t mode = 0;
};

// Where an option's value in force came from.
struct LdapConfigSetting {
  bool set = false;
  std::string value;
  std::string source;  // the file's path, or the environment variable
  bool fromWorkingDir = false;
};

struct UserLdapConfig {
  std::vector<LdapConfigFile> files;  // in libldap's order
  LdapConfigSetting server;           // URI or HOST, whichever came last
  LdapConfigSetting bindDn;           // BINDDN
};

// Larger files are not configuration; they are reported, not read whole.
inline constexpr long kMaxLdapConfigFile = 1 << 20;

// Reads the sources libldap 2.5 reads after ldap.conf, in its order:
// unless LDAPNOINIT is set or the process runs set-user-ID, $HOME/ldaprc,
// $HOME/.ldaprc, ./ldaprc, $LDAPCONF, $HOME/$LDAPRC, $HOME/.$LDAPRC,
// $LDAPRC, then LDAPHOST, LDAPURI and LDAPBINDDN. BINDDN counts only in the
// user files (not in $LDAPCONF), as in libldap. Of the working directory,
// libldap reads ./ldaprc (not ./.ldaprc), and more only where HOME, LDAPCONF
// or LDAPRC lead there.
UserLdapConfig ReadUserLdapConfig(const Environment& environment);

}  // namespace dirclient
