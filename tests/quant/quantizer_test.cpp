#include <gtest/gtest.h>

#include <set>

#include "vistrel/proc/kernels/quantizer.h"

namespace {
TBitmap* Make(int w, int h) {
  auto* b = new TBitmap;
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  return b;
}
void Put(TBitmap* b, int x, int y, int r, int g, int bl) {
  uint8_t* p = b->ScanLine(y) + 3 * x;
  p[0] = uint8_t(bl);
  p[1] = uint8_t(g);
  p[2] = uint8_t(r);
}
int32_t Packed(int r, int g, int b) { return b | (g << 8) | (r << 16); }
}  // namespace

TEST(Quantizer, OneColourGivesOneBox) {
  TBitmap* b = Make(7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) Put(b, x, y, 100, 150, 200);
  TRGB pal[16];
  for (auto& e : pal) e = TRGB{1, 2, 3};
  TVLQuantizer q(b, pal, 0, 16, -1, 0);
  EXPECT_EQ(q.Algorithm(), 1);
  EXPECT_EQ(q.ColorsProduced(), 1);
  EXPECT_EQ(pal[0], (TRGB{200 >> 3 << 3, 150 >> 3 << 3, 100 >> 3 << 3}));
  for (int i = 1; i < 16; ++i) EXPECT_EQ(pal[i], (TRGB{1, 2, 3}));
  EXPECT_EQ(q.ColorIndex(Packed(0, 0, 0)), 0);
  EXPECT_EQ(q.ColorIndex(Packed(255, 255, 255)), 0);
  delete b;
}

TEST(Quantizer, BlackAndWhiteInTwoColours) {
  TBitmap* b = Make(10, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      if ((x + y) % 3 == 0) Put(b, x, y, 255, 255, 255);
  TRGB pal[2];
  TVLQuantizer q(b, pal, 0, 2);
  ASSERT_EQ(q.ColorsProduced(), 2);
  std::set<int> seen;
  int black = q.ColorIndex(Packed(0, 0, 0)), white = q.ColorIndex(Packed(255, 255, 255));
  EXPECT_EQ(pal[black], (TRGB{0, 0, 0}));
  EXPECT_EQ(pal[white], (TRGB{248, 248, 248}));
  EXPECT_NE(black, white);
  // A colour outside both boxes maps to 0.
  EXPECT_EQ(q.ColorIndex(Packed(255, 0, 0)), 0);
  EXPECT_EQ(q.ColorIndex(Packed(0, 128, 0)), 0);
  delete b;
}

TEST(Quantizer, CornersOfTheCubeKeptApart) {
  // Eight well separated colours in unequal amounts are all found.
  TBitmap* b = Make(36, 1);
  int x = 0;
  for (int k = 0; k < 8; ++k)
    for (int n = 0; n <= k; ++n, ++x) Put(b, x, 0, (k & 4) ? 255 : 0, (k & 2) ? 255 : 0, (k & 1) ? 255 : 0);
  TRGB pal[8];
  TVLQuantizer q(b, pal, 0, 8);
  EXPECT_EQ(q.ColorsProduced(), 8);
  std::set<int> used;
  for (int k = 0; k < 8; ++k) {
    int r = (k & 4) ? 255 : 0, g = (k & 2) ? 255 : 0, bl = (k & 1) ? 255 : 0;
    int i = q.ColorIndex(Packed(r, g, bl));
    ASSERT_GE(i, 0);
    ASSERT_LT(i, 8);
    EXPECT_EQ(pal[i], (TRGB{Byte(bl & 248), Byte(g & 248), Byte(r & 248)})) << k;
    used.insert(i);
  }
  EXPECT_EQ(used.size(), 8u);
  delete b;
}

TEST(Quantizer, CutSearchWorkedByHand) {
  // Red 5-bit bins 5 (x3), 10 (x1), 20 (x2): mean 10.83, the search runs over 5..21 and
  // its best score is at 10, so the cut keeps 5 and 10 together.
  TBitmap* b = Make(6, 1);
  const int reds[6] = {40, 40, 40, 80, 160, 160};
  for (int x = 0; x < 6; ++x) Put(b, x, 0, reds[x], 0, 0);
  TRGB pal[2];
  TVLQuantizer q(b, pal, 0, 2);
  ASSERT_EQ(q.ColorsProduced(), 2);
  EXPECT_EQ(pal[0], (TRGB{0, 0, 48}));  // mean 6.25
  EXPECT_EQ(pal[1], (TRGB{0, 0, 160}));
  EXPECT_EQ(q.ColorIndex(Packed(56, 0, 0)), 0);
  EXPECT_EQ(q.ColorIndex(Packed(160, 7, 7)), 1);
  EXPECT_EQ(q.ColorIndex(Packed(120, 0, 0)), 0);  // between the boxes
  EXPECT_EQ(q.ColorIndex(Packed(80, 8, 0)), 0);   // green outside every box
  delete b;
}

TEST(Quantizer, MeansOfBoxesAreRounded) {
  // Two red levels 5-bit 2 and 3 in one box (one colour asked): mean 2.25 rounds to 2;
  // 2.5 rounds to even (2); 2.75 to 3.
  for (auto [n2, n3, want] : {std::tuple{3, 1, 16}, std::tuple{2, 2, 16}, std::tuple{1, 3, 24}}) {
    TBitmap* b = Make(4, 1);
    for (int x = 0; x < 4; ++x) Put(b, x, 0, x < n2 ? 16 : 24, 0, 0);
    (void)n3;
    TRGB pal[1];
    TVLQuantizer q(b, pal, 0, 1);
    EXPECT_EQ(pal[0].R, want);
    delete b;
  }
}

TEST(Quantizer, NeuralNetAbove256) {
  TBitmap* b = Make(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) Put(b, x, y, x * 4, y * 4, (x + y) * 2);
  std::vector<TRGB> pal(300);
  TVLQuantizer q(b, pal.data(), 0, 300, 100);
  EXPECT_EQ(q.Algorithm(), 0);
  EXPECT_EQ(q.SampleFactor(), 1);
  EXPECT_EQ(q.ColorsProduced(), 300);
  // Every pixel maps to a near entry (4096 samples only: a rough fit).
  int worst = 0;
  long total = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      int i = q.ColorIndex(Packed(x * 4, y * 4, (x + y) * 2));
      ASSERT_GE(i, 0);
      ASSERT_LT(i, 300);
      int d = std::abs(pal[size_t(i)].R - x * 4) + std::abs(pal[size_t(i)].G - y * 4) +
              std::abs(pal[size_t(i)].B - (x + y) * 2);
      worst = std::max(worst, d);
      total += d;
    }
  EXPECT_LT(worst, 80);
  EXPECT_LT(total / 4096, 20);
  delete b;
}

