// One row of a shear pass of the rotation. Built here as the plain variant and again by
// geometry_avx2.cpp, which also turns on the blend's vector loop (VL_GEOMETRY_AVX2).
#include "vistrel/proc/kernels/geometry_p.h"
#if defined(VL_GEOMETRY_AVX2)
#include <immintrin.h>
#endif

namespace vlgeometry::VL_VARIANT {

namespace {

// Fills a pf24bit row of n pixels with one colour, sixteen pixels a store where it can.
void FillTriples(uint8_t* p, int64_t n, const TRGB& c) {
  if (n >= 16) {
    uint8_t run[48];
    for (int i = 0; i < 48; i += 3) {
      run[i] = c.B;
      run[i + 1] = c.G;
      run[i + 2] = c.R;
    }
    for (; n >= 16; n -= 16, p += 48) std::memcpy(p, run, 48);
  }
  for (int64_t i = 0; i < n; ++i, p += 3) {
    p[0] = c.B;
    p[1] = c.G;
    p[2] = c.R;
  }
}

// (prev x v + cur x w + 2048) / 4096 rounded halves to even, then clamped to a byte.
inline uint8_t Blend(int prev, int cur, int v, int w) {
  const int n = prev * v + cur * w + 2048;
  // n / 4096 to nearest, halves to the even neighbour: add just under a half, and one more
  // when the quotient below is odd.
  int q = (n + 2047 + ((n >> 12) & 1)) >> 12;
  q = q < 0 ? 0 : q;
  return uint8_t(q > 255 ? 255 : q);
}

inline void BlendPixel(uint8_t* d, const uint8_t* prev, const uint8_t* cur, int v, int w) {
  d[0] = Blend(prev[0], cur[0], v, w);
  d[1] = Blend(prev[1], cur[1], v, w);
  d[2] = Blend(prev[2], cur[2], v, w);
}

// Bytes 3..count-1 of d: each blends with the byte one pixel before it in c.
VL_VARIANT_TARGET void BlendRun(uint8_t* __restrict d, const uint8_t* __restrict c, int64_t count, int v, int w) {
  int64_t i = 3;
#if defined(VL_GEOMETRY_AVX2)
  // Sixteen bytes a step: (prev, cur) pairs of 16-bit values times (v, w) summed in 32 bits,
  // then the same rounding and clamping as Blend.
  const __m256i weights = _mm256_set1_epi32(int32_t(uint32_t(w) << 16 | (uint32_t(v) & 0xFFFF)));
  const __m256i half = _mm256_set1_epi32(2048), under = _mm256_set1_epi32(2047), one = _mm256_set1_epi32(1);
  for (; i + 16 <= count; i += 16) {
    const __m256i prev = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i - 3)));
    const __m256i cur = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i)));
    __m256i q[2];
    for (int h = 0; h < 2; ++h) {
      const __m256i pairs = h ? _mm256_unpackhi_epi16(prev, cur) : _mm256_unpacklo_epi16(prev, cur);
      const __m256i n = _mm256_add_epi32(_mm256_madd_epi16(pairs, weights), half);
      const __m256i odd = _mm256_and_si256(_mm256_srai_epi32(n, 12), one);
      q[h] = _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(n, under), odd), 12);
    }
    // The packs undo the unpacks' order and clamp to 0..255.
    const __m256i words = _mm256_packs_epi32(q[0], q[1]);
    const __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), bytes);
  }
#endif
  for (; i < count; ++i) d[i] = Blend(c[i - 3], c[i], v, w);
}

}  // namespace

VL_VARIANT_TARGET void ShearSpan(uint8_t* __restrict dst, int64_t p0, int64_t p1, int64_t n,
                                 const uint8_t* __restrict src, int64_t sx0, int64_t m, int64_t o, int v, bool aa,
                                 const uint8_t* bg) {
  const TRGB bgc{bg[0], bg[1], bg[2]};
  // Source pixels landing in the row, and those of them landing in the span.
  const int64_t f0 = std::max<int64_t>(0, -o), f1 = std::min<int64_t>(m, n - o);
  const int64_t x0 = std::max(f0, p0 - o), x1 = std::min(f1, p1 - o);
  auto at = [src, sx0](int64_t x) { return src + (x - sx0) * 3; };
  // Background where no source pixel lands.
  if (x1 > x0) {
    FillTriples(dst, x0 + o - p0, bgc);
    FillTriples(dst + (x1 + o - p0) * 3, p1 - (x1 + o), bgc);
  } else {
    FillTriples(dst, p1 - p0, bgc);
  }
  if (!aa) {
    if (x1 > x0) std::memcpy(dst + (x0 + o - p0) * 3, at(x0), size_t((x1 - x0) * 3));
    return;
  }
  const int w = 4096 - v;
  if (x1 > x0) {
    uint8_t* d = dst + (x0 + o - p0) * 3;
    BlendPixel(d, x0 == f0 ? bg : at(x0 - 1), at(x0), v, w);
    BlendRun(d, at(x0), (x1 - x0) * 3, v, w);
  }
  const int64_t t = o + m;
  if (v > 0 && t < n && t >= 0 && t >= p0 && t < p1)
    BlendPixel(dst + (t - p0) * 3, f1 > f0 ? at(f1 - 1) : bg, bg, v, w);
}

VL_VARIANT_TARGET void ShearRow(uint8_t* __restrict dst, int64_t n, const uint8_t* __restrict src, int64_t m, int64_t o,
                                int v, bool aa, const uint8_t* bg) {
  ShearSpan(dst, 0, n, n, src, 0, m, o, v, aa, bg);
}

}  // namespace vlgeometry::VL_VARIANT
