// Where the client's tree comes from: the one place that reads the client's
// configuration and picks a backend.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dirclient/dir_tree.h"
#include "dirclient/dirclient.h"

namespace dirclient {

// A loaded tree, and what is known to be missing from it.
struct LoadedTree {
  DirTree tree;
  // Parts of the directory the source said it left out (a server limit,
  // a reference elsewhere), one line of text each.
  std::vector<std::string> unsearched;
};

// Loads the tree that `setting` (the value of DIRCLIENT_TREE, may be null)
// names. On failure writes one line to `diagnostics`, prefixed with
// `program`, and returns the failure status.
Status LoadConfiguredTree(const char* setting, std::FILE* diagnostics,
                          const char* program, std::unique_ptr<LoadedTree>* out);

// Loads an LDIF file; on failure writes "program: path:line: what" (or
// "program: path: reason" when it cannot be read).
Status LoadLdifFile(const char* path, std::FILE* diagnostics,
                    const char* program, std::unique_ptr<LoadedTree>* out);

}  // namespace dirclient
