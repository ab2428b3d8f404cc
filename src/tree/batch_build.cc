// The building side of TreeBuilder: the entries of one batch into the tree.
#include <algorithm>
#include <utility>

#include "tree/tree_builder.h"

namespace tree {

bool TreeBuilder::Fail(Stop stop, const FoundEntry& entry, DnFault::Kind kind) {
  stop_ = stop;
  fault_.kind = kind;
  fault_.place = entry.place;
  return false;
}

// Finishes an entry begun in `pending`: its node, its repeat check, its
// own spelling, and what its attributes give it. Inline: every entry of a
// large load passes here.
inline bool TreeBuilder::Complete(const FoundEntry& entry, const EntryPaths::Pending& pending,
                                  std::string_view text) {
  std::string_view dnText = text.substr(entry.dnBegin, entry.dnLength);
  DirTree::NodeId node = EntryPaths::Finish(tree_, pending);
  if (entryPlace_.size() < tree_.size()) {
    // Room for as many nodes as the tree has room for: the first time that
    // is some megabytes, best had as huge pages before they are cleared.
    GrowInHugePages(entryPlace_, std::max(tree_.capacity(), tree_.size() + tree_.size() / 2),
                    uint64_t{0});
  }
  // Its DN comes before any of its attributes the reader failed on.
  bool repeated = entryPlace_[node] != 0;
  if (repeated) {
    if (repeated_ == RepeatedDn::kRefuse) {
      fault_.first = entryPlace_[node];
      return Fail(Stop::kDnFault, entry, DnFault::Kind::kRepeatedDn);
    }
  } else {
    entryPlace_[node] = entry.place;
    // An entry below it may have come first and spelled it otherwise.
    tree_.Respell(node, pending.rdn);
    tree_.AddFlags(node, entry.flags);
    if (entry.flags & kFlagContainer) paths_.RememberContainer(dnText, node);
    if (entry.hasScript) tree_.SetScript(node, entry.scriptOffset, entry.scriptLength);
    if (entry.hasAlias) aliases_.Add(node, text.substr(entry.aliasBegin, entry.aliasLength));
  }
  if (entry.failed) {
    stop_ = Stop::kReaderFailed;
    return false;
  }
  if (!repeated) ++added_;
  return true;
}

bool TreeBuilder::Build(const Batch& batch) {
  std::string_view text = batch.text;
  added_ = 0;
  // One entry is kept pending while the next one's DN is parsed, so that
  // its hash slot, fetched when it was begun, has arrived from memory by
  // the time it is looked up. An entry that is not a sibling of the one
  // before may look up any node: the pending one is finished first.
  EntryPaths::Pending pending[2];
  const FoundEntry* waiting = nullptr;  // the entry of pending[turn ^ 1]
  size_t turn = 0;
  auto completeWaiting = [&] {
    const FoundEntry* entry = std::exchange(waiting, nullptr);
    return !entry || Complete(*entry, pending[turn ^ 1], text);
  };
  bool ok = true;
  for (const FoundEntry& entry : batch.entries) {
    std::string_view dnText = text.substr(entry.dnBegin, entry.dnLength);
    if (!paths_.BeginSibling(tree_, dnText, parsers_[turn], &pending[turn])) {
      if (!(ok = completeWaiting())) break;
      if (!paths_.BeginAny(tree_, dnText, parsers_[turn], &pending[turn])) {
        fault_.dn.assign(dnText);
        ok = Fail(Stop::kDnFault, entry, DnFault::Kind::kBadDn);
        break;
      }
      if (pending[turn].empty) {
        ok = Fail(Stop::kDnFault, entry, DnFault::Kind::kEmptyDn);
        break;
      }
    }
    if (!(ok = completeWaiting())) break;
    waiting = &entry;
    turn ^= 1;
  }
  ok = ok && completeWaiting();
  if (counter_ && added_) counter_->Counted(added_);
  return ok;
}

}  // namespace tree
