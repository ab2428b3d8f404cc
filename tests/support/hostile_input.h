// Building hostile LDIF at run time and running the whole tool over it as a
// file, the way the binary is started: the real loader, client and walk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "capture.h"
#include "client/client.h"

namespace qovant_test {

std::string Base64(std::string_view bytes);

// One record: its DN and login script base64-encoded, whatever their bytes,
// an object class, and the blank line that ends it.
std::string LdifEntry(std::string_view dn, std::string_view script);

struct SearchOptions {
  uint32_t codePage = base::kCodePageAscii;  // whatever the test's locale
  bool terminal = false;
  bool utf8Text = false;   // the argument is UTF-8 whatever the code page
  long cutAfterLoad = -1;  // when not negative, the file is cut to this size once loaded
};

// Writes `ldif` to a temporary file and runs the tool on it with `text` as the
// argument. The file's path in standard error reads "PATH".
RunResult SearchLdif(const std::string& ldif, const char* text, SearchOptions options = {});

}  // namespace qovant_test
