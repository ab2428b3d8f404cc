// Builds the tree from a reader's batches of entries, in the order read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tree/dir_tree.h"
#include "tree/entry_assembler.h"
#include "tree/entry_batch.h"
#include "tree/name_mapping.h"

namespace dirclient {

// Why building stopped. Each reader words it in its own terms.
struct BuildFault {
  enum class Kind { kNone, kBadDn, kEmptyDn, kRepeatedDn, kReaderFailed, kOutOfMemory };
  Kind kind = Kind::kNone;
  uint64_t place = 0;  // the entry's (FoundEntry::place)
  uint64_t first = 0;  // kRepeatedDn: where the DN came first
  std::string dn;      // kBadDn: the DN as read
};

// Told how many entries went into the tree, batch by batch, on the thread
// that builds it.
class EntryCounter {
 public:
  virtual void Counted(uint64_t entries) = 0;

 protected:
  ~EntryCounter() = default;
};

class BatchBuilder {
 public:
  BatchBuilder(DirTree& tree, RepeatedDn repeated, EntryCounter* counter)
      : tree_(tree), counter_(counter), assembler_(tree, repeated) {}
  // Adds the batch's entries to the tree; false with *fault at the first
  // that fails, kReaderFailed when the reader's own failure comes first.
  bool Add(const FoundBatch& batch, BuildFault* fault);
  // Once every entry is in: marks the aliases of containers.
  void Finish() { assembler_.Finish(); }

 private:
  // Finishes an entry begun in `pending`: its node, its repeat check, and
  // what its attributes give it.
  bool Complete(const FoundEntry& entry, const EntryPaths::Pending& pending,
                std::string_view text, BuildFault* fault);

  DirTree& tree_;
  EntryCounter* counter_;
  DnParser parsers_[2];  // by turns: a pending entry's RDN lives in its parser
  EntryAssembler assembler_;
  uint64_t added_ = 0;  // in this batch
};

}  // namespace dirclient
