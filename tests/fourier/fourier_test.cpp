// The Fourier transform image: placement, the transform against a plain DFT and against the
// butterfly recursion, round trips, spectra, cleared zones, limits and progress.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "proc/proc_util.h"
#include "vistrel/proc/kernels/color.h"
#include "vistrel/proc/kernels/fourier.h"
#include "vistrel/proc/vistrelproc.h"

using namespace proctest;

namespace {

std::unique_ptr<TBitmap> Random24(int w, int h, unsigned seed) {
  auto b = New24(w, h);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPx(b.get(), x, y, int(rng() % 256), int(rng() % 200), int(rng() % 97));
  return b;
}

// The gray plane the forward transform starts from: luminance over its maximum, in the
// middle of the square, negated where row + column is odd.
std::vector<float> CentredInput(TBitmap* b, int n) {
  std::vector<float> v(size_t(n) * n, 0.0f);
  const int ox = (n - b->Width()) / 2, oy = (n - b->Height()) / 2;
  int maxv = 1;
  for (int y = 0; y < b->Height(); ++y)
    for (int x = 0; x < b->Width(); ++x) {
      const TRGB p = Px(b, x, y);
      maxv = std::max(maxv, VLLuminance(p.R, p.G, p.B));
    }
  for (int y = 0; y < b->Height(); ++y)
    for (int x = 0; x < b->Width(); ++x) {
      const TRGB p = Px(b, x, y);
      const float f = float(VLLuminance(p.R, p.G, p.B)) / float(maxv);
      v[size_t((y + oy) * n + x + ox)] = ((x + ox + y + oy) & 1) ? -f : f;
    }
  return v;
}

// The one-dimensional transform as described: recursive butterflies from depth 1, the
// bit-reversed exchange, the scale.
struct RecursiveFFT {
  int N, Log2;
  std::vector<double> Sin;
  std::vector<int> Rev;
  float Scale;
  explicit RecursiveFFT(int n) : N(n), Log2(int(std::lround(std::log2(n)))), Sin(size_t(n)), Rev(size_t(n)) {
    for (int i = 0; i < n; ++i) {
      Sin[size_t(i)] = std::sin(6.283185307179587 * i / n);
      int r = 0;
      for (int b = 0; b < Log2; ++b)
        if (i & (1 << b)) r |= 1 << (Log2 - 1 - b);
      Rev[size_t(i)] = r;
    }
    Scale = float(1 / std::sqrt((long double)n));
  }
  void Butterflies(float* re, float* im, double sign, int depth, int start) const {
    const int half = 1 << (Log2 - depth);
    const int k = Rev[size_t(start / half)];
    const double wr = Sin[size_t((k + N / 4) % N)], wi = sign * Sin[size_t(k)];
    for (int m = 0; m < half; ++m) {
      float& ar = re[start + m];
      float& ai = im[start + m];
      float& br = re[start + m + half];
      float& bi = im[start + m + half];
      const float tr = float(double(br) * wr - double(bi) * wi), ti = float(double(br) * wi + double(bi) * wr);
      const float pr = ar, pi = ai;
      ar = pr + tr;
      ai = pi + ti;
      br = pr - tr;
      bi = pi - ti;
    }
    if (depth < Log2) {
      Butterflies(re, im, sign, depth + 1, start);
      Butterflies(re, im, sign, depth + 1, start + half);
    }
  }
  void Run(float* re, float* im, double sign) const {
    if (Log2 > 0) Butterflies(re, im, sign, 1, 0);
    for (int i = 0; i < N; ++i) {
      const int j = Rev[size_t(i)];
      if (i >= j) {
        std::swap(re[i], re[j]);
        std::swap(im[i], im[j]);
      }
    }
    for (int i = 0; i < N; ++i) {
      re[i] *= Scale;
      im[i] *= Scale;
    }
  }
};

int Channel(TBitmap* b, int x, int y, int ch) { return b->ScanLine(y)[x * 3 + ch]; }

}  // namespace

