// Carries a reader's entries to a BatchBuilder: on a thread of its own
// where one can be had, so that reading and building overlap; otherwise
// each batch is built as it is handed over.
#pragma once

#include <memory>

#include "tree/batch_builder.h"
#include "tree/build_thread.h"
#include "tree/entry_batch.h"

namespace dirclient {

class BatchFeed {
 public:
  BatchFeed(BatchBuilder& builder, bool threaded);
  // The batch being filled.
  FoundBatch& batch() { return *batch_; }
  // Hands the batch over once it is full; false once building failed.
  bool HandIfFull() { return !batch_->Full() || Hand(); }
  // Hands the rest over and waits until all is built; false with *fault
  // when building failed, which then comes before any failure the reader
  // met later (it stopped at an entry read before).
  bool Finish(BuildFault* fault);

 private:
  bool Hand();

  BatchBuilder& builder_;
  std::unique_ptr<FoundBatch> batch_ = std::make_unique<FoundBatch>();
  BuildFault fault_;  // building here
  bool failed_ = false;
  std::unique_ptr<BuildThread> thread_;  // last: joined before the rest goes
};

}  // namespace dirclient
