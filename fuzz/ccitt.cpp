// Fax line decoders under fuzzing. Byte 0 picks the decoder and fill order, bytes 1-2 the width.
// Seeds: fuzz/seeds/ccitt (made by fuzz/seeds/bmp_ico_pcx_tiff.py).
#include <cstdint>
#include <cstring>
#include <vector>

#include "vistrel/codecs/ccitt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int kind = data[0] & 3;
  const int fillOrder = (data[0] & 4) ? 2 : 1;
  const int width = 1 + ((data[1] | data[2] << 8) & 0x3FFF);
  data += 3, size -= 3;
  const size_t rb = size_t((width + 7) / 8);
  // Exact sizes so that any write past the row is caught.
  std::vector<uint8_t> row(rb), ref(rb, 0xFF);
  int64_t pos = 0, n = int64_t(size);
  for (int line = 0; line < 4096; ++line) {
    int64_t p;
    switch (kind) {
      case 0: {
        if (pos > n) return 0;
        p = CCITTDecodeMHRow(row.data(), data + pos, n - pos, width, fillOrder);
        if (p < 0) return 0;
        pos += p;
        if (p == 0) return 0;
        break;
      }
      case 1: p = pos = CCITTDecode1DLine(row.data(), data, n, width, fillOrder, pos); break;
      default: p = pos = CCITTDecode2DLine(row.data(), data, n, width, fillOrder, pos, ref.data()); break;
    }
    if (p < 0) return 0;
  }
  return 0;
}
