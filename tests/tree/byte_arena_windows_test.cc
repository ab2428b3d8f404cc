// On Windows the script arena commits more of one reservation as it grows:
// the block never moves, so nothing held is copied.
#include <gtest/gtest.h>

#include <string>

#include "tree/byte_arena.h"

namespace qovant_test {
namespace {

TEST(ByteArenaWindowsTest, GrowsInPlacePastManyCommits) {
  tree::ByteArena arena;
  uint64_t offset = 1;
  ASSERT_TRUE(arena.Append("first", &offset));
  const char* block = arena.view().data();
  std::string piece(3 << 20, 'w');
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(arena.Append(piece, &offset));
  EXPECT_EQ(offset, 5 + 11 * piece.size());
  EXPECT_EQ(arena.view().data(), block);
  EXPECT_EQ(arena.view().substr(0, 5), "first");
  EXPECT_EQ(arena.view().back(), 'w');
}

}  // namespace
}  // namespace qovant_test
