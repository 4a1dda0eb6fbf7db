// Effect kernels: convolution (against a plain rendering and against Pillow), filter files,
// colour kernels, equalization, bump map, morphological filters, lens and wave.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "proc/proc_util.h"
#include "vistrel/proc/kernels/color.h"
#include "vistrel/proc/kernels/effects.h"

using namespace proctest;

namespace {

std::unique_ptr<TBitmap> Random24(int w, int h, unsigned seed, int levels = 256) {
  auto b = New24(w, h);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int step = 256 / levels;
      SetPx(b.get(), x, y, int(rng() % levels) * step, int(rng() % levels) * step, int(rng() % levels) * step);
    }
  return b;
}

std::unique_ptr<TBitmap> Copy(TBitmap* b) {
  auto c = std::make_unique<TBitmap>();
  c->Assign(b);
  return c;
}

std::unique_ptr<TBitmap> LoadPpm(const std::string& name) {
  std::ifstream f(std::string(VL_TESTDATA) + "/effects/" + name, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxv = 0;
  f >> magic >> w >> h >> maxv;
  f.get();
  if (!f || magic != "P6") return nullptr;
  auto b = New24(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char c[3];
      f.read(reinterpret_cast<char*>(c), 3);
      SetPx(b.get(), x, y, c[0], c[1], c[2]);
    }
  return f ? std::move(b) : nullptr;
}

// The convolution as its description reads: products in 64 bits, rows and columns clamped
// to the picture, truncating division, results from the untouched picture.
void PlainFilter(TBitmap* b, int x1, int y1, int x2, int y2, const TVLUserFilter& f) {
  auto src = Copy(b);
  const int64_t d = f.Divisor == 0 ? 1 : f.Divisor;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x)
      for (int ch = 0; ch < 3; ++ch) {
        int64_t s = 0;
        for (int j = 0; j < 3; ++j)
          for (int i = 0; i < 3; ++i) {
            const int yy = std::clamp(y + j - 1, 0, b->Height() - 1), xx = std::clamp(x + i - 1, 0, b->Width() - 1);
            s += int64_t(f.Coeffs[size_t(j * 3 + i)]) * src->ScanLine(yy)[xx * 3 + ch];
          }
        b->ScanLine(y)[x * 3 + ch] = uint8_t(std::clamp<int64_t>(s / d, 0, 255));
      }
}

std::string TempName(const char* tag) { return std::string(VL_BUILD_DIR) + "/effects_" + tag + ".flt"; }

}  // namespace

TEST(Convolution, PresetsOnKnownPictures) {
  // A white dot blurred: 255 div 9 over its 3x3 neighbourhood; rows written earlier must not
  // feed later ones.
  auto b = New24(7, 7);
  SetPx(b.get(), 3, 3, 255, 255, 255);
  VLApplyFilter3x3(b.get(), 0, 0, 6, 6, VLPresetFilters[1]);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 7; ++x) {
      const int v = (std::abs(x - 3) <= 1 && std::abs(y - 3) <= 1) ? 28 : 0;
      EXPECT_EQ(Px(b.get(), x, y), Rgb(v, v, v)) << x << "," << y;
    }
  // A dot in the corner is read again for the missing neighbours: 4, 2 and 1 times.
  auto corner = New24(4, 4);
  SetPx(corner.get(), 0, 0, 255, 0, 90);
  VLApplyFilter3x3(corner.get(), 0, 0, 3, 3, VLPresetFilters[1]);
  EXPECT_EQ(Px(corner.get(), 0, 0), Rgb(113, 0, 40));
  EXPECT_EQ(Px(corner.get(), 1, 0), Rgb(56, 0, 20));
  EXPECT_EQ(Px(corner.get(), 0, 1), Rgb(56, 0, 20));
  EXPECT_EQ(Px(corner.get(), 1, 1), Rgb(28, 0, 10));
  // "None" with divisor 0 is the identity; "Edges" on a flat picture is black.
  auto r = Random24(9, 5, 1);
  auto before = Copy(r.get());
  VLApplyFilter3x3(r.get(), 0, 0, 8, 4, VLPresetFilters[0]);
  EXPECT_TRUE(SamePixels(r.get(), before.get()));
  auto flat = New24(6, 4);
  Fill(flat.get(), 100, 150, 200);
  VLApplyFilter3x3(flat.get(), -3, -3, 100, 100, VLPresetFilters[2]);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(Px(flat.get(), x, y), Rgb(0, 0, 0));
  // One row reports 66 once.
  Recorder rec;
  VLApplyFilter3x3(r.get(), 0, 2, 8, 2, VLPresetFilters[1], rec.Event());
  EXPECT_EQ(rec.Values, std::vector<int>({66}));
}

