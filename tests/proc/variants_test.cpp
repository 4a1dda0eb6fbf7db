// Each kernel's vector build against its plain build, byte for byte: only one of them runs
// in the rest of the suite, whichever the processor picks.
#include <gtest/gtest.h>

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

std::vector<uint8_t> Bytes(TBitmap* b) {
  std::vector<uint8_t> v;
  for (int y = 0; y < b->Height(); ++y) v.insert(v.end(), b->ScanLine(y), b->ScanLine(y) + b->Width() * 3);
  return v;
}

}  // namespace

#if VL_X86_VARIANTS
TEST(Variants, ResamplePassesGiveThePlainPixels) {
  if (!VLCpuHas(cfAVX2)) GTEST_SKIP() << "no AVX2 here";
  using namespace vlresample;
  // Odd sizes leave partial lane groups and strips; both directions on each axis.
  const int sizes[][4] = {{37, 23, 61, 17}, {61, 17, 37, 29}, {5, 3, 1, 9}, {9, 1, 3, 2}};
  for (int f = rfTriangle; f <= rfMitchell; ++f)
    for (const auto& s : sizes) {
      auto src = New24(s[0], s[1]);
      for (int y = 0; y < s[1]; ++y)
        for (int k = 0; k < s[0] * 3; ++k) src->ScanLine(y)[k] = Noise();
      TLists cols, rows;
      VLBuildContributors(cols, s[0], s[2], TResampleFilter(f));
      VLBuildContributors(rows, s[1], s[3], TResampleFilter(f));
      const TProgressEvent none;
      TProgressState progress{none, nullptr, int64_t(s[1]) + s[2]};
      auto tempA = New24(s[2], s[1]), tempB = New24(s[2], s[1]);
      auto dstA = New24(s[2], s[3]), dstB = New24(s[2], s[3]);
      plain::HorizontalPass(src.get(), tempA.get(), cols, progress);
      avx2::HorizontalPass(src.get(), tempB.get(), cols, progress);
      plain::VerticalPass(tempA.get(), dstA.get(), rows, progress, s[1]);
      avx2::VerticalPass(tempA.get(), dstB.get(), rows, progress, s[1]);
      EXPECT_EQ(Bytes(tempA.get()), Bytes(tempB.get())) << "filter " << f << ", " << s[0] << " x " << s[1];
      EXPECT_EQ(Bytes(dstA.get()), Bytes(dstB.get())) << "filter " << f << ", " << s[0] << " x " << s[1];
    }
}

TEST(Variants, ShearRowsGiveThePlainPixels) {
  if (!VLCpuHas(cfAVX2)) GTEST_SKIP() << "no AVX2 here";
  using namespace vlgeometry;
  const uint8_t bg[3] = {10, 200, 30};
  std::vector<uint8_t> src(3 * 300);
  for (uint8_t& b : src) b = Noise();
  // Offsets before, inside and past the row; blends from none to nearly whole.
  for (int64_t o : {-320, -40, 0, 7, 120, 299, 400})
    for (int v : {0, 1, 2047, 2048, 4095})
      for (bool aa : {false, true}) {
        std::vector<uint8_t> a(3 * 250, 1), b(3 * 250, 2);
        plain::ShearRow(a.data(), 250, src.data(), 300, o, v, aa, bg);
        avx2::ShearRow(b.data(), 250, src.data(), 300, o, v, aa, bg);
        EXPECT_EQ(a, b) << "offset " << o << ", blend " << v << ", anti-aliased " << aa;
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
