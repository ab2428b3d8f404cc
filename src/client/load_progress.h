// Counts the entries of a load and tells its observer every few thousand,
// so that a front end can show progress without a call per entry.
#pragma once

#include <cstdint>

#include "client/load_observer.h"

namespace dirclient {

class LoadProgress {
 public:
  explicit LoadProgress(LoadObserver* observer) : observer_(observer) {}

  // Called once per entry.
  void Count() {
    if (observer_ && (++entries_ & (kTellEvery - 1)) == 0) observer_->Progress(entries_);
  }

 private:
  static constexpr uint64_t kTellEvery = 4096;
  LoadObserver* observer_;
  uint64_t entries_ = 0;
};

}  // namespace dirclient
