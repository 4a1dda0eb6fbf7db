// The resampler's filter loops for AVX2 (namespace vlresample::avx2); resample.cpp picks
// them once when the processor has it. Written out by hand, as the compiler turns the plain
// loops' interleaving and per-entry sums into gathers and spills. Products and sums are the
// plain build's, one multiply and one add each (no fused multiply-add), in the same order.
#include "vistrel/proc/kernels/resample_p.h"

#if VL_X86_VARIANTS
#include <immintrin.h>

#include <cstring>

namespace vlresample::avx2 {

namespace {

// Four sums as integers 0..255: rounded half to even, then clamped, as StoreSum does
// (rounding first changes nothing outside 0..255).
VL_TARGET_AVX2 inline __m128i ToInts(__m256d sum) {
  const __m256d r = _mm256_round_pd(sum, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  const __m256d c = _mm256_min_pd(_mm256_max_pd(r, _mm256_setzero_pd()), _mm256_set1_pd(255));
  return _mm256_cvtpd_epi32(c);
}

// Eight bytes (one value of each lane) as eight doubles at d.
VL_TARGET_AVX2 inline void StoreLanes(double* d, __m128i bytes) {
  const __m256i i = _mm256_cvtepu8_epi32(bytes);
  _mm256_storeu_pd(d, _mm256_cvtepi32_pd(_mm256_castsi256_si128(i)));
  _mm256_storeu_pd(d + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(i, 1)));
}

// Values k .. k + 15 of the eight rows, interleaved into Buf (value k of lane l at k x 8 + l).
VL_TARGET_AVX2 inline void Interleave16(const uint8_t* const* rows, int64_t k, double* buf) {
  __m128i r[kLanes];
  for (int l = 0; l < kLanes; ++l) r[l] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[l] + k));
  // Bytes, then pairs, then quads of rows side by side: each result holds two values of
  // all eight rows.
  const __m128i t0 = _mm_unpacklo_epi8(r[0], r[1]), t1 = _mm_unpackhi_epi8(r[0], r[1]);
  const __m128i t2 = _mm_unpacklo_epi8(r[2], r[3]), t3 = _mm_unpackhi_epi8(r[2], r[3]);
  const __m128i t4 = _mm_unpacklo_epi8(r[4], r[5]), t5 = _mm_unpackhi_epi8(r[4], r[5]);
  const __m128i t6 = _mm_unpacklo_epi8(r[6], r[7]), t7 = _mm_unpackhi_epi8(r[6], r[7]);
  const __m128i u[8] = {_mm_unpacklo_epi16(t0, t2), _mm_unpackhi_epi16(t0, t2), _mm_unpacklo_epi16(t1, t3),
                        _mm_unpackhi_epi16(t1, t3), _mm_unpacklo_epi16(t4, t6), _mm_unpackhi_epi16(t4, t6),
                        _mm_unpacklo_epi16(t5, t7), _mm_unpackhi_epi16(t5, t7)};
  double* d = buf + k * kLanes;
  for (int q = 0; q < 4; ++q) {
    const __m128i lo = _mm_unpacklo_epi32(u[q], u[q + 4]), hi = _mm_unpackhi_epi32(u[q], u[q + 4]);
    StoreLanes(d + (4 * q + 0) * kLanes, lo);
    StoreLanes(d + (4 * q + 1) * kLanes, _mm_unpackhi_epi64(lo, lo));
    StoreLanes(d + (4 * q + 2) * kLanes, hi);
    StoreLanes(d + (4 * q + 3) * kLanes, _mm_unpackhi_epi64(hi, hi));
  }
}

}  // namespace

