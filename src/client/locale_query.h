// The character set of the process, as the locale query reports it.
#pragma once

#include <cstdint>

namespace client {

struct LocaleInfo {
  uint32_t codePage;
  uint32_t countryId;
};

// Reads LC_ALL, LC_CTYPE or LANG (the first one set) the way setlocale
// would: UTF-8, a single-byte Latin set, or ASCII for the C locale and for
// character sets the upper-casing does not know.
LocaleInfo QueryLocale(const char* lcAll, const char* lcCtype, const char* lang);

bool IsKnownCodePage(uint32_t codePage);

}  // namespace client
