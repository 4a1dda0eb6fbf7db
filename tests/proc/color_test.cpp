#include <gtest/gtest.h>

#include "proc/proc_util.h"
#include "vistrel/proc/kernels/color.h"
#include "vistrel/proc/kernels/pixels.h"

using namespace proctest;

TEST(Color, GrayOfKnownColoursOnlyInsideTheArea) {
  auto b = New24(20, 20);
  Fill(b.get(), 255, 0, 0);
  SetPx(b.get(), 6, 6, 255, 255, 255);
  SetPx(b.get(), 7, 7, 0, 255, 0);
  VLGrayRect(b.get(), 5, 5, 14, 14);
  EXPECT_EQ(Px(b.get(), 5, 5), Rgb(53, 53, 53));
  EXPECT_EQ(Px(b.get(), 6, 6), Rgb(252, 252, 252));
  EXPECT_EQ(Px(b.get(), 7, 7), Rgb(181, 181, 181));
  EXPECT_EQ(Px(b.get(), 14, 14), Rgb(53, 53, 53));
  EXPECT_EQ(Px(b.get(), 4, 5), Rgb(255, 0, 0));
  EXPECT_EQ(Px(b.get(), 15, 14), Rgb(255, 0, 0));
  EXPECT_EQ(Px(b.get(), 14, 15), Rgb(255, 0, 0));
  // An area reaching past the picture stops at its edges; an empty one does nothing.
  VLGrayRect(b.get(), 18, -4, 400, 1);
  EXPECT_EQ(Px(b.get(), 19, 1), Rgb(53, 53, 53));
  EXPECT_EQ(Px(b.get(), 19, 2), Rgb(255, 0, 0));
  VLGrayRect(b.get(), 30, 30, 40, 40);
  VLGrayRect(b.get(), 10, 10, 9, 12);
  EXPECT_EQ(Px(b.get(), 9, 0), Rgb(255, 0, 0));
}

TEST(Color, RectangleProgress) {
  auto b = New24(4, 200);
  Recorder one, many;
  VLGrayRect(b.get(), 0, 3, 3, 3, one.Event());
  EXPECT_EQ(one.Values, std::vector<int>({66}));
  VLNegativeRect(b.get(), 0, 0, 3, 199, many.Event());
  ASSERT_EQ(many.Values.size(), 200u);
  EXPECT_EQ(many.Values[0], 0);
  EXPECT_EQ(many.Values[1], 0);  // 200 / 200.5
  EXPECT_EQ(many.Values[2], 1);  // 300 / 200.5
  EXPECT_EQ(many.Values.back(), 99);
}

TEST(Color, NegativeTwentyFourAndOneBit) {
  auto b = New24(3, 1);
  SetPx(b.get(), 0, 0, 0, 100, 255);
  SetPx(b.get(), 1, 0, 7, 8, 9);
  VLNegativeRect(b.get(), 0, 0, 0, 0);
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(255, 155, 0));
  EXPECT_EQ(Px(b.get(), 1, 0), Rgb(7, 8, 9));

  auto m = New1(21, 2);
  VLNegativeRect(m.get(), 3, 1, 17, 5);
  for (int x = 0; x < 21; ++x) {
    EXPECT_EQ(Bit(m.get(), x, 0), 0);
    EXPECT_EQ(Bit(m.get(), x, 1), x >= 3 && x <= 17 ? 1 : 0) << x;
  }
  VLNegativeRect(m.get(), 5, 0, 6, 0);  // inside one byte
  EXPECT_EQ(Bit(m.get(), 4, 0), 0);
  EXPECT_EQ(Bit(m.get(), 5, 0), 1);
  EXPECT_EQ(Bit(m.get(), 6, 0), 1);
  EXPECT_EQ(Bit(m.get(), 7, 0), 0);
}