VL_TARGET_AVX2 void FilterRows(const uint8_t* const* Rows, int Count, int64_t Values, uint8_t* const* Out,
                               const TLists& Lists, double* Buf) {
  int64_t k = 0;
  for (; k + 16 <= Values; k += 16) Interleave16(Rows, k, Buf);
  for (; k < Values; ++k)
    for (int l = 0; l < kLanes; ++l) Buf[k * kLanes + l] = Rows[l][k];

  const int64_t tw = int64_t(Lists.size());
  const __m128i zero = _mm_setzero_si128();
  for (int64_t x = 0; x < tw; ++x) {
    // Blue, green and red of lanes 0-3 and 4-7.
    __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0, a4 = a0, a5 = a0;
    for (const TVLContributor& e : Lists[size_t(x)].Entries) {
      const __m256d w = _mm256_broadcast_sd(&e.Weight);
      const double* p = Buf + int64_t(e.Pixel) * 3 * kLanes;
      a0 = _mm256_add_pd(a0, _mm256_mul_pd(w, _mm256_loadu_pd(p)));
      a1 = _mm256_add_pd(a1, _mm256_mul_pd(w, _mm256_loadu_pd(p + 4)));
      a2 = _mm256_add_pd(a2, _mm256_mul_pd(w, _mm256_loadu_pd(p + 8)));
      a3 = _mm256_add_pd(a3, _mm256_mul_pd(w, _mm256_loadu_pd(p + 12)));
      a4 = _mm256_add_pd(a4, _mm256_mul_pd(w, _mm256_loadu_pd(p + 16)));
      a5 = _mm256_add_pd(a5, _mm256_mul_pd(w, _mm256_loadu_pd(p + 20)));
    }
    // Eight pixels, one per lane: blue, green, red and a spare byte each.
    const __m128i bg =
        _mm_packus_epi16(_mm_packs_epi32(ToInts(a0), ToInts(a1)), _mm_packs_epi32(ToInts(a2), ToInts(a3)));
    const __m128i r = _mm_packus_epi16(_mm_packs_epi32(ToInts(a4), ToInts(a5)), zero);
    const __m128i pairs = _mm_unpacklo_epi8(bg, _mm_srli_si128(bg, 8));
    const __m128i reds = _mm_unpacklo_epi8(r, zero);
    alignas(16) uint32_t px[kLanes];
    _mm_store_si128(reinterpret_cast<__m128i*>(px), _mm_unpacklo_epi16(pairs, reds));
    _mm_store_si128(reinterpret_cast<__m128i*>(px + 4), _mm_unpackhi_epi16(pairs, reds));
    // Four bytes at a time where the next pixel of the row overwrites the spare one.
    if (x + 1 < tw)
      for (int l = 0; l < Count; ++l) std::memcpy(Out[l] + x * 3, &px[l], 4);
    else
      for (int l = 0; l < Count; ++l) std::memcpy(Out[l] + x * 3, &px[l], 3);
  }
}

VL_TARGET_AVX2 void FilterColumns(const uint8_t* const* Rows, const double* Weights, int Count, int64_t Values,
                                  uint8_t* Out) {
  constexpr int kChunk = 32;
  int64_t k0 = 0;
  for (; k0 + kChunk <= Values; k0 += kChunk) {
    __m256d a[kChunk / 4];
    for (__m256d& v : a) v = _mm256_setzero_pd();
    for (int e = 0; e < Count; ++e) {
      const __m256d w = _mm256_broadcast_sd(&Weights[e]);
      const uint8_t* p = Rows[e] + k0;
      for (int i = 0; i < kChunk / 4; ++i) {
        int32_t four;
        std::memcpy(&four, p + 4 * i, 4);
        const __m256d x = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(four)));
        a[i] = _mm256_add_pd(a[i], _mm256_mul_pd(w, x));
      }
    }
    for (int h = 0; h < 2; ++h) {
      const __m256d* s = a + 4 * h;
      const __m128i bytes =
          _mm_packus_epi16(_mm_packs_epi32(ToInts(s[0]), ToInts(s[1])), _mm_packs_epi32(ToInts(s[2]), ToInts(s[3])));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + k0 + 16 * h), bytes);
    }
  }
  // The last values (fewer than a chunk) one at a time.
  for (int64_t k = k0; k < Values; ++k) {
    double acc = 0;
    for (int e = 0; e < Count; ++e) acc += Weights[e] * Rows[e][k];
    Out[k] = StoreSum(acc);
  }
}

}  // namespace vlresample::avx2
#endif
