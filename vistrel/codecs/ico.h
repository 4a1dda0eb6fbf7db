// Icon and cursor readers: one image of the file, its colour bitmap only.
#pragma once
#include <cstdint>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

// True when the stream holds an icon (cursor) directory; the position is kept.
bool IsICOStream(TStream* Stream);
bool IsCURStream(TStream* Stream);

// Read the image at ICOImageIndex (CURImageIndex) of Params. An icon stream that starts
// with "BM" is read as a BMP; an entry that holds a PNG picture is read as a PNG.
void ReadICOStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress, bool ParamsOnly);
void ReadCURStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress, bool ParamsOnly);
