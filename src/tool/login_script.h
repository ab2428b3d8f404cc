// The per-object step: read an object's login script, look for the search
// text in it, and write the report line.
#pragma once

#include "client/client.h"
#include "tool/search.h"

namespace tool {

// `object` is relative to the context's name context; CurrentName holds the
// object's full name.
void CheckLoginScript(Search& search, client::ContextHandle context, const char* object);

// Deletes every "CN=", then every "OU=", then "C=", then "O=" from a full
// name, in place, as if each were deleted one first occurrence at a time.
void MakeDisplayName(char* text);

}  // namespace tool
