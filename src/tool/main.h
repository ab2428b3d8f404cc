// The process's entry, the same on every system once the system's own entry
// (main_posix.cc, main_windows.cc) has read the command line and the
// environment, in UTF-8, and looked at standard output.
#pragma once

#include "base/environment.h"

namespace tool {

// Puts the tool and the client together and runs the search; returns the
// exit status. `outputClosed`: standard output was closed at start-up.
int RunMain(int argc, const char* const* argv, const base::Environment& environment,
            bool outputTerminal, bool outputClosed);

}  // namespace tool