TEST(FourierImage, PlacementAndTheRoundTrip) {
  auto b = Random24(100, 60, 4);
  TVLFtImage ft;
  ASSERT_TRUE(ft.BuildFT(b.get(), 1));
  EXPECT_EQ(ft.Side(), 128);
  EXPECT_EQ(ft.OffsetX(), 14);
  EXPECT_EQ(ft.OffsetY(), 34);
  EXPECT_EQ(ft.Mode(), 1);
  EXPECT_TRUE(ft.Row(TVLFtImage::ftRed, 0) && ft.Row(TVLFtImage::ftBlue, 127));
  EXPECT_EQ(ft.Row(TVLFtImage::ftGray, 0), nullptr);
  TBitmap back;
  ft.GetInverse(&back);
  ASSERT_EQ(back.Width(), 100);
  ASSERT_EQ(back.Height(), 60);
  ASSERT_EQ(back.PixelFormat(), pf24bit);
  // Each channel comes back multiplied by 255 / its largest value (the black border gives
  // the stretch its 0), up to rounding.
  int maxc[3] = {1, 1, 1};
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 100; ++x)
      for (int ch = 0; ch < 3; ++ch) maxc[ch] = std::max(maxc[ch], Channel(b.get(), x, y, ch));
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 100; ++x)
      for (int ch = 0; ch < 3; ++ch) {
        const int want = Channel(b.get(), x, y, ch) * 255 / maxc[ch];
        ASSERT_NEAR(Channel(&back, x, y, ch), want, 1) << x << "," << y << " channel " << ch;
      }
}

TEST(FourierImage, EverySideFromTwoComesBack) {
  // A 2 x 2 picture: the forward planes are the plain DFT, and the round trip stretches
  // 10 200 60 120 to the full range.
  auto two = New24(2, 2);
  const int v[4] = {10, 200, 60, 120};
  for (int i = 0; i < 4; ++i) SetPx(two.get(), i % 2, i / 2, v[i], v[i], v[i]);
  TVLFtImage ft;
  ASSERT_TRUE(ft.BuildFT(two.get(), 2));
  ASSERT_EQ(ft.Side(), 2);
  const std::vector<float> in = CentredInput(two.get(), 2);
  for (int u = 0; u < 2; ++u)
    for (int w = 0; w < 2; ++w) {
      double s = 0;  // the twiddles of a side of 2 are real: +1 and -1
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) s += in[size_t(y * 2 + x)] * (((u * y + w * x) & 1) ? -1 : 1);
      EXPECT_NEAR(ft.Row(TVLFtImage::ftGray, u)[w], s / 2, 1e-6) << u << "," << w;
      EXPECT_EQ(ft.Row(TVLFtImage::ftGray, u)[2 + w], 0.0f) << u << "," << w;
    }
  TBitmap back;
  ft.GetInverse(&back);
  const int want[4] = {0, 255, 67, 147};  // 255 x (v - 10) / 190, truncated
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(Px(&back, i % 2, i / 2).G, want[i], 1) << i;

  // Every side from 2 to 64, square or not, each channel stretched over the square (the
  // black border, where there is one, is its 0).
  for (int s = 2; s <= 64; ++s) {
    const int h = std::max(2, s - s % 3);
    auto b = Random24(s, h, unsigned(s));
    ASSERT_TRUE(ft.BuildFT(b.get(), 1));
    ft.GetInverse(&back);
    const bool border = ft.Side() != s || ft.Side() != h;
    for (int ch = 0; ch < 3; ++ch) {
      int lo = 255, hi = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < s; ++x) {
          lo = std::min(lo, Channel(b.get(), x, y, ch));
          hi = std::max(hi, Channel(b.get(), x, y, ch));
        }
      if (border) lo = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < s; ++x)
          ASSERT_NEAR(Channel(&back, x, y, ch), (Channel(b.get(), x, y, ch) - lo) * 255 / (hi - lo), 1)
              << s << "x" << h << " at " << x << "," << y << " channel " << ch;
    }
  }
}

TEST(FourierImage, ForwardTransformIsTheCentredDFT) {
  auto b = Random24(16, 16, 9);
  TVLFtImage ft;
  ASSERT_TRUE(ft.BuildFT(b.get(), 2));
  ASSERT_EQ(ft.Side(), 16);
  const std::vector<float> in = CentredInput(b.get(), 16);
  const double pi2 = 2 * std::acos(-1.0);
  for (int u = 0; u < 16; ++u)
    for (int v = 0; v < 16; ++v) {
      std::complex<double> s = 0;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) s += double(in[size_t(y * 16 + x)]) * std::polar(1.0, -pi2 * (u * y + v * x) / 16);
      s /= 16;  // 1 / sqrt(16) on each axis
      const float* row = ft.Row(TVLFtImage::ftGray, u);
      EXPECT_NEAR(row[v], s.real(), 2e-6 * std::max(1.0, std::abs(s))) << u << "," << v;
      EXPECT_NEAR(row[16 + v], s.imag(), 2e-6 * std::max(1.0, std::abs(s))) << u << "," << v;
    }
}

