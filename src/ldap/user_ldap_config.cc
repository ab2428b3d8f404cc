#include "ldap/user_ldap_config.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace dirclient {
namespace {

// libldap reads its files with fgets into a buffer of this size.
constexpr std::size_t kLineBuffer = 2048;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view command, const char* name) {
  std::string_view expected(name);
  return command.size() == expected.size() &&
         strncasecmp(command.data(), name, expected.size()) == 0;
}

bool InWorkingDir(const std::string& path) {
  if (path.empty() || path[0] != '/') return true;
  std::string folder = path.substr(0, path.rfind('/'));
  struct stat here, there;
  return stat(".", &here) == 0 && stat(folder.empty() ? "/" : folder.c_str(), &there) == 0 &&
         here.st_dev == there.st_dev && here.st_ino == there.st_ino;
}

void Record(LdapConfigSetting& setting, std::string_view value, const LdapConfigFile& file) {
  setting = LdapConfigSetting{true, std::string(value), file.path, file.inWorkingDir};
}

// One line as libldap splits it: "#" in the first column is a comment; the
// command is the first word, the value the rest, trimmed; a command without
// a value is ignored.
void ReadLine(std::string_view line, bool userFile, const LdapConfigFile& file,
              UserLdapConfig* config) {
  if (!line.empty() && line[0] == '#') return;
  line = Trim(line);
  std::size_t blank = 0;
  while (blank < line.size() && !std::isspace(static_cast<unsigned char>(line[blank]))) ++blank;
  if (blank == line.size()) return;
  std::string_view command = line.substr(0, blank);
  std::string_view value = Trim(line.substr(blank));
  if (SameName(command, "URI") || SameName(command, "HOST"))
    Record(config->server, value, file);
  else if (userFile && SameName(command, "BINDDN"))
    Record(config->bindDn, value, file);
}

void ReadFile(const std::string& path, bool userFile, UserLdapConfig* config) {
  LdapConfigFile file;
  file.path = path;
  file.inWorkingDir = InWorkingDir(path);
  // O_NONBLOCK: a FIFO planted under the name must not stop the run.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  struct stat info;
  if (fd >= 0 && fstat(fd, &info) == 0) {
    file.opened = true;
    file.regular = S_ISREG(info.st_mode);
    file.tooLarge = info.st_size > kMaxLdapConfigFile;
    file.owner = info.st_uid;
    file.mode = info.st_mode;
  }
  FilePtr stream(file.opened && file.regular && !file.tooLarge ? fdopen(fd, "r") : nullptr);
  if (!stream && fd >= 0) close(fd);
  if (stream) {
    char line[kLineBuffer];
    while (std::fgets(line, sizeof line, stream.get())) ReadLine(line, userFile, file, config);
  }
  if (file.opened) config->files.push_back(file);
}

void ReadUserFile(const char* name, const char* home, UserLdapConfig* config) {
  if (home) {
    ReadFile(std::string(home) + "/" + name, true, config);
    ReadFile(std::string(home) + "/." + name, true, config);
  }
  ReadFile(name, true, config);
}

void ReadVariable(const Environment& environment, LdapConfigSetting& setting,
                  const char* variable) {
  const char* value = environment.Get(variable);
  if (value) setting = LdapConfigSetting{*value != '\0', value, variable, false};
}

}  // namespace

UserLdapConfig ReadUserLdapConfig(const Environment& environment) {
  UserLdapConfig config;
  // ldap.conf is read first and cannot set BINDDN, so it never decides
  // either option where a later source sets it.
  if (environment.Get("LDAPNOINIT") || geteuid() != getuid()) return config;
  const char* home = environment.Get("HOME");
  ReadUserFile("ldaprc", home, &config);
  if (const char* conf = environment.Get("LDAPCONF")) ReadFile(conf, false, &config);
  if (const char* rc = environment.Get("LDAPRC")) ReadUserFile(rc, home, &config);
  ReadVariable(environment, config.server, "LDAPHOST");
  ReadVariable(environment, config.server, "LDAPURI");
  ReadVariable(environment, config.bindDn, "LDAPBINDDN");
  return config;
}

}  // namespace dirclient
