// Fuzz target of the PNG reader: every input must end in a picture or the abort flag.
// Each input is read as it is and once more with its chunk CRCs made right, so that the
// mutations reach past the CRC checks.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vistrel/codecs/png.h"

namespace {

void FixCrcs(std::vector<uint8_t>& b) {
  size_t pos = 8;
  while (pos + 12 <= b.size()) {
    uint64_t len = (uint64_t(b[pos]) << 24) | (uint64_t(b[pos + 1]) << 16) | (uint64_t(b[pos + 2]) << 8) | b[pos + 3];
    if (pos + 12 + len > b.size()) break;
    uint32_t c = uint32_t(crc32(0, &b[pos + 4], uInt(len + 4)));
    uint8_t* p = &b[pos + 8 + len];
    p[0] = uint8_t(c >> 24), p[1] = uint8_t(c >> 16), p[2] = uint8_t(c >> 8), p[3] = uint8_t(c);
    pos += 12 + len;
  }
}

void Read(const uint8_t* data, size_t size, bool paramsOnly) {
  TReadOnlyMemoryStream stream(data, int64_t(size));
  TBitmap bitmap;
  TIOParamsVals params(nullptr);
  params.PNGBackground = TRGB{10, 200, 90};
  bool abort = false;
  TFilterProgress progress;
  progress.AbortFlag = &abort;
  LoadPngFromStream(&stream, &bitmap, params, paramsOnly, progress);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBitmap::SetMaxBytes(int64_t(8) << 20);
  Read(data, size, size % 11 == 0);
  std::vector<uint8_t> fixed(data, data + size);
  FixCrcs(fixed);
  Read(fixed.data(), fixed.size(), false);
  return 0;
}
