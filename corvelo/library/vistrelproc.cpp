#include "corvelo/library/vistrelproc.h"

#include "vistrel/proc/kernels/pixels.h"

namespace corvelo::lib {

void TVistrelProc::SaveUndo() {
  ClearUndo();
  ::TVistrelProc::SaveUndo();
}

void VLExpand1BitTo24Bit(TBitmap* Source, TBitmap* Dest, const TProgressEvent& OnProgress, TObject* Sender) {
  if (!OnProgress) {
    ::VLExpand1BitTo24Bit(Source, Dest, nullptr, Sender);
    return;
  }
  // The shared expansion reports once per row; this build words the percentage its own way.
  const long double rows = (Source ? Source->Height() : 0) + 0.5L;
  int64_t done = 0;
  ::VLExpand1BitTo24Bit(
      Source, Dest, [&](TObject* s, int) { OnProgress(s, int(Trunc(100 / rows * ++done))); }, Sender);
}

}  // namespace corvelo::lib