TEST(Convolution, EveryPathMatchesThePlainRendering) {
  // Presets, the vector paths (divisor 1, small divisors in single precision, large divisors
  // in integers) and the 64-bit path of coefficients beyond 16 bits, whose sums overflow 32.
  std::vector<TVLUserFilter> filters(VLPresetFilters, VLPresetFilters + VLPresetFilterCount);
  filters.push_back({{3, -7, 11, 0, 5, -2, 9, 1, -4}, -7});
  filters.push_back({{32767, -32768, 1000, 5, 5, 5, -1, 2, 3}, 1 << 24});
  filters.push_back({{INT32_MAX, INT32_MIN, INT32_MAX, 7, INT32_MAX, -3, INT32_MIN, 1, 0}, INT32_MAX});
  filters.push_back(
      {{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}, INT32_MIN});
  filters.push_back({{100000, 0, 0, 0, -99999, 0, 0, 0, 0}, 3});
  for (size_t i = 0; i < filters.size(); ++i) {
    for (const auto& rect :
         std::vector<std::array<int, 4>>{{0, 0, 30, 16}, {1, 0, 1, 16}, {5, 3, 29, 9}, {30, 16, 30, 16}}) {
      auto got = Random24(31, 17, unsigned(i + 7));
      auto want = Copy(got.get());
      VLApplyFilter3x3(got.get(), rect[0], rect[1], rect[2], rect[3], filters[i]);
      PlainFilter(want.get(), rect[0], rect[1], rect[2], rect[3], filters[i]);
      EXPECT_TRUE(SamePixels(got.get(), want.get())) << "filter " << i << " rect " << rect[0] << "," << rect[1];
    }
  }
  // A one-pixel-wide picture has no inner columns.
  auto thin = Random24(1, 6, 3);
  auto want = Copy(thin.get());
  VLApplyFilter3x3(thin.get(), 0, 0, 0, 5, filters[9]);
  PlainFilter(want.get(), 0, 0, 0, 5, filters[9]);
  EXPECT_TRUE(SamePixels(thin.get(), want.get()));
}

TEST(Convolution, AgreesWithPillowWithinItsRounding) {
  auto b = LoadPpm("photo.ppm");
  auto pil = LoadPpm("kernel.ppm");
  ASSERT_TRUE(b && pil);
  const TVLUserFilter f{{1, 2, 0, 3, 4, -1, 0, 1, 2}, 12};
  VLApplyFilter3x3(b.get(), 0, 0, b->Width() - 1, b->Height() - 1, f);
  int exact = 0, lower = 0;
  // Pillow leaves the outermost rows and columns unfiltered.
  for (int y = 1; y < b->Height() - 1; ++y)
    for (int x = 1; x < b->Width() - 1; ++x)
      for (int ch = 0; ch < 3; ++ch) {
        const int ours = b->ScanLine(y)[x * 3 + ch], theirs = pil->ScanLine(y)[x * 3 + ch];
        ASSERT_TRUE(ours == theirs || ours == theirs - 1) << x << "," << y << ": " << ours << " vs " << theirs;
        (ours == theirs ? exact : lower)++;
      }
  EXPECT_GT(exact, 0);
  EXPECT_GT(lower, 0);  // truncation, not rounding
}

