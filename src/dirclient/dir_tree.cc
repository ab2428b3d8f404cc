#include "dirclient/dir_tree.h"

#include <exception>

#include "dirclient/ldif_value.h"
#include "dirclient/name_mapping.h"

namespace dirclient {

DirTree::DirTree() {
  nodes_.push_back(Node{kNone, kNone, kNone, kNone, 0, 0, 0, 0, 0, false});
  slots_.assign(1024, Slot{kNone, 0});
}

uint32_t DirTree::ChildHash(NodeId parent, std::string_view name) {
  // FNV-1a over the parent and the lower-cased name.
  uint64_t hash = 14695981039346656037ull ^ parent;
  for (char c : name) {
    hash ^= static_cast<uint8_t>(AsciiLower(c));
    hash *= 1099511628211ull;
  }
  return static_cast<uint32_t>(hash ^ (hash >> 32));
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

void DirTree::Grow() {
  std::vector<Slot> old;
  old.reserve(slots_.size() * 2);
  AdviseHugePages(old.data(), old.capacity() * sizeof(Slot));
  old.assign(slots_.size() * 2, Slot{kNone, 0});
  old.swap(slots_);
  for (const Slot& s : old)
    if (s.node != kNone) Insert(s.node, s.hash);
}

void DirTree::Reserve(size_t nodes) {
  try {
    nodes_.reserve(nodes);
    names_.reserve(nodes * 24);  // names of people and units are about that long
  } catch (const std::exception&) {
    return;  // a guess too large for this machine: the arrays grow as they must
  }
  AdviseHugePages(nodes_.data(), nodes_.capacity() * sizeof(Node));
  AdviseHugePages(names_.data(), names_.capacity());
}

DirTree::NodeId DirTree::AddChild(NodeId parent, std::string_view name, uint32_t hash) {
  NodeId node = static_cast<NodeId>(nodes_.size());
  nodes_.push_back(Node{parent, kNone, kNone, kNone, names_.size(), 0, 0,
                        static_cast<uint32_t>(name.size()), 0, false});
  names_.append(name);
  Node& up = nodes_[parent];
  if (up.lastChild == kNone)
    up.firstChild = node;
  else
    nodes_[up.lastChild].nextSibling = node;
  up.lastChild = node;
  // Keep the table at most half full so that probes stay short.
  if (nodes_.size() * 2 > slots_.size()) Grow();
  Insert(node, hash);
  return node;
}

DirTree::NodeId DirTree::Resolve(NodeId base, std::string_view dottedName,
                                 bool* parsed) const {
  *parsed = true;
  if (dottedName.empty()) return base;
  std::vector<std::string_view>& components = components_;
  if (!SplitDottedName(dottedName, components)) {
    *parsed = false;
    return kNone;
  }
  NodeId node = base;
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

DirTree::Kept DirTree::KeepScript(std::string_view raw, uint8_t encoding, uint64_t* offset,
                                  uint64_t* length) {
  char* dest = storedScripts_.Claim(DecodedSizeBound(raw, encoding));
  if (!dest) return Kept::kNoMemory;
  size_t size;
  if (!DecodeValueTo(raw, encoding, dest, &size)) return Kept::kBadValue;
  storedScripts_.Commit(size, offset);
  *length = size;
  return Kept::kKept;
}

void DirTree::SetScript(NodeId node, uint64_t offset, uint64_t length) {
  Node& n = nodes_[node];
  n.scriptOffset = offset;
  n.scriptLength = length;
  n.hasScript = true;
}

bool DirTree::StoreScript(NodeId node, std::string_view bytes) {
  uint64_t offset;
  if (!storedScripts_.Append(bytes, &offset)) return false;
  SetScript(node, offset, bytes.size());
  return true;
}

}  // namespace dirclient
