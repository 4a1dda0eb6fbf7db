#include <gtest/gtest.h>

#include "proc/proc_util.h"
#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/kernels/pixels.h"

using namespace proctest;

TEST(Geometry, QuarterTurnsAndFlipsMatchFixtures24) {
  auto src = LoadPnm("src24.ppm");
  ASSERT_TRUE(src);
  auto cw = LoadPnm("cw24.ppm"), ccw = LoadPnm("ccw24.ppm"), r180 = LoadPnm("r180_24.ppm");
  auto flop = LoadPnm("flop24.ppm"), flip = LoadPnm("flip24.ppm");

  TBitmap out;
  VLRotate90CW(src.get(), &out);
  EXPECT_TRUE(SamePixels(&out, cw.get()));
  VLRotate90CCW(src.get(), &out);
  EXPECT_TRUE(SamePixels(&out, ccw.get()));

  // Positive angles turn counter-clockwise.
  struct {
    int angle;
    TBitmap* want;
  } cases[] = {{90, ccw.get()},  {-90, cw.get()},  {180, r180.get()}, {-180, r180.get()}, {270, cw.get()},
               {450, ccw.get()}, {360, src.get()}, {0, src.get()},    {-720, src.get()}};
  for (auto& c : cases) {
    TBitmap b;
    VLCopyBitmap(src.get(), &b);
    VLRotateBitmap(&b, c.angle, true, clRed);
    EXPECT_TRUE(SamePixels(&b, c.want)) << c.angle;
  }

  TBitmap b;
  VLCopyBitmap(src.get(), &b);
  VLFlip(&b, 0);
  EXPECT_TRUE(SamePixels(&b, flop.get()));
  VLCopyBitmap(src.get(), &b);
  VLFlip(&b, 1);
  EXPECT_TRUE(SamePixels(&b, flip.get()));
  // An unknown direction leaves the picture.
  VLCopyBitmap(src.get(), &b);
  VLFlip(&b, 2);
  EXPECT_TRUE(SamePixels(&b, src.get()));
}

TEST(Geometry, OneBitFlipsAndTurnsMatchFixtures) {
  auto src = LoadPnm("src1.pbm");
  ASSERT_TRUE(src);
  auto flop = LoadPnm("flop1.pbm"), flip = LoadPnm("flip1.pbm"), cw = LoadPnm("cw1.pbm"), r180 = LoadPnm("r180_1.pbm");
  TBitmap b;
  VLCopyBitmap(src.get(), &b);
  VLFlip(&b, 0);
  EXPECT_TRUE(SamePixels(&b, flop.get()));
  // 13 pixels wide: pixel 0 went to pixel 12; the bits past the width stay clear.
  EXPECT_EQ(Bit(&b, 12, 0), Bit(src.get(), 0, 0));
  EXPECT_EQ(b.ScanLine(0)[1] & 0x07, 0);
  VLCopyBitmap(src.get(), &b);
  VLFlip(&b, 1);
  EXPECT_TRUE(SamePixels(&b, flip.get()));

  VLCopyBitmap(src.get(), &b);
  VLRotate1Bit(&b, 1, nullptr, nullptr, -90);
  EXPECT_TRUE(SamePixels(&b, cw.get()));
  VLCopyBitmap(src.get(), &b);
  VLRotateBitmap(&b, 180, false, clWhite);
  EXPECT_TRUE(SamePixels(&b, r180.get()));
  VLCopyBitmap(src.get(), &b);
  VLRotate1Bit(&b, 0, nullptr, nullptr, 90);
  VLRotate1Bit(&b, 0, nullptr, nullptr, -90);
  EXPECT_TRUE(SamePixels(&b, src.get()));
}

TEST(Geometry, OneBitRotationSizeBackgroundAndProgress) {
  auto b = New1(20, 10);  // all black
  Recorder rec;
  VLRotate1Bit(b.get(), 1, rec.Event(), nullptr, 45);
  // co = si = 0.7071: 20 x 0.7071 + 10 x 0.7071 = 21.21.
  EXPECT_EQ(b->Width(), 21);
  EXPECT_EQ(b->Height(), 21);
  EXPECT_EQ(Bit(b.get(), 0, 0), 1);    // corner: background
  EXPECT_EQ(Bit(b.get(), 10, 10), 0);  // centre: the picture
  ASSERT_EQ(rec.Values.size(), 21u);
  EXPECT_EQ(rec.Values.front(), 0);
  EXPECT_EQ(rec.Values.back(), 95);  // 20 x 100 / 21
}

