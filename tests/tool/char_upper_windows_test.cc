// The upper-casing against the system's own for each code page it knows:
// each byte as the system upper-cases it in that code page (to UTF-16, upper
// case, back, as CharUpperA does in its code page), and the character of
// each byte in UTF-8 text, which folds the same where its upper case has the
// same length.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "table.h"
#include "tool/char_upper.h"

namespace qovant_test {
namespace {

std::string Utf8(wchar_t c) {
  char bytes[4];
  int n = WideCharToMultiByte(CP_UTF8, 0, &c, 1, bytes, sizeof bytes, nullptr, nullptr);
  return std::string(bytes, n);
}

std::string Upper(const tool::CaseMap& map, std::string text) {
  tool::CharUpperA(map, text.data());
  return text;
}

TEST(CharUpperWindowsTest, FoldsAsTheSystemDoesInEachCodePage) {
  for (const Row& row : ReadTable("tool/char_upper.table", "fold")) {
    UINT codePage = static_cast<UINT>(row.number("code_page"));
    tool::CaseMap bytes = tool::MakeCaseMap(codePage), utf8 = tool::MakeCaseMap(codePage, true);
    long changed = 0;
    for (int b = 1; b < 256; ++b) {
      SCOPED_TRACE(std::to_string(codePage) + " byte " + std::to_string(b));
      char in = static_cast<char>(b), out = in;
      wchar_t c, upper;
      ASSERT_EQ(MultiByteToWideChar(codePage, 0, &in, 1, &c, 1), 1);
      upper = c;
      CharUpperBuffW(&upper, 1);
      BOOL lossy = FALSE;
      if (WideCharToMultiByte(codePage, 0, &upper, 1, &out, 1, nullptr, &lossy) != 1 || lossy)
        out = in;
      changed += out != in;
      EXPECT_EQ(Upper(bytes, std::string(1, in)), std::string(1, out));

      wchar_t shown;
      ASSERT_EQ(MultiByteToWideChar(codePage, 0, &out, 1, &shown, 1), 1);
      std::string folded = Utf8(shown).size() == Utf8(c).size() ? Utf8(shown) : Utf8(c);
      EXPECT_EQ(Upper(utf8, Utf8(c)), folded);
    }
    EXPECT_EQ(changed, row.number("letters")) << row.where;
  }
}

}  // namespace
}  // namespace qovant_test
