// Multi-image files of many small pictures, made in memory: a TIFF of uncompressed RGB pages
// and a GIF of frames coded with the tests' LZW coder. Every picture differs from its
// neighbours.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/pcxgif/lzw_coder.h"
#include "platform/core/core.h"
#include "vistrel/codecs/gif.h"

namespace multipage {

inline void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); }
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + size_t(k)] = uint8_t(v >> (8 * k));
}

inline uint8_t Sample(int page, int x, int y, int c) { return uint8_t(page * 37 + x * 11 + y * 5 + c * 80); }

// Pages of Width x Height, each its pixels followed by its IFD.
inline std::vector<uint8_t> Tiff(int Pages, int Width, int Height) {
  constexpr int kEntries = 9;
  const size_t pixels = size_t(Width) * size_t(Height) * 3;
  const size_t ifdAt = (pixels + 1) & ~size_t(1);
  const size_t pageBytes = ifdAt + 2 + kEntries * 12 + 4;
  std::vector<uint8_t> b(8 + pageBytes * size_t(Pages), 0);
  b[0] = b[1] = 'I';
  Put16(b, 2, 42);
  Put32(b, 4, uint32_t(8 + ifdAt));
  for (int p = 0; p < Pages; ++p) {
    const size_t base = 8 + pageBytes * size_t(p);
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x)
        for (int c = 0; c < 3; ++c) b[base + (size_t(y) * Width + x) * 3 + size_t(c)] = Sample(p, x, y, c);
    size_t e = base + ifdAt;
    Put16(b, e, kEntries);
    e += 2;
    const uint32_t entries[kEntries][3] = {{256, 3, uint32_t(Width)},
                                           {257, 3, uint32_t(Height)},
                                           {258, 3, 8},
                                           {259, 3, 1},
                                           {262, 3, 2},
                                           {273, 4, uint32_t(base)},
                                           {277, 3, 3},
                                           {278, 3, uint32_t(Height)},
                                           {279, 4, uint32_t(pixels)}};
    for (const auto& en : entries) {
      Put16(b, e, en[0]);
      Put16(b, e + 2, en[1]);
      Put32(b, e + 4, 1);
      if (en[1] == 3) Put16(b, e + 8, en[2]);
      else Put32(b, e + 8, en[2]);
      e += 12;
    }
    Put32(b, e, p + 1 < Pages ? uint32_t(base + pageBytes + ifdAt) : 0);
  }
  return b;
}

// Frames of Width x Height, each with its own delay; the first frame's file gives the header
// and the global colour table, the others only their blocks.
inline std::vector<uint8_t> Gif(int Frames, int Width, int Height) {
  std::vector<uint8_t> out;
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(Width, Height);
  for (int f = 0; f < Frames; ++f) {
    for (int y = 0; y < Height; ++y) {
      uint8_t* row = bmp.ScanLine(y);
      for (int x = 0; x < Width; ++x)
        for (int c = 0; c < 3; ++c) row[x * 3 + c] = (x + y + f) % 3 == c ? 255 : 0;
    }
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 2;
    p.GIFDelayTime = 1 + f % 7;
    p.GIFLZWCompress = TestGIFLZWEncode;
    bool abort = false;
    TFilterProgress progress;
    progress.AbortFlag = &abort;
    TMemoryStream one;
    WriteGIFStream(&one, &bmp, p, progress);
    const auto* bytes = static_cast<const uint8_t*>(one.Memory());
    const size_t head = 13 + 3 * (size_t(2) << (bytes[10] & 7));
    const size_t from = f == 0 ? 0 : head;
    out.insert(out.end(), bytes + from, bytes + one.Size() - 1);  // without the trailer
  }
  out.push_back(0x3B);
  return out;
}

}  // namespace multipage
