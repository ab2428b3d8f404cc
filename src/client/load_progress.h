// One line on a terminal that counts the entries of a large tree as it
// loads, and goes away when loading ends.
#pragma once

#include <cstdint>
#include <cstdio>

namespace dirclient {

class LoadProgress {
 public:
  using Clock = uint64_t (*)();  // milliseconds, monotonic

  // Shows nothing unless `enabled` (the stream is a terminal): a log or a
  // pipe must not collect progress lines.
  LoadProgress(std::FILE* stream, bool enabled, const char* program,
               Clock clock = MonotonicMilliseconds);
  ~LoadProgress() { Finish(); }
  LoadProgress(const LoadProgress&) = delete;
  LoadProgress& operator=(const LoadProgress&) = delete;

  // Called once per entry; looks at the clock only every few thousand.
  void Count() {
    if (enabled_ && (++entries_ & (kCheckEvery - 1)) == 0) Update();
  }
  // Erases the line, if one is shown.
  void Finish();

  static uint64_t MonotonicMilliseconds();

 private:
  static constexpr uint64_t kCheckEvery = 4096;
  void Update();

  std::FILE* stream_;
  bool enabled_;
  const char* program_;
  Clock clock_;
  uint64_t entries_ = 0;
  uint64_t start_;
  uint64_t lastShown_ = 0;
  bool shown_ = false;
};

}  // namespace dirclient
