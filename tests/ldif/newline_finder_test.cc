// The line-break finder against a plain search, for texts around the sizes
// it works in (64 bytes) and every place a break can stand, asked onward
// from every place (as the loader asks, and more) and out of order.
#include "ldif/newline_finder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qovant_test {
namespace {

using ldif::NewlineFinder;

size_t Plain(const std::string& text, size_t from) {
  size_t at = text.find('\n', from);
  return at == std::string::npos ? text.size() : at;
}

// Texts of `length` bytes with breaks where `breaks` says, and "x" elsewhere.
std::string Text(size_t length, const std::vector<size_t>& breaks) {
  std::string text(length, 'x');
  for (size_t at : breaks)
    if (at < length) text[at] = '\n';
  return text;
}

const size_t kLengths[] = {0, 1, 2, 63, 64, 65, 127, 128, 129, 191, 200};

TEST(NewlineFinderTest, FindsEveryBreakWhereverItStands) {
  for (size_t length : kLengths) {
    for (size_t at = 0; at <= length; ++at) {
      // One break at `at` (or none, at the end), then one at `at` with a
      // second 64 bytes later, across the next word of the mask.
      for (const auto& breaks : {std::vector<size_t>{at}, std::vector<size_t>{at, at + 64}}) {
        std::string text = Text(length, breaks);
        NewlineFinder finder;
        for (size_t from = 0; from <= length; ++from)
          ASSERT_EQ(finder.Find(text, from), Plain(text, from))
              << "length " << length << ", break at " << at << ", from " << from;
      }
    }
  }
}

TEST(NewlineFinderTest, AnswersSearchesBackwardsAndAfterReset) {
  std::string text = Text(300, {5, 70, 71, 140, 299});
  NewlineFinder finder;
  for (size_t from : {200, 0, 71, 6, 72, 141, 300, 139, 70})
    EXPECT_EQ(finder.Find(text, from), Plain(text, from)) << "from " << from;

  // The same place in a text that changed: only Reset makes it look again.
  finder.Find(text, 0);
  std::string moved = Text(300, {3, 150});
  finder.Reset();
  for (size_t from : {0, 4, 149, 151})
    EXPECT_EQ(finder.Find(moved, from), Plain(moved, from)) << "from " << from;
}

}  // namespace
}  // namespace qovant_test
