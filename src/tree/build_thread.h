// Runs a BatchBuilder on a thread of its own, fed batch by batch.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tree/batch_builder.h"
#include "tree/entry_batch.h"

namespace dirclient {

class BuildThread {
 public:
  // Throws when no thread, or no memory for its lists, can be had.
  explicit BuildThread(BatchBuilder& builder);
  // Drops what is still queued and joins.
  ~BuildThread();
  BuildThread(const BuildThread&) = delete;
  BuildThread& operator=(const BuildThread&) = delete;

  // Hands over a batch and gives back an empty one to fill, waiting while
  // a fixed number are queued, so that memory stays bounded when the
  // reader is faster; false once the builder has failed, when reading on
  // is of no use.
  bool Hand(std::unique_ptr<FoundBatch>* batch);
  // Waits until everything handed over is built; false with *fault when
  // building failed.
  bool Finish(BuildFault* fault);

 private:
  void Run();

  BatchBuilder& builder_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::unique_ptr<FoundBatch>> full_;  // in the order read
  std::vector<std::unique_ptr<FoundBatch>> empty_;
  bool closed_ = false;  // nothing more will be handed over
  bool done_ = false;
  bool ok_ = true;
  BuildFault fault_;
  std::thread thread_;  // started once the rest is set up
};

}  // namespace dirclient