TEST(FilterFiles, RoundTripAndDamagedFiles) {
  const TVLUserFilter f{{-1, 2, INT32_MIN, 4, 5, -6, 7, INT32_MAX, 9}, -300};
  const std::string name = TempName("roundtrip");
  VLSaveFilter(name, f);
  std::ifstream in(name, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 43u);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[1], 3);
  EXPECT_EQ(bytes[2], 3);
  EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + 3, bytes.begin() + 7),
            std::vector<unsigned char>({0xFF, 0xFF, 0xFF, 0xFF}));  // -1, little-endian
  EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + 39, bytes.end()),
            std::vector<unsigned char>({0xD4, 0xFE, 0xFF, 0xFF}));  // -300
  TVLUserFilter back = VLPresetFilters[8];
  EXPECT_TRUE(VLLoadFilter(name, back));
  EXPECT_EQ(back, f);

  auto write = [&](const std::vector<unsigned char>& b) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  };
  TVLUserFilter kept = VLPresetFilters[4];
  // Another header; a file cut inside the record, or inside the header, ends in a read
  // error with nothing of it taken.
  std::vector<unsigned char> bad = bytes;
  bad[2] = 4;
  write(bad);
  EXPECT_FALSE(VLLoadFilter(name, kept));
  write(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 42));
  EXPECT_THROW(VLLoadFilter(name, kept), EReadError);
  write(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 2));
  EXPECT_THROW(VLLoadFilter(name, kept), EReadError);
  EXPECT_EQ(kept, VLPresetFilters[4]);
  // Trailing bytes are not read.
  std::vector<unsigned char> longer = bytes;
  longer.resize(100, 0xAB);
  write(longer);
  EXPECT_TRUE(VLLoadFilter(name, kept));
  EXPECT_EQ(kept, f);
  std::remove(name.c_str());
  EXPECT_THROW(VLLoadFilter(name, kept), EFOpenError);
}

TEST(ColourKernels, KnownPixels) {
  auto b = New24(4, 1);
  auto set = [&](std::vector<TRGB> px) {
    for (int x = 0; x < 4; ++x) SetPx(b.get(), x, 0, px[size_t(x)].R, px[size_t(x)].G, px[size_t(x)].B);
  };
  set({Rgb(10, 250, 128), Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(3, 4, 5)});
  VLAddRGB(b.get(), 0, 0, 2, 0, 20, 10, -200);
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(30, 255, 0));
  EXPECT_EQ(Px(b.get(), 1, 0), Rgb(20, 10, 0));
  EXPECT_EQ(Px(b.get(), 2, 0), Rgb(255, 255, 55));
  EXPECT_EQ(Px(b.get(), 3, 0), Rgb(3, 4, 5));  // outside the rectangle

  // Threshold: at or below low takes the low colour, then above high the high colour (a
  // replaced value too).
  set({Rgb(50, 61, 230), Rgb(90, 200, 221), Rgb(100, 101, 99), Rgb(0, 255, 128)});
  VLThreshold(b.get(), 0, 0, 3, 0, 0x323C46 /* 50, 60, 70 */, 0xC8D2DC /* 200, 210, 220 */, 0xFA0203 /* 250, 2, 3 */,
              0x07FBFC /* 7, 251, 252 */);
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(7, 61, 252));
  EXPECT_EQ(Px(b.get(), 1, 0), Rgb(90, 200, 252));
  EXPECT_EQ(Px(b.get(), 2, 0), Rgb(100, 101, 99));
  EXPECT_EQ(Px(b.get(), 3, 0), Rgb(7, 251, 128));
  set({Rgb(100, 101, 5), Rgb(90, 200, 221), Rgb(0, 0, 0), Rgb(1, 2, 3)});
  auto before = Copy(b.get());
  VLThreshold(b.get(), 0, 0, 3, 0, 0, 0xFFFFFF, 0xFFFFFF, 0);  // black to white: nothing
  EXPECT_TRUE(SamePixels(b.get(), before.get()));
  VLThreshold(b.get(), 0, 0, 3, 0, 0x646464, 0xFFFFFF, 0, 0xFFFFFF);
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(0, 101, 0));
  EXPECT_EQ(Px(b.get(), 1, 0), Rgb(0, 200, 221));

  // Levels: white point 128 scales by 255 / 128, rounded; a black point shifts first.
  set({Rgb(100, 128, 1), Rgb(200, 64, 0), Rgb(30, 100, 255), Rgb(7, 7, 7)});
  VLEqualizeRange(b.get(), 0, 0, 1, 0, 0, 0x808080);
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(199, 255, 2));
  EXPECT_EQ(Px(b.get(), 1, 0), Rgb(255, 128, 0));  // 64 x 255 / 128 = 127.5: to even
  VLEqualizeRange(b.get(), 2, 0, 3, 0, 0x320000 /* red 50 */, 0x00FFFF /* red 0 counts as 1 */);
  EXPECT_EQ(Px(b.get(), 2, 0), Rgb(0, 100, 255));
  EXPECT_EQ(Px(b.get(), 3, 0), Rgb(0, 7, 7));
  set({Rgb(201, 100, 50), Rgb(255, 0, 0), Rgb(128, 128, 128), Rgb(255, 0, 0)});
  VLEqualizeRange(b.get(), 0, 0, 3, 0, 0x010101, 0);  // white 0 counts as 1, equal to black
  EXPECT_EQ(Px(b.get(), 1, 0), Rgb(255, 0, 0));

  // HSV: red turned by 120 is green; hue is clamped at 359, not wrapped.
  VLAdjustHSV(b.get(), 1, 0, 1, 0, 120, 0, 0);
  EXPECT_EQ(Px(b.get(), 1, 0), Rgb(0, 255, 0));
  VLAdjustHSV(b.get(), 3, 0, 3, 0, 370, 0, 0);
  EXPECT_EQ(Px(b.get(), 3, 0), Rgb(255, 0, 5));
  VLAdjustHSV(b.get(), 3, 0, 3, 0, 0, 0, INT_MIN);
  EXPECT_EQ(Px(b.get(), 3, 0), Rgb(0, 0, 0));
  // HSL: no saturation leaves the lightness (251 / 510 of full), full lightness white.
  VLAdjustHSL(b.get(), 0, 0, 0, 0, 0, -100, 0);
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(125, 125, 125));
  VLAdjustHSL(b.get(), 2, 0, 2, 0, 0, 0, 100);
  EXPECT_EQ(Px(b.get(), 2, 0), Rgb(255, 255, 255));
}

