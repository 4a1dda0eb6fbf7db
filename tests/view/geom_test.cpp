// Zoom, scrolling and selection arithmetic of the single-image view, and its stretch blit.
#include <gtest/gtest.h>

#include "platform/gui/canvas.h"
#include "vistrel/view/vistrelview_blit.h"
#include "vistrel/view/vistrelview_geom.h"

TEST(ViewGeometry, ZoomedSizeAndOriginLimits) {
  EXPECT_EQ(VLZoomedExtent(200, 200), 400);
  EXPECT_EQ(VLZoomedExtent(100, 200), 200);
  EXPECT_EQ(VLZoomedExtent(3, 50), 2);  // 1.5 rounds to even
  EXPECT_EQ(VLZoomedExtent(5, 50), 2);  // 2.5 rounds to even
  EXPECT_EQ(VLZoomedExtent(20000, 5000), 1000000);
  EXPECT_EQ(VLZoomedExtent(1, 1), 0);
  int64_t mx, my;
  // 200 x 100 at 200 % in a 150 x 150 client.
  VLMaxViewOrigin(400, 200, 150, 150, 154, 154, mx, my);
  EXPECT_EQ(mx, 250);
  EXPECT_EQ(my, 50);
  // The whole control holds the picture: no scrolling at all.
  VLMaxViewOrigin(100, 100, 90, 90, 104, 104, mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 0);
  VLMaxViewOrigin(0, 100, 10, 10, 10, 10, mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 0);
}

TEST(ViewGeometry, CoordinateMappingIdealAndFit) {
  // zoom 200, origin 10, offset 5: client 25 shows bitmap (25 + 10 - 5) / 2 = 15.
  EXPECT_EQ(VLScrToBmp(25, 10, 5, 200), 15);
  EXPECT_EQ(VLBmpToScr(15, 10, 5, 200), 25);
  EXPECT_EQ(VLScrToBmp(3, 0, 0, 200), 2);  // 1.5 to even
  EXPECT_EQ(VLScrToBmp(5, 0, 0, 200), 2);  // 2.5 to even
  EXPECT_EQ(VLScrToBmp(10, 0, 0, 300), 3);
  EXPECT_EQ(VLIdealExtent(200, 150), 301);
  EXPECT_EQ(VLIdealExtent(3, 33), 1);  // trunc(0.99) + 1
  EXPECT_EQ(VLFitZoom(105, 105, 200, 100), 52);
  EXPECT_EQ(VLFitZoom(105, 105, 0, 100), 0);
  EXPECT_EQ(VLFitZoom(400, 300, 100, 100), 300);
}

TEST(ViewGeometry, ClickZoomSteps) {
  EXPECT_EQ(VLZoomStepIn(100), 200);
  EXPECT_EQ(VLZoomStepIn(60), 75);
  EXPECT_EQ(VLZoomStepIn(1), 2);
  EXPECT_EQ(VLZoomStepIn(99), 100);
  EXPECT_EQ(VLZoomStepOut(300), 200);
  EXPECT_EQ(VLZoomStepOut(150), 100);
  EXPECT_EQ(VLZoomStepOut(100), 75);
  EXPECT_EQ(VLZoomStepOut(5), 2);
  EXPECT_EQ(VLZoomStepOut(2), 2);
  EXPECT_EQ(VLZoomStepOut(1), 2);
}

TEST(ViewGeometry, SourceSpan) {
  int64_t s, n;
  // 6000 wide at 13 % is 780 wide; the whole of it shows.
  VLSourceSpan(0, 780, 6000, 780, true, s, n);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(n, 6000);
  // Near the right edge the count is lowered by one so the span stays inside.
  VLSourceSpan(301, 100, 200, 400, true, s, n);
  EXPECT_EQ(s, 150);
  EXPECT_EQ(n, 50);
  VLSourceSpan(303, 100, 200, 400, true, s, n);
  EXPECT_EQ(s, 152);
  EXPECT_EQ(n, 49);
  VLSourceSpan(303, 100, 200, 400, false, s, n);
  EXPECT_EQ(n, 50);
  VLSourceSpan(5, 5, 10, 0, true, s, n);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(n, 0);
}

TEST(ViewGeometry, MouseInteractCombination) {
  EXPECT_EQ(VLCombineMouseInteract(miSelect, miSelect | miScroll), miScroll);
  EXPECT_EQ(VLCombineMouseInteract(miZoom | miScroll, miZoom | miScroll | miSelect), miZoom | miSelect);
  EXPECT_EQ(VLCombineMouseInteract(miSelectCircle, miSelectCircle | miZoom), miZoom);
  EXPECT_EQ(VLCombineMouseInteract(miZoom | miSelect, miZoom | miSelect | miSelectPolygon), miSelectPolygon);
  EXPECT_EQ(VLCombineMouseInteract(0, miSelectZoom | miSelect | 64), miSelect | 64);
  EXPECT_EQ(VLCombineMouseInteract(miSelect, miSelectZoom | miSelect | 128), miSelectZoom | 128);
  // Nothing new: taken as it is.
  EXPECT_EQ(VLCombineMouseInteract(miZoom | miScroll, miZoom), miZoom);
}

