// Fuzz target of the JPEG reader: every input must end in a picture or the abort flag.
#include <cstddef>
#include <cstdint>

#include "vistrel/codecs/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBitmap::SetMaxBytes(int64_t(8) << 20);
  for (int pass = 0; pass < 2; ++pass) {
    TReadOnlyMemoryStream stream(data, int64_t(size));
    TBitmap bitmap;
    TIOParamsVals params(nullptr);
    // The second pass reads at a scale that the input's length picks.
    params.JPEGScale = uint8_t(pass == 0 ? 1 : size % 5);
    params.JPEGDCTMethod = uint8_t(size % 3);
    params.Width = 64;
    params.Height = 64;
    bool abort = false;
    TFilterProgress progress;
    progress.AbortFlag = &abort;
    LoadJpegFromStream(&stream, &bitmap, params, pass == 1 && size % 7 == 0, progress);
  }
  return 0;
}
