// No API: the resampler's private parts, shared by its setup and pass drivers
// (resample.cpp), its plain filter loops (resample_h.cpp, resample_v.cpp) and their AVX2
// build (resample_avx2.cpp).
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "vistrel/base/cpu.h"
#include "vistrel/base/progress.h"
#include "vistrel/proc/kernels/resample.h"

namespace vlresample {

constexpr int kLanes = 8;  // source rows filtered together along x

using TLists = std::vector<TVLContributorList>;

// Rows of the horizontal pass, then columns of the vertical pass.
struct TProgressState {
  const TProgressEvent& OnProgress;
  TObject* Sender;
  int64_t Total;
  void Report(int64_t done) { VLRowProgress(OnProgress, Sender, done, Total); }
};

// A filtered sum as a byte: clamped to 0..255, rounded half to even.
inline Byte StoreSum(double sum) {
  if (sum > 255) return 255;
  if (sum < 0) return 0;
  // Adding and taking away 1.5 x 2^52 rounds to an integer, halves to even.
  constexpr double magic = 6755399441055744.0;
  return Byte(int((sum + magic) - magic));
}

// Every sum below starts at 0 and adds weight x value entry by entry, in the list's order,
// in doubles without fused multiply-adds, so that each variant gives the same bytes.

// Filters along x: Rows[0 .. Count-1] (Count <= kLanes) of Values bytes (three a pixel)
// through the column lists into Out[0 .. Count-1]. Rows has kLanes readable rows (those
// from Count on are read and ignored). Buf holds Values x kLanes doubles.
using TFilterRows = void (*)(const uint8_t* const* Rows, int Count, int64_t Values, uint8_t* const* Out,
                             const TLists& Lists, double* Buf);
// Filters along y: Out[k] for k < Values is the sum over the entries e < Count of
// Weights[e] x Rows[e][k].
using TFilterColumns = void (*)(const uint8_t* const* Rows, const double* Weights, int Count, int64_t Values,
                                uint8_t* Out);

namespace plain {
void FilterRows(const uint8_t* const* Rows, int Count, int64_t Values, uint8_t* const* Out, const TLists& Lists,
                double* Buf);
void FilterColumns(const uint8_t* const* Rows, const double* Weights, int Count, int64_t Values, uint8_t* Out);
}  // namespace plain

#if VL_X86_VARIANTS
namespace avx2 {
VL_TARGET_AVX2 void FilterRows(const uint8_t* const* Rows, int Count, int64_t Values, uint8_t* const* Out,
                               const TLists& Lists, double* Buf);
VL_TARGET_AVX2 void FilterColumns(const uint8_t* const* Rows, const double* Weights, int Count, int64_t Values,
                                  uint8_t* Out);
}  // namespace avx2
#endif

}  // namespace vlresample
