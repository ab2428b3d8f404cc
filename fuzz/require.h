// Ends a harness's run when a property of the tool does not hold; the fuzzer
// keeps the input that did it.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}
