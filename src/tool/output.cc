#include "tool/output.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "base/shown_text.h"
#include "tool/console.h"

namespace tool {

void Output::NoteFailure() {
  if (!failed_) error_ = errno;
  failed_ = true;
}

void Output::Put(const char* text, std::size_t length) {
  if (failed_ || length == 0) return;
  if (lost_) {
    errno = EBADF;  // what the write to the closed descriptor would have met
    NoteFailure();
  } else if (terminal_ ? !WriteText(stream_, std::string_view(text, length))
                       : std::fwrite(text, 1, length, stream_) != length || std::ferror(stream_)) {
    NoteFailure();
  }
}

void Output::SetCodePage(uint32_t codePage) { codePage_ = TerminalCodePage(stream_, codePage); }

void Output::PutDirectoryText(const char* text) {
  std::string_view rest(text);
  if (!terminal_) {
    Put(rest.data(), rest.size());
    return;
  }
  // Runs of safe characters go out as they are, each unsafe one as "?".
  std::size_t run = 0;
  while (run < rest.size()) {
    base::ShownChar shown = base::NextTerminalChar(rest.substr(run), codePage_);
    if (shown.safe) {
      run += shown.length;
      continue;
    }
    Put(rest.data(), run);
    Put("?", 1);
    rest.remove_prefix(run + shown.length);
    run = 0;
  }
  Put(rest.data(), run);
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

}  // namespace tool
