// A row of the left-right flip. Built here as the plain variant and again by
// geometry_avx2.cpp, which also turns on the vector loop (VL_GEOMETRY_AVX2).
#include "vistrel/proc/kernels/geometry_p.h"
#if defined(VL_GEOMETRY_AVX2)
#include <immintrin.h>
#endif

namespace vlgeometry::VL_VARIANT {

VL_VARIANT_TARGET void FlipRow(uint8_t* Row, int64_t W) {
  int64_t i = 0, e = W - 1;  // the next pixels from the left and from the right
#if defined(VL_GEOMETRY_AVX2)
  // Five pixels from each end a step, in two 16-byte windows read before either is written:
  // the left one starts at pixel i and ends with the first byte of pixel i + 5, the right one
  // starts with the last byte of pixel e - 5. Each window gets the other's pixels reversed
  // and keeps its own spare byte, which belongs to a pixel still to come.
  const __m128i fromLeft = _mm_setr_epi8(-128, 12, 13, 14, 9, 10, 11, 6, 7, 8, 3, 4, 5, 0, 1, 2);
  const __m128i fromRight = _mm_setr_epi8(13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3, -128);
  const __m128i firstByte = _mm_setr_epi8(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m128i lastByte = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1);
  // The windows [3i, 3i + 16) and [3e - 13, 3e + 3) stay apart while e - i >= 10.
  for (; e - i >= 10; i += 5, e -= 5) {
    __m128i* l = reinterpret_cast<__m128i*>(Row + 3 * i);
    __m128i* r = reinterpret_cast<__m128i*>(Row + 3 * e - 13);
    const __m128i a = _mm_loadu_si128(l), b = _mm_loadu_si128(r);
    _mm_storeu_si128(l, _mm_or_si128(_mm_shuffle_epi8(b, fromRight), _mm_and_si128(a, lastByte)));
    _mm_storeu_si128(r, _mm_or_si128(_mm_shuffle_epi8(a, fromLeft), _mm_and_si128(b, firstByte)));
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
