#include <gtest/gtest.h>

#include <cstring>

#include "platform/gui/canvas.h"
#include "vistrel/proc/polygon.h"

namespace {

void Fill(TBitmap& b, int w, int h, uint8_t v) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) std::memset(b.ScanLine(y), v, size_t(w) * 3);
}

TRGB At(TBitmap& b, int x, int y) {
  const uint8_t* p = b.ScanLine(y) + 3 * x;
  return TRGB{p[0], p[1], p[2]};
}

}  // namespace

TEST(Polygon, FillDrawAndCopyStayInside) {
  // A square 2..6 by 2..6 given as a polygon; pixel centres inside it are 2..5.
  const TPoint sq[4] = {{2, 2}, {6, 2}, {6, 6}, {2, 6}};
  TBitmap b;
  Fill(b, 10, 8, 255);
  VLFillPolygon(&b, sq, 4, clRed);
  EXPECT_EQ(At(b, 3, 3), (TRGB{0, 0, 255}));
  EXPECT_EQ(At(b, 2, 2), (TRGB{0, 0, 255}));
  EXPECT_EQ(At(b, 1, 3), (TRGB{255, 255, 255}));
  EXPECT_EQ(At(b, 7, 3), (TRGB{255, 255, 255}));
  EXPECT_FALSE(b.Canvas()->HasClipRegion());  // the clip is removed afterwards

  TBitmap src;
  Fill(src, 3, 3, 40);
  Fill(b, 10, 8, 255);
  VLDrawClippedToPolygon(&b, &src, 1, 1, sq, 4);
  EXPECT_EQ(At(b, 1, 1), (TRGB{255, 255, 255}));  // drawn there, but outside the polygon
  EXPECT_EQ(At(b, 2, 2), (TRGB{40, 40, 40}));
  EXPECT_EQ(At(b, 3, 3), (TRGB{40, 40, 40}));
  EXPECT_EQ(At(b, 4, 4), (TRGB{255, 255, 255}));  // inside, but past the source

  // Copy of the rectangle 1..7 x 1..7 through a triangle.
  TBitmap pat;
  pat.SetPixelFormat(pf24bit);
  pat.SetSize(10, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 30; ++x) pat.ScanLine(y)[x] = uint8_t(1 + y * 30 + x);
  const TPoint tri[3] = {{1, 1}, {7, 1}, {1, 7}};
  TBitmap d;
  VLCopyPolygonRect(&pat, &d, 1, 1, 7, 7, tri, 3);
  ASSERT_EQ(d.Width(), 6);
  ASSERT_EQ(d.Height(), 6);
  EXPECT_EQ(d.PixelFormat(), pf24bit);
  EXPECT_EQ(d.ScanLine(0)[0], pat.ScanLine(1)[3]);
  EXPECT_EQ(d.ScanLine(1)[3 * 2], pat.ScanLine(2)[3 * 3]);
  EXPECT_EQ(d.ScanLine(5)[3 * 5], 0);  // outside the triangle: the new bitmap's black
  EXPECT_EQ(d.ScanLine(0)[3 * 4 + 2], pat.ScanLine(1)[3 * 5 + 2]);
  EXPECT_EQ(d.ScanLine(0)[3 * 5 + 2], 0);  // centre on the slanted edge: outside
}
