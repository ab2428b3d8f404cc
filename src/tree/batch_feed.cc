#include "tree/batch_feed.h"

#include <exception>

namespace dirclient {

BatchFeed::BatchFeed(BatchBuilder& builder, bool threaded) : builder_(builder) {
  if (!threaded) return;
  try {
    thread_ = std::make_unique<BuildThread>(builder_);
  } catch (const std::exception&) {
    // Without a second thread the batches are built here.
  }
}

bool BatchFeed::Hand() {
  if (thread_) return thread_->Hand(&batch_);
  if (failed_) return false;
  failed_ = !builder_.Add(*batch_, &fault_);
  batch_->Clear();
  return !failed_;
}

bool BatchFeed::Finish(BuildFault* fault) {
  Hand();  // the last batch
  if (thread_) {
    failed_ = !thread_->Finish(&fault_);
    thread_.reset();
  }
  if (failed_) *fault = fault_;
  return !failed_;
}

}  // namespace dirclient
