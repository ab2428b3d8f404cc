#include "tree/entry_assembler.h"

#include <algorithm>

#include "tree/byte_arena.h"

namespace dirclient {

EntryAssembler::Result EntryAssembler::Complete(const EntryPaths::Pending& pending,
                                                std::string_view dnText, uint64_t place,
                                                const EntryFacts& facts, uint64_t* first) {
  DirTree::NodeId node = EntryPaths::Finish(tree_, pending);
  if (entryPlace_.size() < tree_.size()) {
    // Room for as many nodes as the tree has room for: the first time that
    // is some megabytes, best had as huge pages before they are cleared.
    GrowInHugePages(entryPlace_, std::max(tree_.capacity(), tree_.size() + tree_.size() / 2),
                    uint64_t{0});
  }
  if (entryPlace_[node] != 0) {
    *first = entryPlace_[node];
    return repeated_ == RepeatedDn::kRefuse ? Result::kRefused : Result::kIgnored;
  }
  entryPlace_[node] = place;
  // An entry below it may have come first and spelled it otherwise.
  tree_.Respell(node, pending.rdn);
  tree_.AddFlags(node, facts.flags);
  if (facts.flags & kNodeContainer) paths_.RememberContainer(dnText, node);
  if (facts.hasScript) tree_.SetScript(node, facts.scriptOffset, facts.scriptLength);
  if (facts.hasAlias) aliases_.Add(node, facts.aliasTarget);
  return Result::kAdded;
}

void EntryAssembler::Finish() {
  aliases_.Mark(tree_, aliasParser_);
  entryPlace_.clear();
  entryPlace_.shrink_to_fit();
}

}  // namespace dirclient
