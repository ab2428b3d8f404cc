#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "base/code_page.h"
#include "tool/console.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace tool {
namespace {

// The console `stream` writes to, or null for a file, a pipe or NUL.
HANDLE ConsoleOf(std::FILE* stream) {
  int fd = _fileno(stream);
  intptr_t handle = fd < 0 ? -1 : _get_osfhandle(fd);
  DWORD mode;
  if (handle == -1 || !GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode)) return nullptr;
  return reinterpret_cast<HANDLE>(handle);
}

// UTF-8 as UTF-16, each LF as CR LF. An invalid sequence, which only text
// that is not shown masked can hold, becomes U+FFFD.
std::wstring Widen(std::string_view text) {
  std::wstring wide;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t lf = std::min(text.find('\n', start), text.size());
    int length = static_cast<int>(lf - start);
    if (length > 0) {
      std::size_t at = wide.size();
      wide.resize(at + MultiByteToWideChar(CP_UTF8, 0, text.data() + start, length, nullptr, 0));
      MultiByteToWideChar(CP_UTF8, 0, text.data() + start, length, wide.data() + at,
                          static_cast<int>(wide.size() - at));
    }
    if (lf == text.size()) break;
    wide += L"\r\n";
    start = lf + 1;
  }
  return wide;
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return ConsoleOf(stream) != nullptr; }

uint32_t TerminalCodePage(std::FILE* stream, uint32_t localeCodePage) {
  return ConsoleOf(stream) ? base::kCodePageUtf8 : localeCodePage;
}

bool WriteText(std::FILE* stream, std::string_view text) {
  HANDLE console = ConsoleOf(stream);
  if (!console)
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size() && !std::ferror(stream);
  // What the stream holds goes first, so that the order stays.
  if (std::fflush(stream) != 0) return false;
  std::wstring wide = Widen(text);
  // In pieces that older consoles take whole, never between two halves of
  // a surrogate pair.
  constexpr std::size_t kPiece = 8192;
  for (std::size_t done = 0; done < wide.size();) {
    std::size_t piece = std::min(wide.size() - done, kPiece);
    if (done + piece < wide.size() && IS_HIGH_SURROGATE(wide[done + piece - 1])) --piece;
    DWORD written = 0;
    if (!WriteConsoleW(console, wide.data() + done, static_cast<DWORD>(piece), &written, nullptr) ||
        written == 0) {
      errno = EIO;
      return false;
    }
    done += written;
  }
  return true;
}

LineEscapes::LineEscapes(std::FILE* stream) {
  HANDLE console = ConsoleOf(stream);
  DWORD mode;
  if (!console || !GetConsoleMode(console, &mode)) return;
  on_ = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
  // Consoles before Windows 10 refuse the mode: they get a plain "\r".
  if (!on_ && SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    console_ = console;
    mode_ = mode;
    on_ = true;
  }
}

LineEscapes::~LineEscapes() {
  if (console_) SetConsoleMode(static_cast<HANDLE>(console_), mode_);
}

}  // namespace tool
