// One row of a shear pass of the rotation. Built here as the plain variant and again by
// geometry_avx2.cpp.
#include "vistrel/proc/kernels/geometry_p.h"

namespace vlgeometry::VL_VARIANT {

namespace {

// Fills a pf24bit row of n pixels with one colour.
void FillTriples(uint8_t* p, int64_t n, const TRGB& c) {
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
  for (int64_t i = 3; i < count; ++i) d[i] = Blend(c[i - 3], c[i], v, w);
}

}  // namespace

VL_VARIANT_TARGET void ShearRow(uint8_t* __restrict dst, int64_t n, const uint8_t* __restrict src, int64_t m, int64_t o,
                                int v, bool aa, const uint8_t* bg) {
  const TRGB bgc{bg[0], bg[1], bg[2]};
  const int64_t f0 = std::max<int64_t>(0, -o), f1 = std::min<int64_t>(m, n - o);
  // Background where no source pixel lands.
  if (f1 > f0) {
    FillTriples(dst, f0 + o, bgc);
    FillTriples(dst + (f1 + o) * 3, n - (f1 + o), bgc);
  } else {
    FillTriples(dst, n, bgc);
  }
  if (!aa) {
    if (f1 > f0) std::memcpy(dst + (f0 + o) * 3, src + f0 * 3, size_t((f1 - f0) * 3));
    return;
  }
  const int w = 4096 - v;
  const uint8_t* prev = bg;
  if (f1 > f0) {
    BlendPixel(dst + (f0 + o) * 3, bg, src + f0 * 3, v, w);
    BlendRun(dst + (f0 + o) * 3, src + f0 * 3, (f1 - f0) * 3, v, w);
    prev = src + (f1 - 1) * 3;
  }
  const int64_t t = o + m;
  if (v > 0 && t < n && t >= 0) BlendPixel(dst + t * 3, prev, bg, v, w);
}

}  // namespace vlgeometry::VL_VARIANT
