// What a load shows on standard error: the progress line only on a
// terminal, only for slow loads, redrawn in place and erased before a
// notice and at the end.
#include "tool/load_reporter.h"

#include <gtest/gtest.h>

#include "capture.h"
#include "client/client.h"
#include "tree/load_progress.h"

namespace qovant_test {
namespace {

uint64_t fakeNow = 0;
uint64_t FakeClock() { return fakeNow; }

// What a load of `entries` shows, `msPerBlock` passing every 4096 entries,
// with `notice` at the end if any, on a terminal that takes `escapes` or not.
std::string Shown(bool terminal, int entries, uint64_t msPerBlock, const char* notice = nullptr,
                  bool escapes = true) {
  MemoryStream err;
  {
    tool::LoadReporter reporter(err.file(), terminal, base::kCodePageAscii, "qovant", FakeClock,
                                escapes);
    tree::LoadProgress progress(&reporter);
    for (int i = 1; i <= entries; ++i) {
      if (i % 4096 == 0) fakeNow += msPerBlock;
      progress.Counted(1);
    }
    if (notice) reporter.Notice(notice);
  }
  return err.text();
}

TEST(LoadReporterTest, ShowsCountAndRateOnATerminalThenErases) {
  // A line from 500 ms on.
  EXPECT_EQ(Shown(true, 4096 * 4, 300, "PATH:9: warning: \x1b]0;x"),
            "\r\033[Kqovant: loading: 8192 entries, 13653 entries/s"
            "\r\033[Kqovant: loading: 12288 entries, 13653 entries/s"
            "\r\033[Kqovant: loading: 16384 entries, 13653 entries/s"
            "\r\033[Kqovant: PATH:9: warning: ?]0;x\n");
}

TEST(LoadReporterTest, WithoutEscapesRedrawsAfterACarriageReturnAndErasesWithBlanks) {
  EXPECT_EQ(Shown(true, 4096 * 4, 300, "n", false),
            "\rqovant: loading: 8192 entries, 13653 entries/s"
            "\rqovant: loading: 12288 entries, 13653 entries/s"
            "\rqovant: loading: 16384 entries, 13653 entries/s"
            "\r" +
                std::string(47, ' ') + "\rqovant: n\n");
}

TEST(LoadReporterTest, SilentWhenNotATerminalOrFast) {
  EXPECT_EQ(Shown(false, 4096 * 10, 1000), "");
  EXPECT_EQ(Shown(true, 4096 * 10, 10), "");  // all within 100 ms
}

}  // namespace
}  // namespace qovant_test
