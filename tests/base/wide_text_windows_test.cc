// The UTF-16 of the command line, the environment and file names, to UTF-8
// and back: characters beyond the BMP arrive whole, not as two halves.
#include "base/wide_text_windows.h"

#include <gtest/gtest.h>

namespace qovant_test {
namespace {

TEST(WideTextTest, ConvertsEveryPlaneBothWays) {
  struct Case {
    std::wstring wide;
    std::string utf8;
  };
  for (const Case& c : std::vector<Case>{{L"", ""},
                                         {L"map g:", "map g:"},
                                         {L"C:\\Users\\J\u00fcrgen", "C:\\Users\\J\xc3\xbcrgen"},
                                         {L"\U0001F600x", "\xf0\x9f\x98\x80x"}}) {
    EXPECT_EQ(base::Utf8FromWide(c.wide), c.utf8);
    std::wstring back = L"?";
    EXPECT_TRUE(base::WideFromUtf8(c.utf8, &back));
    EXPECT_EQ(back, c.wide);
  }
  // A lone surrogate has no UTF-8; bytes that are not UTF-8 have no UTF-16.
  EXPECT_EQ(base::Utf8FromWide(std::wstring(1, wchar_t{0xD800})), "\xef\xbf\xbd");
  std::wstring unchanged = L"kept";
  EXPECT_FALSE(base::WideFromUtf8("J\xfcrgen", &unchanged));
  EXPECT_EQ(unchanged, L"kept");
}

}  // namespace
}  // namespace qovant_test
