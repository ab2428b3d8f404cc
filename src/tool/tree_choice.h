// Which tree the client serves: the one place that reads the client's
// configuration and picks a source, a file or a server.
#pragma once

#include <cstdio>
#include <memory>

#include "client/tree_source.h"

namespace dirclient {

// Loads the tree that `setting` (the value of DIRCLIENT_TREE, may be null)
// names. On failure writes one line to `diagnostics`, prefixed with
// `program`, and returns the failure status.
Status LoadConfiguredTree(const char* setting, std::FILE* diagnostics,
                          const char* program, std::unique_ptr<LoadedTree>* out);

// The same as a source the client loads when it starts.
class ConfiguredTree : public TreeSource {
 public:
  ConfiguredTree(const char* setting, std::FILE* diagnostics, const char* program)
      : setting_(setting), diagnostics_(diagnostics), program_(program) {}
  Status Load(std::unique_ptr<LoadedTree>* out) override;

 private:
  const char* setting_;
  std::FILE* diagnostics_;
  const char* program_;
};

}  // namespace dirclient