TEST(AutoEqualize, MeansAndLevelTables) {
  // 16 x 16: the left half 60, the right half 180, one pixel 120 in the dark half.
  auto b = New24(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const int v = x < 8 ? 60 : 180;
      SetPx(b.get(), x, y, v, v, v);
    }
  SetPx(b.get(), 3, 3, 120, 120, 120);
  Recorder rec;
  VLAutoEqualize(b.get(), 0, 0, 15, 15, rec.Event());
  // Its level lies above its dark 3x3 mean: it takes the left table, 127.
  EXPECT_EQ(Px(b.get(), 3, 3), Rgb(127, 127, 127));
  // Its neighbours, and the columns along the edge, take their 3x3 means.
  EXPECT_EQ(Px(b.get(), 2, 2), Rgb(66, 66, 66));
  EXPECT_EQ(Px(b.get(), 4, 4), Rgb(66, 66, 66));
  EXPECT_EQ(Px(b.get(), 7, 10), Rgb(100, 100, 100));
  EXPECT_EQ(Px(b.get(), 8, 10), Rgb(140, 140, 140));
  EXPECT_EQ(Px(b.get(), 0, 0), Rgb(60, 60, 60));
  EXPECT_EQ(Px(b.get(), 15, 15), Rgb(180, 180, 180));
  ASSERT_EQ(rec.Values.size(), 16u);
  EXPECT_EQ(rec.Values.back(), 96);
  // Fewer than 256 pixels: the level loop would never end; the picture stays.
  auto small = Random24(15, 17, 5);
  auto before = Copy(small.get());
  VLAutoEqualize(small.get(), 0, 0, 14, 16);
  EXPECT_TRUE(SamePixels(small.get(), before.get()));
}

