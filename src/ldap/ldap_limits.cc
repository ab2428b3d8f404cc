#include "ldap/ldap_limits.h"

#include <cerrno>
#include <cstdlib>

#include "base/status.h"

namespace ldap_reader {

base::Failure ParseLoadTimeout(const char* setting, long* seconds) {
  base::Failure failure;
  if (!setting || !*setting) {
    *seconds = kDefaultLoadTimeoutSeconds;
    return failure;
  }
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(setting, &end, 10);
  bool digitsOnly = *setting >= '0' && *setting <= '9' && *end == '\0';
  if (!digitsOnly || errno != 0 || value < 1 || value > kMaxLoadTimeoutSeconds) {
    failure.status = base::kBadArgument;
    failure.where = kLoadTimeoutVariable;
    failure.message =
        "not a whole number of seconds from 1 to " + std::to_string(kMaxLoadTimeoutSeconds);
    return failure;
  }
  *seconds = value;
  return failure;
}

}  // namespace ldap_reader
