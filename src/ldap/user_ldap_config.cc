#include "ldap/user_ldap_config.h"

#include <fcntl.h>
#include <ldap.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "base/status.h"
#include "ldap/file_descriptor.h"

// libldap's parser of one configuration line, as it applies the lines of
// its own files; exported by libldap (ldapsearch's -o uses it) but
// declared in no installed header. Returns nonzero for an unknown option.
extern "C" int ldap_pvt_conf_option(char* cmd, char* opt, int userconf);

namespace ldap_reader {
namespace {

// libldap reads its files with fgets into a buffer of this size: a longer
// line reads as several.
constexpr std::size_t kLineBuffer = 2048;

// libldap's options, in the order it reads their LDAP<NAME> variables.
// Options this libldap was built without are unknown to its parser, and
// ignored there as libldap ignores them.
constexpr const char* kOptionNames[] = {"TIMEOUT",
                                        "NETWORK_TIMEOUT",
                                        "VERSION",
                                        "DEREF",
                                        "REFHOPLIMIT",
                                        "SIZELIMIT",
                                        "TIMELIMIT",
                                        "BINDDN",
                                        "BASE",
                                        "PORT",
                                        "HOST",
                                        "URI",
                                        "SOCKET_BIND_ADDRESSES",
                                        "REFERRALS",
                                        "KEEPALIVE_IDLE",
                                        "KEEPALIVE_PROBES",
                                        "KEEPALIVE_INTERVAL",
                                        "RESTART",
                                        "SASL_MECH",
                                        "SASL_REALM",
                                        "SASL_AUTHCID",
                                        "SASL_AUTHZID",
                                        "SASL_SECPROPS",
                                        "SASL_NOCANON",
                                        "SASL_CBINDING",
                                        "TLS_CERT",
                                        "TLS_KEY",
                                        "TLS_CACERT",
                                        "TLS_CACERTDIR",
                                        "TLS_REQCERT",
                                        "TLS_REQSAN",
                                        "TLS_RANDFILE",
                                        "TLS_CIPHER_SUITE",
                                        "TLS_PROTOCOL_MIN",
                                        "TLS_PROTOCOL_MAX",
                                        "TLS_PEERKEY_HASH",
                                        "TLS_ECNAME",
                                        "TLS_CRLCHECK",
                                        "TLS_CRLFILE"};

// Whole-number options that libldap takes from a variable with atoi, and
// from a file only when the whole value is a number.
constexpr const char* kAtoiOptions[] = {"REFHOPLIMIT", "SIZELIMIT", "TIMELIMIT", "PORT"};

bool SameName(std::string_view command, const char* name) {
  std::string_view expected(name);
  return command.size() == expected.size() &&
         strncasecmp(command.data(), name, expected.size()) == 0;
}

bool Blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
  return text;
}

bool InWorkingDir(const std::string& path) {
  if (path.empty() || path[0] != '/') return true;
  std::string folder = path.substr(0, path.rfind('/'));
  struct stat here, there;
  return stat(".", &here) == 0 && stat(folder.empty() ? "/" : folder.c_str(), &there) == 0 &&
         here.st_dev == there.st_dev && here.st_ino == there.st_ino;
}

void Add(UserLdapConfig* config, std::string_view command, std::string_view value, bool userFile,
         const std::string& source, bool fromWorkingDir) {
  config->lines.push_back(
      LdapConfigLine{std::string(command), std::string(value), userFile, source, fromWorkingDir});
  // libldap keeps BINDDN from user files only; from a variable, an empty
  // value unsets it.
  if (userFile && SameName(command, "BINDDN"))
    config->bindDn = LdapConfigSetting{!value.empty(), std::string(value), source, fromWorkingDir};
}

// One line as libldap splits it: "#" in the first column is a comment; the
// command is the first word, the value the rest, trimmed; a command without
// a value is ignored. The line is a C string to libldap: a NUL ends it.
void ReadLine(std::string_view line, bool userFile, const LdapConfigFile& file,
              UserLdapConfig* config) {
  line = line.substr(0, line.find('\0'));
  if (!line.empty() && line[0] == '#') return;
  line = Trim(line);
  std::size_t blank = 0;
  while (blank < line.size() && !Blank(line[blank])) ++blank;
  if (blank == line.size()) return;
  Add(config, line.substr(0, blank), Trim(line.substr(blank)), userFile, file.path,
      file.inWorkingDir);
}

base::Failure Refuse(const std::string& path, std::string why) {
  return base::Failure{base::kLdapConfigUnsafe, path, 0, std::move(why)};
}

// Opens `path` once, without waiting (a FIFO planted under the name must
// not stop the run), and decides from that descriptor alone: what is read
// is what was checked, whatever happens to the name meanwhile.
base::Failure ReadFile(const std::string& path, bool userFile, UserLdapConfig* config) {
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat info;
  // Absent or unreadable: libldap skips such a file too.
  if (fd.get() < 0 || fstat(fd.get(), &info) != 0) return base::Failure{};
  if (!S_ISREG(info.st_mode))
    return Refuse(path, "not a regular file: an LDAP configuration file must be one");
  LdapConfigFile file{path, InWorkingDir(path), info.st_uid, info.st_mode};
  // Grown with what is read, not with the size the file claims.
  std::string text;
  char block[16384];
  for (;;) {
    ssize_t got = read(fd.get(), block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(block, static_cast<std::size_t>(got));
    if (text.size() > kMaxLdapConfigFile)
      return Refuse(path, "over " + std::to_string(kMaxLdapConfigFile) +
                              " bytes: too large for an LDAP configuration file");
  }
  config->files.push_back(file);
  std::string_view rest(text);
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::size_t take =
        std::min(end == std::string_view::npos ? rest.size() : end + 1, kLineBuffer - 1);
    ReadLine(rest.substr(0, take), userFile, config->files.back(), config);
    rest.remove_prefix(take);
  }
  return base::Failure{};
}

base::Failure ReadUserFile(const std::string& name, const char* home, UserLdapConfig* config) {
  base::Failure failure;
  if (home) {
    failure = ReadFile(std::string(home) + "/" + name, true, config);
    if (failure.status == base::kOk)
      failure = ReadFile(std::string(home) + "/." + name, true, config);
  }
  if (failure.status == base::kOk) failure = ReadFile(name, true, config);
  return failure;
}

void ReadVariables(const base::Environment& environment, UserLdapConfig* config) {
  for (const char* name : kOptionNames) {
    std::string variable = std::string("LDAP") + name;
    const char* value = environment.Get(variable);
    if (!value) continue;
    std::string text = value;
    for (const char* whole : kAtoiOptions)
      if (SameName(name, whole)) text = std::to_string(std::atoi(value));
    Add(config, name, text, true, variable, false);
  }
}

}  // namespace

