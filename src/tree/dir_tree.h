// The compact tree that every backend fills and the client serves from.
//
// One fixed-size node per object, names in one arena, children as linked
// lists in the order they were first added, and an open-addressing hash of
// (parent, name) for lookups. Login scripts are kept decoded in the tree's
// own store, so that reading one is a view of its bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tree/byte_arena.h"

namespace tree {

// What an object is, in the bits the client's listing reports.
inline constexpr uint32_t kFlagAlias = 0x01;
inline constexpr uint32_t kFlagContainer = 0x04;
inline constexpr uint32_t kFlagContainerAlias = 0x08;  // with kFlagAlias

// The most of a login script a reader of a stream gets in one read, and so
// all of it a source needs to keep: a longer script is cut.
inline constexpr std::size_t kScriptKeptBytes = 60000;

class DirTree {
 public:
  using NodeId = uint32_t;
  static constexpr NodeId kRoot = 0;
  static constexpr NodeId kNone = UINT32_MAX;

  DirTree();

  // Case-insensitive (ASCII) lookup of one dotted-name component.
  NodeId FindChild(NodeId parent, std::string_view name) const {
    return FindChild(parent, name, ChildHash(parent, name));
  }
  // Appends a new last child; the caller has checked that none exists.
  NodeId AddChild(NodeId parent, std::string_view name) {
    return AddChild(parent, name, ChildHash(parent, name));
  }
  // The same with the hash of (parent, name) at hand: a caller that knows
  // a lookup is coming can have its slot fetched while it does other work.
  static uint32_t ChildHash(NodeId parent, std::string_view name);
  void PrefetchChild(uint32_t hash) const {
    __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
  }
  NodeId FindChild(NodeId parent, std::string_view name, uint32_t hash) const;
  NodeId AddChild(NodeId parent, std::string_view name, uint32_t hash);

  // Resolves a relative dotted name below `start` ("" is `start` itself).
  // kNone when a component is missing; sets *parsed to false when the name
  // does not parse.
  NodeId Resolve(NodeId start, std::string_view dottedName, bool* parsed) const;

  // True when `dottedName` is the full name of `node`, checked by walking
  // up from it: cheaper than a lookup from the top when the node is at hand.
  bool HasFullName(NodeId node, std::string_view dottedName) const;

  NodeId Parent(NodeId node) const { return nodes_[node].parent; }
  NodeId FirstChild(NodeId node) const { return nodes_[node].firstChild; }
  NodeId NextSibling(NodeId node) const { return nodes_[node].nextSibling; }
  std::string_view Name(NodeId node) const {
    return std::string_view(names_).substr(nodes_[node].nameOffset, nodes_[node].nameLength);
  }
  // Gives `node` the spelling `name`, the same name in another ASCII case:
  // an object is spelled as its own entry spells it, even where an entry
  // below it came first and spelled it otherwise.
  void Respell(NodeId node, std::string_view name) {
    char* own = names_.data() + nodes_[node].nameOffset;
    if (name.size() == nodes_[node].nameLength && std::memcmp(own, name.data(), name.size()) != 0)
      std::memcpy(own, name.data(), name.size());
  }
  uint32_t Flags(NodeId node) const { return nodes_[node].flags; }
  void AddFlags(NodeId node, uint32_t flags) {
    nodes_[node].flags = static_cast<uint8_t>(nodes_[node].flags | flags);
  }
  size_t size() const { return nodes_.size(); }
  size_t capacity() const { return nodes_.capacity(); }
  // About `nodes` objects are expected (a guess from a file's size): the
  // arrays grow towards that in large steps rather than doubling, since
  // each growth copies them into fresh memory and rehashes the table. A
  // step is at most some 32 times the objects added, so that memory
  // follows the tree, never the guess.
  void ExpectNodes(size_t nodes) { expectedNodes_ = nodes; }
  // Login scripts are kept, decoded, in the tree's script store; a node
  // names its script by where it stands there (SetScript). Nodes without
  // one report HasScript() false.
  //
  // Takes `store` as the script store, in place of an empty one: a reader
  // on another thread than the one that builds the nodes fills a store of
  // its own, handed over once the load is done.
  void AdoptScripts(std::unique_ptr<ByteArena> store) { storedScripts_ = std::move(store); }
  void SetScript(NodeId node, uint64_t offset, uint64_t length);
  bool HasScript(NodeId node) const { return nodes_[node].hasScript; }
  // Fetches the first KiB of a node's script into the caches ahead of use.
  void PrefetchScript(NodeId node) const {
    const Node& n = nodes_[node];
    if (!n.hasScript) return;
    const char* p = storedScripts_->view().data() + n.scriptOffset;
    for (uint64_t i = 0; i < n.scriptLength && i < 1024; i += 64) __builtin_prefetch(p + i);
  }
  std::string_view Script(NodeId node) const {
    return storedScripts_->view().substr(nodes_[node].scriptOffset, nodes_[node].scriptLength);
  }

 private:
  struct Node {
    NodeId parent;
    NodeId firstChild;
    NodeId lastChild;
    NodeId nextSibling;
    uint64_t nameOffset;
    uint64_t scriptOffset;
    uint64_t scriptLength;
    uint32_t nameLength;
    uint8_t flags;
    bool hasScript;
  };

  // A slot keeps its node's hash, so that probes that do not match are told
  // apart, and the table grows, without touching the nodes themselves.
  struct Slot {
    NodeId node;
    uint32_t hash;
  };

  // HasFullName for a name spelled exactly as the tree holds it, compared in
  // place: names keep their dots escaped, so this is what splitting the
  // name would find.
  bool SpellsFullName(NodeId node, std::string_view dottedName) const;
  // Linear probes stay short up to 70% full; eight slots share a cache line.
  static bool TooFull(size_t nodes, size_t slots) { return nodes * 10 > slots * 7; }
  void Rehash(size_t slots);
  void Insert(NodeId node, uint32_t hash);
  // Room for more nodes, their names and their slots, once nodes_ is full.
  void Grow();

  std::vector<Node> nodes_;
  std::string names_;
  std::vector<Slot> slots_;  // hash of (parent, name); node kNone when empty
  std::unique_ptr<ByteArena> storedScripts_ = std::make_unique<ByteArena>();
  mutable std::vector<std::string_view> components_;  // Resolve's scratch
  size_t expectedNodes_ = 0;
};

}  // namespace tree
