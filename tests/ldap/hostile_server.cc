// A small LDAP server that misbehaves, so that a test can show qovant's
// bounds on what a server sends and how long a read may take, or a relay to
// a test slapd that cuts it off at a known point of a read:
//
//   ldap_hostile_server PORTFILE SCENARIO
//   ldap_hostile_server PORTFILE stall|hangup BYTES SERVERPORT
//   ldap_hostile_server PORTFILE kill|sigkill BYTES SERVERPORT PID
//
// Listens on 127.0.0.1 at a port of the kernel's choice, written to PORTFILE
// once it listens, and plays SCENARIO to one connection. It speaks just
// enough LDAPv3 for an anonymous paged search of o=H: search entries,
// references and results with the paged results control, and the answer to
// StartTLS. Entries are below o=H, most with a script that holds "needle".
//
//   connect-stall  never takes a connection: its backlog is full, and a
//                  connect to it stalls before TCP's handshake ends
//   tls-stall      takes the connection, never answers (a ClientHello)
//   starttls-stall says yes to StartTLS, then never answers the handshake
//   cookie-cycle   pages with the cookies A, B, A, B, ...
//   cookie-fresh   a page of one entry with a fresh cookie, for ever
//   slow-entries   one entry a second, for ever
//   half-entry     the first half of an entry, then nothing
//   big-page       1001 entries in a page (qovant asks for 1000)
//   big-message    an entry of 100 KB, then a message header that claims
//                  2 GiB, then nothing; likewise with a header of length 0
//                  (zero-length), a length in 5 bytes (long-length) and a
//                  tag of 9 bytes (long-tag)
//   big-dn         an entry whose DN is 70000 bytes long
//   big-alias      an alias whose aliasedObjectName is 70000 bytes long
//   time-limit     500 entries, then the end of the search with result 3
//                  (timeLimitExceeded), as a server's time limit ends it
//   bad-dn         pages of 1000 entries, the 4500th with a DN that does
//                  not parse, with fresh cookies for 20 pages
//   big-values     200 entries whose scripts are 1 MiB each
//   flood          pages of 1000 entries with DNs of 50000 bytes, and a
//                  fresh cookie each, for ever
//   reference      an entry, then a continuation reference
//   control-text   an entry, then a continuation reference whose URL holds
//                  control characters
//   control-diagnostic  the search refused with a diagnostic message that
//                  holds control characters
//
// The relay passes the connection on to 127.0.0.1:SERVERPORT until BYTES
// have come from the server; then
//   stall          it relays nothing more, as if the server hung;
//   hangup         the client's next request makes it hang up on the client;
//   kill, sigkill  the client's next request is held back and the server
//                  (PID) sent SIGTERM or SIGKILL; what the server still sends
//                  is passed on, and the client hung up on when it is gone.
//
// Gives up after 60 s whatever happens, so a test cannot hang on it.
#include <arpa/inet.h>
#include <lber.h>
#include <ldap.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr unsigned kGiveUpSeconds = 60;

int Fail(const char* what) {
  std::fprintf(stderr, "ldap_hostile_server: %s\n", what);
  return 1;
}

bool WritePortFile(const std::string& path, unsigned port) {
  std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (!file) return false;
  bool ok = std::fprintf(file, "%u\n", port) > 0;
  ok = std::fclose(file) == 0 && ok;
  return ok && std::rename(temporary.c_str(), path.c_str()) == 0;
}

class Connection {
 public:
  explicit Connection(int fd) : fd_(fd), sb_(ber_sockbuf_alloc()) {
    ber_sockbuf_add_io(sb_, &ber_sockbuf_io_tcp, LBER_SBIOD_LEVEL_PROVIDER, &fd_);
  }
  ~Connection() { ber_sockbuf_free(sb_); }

  // Reads the next request: its message ID and operation tag; false when
  // the client has gone.
  bool Read(ber_int_t* msgid, ber_tag_t* op) {
    BerElement* ber = ber_alloc_t(0);
    ber_len_t length = 0;
    bool ok = ber_get_next(sb_, &length, ber) == LDAP_TAG_MESSAGE &&
              ber_get_int(ber, msgid) != LBER_ERROR;  // the SEQUENCE is read
    if (ok) *op = ber_peek_tag(ber, &length);
    ber_free(ber, 1);
    return ok;
  }
  // Reads requests up to the next search; false when the client has gone.
  bool NextSearch(ber_int_t* msgid) {
    ber_tag_t op = 0;
    while (Read(msgid, &op))
      if (op == LDAP_REQ_SEARCH) return true;
    return false;
  }
  // Waits for the client to go, answering nothing.
  void Drain() {
    char buffer[4096];
    while (read(fd_, buffer, sizeof buffer) > 0) {
    }
  }

