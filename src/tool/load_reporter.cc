#include "tool/load_reporter.h"

#include <time.h>

#include <string>

#include "base/shown_text.h"

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
                           Clock clock)
    : stream_(stream),
      terminal_(terminal),
      codePage_(codePage),
      program_(program),
      clock_(clock),
      start_(terminal ? clock() : 0) {}

void LoadReporter::Notice(std::string_view text) {
  Finish();
  std::string shown;
  base::AppendShownText(shown, text, codePage_, terminal_);
  std::fprintf(stream_, "%s: %s\n", program_, shown.c_str());
}

void LoadReporter::Progress(uint64_t entries) {
  if (!terminal_) return;
  uint64_t now = clock_();
  uint64_t elapsed = now - start_;
  if (elapsed < kFirstAfterMs || (shown_ && now - lastShown_ < kRedrawEveryMs)) return;
  unsigned long long rate = entries * 1000 / elapsed;
  // "\r" and erase-to-end redraw the same line in place.
  std::fprintf(stream_, "\r\033[K%s: loading: %llu entries, %llu entries/s", program_,
               static_cast<unsigned long long>(entries), rate);
  std::fflush(stream_);
  shown_ = true;
  lastShown_ = now;
}

void LoadReporter::Finish() {
  if (!shown_) return;
  std::fputs("\r\033[K", stream_);
  std::fflush(stream_);
  shown_ = false;
}

}  // namespace tool
