// Counts the entries of a load and tells its observer every few thousand,
// so that a front end can show progress without a call per entry.
#pragma once

#include <cstdint>

#include "base/load_observer.h"
#include "tree/tree_builder.h"

namespace tree {

class LoadProgress final : public EntryCounter {
 public:
  explicit LoadProgress(base::LoadObserver* observer) : observer_(observer) {}
  // Called as entries go into the tree, a batch at a time.
  void Counted(uint64_t entries) override {
    uint64_t before = entries_;
    entries_ += entries;
    if (observer_ && before / kTellEvery != entries_ / kTellEvery) observer_->Progress(entries_);
  }

 private:
  static constexpr uint64_t kTellEvery = 4096;
  base::LoadObserver* observer_;
  uint64_t entries_ = 0;
};

}  // namespace tree
