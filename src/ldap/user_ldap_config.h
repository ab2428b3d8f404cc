// libldap's configuration, read once by the client and handed to libldap.
// libldap would otherwise read its files by itself, by name, before the
// client could look at them: whoever can write the working folder could
// then swap ./ldaprc between libldap's read and the client's check, and
// choose the server a password goes to. So libldap reads no file
// (LDAPNOINIT): the client opens each file once, decides from that
// descriptor (fstat) whether to trust it, and hands libldap exactly the
// lines it read, through libldap's own parser for a configuration line.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "base/environment.h"
#include "base/failure.h"

namespace ldap_reader {

// One configuration file read.
struct LdapConfigFile {
  std::string path;
  bool inWorkingDir = false;  // a relative path, or one in the working directory
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

// One option as libldap applies it: a line of a file, or an LDAP<NAME>
// variable. `userFile`: read from a user file or the environment, where
// libldap also takes the options it keeps to the user's own (BINDDN,
// SASL_AUTHCID, SASL_AUTHZID, TLS_CERT, TLS_KEY).
struct LdapConfigLine {
  std::string command;
  std::string value;
  bool userFile = false;
  std::string source;  // the file's path, or the environment variable
  bool fromWorkingDir = false;
};

struct UserLdapConfig {
  std::vector<LdapConfigFile> files;  // the files read, in libldap's order
  std::vector<LdapConfigLine> lines;  // every option, in libldap's order
  LdapConfigSetting server;           // URI or HOST in force (set by ApplyLdapConfig)
  LdapConfigSetting bindDn;           // BINDDN
};

// libldap's system-wide file, as Debian and OpenLDAP's default build name it.
inline constexpr const char* kSystemLdapConf = "/etc/ldap/ldap.conf";

// Larger files are no configuration: refused after reading this many bytes
// and one more, whatever size the file claims.
inline constexpr std::size_t kMaxLdapConfigFile = 1 << 20;

// Reads the sources libldap 2.5 reads, in its order: `systemFile`; then,
// unless the process runs set-user-ID, $HOME/ldaprc, $HOME/.ldaprc,
// ./ldaprc, $LDAPCONF, $HOME/$LDAPRC, $HOME/.$LDAPRC, $LDAPRC and the
// LDAP<NAME> variables; nothing at all where LDAPNOINIT is set. Each file
// is opened once, without blocking; a file that is absent or that the user
// may not read is skipped, as libldap skips it. Fails (kLdapConfigUnsafe,
// about the file) on a file that is not a regular file (a FIFO, a device, a
// link to one) before reading from it, and on one over kMaxLdapConfigFile.
base::Failure ReadLdapConfig(const base::Environment& environment, UserLdapConfig* config,
                             const char* systemFile = kSystemLdapConf);

// Hands libldap the options read, through its own parser of a
// configuration line, after turning its own reading of files and variables
// off (it must not read them again), and notes in config->server which
// setting of the server libldap took last. It has effect only when it
// comes before any other libldap call of the process: libldap reads its
// configuration on its first call.
void ApplyLdapConfig(UserLdapConfig* config);

}  // namespace ldap_reader
