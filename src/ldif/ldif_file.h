// Start-up from an LDIF file: open it and load it.
#pragma once

#include <memory>

#include "base/failure.h"
#include "base/load_observer.h"
#include "base/status.h"
#include "tree/loaded_tree.h"

namespace ldif {

// Loads the LDIF file at `path` into *out. A failure names the file, the
// line where there is one, and what is wrong; warnings and progress go to
// `observer` as the load goes on.
base::Failure LoadLdifFile(const char* path, base::LoadObserver& observer,
                           std::unique_ptr<tree::LoadedTree>* out);

}  // namespace ldif