TEST(FourierImage, SameBitsAsTheButterflyRecursion) {
  // Rows, then each column through a buffer, in single precision with double twiddles.
  auto b = Random24(45, 20, 12);
  TVLFtImage ft;
  ASSERT_TRUE(ft.BuildFT(b.get(), 2));
  const int n = ft.Side();
  ASSERT_EQ(n, 64);
  std::vector<float> in = CentredInput(b.get(), n);
  std::vector<float> re(in), im(size_t(n) * n, 0.0f);
  RecursiveFFT f(n);
  for (int y = 0; y < n; ++y) f.Run(&re[size_t(y * n)], &im[size_t(y * n)], -1);
  std::vector<float> cr(static_cast<size_t>(n)), ci(static_cast<size_t>(n));
  for (int x = 0; x < n; ++x) {
    for (int y = 0; y < n; ++y) {
      cr[size_t(y)] = re[size_t(y * n + x)];
      ci[size_t(y)] = im[size_t(y * n + x)];
    }
    f.Run(cr.data(), ci.data(), -1);
    for (int y = 0; y < n; ++y) {
      re[size_t(y * n + x)] = cr[size_t(y)];
      im[size_t(y * n + x)] = ci[size_t(y)];
    }
  }
  for (int y = 0; y < n; ++y) {
    const float* row = ft.Row(TVLFtImage::ftGray, y);
    ASSERT_EQ(std::memcmp(row, &re[size_t(y * n)], size_t(n) * 4), 0) << "real parts of row " << y;
    ASSERT_EQ(std::memcmp(row + n, &im[size_t(y * n)], size_t(n) * 4), 0) << "imaginary parts of row " << y;
  }
}

TEST(FourierImage, SpectraAndClearedZones) {
  // A uniform square: only the zero frequency, in the middle.
  auto flat = New24(16, 16);
  Fill(flat.get(), 77, 77, 77);
  TVLFtImage ft;
  ASSERT_TRUE(ft.BuildFT(flat.get(), 2));
  TBitmap spec;
  ft.DrawSpectrum(&spec);
  ASSERT_EQ(spec.Width(), 16);
  ASSERT_EQ(spec.Height(), 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      if (x == 8 && y == 8) EXPECT_GE(Px(&spec, x, y).R, 254);
      else EXPECT_EQ(Px(&spec, x, y), Rgb(0, 0, 0)) << x << "," << y;
    }
  // A quarter at 100 and the rest at 200 come back dark and bright; without the mean the
  // quarter lies farthest from it and comes back bright instead.
  auto quarter = New24(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const int v = (x < 8 && y < 8) ? 100 : 200;
      SetPx(quarter.get(), x, y, v, v, v);
    }
  ASSERT_TRUE(ft.BuildFT(quarter.get(), 2));
  TVLFtImage cleared;
  cleared.Assign(&ft);
  cleared.ClearZone(8, 8, 8, 8);
  TBitmap plain, dark;
  ft.GetInverse(&plain);
  cleared.GetInverse(&dark);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool q = x < 8 && y < 8;
      EXPECT_TRUE(q ? Px(&plain, x, y).G <= 1 : Px(&plain, x, y).G >= 254) << x << "," << y;
      EXPECT_TRUE(q ? Px(&dark, x, y).G >= 254 : Px(&dark, x, y).G <= 1) << x << "," << y;
      EXPECT_EQ(Px(&dark, x, y).R, Px(&dark, x, y).B);
    }
  // Assign copied the planes: the original keeps its mean.
  EXPECT_NE(ft.Row(TVLFtImage::ftGray, 8)[8], 0.0f);
  EXPECT_EQ(cleared.Row(TVLFtImage::ftGray, 8)[8], 0.0f);
  // A zone reaching outside the square is cut to it; nothing left paints black.
  cleared.ClearZone(-5, -5, 1000, 1000);
  cleared.ClearZone(3, 3, 2, 9);
  cleared.DrawSpectrum(&spec);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(Px(&spec, x, y), Rgb(0, 0, 0));
}

