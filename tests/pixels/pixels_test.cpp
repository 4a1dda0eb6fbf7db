#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "vistrel/proc/kernels/pixels.h"

namespace {

void Fill24(TBitmap& b, int w, int h, TRGB c) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) std::memcpy(b.ScanLine(y) + 3 * x, &c, 3);
}

TRGB Px(TBitmap& b, int x, int y) {
  const uint8_t* p = b.ScanLine(y) + 3 * x;
  return TRGB{p[0], p[1], p[2]};
}

}  // namespace

TEST(Pixels, MasksRowsAndCounts) {
  EXPECT_EQ(VLBitMaskWidth(0xF800), 5);
  EXPECT_EQ(VLBitMaskWidth(0), 0);
  EXPECT_EQ(VLBitMaskWidth(0xFFFFFFFFu), 32);
  EXPECT_EQ(VLBitMaskWidth(0x80000000u), 1);
  EXPECT_EQ(VLBitMaskWidth(0x00FF00F0u), 4);  // the lowest run only
  EXPECT_EQ(VLBitMaskHigh(0xF800), 16);
  EXPECT_EQ(VLBitMaskHigh(0x0400), 10);
  EXPECT_EQ(VLBitMaskHigh(0), -1);
  EXPECT_EQ(VLBitMaskHigh(16), 4);
  EXPECT_EQ(VLBitMaskHigh(0x80000000u), 31);
  EXPECT_EQ(VLRowLength(13, 1), 4);
  EXPECT_EQ(VLRowLength(3, 24), 12);
  EXPECT_EQ(VLRowLength(5, 24), 16);
  EXPECT_EQ(VLRowLength(33, 1), 8);
  EXPECT_EQ(VLPixelFormatBits(pf15bit), 15);
  EXPECT_EQ(VLPixelFormatBits(pfCustom), 0);
  EXPECT_EQ(VLPowerOfTwo(8, 3), 16777216);
  EXPECT_EQ(VLPowerOfTwo(4, 1), 16);
  EXPECT_EQ(VLPowerOfTwo(8, 0), 1);
  EXPECT_EQ(VLPowerOfTwo(8, -2), 1);
}

TEST(Pixels, Hash1) {
  THash1 h(4);
  EXPECT_EQ(h.Size(), 16);
  EXPECT_TRUE(h.Add(5));
  EXPECT_FALSE(h.Add(5));
  // 5, 21, 37 share a bucket: all kept, duplicates anywhere in the chain found.
  EXPECT_TRUE(h.Add(21));
  EXPECT_TRUE(h.Add(37));
  EXPECT_FALSE(h.Add(21));
  EXPECT_FALSE(h.Add(37));
  EXPECT_FALSE(h.Add(5));
  EXPECT_TRUE(h.Add(-11));  // negative values hash by their low bits
  EXPECT_FALSE(h.Add(-11));
  EXPECT_EQ(h.Count(), 4);
  // Many values, all distinct, against a reference count.
  THash1 big(13);
  std::mt19937 rng(7);
  std::vector<int32_t> seen;
  int distinct = 0;
  for (int i = 0; i < 20000; ++i) {
    int32_t v = int32_t(rng() & 0xFFFFF);
    bool isNew = std::find(seen.begin(), seen.end(), v) == seen.end();
    if (isNew) {
      seen.push_back(v);
      ++distinct;
    }
    ASSERT_EQ(big.Add(v), isNew);
  }
  EXPECT_EQ(big.Count(), distinct);
}

