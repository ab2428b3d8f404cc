// The chain of nodes an entry's DN names, found or made, for a stream of
// entries: TreeBuilder's own. Ancestors become containers; those not seen
// before are added as attribute-less placeholders, so that an entry may
// come before its parent (or without it) and still hang in the right place.
//
// Exports list an entry's children and siblings right after it, so most
// entries share all but their own RDN with the one before: those ancestors
// come from the last chain, or from the remembered containers, without a
// lookup each.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tree/byte_arena.h"
#include "tree/dir_tree.h"
#include "tree/name_mapping.h"

namespace tree {

class EntryPaths {
 public:
  // An entry's path in two steps. Begin parses `dnText` with `parser`; the
  // entry's own node, when its parent is known, is only looked up by
  // Finish, its hash slot fetched meanwhile. `parser` must not parse again
  // before Finish.
  struct Pending {
    DirTree::NodeId node = DirTree::kNone;  // known already, or kNone
    DirTree::NodeId parent = DirTree::kNone;
    std::string_view rdn;  // the entry's own, as its DN spells it
    uint32_t hash = 0;
    bool empty = false;  // the DN holds no RDN
  };
  // Begin's two ways, for a caller that keeps one entry pending while it
  // begins the next. BeginSibling takes the shortcut only (when all after
  // the first RDN is a remembered container's DN or the previous DN's
  // parent), touching nothing but the pending entry's parent flags; false,
  // changing nothing else, when the entry needs BeginAny, which may look up
  // any node and so must wait until the entries before it are finished.
  // BeginAny is false when the DN does not parse.
  bool BeginSibling(DirTree& tree, std::string_view dnText, DnParser& parser, Pending* pending);
  bool BeginAny(DirTree& tree, std::string_view dnText, DnParser& parser, Pending* pending);
  static DirTree::NodeId Finish(DirTree& tree, const Pending& pending);

  // Remembers a container entry's DN, as spelled, and its node; each DN
  // once (a load stops at a second entry of the same DN). Exports
  // list the units first and each unit's people later, in a block of
  // their own: the first of a block then starts from its unit as from a
  // previous sibling, instead of being looked up level by level.
  void RememberContainer(std::string_view dnText, DirTree::NodeId node);

 private:
  // The node of every RDN of `dn`, from the last chain where it is spelled
  // the same; `dn` holds at least one RDN.
  DirTree::NodeId Add(DirTree& tree, const DnParser& dn);

  std::string parentText_;                       // the last DN's text after its first RDN
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
  ByteArena containerTexts_;                     // grows without copying what it holds
  std::vector<Remembered> containers_;
  size_t containerCount_ = 0;

  std::string rdns_;                    // the last chain's RDNs, top first
  std::vector<size_t> ends_;            // end of each in rdns_
  std::vector<DirTree::NodeId> nodes_;  // and its nodes
};

}  // namespace tree
