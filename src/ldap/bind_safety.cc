#include "ldap/bind_safety.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/status.h"

namespace ldap_reader {
namespace {

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

bool IsLoopback(const struct sockaddr_storage& peer) {
  if (peer.ss_family == AF_UNIX) return true;
  if (peer.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const struct sockaddr_in&>(peer);
    return (ntohl(in.sin_addr.s_addr) >> 24) == 127;
  }
  if (peer.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const struct sockaddr_in6&>(peer);
    if (IN6_IS_ADDR_LOOPBACK(&in6.sin6_addr)) return true;
    // ::ffff:127.x.y.z, an IPv4 loopback address reached over IPv6.
    return IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr) && in6.sin6_addr.s6_addr[12] == 127;
  }
  return false;
}

}  // namespace

base::Failure CheckWorkingDirConfig(const UserLdapConfig& config) {
  base::Failure failure;
  const char* refused =
      "; configuration from the working directory is refused with a password file";
  for (const LdapConfigFile& file : config.files) {
    if (!file.inWorkingDir) continue;
    std::string why;
    if (file.owner != geteuid())
      why = "owned by uid " + std::to_string(file.owner) + ", not yours (uid " +
            std::to_string(geteuid()) + ")";
    else if (file.mode & (S_IWGRP | S_IWOTH))
      why = "writable by group or others (mode " + ModeText(file.mode) + ")";
    else
      continue;
    failure.status = base::kLdapConfigUnsafe;
    failure.message = file.path + ": " + why + refused;
    return failure;
  }
  return failure;
}

std::vector<std::string> WorkingDirChoices(const UserLdapConfig& config, bool serverFromConfig,
                                           bool simpleBind) {
  std::vector<std::string> lines;
  const LdapConfigSetting& server = config.server;
  if (serverFromConfig && server.set && server.fromWorkingDir)
    lines.push_back("server set by " + server.source +
                    " in the working directory: " + server.value);
  const LdapConfigSetting& bindDn = config.bindDn;
  if (simpleBind && bindDn.set && bindDn.fromWorkingDir)
    lines.push_back("bind DN set by " + bindDn.source +
                    " in the working directory: " + bindDn.value);
  return lines;
}

bool ConnectionIsConfidential(LDAP* ld) {
  if (ldap_tls_inplace(ld)) return true;
  int fd = -1;
  if (ldap_get_option(ld, LDAP_OPT_DESC, &fd) != LDAP_OPT_SUCCESS || fd < 0) return false;
  struct sockaddr_storage peer;
  socklen_t length = sizeof peer;
  std::memset(&peer, 0, sizeof peer);
  if (getpeername(fd, reinterpret_cast<struct sockaddr*>(&peer), &length) != 0) return false;
  return IsLoopback(peer);
}

bool PlaintextBindAllowed(const base::Environment& environment) {
  const char* value = environment.Get(kPlaintextBindVariable);
  return value && std::strcmp(value, kPlaintextBindAllowed) == 0;
}

const char* WeakCertificateCheck() {
  int check = LDAP_OPT_X_TLS_DEMAND;
  if (ldap_get_option(nullptr, LDAP_OPT_X_TLS_REQUIRE_CERT, &check) != LDAP_OPT_SUCCESS)
    return nullptr;
  if (check == LDAP_OPT_X_TLS_NEVER) return "never";
  if (check == LDAP_OPT_X_TLS_ALLOW) return "allow";
  return nullptr;
}

}  // namespace ldap_reader
