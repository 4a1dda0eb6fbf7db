// The gray and histogram rows built for AVX2 (namespace vlcolor::avx2); color.cpp picks them
// once when the processor has it. Results equal the plain loops' for every colour.
#include "vistrel/proc/kernels/color_p.h"

#if VL_X86_VARIANTS
#include <immintrin.h>

namespace vlcolor::avx2 {

namespace {

// 32 pixels a step, loaded as four registers of eight: pixels 8k..8k+3 in the low lane of
// register k and 8k+4..8k+7 in its high lane, each lane's first 12 bytes. A step reads 4
// bytes past its 96, so the last one ends 2 pixels before the row does.
constexpr int64_t kStep = 32;
constexpr int64_t kReach = 34;

struct TPixels32 {
  __m256i Q[4];
};

VL_TARGET_AVX2 inline TPixels32 Load32(const uint8_t* p) {
  TPixels32 r;
  for (int k = 0; k < 4; ++k)
    r.Q[k] = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 24 * k + 12),
                                 reinterpret_cast<const __m128i*>(p + 24 * k));
  return r;
}

// The 32 luminance bytes in groups of four pixels: 0, 8, 16, 24 in the low lane, 4, 12, 20,
// 28 in the high one.
VL_TARGET_AVX2 inline __m256i LumGroups(const TPixels32& px) {
  // Each pixel's blue, green, red, 0 times 7, 71, 21, 0, summed in pairs: 7B + 71G (at most
  // 19890) and 21R; no pair saturates.
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                          0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m256i weights = _mm256_setr_epi8(7, 71, 21, 0, 7, 71, 21, 0, 7, 71, 21, 0, 7, 71, 21, 0,  //
                                           7, 71, 21, 0, 7, 71, 21, 0, 7, 71, 21, 0, 7, 71, 21, 0);
  // s div 100 = (s x 5243) shr 19 for every s below 43699; the sums stay below 25246.
  const __m256i reciprocal = _mm256_set1_epi16(5243);
  __m256i m[4];
  for (int k = 0; k < 4; ++k) m[k] = _mm256_maddubs_epi16(_mm256_shuffle_epi8(px.Q[k], spread), weights);
  const __m256i lo = _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_hadd_epi16(m[0], m[1]), reciprocal), 3);
  const __m256i hi = _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_hadd_epi16(m[2], m[3]), reciprocal), 3);
  return _mm256_packus_epi16(lo, hi);
}

}  // namespace

VL_TARGET_AVX2 void GrayRow(uint8_t* p, int64_t n) {
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  // Each luminance byte three times: bytes 0-31 of the step from pixels 0-10, 32-63 from
  // 10-21, 64-95 from 21-31.
  const __m256i first = _mm256_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5,  //
                                         5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
  const __m256i middle = _mm256_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15,  //
                                          0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
  const __m256i last = _mm256_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10,  //
                                        10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
  int64_t x = 0;
  for (; x + kReach <= n; x += kStep, p += 3 * kStep) {
    const __m256i l = _mm256_permutevar8x32_epi32(LumGroups(Load32(p)), order);  // pixel order
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_shuffle_epi8(_mm256_permute4x64_epi64(l, 0x44), first));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 32), _mm256_shuffle_epi8(l, middle));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 64), _mm256_shuffle_epi8(_mm256_permute4x64_epi64(l, 0xEE), last));
  }
  plain::GrayRow(p, n - x);
}

VL_TARGET_AVX2 void RedGrayRow(const uint8_t* src, int64_t n, uint16_t* out) {
  // The red bytes of register k into bytes 4k..4k+3 of each lane: the luminance's groups.
  const __m256i red[4] = {
      _mm256_setr_epi8(2, 5, 8, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  //
                       2, 5, 8, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1),
      _mm256_setr_epi8(-1, -1, -1, -1, 2, 5, 8, 11, -1, -1, -1, -1, -1, -1, -1, -1,  //
                       -1, -1, -1, -1, 2, 5, 8, 11, -1, -1, -1, -1, -1, -1, -1, -1),
      _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, -1, -1, -1, -1,  //
                       -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, -1, -1, -1, -1),
      _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11,  //
                       -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11)};
  int64_t x = 0;
  for (; x + kReach <= n; x += kStep, src += 3 * kStep, out += kStep) {
    const TPixels32 px = Load32(src);
    const __m256i l = LumGroups(px);
    const __m256i r = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(px.Q[0], red[0]), _mm256_shuffle_epi8(px.Q[1], red[1])),
                                      _mm256_or_si256(_mm256_shuffle_epi8(px.Q[2], red[2]), _mm256_shuffle_epi8(px.Q[3], red[3])));
    // Red and gray paired per pixel; each 8-byte group of four pixels then in pixel order.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute4x64_epi64(_mm256_unpacklo_epi8(r, l), 0xD8));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16),
                        _mm256_permute4x64_epi64(_mm256_unpackhi_epi8(r, l), 0xD8));
  }
  plain::RedGrayRow(src, n - x, out);
}

}  // namespace vlcolor::avx2
#endif
