// Builds the tree from the entries the LDIF reader found, in file order,
// on a thread of its own for a large file: the reader's work (lines,
// base64, scripts) and the builder's (DNs, lookups in a large table) then
// share the machine's cores.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tree/dir_tree.h"
#include "tree/entry_assembler.h"
#include "ldif/ldif_loader.h"
#include "client/load_progress.h"
#include "tree/name_mapping.h"

namespace dirclient {

// One entry as the reader found it.
struct FoundEntry {
  uint64_t dnLine;
  uint64_t scriptOffset;  // in the tree's store
  uint64_t scriptLength;
  uint32_t dnBegin, dnLength;        // in FoundBatch::text
  uint32_t aliasBegin, aliasLength;  // the first alias target, likewise
  uint32_t flags;
  bool hasScript;
  bool hasAlias;
  bool failed;  // its attributes did not read: the reader's error is next
};

// Entries in file order, with the DNs and alias targets they refer to.
struct FoundBatch {
  std::vector<FoundEntry> entries;
  std::string text;
};

class LdifBuilder {
 public:
  LdifBuilder(DirTree& tree, LoadProgress* progress)
      : tree_(tree), progress_(progress), assembler_(tree, RepeatedDn::kRefuse) {}
  // Adds the batch's entries to the tree; false at the first that fails,
  // with *error set, or with *readerFailed set when the reader's own
  // error is the first.
  bool Add(const FoundBatch& batch, Failure* error, bool* readerFailed);
  // Once every entry is in: marks the aliases of containers.
  void Finish();

 private:
  // Finishes an entry begun in `pending`: its node, its duplicate check,
  // and what its attributes give it.
  bool Complete(const FoundEntry& entry, const EntryPaths::Pending& pending,
                std::string_view text, Failure* error, bool* readerFailed);

  DirTree& tree_;
  LoadProgress* progress_;
  DnParser parsers_[2];  // by turns: a pending entry's RDN lives in its parser
  EntryAssembler assembler_;
};

// Runs a builder on its own thread, fed batch by batch.
class BuildThread {
 public:
  // Throws what std::thread throws when no thread can be had.
  explicit BuildThread(LdifBuilder& builder);
  ~BuildThread();
  BuildThread(const BuildThread&) = delete;
  BuildThread& operator=(const BuildThread&) = delete;

  // Hands over a batch and gives back an empty one to fill; false once the
  // builder has failed, when reading on is of no use.
  bool Hand(std::unique_ptr<FoundBatch>* batch);
  // Waits until everything handed over is built; the builder's result.
  bool Finish(Failure* error, bool* readerFailed);

 private:
  void Run();

  LdifBuilder& builder_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::unique_ptr<FoundBatch>> full_;  // in file order
  std::vector<std::unique_ptr<FoundBatch>> empty_;
  bool closed_ = false;  // nothing more will be handed over
  bool done_ = false;
  bool ok_ = true;
  bool readerFailed_ = false;
  Failure error_;
  std::thread thread_;  // last: starts once the rest is set up
};

}  // namespace dirclient