TEST(Pixels, HelpersAndPacking) {
  EXPECT_EQ(VLIntClamp(300, 0, 255), 255);
  EXPECT_EQ(VLByteClamp(-4), 0);
  EXPECT_EQ(VLByteClamp(256), 255);
  int x1 = 9, y1 = 2, x2 = 3, y2 = 7;
  VLOrderCorners(x1, y1, x2, y2);
  EXPECT_EQ(x1, 3);
  EXPECT_EQ(x2, 9);
  EXPECT_EQ(y1, 2);
  EXPECT_EQ(y2, 7);
  EXPECT_EQ(VLCeilReal(1.2L), 2);
  EXPECT_EQ(VLCeilReal(-1.2L), -1);
  EXPECT_EQ(VLCeilReal(3.0L), 3);
  EXPECT_EQ(VLFloorReal(-1.2L), -2);
  EXPECT_EQ(VLFloorReal(1.7L), 1);
  EXPECT_NEAR(double(VLArcCos(0)), 1.5707963, 1e-6);
  EXPECT_NEAR(double(VLArcSin(-1)), -1.5707963, 1e-6);
  EXPECT_EQ(VLSwapRedBlue(int32_t(0xAB123456)), 0x563412);
  TRGB t;
  VLMakeRGB(10, 20, 30, t);
  EXPECT_EQ(t.B, 30);
  EXPECT_EQ(t.R, 10);
  VLColorToRGB(clRed, t);
  EXPECT_EQ(t, (TRGB{0, 0, 255}));
  TRGB pal[4] = {{0, 0, 0}, {0, 0, 200}, {0, 0, 250}, {0, 0, 250}};
  EXPECT_EQ(VLNearestPaletteIndex(pal, 4, 0xFF0000), 2);  // first of the equal ones
  EXPECT_EQ(VLNearestPaletteIndex(pal, 0, 0xFF0000), 0);
  VLSwapPaletteRedBlue(pal, 4);
  EXPECT_EQ(pal[1], (TRGB{200, 0, 0}));
  uint8_t src[6] = {1, 2, 3, 4, 5, 6}, dst[6];
  VLCopyRowSwapRB(dst, src, 2);
  EXPECT_EQ(std::vector<uint8_t>(dst, dst + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
}

TEST(Pixels, HSV) {
  int h, s, v;
  VLRGBToHSV(h, s, v, 0xFF0000);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 99);
  EXPECT_EQ(v, 99);
  VLRGBToHSV(h, s, v, 0x00FF00);
  EXPECT_EQ(h, 120);
  EXPECT_EQ(s, 99);
  EXPECT_EQ(v, 99);
  VLRGBToHSV(h, s, v, 0);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(v, 0);
  // Magenta-ish red: (r - g) negative path wraps by 360.
  VLRGBToHSV(h, s, v, 0xFF0080);  // r 99, g 0, b round(128*99/255)=50
  EXPECT_EQ(v, 99);
  EXPECT_EQ(h, 360 + (0 - 50) * 60 / 99);
  TRGB t;
  VLHSVToRGB(t, 400, 150, -5);
  EXPECT_EQ(t, (TRGB{0, 0, 0}));
  VLHSVToRGB(t, 0, 99, 99);
  EXPECT_EQ(t, (TRGB{0, 0, 255}));
  VLHSVToRGB(t, 240, 99, 99);
  EXPECT_EQ(t, (TRGB{255, 0, 0}));
  VLHSVToRGB(t, 30, 0, 50);  // grey: round(50*255/99) = 129
  EXPECT_EQ(t, (TRGB{129, 129, 129}));
  VLHSVToRGB(t, 90, 50, 80);  // sextant 1: (q, V, p)
  // f 30, p = 80 - 4000/99 = 40, q = 80 - 120000/5940 = 60
  EXPECT_EQ(t.R, Byte(Round(60.0L * 255 / 99)));
  EXPECT_EQ(t.G, Byte(Round(80.0L * 255 / 99)));
  EXPECT_EQ(t.B, Byte(Round(40.0L * 255 / 99)));
}

TEST(Pixels, HSL) {
  TRGB t;
  VLHSLToRGB(t, 0.5, 1, 0);
  EXPECT_EQ(t, (TRGB{0, 0, 255}));
  VLHSLToRGB(t, 0.5, 1, 1.2);  // hue clamped to 1: red again
  EXPECT_EQ(t, (TRGB{0, 0, 255}));
  VLHSLToRGB(t, 0.5, 1, 1.0 / 3);
  EXPECT_EQ(t, (TRGB{0, 255, 0}));
  VLHSLToRGB(t, 0.25, 0, 0.7);  // no saturation: grey of trunc(0.25 * 255)
  EXPECT_EQ(t, (TRGB{63, 63, 63}));
  double h, s, l;
  VLRGBToHSL(h, s, l, 0x0000FF);
  EXPECT_DOUBLE_EQ(h, 4.0 / 6);
  EXPECT_DOUBLE_EQ(s, 1);
  EXPECT_DOUBLE_EQ(l, 0.5);
  VLRGBToHSL(h, s, l, 0xFF00FF);  // red max, G - B negative: wraps
  EXPECT_NEAR(h, 5.0 / 6, 1e-12);
  VLRGBToHSL(h, s, l, 0x808080);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 0);
  // Round trip through HSL stays within the truncation of one step.
  for (int32_t c : {0x123456, 0xFEDCBA, 0x7F8081, 0x00FF80}) {
    VLRGBToHSL(h, s, l, c);
    VLHSLToRGB(t, l, s, h);
    EXPECT_NEAR(t.R, (c >> 16) & 255, 1);
    EXPECT_NEAR(t.G, (c >> 8) & 255, 1);
    EXPECT_NEAR(t.B, c & 255, 1);
  }
}

