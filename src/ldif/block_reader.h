// A byte stream read front to back in blocks, so that a loader need not
// hold a whole file in memory.
#pragma once

#include <cstddef>
#include <string>

#include "base/failure.h"

namespace ldif {

class BlockReader {
 public:
  virtual ~BlockReader() = default;
  // Reads at most `size` bytes into `dest`, setting *got (0 at the end);
  // when reading fails, a failure (kTreeUnreadable) with the system's
  // reason.
  virtual base::Failure ReadBlock(char* dest, std::size_t size, std::size_t* got) = 0;
  // How many bytes are expected in all, where that is known (0 otherwise):
  // room for the tree can then be made up front.
  virtual std::size_t SizeHint() const { return 0; }
};

}  // namespace ldif
