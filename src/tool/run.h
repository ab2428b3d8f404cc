// The run sequence: command line, client start-up, one walk of the whole
// tree, and the exit status.
#pragma once

#include <cstdio>

#include "client/client.h"
#include "tool/output.h"
#include "tool/shared_buffers.h"

namespace tool {

// Exit statuses; each keeps its number.
enum ExitStatus : int {
  kExitComplete = 0,     // the whole tree was searched
  kExitStartFailed = 1,  // the directory client did not start
  kExitUsage = 2,        // wrong command line, or a substring over 99 bytes
  kExitIncomplete = 3,   // a part of the tree was not searched, or output failed
};

// Runs the tool with its argument vector. Report lines and the tool's
// messages go to `out`; a failure to write them, and a summary of an
// incomplete search, go to `diagnostics`.
ExitStatus RunQovant(int argc, const char* const* argv, client::DirClient& directory,
                     SharedBuffers& buffers, Output& out, std::FILE* diagnostics);

}  // namespace tool
