// GIF reader on arbitrary bytes, with the test LZW coder installed so that the pixel paths
// run too; the image count walk as well.
#include <cstddef>
#include <cstdint>

#include "platform/core/core.h"
#include "tests/pcxgif/lzw_coder.cpp"
#include "vistrel/codecs/gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool capped = (TBitmap::SetMaxBytes(1 << 20), true);
  (void)capped;
  TBitmap b;
  TIOParamsVals p(nullptr);
  p.GIFLZWDecompress = TestGIFLZWDecode;
  p.GIFLZWCompress = TestGIFLZWEncode;
  p.GIFImageIndex = int32_t(size % 3);
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  int32_t count = 0;
  {
    TReadOnlyMemoryStream s(data, int64_t(size));
    ReadGIFStream(&s, &b, count, p, pr, (size & 15) == 15);
  }
  if (!abort && !b.Empty() && int64_t(b.Width()) * b.Height() <= 4096 && size % 32 == 0) {
    TMemoryStream out;
    WriteGIFStream(&out, &b, p, pr);
  }
  TReadOnlyMemoryStream s(data, int64_t(size));
  TMemoryStream copy;
  bool completed;
  GIFImageCountStream(&s, int32_t(size % 2) - 1, &copy, completed);
  return 0;
}
