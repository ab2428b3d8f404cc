#include "ldap/ldap_watchdog.h"

#include <sys/socket.h>

#include <algorithm>
#include <system_error>

#include "ldap/ldap_limits.h"

namespace ldap_reader {
namespace {

// How often the thread looks at the bound: the precision of every timeout.
constexpr auto kTick = std::chrono::milliseconds(100);

int SocketOf(Sockbuf* sb) {
  ber_socket_t fd = -1;
  if (ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd) != 1) return -1;
  return fd;
}

}  // namespace

ConnectionWatchdog::~ConnectionWatchdog() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

bool ConnectionWatchdog::Watch(LDAP* ld) {
  callbacks_.lc_add = &Added;
  callbacks_.lc_del = &Removed;
  callbacks_.lc_arg = this;
  if (ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &callbacks_) != LDAP_OPT_SUCCESS) return false;
  try {
    thread_ = std::thread(&ConnectionWatchdog::Run, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

int ConnectionWatchdog::Added(LDAP*, Sockbuf* sb, LDAPURLDesc*, struct sockaddr*,
                              struct ldap_conncb* context) {
  auto* self = static_cast<ConnectionWatchdog*>(context->lc_arg);
  ber_len_t most = kMaxIncomingMessage;
  if (ber_sockbuf_ctrl(sb, LBER_SB_OPT_SET_MAX_INCOMING, &most) != 1) return -1;
  std::lock_guard<std::mutex> lock(self->mutex_);
  Clock::duration limit(self->eachConnection_.load(std::memory_order_relaxed));
  if (limit > Clock::duration::zero()) {
    Clock::time_point now = Clock::now();
    if (now >= self->last_) return -1;  // no time left for another
    self->fired_ = false;               // a bound of the connection before
    self->Arm(std::min(now + limit, self->last_));
  }
  if (self->fired_) return -1;  // too late: no new connection
  self->fd_ = SocketOf(sb);
  return 0;
}

void ConnectionWatchdog::Removed(LDAP*, Sockbuf* sb, struct ldap_conncb* context) {
  auto* self = static_cast<ConnectionWatchdog*>(context->lc_arg);
  std::lock_guard<std::mutex> lock(self->mutex_);
  // A null Sockbuf: the handle itself is going away.
  if (!sb || self->fd_ == SocketOf(sb)) self->fd_ = -1;
}

void ConnectionWatchdog::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    Clock::time_point until{Clock::duration(until_.load(std::memory_order_relaxed))};
    Clock::time_point now = Clock::now();
    if (now >= until && !fired_) {
      fired_ = true;
      // The socket stays open for libldap to close; only its traffic ends.
      if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
    }
    wake_.wait_for(lock, kTick);
  }
}

}  // namespace ldap_reader
