// Each kernel's vector build against its plain build, byte for byte: only one of them runs
// in the rest of the suite, whichever the processor picks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "proc/proc_util.h"
#include "vistrel/proc/kernels/color_p.h"
#include "vistrel/proc/kernels/geometry_p.h"
#include "vistrel/proc/kernels/resample_p.h"

using namespace proctest;

namespace {

uint32_t gState = 7;
uint8_t Noise() {
  gState = gState * 1664525u + 1013904223u;
  return uint8_t(gState >> 24);
}

}  // namespace

#if VL_X86_VARIANTS
TEST(Variants, ResampleFiltersGiveThePlainPixels) {
  if (!VLCpuHas(cfAVX2)) GTEST_SKIP() << "no AVX2 here";
  using namespace vlresample;
  // Widths around the vector steps (16 values along x, 32 along y), both directions, and
  // partial groups of rows.
  const int sizes[][2] = {{37, 61}, {61, 37}, {5, 1}, {1, 9}, {6, 11}, {11, 6}, {16, 16}, {43, 43}};
  for (int f = rfTriangle; f <= rfMitchell; ++f)
    for (const auto& s : sizes)
      for (int count = 1; count <= kLanes; count += 3) {
        const int sw = s[0], dw = s[1];
        std::vector<std::vector<uint8_t>> src(kLanes, std::vector<uint8_t>(size_t(sw) * 3));
        for (auto& row : src)
          for (uint8_t& b : row) b = Noise();
        const uint8_t* rows[kLanes];
        for (int l = 0; l < kLanes; ++l) rows[l] = src[size_t(l)].data();
        TLists lists;
        VLBuildContributors(lists, sw, dw, TResampleFilter(f));
        std::vector<double> buf(size_t(sw) * 3 * kLanes);
        // A guard byte after each row catches a write past the row.
        std::vector<std::vector<uint8_t>> outA(kLanes, std::vector<uint8_t>(size_t(dw) * 3 + 1, 0xA5)), outB = outA;
        uint8_t* pa[kLanes];
        uint8_t* pb[kLanes];
        for (int l = 0; l < kLanes; ++l) pa[l] = outA[size_t(l)].data(), pb[l] = outB[size_t(l)].data();
        plain::FilterRows(rows, count, int64_t(sw) * 3, pa, lists, buf.data());
        avx2::FilterRows(rows, count, int64_t(sw) * 3, pb, lists, buf.data());
        EXPECT_EQ(outA, outB) << "rows, filter " << f << ", " << sw << " -> " << dw << ", " << count << " rows";
        EXPECT_EQ(outB[size_t(count - 1)].back(), 0xA5);

        // Along y: the same lists over as many rows, each Values = dw x 3 long.
        std::vector<double> weights;
        const uint8_t* picks[64];
        for (const TVLContributorList& list : lists) {
          weights.clear();
          int n = 0;
          for (const TVLContributor& e : list.Entries) {
            weights.push_back(e.Weight);
            picks[n++] = src[size_t(e.Pixel) % kLanes].data();
          }
          const int64_t values = std::min<int64_t>(int64_t(dw) * 3, int64_t(sw) * 3);
          std::vector<uint8_t> a(size_t(values) + 1, 0x5A), b = a;
          plain::FilterColumns(picks, weights.data(), n, values, a.data());
          avx2::FilterColumns(picks, weights.data(), n, values, b.data());
          EXPECT_EQ(a, b) << "columns, filter " << f << ", " << values << " values";
        }
      }
}