TEST(ViewGeometry, GripResizeCrossesTheOppositeSide) {
  int l = 10, t = 10, r = 20, b = 20;
  // Left side dragged past the right one: it goes on as the right side.
  int g = VLResizeBoxByGrip(4, 25, 0, l, t, r, b);
  EXPECT_EQ(g, 5);
  EXPECT_EQ(l, 20);
  EXPECT_EQ(r, 25);
  g = VLResizeBoxByGrip(g, 30, 0, l, t, r, b);
  EXPECT_EQ(g, 5);
  EXPECT_EQ(l, 20);
  EXPECT_EQ(r, 30);
  // A side dropped onto the opposite one keeps one pixel.
  l = 10, r = 20;
  g = VLResizeBoxByGrip(4, 20, 0, l, t, r, b);
  EXPECT_EQ(g, 4);
  EXPECT_EQ(l, 19);
  // Bottom-right corner dragged above and left of the top-left one.
  l = 10, t = 10, r = 20, b = 20;
  g = VLResizeBoxByGrip(2, 5, 4, l, t, r, b);
  EXPECT_EQ(g, 0);
  EXPECT_EQ(l, 5);
  EXPECT_EQ(t, 4);
  EXPECT_EQ(r, 10);
  EXPECT_EQ(b, 10);
  EXPECT_EQ(VLGripCursor(0), 1786);
  EXPECT_EQ(VLGripCursor(3), 1788);
  EXPECT_EQ(VLGripCursor(5), 1789);
  EXPECT_EQ(VLGripCursor(6), 1787);
  EXPECT_EQ(VLGripCursor(-1), -1);
}

TEST(ViewGeometry, EllipseVertices) {
  EXPECT_TRUE(VLEllipseVertices(50, 50, 0, 20).empty());
  auto v = VLEllipseVertices(50, 50, 10, 20);
  ASSERT_EQ(v.size(), 15u);
  EXPECT_EQ(v[0], Point(60, 50));
  // A quarter turn lies near the bottom of the ellipse.
  for (const TPoint& p : v) {
    EXPECT_LE(std::abs(p.X - 50), 10);
    EXPECT_LE(std::abs(p.Y - 50), 20);
  }
}

namespace {
TRGB At(TBitmap& b, int x, int y) {
  const uint8_t* p = b.ScanLine(y) + 3 * x;
  return TRGB{p[0], p[1], p[2]};
}
}  // namespace

TEST(ViewBlit, StretchesAndHonoursTheClip) {
  TBitmap src;
  src.SetPixelFormat(pf24bit);
  src.SetSize(2, 2);
  auto set = [&](int x, int y, uint8_t v) {
    uint8_t* p = src.ScanLine(y) + 3 * x;
    p[0] = v;
    p[1] = uint8_t(v + 1);
    p[2] = uint8_t(v + 2);
  };
  set(0, 0, 10), set(1, 0, 20), set(0, 1, 30), set(1, 1, 40);
  TBitmap dst;
  dst.SetPixelFormat(pf24bit);
  dst.SetSize(8, 8);
  ASSERT_TRUE(VLStretchBlit(&src, 0, 0, 2, 2, &dst, 1, 1, 6, 6, nullptr));
  EXPECT_EQ(At(dst, 0, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(At(dst, 1, 1), (TRGB{10, 11, 12}));
  EXPECT_EQ(At(dst, 3, 3), (TRGB{10, 11, 12}));
  EXPECT_EQ(At(dst, 4, 3), (TRGB{20, 21, 22}));
  EXPECT_EQ(At(dst, 4, 4), (TRGB{40, 41, 42}));
  EXPECT_EQ(At(dst, 6, 6), (TRGB{40, 41, 42}));
  EXPECT_EQ(At(dst, 7, 7), (TRGB{0, 0, 0}));
  // A source rectangle reaching past the picture is cut, never read outside.
  TBitmap dst2;
  dst2.SetPixelFormat(pf24bit);
  dst2.SetSize(4, 4);
  ASSERT_TRUE(VLStretchBlit(&src, 1, 1, 50, 50, &dst2, -2, -2, 100, 100, nullptr));
  EXPECT_EQ(At(dst2, 3, 3), (TRGB{40, 41, 42}));
  // Clip: only the left half.
  TBitmap dst3;
  dst3.SetPixelFormat(pf24bit);
  dst3.SetSize(4, 4);
  TClipRegion clip = TClipRegion::FromRect(Rect(0, 0, 2, 4));
  ASSERT_TRUE(VLStretchBlit(&src, 0, 0, 2, 2, &dst3, 0, 0, 4, 4, &clip));
  EXPECT_EQ(At(dst3, 1, 3), (TRGB{30, 31, 32}));
  EXPECT_EQ(At(dst3, 2, 3), (TRGB{0, 0, 0}));
  // A 1-bit picture with a coloured palette comes out black and white.
  TBitmap mono;
  mono.SetPixelFormat(pf1bit);
  mono.SetSize(2, 1);
  mono.SetPalette({TRGBQuad{0, 0, 200, 0}, TRGBQuad{0, 200, 0, 0}});
  mono.ScanLine(0)[0] = 0x40;  // pixel 1 set
  TBitmap dst4;
  dst4.SetPixelFormat(pf24bit);
  dst4.SetSize(4, 1);
  ASSERT_TRUE(VLStretchBlit(&mono, 0, 0, 2, 1, &dst4, 0, 0, 4, 1, nullptr));
  EXPECT_EQ(At(dst4, 1, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(At(dst4, 2, 0), (TRGB{255, 255, 255}));
  // Shrinking 6 to 2 samples the middle of each group of three.
  TBitmap wide;
  wide.SetPixelFormat(pf24bit);
  wide.SetSize(6, 1);
  for (int x = 0; x < 6; ++x) wide.ScanLine(0)[3 * x] = uint8_t(x * 10);
  TBitmap dst5;
  dst5.SetPixelFormat(pf24bit);
  dst5.SetSize(2, 1);
  ASSERT_TRUE(VLStretchBlit(&wide, 0, 0, 6, 1, &dst5, 0, 0, 2, 1, nullptr));
  EXPECT_EQ(At(dst5, 0, 0).B, 10);
  EXPECT_EQ(At(dst5, 1, 0).B, 40);
}
