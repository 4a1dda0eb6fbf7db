#include <gtest/gtest.h>

#include <vector>

#include "platform/core/bitmap.h"
#include "platform/gui/canvas.h"

namespace {

TBitmap* MakeBitmap(int w, int h, TPixelFormat pf, TColor fill = clWhite) {
  auto* b = new TBitmap;
  b->SetPixelFormat(pf);
  b->SetSize(w, h);
  b->Canvas()->Brush()->SetColor(fill);
  b->Canvas()->FillRect(Rect(0, 0, w, h));
  return b;
}

// Every pixel as a colour, row by row.
std::vector<TColor> Snapshot(TBitmap* b) {
  std::vector<TColor> v;
  for (int y = 0; y < b->Height(); ++y)
    for (int x = 0; x < b->Width(); ++x) v.push_back(b->Canvas()->Pixels(x, y));
  return v;
}

class CanvasFormats : public ::testing::TestWithParam<TPixelFormat> {};

TEST_P(CanvasFormats, LineLeavesItsEndPoint) {
  std::unique_ptr<TBitmap> b(MakeBitmap(12, 12, GetParam()));
  TCanvas* c = b->Canvas();
  c->Pen()->SetColor(clBlack);
  c->MoveTo(1, 1);
  c->LineTo(6, 1);
  for (int x = 1; x < 6; ++x) EXPECT_EQ(c->Pixels(x, 1), clBlack) << x;
  EXPECT_EQ(c->Pixels(6, 1), clWhite);
  EXPECT_EQ(c->Pixels(0, 1), clWhite);
  EXPECT_EQ(c->PenPos(), Point(6, 1));
  // A diagonal: (2,3) .. (6,7) drawn, (7,8) not.
  c->MoveTo(2, 3);
  c->LineTo(7, 8);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(c->Pixels(2 + i, 3 + i), clBlack) << i;
  EXPECT_EQ(c->Pixels(7, 8), clWhite);
  // A vertical line upwards stops short of its end as well.
  c->MoveTo(10, 10);
  c->LineTo(10, 4);
  EXPECT_EQ(c->Pixels(10, 10), clBlack);
  EXPECT_EQ(c->Pixels(10, 5), clBlack);
  EXPECT_EQ(c->Pixels(10, 4), clWhite);
}

TEST_P(CanvasFormats, RectangleLeavesRightAndBottomEdges) {
  std::unique_ptr<TBitmap> b(MakeBitmap(10, 10, GetParam()));
  TCanvas* c = b->Canvas();
  bool mono = GetParam() == pf1bit;
  TColor fill = mono ? clBlack : clRed;
  c->Pen()->SetColor(clBlack);
  c->Brush()->SetColor(fill);
  c->Rectangle(1, 2, 6, 7);
  for (int x = 1; x < 6; ++x) {
    EXPECT_EQ(c->Pixels(x, 2), clBlack);
    EXPECT_EQ(c->Pixels(x, 6), clBlack);
    EXPECT_EQ(c->Pixels(x, 7), clWhite);
  }
  for (int y = 2; y < 7; ++y) {
    EXPECT_EQ(c->Pixels(1, y), clBlack);
    EXPECT_EQ(c->Pixels(5, y), clBlack);
    EXPECT_EQ(c->Pixels(6, y), clWhite);
  }
  EXPECT_EQ(c->Pixels(3, 4), fill);
  // FillRect and FrameRect: [left, right) x [top, bottom).
  c->Brush()->SetColor(clBlack);
  c->FillRect(Rect(7, 0, 9, 2));
  EXPECT_EQ(c->Pixels(8, 1), clBlack);
  EXPECT_EQ(c->Pixels(9, 1), clWhite);
  EXPECT_EQ(c->Pixels(8, 2), clWhite);
  c->Brush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, 10, 10));
  c->Brush()->SetColor(clBlack);
  c->FrameRect(Rect(2, 2, 6, 6));
  EXPECT_EQ(c->Pixels(2, 2), clBlack);
  EXPECT_EQ(c->Pixels(5, 5), clBlack);
  EXPECT_EQ(c->Pixels(3, 3), clWhite);
  EXPECT_EQ(c->Pixels(6, 5), clWhite);
  // An ellipse stays inside its box, right and bottom edges excluded.
  c->Brush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, 10, 10));
  c->Brush()->SetColor(clBlack);
  c->Ellipse(1, 1, 9, 7);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      if (x < 1 || x >= 9 || y < 1 || y >= 7) {
        EXPECT_EQ(c->Pixels(x, y), clWhite) << x << "," << y;
      }
  EXPECT_EQ(c->Pixels(4, 3), clBlack);
  EXPECT_EQ(c->Pixels(1, 3), clBlack);
  EXPECT_EQ(c->Pixels(8, 3), clBlack);
  EXPECT_EQ(c->Pixels(4, 1), clBlack);
  EXPECT_EQ(c->Pixels(4, 6), clBlack);
}

