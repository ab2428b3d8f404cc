#include "ldap/secret_guard.h"

#include <sys/prctl.h>

namespace ldap_reader {

SecretGuard::SecretGuard() {
  int previous = prctl(PR_GET_DUMPABLE, 0, 0, 0, 0);
  bool set = prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
  // Only a process that was dumpable before is made so again.
  restore_ = set && previous == 1;
}

SecretGuard::~SecretGuard() {
  if (restore_) prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
}

}  // namespace ldap_reader
