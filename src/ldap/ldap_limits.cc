#include "ldap/ldap_limits.h"

#include <cerrno>
#include <cstdlib>

namespace dirclient {

bool ParseLoadTimeout(const char* setting, long* seconds, std::string* reason) {
  if (!setting || !*setting) {
    *seconds = kDefaultLoadTimeoutSeconds;
    return true;
  }
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(setting, &end, 10);
  bool digitsOnly = *setting >= '0' && *setting <= '9' && *end == '\0';
  if (!digitsOnly || errno != 0 || value < 1 || value > kMaxLoadTimeoutSeconds) {
    *reason = "not a whole number of seconds from 1 to " +
              std::to_string(kMaxLoadTimeoutSeconds);
    return false;
  }
  *seconds = value;
  return true;
}

}  // namespace dirclient
