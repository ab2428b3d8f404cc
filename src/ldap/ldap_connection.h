// A connection to an LDAP server: libldap's handle with the options the
// client relies on, connected, under TLS where the URI or libldap's
// configuration asks for it, and with every wait bounded.
#pragma once

#include <ldap.h>
#include <sys/time.h>

#include <chrono>
#include <string>

#include "ldap/ldap_framing.h"
#include "ldap/ldap_handles.h"
#include "ldap/ldap_limits.h"
#include "ldap/ldap_read_ahead.h"
#include "ldap/ldap_status.h"
#include "ldap/ldap_target.h"
#include "ldap/ldap_watchdog.h"

namespace ldap_reader {

// Used where libldap's configuration (NETWORK_TIMEOUT, TIMEOUT) sets none.
inline constexpr long kDefaultNetworkTimeoutSeconds = 10;
inline constexpr long kDefaultRequestTimeoutSeconds = 60;

class LdapConnection {
 public:
  // Every wait from Open on ends by the deadline at the latest (the default
  // is kDefaultLoadTimeoutSeconds from the first call to Open).
  void SetDeadline(const LoadDeadline& deadline) { deadline_ = deadline; }

  // Creates the handle, sets its options and connects (ldaps:// with TLS;
  // StartTLS when the target asks for it, and then a failure to start TLS
  // fails the connection). Certificate checks are left as libldap's
  // configuration sets them.
  base::Failure Open(const LdapTarget& target);

  LDAP* get() const { return ld_.get(); }

  // Waits for the next message of request `msgid`, at most the request
  // timeout, and never past the deadline; *type is its type (LDAP_RES_*).
  base::Failure Next(int msgid, LdapMessagePtr* message, int* type);

  // The failure for libldap call that returned `code`, with the handle's
  // diagnostic message; a timeout when a bound ran out meanwhile.
  base::Failure FailureOf(int code) const;

 private:
  using Clock = ConnectionWatchdog::Clock;
  // What a bound on waiting stands for, for the message when it runs out.
  enum class Bound { kConnect, kAnswer };

  base::Failure SetOptions();
  // ldap_connect to each of `servers` (blank-separated) in turn until one
  // answers, and ldap_start_tls_s, each wait of theirs bounded. *stalled:
  // no server answered, and one of them (or the deadline) ran out of time.
  int ConnectWithinBounds(const std::string& servers, bool* stalled);
  int StartTlsWithinBounds();
  // Bounds what follows by `limit` from now (`what` it stands for), or by
  // the deadline where that comes first; returns the time left.
  Clock::duration BoundWait(std::chrono::milliseconds limit, Bound what);
  // Leaves only the deadline as a bound, between waits.
  void EndWait() { watchdog_.Arm(deadline_.end + kWatchdogGrace); }
  base::Failure TimedOut() const;

  // The watchdog's bound lags the wait's own, so that libldap's timeout,
  // where it works, is the one that ends a wait.
  static constexpr auto kWatchdogGrace = std::chrono::milliseconds(500);

  LoadDeadline deadline_ = {Clock::time_point::max(), kDefaultLoadTimeoutSeconds};
  Bound bound_ = Bound::kAnswer;
  bool boundIsDeadline_ = false;  // the bound of the wait is the deadline
  std::chrono::milliseconds boundLimit_{0};
  ConnectionWatchdog watchdog_;  // before the handle: it must outlive it
  ReadAhead readAhead_;          // likewise
  MessageFraming framing_;       // likewise
  LdapHandle ld_;
  struct timeval requestTimeout_ = {kDefaultRequestTimeoutSeconds, 0};
  struct timeval networkTimeout_ = {kDefaultNetworkTimeoutSeconds, 0};
};

// Owns a request in flight: abandons it unless it was finished, so that a
// failure part-way leaves nothing running on the server.
class PendingRequest {
 public:
  PendingRequest(LDAP* ld, int msgid) : ld_(ld), msgid_(msgid) {}
  ~PendingRequest() {
    if (msgid_ >= 0) ldap_abandon_ext(ld_, msgid_, nullptr, nullptr);
  }
  PendingRequest(const PendingRequest&) = delete;
  PendingRequest& operator=(const PendingRequest&) = delete;
  void Finished() { msgid_ = -1; }

 private:
  LDAP* ld_;
  int msgid_;
};

}  // namespace ldap_reader
