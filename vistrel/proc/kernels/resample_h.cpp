// The resampler's horizontal pass: rows of the source filtered along x, eight at a time.
// Built here as the plain variant and again by resample_avx2.cpp.
#include "vistrel/proc/kernels/resample_p.h"

namespace vlresample::VL_VARIANT {

VL_VARIANT_TARGET void HorizontalPass(TBitmap* Source, TBitmap* Temp, const TLists& Lists, TProgressState& Progress) {
  const int sw = Source->Width(), sh = Source->Height(), tw = Temp->Width();
  const size_t rowValues = size_t(sw) * 3;
  std::vector<double> buf(rowValues * kLanes);
  const std::vector<uint8_t> zeros(rowValues, 0);
  for (int y0 = 0; y0 < sh; y0 += kLanes) {
    const int rows = std::min(kLanes, sh - y0);
    // Interleave the rows: value k of lane l at k * kLanes + l.
    const uint8_t* srcRows[kLanes];
    for (int l = 0; l < kLanes; ++l) srcRows[l] = l < rows ? Source->ScanLine(y0 + l) : zeros.data();
    for (size_t k = 0; k < rowValues; ++k) {
      double* b = &buf[k * kLanes];
      for (int l = 0; l < kLanes; ++l) b[l] = srcRows[l][k];
    }
    uint8_t* dst[kLanes];
    for (int l = 0; l < kLanes; ++l) dst[l] = l < rows ? Temp->ScanLine(y0 + l) : nullptr;
    for (int x = 0; x < tw; ++x) {
      double acc[3 * kLanes] = {};
      for (const TVLContributor& e : Lists[size_t(x)].Entries) {
        const double wgt = e.Weight;
        const double* p = &buf[size_t(e.Pixel) * 3 * kLanes];
        for (int k = 0; k < 3 * kLanes; ++k) acc[k] += wgt * p[k];
      }
      for (int l = 0; l < rows; ++l) {
        uint8_t* d = dst[l] + size_t(x) * 3;
        d[0] = StoreSum(acc[0 * kLanes + l]);
        d[1] = StoreSum(acc[1 * kLanes + l]);
        d[2] = StoreSum(acc[2 * kLanes + l]);
      }
    }
    for (int l = 0; l < rows; ++l) Progress.Report(y0 + l + 1);
  }
}

}  // namespace vlresample::VL_VARIANT
