// The one way an entry becomes part of the tree, whichever source read it:
// its node, its own spelling, its flags, its script, and its alias target,
// marked once the whole tree is known.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tree/byte_arena.h"
#include "tree/dir_tree.h"
#include "tree/entry_mapping.h"
#include "tree/name_mapping.h"

namespace dirclient {

// The attribute types the client reads, spelled once for every source.
inline constexpr std::string_view kObjectClassAttribute = "objectClass";
inline constexpr std::string_view kLoginScriptAttribute = "loginScript";
inline constexpr std::string_view kAliasedObjectNameAttribute = "aliasedObjectName";

// What a source found of one entry besides its DN. A source takes the first
// value of loginScript and of aliasedObjectName, and the flags of every
// objectClass value (ObjectClassFlags).
struct EntryFacts {
  uint32_t flags = 0;
  bool hasScript = false;
  uint64_t scriptOffset = 0;  // in the script store the tree adopts
  uint64_t scriptLength = 0;
  bool hasAlias = false;
  std::string_view aliasTarget;
};

// The one way the sources differ: a file that names a DN twice is broken,
// while a server's naming contexts may overlap, so that it sends the same
// entry twice.
enum class RepeatedDn { kRefuse, kKeepFirst };

class EntryAssembler {
 public:
  EntryAssembler(DirTree& tree, RepeatedDn repeated) : tree_(tree), repeated_(repeated) {}

  // An entry in two steps, for a caller that overlaps the lookup of one
  // entry with the parse of the next (EntryPaths: BeginSibling may always
  // be tried; BeginAny only once every begun entry is completed).
  EntryPaths& paths() { return paths_; }

  enum class Result { kAdded, kRefused, kIgnored };
  // Completes a begun entry: `place` is where it starts (a file's line, or
  // its number among a server's entries). A DN that came before leaves the
  // tree as it was: kRefused or kIgnored by the RepeatedDn rule, with
  // *first telling where it came first.
  Result Complete(const EntryPaths::Pending& pending, std::string_view dnText, uint64_t place,
                  const EntryFacts& facts, uint64_t* first);
  // Marks the aliases of containers once every entry is in.
  void Finish();

 private:
  DirTree& tree_;
  RepeatedDn repeated_;
  EntryPaths paths_;
  std::vector<uint64_t> entryPlace_;  // per node: where its entry came, 0 if none
  PendingAliases aliases_;
  DnParser aliasParser_;
};

// Inline: every entry of a large load passes here.
inline EntryAssembler::Result EntryAssembler::Complete(const EntryPaths::Pending& pending,
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

}  // namespace dirclient
