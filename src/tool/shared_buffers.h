// The tool's whole state: fixed buffers that live for the run, shared by the
// walk levels and the script check. Only the running level touches them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tree/dir_tree.h"

namespace tool {

inline constexpr std::size_t kNameSize = 4096;       // 4095 bytes + terminator
inline constexpr std::size_t kSearchTextSize = 100;  // 99 bytes + terminator

struct SharedBuffers {
  char CurrentName[kNameSize];  // the container listed, or the object handled
  char ScratchName[kNameSize];  // parent's name while building; display name
  char SearchText[kSearchTextSize];
  char ScriptBuffer[tree::kScriptKeptBytes + 1];  // one read per object
  int32_t Depth;                                  // active walk levels
};

}  // namespace tool