TEST_P(CanvasFormats, XorTwiceRestoresThePixels) {
  std::unique_ptr<TBitmap> b(MakeBitmap(40, 30, GetParam()));
  TCanvas* c = b->Canvas();
  // A picture with some structure.
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) c->SetPixels(x, y, ((x * 7 + y * 3) % 5 < 2) ? clBlack : RGB(x * 6, y * 8, 100));
  std::vector<TColor> before = Snapshot(b.get());
  c->Pen()->SetMode(pmXor);
  c->Pen()->SetColor(clWhite);
  c->Brush()->SetColor(clYellow);
  const TPoint tri[3] = {{3, 3}, {30, 10}, {8, 25}};
  auto draw = [&] {
    c->MoveTo(0, 0);
    c->LineTo(39, 29);
    c->Rectangle(5, 5, 20, 15);
    c->Ellipse(10, 8, 35, 28);
    c->Polygon(tri, 3);
    c->Pen()->SetWidth(3);
    c->MoveTo(2, 28);
    c->LineTo(38, 2);
    c->Pen()->SetWidth(1);
    c->Arc(0, 0, 30, 20, 30, 10, 0, 10);
  };
  draw();
  EXPECT_NE(Snapshot(b.get()), before);
  draw();
  EXPECT_EQ(Snapshot(b.get()), before);
  // Not twice as well.
  c->Pen()->SetMode(pmNot);
  c->MoveTo(1, 20);
  c->LineTo(30, 2);
  c->MoveTo(1, 20);
  c->LineTo(30, 2);
  EXPECT_EQ(Snapshot(b.get()), before);
}

TEST_P(CanvasFormats, AlternateFillPolygonClip) {
  std::unique_ptr<TBitmap> b(MakeBitmap(12, 12, GetParam()));
  TCanvas* c = b->Canvas();
  // Outer square and an inner square wound the same way: a hole only with alternate fill.
  const TPoint pts[10] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}, {3, 3}, {7, 3}, {7, 7}, {3, 7}, {3, 3}};
  c->SetClipPolygon(pts, 10, fmAlternate);
  c->Brush()->SetColor(clBlack);
  c->FillRect(Rect(0, 0, 12, 12));
  EXPECT_EQ(c->Pixels(0, 0), clBlack);
  EXPECT_EQ(c->Pixels(9, 9), clBlack);
  EXPECT_EQ(c->Pixels(2, 5), clBlack);
  c->ResetClipRegion();
  EXPECT_EQ(c->Pixels(10, 5), clWhite);  // right edge of the polygon is outside
  EXPECT_EQ(c->Pixels(5, 10), clWhite);
  EXPECT_EQ(c->Pixels(5, 5), clWhite);  // the hole
  EXPECT_EQ(c->Pixels(3, 3), clWhite);
  EXPECT_EQ(c->Pixels(6, 6), clWhite);
  c->Brush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, 12, 12));
  c->SetClipPolygon(pts, 10, fmWinding);
  c->Brush()->SetColor(clBlack);
  c->FillRect(Rect(0, 0, 12, 12));
  c->ResetClipRegion();
  EXPECT_EQ(c->Pixels(5, 5), clBlack);
  // ExcludeClipRect keeps drawing out of a rectangle.
  c->Brush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, 12, 12));
  c->ExcludeClipRect(2, 2, 5, 5);
  c->Brush()->SetColor(clBlack);
  c->FillRect(Rect(0, 0, 12, 12));
  EXPECT_EQ(c->Pixels(1, 1), clBlack);
  c->ResetClipRegion();
  EXPECT_EQ(c->Pixels(2, 2), clWhite);
  EXPECT_EQ(c->Pixels(4, 4), clWhite);
  EXPECT_EQ(c->Pixels(5, 5), clBlack);
  // A triangle's clip: pixel centres inside.
  c->Brush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, 12, 12));
  const TPoint tri[3] = {{0, 0}, {8, 0}, {0, 8}};
  c->SetClipPolygon(tri, 3);
  c->Brush()->SetColor(clBlack);
  c->FillRect(Rect(0, 0, 12, 12));
  c->ResetClipRegion();
  EXPECT_EQ(c->Pixels(6, 0), clBlack);
  EXPECT_EQ(c->Pixels(5, 1), clBlack);
  EXPECT_EQ(c->Pixels(6, 2), clWhite);
  EXPECT_EQ(c->Pixels(3, 3), clBlack);
  EXPECT_EQ(c->Pixels(4, 4), clWhite);
}

