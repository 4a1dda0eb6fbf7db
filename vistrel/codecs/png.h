// PNG reading and writing over libpng, with read and write callbacks on a TStream.
#pragma once
#include <cstdint>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

// Content sniffer: the PNG signature in a stream of more than 8 bytes.
bool VLIsPNG(const uint8_t* Head, int64_t StreamSize);
// Reads 8 bytes: true when they are the PNG signature; then seeks 8 bytes back.
bool HasPngSignature(TStream* Stream);

// Every PNG becomes a 1-bit bitmap (bit depth 1) or a 24-bit one, transparency composited
// over the file's background (bKGD) or PNGBackground.
void LoadPngFromStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                       TFilterProgress& Progress);
// Writes 8-bit RGB, 8-bit palette or 1-bit gray. A failed write (libpng's error, a stream
// that fails or raises) sets the abort flag with the reason "Error on creating PNG".
void SavePngToStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);

// The decode core shared by every PNG reader: failures set the abort flag through VLFail
// with a short reason; exceptions of the progress handler pass on after the clean-up.
void LoadPngCore(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly, TFilterProgress& Progress);

extern const char* const SPngWriteError;  // "Error on creating PNG"
