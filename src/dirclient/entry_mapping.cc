#include "dirclient/entry_mapping.h"

#include "dirclient/dirclient.h"

namespace dirclient {
namespace {

// Object classes that make an entry a container even without subordinates.
constexpr std::string_view kContainerClasses[] = {
    "country", "locality", "organization", "organizationalUnit", "domain",
    "dcObject"};

}  // namespace

DirTree::NodeId AddEntryPath(DirTree& tree, const DnParser& dn) {
  EntryPaths paths;
  return paths.Add(tree, dn);
}

DirTree::NodeId EntryPaths::Add(DirTree& tree, const DnParser& dn) {
  const size_t count = dn.RdnCount();
  // Ancestors spelled exactly as in the last chain are the same nodes; the
  // entry's own RDN is always looked up, so that a repeated DN is found.
  size_t shared = 0;
  while (shared + 1 < count && shared < nodes_.size()) {
    size_t begin = shared ? ends_[shared - 1] : 0;
    if (dn.Rdn(count - 1 - shared) !=
        std::string_view(rdns_).substr(begin, ends_[shared] - begin))
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
    DirTree::NodeId child = tree.FindChild(node, rdn);
    if (child == DirTree::kNone) child = tree.AddChild(node, rdn);
    node = child;
    rdns_.append(rdn);
    ends_.push_back(rdns_.size());
    nodes_.push_back(node);
  }
  return node;
}

DirTree::NodeId FindEntryPath(const DirTree& tree, const DnParser& dn) {
  DirTree::NodeId node = dn.RdnCount() ? DirTree::kRoot : DirTree::kNone;
  for (size_t i = dn.RdnCount(); i-- > 0 && node != DirTree::kNone;)
    node = tree.FindChild(node, dn.Rdn(i));
  return node;
}

uint32_t ObjectClassFlags(std::string_view objectClass) {
  if (EqualsIgnoreAsciiCase(objectClass, "alias")) return kFlagAlias;
  for (std::string_view container : kContainerClasses)
    if (EqualsIgnoreAsciiCase(objectClass, container)) return kFlagContainer;
  return 0;
}

void MarkContainerAlias(DirTree& tree, DirTree::NodeId alias,
                        std::string_view target, DnParser& scratch) {
  if (!scratch.Parse(target)) return;
  DirTree::NodeId node = FindEntryPath(tree, scratch);
  if (node != DirTree::kNone && (tree.Flags(node) & kFlagContainer))
    tree.AddFlags(alias, kFlagContainerAlias);
}

}  // namespace dirclient
