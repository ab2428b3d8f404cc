// UTF-8, the text of every layer, to and from the UTF-16 of Windows' wide
// calls (the command line, the environment, file names). Windows only.
#pragma once

#include <string>
#include <string_view>

namespace base {

// False, with *wide unchanged, when `text` is not UTF-8.
bool WideFromUtf8(std::string_view text, std::wstring* wide);

// A lone surrogate, which no UTF-8 can carry, becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace base
