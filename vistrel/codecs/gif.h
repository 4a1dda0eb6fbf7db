// GIF reader and writer. The LZW coding of the image data is left to the coder hooks of the
// parameter object (or the process-wide defaults); without one, reading and writing stop
// with the abort flag set.
#pragma once
#include <cstdint>
#include <string>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

// Content sniffer: "GIF" in a stream of more than 13 bytes.
bool VLIsGIF(const uint8_t* Head, int64_t StreamSize);

// Reads image GIFImageIndex of Params; ImageCount ends as the number of images walked.
void ReadGIFStream(TStream* Stream, TBitmap* Bitmap, int32_t& ImageCount, TIOParamsVals& Params,
                   TFilterProgress& Progress, bool ParamsOnly);
void ReadGIFFile(const std::string& FileName, TBitmap* Bitmap, int32_t& ImageCount, TIOParamsVals& Params,
                 TFilterProgress& Progress);
// Writes a one-image GIF at the stream's position.
void WriteGIFStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);
// The file is replaced only when the whole image was written.
void WriteGIFFile(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);

// Number of images in the file. SkipIndex >= 0 leaves that image (and the graphic control
// extension before it) out of the count; with Save the file is rewritten without it.
int32_t GIFImageCount(const std::string& FileName, int32_t SkipIndex = -1, bool Save = false);
// The walk behind GIFImageCount over a stream: the kept blocks go to Copy (version "89a");
// Completed is false when the walk ended inside a block.
int32_t GIFImageCountStream(TStream* Stream, int32_t SkipIndex, TStream* Copy, bool& Completed);
