// The script arena: offsets stay valid and bytes intact as it grows (and
// moves) past its first mapping.
#include "tree/byte_arena.h"

#include <gtest/gtest.h>

#include <string>

namespace qovant_test {
namespace {

// With its pages warmed on a second thread or not: the block moves as it
// grows, and the warming follows it.
class ByteArenaTest : public testing::TestWithParam<bool> {};

TEST_P(ByteArenaTest, KeepsEveryPieceAtItsOffsetAcrossGrowth) {
  tree::ByteArena arena;
  if (GetParam()) arena.WarmAhead();
  EXPECT_EQ(arena.view().size(), 0u);
  // Small and large pieces, empty ones, bytes of every value; the first
  // larger than the first mapping, 11 MiB in all, so that the mapping grows
  // (and may move) after it too. Each lands right after the last.
  std::string all;
  for (int i = 0; i < 600; ++i) {
    size_t size = i == 0        ? size_t{3} << 20
                  : i % 50 == 0 ? 700000 + static_cast<size_t>(i)
                  : i % 7 == 0  ? 0
                                : static_cast<size_t>(i);
    std::string bytes(size, '\0');
    for (size_t j = 0; j < size; ++j) bytes[j] = static_cast<char>((i * 31 + j) & 0xFF);
    uint64_t offset = 1;
    ASSERT_TRUE(arena.Append(bytes, &offset));
    ASSERT_EQ(offset, all.size());
    all += bytes;
  }
  EXPECT_TRUE(arena.view() == all);
  EXPECT_EQ(arena.size(), all.size());
}

INSTANTIATE_TEST_SUITE_P(Warmed, ByteArenaTest, testing::Bool());

}  // namespace
}  // namespace qovant_test
