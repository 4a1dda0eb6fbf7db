// Polygon regions against a pixel-by-pixel reference, for small and for huge coordinates.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/gui/canvas.h"

namespace {

__extension__ typedef __int128 Wide;

// Whether the centre of pixel (px, py) lies inside: the crossings of the row through the
// centre that lie at or left of it, counted (alternate) or summed by direction (winding).
bool InsideRef(const std::vector<TPoint>& pts, TFillMode mode, int px, int py) {
  const Wide cx2 = Wide(2) * px + 1, cy2 = Wide(2) * py + 1;
  int crossings = 0, wind = 0;
  for (size_t i = 0; i < pts.size(); ++i) {
    const TPoint& a = pts[i];
    const TPoint& b = pts[(i + 1) % pts.size()];
    if (a.Y == b.Y) continue;
    const Wide lo = std::min(a.Y, b.Y), hi = std::max(a.Y, b.Y);
    if (cy2 < 2 * lo || cy2 >= 2 * hi) continue;
    const Wide dx = Wide(b.X) - a.X, dy = Wide(b.Y) - a.Y;
    const Wide lhs = (cy2 - Wide(2) * a.Y) * dx, rhs = (cx2 - Wide(2) * a.X) * dy;
    if (dy > 0 ? lhs <= rhs : lhs >= rhs) {
      ++crossings;
      wind += dy > 0 ? 1 : -1;
    }
  }
  return mode == fmAlternate ? (crossings & 1) != 0 : wind != 0;
}

std::vector<TPoint> RandomPolygon(std::mt19937& rng, int lo, int hi) {
  std::uniform_int_distribution<int> n(3, 9), v(lo, hi);
  std::vector<TPoint> pts(size_t(n(rng)));
  for (auto& p : pts) p = {v(rng), v(rng)};
  return pts;
}

// Every pixel of the window matches the reference inside bounds and is absent outside.
void ExpectMatches(const TClipRegion& g, const std::vector<TPoint>& pts, TFillMode mode, const TRect& bounds,
                   const TRect& window) {
  int wrong = 0;
  for (int y = window.Top; y < window.Bottom; ++y)
    for (int x = window.Left; x < window.Right; ++x) {
      bool in =
          x >= bounds.Left && x < bounds.Right && y >= bounds.Top && y < bounds.Bottom && InsideRef(pts, mode, x, y);
      if (g.Contains(x, y) != in && ++wrong <= 3) ADD_FAILURE() << "pixel " << x << "," << y << " expected " << in;
    }
  EXPECT_EQ(wrong, 0);
}

TEST(PolygonRegion, SmallPolygonsMatchTheReferenceInBothFillModes) {
  std::mt19937 rng(7);
  const TRect bounds = Rect(0, 0, 40, 40), window = Rect(-12, -12, 52, 52);
  for (int round = 0; round < 150; ++round) {
    std::vector<TPoint> pts = RandomPolygon(rng, -10, 50);
    for (TFillMode mode : {fmAlternate, fmWinding}) {
      SCOPED_TRACE(round);
      ExpectMatches(TClipRegion::FromPolygon(pts.data(), int(pts.size()), mode, bounds), pts, mode, bounds, window);
      // Without a bound: the whole polygon.
      ExpectMatches(TClipRegion::FromPolygon(pts.data(), int(pts.size()), mode), pts, mode, Rect(-100, -100, 100, 100),
                    window);
    }
  }
  // A star crossing itself: the centre is out for alternate fill, in for winding.
  const std::vector<TPoint> star{{20, 2}, {31, 36}, {2, 14}, {38, 14}, {9, 36}};
  EXPECT_FALSE(TClipRegion::FromPolygon(star.data(), 5, fmAlternate, bounds).Contains(20, 20));
  EXPECT_TRUE(TClipRegion::FromPolygon(star.data(), 5, fmWinding, bounds).Contains(20, 20));
  EXPECT_FALSE(TClipRegion::FromPolygon(star.data(), 3, fmAlternate, bounds).Empty());
  EXPECT_TRUE(TClipRegion::FromPolygon(star.data(), 2, fmAlternate, bounds).Empty());
  EXPECT_TRUE(TClipRegion::FromPolygon(star.data(), 5, fmAlternate, Rect(5, 5, 5, 30)).Empty());
}

TEST(PolygonRegion, HugeCoordinatesBuildOnlyTheBounds) {
  std::mt19937 rng(11);
  const TRect bounds = Rect(0, 0, 100, 100);
  for (int round = 0; round < 40; ++round) {
    // Around the window, then anywhere in the integer range.
    std::vector<TPoint> pts =
        round < 20 ? RandomPolygon(rng, -1000000000, 1000000000) : RandomPolygon(rng, INT32_MIN + 1, INT32_MAX);
    pts[0] = {50, 50};  // so most rounds cross the window
    for (TFillMode mode : {fmAlternate, fmWinding}) {
      SCOPED_TRACE(round);
      TClipRegion g = TClipRegion::FromPolygon(pts.data(), int(pts.size()), mode, bounds);
      EXPECT_LE(g.RowCount(), 100);
      EXPECT_GE(g.Top(), 0);
      if (!g.Empty()) {
        TRect b = g.Bounds();
        EXPECT_GE(b.Left, 0);
        EXPECT_LE(b.Right, 100);
      }
      ExpectMatches(g, pts, mode, bounds, Rect(-2, -2, 102, 102));
    }
  }
}

TEST(PolygonRegion, HugePolygonsFillAndClipABitmap) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(100, 100);
  TCanvas* c = b.Canvas();
  auto clear = [&] {
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 100, 100));
  };
  const int far = 1000000000;
  // A thin wedge from far away whose edges cross the bitmap at a slant, and a
  // self-crossing bow tie whose crossing lies on the bitmap.
  const std::vector<std::vector<TPoint>> shapes{
      {{-far, -far}, {far, far - 37}, {far, far + 41}},
      {{-far, -far + 13}, {far + 7, far}, {far, -far}, {-far + 3, far}},
      {{-far, 20}, {far, 20}, {far, 80}, {-far, 80}},
  };
  for (size_t i = 0; i < shapes.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& pts = shapes[i];
    clear();
    c->Pen()->SetStyle(psClear);
    c->Brush()->SetColor(clRed);
    c->Polygon(pts);
    int wrong = 0, red = 0;
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 100; ++x) {
        bool in = InsideRef(pts, fmAlternate, x, y);
        red += in;
        if ((c->Pixels(x, y) == clRed) != in) ++wrong;
      }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(red, 0);
    EXPECT_LT(red, 100 * 100);
    // The same shape as a clip region: a fill of the whole bitmap paints exactly it.
    clear();
    c->SetClipPolygon(pts.data(), int(pts.size()));
    c->Brush()->SetColor(clBlue);
    c->FillRect(Rect(-far, -far, far, far));
    c->ResetClipRegion();
    wrong = 0;
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 100; ++x)
        if ((c->Pixels(x, y) == clBlue) != InsideRef(pts, fmAlternate, x, y)) ++wrong;
    EXPECT_EQ(wrong, 0);
  }
  c->Pen()->SetStyle(psSolid);
}

}  // namespace
