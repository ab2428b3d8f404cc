// Builds the tree from the entries a reader finds, in the order found,
// whichever source read them: on a second thread where one can be had, so
// that reading (lines and base64, or a server's messages) and building
// (DNs, lookups in a large table) share the machine's cores; otherwise each
// batch of entries is built as it is handed over.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Failure and the statuses are plain words of every layer, nothing here
// calls into the client.
#include "base/failure.h"
#include "tree/byte_arena.h"
#include "tree/dir_tree.h"
#include "tree/entry_mapping.h"
#include "tree/entry_paths.h"
#include "tree/name_mapping.h"

namespace tree {

// One entry as a reader found it. A reader takes the first value of
// loginScript and of aliasedObjectName (KeepAlias), and the flags of every
// objectClass value (ObjectClassFlags).
struct FoundEntry {
  uint64_t place;         // a file's line of its DN, or its number among a server's entries
  uint64_t scriptOffset;  // in the builder's script store
  uint64_t scriptLength;
  uint32_t dnBegin, dnLength;        // the builder's own
  uint32_t aliasBegin, aliasLength;  // likewise
  uint32_t flags;
  bool hasScript;
  bool hasAlias;
  bool failed;  // its attributes did not read: the reader's failure is next
};

// The one way the sources differ: a file that names a DN twice is broken,
// while a server's naming contexts may overlap, so that it sends the same
// entry twice.
enum class RepeatedDn { kRefuse, kKeepFirst };

// A DN the tree cannot take, which each reader words in its own terms.
struct DnFault {
  enum class Kind { kBadDn, kEmptyDn, kRepeatedDn };
  Kind kind = Kind::kBadDn;
  uint64_t place = 0;  // the entry's (FoundEntry::place)
  uint64_t first = 0;  // kRepeatedDn: where the DN came first
  std::string dn;      // kBadDn: the DN as read
};
using WordDnFault = base::Failure (*)(const DnFault& fault);

// The failure of a load that ran out of memory, whichever part ran out.
inline base::Failure OutOfMemoryWhileLoading() {
  return base::Failure{base::kOutOfMemory, {}, 0, base::kOutOfMemoryWhileLoading};
}

// Told how many entries went into the tree, batch by batch, on the thread
// that builds it.
class EntryCounter {
 public:
  virtual void Counted(uint64_t entries) = 0;

 protected:
  ~EntryCounter() = default;
};

class TreeBuilder {
 public:
  // `threaded`: build on a second thread where one can be had.
  TreeBuilder(DirTree& tree, RepeatedDn repeated, WordDnFault word, EntryCounter* counter,
              bool threaded);
  // Drops what is still queued and joins.
  ~TreeBuilder();
  TreeBuilder(const TreeBuilder&) = delete;
  TreeBuilder& operator=(const TreeBuilder&) = delete;

  // The store the reader keeps scripts in as it reads them; the tree takes
  // it once all is built, while the building thread only names where each
  // script stands.
  ByteArena& scripts() { return *scripts_; }

  // The next entry, begun at `place` with its DN as read; an entry never
  // closed is forgotten.
  FoundEntry& Open(uint64_t place, std::string_view dn) {
    open_ = FoundEntry{};
    open_.place = place;
    open_.dnLength = static_cast<uint32_t>(dn.size());
    open_.dnBegin = batch_->Keep(dn);
    return open_;
  }
  // The open entry's alias target, the first only.
  void KeepAlias(std::string_view target) {
    if (open_.hasAlias) return;
    open_.hasAlias = true;
    open_.aliasLength = static_cast<uint32_t>(target.size());
    open_.aliasBegin = batch_->Keep(target);
  }
  // Hands the open entry over; false once building failed, when reading on
  // is of no use.
  bool Close() {
    batch_->entries.push_back(open_);
    return !batch_->Full() || Hand();
  }
  // The reader failed on the open entry's attributes: its DN is still
  // checked, and a fault there comes first.
  void CloseFailed() {
    open_.failed = true;
    batch_->entries.push_back(open_);
  }

  // Builds what is left, given how reading ended (`read`: the reader's own
  // failure, status 0 when it read everything). Status 0 when the tree is
  // complete (its aliases marked, its scripts adopted); otherwise the first
  // failure in reading order, the builder's or the reader's.
  base::Failure Finish(base::Failure read);

 private:
  // Entries in the order they were read, with the DNs and alias targets
  // they refer to.
  struct Batch {
    std::vector<FoundEntry> entries;
    std::string text;

    uint32_t Keep(std::string_view bytes) {
      auto begin = static_cast<uint32_t>(text.size());
      text.append(bytes);
      return begin;
    }
    // Full enough to hand over: handing over is cheap per entry, and the
    // batch still fits the caches.
    bool Full() const { return entries.size() >= 2048 || text.size() >= (std::size_t{256} << 10); }
  };
  // Why building stopped.
  enum class Stop { kNone, kDnFault, kReaderFailed, kOutOfMemory };

  // The reader's side (tree_builder.cc).
  bool Hand();
  void Run();
  // Builds a batch, a failed allocation included, where the thread that
  // runs it ends up; false once stopped.
  bool BuildGuarded(Batch& batch);

  // The building side (batch_build.cc).
  bool Build(const Batch& batch);
  bool Complete(const FoundEntry& entry, const EntryPaths::Pending& pending, std::string_view text);
  bool Fail(Stop stop, const FoundEntry& entry, DnFault::Kind kind);

  DirTree& tree_;
  const RepeatedDn repeated_;
  const WordDnFault word_;
  EntryCounter* const counter_;
  std::unique_ptr<ByteArena> scripts_ = std::make_unique<ByteArena>();
  std::unique_ptr<Batch> batch_ = std::make_unique<Batch>();
  FoundEntry open_{};

  // Written by the building thread only, until it is done.
  Stop stop_ = Stop::kNone;
  DnFault fault_;
  EntryPaths paths_;
  DnParser parsers_[2];               // by turns: a pending entry's RDN lives in its parser
  std::vector<uint64_t> entryPlace_;  // per node: where its entry came, 0 if none
  PendingAliases aliases_;
  uint64_t added_ = 0;  // in the batch being built

  // Shared with the building thread, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::unique_ptr<Batch>> full_;  // in the order read
  std::vector<std::unique_ptr<Batch>> empty_;
  bool closed_ = false;  // nothing more will be handed over
  bool done_ = false;
  bool ok_ = true;
  std::thread thread_;  // last: joined before the rest goes
};

}  // namespace tree
