#include "tree/entry_mapping.h"

namespace tree {
namespace {

// Object classes that make an entry a container even without subordinates.
constexpr std::string_view kContainerClasses[] = {
    "country", "locality", "organization", "organizationalUnit", "domain", "dcObject"};

}  // namespace

DirTree::NodeId FindEntryPath(const DirTree& tree, const DnParser& dn) {
  DirTree::NodeId node = dn.RdnCount() ? DirTree::kRoot : DirTree::kNone;
  for (size_t i = dn.RdnCount(); i-- > 0 && node != DirTree::kNone;)
    node = tree.FindChild(node, dn.Rdn(i));
  return node;
}

uint32_t ObjectClassFlags(std::string_view objectClass) {
  // Every entry names several classes: most are told apart by length alone.
  constexpr std::string_view kAlias = "alias";
  if (objectClass.size() == kAlias.size() && EqualsIgnoreAsciiCase(objectClass, kAlias))
    return kFlagAlias;
  for (std::string_view container : kContainerClasses)
    if (objectClass.size() == container.size() && EqualsIgnoreAsciiCase(objectClass, container))
      return kFlagContainer;
  return 0;
}

std::string DnOverLimit(const char* what, std::size_t length) {
  return std::string(what) + " of " + std::to_string(length) + " bytes, over the largest DN (" +
         std::to_string(kMaxDnBytes) + " bytes)";
}

void PendingAliases::Add(DirTree::NodeId alias, std::string_view target) {
  aliases_.push_back({alias, targets_.size(), target.size()});
  targets_.append(target);
}

void PendingAliases::Mark(DirTree& tree, DnParser& scratch) {
  for (const Pending& alias : aliases_)
    MarkContainerAlias(tree, alias.node,
                       std::string_view(targets_).substr(alias.begin, alias.length), scratch);
  aliases_.clear();
  aliases_.shrink_to_fit();
  targets_.clear();
  targets_.shrink_to_fit();
}

void MarkContainerAlias(DirTree& tree, DirTree::NodeId alias, std::string_view target,
                        DnParser& scratch) {
  if (!scratch.Parse(target)) return;
  DirTree::NodeId node = FindEntryPath(tree, scratch);
  if (node != DirTree::kNone && (tree.Flags(node) & kFlagContainer))
    tree.AddFlags(alias, kFlagContainerAlias);
}

}  // namespace tree