TEST(BumpMap, LightOnAFlatPicture) {
  auto b = New24(9, 3);
  Fill(b.get(), 100, 100, 100);
  auto before = Copy(b.get());
  VLBumpMap(b.get(), 0, 0, 8, 2, 2, 1, 0, 4, 0xFFFFFF, 0);  // no light width: nothing
  EXPECT_TRUE(SamePixels(b.get(), before.get()));
  // Nothing kept, light colour (255, 128, 0) centred at (2, 1), 4 wide: full light under it,
  // T = 128 two columns away (u = -0.5), none four columns away.
  VLBumpMap(b.get(), 0, 0, 8, 2, 2, 1, 4, 4, 0xFF8000, 0);
  EXPECT_EQ(Px(b.get(), 2, 1), Rgb(255, 128, 0));
  EXPECT_EQ(Px(b.get(), 4, 1), Rgb(128, 64, 0));
  EXPECT_EQ(Px(b.get(), 0, 1), Rgb(128, 64, 0));
  EXPECT_EQ(Px(b.get(), 6, 1), Rgb(0, 0, 0));
  // Half kept under a light of 102: 50 + 127.5 x 102 / 255 = 101.
  Fill(b.get(), 100, 100, 100);
  VLBumpMap(b.get(), 0, 0, 8, 2, 2, 1, 4, 4, 0x666666, 50);
  EXPECT_EQ(Px(b.get(), 2, 1), Rgb(101, 101, 101));
  // Relief: a bright column to the right of the light's centre tilts the light away.
  Fill(b.get(), 0, 0, 0);
  for (int y = 0; y < 3; ++y) SetPx(b.get(), 3, y, 200, 200, 200);
  VLBumpMap(b.get(), 0, 0, 8, 2, 2, 1, 4, 4, 0xFFFFFF, 0);
  // dx = lum(3) - lum(1) = 198: i = 255 at the dome's rim, T = 256 x (1 - 127 / 128) = 2.
  EXPECT_EQ(Px(b.get(), 2, 1), Rgb(2, 2, 2));
}

namespace {

// The morphological pass as its description reads: the window scanned row by row for the
// first strictly better luminance.
void PlainMorphPass(TBitmap* b, int x1, int y1, int x2, int y2, int size, bool max) {
  auto src = Copy(b);
  auto lum = [&](int x, int y) {
    const uint8_t* p = src->ScanLine(y) + 3 * x;
    return VLLuminance(p[2], p[1], p[0]);
  };
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      int best = max ? 0 : 255, bx = x, by = y;
      for (int wy = std::max(y - size, y1); wy <= std::min(y + size, y2); ++wy)
        for (int wx = std::max(x - size, x1); wx <= std::min(x + size, x2); ++wx) {
          const int l = lum(wx, wy);
          if (max ? l > best : l < best) {
            best = l;
            bx = wx;
            by = wy;
          }
        }
      const uint8_t* s = src->ScanLine(by) + 3 * bx;
      SetPx(b, x, y, s[2], s[1], s[0]);
    }
}

}  // namespace

TEST(MorphFilter, MatchesTheWindowScan) {
  // A dark dot spread by the minimum.
  auto dot = New24(5, 5);
  Fill(dot.get(), 200, 200, 200);
  SetPx(dot.get(), 2, 2, 10, 20, 30);
  VLMorphFilter(dot.get(), 0, 0, 4, 4, 1, 1);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(Px(dot.get(), x, y),
                (std::abs(x - 2) <= 1 && std::abs(y - 2) <= 1) ? Rgb(10, 20, 30) : Rgb(200, 200, 200));
  // Few levels, so windows tie; colours of luminance 0 that differ, so a dark window keeps
  // its centre under the maximum.
  const std::vector<TRGB> palette = {Rgb(4, 0, 0),      Rgb(0, 1, 0),       Rgb(0, 0, 13),  Rgb(90, 90, 90),
                                     Rgb(100, 80, 110), Rgb(250, 250, 250), Rgb(0, 255, 0), Rgb(40, 200, 10)};
  std::mt19937 rng(11);
  for (int type = 0; type < 4; ++type)
    for (int size : {-1, 0, 1, 2, 5, 40}) {
      auto got = New24(23, 19);
      for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 23; ++x) {
          // Mostly dark, so that windows of luminance 0 occur.
          const TRGB& c = palette[rng() % 4 == 0 ? rng() % palette.size() : rng() % 3];
          SetPx(got.get(), x, y, c.R, c.G, c.B);
        }
      auto want = Copy(got.get());
      Recorder rec;
      VLMorphFilter(got.get(), 2, 1, 20, 17, size, type, rec.Event());
      if (size >= 0) {
        const bool firstMax = type == 0 || type == 3;
        PlainMorphPass(want.get(), 2, 1, 20, 17, size, firstMax);
        if (type >= 2) PlainMorphPass(want.get(), 2, 1, 20, 17, size, !firstMax);
      }
      EXPECT_TRUE(SamePixels(got.get(), want.get())) << "type " << type << " size " << size;
      // 17 rows a pass; two passes go to the same end, halved.
      ASSERT_EQ(rec.Values.size(), type >= 2 ? 34u : 17u);
      EXPECT_EQ(rec.Values.back(), type >= 2 ? 97 : 97);
      EXPECT_EQ(rec.Values[16], type >= 2 ? 48 : 97);
    }
  auto b = Random24(6, 6, 2);
  auto before = Copy(b.get());
  VLMorphFilter(b.get(), 0, 0, 5, 5, 1, 4);  // no such type
  EXPECT_TRUE(SamePixels(b.get(), before.get()));
  VLMorphFilter(b.get(), 0, 0, 5, 5, INT_MAX, 0);  // a window larger than any picture
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(Px(b.get(), x, y), Px(b.get(), 0, 0));
}

