// Whether a simple bind's password may cross a connection, by its peer: a
// loopback address (or a local socket, which the system rows reach), never
// a connection whose peer cannot be read.
#include "ldap/bind_safety.h"

#include <gtest/gtest.h>
#include <ldap.h>
#include <netdb.h>
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

// A socket listening at a free port of `address`, where a connection
// waits unaccepted in its backlog: all a connect needs. Port 0 where this
// machine has no such address.
struct Listener {
  explicit Listener(const char* address) {
    addrinfo hints{}, *found = nullptr;
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(address, "0", &hints, &found) != 0) return;
    fd = socket(found->ai_family, SOCK_STREAM, 0);
    sockaddr_in6 bound{};  // sin_port and sin6_port share their place
    socklen_t length = sizeof bound;
    if (fd >= 0 && bind(fd, found->ai_addr, found->ai_addrlen) == 0 && listen(fd, 4) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) == 0)
      port = ntohs(bound.sin6_port);
    freeaddrinfo(found);
  }
  ~Listener() {
    if (fd >= 0) close(fd);
  }
  int fd = -1;
  unsigned port = 0;
};

TEST(BindSafetyTest, ConfidentialOnlyOverLoopback) {
  struct {
    const char* peer;
    const char* listenOn;
    const char* host;  // as the URL names it
    bool connect;      // false: a handle whose peer cannot be read
    bool confidential;
  } const kPeers[] = {
      {"never connected", "127.0.0.1", "127.0.0.1", false, false},
      {"IPv4 loopback", "127.0.0.1", "127.0.0.1", true, true},
      {"IPv4 loopback, another address", "127.1.2.3", "127.1.2.3", true, true},
      {"IPv6 loopback", "::1", "[::1]", true, true},
      {"IPv4 loopback over IPv6", "::ffff:127.0.0.1", "[::ffff:127.0.0.1]", true, true},
  };
  for (const auto& row : kPeers) {
    SCOPED_TRACE(row.peer);
    Listener listener(row.listenOn);
    // A machine may run without IPv6; every one has IPv4 loopback.
    if (!listener.port && std::strchr(row.listenOn, ':')) continue;
    ASSERT_NE(listener.port, 0u);
    std::string url = std::string("ldap://") + row.host + ":" + std::to_string(listener.port);
    LDAP* raw = nullptr;
    ASSERT_EQ(ldap_initialize(&raw, url.c_str()), LDAP_SUCCESS);
    Handle ld(raw);
    if (row.connect) {
      ASSERT_EQ(ldap_connect(ld.get()), LDAP_SUCCESS);
    }
    EXPECT_EQ(ldap_reader::ConnectionIsConfidential(ld.get()), row.confidential);
  }
}

}  // namespace
}  // namespace qovant_test