  bool Send(BerElement* ber) { return ber && ber_flush2(sb_, ber, LBER_FLUSH_FREE_ALWAYS) == 0; }
  bool SendRaw(const char* bytes, size_t size) {
    return write(fd_, bytes, size) == static_cast<ssize_t>(size);
  }

 private:
  int fd_;
  Sockbuf* sb_;
};

BerElement* Entry(ber_int_t msgid, const std::string& dn, const std::string& script) {
  BerElement* ber = ber_alloc_t(LBER_USE_DER);
  ber_printf(ber, "{it{o{{s[ss]}{s[o]}}}}", msgid, LDAP_RES_SEARCH_ENTRY, dn.data(),
             static_cast<ber_len_t>(dn.size()), "objectClass", "person", "loginScriptHolder",
             "loginScript", script.data(), static_cast<ber_len_t>(script.size()));
  return ber;
}

// The final result of a page, with `cookie` in its paged results control.
BerElement* PageDone(ber_int_t msgid, const std::string& cookie, ber_int_t code = LDAP_SUCCESS) {
  BerElement* value = ber_alloc_t(LBER_USE_DER);
  struct berval encoded = {0, nullptr};
  ber_printf(value, "{io}", 0, cookie.data(), static_cast<ber_len_t>(cookie.size()));
  ber_flatten2(value, &encoded, 0);
  BerElement* ber = ber_alloc_t(LBER_USE_DER);
  ber_printf(ber, "{it{eoo}t{{sO}}}", msgid, LDAP_RES_SEARCH_RESULT, code, "", ber_len_t{0}, "",
             ber_len_t{0}, LDAP_TAG_CONTROLS, LDAP_CONTROL_PAGEDRESULTS, &encoded);
  ber_free(value, 1);
  return ber;
}

std::string User(unsigned long n) { return "cn=u" + std::to_string(n) + ",o=H"; }

