// The pixel pool's choice of kept blocks: an exact fit and the age of joined blocks.
#include <gtest/gtest.h>

#include "platform/core/pixelpool.h"

namespace {

constexpr int64_t P = TPixelPool::Page;

TEST(PixelPoolReuse, ABlockOfExactlyTheSizeComesBackWhole) {
  TPixelPool pool(8 * P);
  bool zero = false;
  uint8_t* a = pool.Take(4 * P, zero);
  ASSERT_NE(a, nullptr);
  pool.Give(a, 4 * P);
  uint8_t* b = pool.Take(4 * P, zero);
  EXPECT_EQ(b, a);
  EXPECT_FALSE(zero);
  EXPECT_EQ(pool.Kept(), 0);
  pool.Give(b, 4 * P);
}

// A block joined by a later neighbour counts as given when the neighbour was: past the limit
// an older block goes first.
TEST(PixelPoolReuse, AJoinedBlockIsAsYoungAsItsNewestPart) {
  TPixelPool pool(8 * P);
  bool zero = false;
  // One mapping: A and B side by side, C apart from both.
  uint8_t* m = pool.Take(5 * P, zero);
  ASSERT_NE(m, nullptr);
  uint8_t *a = m, *b = m + P, *c = m + 3 * P;
  pool.Give(a, P);
  pool.Give(c, P);
  pool.Give(b, P);  // joins A
  ASSERT_EQ(pool.Kept(), 3 * P);
  pool.SetLimit(2 * P);
  EXPECT_EQ(pool.Kept(), 2 * P);
  // A+B is still kept: the next picture takes its front.
  EXPECT_EQ(pool.Take(P, zero), a);
  EXPECT_EQ(pool.Kept(), P);
  pool.SetLimit(8 * P);
  pool.Give(a, P);
  pool.Give(m + 2 * P, P);
  pool.Give(m + 4 * P, P);
  // C went back to the system, so these two don't join across it.
  EXPECT_EQ(pool.Kept(), 4 * P);
}

}  // namespace
