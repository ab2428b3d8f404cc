// What one run of the search shares between its steps: the client, the
// fixed buffers, standard output and the counts the exit status comes from.
#pragma once

#include <cstdint>

#include "client/client.h"
#include "tool/char_upper.h"
#include "tool/output.h"
#include "tool/shared_buffers.h"

namespace tool {

struct SearchCounts {
  uint64_t walkFailures = 0;    // levels or objects the walk could not read
  uint64_t skippedObjects = 0;  // full names too long to build
};

struct Search {
  client::DirClient& directory;
  SharedBuffers& buffers;
  Output& out;
  CaseMap caseMap;
  SearchCounts counts;
};

}  // namespace tool