TEST(Color, MergeAtEndsAndMiddle) {
  auto pic = New24(4, 4);
  Fill(pic.get(), 100, 150, 200);
  auto g = New24(2, 2);
  SetPx(g.get(), 0, 0, 10, 20, 31);
  SetPx(g.get(), 1, 1, 255, 255, 255);

  auto a = New24(4, 4);
  VLCopyBitmap(pic.get(), a.get());
  VLMergeRect(a.get(), g.get(), 100, 0, 0, 3, 3);
  EXPECT_TRUE(SamePixels(a.get(), pic.get()));

  // 0 percent: the graphic alone, stretched over the area.
  VLMergeRect(a.get(), g.get(), 0, 0, 0, 3, 3);
  EXPECT_EQ(Px(a.get(), 0, 0), Rgb(10, 20, 31));
  EXPECT_EQ(Px(a.get(), 1, 1), Rgb(10, 20, 31));
  EXPECT_EQ(Px(a.get(), 2, 0), Rgb(0, 0, 0));
  EXPECT_EQ(Px(a.get(), 3, 3), Rgb(255, 255, 255));

  // 50 percent: halves round to even.
  VLCopyBitmap(pic.get(), a.get());
  VLMergeRect(a.get(), g.get(), 50, 1, 1, 2, 2);
  EXPECT_EQ(Px(a.get(), 1, 1), Rgb(55, 85, 116));    // 55, 85, 115.5 -> 116
  EXPECT_EQ(Px(a.get(), 2, 2), Rgb(178, 202, 228));  // 177.5 -> 178, 202.5 -> 202, 227.5 -> 228
  EXPECT_EQ(Px(a.get(), 0, 0), Rgb(100, 150, 200));
}

TEST(Color, HistogramSumsAndBins) {
  auto b = New24(10, 6);
  Fill(b.get(), 255, 0, 0);
  SetPx(b.get(), 2, 2, 1, 2, 3);
  TVLHistogram h;
  h[7].Gray = 99;
  VLCalcHistogram(b.get(), h, 1, 1, 8, 4);
  uint64_t sr = 0, sg = 0, sb = 0, sl = 0;
  for (auto& e : h) {
    sr += e.Red;
    sg += e.Green;
    sb += e.Blue;
    sl += e.Gray;
  }
  EXPECT_EQ(sr, 32u);
  EXPECT_EQ(sg, 32u);
  EXPECT_EQ(sb, 32u);
  EXPECT_EQ(sl, 32u);
  EXPECT_EQ(h[255].Red, 31u);
  EXPECT_EQ(h[1].Red, 1u);
  EXPECT_EQ(h[0].Green, 31u);
  EXPECT_EQ(h[53].Gray, 31u);
  EXPECT_EQ(h[1].Gray, 1u);  // (21 + 142 + 21) div 100
  EXPECT_EQ(h[7].Gray, 0u);
}

TEST(Color, GrayAndHistogramOfALargeAreaMatchThePixels) {
  // Large enough for the histogram's pair tables; odd width, an area aligned to nothing.
  auto b = New24(613, 331);
  uint32_t seed = 99;
  for (int y = 0; y < 331; ++y)
    for (int k = 0; k < 613 * 3; ++k) {
      seed = seed * 1664525u + 1013904223u;
      // Smooth with noise, and runs of one value, as photographs and drawings have.
      b->ScanLine(y)[k] = k % 3 == 1 && y % 7 == 0 ? uint8_t(200) : uint8_t((k / 3 + y * (k % 3 + 1)) / 5 + (seed >> 29));
    }
  const int x1 = 3, y1 = 5, x2 = 608, y2 = 329;
  TVLHistogram want{};
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const uint8_t* p = b->ScanLine(y) + 3 * x;
      ++want[p[2]].Red;
      ++want[p[1]].Green;
      ++want[p[0]].Blue;
      ++want[size_t((p[2] * 21 + p[1] * 71 + p[0] * 7) / 100)].Gray;
    }
  TVLHistogram got;
  VLCalcHistogram(b.get(), got, x1, y1, x2, y2);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(got[size_t(v)], want[size_t(v)]) << "bin " << v;

  auto before = New24(613, 331);
  VLCopyBitmap(b.get(), before.get());
  VLGrayRect(b.get(), x1, y1, x2, y2);
  for (int y = 0; y < 331; ++y)
    for (int x = 0; x < 613; ++x) {
      const uint8_t* o = before->ScanLine(y) + 3 * x;
      const uint8_t* p = b->ScanLine(y) + 3 * x;
      const bool inside = x >= x1 && x <= x2 && y >= y1 && y <= y2;
      const int l = (o[2] * 21 + o[1] * 71 + o[0] * 7) / 100;
      const int e0 = inside ? l : o[0], e1 = inside ? l : o[1], e2 = inside ? l : o[2];
      if (p[0] != e0 || p[1] != e1 || p[2] != e2) {
        ADD_FAILURE() << "pixel " << x << ", " << y;
        return;
      }
    }
}

