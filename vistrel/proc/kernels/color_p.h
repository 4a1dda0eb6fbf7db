// No API: the row loops of the colour kernels (color.cpp) and their AVX2 build
// (color_avx2.cpp).
#pragma once
#include <cstdint>

#include "vistrel/base/cpu.h"

namespace vlcolor {

// Each of the n pf24bit pixels at p becomes (lum, lum, lum), lum = (R x 21 + G x 71 + B x 7)
// div 100.
using TGrayRow = void (*)(uint8_t* p, int64_t n);
// Red + lum x 256 of each of the n pf24bit pixels at src into out[0..n-1].
using TRedGrayRow = void (*)(const uint8_t* src, int64_t n, uint16_t* out);

namespace plain {
void GrayRow(uint8_t* p, int64_t n);
void RedGrayRow(const uint8_t* src, int64_t n, uint16_t* out);
}  // namespace plain

#if VL_X86_VARIANTS
namespace avx2 {
VL_TARGET_AVX2 void GrayRow(uint8_t* p, int64_t n);
VL_TARGET_AVX2 void RedGrayRow(const uint8_t* src, int64_t n, uint16_t* out);
}  // namespace avx2
#endif

}  // namespace vlcolor