TEST(Pixels, CopyBitsAgainstBitLoop) {
  std::mt19937 rng(3);
  for (int iter = 0; iter < 3000; ++iter) {
    uint8_t src[16], dst[16], want[16];
    for (auto& b : src) b = uint8_t(rng());
    for (auto& b : dst) b = uint8_t(rng());
    std::memcpy(want, dst, 16);
    int sb = int(rng() % 40), db = int(rng() % 40), n = int(rng() % 80);
    for (int i = 0; i < n; ++i) VLSetBit(want, db + i, VLGetBit(src, sb + i));
    VLCopyBits(dst, src, db, n, sb);
    ASSERT_EQ(0, std::memcmp(dst, want, 16)) << sb << " " << db << " " << n;
  }
}

TEST(Pixels, CopyBitmapAndRect) {
  TBitmap a, b;
  a.SetPixelFormat(pf24bit);
  a.SetSize(5, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 15; ++x) a.ScanLine(y)[x] = uint8_t(y * 16 + x);
  VLCopyBitmap(&a, &b);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_TRUE(VLSameBitmap(&a, &b));
  b.ScanLine(3)[14] ^= 1;
  EXPECT_FALSE(VLSameBitmap(&a, &b));

  TBitmap r;
  VLCopyBitmapRect(&a, &r, 2, 1, 99, 0);  // X2 past the width: up to the last column
  ASSERT_EQ(r.Width(), 3);
  ASSERT_EQ(r.Height(), 3);
  EXPECT_EQ(r.ScanLine(0)[0], 1 * 16 + 6);
  EXPECT_EQ(r.ScanLine(2)[8], 3 * 16 + 14);

  TBitmap m, mr;
  m.SetPixelFormat(pf1bit);
  m.SetSize(20, 2);
  m.ScanLine(0)[0] = 0x0F;
  m.ScanLine(0)[1] = 0xF0;
  m.ScanLine(1)[1] = 0x81;
  VLCopyBitmapRect(&m, &mr, 4, 0, 11, 1);
  ASSERT_EQ(mr.PixelFormat(), pf1bit);
  ASSERT_EQ(mr.Width(), 8);
  EXPECT_EQ(mr.ScanLine(0)[0], 0xFF);
  EXPECT_EQ(mr.ScanLine(1)[0], 0x08);

  TBitmap w;
  w.SetPixelFormat(pf24bit);
  w.SetSize(3, 3);
  EXPECT_FALSE(VLSameBitmap(&a, &w));
}

