// The resampler's two passes built for AVX2 (namespace vlresample::avx2); resample.cpp
// picks them once when the processor has it.
#define VL_VARIANT avx2
#define VL_VARIANT_TARGET VL_TARGET_AVX2
#include "vistrel/proc/kernels/resample_p.h"
#if VL_X86_VARIANTS
#include "vistrel/proc/kernels/resample_h.cpp"
#include "vistrel/proc/kernels/resample_v.cpp"
#endif
