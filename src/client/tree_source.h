// Where a client's tree comes from. The client loads it when it starts, so
// that a run that never starts the client (a wrong command line) reads
// nothing; what stands behind it (a file, a server) is the caller's choice.
#pragma once

#include <memory>

#include "client/client.h"
#include "tree/loaded_tree.h"

namespace client {

class TreeSource {
 public:
  virtual ~TreeSource() = default;
  // Loads the tree into *out; a failure status otherwise.
  virtual base::Status Load(std::unique_ptr<tree::LoadedTree>* out) = 0;
};

}  // namespace client
