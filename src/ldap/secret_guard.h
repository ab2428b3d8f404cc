// Keeps a secret out of core dumps and out of reach of the user's other
// processes (ptrace, /proc/PID/mem) while it is in memory.
#pragma once

namespace ldap_reader {

class SecretGuard {
 public:
  // Makes the process not dumpable (PR_SET_DUMPABLE 0).
  SecretGuard();
  // Makes it dumpable again, as it was, unless the secret was handed on.
  ~SecretGuard();
  SecretGuard(const SecretGuard&) = delete;
  SecretGuard& operator=(const SecretGuard&) = delete;

  // The secret went where it cannot be wiped: libldap encodes a bind
  // request, password included, into buffers it frees without clearing.
  // The process then stays not dumpable until it ends.
  void HandedOn() { restore_ = false; }

 private:
  bool restore_ = false;
};

}  // namespace ldap_reader
