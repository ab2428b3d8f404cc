// What the user sees of a load on standard error: notices as they come,
// and, on a terminal, one line that counts the entries of a large tree and
// goes away when loading ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "base/load_observer.h"

namespace tool {

class LoadReporter : public base::LoadObserver {
 public:
  using Clock = uint64_t (*)();  // milliseconds, monotonic

  // `terminal`: the stream is one, so that progress may be shown (a log or
  // a pipe must not collect progress lines) and text is shown for it in
  // `codePage`. `escapes`: it erases a line with "\r\033[K"; otherwise the
  // line is drawn after a plain "\r" and erased with blanks.
  LoadReporter(std::FILE* stream, bool terminal, uint32_t codePage, const char* program,
               Clock clock = MonotonicMilliseconds, bool escapes = true);
  ~LoadReporter() override { Finish(); }
  LoadReporter(const LoadReporter&) = delete;
  LoadReporter& operator=(const LoadReporter&) = delete;

  void Notice(std::string_view text) override;
  void Progress(uint64_t entries) override;
  // Erases the progress line, if one is shown.
  void Finish();

  static uint64_t MonotonicMilliseconds();

 private:
  std::FILE* stream_;
  bool terminal_;
  bool escapes_;
  uint32_t codePage_;
  const char* program_;
  Clock clock_;
  uint64_t start_;
  uint64_t lastShown_ = 0;
  bool shown_ = false;
  int width_ = 0;  // the longest line shown, which blanks must cover
};

}  // namespace tool
