// GIF reader and writer. The LZW coding of the image data is left to the coder hooks of the
// parameter object (or the process-wide defaults); without one, reading and writing stop
// with the abort flag set.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

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

// The images of the GIF file at the stream's position, found by one walk over its blocks.
struct TGIFImageIndex {
  struct TImage {
    int64_t Descriptor;  // stream position of the image descriptor's fields
    int64_t Control;     // of its graphic control extension's block, -1 when none
  };
  uint8_t Header[13] = {};
  TRGB Global[256] = {};  // entries missing from the file read as black
  int HeaderRead = 0;     // 1 header, 2 header and global table
  bool Trailer = false;
  bool Failed = false;  // no GIF, a cut header or a stream error: every read fails alike
  TVLCause Cause = vcNone;
  std::string Reason;
  std::vector<TImage> Images;
};
void GIFIndexStream(TStream* Stream, TGIFImageIndex& Index);
// Reads image Image of the indexed file from where it lies, as ReadGIFStream reads image
// GIFImageIndex (which this leaves alone).
void ReadGIFImage(TStream* Stream, const TGIFImageIndex& Index, int32_t Image, TBitmap* Bitmap, TIOParamsVals& Params,
                  TFilterProgress& Progress);

// Number of images in the file. SkipIndex >= 0 leaves that image (and the graphic control
// extension before it) out of the count; with Save the file is rewritten without it.
int32_t GIFImageCount(const std::string& FileName, int32_t SkipIndex = -1, bool Save = false);
// The walk behind GIFImageCount over a stream: the kept blocks go to Copy (version "89a");
// Completed is false when the walk ended inside a block.
int32_t GIFImageCountStream(TStream* Stream, int32_t SkipIndex, TStream* Copy, bool& Completed);
