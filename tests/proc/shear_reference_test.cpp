// The three-shear rotation against a plain pixel-by-pixel rendering of the same shears, on
// pictures large enough to cross the blocks the fast path works in.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "proc/proc_util.h"
#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/kernels/pixels.h"

using namespace proctest;

namespace {

struct Img {
  int64_t W = 0, H = 0;
  std::vector<TRGB> P;
  Img(int64_t w, int64_t h, TRGB fill) : W(w), H(h), P(size_t(w * h), fill) {}
  TRGB& at(int64_t x, int64_t y) { return P[size_t(y * W + x)]; }
};

uint8_t Mix(int prev, int cur, int v, int w) {
  return VLByteClamp(int(Round((long double)(prev * v + cur * w + 2048) / 4096)));
}
TRGB MixPx(TRGB prev, TRGB cur, int v, int w) {
  return TRGB{Mix(prev.B, cur.B, v, w), Mix(prev.G, cur.G, v, w), Mix(prev.R, cur.R, v, w)};
}

// Rotation by n degrees, -45 <= n <= 45, n != 0, written straight from the shear formulas.
Img Reference(TBitmap* t, int n, bool aa, TRGB bg) {
  const long double a = n * std::numbers::pi_v<long double> / 180;
  const long double tn = std::fabs(std::sin(a / 2) / std::cos(a / 2));
  const long double sn = std::fabs(std::sin(a));
  const int64_t W = t->Width(), H = t->Height();
  const int64_t W1 = Round(H * tn + W + 1);
  const int64_t d1 = Round((W1 - W) * sn);
  const int64_t H2 = Round(W1 * sn + H + 1);
  const int64_t d2 = Round((H2 - H - d1) * tn);
  const int64_t H3 = H2 - 2 * d1;
  const int64_t W3 = Round(H3 * tn + W1 + 1 - 2 * d2);

  Img b1(W1, H, bg);
  for (int64_t i = 0; i < H; ++i) {
    const long double e = (a > 0 ? i : H - i) * tn;
    const int64_t s = Round(e);
    const int v = int(Trunc((e - s) * 4096)), w = int(Trunc(4096 - v));
    TRGB prev = bg;
    for (int64_t x = 0; x < W; ++x) {
      const TRGB cur = Px(t, int(x), int(i));
      if (s + x >= 0 && s + x < W1) b1.at(s + x, i) = aa ? MixPx(prev, cur, v, w) : cur;
      prev = cur;
    }
    if (aa && v > 0 && s + W < W1) b1.at(s + W, i) = MixPx(prev, bg, v, w);
  }
  Img b2(W1, H3, bg);
  for (int64_t j = 0; j < W1; ++j) {
    const long double e = (a > 0 ? W1 - j : j) * sn;
    const int64_t r = Round(e);
    const int v = int(Round((e - r) * 4096)), w = 4096 - v;
    TRGB prev = bg;
    for (int64_t l = 0; l < H; ++l) {
      const int64_t row = l + r - d1;
      if (row < 0 || row >= H3) continue;
      const TRGB cur = b1.at(j, l);
      b2.at(j, row) = aa ? MixPx(prev, cur, v, w) : cur;
      prev = cur;
    }
    const int64_t tail = r - d1 + H;
    if (aa && v > 0 && tail >= 0 && tail < H3) b2.at(j, tail) = MixPx(prev, bg, v, w);
  }
  Img out(W3, H3, bg);
  for (int64_t h = 0; h < H3; ++h) {
    const long double e = (a > 0 ? h : H3 - h) * tn;
    const int64_t r = Round(e);
    const int v = int(Round((e - r) * 4096)), w = 4096 - v;
    TRGB prev = bg;
    for (int64_t f = 0; f < W1; ++f) {
      const int64_t col = f + r - d2;
      if (col < 0 || col >= W3) continue;
      const TRGB cur = b2.at(f, h);
      out.at(col, h) = aa ? MixPx(prev, cur, v, w) : cur;
      prev = cur;
    }
    const int64_t tail = r - d2 + W1;
    if (aa && v > 0 && tail >= 0 && tail < W3) out.at(tail, h) = MixPx(prev, bg, v, w);
  }
  return out;
}

std::unique_ptr<TBitmap> Noise(int w, int h, uint32_t seed) {
  auto b = New24(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1103515245u + 12345u;
      SetPx(b.get(), x, y, int(seed >> 24), int((seed >> 16) & 255), int((seed >> 8) & 255));
    }
  return b;
}

}  // namespace

TEST(Geometry, ShearsMatchAPlainRendering) {
  const TRGB bg = Rgb(40, 90, 200);
  const TColor bgColor = TColor(40 | (90 << 8) | (200 << 16));
  struct Case {
    int Angle, Rest;  // the angle asked for and what is left after the quarter turns
  };
  for (const Case c :
       {Case{30, 30}, Case{-30, -30}, Case{7, 7}, Case{-44, -44}, Case{45, 45}, Case{100, 10}, Case{-170, 10}}) {
    for (bool aa : {false, true}) {
      auto pic = Noise(150, 83, uint32_t(c.Angle * 7 + aa));
      // The quarter turns first, as the rotation does them.
      TBitmap turned;
      VLCopyBitmap(pic.get(), &turned);
      for (int n = c.Angle; n > 45; n -= 90) {
        TBitmap t;
        VLRotate90CCW(&turned, &t);
        VLCopyBitmap(&t, &turned);
      }
      for (int n = c.Angle; n < -45; n += 90) {
        TBitmap t;
        VLRotate90CW(&turned, &t);
        VLCopyBitmap(&t, &turned);
      }
      Img want = Reference(&turned, c.Rest, aa, bg);
      VLRotateBitmap(pic.get(), c.Angle, aa, bgColor);
      ASSERT_EQ(pic->Width(), want.W) << c.Angle;
      ASSERT_EQ(pic->Height(), want.H) << c.Angle;
      int wrong = 0;
      for (int y = 0; y < want.H; ++y)
        for (int x = 0; x < want.W; ++x)
          if (!(Px(pic.get(), x, y) == want.at(x, y))) ++wrong;
      EXPECT_EQ(wrong, 0) << "angle " << c.Angle << (aa ? " anti-aliased" : "");
    }
  }
}
