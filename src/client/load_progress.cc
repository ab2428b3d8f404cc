#include "client/load_progress.h"

#include <time.h>

namespace dirclient {
namespace {

// A tree that loads faster than this shows no line at all.
constexpr uint64_t kFirstAfterMs = 500;
constexpr uint64_t kRedrawEveryMs = 250;

}  // namespace

uint64_t LoadProgress::MonotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

LoadProgress::LoadProgress(std::FILE* stream, bool enabled, const char* program, Clock clock)
    : stream_(stream), enabled_(enabled), program_(program), clock_(clock),
      start_(enabled ? clock() : 0) {}

void LoadProgress::Update() {
  uint64_t now = clock_();
  uint64_t elapsed = now - start_;
  if (elapsed < kFirstAfterMs || (shown_ && now - lastShown_ < kRedrawEveryMs)) return;
  unsigned long long rate = entries_ * 1000 / elapsed;
  // "\r" and erase-to-end redraw the same line in place.
  std::fprintf(stream_, "\r\033[K%s: loading: %llu entries, %llu entries/s", program_,
               static_cast<unsigned long long>(entries_), rate);
  std::fflush(stream_);
  shown_ = true;
  lastShown_ = now;
}

void LoadProgress::Finish() {
  if (!shown_) return;
  std::fputs("\r\033[K", stream_);
  std::fflush(stream_);
  shown_ = false;
}

}  // namespace dirclient
