// A bound on every wait of an LDAP connection that rests on the client
// alone, not on libldap's timeouts: a thread that shuts the connection's
// socket down once the wait in progress outlives its bound.
//
// libldap does not bound every wait itself: with GnuTLS, a server that stops
// in the middle of a TLS handshake (ldaps://, or after StartTLS) keeps it
// spinning for ever, whatever NETWORK_TIMEOUT says, and a message that
// arrives in parts is read with no bound of its own. A socket shut down
// makes every read and poll on it return, so the call in progress fails;
// the caller then tells the timeout from other failures by Fired().
//
// The watchdog also caps the size of every message the connection takes
// (kMaxIncomingMessage), since it is told of each connection libldap makes.
#pragma once

#include <ldap.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace ldap_reader {

class ConnectionWatchdog {
 public:
  using Clock = std::chrono::steady_clock;

  ConnectionWatchdog() = default;
  ~ConnectionWatchdog();
  ConnectionWatchdog(const ConnectionWatchdog&) = delete;
  ConnectionWatchdog& operator=(const ConnectionWatchdog&) = delete;

  // Has `ld` report its connections (LDAP_OPT_CONNECT_CB) and starts the
  // thread; before connecting. The watchdog must outlive `ld`. False when
  // libldap refuses the option or no thread can be had.
  bool Watch(LDAP* ld);

  // From now on the socket is shut down at `until`, unless Arm is called
  // again first. Cheap: the thread looks at the bound a few times a second.
  void Arm(Clock::time_point until) {
    until_.store(until.time_since_epoch().count(), std::memory_order_relaxed);
  }

  // While `limit` is not zero (libldap trying its servers in turn), every
  // connection it makes has a bound of its own, `limit` from then or
  // `last`, whichever comes first: one that ran out ends that connection
  // only, and the next server is tried as libldap would.
  void ArmEachConnection(Clock::duration limit, Clock::time_point last) {
    last_ = last;
    eachConnection_.store(limit.count(), std::memory_order_relaxed);
  }

  // Whether a bound ran out; the socket is shut down then, and any later
  // connection refused (but see ArmEachConnection).
  bool Fired() const { return fired_.load(); }

 private:
  static int Added(LDAP* ld, Sockbuf* sb, LDAPURLDesc* server, struct sockaddr* address,
                   struct ldap_conncb* context);
  static void Removed(LDAP* ld, Sockbuf* sb, struct ldap_conncb* context);
  void Run();

  struct ldap_conncb callbacks_ = {};
  std::mutex mutex_;
  std::condition_variable wake_;
  int fd_ = -1;        // the connection's socket, under mutex_
  bool stop_ = false;  // under mutex_
  std::atomic<Clock::rep> until_{Clock::time_point::max().time_since_epoch().count()};
  std::atomic<Clock::rep> eachConnection_{0};
  Clock::time_point last_;  // set before eachConnection_
  std::atomic<bool> fired_{false};
  std::thread thread_;
};

}  // namespace ldap_reader
