// PCX reader on arbitrary bytes; now and then what reads is written again at its own depth
// (the quantizer makes writes slow).
// Seeds: fuzz/seeds/pcx (made by fuzz/seeds/bmp_ico_pcx_tiff.py).
#include <cstddef>
#include <cstdint>

#include "platform/core/core.h"
#include "vistrel/codecs/pcx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool capped = (TBitmap::SetMaxBytes(1 << 20), true);
  (void)capped;
  TReadOnlyMemoryStream s(data, int64_t(size));
  TBitmap b;
  TIOParamsVals p(nullptr);
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  ReadPCXStream(&s, &b, p, int64_t(size), pr, (size & 7) == 7);
  if (!abort && !b.Empty() && int64_t(b.Width()) * b.Height() <= 4096 && size % 32 == 0) {
    TMemoryStream out;
    abort = false;
    WritePCXStream(&out, &b, p, pr);
  }
  return 0;
}
