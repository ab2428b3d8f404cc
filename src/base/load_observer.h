// What a load tells whoever started it while it goes on. The libraries
// print nothing themselves: the front end decides what the user sees.
#pragma once

#include <cstdint>
#include <string_view>

namespace base {

class LoadObserver {
 public:
  virtual ~LoadObserver() = default;
  // Something the user should know before the load goes on: a doubt about
  // the input, a setting the user may not expect. One line.
  virtual void Notice(std::string_view text) = 0;
  // So many entries are in; told every few thousand entries.
  virtual void Progress(uint64_t entries) = 0;
};

}  // namespace base
