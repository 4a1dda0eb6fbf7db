// The rotation's shear rows and the flip's rows built for AVX2 (namespace vlgeometry::avx2);
// geometry.cpp picks them once when the processor has it.
#define VL_VARIANT avx2
#define VL_VARIANT_TARGET VL_TARGET_AVX2
#define VL_GEOMETRY_AVX2 1
#include "vistrel/proc/kernels/geometry_p.h"
#if VL_X86_VARIANTS
#include "vistrel/proc/kernels/geometry_flip.cpp"
#include "vistrel/proc/kernels/geometry_shear.cpp"
#endif
