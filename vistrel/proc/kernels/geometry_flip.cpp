// A row of the left-right flip. Built here as the plain variant and again by
// geometry_avx2.cpp, which also turns on the vector loop (VL_GEOMETRY_AVX2).
#include "vistrel/proc/kernels/geometry_p.h"
#if defined(VL_GEOMETRY_AVX2)
#include <immintrin.h>
#endif

namespace vlgeometry::VL_VARIANT {

#if defined(VL_GEOMETRY_AVX2)
namespace {

// Sixteen pixels (48 bytes in three registers) in reverse order: each byte of the result is
// picked from the register that holds it, and the picks are put together.
VL_VARIANT_TARGET inline void Reverse16(const __m128i in[3], __m128i out[3]) {
  const __m128i z = _mm_set1_epi8(-128);
  auto pick = [](__m128i v, __m128i m) VL_VARIANT_TARGET { return _mm_shuffle_epi8(v, m); };
  out[0] = _mm_or_si128(pick(in[2], _mm_setr_epi8(13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3, -128)),
                        pick(in[1], _mm_insert_epi8(z, 14, 15)));
  out[1] =
      _mm_or_si128(_mm_or_si128(pick(in[1], _mm_setr_epi8(15, -128, 11, 12, 13, 8, 9, 10, 5, 6, 7, 2, 3, 4, -128, 0)),
                                pick(in[0], _mm_insert_epi8(z, 15, 14))),
                   pick(in[2], _mm_insert_epi8(z, 0, 1)));
  out[2] = _mm_or_si128(pick(in[0], _mm_setr_epi8(-128, 12, 13, 14, 9, 10, 11, 6, 7, 8, 3, 4, 5, 0, 1, 2)),
                        pick(in[1], _mm_insert_epi8(z, 1, 0)));
}

}  // namespace
#endif

VL_VARIANT_TARGET void FlipRow(uint8_t* Row, int64_t W) {
  int64_t i = 0, e = W - 1;  // the next pixels from the left and from the right
#if defined(VL_GEOMETRY_AVX2)
  // Sixteen pixels from each end a step, both read before either is written back; the
  // middle (fewer than 32 pixels) one swap at a time.
  for (; e - i >= 31; i += 16, e -= 16) {
    __m128i* l = reinterpret_cast<__m128i*>(Row + 3 * i);
    __m128i* r = reinterpret_cast<__m128i*>(Row + 3 * (e - 15));
    const __m128i a[3] = {_mm_loadu_si128(l), _mm_loadu_si128(l + 1), _mm_loadu_si128(l + 2)};
    const __m128i b[3] = {_mm_loadu_si128(r), _mm_loadu_si128(r + 1), _mm_loadu_si128(r + 2)};
    __m128i ra[3], rb[3];
    Reverse16(a, ra);
    Reverse16(b, rb);
    for (int k = 0; k < 3; ++k) {
      _mm_storeu_si128(l + k, rb[k]);
      _mm_storeu_si128(r + k, ra[k]);
    }
  }
#endif
  for (; i < e; ++i, --e) {
    uint8_t* a = Row + 3 * i;
    uint8_t* b = Row + 3 * e;
    uint8_t t[3] = {a[0], a[1], a[2]};
    a[0] = b[0];
    a[1] = b[1];
    a[2] = b[2];
    b[0] = t[0];
    b[1] = t[1];
    b[2] = t[2];
  }
}

}  // namespace vlgeometry::VL_VARIANT
