// Arbitrary bytes as a DN and as a dotted name. A DN that parses must map to
// RDNs that split back into themselves, one by one and joined into the full
// name, and the tree must resolve that name to the node the RDNs make. Any
// dotted name that splits must join back into itself.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "require.h"
#include "tree/dir_tree.h"
#include "tree/name_mapping.h"

namespace {

using tree::DirTree;

std::string Join(const std::vector<std::string_view>& parts) {
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) joined += '.';
    joined.append(parts[i]);
  }
  return joined;
}

// An RDN in dotted form: TYPE=value with an upper-case type, no raw NUL, and
// exactly one component when split.
void CheckRdn(std::string_view rdn, std::vector<std::string_view>& parts) {
  Require(!rdn.empty() && rdn.find('\0') == std::string_view::npos, "RDN empty or with a NUL");
  std::size_t equals = rdn.find('=');
  Require(equals != std::string_view::npos && equals > 0, "RDN without a type");
  for (char c : rdn.substr(0, equals)) Require(!(c >= 'a' && c <= 'z'), "type not upper-cased");
  Require(tree::SplitDottedName(rdn, parts) && parts.size() == 1 && parts[0] == rdn,
          "an RDN does not split into itself");
}

void CheckDn(std::string_view text) {
  tree::DnParser dn;
  if (!dn.Parse(text) || dn.RdnCount() == 0) return;
  std::vector<std::string_view> rdns, parts;
  for (std::size_t i = 0; i < dn.RdnCount(); ++i) {
    CheckRdn(dn.Rdn(i), parts);
    rdns.push_back(dn.Rdn(i));
  }
  std::string full = Join(rdns);
  Require(tree::SplitDottedName(full, parts) && parts == rdns,
          "a full name does not split into its RDNs");

  // The chain the loader would build, top first, found again by name.
  DirTree tree;
  DirTree::NodeId node = DirTree::kRoot;
  for (std::size_t i = rdns.size(); i-- > 0;) {
    DirTree::NodeId child = tree.FindChild(node, rdns[i]);
    node = child != DirTree::kNone ? child : tree.AddChild(node, rdns[i]);
    Require(tree.Name(node) == rdns[i], "a node lost its name");
  }
  bool parsed = false;
  Require(tree.Resolve(DirTree::kRoot, full, &parsed) == node && parsed,
          "the full name does not resolve to its node");
  Require(tree.Resolve(tree.Parent(node), rdns[0], &parsed) == node && parsed,
          "the leaf does not resolve from its parent");

  // Parsing again gives the same RDNs: nothing is left over from the first.
  std::vector<std::string> first(rdns.begin(), rdns.end());
  Require(dn.Parse(text) && dn.RdnCount() == first.size(), "a second parse differs");
  for (std::size_t i = 0; i < first.size(); ++i)
    Require(dn.Rdn(i) == first[i], "a second parse differs");
}

void CheckDottedName(std::string_view text) {
  std::vector<std::string_view> parts;
  bool split = tree::SplitDottedName(text, parts);
  if (split) {
    Require(Join(parts) == text, "the components do not join back into the name");
    for (std::string_view part : parts)
      Require(!part.empty() && part[0] != '=' && part.find('=') != std::string_view::npos,
              "a component without a type");
  }
  // A small tree: [Root] > O=Acme > OU=Sales, looked up by any name.
  DirTree tree;
  DirTree::NodeId acme = tree.AddChild(DirTree::kRoot, "O=Acme");
  tree.AddChild(acme, "OU=Sales");
  bool parsed = false;
  DirTree::NodeId found = tree.Resolve(DirTree::kRoot, text, &parsed);
  Require(parsed == (text.empty() || split), "Resolve and SplitDottedName disagree");
  Require(found == DirTree::kNone || found < tree.size(), "Resolve made up a node");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view text(size ? reinterpret_cast<const char*>(data) : "", size);
  CheckDn(text);
  CheckDottedName(text);
  return 0;
}