int Play(const std::string& scenario, Connection& c) {
  ber_int_t msgid = 0;
  if (scenario == "tls-stall") {
    c.Drain();
    return 0;
  }
  // Headers that liblber refuses, after an entry that takes several reads,
  // answered to the search; then nothing.
  static const struct {
    const char* scenario;
    std::string header;
  } kHeaders[] = {
      {"big-message", "\x30\x84\x7F\xFF\xFF\xFF"},  // claims 2 GiB - 1
      {"zero-length", std::string("\x30\x00", 2)},
      {"long-length", std::string("\x30\x85\x00\x00\x00\x00\x10", 7)},
      {"long-tag", "\x3F\x81\x82\x83\x84\x85\x86\x87\x08\x10"},
  };
  for (const auto& refused : kHeaders) {
    if (scenario != refused.scenario) continue;
    if (c.NextSearch(&msgid) && c.Send(Entry(msgid, "o=H", std::string(100000, 'x'))))
      c.SendRaw(refused.header.data(), refused.header.size());
    c.Drain();
    return 0;
  }
  if (scenario == "starttls-stall") {
    ber_tag_t op = 0;
    if (c.Read(&msgid, &op) && op == LDAP_REQ_EXTENDED) {
      BerElement* yes = ber_alloc_t(LBER_USE_DER);
      ber_printf(yes, "{it{eoo}}", msgid, LDAP_RES_EXTENDED, LDAP_SUCCESS, "", ber_len_t{0}, "",
                 ber_len_t{0});
      c.Send(yes);
      c.Drain();
    }
    return 0;
  }
  if (!c.NextSearch(&msgid)) return 0;
  if (scenario == "cookie-cycle" || scenario == "cookie-fresh") {
    for (unsigned long page = 0;; ++page) {
      std::string cookie = scenario == "cookie-fresh" ? "page" + std::to_string(page)
                                                      : std::string(page % 2 ? "B" : "A");
      if (!c.Send(Entry(msgid, User(page), "needle")) || !c.Send(PageDone(msgid, cookie)) ||
          !c.NextSearch(&msgid))
        break;
    }
  } else if (scenario == "flood") {
    const std::string name(50000, 'x');
    for (unsigned long page = 0;; ++page) {
      for (unsigned long n = 0; n < 1000; ++n)
        if (!c.Send(Entry(msgid, "cn=" + name + std::to_string(page * 1000 + n) + ",o=H", "")))
          return 0;
      if (!c.Send(PageDone(msgid, "page" + std::to_string(page))) || !c.NextSearch(&msgid)) break;
    }
  } else if (scenario == "time-limit") {
    for (unsigned long n = 0; n < 500; ++n) c.Send(Entry(msgid, User(n), "needle"));
    c.Send(PageDone(msgid, "", LDAP_TIMELIMIT_EXCEEDED));
    c.Drain();
  } else if (scenario == "bad-dn") {
    // Found only when the tree is built, while entries keep coming.
    for (unsigned long page = 0; page < 20; ++page) {
      for (unsigned long n = page * 1000; n < page * 1000 + 1000; ++n)
        if (!c.Send(Entry(msgid, n == 4500 ? "bad dn 4500,o=H" : User(n), ""))) return 0;
      if (!c.Send(PageDone(msgid, page < 19 ? "page" + std::to_string(page) : "")) ||
          !c.NextSearch(&msgid))
        break;
    }
  } else if (scenario == "slow-entries") {
    for (unsigned long n = 0; c.Send(Entry(msgid, User(n), "needle")); ++n) sleep(1);
  } else if (scenario == "half-entry") {
    BerElement* entry = Entry(msgid, "o=H", std::string(1000, 'x'));
    struct berval bytes = {0, nullptr};
    ber_flatten2(entry, &bytes, 0);
    c.SendRaw(bytes.bv_val, bytes.bv_len / 2);
    ber_free(entry, 1);
    c.Drain();
  } else if (scenario == "big-page") {
    for (unsigned long n = 0; n < 1001; ++n) c.Send(Entry(msgid, User(n), "needle"));
  } else if (scenario == "big-dn") {
    c.Send(Entry(msgid, "cn=" + std::string(70000 - 8, 'x') + ",o=H", "needle"));
  } else if (scenario == "big-alias") {
    // The tree of tests/ldif/cases/error-alias-over-64-kib.ldif.
    std::string target = "cn=" + std::string(70000 - 7, 'x') + ",o=H";
    BerElement* alias = ber_alloc_t(LBER_USE_DER);
    ber_printf(alias, "{it{s{{s[ss]}{s[o]}}}}", msgid, LDAP_RES_SEARCH_ENTRY, "cn=a,o=H",
               "objectClass", "alias", "extensibleObject", "aliasedObjectName", target.data(),
               static_cast<ber_len_t>(target.size()));
    c.Send(Entry(msgid, "o=H", "needle"));
    c.Send(alias);
  } else if (scenario == "big-values") {
    // The needle at the start of each script is seen; the one past the
    // 60000 bytes qovant reads of a script is not.
    std::string script = "needle\n";
    while (script.size() < (1 << 20)) script += std::string(99, 'x') + "\n";
    script.replace(70000, 6, "hidden");
    c.Send(Entry(msgid, "o=H", "top needle"));
    for (unsigned long n = 0; n < 200; ++n) c.Send(Entry(msgid, User(n), script));
  } else if (scenario == "control-diagnostic") {
    BerElement* refused = ber_alloc_t(LBER_USE_DER);
    ber_printf(refused, "{it{ess}}", msgid, LDAP_RES_SEARCH_RESULT, LDAP_UNWILLING_TO_PERFORM, "",
               "no\x1b[2J\xc2\x9bway\x07\xc3\xa9");
    c.Send(refused);
    c.Drain();
  } else if (scenario == "control-text") {
    BerElement* reference = ber_alloc_t(LBER_USE_DER);
    ber_printf(reference, "{it{s}}", msgid, LDAP_RES_SEARCH_REFERENCE,
               "ldap://far.example/\x1b]0;t\x07\xc2\x9b,o=H");
    c.Send(Entry(msgid, "o=H", "top needle"));
    c.Send(reference);
  } else if (scenario == "reference") {
    BerElement* reference = ber_alloc_t(LBER_USE_DER);
    ber_printf(reference, "{it{ss}}", msgid, LDAP_RES_SEARCH_REFERENCE,
               "ldap://far.example/ou=Far,o=H", "ldap://127.0.0.1:1/ou=Far,o=H");
    c.Send(Entry(msgid, "o=H", "top needle"));
    c.Send(reference);
  } else {
    return Fail("unknown scenario");
  }
  // The last page of these ends here; then the client is waited for.
  if (scenario.rfind("big-", 0) == 0 || scenario == "reference" || scenario == "control-text") {
    c.Send(PageDone(msgid, ""));
    c.Drain();
  }
  return 0;
}

