// No API: the resampler's private parts, shared by its setup (resample.cpp), its two passes
// (resample_h.cpp, resample_v.cpp) and their AVX2 build (resample_avx2.cpp).
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "vistrel/base/cpu.h"
#include "vistrel/base/progress.h"
#include "vistrel/proc/kernels/resample.h"

namespace vlresample {

constexpr int kLanes = 8;        // source rows filtered together in the horizontal pass
constexpr int kStripPixels = 8;  // target columns filtered together in the vertical pass

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

// The horizontal pass: every row of Source through the column lists into Temp (Source's
// height, the target's width), reporting each row.
using THorizontalPass = void (*)(TBitmap* Source, TBitmap* Temp, const TLists& Lists, TProgressState& Progress);
// The vertical pass: every column of Temp through the row lists into Dest, reporting each
// column after the RowsBefore rows of the horizontal pass.
using TVerticalPass = void (*)(TBitmap* Temp, TBitmap* Dest, const TLists& Lists, TProgressState& Progress,
                               int RowsBefore);

namespace plain {
void HorizontalPass(TBitmap* Source, TBitmap* Temp, const TLists& Lists, TProgressState& Progress);
void VerticalPass(TBitmap* Temp, TBitmap* Dest, const TLists& Lists, TProgressState& Progress, int RowsBefore);
}  // namespace plain

#if VL_X86_VARIANTS
namespace avx2 {
VL_TARGET_AVX2 void HorizontalPass(TBitmap* Source, TBitmap* Temp, const TLists& Lists, TProgressState& Progress);
VL_TARGET_AVX2 void VerticalPass(TBitmap* Temp, TBitmap* Dest, const TLists& Lists, TProgressState& Progress,
                                 int RowsBefore);
}  // namespace avx2
#endif

}  // namespace vlresample
