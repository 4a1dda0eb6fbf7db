// AVI reader on arbitrary bytes: the headers, then every frame the file gives, each checked
// against the bitmap limit.
#include <cstddef>
#include <cstdint>

#include "platform/core/core.h"
#include "vistrel/codecs/avi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool capped = (TBitmap::SetMaxBytes(int64_t(8) << 20), true);
  (void)capped;
  TReadOnlyMemoryStream s(data, int64_t(size));
  TAVIReader r;
  if (!r.Open(&s)) return 0;
  (void)r.FrameDelay();
  // Every frame takes at least a chunk header, so this ends long before the loop bound.
  for (size_t f = 0; f <= size / 8; ++f) {
    TBitmap b;
    const int bits = r.ReadFrame(&b);
    if (bits == 0) break;
    if (b.Empty() || b.ImageSize() > TBitmap::MaxBytes()) __builtin_trap();
  }
  TBitmap b;
  if (r.ReadFrame(&b) != 0) __builtin_trap();  // once ended, it stays ended
  return 0;
}
