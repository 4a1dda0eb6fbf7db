#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "vistrel/proc/kernels/resample.h"

namespace {

TBitmap* MakeBitmap(int w, int h, const std::vector<int>& bgr) {
  auto* b = new TBitmap;
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  size_t i = 0;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b->ScanLine(y);
    for (int k = 0; k < w * 3; ++k) row[k] = uint8_t(i < bgr.size() ? bgr[i++] : 0);
  }
  return b;
}

std::vector<int> Pixels(TBitmap* b) {
  std::vector<int> v;
  for (int y = 0; y < b->Height(); ++y) {
    const uint8_t* row = b->ScanLine(y);
    for (int k = 0; k < b->Width() * 3; ++k) v.push_back(row[k]);
  }
  return v;
}

std::vector<int> Gray(std::initializer_list<int> levels) {
  std::vector<int> v;
  for (int g : levels) v.insert(v.end(), {g, g, g});
  return v;
}

}  // namespace

// Every filter, enlarging and shrinking on each axis, against values computed by the
// fixture script from the kernel formulas.
TEST(Resample, MatchesIndependentlyComputedPictures) {
  std::ifstream in(std::string(VL_TESTDATA) + "/resample/expected.txt");
  ASSERT_TRUE(in.good());
  std::string line;
  int cases = 0;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    int filter, sw, sh, dw, dh;
    s >> filter >> sw >> sh >> dw >> dh;
    std::vector<int> src(size_t(sw * sh * 3)), want(size_t(dw * dh * 3));
    for (int& v : src) s >> v;
    for (int& v : want) s >> v;
    TBitmap* a = MakeBitmap(sw, sh, src);
    TBitmap* b = MakeBitmap(dw, dh, {});
    VLResampleBitmap(a, b, TResampleFilter(filter), nullptr, nullptr);
    std::vector<int> got = Pixels(b);
    int diffs = 0, worst = 0;
    for (size_t i = 0; i < got.size(); ++i)
      if (got[i] != want[i]) ++diffs, worst = std::max(worst, std::abs(got[i] - want[i]));
    EXPECT_EQ(diffs, 0) << "worst " << worst << " filter " << filter << " " << sw << "x" << sh << " -> " << dw << "x"
                        << dh;
    delete a;
    delete b;
    ++cases;
  }
  EXPECT_EQ(cases, 36);
}

