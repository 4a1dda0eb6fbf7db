// The viewer's readers: the editor's codecs with the viewer's parameter object, no
// parameters-only mode, and failure raised as EInvalidGraphic instead of the abort flag. A
// progress handler that sets the abort flag still ends a read, without an exception.
#pragma once
#include <cstdint>
#include <string>

#include "corvelo/library/ioparams.h"

namespace corvelo::lib {

// Every picture at full size. Raises "Unrecognized JPeg - " and the library's "JPEG error #n"
// (or why the read stopped, when the library didn't stop it).
void LoadJpegFromStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);
// A 1-bit picture keeps its bits as stored, whatever its palette. Raises "unrecognized BMP".
void ReadBMPStream(TStream* Stream, TBitmap* Bitmap, int64_t DataLength, TFilterProgress& Progress,
                   TIOParamsVals& Params);
// Pictures without a background chunk are composited over PNGBackground. Raises
// "Unrecognized PNG".
void LoadPngFromStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);

// A picture with a two-colour table is a 1-bit bitmap, 1 where the index is not 0. Raises
// "unrecognized GIF", or "LZW decompressor not found" once the wanted image is reached
// without a coder (its values are in Params then).
void ReadGIFStream(TStream* Stream, TBitmap* Bitmap, int32_t& ImageCount, TIOParamsVals& Params,
                   TFilterProgress& Progress);
void ReadGIFFile(const std::string& FileName, TBitmap* Bitmap, int32_t& ImageCount, TIOParamsVals& Params,
                 TFilterProgress& Progress);
// One or three planes. Raises "unrecognized PCX".
void ReadPCXStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, int64_t DataSize,
                   TFilterProgress& Progress);
void ReadPCXFile(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);
// Raises "unrecognized TIFF" (byte order), "LZW Decompressor not found", or "Invalid TIFF
// stream" (BitsPerSample values that disagree, a page index past the last page, a picture
// that can't be read).
void ReadTIFFStream(TBitmap* Bitmap, TStream* Stream, int& ImageCount, TIOParamsVals& Params,
                    TFilterProgress& Progress);

}  // namespace corvelo::lib
