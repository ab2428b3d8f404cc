#include "tool/load_reporter.h"

#include <time.h>

#include <algorithm>
#include <string>

#include "base/shown_text.h"
#include "tool/console.h"

namespace tool {
namespace {

// A tree that loads faster than this shows no line at all.
constexpr uint64_t kFirstAfterMs = 500;
constexpr uint64_t kRedrawEveryMs = 250;

}  // namespace

uint64_t LoadReporter::MonotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

LoadReporter::LoadReporter(std::FILE* stream, bool terminal, uint32_t codePage, const char* program,
                           Clock clock, bool escapes)
    : stream_(stream),
      terminal_(terminal),
      escapes_(escapes),
      codePage_(codePage),
      program_(program),
      clock_(clock),
      start_(terminal ? clock() : 0) {}

void LoadReporter::Notice(std::string_view text) {
  Finish();
  std::string line = program_ + std::string(": ");
  base::AppendShownText(line, text, codePage_, terminal_);
  WriteText(stream_, line + "\n");
}

void LoadReporter::Progress(uint64_t entries) {
  if (!terminal_) return;
  uint64_t now = clock_();
  uint64_t elapsed = now - start_;
  if (elapsed < kFirstAfterMs || (shown_ && now - lastShown_ < kRedrawEveryMs)) return;
  unsigned long long rate = entries * 1000 / elapsed;
  char line[128];
  int width = std::snprintf(line, sizeof line, "%s: loading: %llu entries, %llu entries/s",
                            program_, static_cast<unsigned long long>(entries), rate);
  width = std::min(width, static_cast<int>(sizeof line) - 1);
  // "\r" and erase-to-end redraw the same line in place; without them,
  // blanks cover what a longer line left.
  if (escapes_)
    std::fprintf(stream_, "\r\033[K%s", line);
  else
    std::fprintf(stream_, "\r%s%*s", line, std::max(0, width_ - width), "");
  width_ = std::max(width_, width);
  std::fflush(stream_);
  shown_ = true;
  lastShown_ = now;
}

void LoadReporter::Finish() {
  if (!shown_) return;
  if (escapes_)
    std::fputs("\r\033[K", stream_);
  else
    std::fprintf(stream_, "\r%*s\r", width_, "");
  std::fflush(stream_);
  shown_ = false;
}

}  // namespace tool