TEST(Resample, KernelValues) {
  EXPECT_DOUBLE_EQ(VLTriangleFilter(-0.25), 0.75);
  EXPECT_DOUBLE_EQ(VLHermiteFilter(0.5), 0.5);
  EXPECT_DOUBLE_EQ(VLBellFilter(1.0), 0.125);
  EXPECT_DOUBLE_EQ(VLBSplineFilter(0), 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(VLBSplineFilter(1.5), 0.125 / 6);
  EXPECT_DOUBLE_EQ(VLMitchellFilter(0), 16.0 / 18.0);
  EXPECT_NEAR(VLMitchellFilter(1), 1.0 / 18.0, 1e-15);
  EXPECT_EQ(VLMitchellFilter(2), 0);
  EXPECT_DOUBLE_EQ(VLLanczos3Filter(0), 1);
  const double pi = 3.14159265358979323846;
  EXPECT_NEAR(VLLanczos3Filter(1.5), (-1 / (pi * 1.5)) * (1 / (pi * 0.5)), 1e-12);
  EXPECT_EQ(VLLanczos3Filter(3), 0);
  EXPECT_EQ(VLSinc(0), 1);
  EXPECT_EQ(VLFilterTable[rfBell].Support, 1.5);
  EXPECT_EQ(VLFilterTable[rfLanczos3].Support, 3.0);
  EXPECT_EQ(VLFilterTable[rfNone].Filter, nullptr);
}

TEST(Resample, EdgeCases) {
  // Black, white enlarged to four columns: the last centre mirrors source 1 twice.
  TBitmap* a = MakeBitmap(2, 1, Gray({0, 255}));
  TBitmap* b = MakeBitmap(4, 1, {});
  VLResampleBitmap(a, b, rfTriangle, nullptr, nullptr);
  EXPECT_EQ(Pixels(b), Gray({0, 128, 255, 255}));
  delete a;
  delete b;

  // Bell at scale 1 softens: 0.75 of the pixel and 0.125 of each neighbour.
  a = MakeBitmap(3, 1, Gray({0, 200, 40}));
  b = MakeBitmap(3, 1, {});
  VLResampleBitmap(a, b, rfBell, nullptr, nullptr);
  // 0.75*0 + 0.125*200 + 0.125*200 (mirror) = 50; 0.125*0 + 150 + 5 = 155; 25 + 30 + 5 = 60
  EXPECT_EQ(Pixels(b), Gray({50, 155, 60}));
  delete a;
  delete b;

  // A weight of exactly 0 at the support's edge adds no entry.
  std::vector<TVLContributorList> lists;
  VLBuildContributors(lists, 5, 5, rfTriangle);
  ASSERT_EQ(lists.size(), 5u);
  for (auto& l : lists) EXPECT_EQ(l.Count(), 1);
  VLBuildContributors(lists, 8, 4, rfTriangle);  // shrinking by 2: three entries each
  EXPECT_EQ(lists[1].Count(), 3);
  EXPECT_EQ(lists[1].Entries[0].Pixel, 1);
  EXPECT_DOUBLE_EQ(lists[1].Entries[1].Weight, 0.5);

  // Not 24 bits: nothing happens.
  a = MakeBitmap(2, 2, Gray({1, 2, 3, 4}));
  a->SetPixelFormat(pf1bit);
  b = MakeBitmap(3, 3, Gray({9, 9, 9, 9, 9, 9, 9, 9, 9}));
  VLResampleBitmap(a, b, rfHermite, nullptr, nullptr);
  EXPECT_EQ(Pixels(b), Gray({9, 9, 9, 9, 9, 9, 9, 9, 9}));
  delete a;
  delete b;
}

TEST(Resample, ProgressRunsOverBothPasses) {
  TBitmap* a = MakeBitmap(10, 6, {});
  TBitmap* b = MakeBitmap(4, 9, {});
  std::vector<int> seen;
  TObject sender;
  VLResampleBitmap(a, b, rfMitchell, &sender, [&](TObject* s, int p) {
    EXPECT_EQ(s, &sender);
    seen.push_back(p);
  });
  // 6 source rows then 4 target columns, each as done x 100 / 10.5.
  ASSERT_EQ(seen.size(), 10u);
  EXPECT_EQ(seen[0], 9);
  EXPECT_EQ(seen[5], 57);
  EXPECT_EQ(seen[9], 95);
  delete a;
  delete b;
}

TEST(Resample, ZoomFiltersOnlyWhenEnlarging) {
  std::vector<int> src;
  for (int i = 0; i < 4 * 3 * 3; ++i) src.push_back((i * 29) % 251);
  TBitmap* a = MakeBitmap(4, 3, src);
  TBitmap* b1 = MakeBitmap(9, 7, {});
  TBitmap* b2 = MakeBitmap(9, 7, {});
  int calls = 0;
  VLResampleBitmap(a, b1, rfBSpline, nullptr, nullptr);
  VLResampleZoom(a, b2, rfBSpline, nullptr, [&](TObject*, int) { ++calls; });
  EXPECT_EQ(Pixels(b1), Pixels(b2));
  EXPECT_EQ(calls, 3 + 9);
  delete b1;
  delete b2;
  delete a;

  // Shrinking: area averages, no progress.
  a = MakeBitmap(4, 2, Gray({10, 30, 100, 200, 50, 70, 0, 100}));
  TBitmap* b = MakeBitmap(2, 1, {});
  calls = 0;
  VLResampleZoom(a, b, rfLanczos3, nullptr, [&](TObject*, int) { ++calls; });
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(Pixels(b), Gray({40, 100}));
  delete a;
  delete b;
}

// Pictures tall enough that the intermediate rows are kept in a ring that wraps around,
// against the two passes worked straight from the contributor lists.
TEST(Resample, TallPicturesGiveTheTwoPassesPixels) {
  auto store = [](double sum) { return sum > 255 ? 255 : sum < 0 ? 0 : int(std::nearbyint(sum)); };
  const int sizes[][4] = {{23, 300, 11, 70}, {19, 200, 19, 611}, {1, 257, 1, 64}, {300, 2, 17, 1}, {8, 1000, 3, 9}};
  uint32_t seed = 11;
  for (int f = rfTriangle; f <= rfMitchell; ++f)
    for (const auto& s : sizes) {
      const int sw = s[0], sh = s[1], dw = s[2], dh = s[3];
      std::vector<int> src(size_t(sw) * sh * 3);
      for (int& v : src) v = int((seed = seed * 1664525u + 1013904223u) >> 24);
      std::vector<TVLContributorList> cols, rows;
      VLBuildContributors(cols, sw, dw, TResampleFilter(f));
      VLBuildContributors(rows, sh, dh, TResampleFilter(f));
      std::vector<int> temp(size_t(dw) * sh * 3), want(size_t(dw) * dh * 3);
      for (int y = 0; y < sh; ++y)
        for (int x = 0; x < dw; ++x)
          for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (const TVLContributor& e : cols[size_t(x)].Entries)
              sum += e.Weight * src[(size_t(y) * sw + e.Pixel) * 3 + c];
            temp[(size_t(y) * dw + x) * 3 + c] = store(sum);
          }
      for (int y = 0; y < dh; ++y)
        for (int k = 0; k < dw * 3; ++k) {
          double sum = 0;
          for (const TVLContributor& e : rows[size_t(y)].Entries) sum += e.Weight * temp[size_t(e.Pixel) * dw * 3 + k];
          want[size_t(y) * dw * 3 + k] = store(sum);
        }
      TBitmap* a = MakeBitmap(sw, sh, src);
      TBitmap* b = MakeBitmap(dw, dh, {});
      int calls = 0, last = -1;
      bool rising = true;
      VLResampleBitmap(a, b, TResampleFilter(f), nullptr, [&](TObject*, int p) {
        ++calls;
        rising = rising && p >= last;
        last = p;
      });
      EXPECT_EQ(Pixels(b), want) << "filter " << f << ", " << sw << "x" << sh << " -> " << dw << "x" << dh;
      EXPECT_EQ(calls, sh + dw);
      EXPECT_TRUE(rising);
      delete a;
      delete b;
    }
}