TEST(FourierImage, TinyPicturesLimitsAndProgress) {
  // A 1 x 1 picture: a square of side 1 has no butterflies.
  auto one = New24(1, 1);
  SetPx(one.get(), 0, 0, 10, 20, 30);
  TVLFtImage ft;
  ASSERT_TRUE(ft.BuildFT(one.get(), 1));
  EXPECT_EQ(ft.Side(), 1);
  TBitmap out;
  ft.GetInverse(&out);
  EXPECT_EQ(out.Width(), 1);
  EXPECT_EQ(out.Height(), 1);
  ft.DrawSpectrum(&out);
  EXPECT_EQ(out.Width(), 1);

  // Planes beyond the picture memory limit are refused before the old ones go.
  auto small = Random24(10, 16, 1);
  ASSERT_TRUE(ft.BuildFT(small.get(), 2));
  const std::vector<float> row3(ft.Row(TVLFtImage::ftGray, 3), ft.Row(TVLFtImage::ftGray, 3) + 32);
  auto big = New24(300, 300);
  const int64_t limit = TBitmap::MaxBytes();
  TBitmap::SetMaxBytes(1 << 20);
  const bool built = ft.BuildFT(big.get(), 1);
  TBitmap::SetMaxBytes(limit);
  EXPECT_FALSE(built);
  EXPECT_EQ(ft.Side(), 16);
  EXPECT_EQ(ft.Mode(), 2);
  EXPECT_EQ(std::vector<float>(ft.Row(TVLFtImage::ftGray, 3), ft.Row(TVLFtImage::ftGray, 3) + 32), row3);
  auto mono = New1(8, 8);
  EXPECT_FALSE(ft.BuildFT(mono.get(), 1));
  EXPECT_FALSE(ft.BuildFT(small.get(), 3));

  // Progress: once per column of each of the three planes, rising from 0 towards 100.
  Recorder rec;
  ft.OnProgress = rec.Event();
  ASSERT_TRUE(ft.BuildFT(small.get(), 1));
  ASSERT_EQ(rec.Values.size(), 48u);
  EXPECT_EQ(rec.Values.front(), 0);
  EXPECT_EQ(rec.Values[16], 33);
  EXPECT_EQ(rec.Values.back(), 97);
  EXPECT_TRUE(std::is_sorted(rec.Values.begin(), rec.Values.end()));
}

TEST(FourierImage, FlatAndSinglePixelPicturesComeBackByTheirValues) {
  // A uniform square has no range: each channel shows its values as built (over its
  // maximum), times 255, whatever rounding the transforms left.
  TVLFtImage ft;
  TBitmap back;
  auto one = New24(1, 1);
  SetPx(one.get(), 0, 0, 10, 0, 30);
  ASSERT_TRUE(ft.BuildFT(one.get(), 1));
  ft.GetInverse(&back);
  EXPECT_EQ(Px(&back, 0, 0), Rgb(255, 0, 255));
  for (int side : {2, 4, 8, 16, 32}) {
    auto flat = New24(side, side);
    Fill(flat.get(), 77, 0, 200);
    ASSERT_TRUE(ft.BuildFT(flat.get(), 1));
    ft.GetInverse(&back);
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) ASSERT_EQ(Px(&back, x, y), Rgb(255, 0, 255)) << side << ": " << x << "," << y;
    ASSERT_TRUE(ft.BuildFT(flat.get(), 2));
    ft.GetInverse(&back);
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) ASSERT_EQ(Px(&back, x, y), Rgb(255, 255, 255)) << side << ": " << x << "," << y;
  }
}

TEST(FourierImage, ThroughTheProcessingComponent) {
  auto b = Random24(20, 12, 3);
  TVLFtImage ft;
  ASSERT_TRUE(ft.BuildFT(b.get(), 2));
  TBitmap target;
  TVistrelProc proc(nullptr);
  proc.FtShowSpectrum(&ft);  // nothing attached: nothing
  proc.SetAttachedBitmap(&target);
  int changes = 0;
  target.OnChange = [&](TObject*) { ++changes; };
  proc.FtShowSpectrum(&ft);
  EXPECT_EQ(target.Width(), 32);
  EXPECT_EQ(target.Height(), 32);
  proc.FtRestore(&ft);
  EXPECT_EQ(target.Width(), 20);
  EXPECT_EQ(target.Height(), 12);
  EXPECT_GE(changes, 2);
  // Gray mode: the three bytes agree.
  for (int x = 0; x < 20; ++x) EXPECT_EQ(Px(&target, x, 5).R, Px(&target, x, 5).B);
  // The preview dialog is not there yet.
  EXPECT_FALSE(proc.DoPreviews(4000));
}