TEST_P(CanvasFormats, HatchBrushes) {
  std::unique_ptr<TBitmap> b(MakeBitmap(16, 16, GetParam()));
  TCanvas* c = b->Canvas();
  c->Brush()->SetColor(clBlack);
  c->Brush()->SetStyle(bsHorizontal);
  c->FillRect(Rect(0, 0, 16, 16));
  for (int y = 0; y < 16; ++y) EXPECT_EQ(c->Pixels(3, y), y % 8 == 7 ? clBlack : clWhite) << y;
  c->Brush()->SetColor(clWhite);  // back to solid
  EXPECT_EQ(c->Brush()->Style(), bsHorizontal);
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(Rect(0, 0, 16, 16));
  c->Brush()->SetColor(clBlack);
  c->Brush()->SetStyle(bsDiagCross);
  c->FillRect(Rect(0, 0, 16, 16));
  int black = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) black += c->Pixels(x, y) == clBlack;
  EXPECT_EQ(black, 16);
  EXPECT_EQ(c->Pixels(0, 0), clBlack);
  EXPECT_EQ(c->Pixels(0, 7), clBlack);
  EXPECT_EQ(c->Pixels(1, 0), clWhite);
  // The pattern is fixed to the surface: the same pixel at x and x + 8.
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(c->Pixels(x, y), c->Pixels(x + 8, y + 8));
  // The hatch leaves the gaps alone.
  c->Brush()->SetColor(clWhite);
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(Rect(0, 0, 16, 16));
  c->Brush()->SetColor(clBlack);
  c->FillRect(Rect(0, 0, 16, 1));
  c->Brush()->SetStyle(bsVertical);
  c->Brush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, 16, 1));
  EXPECT_EQ(c->Pixels(7, 0), clWhite);
  EXPECT_EQ(c->Pixels(6, 0), clBlack);
}

TEST_P(CanvasFormats, TextLandsWhereItsExtentSays) {
  std::unique_ptr<TBitmap> b(MakeBitmap(80, 40, GetParam()));
  TCanvas* c = b->Canvas();
  c->Font()->SetHeight(-16);
  c->Font()->SetColor(clBlack);
  c->Brush()->SetStyle(bsClear);
  TSize ext = c->TextExtent("Hgx");
  ASSERT_GT(ext.cx, 10);
  ASSERT_GE(ext.cy, 16);
  c->TextOut(5, 4, "Hgx");
  int inked = 0, outside = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 80; ++x)
      if (c->Pixels(x, y) == clBlack) {
        ++inked;
        if (x < 5 || x >= 5 + ext.cx || y < 4 || y >= 4 + ext.cy) ++outside;
      }
  EXPECT_GT(inked, 20);
  EXPECT_EQ(outside, 0);
  EXPECT_EQ(c->TextWidth("Hgx"), ext.cx);
  // An opaque brush fills exactly the text cell.
  c->Brush()->SetColor(clBlack);
  c->Font()->SetColor(clWhite);
  c->TextOut(20, 10, "ab");
  TSize e2 = c->TextExtent("ab");
  EXPECT_EQ(c->Pixels(20, 10), clBlack);
  EXPECT_EQ(c->Pixels(20 + e2.cx - 1, 10 + e2.cy - 1), clBlack);
  EXPECT_EQ(c->Pixels(20 + e2.cx, 10), clWhite);
  EXPECT_EQ(c->Pixels(20, 10 + e2.cy), clWhite);
  // TextRect keeps to its rectangle.
  c->Brush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, 80, 40));
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetColor(clBlack);
  c->TextRect(Rect(10, 10, 14, 30), 8, 10, "WWWW");
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 80; ++x)
      if (x < 10 || x >= 14 || y < 10 || y >= 30) {
        ASSERT_EQ(c->Pixels(x, y), clWhite) << x << "," << y;
      }
}

