// Start-up from an LDIF file: open it, load it, say what went wrong.
#pragma once

#include <cstdio>
#include <memory>

#include "client/dirclient.h"
#include "tree/loaded_tree.h"

namespace dirclient {

// Loads an LDIF file; on failure writes "program: path:line: what" (or
// "program: path: reason" when it cannot be read).
Status LoadLdifFile(const char* path, std::FILE* diagnostics,
                    const char* program, std::unique_ptr<LoadedTree>* out);

}  // namespace dirclient