TEST(Geometry, ShearRotationSizeCornersAndProgress) {
  auto b = New24(100, 50);
  Fill(b.get(), 10, 20, 30);
  Recorder rec;
  VLRotateBitmap(b.get(), 30, false, clLime, rec.Event());
  // W1 = 114, d1 = 7, H2 = 108, d2 = 14, H3 = 94, W3 = 112.
  EXPECT_EQ(b->Width(), 112);
  EXPECT_EQ(b->Height(), 94);
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(0, 255, 0));
  EXPECT_EQ(Px(b.get(), 111, 0), Rgb(0, 255, 0));
  EXPECT_EQ(Px(b.get(), 0, 93), Rgb(0, 255, 0));
  EXPECT_EQ(Px(b.get(), 111, 93), Rgb(0, 255, 0));
  EXPECT_EQ(Px(b.get(), 56, 47), Rgb(10, 20, 30));
  // Without anti-aliasing only the two colours occur.
  for (int y = 0; y < 94; ++y)
    for (int x = 0; x < 112; ++x) {
      TRGB c = Px(b.get(), x, y);
      ASSERT_TRUE(c == Rgb(0, 255, 0) || c == Rgb(10, 20, 30)) << x << "," << y;
    }
  // One call before each of H + W1 + H3 = 258 steps.
  ASSERT_EQ(rec.Values.size(), 258u);
  EXPECT_EQ(rec.Values[0], 0);
  EXPECT_EQ(rec.Values[1], 0);  // 100 / 258.5
  EXPECT_EQ(rec.Values[3], 1);  // 300 / 258.5
  EXPECT_EQ(rec.Values.back(), 99);
  for (size_t i = 1; i < rec.Values.size(); ++i) ASSERT_GE(rec.Values[i], rec.Values[i - 1]);

  // The other way round gives the same size.
  auto c = New24(100, 50);
  VLRotateBitmap(c.get(), -30, true, clBlack);
  EXPECT_EQ(c->Width(), 112);
  EXPECT_EQ(c->Height(), 94);
}

TEST(Geometry, AntiAliasedShearExactPixels) {
  // Worked through by hand: 3x1, 1 degree, black background gives 5x2.
  auto b = New24(3, 1);
  SetPx(b.get(), 0, 0, 10, 10, 10);
  SetPx(b.get(), 1, 0, 200, 200, 200);
  SetPx(b.get(), 2, 0, 200, 200, 200);
  VLRotateBitmap(b.get(), 1, true, clBlack);
  ASSERT_EQ(b->Width(), 5);
  ASSERT_EQ(b->Height(), 2);
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(10, 10, 10));
  EXPECT_EQ(Px(b.get(), 0, 1), Rgb(1, 1, 1));
  EXPECT_EQ(Px(b.get(), 1, 1), Rgb(11, 11, 11));
  // 45 degrees of a white picture on a black background stays in range and blends.
  auto w = New24(40, 30);
  Fill(w.get(), 255, 255, 255);
  VLRotateBitmap(w.get(), 45, true, clBlack);
  bool between = false;
  for (int y = 0; y < w->Height(); ++y)
    for (int x = 0; x < w->Width(); ++x) {
      TRGB c = Px(w.get(), x, y);
      if (c.R > 0 && c.R < 255) between = true;
    }
  EXPECT_TRUE(between);
}

TEST(Geometry, ResizeCanvas) {
  auto b = New24(3, 2);
  Fill(b.get(), 1, 2, 3);
  VLResizeCanvas(b.get(), 5, 4, clBlue);
  ASSERT_EQ(b->Width(), 5);
  ASSERT_EQ(b->Height(), 4);
  EXPECT_EQ(Px(b.get(), 2, 1), Rgb(1, 2, 3));
  EXPECT_EQ(Px(b.get(), 3, 0), Rgb(0, 0, 255));
  EXPECT_EQ(Px(b.get(), 0, 2), Rgb(0, 0, 255));
  VLResizeCanvas(b.get(), 0, 10, clBlue);
  VLResizeCanvas(b.get(), -3, 10, clBlue);
  EXPECT_EQ(b->Width(), 5);
  EXPECT_EQ(b->Height(), 4);
  VLResizeCanvas(b.get(), 2, 1, clBlue);
  EXPECT_EQ(Px(b.get(), 1, 0), Rgb(1, 2, 3));

  auto m = New1(3, 1);
  VLResizeCanvas(m.get(), 12, 2, clWhite);
  EXPECT_EQ(Bit(m.get(), 2, 0), 0);
  EXPECT_EQ(Bit(m.get(), 3, 0), 1);
  EXPECT_EQ(Bit(m.get(), 11, 1), 1);
}

