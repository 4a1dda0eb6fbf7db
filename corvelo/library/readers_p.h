// Private to the viewer's library, no API: how its readers run the editor's codecs.
#pragma once
#include "corvelo/library/ioparams.h"
#include "corvelo/library/ioparams_p.h"

namespace corvelo::lib {

// Runs Read(codecParams) on a copy of Params in the editor's form, with an abort flag lent when
// Progress has none, and copies the parameters back whatever happened. Returns why the codec
// stopped: vcNone when it read the whole picture, vcCancelled when the caller's handler
// stopped it. The codec's own reason stays in Progress.AbortReason.
template <class Read>
TVLCause VLRunViewerCodec(TIOParamsVals& Params, TFilterProgress& Progress, Read&& Read_) {
  ::TIOParamsVals codec(nullptr);
  VLCopySharedParams(Params, codec);
  Progress.AbortReason.clear();
  Progress.AbortCause = vcNone;
  TVLAbortFlagScope flag(Progress);
  Read_(codec);
  VLCopySharedParams(codec, Params);
  if (Progress.AbortCause == vcNone && VLAborting(Progress)) return vcCancelled;
  return Progress.AbortCause;
}

// The codec stopped on the data, not at the caller's wish.
inline bool VLViewerReadFailed(TVLCause Cause) { return Cause != vcNone && Cause != vcCancelled; }

}  // namespace corvelo::lib
