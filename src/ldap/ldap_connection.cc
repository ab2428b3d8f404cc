#include "ldap/ldap_connection.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "base/status.h"

namespace ldap_reader {
namespace {

std::chrono::milliseconds Milliseconds(const struct timeval& time) {
  return std::chrono::milliseconds(time.tv_sec * 1000L + time.tv_usec / 1000);
}

struct timeval Timeval(std::chrono::steady_clock::duration time) {
  auto us = std::chrono::duration_cast<std::chrono::microseconds>(time).count();
  if (us < 0) us = 0;
  return {static_cast<time_t>(us / 1000000), static_cast<suseconds_t>(us % 1000000)};
}

// The timeout option `option` as configured, or `fallback` where none is,
// and never over `most` seconds: no wait outlasts the deadline anyway, and
// a setting of billions of seconds would overflow the clock's units.
struct timeval ConfiguredTimeout(LDAP* ld, int option, long fallback, long most) {
  struct timeval* configured = nullptr;
  struct timeval result = {fallback, 0};
  if (ldap_get_option(ld, option, &configured) == LDAP_OPT_SUCCESS && configured) {
    bool positive = configured->tv_sec > 0 || (configured->tv_sec == 0 && configured->tv_usec > 0);
    if (positive && configured->tv_usec >= 0 && configured->tv_usec < 1000000) result = *configured;
    ldap_memfree(configured);
  }
  if (result.tv_sec >= most) result = {most, 0};
  return result;
}

// A message liblber refused with ERANGE, by what was wrong with its header.
base::Failure RefusedMessage(MessageFraming::Fault fault) {
  if (fault == MessageFraming::Fault::kOverCap)
    return MakeClientFailure(base::kLdapOverLimit,
                             "the server sent a message over the largest incoming message (" +
                                 std::to_string(kMaxIncomingMessage) + " bytes)");
  const char* what = fault == MessageFraming::Fault::kZeroLength ? "of length 0"
                     : fault == MessageFraming::Fault::kLongLength
                         ? "whose length takes over 4 bytes"
                     : fault == MessageFraming::Fault::kLongTag ? "whose tag takes over 8 bytes"
                                                                : "that does not frame as BER";
  return MakeLdapFailure(LDAP_DECODING_ERROR,
                         ("the server sent a message " + std::string(what)).c_str());
}

}  // namespace

base::Failure LdapConnection::FailureOf(int code) const {
  if (watchdog_.Fired()) return TimedOut();
  char* diagnostic = nullptr;
  if (ld_) ldap_get_option(ld_.get(), LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic);
  LdapStringPtr owned(diagnostic);
  return MakeLdapFailure(code, owned.get());
}

base::Failure LdapConnection::SetOptions() {
  LDAP* ld = ld_.get();
  if (deadline_.end == Clock::time_point::max())
    deadline_.end = Clock::now() + std::chrono::seconds(deadline_.seconds);
  int version = LDAP_VERSION3;
  // Aliases are read as entries, never followed: ldap.conf's DEREF must not
  // change that. Referrals would be chased with other credentials. A client
  // size or time limit would only cut the tree short.
  int deref = LDAP_DEREF_NEVER;
  int noLimit = LDAP_NO_LIMIT;
  networkTimeout_ = ConfiguredTimeout(ld, LDAP_OPT_NETWORK_TIMEOUT, kDefaultNetworkTimeoutSeconds,
                                      deadline_.seconds);
  requestTimeout_ =
      ConfiguredTimeout(ld, LDAP_OPT_TIMEOUT, kDefaultRequestTimeoutSeconds, deadline_.seconds);
  struct Setting {
    int option;
    const void* value;
  } settings[] = {
      {LDAP_OPT_PROTOCOL_VERSION, &version},
      {LDAP_OPT_REFERRALS, LDAP_OPT_OFF},
      {LDAP_OPT_DEREF, &deref},
      {LDAP_OPT_SIZELIMIT, &noLimit},
      {LDAP_OPT_TIMELIMIT, &noLimit},
      {LDAP_OPT_RESTART, LDAP_OPT_ON},
      {LDAP_OPT_TIMEOUT, &requestTimeout_},
  };
  for (const Setting& setting : settings) {
    if (ldap_set_option(ld, setting.option, setting.value) != LDAP_OPT_SUCCESS) {
      return MakeLdapFailure(LDAP_LOCAL_ERROR, "libldap refused an option");
    }
  }
  if (!watchdog_.Watch(ld)) {
    return MakeClientFailure(base::kOutOfMemory, std::string(base::StatusText(base::kOutOfMemory)) +
                                                     ": no thread for the watchdog");
  }
  return {};
}

ConnectionWatchdog::Clock::duration LdapConnection::BoundWait(std::chrono::milliseconds limit,
                                                              Bound what) {
  bound_ = what;
  boundLimit_ = limit;
  Clock::time_point now = Clock::now();
  Clock::time_point until = deadline_.end - now > limit ? now + limit : deadline_.end;
  boundIsDeadline_ = until == deadline_.end;
  watchdog_.Arm(until + kWatchdogGrace);
  return until - now;
}

base::Failure LdapConnection::TimedOut() const {
  base::Failure failure = MakeLdapFailure(LDAP_TIMEOUT, nullptr);
  std::string limit = std::to_string((boundLimit_.count() + 999) / 1000) + " s";
  if (boundIsDeadline_ || Clock::now() >= deadline_.end)
    failure.message += ": the tree was not read within " + std::string(kLoadTimeoutVariable) +
                       " (" + std::to_string(deadline_.seconds) + " s)";
  else if (bound_ == Bound::kConnect)
    failure.message += ": no connection within " + limit + " (TLS handshake included)";
  else
    failure.message += ": no answer from the server within " + limit;
  return failure;
}

base::Failure LdapConnection::Open(const LdapTarget& target) {
  LDAP* raw = nullptr;
  int rc = ldap_initialize(&raw, target.servers.c_str());
  ld_.reset(raw);
  if (rc != LDAP_SUCCESS || !ld_) {
    return MakeLdapFailure(rc != LDAP_SUCCESS ? rc : LDAP_NO_MEMORY, nullptr);
  }
  if (base::Failure failure = SetOptions(); failure.status != base::kOk) return failure;
  bool stalled = false;
  rc = ConnectWithinBounds(target.servers, &stalled);
  if (rc != LDAP_SUCCESS) {
    return stalled ? TimedOut() : FailureOf(rc);
  }
  if (target.startTls && !ldap_tls_inplace(ld_.get())) {
    rc = StartTlsWithinBounds();
    if (rc != LDAP_SUCCESS) {
      base::Failure failure = FailureOf(rc);
      failure.message = "StartTLS: " + failure.message;
      return failure;
    }
  }
  // Without it every read still works, one system call at a time.
  readAhead_.Install(ld_.get());
  // Without it, a message liblber refuses is named a decoding error, what-
  // ever its header said.
  framing_.Install(ld_.get());
  return {};
}

int LdapConnection::ConnectWithinBounds(const std::string& servers, bool* stalled) {
  // libldap would give each server of a list the whole NETWORK_TIMEOUT for
  // its TCP connect, however little of the deadline is left, and says only
  // that it could not connect: the servers are tried here one at a time,
  // each with at most the time left. Each connection made has its own bound
  // for the TLS handshake.
  using std::chrono::milliseconds;
  bound_ = Bound::kConnect;
  boundLimit_ = Milliseconds(networkTimeout_);
  boundIsDeadline_ = false;
  EndWait();
  watchdog_.ArmEachConnection(boundLimit_ + kWatchdogGrace, deadline_.end + kWatchdogGrace);
  int rc = LDAP_SERVER_DOWN;
  *stalled = false;
  for (std::size_t start = 0; start < servers.size();) {
    std::size_t end = std::min(servers.find(' ', start), servers.size());
    std::string server = servers.substr(start, end - start);
    start = end + 1;
    milliseconds left = std::chrono::floor<milliseconds>(deadline_.end - Clock::now());
    // Less than libldap can wait for (0 would be no bound at all to it).
    if (left < milliseconds(1)) {
      *stalled = boundIsDeadline_ = true;
      break;
    }
    milliseconds given = std::min(boundLimit_, left);
    boundIsDeadline_ = given < boundLimit_;
    struct timeval wait = Timeval(given);
    if (ldap_set_option(ld_.get(), LDAP_OPT_URI, server.c_str()) != LDAP_OPT_SUCCESS ||
        ldap_set_option(ld_.get(), LDAP_OPT_NETWORK_TIMEOUT, &wait) != LDAP_OPT_SUCCESS) {
      rc = LDAP_LOCAL_ERROR;
      *stalled = false;
      break;
    }
    Clock::time_point began = Clock::now();
    errno = 0;
    rc = ldap_connect(ld_.get());
    if (rc == LDAP_SUCCESS) {
      *stalled = false;
      break;
    }
    // A connect that failed only once its time was up found no server
    // there in time: a timeout, not a server that refused.
    *stalled = *stalled || errno == ETIMEDOUT || Clock::now() - began >= given;
  }
  watchdog_.ArmEachConnection(Clock::duration::zero(), deadline_.end);
  EndWait();
  return rc;
}

int LdapConnection::StartTlsWithinBounds() {
  BoundWait(Milliseconds(networkTimeout_), Bound::kConnect);
  int rc = ldap_start_tls_s(ld_.get(), nullptr, nullptr);
  EndWait();
  return rc;
}

base::Failure LdapConnection::Next(int msgid, LdapMessagePtr* message, int* type) {
  Clock::duration left = BoundWait(Milliseconds(requestTimeout_), Bound::kAnswer);
  if (left <= Clock::duration::zero()) return TimedOut();
  struct timeval wait = Timeval(left);
  LDAPMessage* raw = nullptr;
  errno = 0;
  *type = ldap_result(ld_.get(), msgid, LDAP_MSG_ONE, &wait, &raw);
  int error = errno;
  EndWait();
  message->reset(raw);
  if (*type == 0 || watchdog_.Fired()) return TimedOut();
  // liblber's sign of a message over LBER_SB_OPT_SET_MAX_INCOMING, and of a
  // header it cannot frame.
  if (*type < 0 && error == ERANGE) return RefusedMessage(framing_.fault());
  // liblber had no memory for a message.
  if (*type < 0 && error == ENOMEM) return MakeLdapFailure(LDAP_NO_MEMORY, nullptr);
  if (*type < 0 || !raw) {
    int code = LDAP_OTHER;
    ldap_get_option(ld_.get(), LDAP_OPT_RESULT_CODE, &code);
    return FailureOf(code != LDAP_SUCCESS ? code : LDAP_OTHER);
  }
  return {};
}

}  // namespace ldap_reader
