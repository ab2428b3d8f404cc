// Standard output and standard error as the user watches them: whether a
// stream is a terminal, how text reaches it, and redrawing a line in place.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace tool {

// True when `stream` is a terminal the user watches: on a Windows console,
// as its console mode tells (NUL is a character device, but no console).
bool IsTerminal(std::FILE* stream);

// The code page in which the terminal `stream` shows what WriteText writes:
// `localeCodePage` where bytes go through as they are; UTF-8 on a Windows
// console, which is handed the characters UTF-8 text encodes.
uint32_t TerminalCodePage(std::FILE* stream, uint32_t localeCodePage);

// Writes `text` to `stream`: to a Windows console as the characters of the
// UTF-8 text, each line ending in CR LF; elsewhere as its bytes. False on a
// failure, with errno set.
bool WriteText(std::FILE* stream, std::string_view text);

// For as long as it lives, asks the terminal `stream` to obey the escape
// sequences that redraw a line; a Windows console gets its mode back after.
class LineEscapes {
 public:
  explicit LineEscapes(std::FILE* stream);
  ~LineEscapes();
  LineEscapes(const LineEscapes&) = delete;
  LineEscapes& operator=(const LineEscapes&) = delete;

  // The terminal obeys "\r\033[K"; otherwise a line is redrawn with "\r"
  // alone.
  bool on() const { return on_; }

 private:
  void* console_ = nullptr;  // the console whose mode is put back
  uint32_t mode_ = 0;
  bool on_ = false;
};

}  // namespace tool
