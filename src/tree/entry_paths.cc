#include "tree/entry_paths.h"

#include <algorithm>
#include <exception>
#include <functional>

namespace tree {
namespace {

// Where the first RDN of a DN's text ends: its first unescaped separator,
// or the end.
size_t FirstRdnEnd(std::string_view dn) {
  for (size_t i = 0; i < dn.size(); ++i) {
    if (dn[i] == '\\')
      ++i;
    else if (dn[i] == ',' || dn[i] == ';')
      return i;
  }
  return dn.size();
}

// The node of `rdn` below `parent`, added when new.
DirTree::NodeId ChildEntry(DirTree& tree, DirTree::NodeId parent, std::string_view rdn) {
  DirTree::NodeId child = tree.FindChild(parent, rdn);
  return child != DirTree::kNone ? child : tree.AddChild(parent, rdn);
}

}  // namespace

bool EntryPaths::BeginSibling(DirTree& tree, std::string_view dnText, DnParser& parser,
                              Pending* pending) {
  size_t split = FirstRdnEnd(dnText);
  if (split >= dnText.size()) return false;
  std::string_view parent = dnText.substr(split + 1);
  if (parent.empty()) return false;
  if (parentNode_ == DirTree::kNone || parent != parentText_) {
    DirTree::NodeId known = FindContainer(parent);
    if (known == DirTree::kNone) return false;
    parentNode_ = known;
    parentText_.assign(parent);
  }
  // The parent's text parsed before, so this DN parses exactly when its
  // first RDN does, and to the same RDNs.
  if (!parser.Parse(dnText.substr(0, split)) || parser.RdnCount() != 1) return false;
  *pending = Pending();
  tree.AddFlags(parentNode_, kFlagContainer);
  pending->parent = parentNode_;
  pending->rdn = parser.Rdn(0);
  pending->hash = DirTree::ChildHash(parentNode_, pending->rdn);
  tree.PrefetchChild(pending->hash);
  return true;
}

bool EntryPaths::BeginAny(DirTree& tree, std::string_view dnText, DnParser& parser,
                          Pending* pending) {
  *pending = Pending();
  if (!parser.Parse(dnText)) return false;
  if (parser.RdnCount() == 0) {
    pending->empty = true;
    return true;
  }
  size_t split = FirstRdnEnd(dnText);
  std::string_view parent = split < dnText.size() ? dnText.substr(split + 1) : std::string_view();
  pending->node = Add(tree, parser);
  pending->rdn = parser.Rdn(0);
  parentNode_ =
      parser.RdnCount() > 1 && !parent.empty() ? tree.Parent(pending->node) : DirTree::kNone;
  parentText_.assign(parent);
  return true;
}

namespace {

uint32_t TextHash(std::string_view text) {
  return static_cast<uint32_t>(std::hash<std::string_view>{}(text));
}

}  // namespace

void EntryPaths::RememberContainer(std::string_view dnText, DirTree::NodeId node) {
  // Only a shortcut: past 4 GiB of texts, or a table that cannot grow, the
  // paths are looked up as they would be without it.
  if (containerTexts_.size() + dnText.size() > UINT32_MAX) return;
  if ((containerCount_ + 1) * 2 > containers_.size()) {
    std::vector<Remembered> grown;
    try {
      GrowInHugePages(grown, std::max<size_t>(1024, containers_.size() * 2),
                      Remembered{0, DirTree::kNone, 0, 0});
    } catch (const std::exception&) {
      return;
    }
    grown.swap(containers_);
    for (const Remembered& entry : grown)
      if (entry.node != DirTree::kNone) PlaceContainer(entry);
  }
  uint64_t begin;
  if (!containerTexts_.Append(dnText, &begin)) return;
  PlaceContainer(Remembered{TextHash(dnText), node, static_cast<uint32_t>(begin),
                            static_cast<uint32_t>(dnText.size())});
  ++containerCount_;
}

void EntryPaths::PlaceContainer(const Remembered& entry) {
  size_t mask = containers_.size() - 1;
  size_t slot = entry.hash & mask;
  while (containers_[slot].node != DirTree::kNone) slot = (slot + 1) & mask;
  containers_[slot] = entry;
}

DirTree::NodeId EntryPaths::FindContainer(std::string_view dnText) const {
  if (containers_.empty()) return DirTree::kNone;
  uint32_t hash = TextHash(dnText);
  size_t mask = containers_.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const Remembered& entry = containers_[slot];
    if (entry.node == DirTree::kNone) return DirTree::kNone;
    if (entry.hash == hash && containerTexts_.view().substr(entry.begin, entry.length) == dnText)
      return entry.node;
  }
}

DirTree::NodeId EntryPaths::Finish(DirTree& tree, const Pending& pending) {
  if (pending.node != DirTree::kNone) return pending.node;
  DirTree::NodeId child = tree.FindChild(pending.parent, pending.rdn, pending.hash);
  return child != DirTree::kNone ? child : tree.AddChild(pending.parent, pending.rdn, pending.hash);
}

DirTree::NodeId EntryPaths::Add(DirTree& tree, const DnParser& dn) {
  const size_t count = dn.RdnCount();
  // Ancestors spelled exactly as in the last chain are the same nodes; the
  // entry's own RDN is always looked up, so that a repeated DN is found.
  size_t shared = 0;
  while (shared + 1 < count && shared < nodes_.size()) {
    size_t begin = shared ? ends_[shared - 1] : 0;
    if (dn.Rdn(count - 1 - shared) != std::string_view(rdns_).substr(begin, ends_[shared] - begin))
      break;
    ++shared;
  }
  rdns_.resize(shared ? ends_[shared - 1] : 0);
  ends_.resize(shared);
  nodes_.resize(shared);

  DirTree::NodeId node = DirTree::kRoot;
  if (shared) {
    node = nodes_.back();
    tree.AddFlags(node, kFlagContainer);  // it may have been the last leaf
  }
  for (size_t level = shared; level < count; ++level) {
    std::string_view rdn = dn.Rdn(count - 1 - level);
    if (level > 0) tree.AddFlags(node, kFlagContainer);
    node = ChildEntry(tree, node, rdn);
    rdns_.append(rdn);
    ends_.push_back(rdns_.size());
    nodes_.push_back(node);
  }
  return node;
}

}  // namespace tree
