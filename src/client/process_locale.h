// Where the process's locale comes from on each platform.
#pragma once

#include "base/environment.h"
#include "client/locale_query.h"

namespace client {

// The code page texts fold and show in, and the country. From LC_ALL,
// LC_CTYPE or LANG as QueryLocale reads them; on Windows, the console's
// output code page when standard output is a console, else the process's
// ANSI code page, and the user's country. A code page the upper-casing does
// not know is reported as ASCII.
LocaleInfo ProcessLocale(const base::Environment& environment);

}  // namespace client
