#include <unistd.h>

#include "tool/console.h"

namespace tool {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

uint32_t TerminalCodePage(std::FILE*, uint32_t localeCodePage) { return localeCodePage; }

bool WriteText(std::FILE* stream, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size() && !std::ferror(stream);
}

// Terminals here take escape sequences as they come.
LineEscapes::LineEscapes(std::FILE*) : on_(true) {}
LineEscapes::~LineEscapes() = default;

}  // namespace tool
