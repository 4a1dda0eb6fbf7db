// No API: what the rotation and the flip (geometry.cpp) share with their row loops
// (geometry_shear.cpp, geometry_flip.cpp) and the loops' AVX2 build (geometry_avx2.cpp).
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/core/core.h"
#include "vistrel/base/cpu.h"

namespace vlgeometry {

// One row of a shear: the n-pixel pf24bit row dst, filled with the background bg (blue,
// green, red), receives the m pixels of src from position o on (pixels falling outside are
// skipped). With anti-aliasing (aa) each pixel written is the blend (prev x v + cur x
// (4096 - v)) / 4096 of the source pixel written before it (bg for the first) and itself, and
// when v > 0 the pixel after the last one blends the last with bg.
using TShearRow = void (*)(uint8_t* __restrict dst, int64_t n, const uint8_t* __restrict src, int64_t m, int64_t o,
                           int v, bool aa, const uint8_t* bg);

// Pixels p0 .. p1 - 1 (0 <= p0 <= p1 <= n) of the same row into dst[0 .. p1 - p0 - 1].
// Src points at source pixel sx0; only the source pixels those positions use are read
// (from max(0, p0 - o - 1) up to min(m, p1 - o) - 1).
using TShearSpan = void (*)(uint8_t* __restrict dst, int64_t p0, int64_t p1, int64_t n, const uint8_t* __restrict src,
                            int64_t sx0, int64_t m, int64_t o, int v, bool aa, const uint8_t* bg);

// A pf24bit row of W pixels mirrored in place: pixel x goes to W - 1 - x.
using TFlipRow = void (*)(uint8_t* Row, int64_t W);

namespace plain {
void FlipRow(uint8_t* Row, int64_t W);
void ShearRow(uint8_t* __restrict dst, int64_t n, const uint8_t* __restrict src, int64_t m, int64_t o, int v, bool aa,
              const uint8_t* bg);
void ShearSpan(uint8_t* __restrict dst, int64_t p0, int64_t p1, int64_t n, const uint8_t* __restrict src, int64_t sx0,
               int64_t m, int64_t o, int v, bool aa, const uint8_t* bg);
}  // namespace plain

#if VL_X86_VARIANTS
namespace avx2 {
VL_TARGET_AVX2 void FlipRow(uint8_t* Row, int64_t W);
VL_TARGET_AVX2 void ShearRow(uint8_t* __restrict dst, int64_t n, const uint8_t* __restrict src, int64_t m, int64_t o,
                             int v, bool aa, const uint8_t* bg);
VL_TARGET_AVX2 void ShearSpan(uint8_t* __restrict dst, int64_t p0, int64_t p1, int64_t n, const uint8_t* __restrict src,
                              int64_t sx0, int64_t m, int64_t o, int v, bool aa, const uint8_t* bg);
}  // namespace avx2
#endif

}  // namespace vlgeometry
