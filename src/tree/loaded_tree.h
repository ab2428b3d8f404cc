// A tree as a source loaded it, with what the source knows is missing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tree/dir_tree.h"

namespace tree {

struct LoadedTree {
  DirTree tree;
  // Parts of the directory the source said it left out (a server limit,
  // a reference elsewhere), one line of text each.
  std::vector<std::string> unsearched;
};

// The line of `unsearched` for a search reference to `urls`.
inline std::string SearchReferenceNote(std::string_view urls) {
  return "search reference to " + std::string(urls) +
         ": that part of the tree is on another server";
}

}  // namespace tree
