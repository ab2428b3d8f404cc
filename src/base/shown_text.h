// What of a text may reach a terminal as it is. Names, script lines, server
// diagnostics and file names come from people the user does not control; a
// control sequence among them could rewrite the screen, retitle the window
// or answer back on the user's input. Such characters are shown as "?".
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace base {

// The character at the start of a text: `length` bytes (at least 1) that
// are shown as they are when `safe`, or as one "?".
struct ShownChar {
  std::size_t length;
  bool safe;
};

// Reads the character at the start of `text` (not empty). For a terminal
// working in `codePage`: C0 controls but tab, and DEL, are never safe; nor
// are the C1 controls, which terminals obey as well: bytes 0x80-0x9F in the
// single-byte Latin sets, U+0080-U+009F in UTF-8, where each byte of an
// invalid sequence is one unsafe character too. In ASCII, which is also what
// the C locale and unknown character sets report, no byte above 0x7F is
// safe: nothing says how the terminal would read it.
ShownChar NextTerminalChar(std::string_view text, uint32_t codePage);

// Appends `text` to `out`, each character that is not safe as "?". On a
// terminal, by the rules above; elsewhere only the C0 controls and DEL are
// replaced, so that a diagnostic stays one line.
void AppendShownText(std::string& out, std::string_view text, uint32_t codePage, bool terminal);

}  // namespace base
