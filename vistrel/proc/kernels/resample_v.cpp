// The resampler's vertical pass: columns of the intermediate picture filtered along y, in
// strips of eight. Built here as the plain variant and again by resample_avx2.cpp.
#include "vistrel/proc/kernels/resample_p.h"

namespace vlresample::VL_VARIANT {

VL_VARIANT_TARGET void VerticalPass(TBitmap* Temp, TBitmap* Dest, const TLists& Lists, TProgressState& Progress,
                                    int RowsBefore) {
  const int th = Temp->Height(), dw = Dest->Width(), dh = Dest->Height();
  constexpr int kValues = kStripPixels * 3;
  std::vector<double> col(size_t(th) * kValues);
  for (int x0 = 0; x0 < dw; x0 += kStripPixels) {
    const int px = std::min(kStripPixels, dw - x0);
    const int values = px * 3;
    for (int y = 0; y < th; ++y) {
      const uint8_t* src = Temp->ScanLine(y) + size_t(x0) * 3;
      double* c = &col[size_t(y) * kValues];
      for (int k = 0; k < values; ++k) c[k] = src[k];
      for (int k = values; k < kValues; ++k) c[k] = 0;
    }
    for (int y = 0; y < dh; ++y) {
      double acc[kValues] = {};
      for (const TVLContributor& e : Lists[size_t(y)].Entries) {
        const double wgt = e.Weight;
        const double* p = &col[size_t(e.Pixel) * kValues];
        for (int k = 0; k < kValues; ++k) acc[k] += wgt * p[k];
      }
      uint8_t* d = Dest->ScanLine(y) + size_t(x0) * 3;
      for (int k = 0; k < values; ++k) d[k] = StoreSum(acc[k]);
    }
    for (int k = 0; k < px; ++k) Progress.Report(int64_t(RowsBefore) + x0 + k + 1);
  }
}

}  // namespace vlresample::VL_VARIANT
