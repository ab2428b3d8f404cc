#include "output.h"

#include <cerrno>
#include <cstring>

namespace qovant {

void Output::NoteFailure() {
  if (!failed_) error_ = errno;
  failed_ = true;
}

void Output::Put(const char* text, std::size_t length) {
  if (failed_) return;
  if (std::fwrite(text, 1, length, stream_) != length || std::ferror(stream_))
    NoteFailure();
}

void Output::PutDirectoryText(const char* text) {
  if (!terminal_) {
    Put(text, std::strlen(text));
    return;
  }
  // Runs of harmless bytes go out as they are; each control byte (below
  // 0x20 but tab, and DEL) as "?".
  const char* run = text;
  for (const char* p = text;; ++p) {
    auto c = static_cast<unsigned char>(*p);
    bool control = c != 0 && ((c < 0x20 && c != '\t') || c == 0x7F);
    if (c == 0 || control) {
      Put(run, static_cast<std::size_t>(p - run));
      if (c == 0) return;
      Put("?", 1);
      run = p + 1;
    }
  }
}

void Output::Write(const char* text) { Put(text, std::strlen(text)); }

void Output::WriteStatus(const char* before, int32_t status, const char* after) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%X", static_cast<uint32_t>(status));
  Write(before);
  Write(hex);
  Write(after);
}

void Output::WriteNamed(const char* prefix, const char* name) {
  Write(prefix);
  PutDirectoryText(name);
}

void Output::WriteReport(const char* name, const char* line) {
  PutDirectoryText(name);
  Put(" (", 2);
  PutDirectoryText(line);
  Put(")\n", 2);
}

bool Output::Flush() {
  if (std::fflush(stream_) != 0 || std::ferror(stream_)) NoteFailure();
  return !failed_;
}

}  // namespace qovant
