// Fuzz target of the packed-DIB reader: the input as one block, as a memory handle, and as a
// header with its pixel data apart; what was read writes out and reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/core/library.h"
#include "vistrel/proc/kernels/packeddib.h"
#include "vistrel/proc/kernels/pixels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool capped = [] {
    TBitmap::SetMaxBytes(int64_t(8) << 20);
    return true;
  }();
  (void)capped;
  TBitmap b;
  const int bits = VLPackedDIBToBitmap(data, &b, nullptr, true, int64_t(size));
  if (bits != 0 && (b.Width() < 1 || b.Height() < 1)) __builtin_trap();

  // The same bytes in a memory handle, which bounds the reads by its own size.
  if (size > 0 && size % 3 == 0) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, int64_t(size));
    std::memcpy(GlobalLock(h), data, size);
    GlobalUnlock(h);
    TBitmap c;
    if (VLPackedDIBToBitmap(h, &c, nullptr, false) != bits) __builtin_trap();
    GlobalFree(h);
  }

  // Header and pixel data apart, split where the input says.
  if (size > 1) {
    const size_t split = 40 + data[size - 1] % 64 < size ? 40 + data[size - 1] % 64 : size / 2;
    TBitmap c;
    VLPackedDIBToBitmap(data, &c, data + split, true, int64_t(split), int64_t(size - split));
  }

  if (bits != 0 && int64_t(b.Width()) * b.Height() <= 1 << 16) {
    const std::vector<uint8_t> dib = VLPackedDIBBytes(&b, 0, 0, b.Width() - 1, b.Height() - 1);
    TBitmap back;
    const int want = b.PixelFormat() == pf1bit ? 1 : 24;
    if (VLPackedDIBToBitmap(dib.data(), &back, nullptr, true, int64_t(dib.size())) != want) __builtin_trap();
    if (!VLSameBitmap(&back, &b)) __builtin_trap();
  }
  return 0;
}