sockaddr_in Loopback(unsigned long port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
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

int Relay(int client, const std::string& mode, char** args, int count) {
  const bool signals = mode == "kill" || mode == "sigkill";
  if ((mode != "stall" && mode != "hangup" && !signals) || count != (signals ? 3 : 2))
    return Fail("unknown scenario");
  const unsigned long long trigger = std::strtoull(args[0], nullptr, 10);
  const unsigned long port = std::strtoul(args[1], nullptr, 10);
  const pid_t pid = signals ? static_cast<pid_t>(std::strtol(args[2], nullptr, 10)) : 0;
  if (port == 0 || port > 65535 || (signals && pid <= 1)) return Fail("bad port or PID");
  int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in target = Loopback(port);
  // A small window, set before connecting: the server can then be only a
  // little ahead of what the relay has seen, so that a signal at BYTES
  // finds it in the middle of its answer however late the relay runs.
  int window = 65536;
  if (server >= 0) setsockopt(server, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
  if (server < 0 || connect(server, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0)
    return Fail("connect to server");

  unsigned long long fromServer = 0;
  bool fired = false;
  char buffer[65536];
  for (;;) {
    pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    // A stalled relay still watches the client, to end when it hangs up.
    nfds_t watched = (fired && mode == "stall") ? 1 : 2;
    int ready = poll(fds, watched, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    if (fds[0].revents) {
      ssize_t got = recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) break;  // the client hung up
      if (!fired && fromServer >= trigger && trigger > 0) {
        fired = true;
        if (mode == "hangup") break;
        if (signals && kill(pid, mode == "kill" ? SIGTERM : SIGKILL) != 0) return Fail("kill");
      }
      if (!fired && !SendAll(server, buffer, static_cast<size_t>(got))) break;
    }
    if (watched == 2 && fds[1].revents) {
      ssize_t got = recv(server, buffer, sizeof buffer, 0);
      if (got <= 0) break;  // the server is gone
      if (fired && mode == "stall") continue;
      if (!SendAll(client, buffer, static_cast<size_t>(got))) break;
      fromServer += static_cast<unsigned long long>(got);
      if (mode == "stall" && fromServer >= trigger) fired = true;
    }
  }
  close(server);
  return 0;
}

// Fills the listener's backlog of one with a connection of its own, never
// taken: the kernel then drops every other client's SYN, and their connects
// stall until they give up.
bool FillBacklog(int listener, const sockaddr_in& address) {
  int filler = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (filler < 0 ||
      connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return false;
  for (int wait = 0; wait < 100; ++wait) {
    tcp_info info{};
    socklen_t size = sizeof info;
    // On a listener, tcpi_unacked is how many connections wait to be taken.
    if (getsockopt(listener, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 && info.tcpi_unacked >= 1)
      return true;
    usleep(10000);
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3)
    return Fail("usage: ldap_hostile_server PORTFILE SCENARIO [BYTES SERVERPORT [PID]]");
  alarm(kGiveUpSeconds);     // ends the server, whatever it waits for
  signal(SIGPIPE, SIG_IGN);  // a client gone ends a scenario, not the server
  const bool stall = std::strcmp(argv[2], "connect-stall") == 0;
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, stall ? 0 : 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return Fail("cannot listen");
  if (stall && !FillBacklog(listener, address)) return Fail("cannot fill the backlog");
  if (!WritePortFile(argv[1], ntohs(address.sin_port))) return Fail("cannot write the port file");
  if (stall) pause();  // until the test or the alarm ends it
  int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return Fail("accept");
  int result = 0;
  if (argc > 3) {
    result = Relay(fd, argv[2], argv + 3, argc - 3);
  } else {
    Connection connection(fd);
    result = Play(argv[2], connection);
  }
  close(fd);
  close(listener);
  return result;
}