TEST(Color, CountColours) {
  auto b = New24(50, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x) SetPx(b.get(), x, y, x, y, (x * y) % 3);
  // Colours that share a hash bucket (8192 apart) are both counted.
  SetPx(b.get(), 0, 0, 200, 0x20, 0);
  SetPx(b.get(), 1, 0, 200, 0x40, 0);
  EXPECT_EQ(VLCountColors(b.get(), 0, 0, 49, 39), 50 * 40);
  EXPECT_EQ(VLCountColors(b.get(), 10, 10, 10, 10), 1);
  auto m = New1(8, 8);
  EXPECT_EQ(VLCountColors(m.get(), 0, 0, 7, 7), 0);
  // A large area counts the same way as a small one.
  auto big = New24(100, 50);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) SetPx(big.get(), x, y, x % 37, y, 0);
  EXPECT_EQ(VLCountColors(big.get(), 0, 0, 99, 49), 37 * 50);
  EXPECT_EQ(VLCountColors(big.get(), 0, 0, 36, 49), 37 * 50);
  EXPECT_EQ(VLCountColors(big.get(), 0, 0, 99, 0), 37);
}

TEST(Color, QuantizeAndReduce) {
  auto b = New24(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) SetPx(b.get(), x, y, x < 8 ? 255 : 0, y < 8 ? 255 : 0, 100);
  TRGB pal[256] = {};
  Recorder rec;
  VLQuantize(b.get(), 256, pal, rec.Event());
  EXPECT_EQ(b->PixelFormat(), pf24bit);
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(248, 248, 96));
  EXPECT_EQ(Px(b.get(), 15, 15), Rgb(0, 0, 96));
  EXPECT_EQ(VLCountColors(b.get(), 0, 0, 15, 15), 4);
  ASSERT_EQ(rec.Values.size(), 16u);
  EXPECT_EQ(rec.Values.back(), 96);  // 1600 / 16.5

  // Two colours or fewer: the ordered dither, and black and white in the palette.
  auto c = New24(8, 8);
  Fill(c.get(), 255, 255, 255);
  TRGB two[2] = {Rgb(1, 1, 1), Rgb(2, 2, 2)};
  VLReduceColors(c.get(), 2, two);
  EXPECT_EQ(c->PixelFormat(), pf1bit);
  EXPECT_EQ(two[0], Rgb(0, 0, 0));
  EXPECT_EQ(two[1], Rgb(255, 255, 255));
  // Fewer than two colours: dithered as well; a one-entry palette gets black only.
  TRGB one[2] = {Rgb(9, 9, 9), Rgb(7, 7, 7)};
  auto d = New24(8, 8);
  Fill(d.get(), 255, 255, 255);
  VLReduceColors(d.get(), 1, one);
  EXPECT_EQ(d->PixelFormat(), pf1bit);
  EXPECT_EQ(Bit(d.get(), 3, 3), 1);
  EXPECT_EQ(one[0], Rgb(0, 0, 0));
  EXPECT_EQ(one[1], Rgb(7, 7, 7));
  auto d0 = New24(8, 8);
  VLReduceColors(d0.get(), 0, nullptr);
  EXPECT_EQ(d0->PixelFormat(), pf1bit);
  auto e = New24(8, 8);
  VLReduceColors(e.get(), 300, nullptr);  // the neural net, own palette
  EXPECT_EQ(e->PixelFormat(), pf24bit);
  EXPECT_LE(Px(e.get(), 3, 3).R, 2);
}

