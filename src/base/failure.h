// What went wrong, as a value the libraries return and only the front end
// prints: the status an operation fails with, what the failure is about
// (a file, a server, a setting), the line of a file where there is one,
// and what happened in words.
#pragma once

#include <cstdint>
#include <string>

#include "base/status.h"

namespace base {

struct Failure {
  Status status = 0;    // 0: nothing failed
  std::string where;    // empty when the failure is about nothing named
  uint64_t line = 0;    // 0 when there is none
  std::string message;  // empty: the status's own text (StatusText)
};

}  // namespace base