TEST(Lens, RefractsInsideTheEllipse) {
  // Pixel (x, y) holds (20x, 20y, 7).
  auto make = [] {
    auto b = New24(9, 9);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 9; ++x) SetPx(b.get(), x, y, 20 * x, 20 * y, 7);
    return b;
  };
  auto b = make();
  auto orig = make();
  Recorder rec;
  // Box columns and rows 0..7 (8 excluded), half sizes 4.
  VLLens(b.get(), 4, 4, 8, 8, 2.0, rec.Event());
  auto from = [&](int x, int y, int sx, int sy) {
    EXPECT_EQ(Px(b.get(), x, y), Px(orig.get(), sx, sy)) << x << "," << y;
  };
  from(0, 3, 1, 3);
  from(1, 3, 2, 3);
  from(2, 5, 3, 4);
  from(5, 2, 4, 3);
  from(6, 6, 5, 5);
  from(3, 3, 3, 3);
  from(0, 0, 0, 0);  // outside the ellipse
  from(8, 4, 8, 4);  // outside the box
  ASSERT_EQ(rec.Values.size(), 8u);
  EXPECT_EQ(rec.Values.front(), 11);
  EXPECT_EQ(rec.Values.back(), 94);
  // Refraction 1 (and anything below, or NaN) bends nothing; an empty box does nothing.
  for (double r : {1.0, 0.2, std::nan("")}) {
    auto c = make();
    VLLens(c.get(), 4, 4, 8, 8, r);
    EXPECT_TRUE(SamePixels(c.get(), orig.get())) << r;
  }
  auto c = make();
  VLLens(c.get(), 4, 4, 1, 8, 2.0);
  VLLens(c.get(), -100, 4, 8, 8, 2.0);
  EXPECT_TRUE(SamePixels(c.get(), orig.get()));
  // A lens far larger than the picture and of great refraction stays inside it.
  VLLens(c.get(), 4, 4, INT_MAX, INT_MAX, 1e300);
  VLLens(c.get(), 0, 0, 2, 2, 1e300);
}

TEST(Wave, BilinearSourcesFromTheBottomUp) {
  auto b = New24(3, 3);
  Fill(b.get(), 50, 50, 50);
  auto before = Copy(b.get());
  VLWave(b.get(), 0, 4, 0, false);
  EXPECT_TRUE(SamePixels(b.get(), before.get()));
  // Reflective, 3 x 3: the centre stays; (2, 1) reads from x = 1 + 0.7071 between
  // 100 and 200.
  SetPx(b.get(), 1, 1, 100, 100, 100);
  SetPx(b.get(), 2, 1, 200, 200, 200);
  Recorder rec;
  VLWave(b.get(), 1, 4, 0, true, rec.Event());
  EXPECT_EQ(Px(b.get(), 1, 1), Rgb(100, 100, 100));
  EXPECT_EQ(Px(b.get(), 2, 1), Rgb(170, 170, 170));
  EXPECT_EQ(rec.Values, std::vector<int>({0, 33, 66}));
  // One column, rows counted from the bottom: wave row 2 reads 0.15 x (rows 3 and 4 up),
  // the bitmap's rows 1 and 0, next to a missing column that counts 0.
  auto col = New24(1, 5);
  SetPx(col.get(), 0, 0, 100, 0, 0);
  SetPx(col.get(), 0, 1, 201, 0, 0);
  VLWave(col.get(), 3, 10, 30, false);
  EXPECT_EQ(Px(col.get(), 0, 2).R, 45);
}
