// Icon and cursor readers on arbitrary bytes.
// Seeds: fuzz/seeds/ico (made by fuzz/seeds/bmp_ico_pcx_tiff.py).
#include <cstddef>
#include <cstdint>

#include "platform/core/core.h"
#include "vistrel/codecs/ico.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool capped = (TBitmap::SetMaxBytes(1 << 20), true);
  (void)capped;
  const bool paramsOnly = (size & 7) == 7;
  for (int cursor = 0; cursor < 2; ++cursor) {
    TReadOnlyMemoryStream s(data, int64_t(size));
    if (cursor ? IsCURStream(&s) : IsICOStream(&s)) s.SetPosition(0);
    TBitmap b;
    TIOParamsVals p(nullptr);
    p.ICOImageIndex = p.CURImageIndex = int32_t(size % 5);
    bool abort = false;
    TFilterProgress pr;
    pr.AbortFlag = &abort;
    if (cursor) ReadCURStream(&s, &b, p, pr, paramsOnly);
    else ReadICOStream(&s, &b, p, pr, paramsOnly);
  }
  return 0;
}
