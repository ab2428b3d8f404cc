#include <windows.h>

#include "tool/standard_descriptors.h"

namespace tool {

// The C runtime keeps descriptors 0, 1 and 2 for the standard handles even
// when the process was started without them, so a file opened later never
// takes their place: only a missing standard output needs saying.
bool OpenClosedStandardDescriptors(bool* outputClosed) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  *outputClosed = output == nullptr || output == INVALID_HANDLE_VALUE;
  return true;
}

}  // namespace tool