TEST(Variants, ShearRowsGiveThePlainPixels) {
  if (!VLCpuHas(cfAVX2)) GTEST_SKIP() << "no AVX2 here";
  using namespace vlgeometry;
  const uint8_t bg[3] = {10, 200, 30};
  std::vector<uint8_t> src(3 * 300);
  for (uint8_t& b : src) b = Noise();
  // Offsets before, inside and past the row; blends from none to nearly whole, and the
  // negative ones of the first shear.
  for (int64_t o : {-320, -40, 0, 7, 120, 299, 400})
    for (int v : {-2048, -1, 0, 1, 2047, 2048, 4095})
      for (bool aa : {false, true}) {
        std::vector<uint8_t> a(3 * 250, 1), b(3 * 250, 2);
        plain::ShearRow(a.data(), 250, src.data(), 300, o, v, aa, bg);
        avx2::ShearRow(b.data(), 250, src.data(), 300, o, v, aa, bg);
        EXPECT_EQ(a, b) << "offset " << o << ", blend " << v << ", anti-aliased " << aa;
        // Any span of the row, from a copy of just the source pixels it may read.
        for (auto [p0, p1] : {std::pair<int64_t, int64_t>{0, 1}, {5, 37}, {17, 17}, {100, 250}, {249, 250}}) {
          const int64_t x0 = std::clamp<int64_t>(p0 - o - 1, 0, 300), x1 = std::clamp<int64_t>(p1 - o, x0, 300);
          std::vector<uint8_t> window(src.begin() + x0 * 3, src.begin() + x1 * 3);
          for (TShearSpan span : {plain::ShearSpan, TShearSpan(avx2::ShearSpan)}) {
            std::vector<uint8_t> part(size_t(p1 - p0) * 3);
            span(part.data(), p0, p1, 250, window.data(), x0, 300, o, v, aa, bg);
            EXPECT_TRUE(std::equal(part.begin(), part.end(), a.begin() + p0 * 3))
                << "span " << p0 << ".." << p1 << ", offset " << o << ", blend " << v << ", anti-aliased " << aa;
          }
        }
      }
}

TEST(Variants, FlipRowsGiveThePlainPixels) {
  if (!VLCpuHas(cfAVX2)) GTEST_SKIP() << "no AVX2 here";
  using namespace vlgeometry;
  // Rows of exactly their own size, so that a step past either end is caught; widths on
  // both sides of the sixteen-pixel steps and of the middle left to single swaps.
  for (int64_t w = 1; w <= 1001; w += w < 64 ? 1 : 311) {
    std::vector<uint8_t> row(size_t(w) * 3);
    for (uint8_t& b : row) b = Noise();
    std::vector<uint8_t> want(row.size());
    for (int64_t x = 0; x < w; ++x) std::copy_n(row.begin() + (w - 1 - x) * 3, 3, want.begin() + x * 3);
    std::vector<uint8_t> a = row, b = row;
    plain::FlipRow(a.data(), w);
    avx2::FlipRow(b.data(), w);
    EXPECT_EQ(a, want) << "plain, width " << w;
    EXPECT_EQ(b, want) << "AVX2, width " << w;
  }
}

TEST(Variants, GrayAndHistogramRowsGiveThePlainValues) {
  if (!VLCpuHas(cfAVX2)) GTEST_SKIP() << "no AVX2 here";
  using namespace vlcolor;
  // Every colour once, in rows of 4096 pixels.
  constexpr int64_t kRow = 4096;
  std::vector<uint8_t> a(3 * kRow), b;
  std::vector<uint16_t> ra(kRow), rb(kRow);
  for (uint32_t first = 0; first < (1u << 24); first += kRow) {
    for (int64_t i = 0; i < kRow; ++i) {
      const uint32_t c = first + uint32_t(i);
      a[size_t(3 * i)] = uint8_t(c);
      a[size_t(3 * i + 1)] = uint8_t(c >> 8);
      a[size_t(3 * i + 2)] = uint8_t(c >> 16);
    }
    plain::RedGrayRow(a.data(), kRow, ra.data());
    avx2::RedGrayRow(a.data(), kRow, rb.data());
    b = a;
    plain::GrayRow(a.data(), kRow);
    avx2::GrayRow(b.data(), kRow);
    ASSERT_EQ(ra, rb) << "colours from " << first;
    ASSERT_EQ(a, b) << "colours from " << first;
  }
  // Every length up to a few vector steps, from an odd start: the values around stay.
  std::vector<uint8_t> src(3 * 140);
  for (uint8_t& v : src) v = Noise();
  for (int64_t n = 0; n <= 130; ++n) {
    std::vector<uint8_t> ga(src), gb(src);
    std::vector<uint16_t> la(140, 9), lb(140, 9);
    plain::GrayRow(ga.data() + 3, n);
    avx2::GrayRow(gb.data() + 3, n);
    plain::RedGrayRow(src.data() + 3, n, la.data() + 1);
    avx2::RedGrayRow(src.data() + 3, n, lb.data() + 1);
    EXPECT_EQ(ga, gb) << n << " pixels";
    EXPECT_EQ(la, lb) << n << " pixels";
  }
}
#endif
