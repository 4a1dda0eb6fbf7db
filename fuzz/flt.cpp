// Filter file reader on arbitrary bytes. A filter that reads is written and read back the
// same, then applied to a small picture made from the input (any 32-bit coefficients and
// divisor) and checked against the sums taken in 64 bits.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/core/core.h"
#include "vistrel/proc/kernels/effects.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TReadOnlyMemoryStream s(data, int64_t(size));
  TVLUserFilter f{{7, 7, 7, 7, 7, 7, 7, 7, 7}, 7};
  const TVLUserFilter before = f;
  bool read = false;
  try {
    read = VLReadFilter(&s, f);
  } catch (const EReadError&) {}
  if (!read) {
    if (!(f == before)) __builtin_trap();  // a refused or short file changes nothing
    return 0;
  }
  TMemoryStream out;
  VLWriteFilter(&out, f);
  if (out.Size() != 43) __builtin_trap();
  out.SetPosition(0);
  TVLUserFilter back;
  if (!VLReadFilter(&out, back) || !(back == f)) __builtin_trap();

  // A 5 x 4 picture from the bytes after the record (zeros when they run out).
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(5, 4);
  size_t k = 43;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 15; ++x) b.ScanLine(y)[x] = k < size ? data[k++] : 0;
  TBitmap src;
  src.Assign(&b);
  const int x1 = size > 43 ? data[43] % 5 : 0;
  VLApplyFilter3x3(&b, x1, 0, 4, 3, f);
  const int64_t d = f.Divisor == 0 ? 1 : f.Divisor;
  for (int y = 0; y < 4; ++y)
    for (int x = x1; x < 5; ++x)
      for (int ch = 0; ch < 3; ++ch) {
        int64_t sum = 0;
        for (int j = 0; j < 3; ++j)
          for (int i = 0; i < 3; ++i) {
            const int yy = std::clamp(y + j - 1, 0, 3), xx = std::clamp(x + i - 1, 0, 4);
            sum += int64_t(f.Coeffs[size_t(j * 3 + i)]) * src.ScanLine(yy)[xx * 3 + ch];
          }
        if (b.ScanLine(y)[x * 3 + ch] != std::clamp<int64_t>(sum / d, 0, 255)) __builtin_trap();
      }
  return 0;
}
