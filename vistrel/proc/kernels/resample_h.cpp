// The resampler's filter along x, plain build: kLanes source rows at a time, interleaved
// so that one weight meets the same value of every row at once.
#include "vistrel/proc/kernels/resample_p.h"

namespace vlresample::plain {

void FilterRows(const uint8_t* const* Rows, int Count, int64_t Values, uint8_t* const* Out, const TLists& Lists,
                double* Buf) {
  // Value k of lane l at k x kLanes + l.
  for (int64_t k = 0; k < Values; ++k) {
    double* b = &Buf[k * kLanes];
    for (int l = 0; l < kLanes; ++l) b[l] = Rows[l][k];
  }
  const int64_t tw = int64_t(Lists.size());
  for (int64_t x = 0; x < tw; ++x) {
    double acc[3 * kLanes] = {};
    for (const TVLContributor& e : Lists[size_t(x)].Entries) {
      const double wgt = e.Weight;
      const double* p = &Buf[int64_t(e.Pixel) * 3 * kLanes];
      for (int k = 0; k < 3 * kLanes; ++k) acc[k] += wgt * p[k];
    }
    for (int l = 0; l < Count; ++l) {
      uint8_t* d = Out[l] + x * 3;
      d[0] = StoreSum(acc[0 * kLanes + l]);
      d[1] = StoreSum(acc[1 * kLanes + l]);
      d[2] = StoreSum(acc[2 * kLanes + l]);
    }
  }
}

}  // namespace vlresample::plain
