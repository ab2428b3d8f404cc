// The depth-first walk of the directory tree.
#pragma once

#include "tool/search.h"

namespace tool {

// Visits every object below the container whose full name is in
// CurrentName, checks the login script of each that is not an alias, and
// descends into containers. Leaves CurrentName as it found it.
void WalkContainer(Search& search);

}  // namespace tool
