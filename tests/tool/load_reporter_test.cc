// What a load shows on standard error: the progress line only on a
// terminal, only for slow loads, redrawn in place and erased before a
// notice and at the end.
#include <gtest/gtest.h>

#include "capture.h"
#include "client/dirclient.h"
#include "client/load_progress.h"
#include "tool/load_reporter.h"

namespace qovant_test {
namespace {

uint64_t fakeNow = 0;
uint64_t FakeClock() { return fakeNow; }

void CountEntries(dirclient::LoadProgress& progress, int entries, uint64_t msPerBlock) {
  for (int i = 1; i <= entries; ++i) {
    if (i % 4096 == 0) fakeNow += msPerBlock;
    progress.Counted(1);
  }
}

TEST(LoadReporterTest, ShowsCountAndRateOnATerminalThenErases) {
  MemoryStream err;
  fakeNow = 1000;
  {
    qovant::LoadReporter reporter(err.file(), true, dirclient::kCodePageAscii, "qovant",
                                  FakeClock);
    dirclient::LoadProgress progress(&reporter);
    CountEntries(progress, 4096 * 4, 300);  // a line from 500 ms on
    reporter.Notice("PATH:9: warning: \x1b]0;x");
  }
  EXPECT_EQ(err.text(),
            "\r\033[Kqovant: loading: 8192 entries, 13653 entries/s"
            "\r\033[Kqovant: loading: 12288 entries, 13653 entries/s"
            "\r\033[Kqovant: loading: 16384 entries, 13653 entries/s"
            "\r\033[Kqovant: PATH:9: warning: ?]0;x\n");
}

TEST(LoadReporterTest, SilentWhenNotATerminalOrFast) {
  MemoryStream piped, fast;
  fakeNow = 0;
  {
    qovant::LoadReporter reporter(piped.file(), false, dirclient::kCodePageAscii, "qovant",
                                  FakeClock);
    dirclient::LoadProgress progress(&reporter);
    CountEntries(progress, 4096 * 10, 1000);
  }
  {
    qovant::LoadReporter reporter(fast.file(), true, dirclient::kCodePageAscii, "qovant",
                                  FakeClock);
    dirclient::LoadProgress progress(&reporter);
    CountEntries(progress, 4096 * 10, 10);  // all within 100 ms
  }
  EXPECT_EQ(piped.text(), "");
  EXPECT_EQ(fast.text(), "");
}

}  // namespace
}  // namespace qovant_test
