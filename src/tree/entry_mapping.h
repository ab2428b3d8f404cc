// How one directory entry lands in a DirTree, whichever backend read it: the
// chain of nodes its DN names, the flags its object classes give, and the
// container-alias mark its alias target earns once the whole tree is known.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tree/byte_arena.h"
#include "tree/dir_tree.h"
#include "tree/name_mapping.h"

namespace dirclient {

// The longest DN any source may give: a file, or a server. It caps an
// entry's DN and its aliasedObjectName alike.
inline constexpr std::size_t kMaxDnBytes = 64 * 1024;
// What refusing one says, the same from a file and a server: `what` ("a
// DN", "an aliasedObjectName") "of N bytes, over the largest DN (65536
// bytes)".
std::string DnOverLimit(const char* what, std::size_t length);

// Finds or creates the node of every RDN of `dn`, top first, and returns the
// entry's own node. Ancestors become containers; those not seen before are
// added as attribute-less placeholders, so that an entry may come before its
// parent (or without it) and still hang in the right place. `dn` must hold
// at least one RDN.
DirTree::NodeId AddEntryPath(DirTree& tree, const DnParser& dn);

// AddEntryPath for a stream of entries. Exports list an entry's children
// and siblings right after it, so most entries share all but their own RDN
// with the one before: those ancestors come from the last chain without a
// lookup each.
class EntryPaths {
 public:
  DirTree::NodeId Add(DirTree& tree, const DnParser& dn);

  // An entry's path in two steps. Begin parses `dnText` with `parser`
  // (false when it does not parse); siblings follow each other, so when all
  // after the first RDN is the previous DN's text, only the first RDN is
  // parsed and looked up, under the node found last time. The entry's own
  // node, when its parent is known, is only looked up by
  // Finish, its hash slot fetched meanwhile. `parser` must not parse again
  // before Finish.
  struct Pending {
    DirTree::NodeId node = DirTree::kNone;  // known already, or kNone
    DirTree::NodeId parent = DirTree::kNone;
    std::string_view rdn;  // the entry's own, as its DN spells it
    uint32_t hash = 0;
    bool empty = false;  // the DN holds no RDN
  };
  bool Begin(DirTree& tree, std::string_view dnText, DnParser& parser, Pending* pending);
  static DirTree::NodeId Finish(DirTree& tree, const Pending& pending);

  // Begin's two ways, for a caller that keeps one entry pending while it
  // begins the next. BeginSibling takes the shortcut only, touching
  // nothing but the pending entry's parent flags; false, changing nothing
  // else, when the entry needs BeginAny, which may look up any node and so
  // must wait until the entries before it are finished.
  bool BeginSibling(DirTree& tree, std::string_view dnText, DnParser& parser, Pending* pending);
  bool BeginAny(DirTree& tree, std::string_view dnText, DnParser& parser, Pending* pending);

  // Remembers a container entry's DN, as spelled, and its node; each DN
  // once (a load stops at a second entry of the same DN). Exports
  // list the units first and each unit's people later, in a block of
  // their own: the first of a block then starts from its unit as from a
  // previous sibling, instead of being looked up level by level.
  void RememberContainer(std::string_view dnText, DirTree::NodeId node);

 private:
  std::string parentText_;  // the last DN's text after its first RDN
  DirTree::NodeId parentNode_ = DirTree::kNone;  // and the node it names

  // Remembered container DNs: their texts end to end, and an open-addressing
  // table over them, a few bytes each beyond the text.
  struct Remembered {
    uint32_t hash;
    DirTree::NodeId node;  // kNone: empty
    uint32_t begin;        // in containerTexts_
    uint32_t length;
  };
  DirTree::NodeId FindContainer(std::string_view dnText) const;
  void PlaceContainer(const Remembered& entry);  // in a table with room
  ByteArena containerTexts_;  // grows without copying what it holds
  std::vector<Remembered> containers_;
  size_t containerCount_ = 0;

  std::string rdns_;                   // the last chain's RDNs, top first
  std::vector<size_t> ends_;           // end of each in rdns_
  std::vector<DirTree::NodeId> nodes_;  // and its nodes
};

// The node `dn` names, or kNone when it names none (or no RDN).
DirTree::NodeId FindEntryPath(const DirTree& tree, const DnParser& dn);

// The flags one objectClass value gives (alias, container), 0 for others.
uint32_t ObjectClassFlags(std::string_view objectClass);

// Marks `alias` a container alias when `target` names a container of the
// tree. Targets that do not parse or are not in the tree leave it a plain
// alias. `scratch` is reused for the parse.
void MarkContainerAlias(DirTree& tree, DirTree::NodeId alias,
                        std::string_view target, DnParser& scratch);

// Alias targets, kept until the whole tree is read: only then is it known
// whether they name containers.
class PendingAliases {
 public:
  void Add(DirTree::NodeId alias, std::string_view target);
  // Marks each alias whose target is a container, and forgets them all.
  void Mark(DirTree& tree, DnParser& scratch);

 private:
  struct Pending {
    DirTree::NodeId node;
    size_t begin;
    size_t length;
  };
  std::vector<Pending> aliases_;
  std::string targets_;
};

}  // namespace dirclient