INSTANTIATE_TEST_SUITE_P(Both, CanvasFormats, ::testing::Values(pf24bit, pf1bit));

TEST(Canvas, CopiesAndStretches) {
  std::unique_ptr<TBitmap> src(MakeBitmap(4, 2, pf24bit));
  TCanvas* s = src->Canvas();
  s->SetPixels(0, 0, clRed);
  s->SetPixels(3, 0, clBlue);
  s->SetPixels(1, 1, clBlack);
  std::unique_ptr<TBitmap> dst(MakeBitmap(10, 10, pf24bit, clGreen));
  TCanvas* d = dst->Canvas();
  d->Draw(2, 3, src.get());
  EXPECT_EQ(d->Pixels(2, 3), clRed);
  EXPECT_EQ(d->Pixels(5, 3), clBlue);
  EXPECT_EQ(d->Pixels(3, 4), clBlack);
  EXPECT_EQ(d->Pixels(6, 3), clGreen);
  EXPECT_EQ(d->Pixels(1, 3), clGreen);
  // Doubling: each source pixel becomes 2 x 2.
  d->StretchDraw(Rect(0, 0, 8, 4), src.get());
  EXPECT_EQ(d->Pixels(0, 0), clRed);
  EXPECT_EQ(d->Pixels(1, 1), clRed);
  EXPECT_EQ(d->Pixels(7, 1), clBlue);
  EXPECT_EQ(d->Pixels(2, 2), clBlack);
  EXPECT_EQ(d->Pixels(3, 3), clBlack);
  EXPECT_EQ(d->Pixels(8, 0), clGreen);
  // A mirrored destination.
  d->StretchDraw(Rect(4, 6, 0, 8), src.get());
  EXPECT_EQ(d->Pixels(3, 6), clRed);
  EXPECT_EQ(d->Pixels(0, 6), clBlue);
  // Overlapping CopyRect on one canvas reads the pixels as they were.
  d->CopyRect(Rect(1, 0, 9, 4), d, Rect(0, 0, 8, 4));
  EXPECT_EQ(d->Pixels(1, 0), clRed);
  EXPECT_EQ(d->Pixels(2, 1), clRed);
  EXPECT_EQ(d->Pixels(8, 0), clBlue);
  // Colour onto one bit picks the nearest entry; one bit onto colour through the palette.
  std::unique_ptr<TBitmap> mono(MakeBitmap(4, 2, pf1bit));
  mono->Canvas()->Draw(0, 0, src.get());
  EXPECT_EQ(mono->Canvas()->Pixels(0, 0), clBlack);  // red is nearer black
  EXPECT_EQ(mono->Canvas()->Pixels(1, 0), clWhite);
  EXPECT_EQ(mono->Canvas()->Pixels(1, 1), clBlack);
  dst->Canvas()->Draw(0, 0, mono.get());
  EXPECT_EQ(d->Pixels(1, 0), clWhite);
  EXPECT_EQ(d->Pixels(1, 1), clBlack);
  // A one-bit picture stretched onto colour goes through its own palette.
  mono->SetPalette({TRGBQuad{0, 0, 255, 0}, TRGBQuad{255, 0, 0, 0}});
  d->StretchDraw(Rect(0, 0, 8, 4), mono.get());
  EXPECT_EQ(d->Pixels(0, 0), clRed);
  EXPECT_EQ(d->Pixels(2, 0), clBlue);
  EXPECT_EQ(d->Pixels(3, 3), clRed);
  // Out-of-range reads.
  EXPECT_EQ(d->Pixels(-1, 0), -1);
  EXPECT_EQ(d->Pixels(0, 10), -1);
}

