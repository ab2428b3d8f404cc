// The tree's lookup of a child by name: any ASCII case finds it, any other
// byte does not, wherever in the name the difference stands.
#include "tree/dir_tree.h"

#include <gtest/gtest.h>

#include <string>

namespace qovant_test {
namespace {

using tree::DirTree;

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

TEST(DirTreeTest, FindsAChildInAnyCaseAndNoOther) {
  // Nineteen bytes: two whole words of eight and a tail, as the hash takes them.
  const std::string base = "CN=someone-or-other";
  for (size_t at = 0; at < base.size(); ++at) {
    DirTree tree;
    DirTree::NodeId parent = tree.AddChild(DirTree::kRoot, "O=Acme");
    std::string name = base;
    // One child for every byte at `at` but the capitals, which would name
    // a child already there.
    for (int byte = 0; byte < 256; ++byte) {
      name[at] = static_cast<char>(byte);
      if (byte >= 'A' && byte <= 'Z') continue;
      ASSERT_EQ(tree.FindChild(parent, name), DirTree::kNone) << byte << " at " << at;
      tree.AddChild(parent, name);
    }
    for (int byte = 0; byte < 256; ++byte) {
      if (byte >= 'A' && byte <= 'Z') continue;
      name[at] = static_cast<char>(byte);
      DirTree::NodeId found = tree.FindChild(parent, name);
      ASSERT_NE(found, DirTree::kNone) << byte << " at " << at;
      EXPECT_EQ(tree.Name(found), name);
      std::string upper = name;
      for (char& c : upper) c = Upper(c);
      EXPECT_EQ(tree.FindChild(parent, upper), found) << byte << " at " << at;
      EXPECT_EQ(tree.FindChild(DirTree::kRoot, name), DirTree::kNone);
    }
  }
}

}  // namespace
}  // namespace qovant_test