base::Failure ReadLdapConfig(const base::Environment& environment, UserLdapConfig* config,
                             const char* systemFile) {
  *config = UserLdapConfig{};
  if (environment.Get("LDAPNOINIT")) return base::Failure{};
  base::Failure failure = ReadFile(systemFile, false, config);
  if (failure.status != base::kOk || geteuid() != getuid()) return failure;
  const char* home = environment.Get("HOME");
  failure = ReadUserFile("ldaprc", home, config);
  const char* conf = environment.Get("LDAPCONF");
  if (failure.status == base::kOk && conf) failure = ReadFile(conf, false, config);
  const char* rc = environment.Get("LDAPRC");
  if (failure.status == base::kOk && rc) failure = ReadUserFile(rc, home, config);
  if (failure.status == base::kOk) ReadVariables(environment, config);
  return failure;
}

void ApplyLdapConfig(UserLdapConfig* config) {
  // Read by libldap on its first call, which this comes before.
  setenv("LDAPNOINIT", "1", 1);
  for (const LdapConfigLine& line : config->lines) {
    std::string value = line.value;
    // As libldap's parser sets them, but a server that libldap refuses
    // (a URI that does not parse) is not the one in use.
    int server = SameName(line.command, "URI")    ? LDAP_OPT_URI
                 : SameName(line.command, "HOST") ? LDAP_OPT_HOST_NAME
                                                  : 0;
    if (server && ldap_set_option(nullptr, server, value.c_str()) == LDAP_OPT_SUCCESS) {
      config->server = LdapConfigSetting{true, value, line.source, line.fromWorkingDir};
    } else if (!server) {
      std::string command = line.command;
      ldap_pvt_conf_option(command.data(), value.data(), line.userFile ? 1 : 0);
    }
  }
}

}  // namespace ldap_reader
