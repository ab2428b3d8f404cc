// A TCP relay between the client and a test slapd that misbehaves on cue, so
// that a test can cut the server off at a known point of a read:
//
//   ldap_fault_proxy PORTFILE SERVERPORT stall BYTES
//   ldap_fault_proxy PORTFILE SERVERPORT kill|sigkill|freeze BYTES PID
//   ldap_fault_proxy PORTFILE SERVERPORT hangup BYTES
//
// Listens on 127.0.0.1 at a port of the kernel's choice, written to PORTFILE
// once it listens, and relays one connection to 127.0.0.1:SERVERPORT.
// stall: once BYTES have come from the server, relays nothing more, so the
//   server seems to hang; ends when the client hangs up.
// kill: once BYTES have come from the server, the client's next request is
//   held back and the server (PID) is sent SIGTERM; what the server still
//   sends is passed on, and the client is hung up on when the server is gone.
// sigkill: the same with SIGKILL, which gives the server no chance to say
//   goodbye.
// freeze: once BYTES have come from the server, the server is sent SIGSTOP
//   in the middle of its answer; relaying goes on, so whatever the server
//   sends after the test's SIGCONT reaches the client.
// hangup: once BYTES have come from the server, the client's next request
//   makes the relay hang up on the client at once, as a server that drops
//   its connections would.
// Gives up after 60 s whatever happens, so a test cannot hang on it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class Socket {
 public:
  explicit Socket(int fd = -1) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

constexpr auto kGiveUpAfter = std::chrono::seconds(60);

int Fail(const char* what) {
  std::fprintf(stderr, "ldap_fault_proxy: %s: %s\n", what, std::strerror(errno));
  return 1;
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool WritePortFile(const std::string& path, uint16_t port) {
  std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (!file) return false;
  bool ok = std::fprintf(file, "%u\n", port) > 0;
  ok = std::fclose(file) == 0 && ok;
  return ok && std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 3 ? argv[3] : "";
  const bool signalMode = mode == "kill" || mode == "sigkill" || mode == "freeze";
  if (argc < 5 || (mode != "stall" && !signalMode && mode != "hangup") ||
      signalMode != (argc == 6)) {
    std::fprintf(stderr,
                 "usage: ldap_fault_proxy PORTFILE SERVERPORT stall BYTES\n"
                 "       ldap_fault_proxy PORTFILE SERVERPORT kill|sigkill|freeze BYTES PID\n"
                 "       ldap_fault_proxy PORTFILE SERVERPORT hangup BYTES\n");
    return 2;
  }
  const bool freezeMode = mode == "freeze";
  const bool killMode = signalMode && !freezeMode;
  const int signalToSend = mode == "kill" ? SIGTERM : SIGKILL;
  const bool hangupMode = mode == "hangup";
  const unsigned long serverPort = std::strtoul(argv[2], nullptr, 10);
  const unsigned long long trigger = std::strtoull(argv[4], nullptr, 10);
  const long pid = signalMode ? std::strtol(argv[5], nullptr, 10) : 0;
  if (serverPort == 0 || serverPort > 65535 || (signalMode && pid <= 1)) {
    std::fprintf(stderr, "ldap_fault_proxy: bad port or PID\n");
    return 2;
  }

  Socket listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (listener.get() < 0) return Fail("socket");
  sockaddr_in address = Loopback(0);
  if (bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    return Fail("bind");
  if (listen(listener.get(), 1) != 0) return Fail("listen");
  socklen_t length = sizeof address;
  if (getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return Fail("getsockname");
  if (!WritePortFile(argv[1], ntohs(address.sin_port))) return Fail("port file");

  const auto deadline = std::chrono::steady_clock::now() + kGiveUpAfter;
  auto remainingMs = [&] {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(left.count() > 0 ? left.count() : 0);
  };

  pollfd waitAccept{listener.get(), POLLIN, 0};
  if (poll(&waitAccept, 1, remainingMs()) <= 0) return Fail("no client");
  Socket client(accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (client.get() < 0) return Fail("accept");
  Socket server(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in target = Loopback(static_cast<uint16_t>(serverPort));
  if (server.get() < 0 ||
      connect(server.get(), reinterpret_cast<sockaddr*>(&target), sizeof target) != 0)
    return Fail("connect to server");

  unsigned long long fromServer = 0;
  bool fired = false;
  char buffer[65536];
  while (remainingMs() > 0) {
    pollfd fds[2] = {{client.get(), POLLIN, 0}, {server.get(), POLLIN, 0}};
    // A stalled relay still watches the client, to end when it hangs up.
    nfds_t count = (fired && mode == "stall") ? 1 : 2;
    int ready = poll(fds, count, remainingMs());
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;

    if (fds[0].revents) {
      ssize_t got = recv(client.get(), buffer, sizeof buffer, 0);
      if (got <= 0) break;  // the client hung up
      if (!fired && fromServer >= trigger && trigger > 0) {
        fired = true;
        if (hangupMode) break;
        if (killMode && kill(static_cast<pid_t>(pid), signalToSend) != 0) return Fail("kill");
      }
      if ((!fired || freezeMode) && !SendAll(server.get(), buffer, static_cast<size_t>(got)))
        break;
    }
    if (count == 2 && fds[1].revents) {
      ssize_t got = recv(server.get(), buffer, sizeof buffer, 0);
      if (got <= 0) break;  // the server is gone
      if (fired && mode == "stall") continue;
      if (!SendAll(client.get(), buffer, static_cast<size_t>(got))) break;
      fromServer += static_cast<unsigned long long>(got);
      if (mode == "stall" && fromServer >= trigger) fired = true;
      if (freezeMode && !fired && fromServer >= trigger) {
        fired = true;
        if (kill(static_cast<pid_t>(pid), SIGSTOP) != 0) return Fail("kill");
      }
    }
  }
  return 0;
}
