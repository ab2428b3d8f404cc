// The process's entry, the same on every system once the system's own entry
// (main_posix.cc, main_windows.cc) has read the command line and the
// environment.
#pragma once

#include "base/environment.h"

namespace tool {

// Puts the tool and the client together and runs the search; returns the
// exit status. `utf8Text`: the command line is UTF-8 whatever the locale's
// code page (tool/run.h). `outputClosed`: standard output was closed at
// start-up.
int RunMain(int argc, const char* const* argv, const base::Environment& environment, bool utf8Text,
            bool outputClosed);

}  // namespace tool