TEST(Pixels, InvertAndExpand) {
  TBitmap m;
  m.SetPixelFormat(pf1bit);
  m.SetSize(13, 2);
  m.ScanLine(0)[0] = 0xA5;
  m.ScanLine(0)[1] = 0xC8;  // pixels 8..12: 1 1 0 0 1
  VLInvert1Bit(&m);
  EXPECT_EQ(m.ScanLine(0)[0], 0x5A);
  EXPECT_EQ(m.ScanLine(1)[3], 0xFF);  // padding too
  VLInvert1Bit(&m);

  TBitmap e;
  std::vector<int> seen;
  VLExpand1BitTo24Bit(&m, &e, [&](TObject*, int p) { seen.push_back(p); });
  ASSERT_EQ(e.PixelFormat(), pf24bit);
  ASSERT_EQ(e.Width(), 13);
  const int want[13] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 1, 0, 0, 1};
  for (int x = 0; x < 13; ++x) {
    TRGB c = Px(e, x, 0);
    EXPECT_EQ(c, want[x] ? (TRGB{255, 255, 255}) : (TRGB{0, 0, 0})) << x;
  }
  EXPECT_EQ(e.ScanLine(0)[39], 0);              // row padding untouched
  EXPECT_EQ(seen, (std::vector<int>{40, 80}));  // trunc(n * 100 / 2.5)
}

TEST(Pixels, TwoColorTo1Bit) {
  TBitmap b;
  Fill24(b, 10, 9, TRGB{255, 255, 255});
  TRGB c0, c1;
  EXPECT_EQ(VLConvertTwoColorTo1Bit(&b, c0, c1), nullptr);  // one colour
  std::memset(b.ScanLine(4) + 3 * 6, 0, 3);
  std::unique_ptr<TBitmap> m(VLConvertTwoColorTo1Bit(&b, c0, c1));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->PixelFormat(), pf1bit);
  EXPECT_EQ(c0, (TRGB{0, 0, 0}));
  EXPECT_EQ(c1, (TRGB{255, 255, 255}));
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(VLGetBit(m->ScanLine(y), x) != 0, !(x == 6 && y == 4));
  // The darker colour first even when it comes second.
  Fill24(b, 4, 1, TRGB{0, 0, 200});
  std::memset(b.ScanLine(0) + 6, 20, 3);
  m.reset(VLConvertTwoColorTo1Bit(&b, c0, c1));
  ASSERT_TRUE(m);
  EXPECT_EQ(c0, (TRGB{20, 20, 20}));
  EXPECT_EQ(c1, (TRGB{0, 0, 200}));
  EXPECT_EQ(m->ScanLine(0)[0] & 0xF0, 0xD0);
  // Three colours: none.
  b.ScanLine(0)[0] = 7;
  EXPECT_EQ(VLConvertTwoColorTo1Bit(&b, c0, c1), nullptr);
  TBitmap one;
  one.SetPixelFormat(pf1bit);
  one.SetSize(3, 3);
  EXPECT_EQ(VLConvertTwoColorTo1Bit(&one, c0, c1), nullptr);
}

TEST(Pixels, OrderedDither) {
  TBitmap b;
  Fill24(b, 16, 16, TRGB{128, 128, 128});  // luminance threshold (128 * 99) div 400 = 31
  std::vector<int> seen;
  VLDitherOrderedTo1Bit(&b, [&](TObject*, int p) { seen.push_back(p); });
  ASSERT_EQ(b.PixelFormat(), pf1bit);
  ASSERT_EQ(b.Width(), 16);
  const int M[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                       {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                       {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                       {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
  int ones = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      bool bit = VLGetBit(b.ScanLine(y), x) != 0;
      EXPECT_EQ(bit, M[x % 8][y % 8] < 31) << x << "," << y;
      ones += bit;
    }
  EXPECT_EQ(ones, 4 * 31);
  EXPECT_EQ(seen.size(), 16u);
  EXPECT_EQ(seen.back(), 96);  // trunc(1600 / 16.5)
  // Colour weights: pure blue (7 * 255 / 400 = 4) only above the 0..3 entries.
  TBitmap c;
  Fill24(c, 8, 8, TRGB{255, 0, 0});
  VLDitherOrderedTo1Bit(&c);
  int n = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) n += VLGetBit(c.ScanLine(y), x) != 0;
  EXPECT_EQ(n, 4);
}
