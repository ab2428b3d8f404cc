#include "tree/dir_tree.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "tree/name_mapping.h"

namespace tree {

DirTree::DirTree() {
  nodes_.push_back(Node{kNone, kNone, kNone, kNone, 0, 0, 0, 0, 0, false});
  slots_.assign(1024, Slot{kNone, 0});
}

namespace {

// Eight bytes with their ASCII capitals lower-cased, all at once: a byte
// gets bit 5 when, below 0x80, it lies in "A".."Z".
uint64_t LowerEight(uint64_t bytes) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  uint64_t low7 = bytes & (0x7F * kOnes);
  uint64_t atLeastA = low7 + (0x80 - 'A') * kOnes;
  uint64_t pastZ = low7 + (0x80 - 'Z' - 1) * kOnes;
  uint64_t capital = atLeastA & ~pastZ & ~bytes & (0x80 * kOnes);
  return bytes | capital >> 2;
}

uint64_t Mix(uint64_t hash, uint64_t bytes) {
  hash = (hash ^ bytes) * 0x9E3779B97F4A7C15ull;
  return hash ^ hash >> 29;
}

}  // namespace

uint32_t DirTree::ChildHash(NodeId parent, std::string_view name) {
  // Eight lower-cased bytes a step: names are some twenty bytes long, and a
  // byte-at-a-time hash spent more on them than the lookup it served.
  uint64_t hash = Mix(0x243F6A8885A308D3ull ^ name.size(), parent);
  size_t i = 0;
  for (; i + 8 <= name.size(); i += 8) {
    uint64_t bytes;
    std::memcpy(&bytes, name.data() + i, 8);
    hash = Mix(hash, LowerEight(bytes));
  }
  if (i < name.size()) {
    uint64_t bytes = 0;
    std::memcpy(&bytes, name.data() + i, name.size() - i);
    hash = Mix(hash, LowerEight(bytes));
  }
  // The table takes the low bits: fold the well-mixed high ones into them.
  hash *= 0xBF58476D1CE4E5B9ull;
  return static_cast<uint32_t>(hash >> 32 ^ hash);
}

DirTree::NodeId DirTree::FindChild(NodeId parent, std::string_view name, uint32_t hash) const {
  size_t mask = slots_.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const Slot& s = slots_[slot];
    if (s.node == kNone) return kNone;
    if (s.hash == hash && nodes_[s.node].parent == parent) {
      std::string_view stored = Name(s.node);
      // Spelled alike, as a name usually is wherever it appears.
      if (stored == name || EqualsIgnoreAsciiCase(stored, name)) return s.node;
    }
  }
}

void DirTree::Insert(NodeId node, uint32_t hash) {
  size_t mask = slots_.size() - 1;
  size_t slot = hash & mask;
  while (slots_[slot].node != kNone) slot = (slot + 1) & mask;
  slots_[slot] = Slot{node, hash};
}

void DirTree::Rehash(size_t slots) {
  std::vector<Slot> old;
  GrowInHugePages(old, slots, Slot{kNone, 0});
  old.swap(slots_);
  for (const Slot& s : old)
    if (s.node != kNone) Insert(s.node, s.hash);
}

void DirTree::Grow() {
  size_t held = nodes_.size();
  // Straight to the guess once it is near, in steps of 16 times till then.
  size_t step = held * 16;
  size_t nodes = std::max(held * 2, expectedNodes_ <= step * 2 ? expectedNodes_ : step);
  try {
    nodes_.reserve(nodes);
  } catch (const std::bad_alloc&) {
    nodes = held * 2;  // a step this machine cannot give: what growing needs
    nodes_.reserve(nodes);
  }
  // Names of people and units are about 24 bytes long.
  if (names_.capacity() < nodes * 24) {
    try {
      names_.reserve(nodes * 24);
    } catch (const std::bad_alloc&) {
      // They grow as they must.
    }
  }
  // A table that holds them all: growing clears a new table and rehashes
  // into it, and it is the fresh memory that costs.
  size_t slots = slots_.size();
  while (TooFull(nodes, slots)) slots *= 2;
  if (slots > slots_.size()) Rehash(slots);
  AdviseHugePages(nodes_.data(), nodes_.capacity() * sizeof(Node));
  AdviseHugePages(names_.data(), names_.capacity());
}

DirTree::NodeId DirTree::AddChild(NodeId parent, std::string_view name, uint32_t hash) {
  NodeId node = static_cast<NodeId>(nodes_.size());
  if (nodes_.size() == nodes_.capacity()) Grow();
  nodes_.push_back(Node{parent, kNone, kNone, kNone, names_.size(), 0, 0,
                        static_cast<uint32_t>(name.size()), 0, false});
  names_.append(name);
  Node& up = nodes_[parent];
  if (up.lastChild == kNone)
    up.firstChild = node;
  else
    nodes_[up.lastChild].nextSibling = node;
  up.lastChild = node;
  if (TooFull(nodes_.size(), slots_.size())) Rehash(slots_.size() * 2);
  Insert(node, hash);
  return node;
}

DirTree::NodeId DirTree::Resolve(NodeId start, std::string_view dottedName, bool* parsed) const {
  *parsed = true;
  if (dottedName.empty()) return start;
  std::vector<std::string_view>& components = components_;
  if (!SplitDottedName(dottedName, components)) {
    *parsed = false;
    return kNone;
  }
  NodeId node = start;
  for (size_t i = components.size(); i-- > 0 && node != kNone;)
    node = FindChild(node, components[i]);
  return node;
}

bool DirTree::HasFullName(NodeId node, std::string_view dottedName) const {
  if (node == kRoot || node >= nodes_.size()) return false;
  if (SpellsFullName(node, dottedName)) return true;
  if (!SplitDottedName(dottedName, components_)) return false;
  for (std::string_view component : components_) {
    if (node == kRoot || !EqualsIgnoreAsciiCase(Name(node), component)) return false;
    node = nodes_[node].parent;
  }
  return node == kRoot;
}

bool DirTree::SpellsFullName(NodeId node, std::string_view dottedName) const {
  size_t pos = 0;
  for (;;) {
    std::string_view name = Name(node);
    if (dottedName.substr(pos, name.size()) != name) return false;
    pos += name.size();
    node = nodes_[node].parent;
    if (node == kRoot) return pos == dottedName.size();
    if (pos == dottedName.size() || dottedName[pos] != '.') return false;
    ++pos;
  }
}

void DirTree::SetScript(NodeId node, uint64_t offset, uint64_t length) {
  Node& n = nodes_[node];
  n.scriptOffset = offset;
  n.scriptLength = length;
  n.hasScript = true;
}

}  // namespace tree
