// Start-up from an LDIF file: open it and load it.
#pragma once

#include <memory>

#include "client/dirclient.h"
#include "client/failure.h"
#include "client/load_observer.h"
#include "tree/loaded_tree.h"

namespace dirclient {

// Loads the LDIF file at `path`. On failure sets *failure (the file, the
// line where there is one, and what is wrong) and returns its status;
// warnings and progress go to `observer` as the load goes on.
Status LoadLdifFile(const char* path, LoadObserver& observer, std::unique_ptr<LoadedTree>* out,
                    Failure* failure);

}  // namespace dirclient
