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
  DirTree::NodeId node = DirTree::kRoot;
  for (size_t i = dn.RdnCount(); i-- > 0;) {
    if (i + 1 < dn.RdnCount()) tree.AddFlags(node, kFlagContainer);
    DirTree::NodeId child = tree.FindChild(node, dn.Rdn(i));
    if (child == DirTree::kNone) child = tree.AddChild(node, dn.Rdn(i));
    node = child;
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