TEST(Quantizer, NeuralNetFindsFewColours) {
  const int cols[4][3] = {{200, 30, 40}, {10, 220, 90}, {60, 70, 250}, {250, 250, 250}};
  TBitmap* b = Make(80, 60);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) {
      const int* c = cols[(x / 40) + 2 * (y / 30)];
      Put(b, x, y, c[0], c[1], c[2]);
    }
  std::vector<TRGB> pal(260);
  TVLQuantizer q(b, pal.data(), 0, 260, 100);
  for (auto& c : cols) {
    const TRGB& e = pal[size_t(q.ColorIndex(Packed(c[0], c[1], c[2])))];
    EXPECT_LE(std::abs(e.R - c[0]) + std::abs(e.G - c[1]) + std::abs(e.B - c[2]), 3);
  }
  delete b;
}

TEST(Quantizer, SampleFactors) {
  TBitmap* small = Make(40, 40);  // 1600 pixels
  TBitmap* big = Make(200, 100);  // 20000 pixels
  std::vector<TRGB> pal(257);
  EXPECT_EQ(TVLQuantizer(small, pal.data(), 0, 257, 0).SampleFactor(), 30);
  EXPECT_EQ(TVLQuantizer(small, pal.data(), 0, 257, 100).SampleFactor(), 1);
  EXPECT_EQ(TVLQuantizer(small, pal.data(), 0, 257, 50).SampleFactor(), 15);
  EXPECT_EQ(TVLQuantizer(small, pal.data(), 0, 257, -1).SampleFactor(), 1);
  // Round(13 x 18000 / 148000 + 2) = Round(3.58) = 4.
  EXPECT_EQ(TVLQuantizer(big, pal.data(), 0, 257, -1).SampleFactor(), 4);
  EXPECT_EQ(TVLQuantizer(big, pal.data(), 0, 257, 150).SampleFactor(), 1);
  EXPECT_EQ(TVLQuantizer(big, pal.data(), 0, 256, 0).Algorithm(), 1);
  delete small;
  delete big;
}

TEST(Quantizer, TinyAndEmptyPicturesAreSafe) {
  TBitmap* one = Make(1, 1);
  Put(one, 0, 0, 10, 20, 30);
  std::vector<TRGB> pal(400);
  TVLQuantizer n(one, pal.data(), 0, 400, -1);
  int i = n.ColorIndex(Packed(10, 20, 30));
  EXPECT_LE(std::abs(pal[size_t(i)].R - 10) + std::abs(pal[size_t(i)].G - 20) + std::abs(pal[size_t(i)].B - 30), 6);
  TBitmap empty;
  TRGB p2[4] = {};
  TVLQuantizer e(&empty, p2, 0, 4);
  EXPECT_EQ(e.ColorIndex(Packed(1, 2, 3)), 0);
  TVLQuantizer z(one, nullptr, 0, 0);
  EXPECT_EQ(z.ColorsProduced(), 0);
  delete one;
}