TEST(Geometry, ResampleSizesAndPaths) {
  auto b = New24(200, 100);
  Fill(b.get(), 40, 80, 120);
  VLResampleToSize(b.get(), -1, 50, rfTriangle);
  EXPECT_EQ(b->Width(), 100);
  EXPECT_EQ(b->Height(), 50);
  VLResampleToSize(b.get(), -1, -1, rfTriangle);
  EXPECT_EQ(b->Width(), 100);
  VLResampleToSize(b.get(), 0, 10, rfNone);
  EXPECT_EQ(b->Width(), 100);

  // The filter path is VLResampleBitmap itself.
  auto s = New24(2, 1);
  SetPx(s.get(), 1, 0, 255, 255, 255);
  Recorder rec;
  VLResampleToSize(s.get(), 4, 1, rfTriangle, rec.Event());
  EXPECT_EQ(Px(s.get(), 0, 0), Rgb(0, 0, 0));
  EXPECT_EQ(Px(s.get(), 1, 0), Rgb(128, 128, 128));
  EXPECT_EQ(Px(s.get(), 3, 0), Rgb(255, 255, 255));
  EXPECT_FALSE(rec.Values.empty());

  // rfNone: area average.
  auto h = New24(4, 2);
  SetPx(h.get(), 0, 0, 100, 0, 0);
  SetPx(h.get(), 1, 1, 101, 0, 0);
  VLResampleToSize(h.get(), 2, 1, rfNone);
  ASSERT_EQ(h->Width(), 2);
  EXPECT_EQ(Px(h.get(), 0, 0), Rgb(50, 0, 0));  // 201 / 4 = 50.25
  EXPECT_EQ(Px(h.get(), 1, 0), Rgb(0, 0, 0));

  // 1-bit pictures stay 1-bit.
  auto m = New1(8, 8);
  for (int y = 0; y < 8; ++y) m->ScanLine(y)[0] = 0xF0;
  VLResampleToSize(m.get(), 4, 2, rfLanczos3);
  EXPECT_EQ(m->PixelFormat(), pf1bit);
  EXPECT_EQ(Bit(m.get(), 0, 0), 1);
  EXPECT_EQ(Bit(m.get(), 1, 1), 1);
  EXPECT_EQ(Bit(m.get(), 2, 0), 0);
}

TEST(Geometry, WideAnglesAreQuarterTurnsThenTheShear) {
  // Each angle is its quarter turns counter-clockwise, one after the other, then the rest
  // within 45 degrees: so 330 is four turns (none) and -30, 250 three turns and -20.
  auto src = New24(37, 23);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) SetPx(src.get(), x, y, x * 7, y * 11, (x * y) & 255);
  for (int angle : {330, 250, 300, 315, 135, -330, -250, -200, -315}) {
    int rest = angle % 360, turns = 0;
    for (; rest > 45; rest -= 90) ++turns;
    for (; rest < -45; rest += 90) --turns;
    TBitmap want;
    VLCopyBitmap(src.get(), &want);
    for (; turns > 0; --turns) {
      TBitmap t;
      VLRotate90CCW(&want, &t);
      VLCopyBitmap(&t, &want);
    }
    for (; turns < 0; ++turns) {
      TBitmap t;
      VLRotate90CW(&want, &t);
      VLCopyBitmap(&t, &want);
    }
    VLRotateBitmap(&want, rest, true, clRed);
    TBitmap got;
    VLCopyBitmap(src.get(), &got);
    VLRotateBitmap(&got, angle, true, clRed);
    EXPECT_TRUE(SamePixels(&got, &want)) << angle;
  }
}

TEST(Geometry, HalftoneShrinkRoundsItsMeans) {
  // Means 0.5, 1.5, 127.5 and 254.5 round up; 1/3 rounds down, 2/3 up.
  auto a = New24(8, 1);
  const int v[8] = {0, 1, 1, 2, 127, 128, 254, 255};
  for (int x = 0; x < 8; ++x) SetPx(a.get(), x, 0, v[x], 255 - v[x], v[x] / 2);
  auto b = New24(4, 1);
  VLStretchHalftone(a.get(), b.get());
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(1, 255, 0));
  EXPECT_EQ(Px(b.get(), 1, 0), Rgb(2, 254, 1));
  EXPECT_EQ(Px(b.get(), 2, 0), Rgb(128, 128, 64));
  EXPECT_EQ(Px(b.get(), 3, 0), Rgb(255, 1, 127));
  auto c = New24(3, 1);
  SetPx(c.get(), 0, 0, 0, 0, 0);
  SetPx(c.get(), 1, 0, 0, 1, 1);
  SetPx(c.get(), 2, 0, 1, 1, 0);
  auto d = New24(1, 1);
  VLStretchHalftone(c.get(), d.get());
  EXPECT_EQ(Px(d.get(), 0, 0), Rgb(0, 1, 0));
}

TEST(Geometry, OneBitHalftoneShrinkAtExactlyHalfWhiteIsWhite) {
  auto a = New1(8, 2);
  a->ScanLine(0)[0] = 0xAA;  // 1 0 1 0 1 0 1 0
  a->ScanLine(1)[0] = 0x5C;  // 0 1 0 1 1 1 0 0
  auto b = New1(4, 1);
  VLStretchHalftone(a.get(), b.get());
  // Each 2 x 2 block: 2, 2, 3 and 1 of 4 white.
  EXPECT_EQ(Bit(b.get(), 0, 0), 1);
  EXPECT_EQ(Bit(b.get(), 1, 0), 1);
  EXPECT_EQ(Bit(b.get(), 2, 0), 1);
  EXPECT_EQ(Bit(b.get(), 3, 0), 0);
}