TEST(Color, ThresholdAndAverage) {
  auto b = New24(10, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 10; ++x)
      if (x >= 5) SetPx(b.get(), x, y, 255, 255, 255);
  int r = 1, g = 1, bl = 1;
  VLAverageColor(b.get(), r, g, bl);
  EXPECT_EQ(r, 127);
  EXPECT_EQ(VLLuminance(r, g, bl), 125);
  auto c = New24(3, 1);
  VLCopyBitmap(b.get(), c.get());
  Recorder rec;
  VLThresholdTo1Bit(b.get(), -1, rec.Event());
  ASSERT_EQ(b->PixelFormat(), pf1bit);
  EXPECT_EQ(Bit(b.get(), 4, 3), 0);
  EXPECT_EQ(Bit(b.get(), 5, 3), 1);
  EXPECT_EQ(rec.Values, std::vector<int>({22, 44, 66, 88}));
  SetPx(c.get(), 0, 0, 130, 130, 130);  // lum 128
  SetPx(c.get(), 1, 0, 126, 126, 126);  // lum 124
  SetPx(c.get(), 2, 0, 127, 127, 127);  // lum 125: not below
  VLThresholdTo1Bit(c.get(), 125);
  EXPECT_EQ(Bit(c.get(), 0, 0), 1);
  EXPECT_EQ(Bit(c.get(), 1, 0), 0);
  EXPECT_EQ(Bit(c.get(), 2, 0), 1);

  TBitmap empty;
  empty.SetPixelFormat(pf24bit);
  VLAverageColor(&empty, r, g, bl);
  EXPECT_EQ(r, 128);
  auto m = New1(4, 4);
  r = g = bl = 7;
  VLAverageColor(m.get(), r, g, bl);
  EXPECT_EQ(r, 7);
}

TEST(Color, SplitHSV) {
  auto b = New24(3, 2);
  Fill(b.get(), 0, 0, 255);
  SetPx(b.get(), 1, 0, 255, 0, 0);
  SetPx(b.get(), 2, 1, 128, 128, 128);
  TBitmap h, s, v;
  Recorder rec;
  VLSplitHSV(b.get(), &h, &s, &v, rec.Event());
  ASSERT_EQ(h.Width(), 3);
  ASSERT_EQ(h.PixelFormat(), pf24bit);
  EXPECT_EQ(Px(&h, 0, 0), Rgb(170, 170, 170));
  EXPECT_EQ(Px(&s, 0, 0), Rgb(255, 255, 255));
  EXPECT_EQ(Px(&v, 0, 0), Rgb(255, 255, 255));
  EXPECT_EQ(Px(&h, 1, 0), Rgb(0, 0, 0));
  EXPECT_EQ(Px(&s, 2, 1), Rgb(0, 0, 0));
  EXPECT_EQ(Px(&v, 2, 1), Rgb(128, 128, 128));  // round(128 x 99 / 255) = 50; 50 x 255 div 99
  EXPECT_EQ(rec.Values, std::vector<int>({0, 50}));
}

TEST(Color, ContrastAndTrueColour) {
  auto b = New24(2, 1);
  SetPx(b.get(), 0, 0, 10, 200, 90);
  SetPx(b.get(), 1, 0, 250, 0, 100);
  VLContrast(b.get(), 0, 100, 100, 100, 0, 0, 1, 0);
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(10, 200, 90));
  VLContrast(b.get(), 10, 100, 100, 100, 0, 0, 1, 0);  // k = 2
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(0, 255, 80));
  VLContrast(b.get(), -100, 100, 110, 120, 0, 0, 1, 0);
  EXPECT_EQ(Px(b.get(), 1, 0), Rgb(100, 110, 120));

  auto m = New1(13, 1);
  m->SetPalette({TRGBQuad{0, 0, 255, 0}, TRGBQuad{0, 255, 0, 0}});
  m->ScanLine(0)[1] = 0x10;  // pixel 11
  VLConvertToTrueColor(m.get());
  ASSERT_EQ(m->PixelFormat(), pf24bit);
  EXPECT_EQ(Px(m.get(), 11, 0), Rgb(255, 255, 255));
  EXPECT_EQ(Px(m.get(), 10, 0), Rgb(0, 0, 0));
  auto t = New24(2, 2);
  SetPx(t.get(), 0, 0, 5, 6, 7);
  VLConvertToTrueColor(t.get());
  EXPECT_EQ(Px(t.get(), 0, 0), Rgb(5, 6, 7));
}
