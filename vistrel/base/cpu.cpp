#include "vistrel/base/cpu.h"

namespace {

uint32_t Detect() {
  uint32_t features = 0;
#if VL_X86_VARIANTS
  __builtin_cpu_init();  // the first caller may be a static initialiser, ahead of the runtime's own
  if (__builtin_cpu_supports("ssse3")) features |= cfSSSE3;
  if (__builtin_cpu_supports("avx2")) features |= cfAVX2;
#endif
  return features;
}

}  // namespace

uint32_t VLCpuFeatures() {
  static const uint32_t features = Detect();
  return features;
}
