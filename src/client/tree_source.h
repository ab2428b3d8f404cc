// Where a client's tree comes from. The client loads it when it starts, so
// that a run that never starts the client (a wrong command line) reads
// nothing; what stands behind it (a file, a server) is the caller's choice.
#pragma once

#include <memory>

#include "client/dirclient.h"
#include "tree/loaded_tree.h"

namespace dirclient {

class TreeSource {
 public:
  virtual ~TreeSource() = default;
  // Loads the tree into *out; a failure status otherwise.
  virtual Status Load(std::unique_ptr<LoadedTree>* out) = 0;
};

}  // namespace dirclient
