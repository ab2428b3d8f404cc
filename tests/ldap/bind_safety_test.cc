// Whether a simple bind's password may cross a connection, by its peer: a
// local socket or a loopback address only, and never a connection whose
// peer cannot be read.
#include "ldap/bind_safety.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ldap.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

namespace qovant_test {
namespace {

struct Unbind {
  void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
using Handle = std::unique_ptr<LDAP, Unbind>;

// A socket listening on `address` (IPv4 or IPv6 text) at a free port: its
// port, 0 where this machine cannot listen there. Connections wait in its
// backlog, which is all a connect needs.
struct Listener {
  explicit Listener(const char* address) {
    sockaddr_storage where{};
    socklen_t length = sizeof where;
    auto* in4 = reinterpret_cast<sockaddr_in*>(&where);
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&where);
    if (inet_pton(AF_INET, address, &in4->sin_addr) == 1) {
      in4->sin_family = AF_INET;
    } else if (inet_pton(AF_INET6, address, &in6->sin6_addr) == 1) {
      in6->sin6_family = AF_INET6;
    } else {
      return;
    }
    fd = socket(where.ss_family, SOCK_STREAM, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&where), length) != 0 ||
        listen(fd, 4) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&where), &length) != 0)
      return;
    port = ntohs(where.ss_family == AF_INET ? in4->sin_port : in6->sin6_port);
  }
  ~Listener() {
    if (fd >= 0) close(fd);
  }
  int fd = -1;
  unsigned port = 0;
};

TEST(BindSafetyTest, ConfidentialOnlyOverALocalSocketOrLoopback) {
  struct {
    const char* peer;
    const char* listenOn;  // "-": not connected
    const char* address;
    bool confidential;
  } const kPeers[] = {
      {"not connected", "-", "", false},
      {"IPv4 loopback", "127.0.0.1", "127.0.0.1", true},
      {"IPv4 loopback, another address", "127.1.2.3", "127.1.2.3", true},
      {"IPv6 loopback", "::1", "[::1]", true},
      {"IPv4 loopback over IPv6", "::", "[::ffff:127.0.0.1]", true},
  };
  for (const auto& row : kPeers) {
    SCOPED_TRACE(row.peer);
    std::string url;
    std::unique_ptr<Listener> listener;
    if (std::strcmp(row.listenOn, "-") == 0) {
      url = "ldap://127.0.0.1:1";
    } else {
      listener = std::make_unique<Listener>(row.listenOn);
      // A machine may run without IPv6; every one has IPv4 loopback.
      if (!listener->port && std::strchr(row.listenOn, ':')) continue;
      ASSERT_NE(listener->port, 0u);
      url = std::string("ldap://") + row.address + ":" + std::to_string(listener->port);
    }
    LDAP* raw = nullptr;
    ASSERT_EQ(ldap_initialize(&raw, url.c_str()), LDAP_SUCCESS);
    Handle ld(raw);
    if (listener) {
      ASSERT_EQ(ldap_connect(ld.get()), LDAP_SUCCESS);
    }
    EXPECT_EQ(ldap_reader::ConnectionIsConfidential(ld.get()), row.confidential);
  }
}

}  // namespace
}  // namespace qovant_test
