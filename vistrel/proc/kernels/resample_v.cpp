// The resampler's filter along y, plain build: one target row from the rows its list names.
#include "vistrel/proc/kernels/resample_p.h"

namespace vlresample::plain {

void FilterColumns(const uint8_t* const* Rows, const double* Weights, int Count, int64_t Values, uint8_t* Out) {
  constexpr int64_t kChunk = 64;
  double acc[kChunk];
  for (int64_t k0 = 0; k0 < Values; k0 += kChunk) {
    const int64_t n = std::min(kChunk, Values - k0);
    std::fill(acc, acc + n, 0.0);
    for (int e = 0; e < Count; ++e) {
      const double wgt = Weights[e];
      const uint8_t* p = Rows[e] + k0;
      for (int64_t k = 0; k < n; ++k) acc[k] += wgt * p[k];
    }
    for (int64_t k = 0; k < n; ++k) Out[k0 + k] = StoreSum(acc[k]);
  }
}

}  // namespace vlresample::plain