TEST(Canvas, FollowsTheBitmapWhenItsMemoryMoves) {
  std::unique_ptr<TBitmap> b(MakeBitmap(4, 4, pf24bit));
  TCanvas* c = b->Canvas();
  b->SetSize(300, 200);
  c->Brush()->SetColor(clRed);
  c->FillRect(Rect(250, 150, 300, 200));
  EXPECT_EQ(c->Pixels(299, 199), clRed);
  b->SetPixelFormat(pf1bit);
  c->Brush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, 300, 200));
  EXPECT_EQ(c->Pixels(299, 199), clWhite);
  b->SetSize(0, 0);
  c->FillRect(Rect(0, 0, 10, 10));  // nothing to draw on: no crash
  EXPECT_EQ(c->Pixels(0, 0), -1);
}

TEST(Canvas, LineDDAWalksWithoutTheEnd) {
  std::vector<TPoint> pts;
  LineDDA(0, 0, 4, 2, [&](int x, int y) { pts.push_back({x, y}); });
  ASSERT_EQ(pts.size(), 4u);
  EXPECT_EQ(pts.front(), Point(0, 0));
  EXPECT_EQ(pts.back().X, 3);
  pts.clear();
  LineDDA(5, 5, 5, 5, [&](int x, int y) { pts.push_back({x, y}); });
  EXPECT_TRUE(pts.empty());
  pts.clear();
  LineDDA(3, 9, 3, 2, [&](int x, int y) { pts.push_back({x, y}); });
  ASSERT_EQ(pts.size(), 7u);
  EXPECT_EQ(pts.back(), Point(3, 3));
}

TEST(Canvas, DashedPenAndFontSize) {
  std::unique_ptr<TBitmap> b(MakeBitmap(30, 3, pf24bit));
  TCanvas* c = b->Canvas();
  c->Pen()->SetStyle(psDot);
  c->Brush()->SetStyle(bsClear);
  c->MoveTo(0, 1);
  c->LineTo(30, 1);
  EXPECT_EQ(c->Pixels(0, 1), clBlack);
  EXPECT_EQ(c->Pixels(2, 1), clBlack);
  EXPECT_EQ(c->Pixels(3, 1), clWhite);
  EXPECT_EQ(c->Pixels(6, 1), clBlack);
  TFont f;
  f.SetPixelsPerInch(96);
  f.SetSize(8);
  EXPECT_EQ(f.Height(), -11);
  f.SetHeight(-13);
  EXPECT_EQ(f.Size(), 10);
}

TEST(Canvas, WideDashedPensKeepTheirPixels) {
  // Long strokes in several directions, off the picture at one end, on a picture tall enough
  // for a stroke to be drawn in parts; the sum of every pixel as drawn when the strokes were
  // rendered whole.
  std::unique_ptr<TBitmap> b(MakeBitmap(301, 257, pf24bit));
  TCanvas* c = b->Canvas();
  c->Pen()->SetStyle(psDash);
  c->Pen()->SetColor(clRed);
  c->Pen()->SetWidth(7);
  c->MoveTo(-40, -30);
  c->LineTo(290, 250);
  c->Pen()->SetWidth(12);
  c->Pen()->SetColor(clBlue);
  c->MoveTo(300, 3);
  c->LineTo(5, 200);
  const std::vector<TPoint> zig{{10, 250}, {60, 20}, {61, 240}, {150, 128}, {400, 129}};
  c->Pen()->SetWidth(5);
  c->Pen()->SetColor(clGreen);
  c->Polyline(zig);
  c->Brush()->SetStyle(bsClear);
  c->Pen()->SetWidth(9);
  c->Pen()->SetColor(clBlack);
  const std::vector<TPoint> tri{{200, 10}, {290, 240}, {120, 180}};
  c->Polygon(tri);
  c->Pen()->SetWidth(4);
  c->Rectangle(30, 90, 250, 140);
  uint64_t sum = 1469598103934665603ull;
  for (TColor v : Snapshot(b.get())) sum = (sum ^ uint64_t(v)) * 1099511628211ull;
  EXPECT_EQ(sum, 7101446277185676157ull);
}

}  // namespace
