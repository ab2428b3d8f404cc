// Standard output as the tool writes it: report lines and fixed messages,
// with write failures noticed at once so that the walk can stop.
#pragma once

#include <cstdint>
#include <cstdio>

#include "client/client.h"

namespace tool {

class Output {
 public:
  // On a terminal, control characters inside report lines and object names
  // are shown as "?" (base/shown_text.h), so that directory data cannot
  // drive the terminal. Until the locale's code page is set, the strictest
  // rules, ASCII's, apply.
  Output(std::FILE* stream, bool terminal) : stream_(stream), terminal_(terminal) {}

  // The locale's code page; a Windows console is shown UTF-8 whatever it is.
  void SetCodePage(uint32_t codePage);
  // The stream stands in for a standard output that was closed: anything
  // written to it fails as a write to a closed descriptor would.
  void Lost() { lost_ = true; }

  void Write(const char* text);
  // Writes `before`, the status as its 32 bits in upper-case hexadecimal
  // (-1 is FFFFFFFF), and `after`.
  void WriteStatus(const char* before, int32_t status, const char* after = "");
  // Writes "prefix" then directory text (shown safely on a terminal).
  void WriteNamed(const char* prefix, const char* name);
  // "%s (%s)\n"
  void WriteReport(const char* name, const char* line);
  // Pushes out everything buffered; false if anything failed to be written.
  bool Flush();
  bool failed() const { return failed_; }
  // The system's reason for the first failure.
  int error() const { return error_; }

 private:
  void Put(const char* text, std::size_t length);
  void PutDirectoryText(const char* text);
  void NoteFailure();

  std::FILE* stream_;
  bool terminal_;
  uint32_t codePage_ = base::kCodePageAscii;
  bool lost_ = false;
  bool failed_ = false;
  int error_ = 0;
};

}  // namespace tool
