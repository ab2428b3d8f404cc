// Keeps SIGPIPE from ending the process while the client talks to a server.
//
// libldap writes to its socket with write(2), so a server that hangs up at
// the wrong moment would kill the tool instead of failing the start-up with
// a message. The process's handling of the signal is not the client's to
// change: the signal is blocked in this thread while the guard lives, and a
// SIGPIPE raised meanwhile is consumed (unless one was pending before).
#pragma once

#include <signal.h>

namespace ldap_reader {

class SigpipeBlock {
 public:
  SigpipeBlock();
  ~SigpipeBlock();
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;

 private:
  sigset_t saved_;
  bool active_ = false;
  bool wasPending_ = false;
};

}  // namespace ldap_reader
