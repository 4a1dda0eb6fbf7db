#include "vistrel/view/vistrelview_blit.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gui/canvas.h"

namespace {
// Source index of each destination index: the source pixel under the centre of the
// destination pixel.
void BuildMap(std::vector<int64_t>& map, int64_t first, int64_t count, int64_t srcStart, int64_t srcCount,
              int64_t dstCount) {
  map.resize(size_t(count));
  for (int64_t i = 0; i < count; ++i) {
    int64_t d = first + i;
    int64_t s = srcStart + ((2 * d + 1) * srcCount) / (2 * dstCount);
    map[size_t(i)] = std::min(s, srcStart + srcCount - 1);
  }
}
}  // namespace

bool VLStretchBlit(const TBitmap* src, int64_t sx, int64_t sy, int64_t sw, int64_t sh, TBitmap* dst, int dx, int dy,
                   int dw, int dh, const TClipRegion* clip) {
  if (!dst || dst->PixelFormat() != pf24bit) return false;
  if (!src || src->Empty() || dst->Empty() || dw <= 0 || dh <= 0) return true;
  const int bits = src->BitsPerPixel();
  if (bits != 1 && bits != 24 && bits != 32) return false;
  // Keep the source rectangle inside the picture; it always covers at least one pixel.
  const int64_t W = src->Width(), H = src->Height();
  sx = std::clamp<int64_t>(sx, 0, W - 1);
  sy = std::clamp<int64_t>(sy, 0, H - 1);
  sw = std::clamp<int64_t>(sw, 1, W - sx);
  sh = std::clamp<int64_t>(sh, 1, H - sy);

  // Destination pixels that exist on the surface.
  int64_t x0 = std::max<int64_t>(dx, 0), x1 = std::min<int64_t>(int64_t(dx) + dw, dst->Width());
  int64_t y0 = std::max<int64_t>(dy, 0), y1 = std::min<int64_t>(int64_t(dy) + dh, dst->Height());
  if (x0 >= x1 || y0 >= y1) return true;

  std::vector<int64_t> cols;
  BuildMap(cols, x0 - dx, x1 - x0, sx, sw, dw);
  const int bpp = bits / 8;
  if (bits != 1)
    for (auto& c : cols) c *= bpp;

  const uint8_t* srcBits = src->Bits();
  const int64_t srcStride = src->RowBytes();
  uint8_t* dstBits = dst->Bits();
  const int64_t dstStride = dst->RowBytes();
  const int64_t span = x1 - x0;

  int64_t prevRow = -1;
  uint8_t* prevDst = nullptr;
  for (int64_t y = y0; y < y1; ++y) {
    int64_t d = y - dy;
    int64_t sr = std::min(sy + ((2 * d + 1) * sh) / (2 * int64_t(dh)), sy + sh - 1);
    uint8_t* out = dstBits + y * dstStride + x0 * 3;
    const std::vector<std::pair<int, int>>* runs = nullptr;
    if (clip) {
      runs = clip->Row(int(y));
      if (!runs || runs->empty()) continue;
    }
    if (!clip && sr == prevRow && prevDst) {
      std::memcpy(out, prevDst, size_t(span * 3));
      continue;
    }
    const uint8_t* in = srcBits + sr * srcStride;
    auto put = [&](int64_t a, int64_t b) {  // surface columns [a, b)
      uint8_t* o = dstBits + y * dstStride + a * 3;
      if (bits == 1) {
        for (int64_t x = a; x < b; ++x, o += 3) {
          int64_t c = cols[size_t(x - x0)];
          uint8_t v = (in[c >> 3] & (0x80 >> (c & 7))) ? 255 : 0;
          o[0] = o[1] = o[2] = v;
        }
      } else {
        for (int64_t x = a; x < b; ++x, o += 3) {
          const uint8_t* p = in + cols[size_t(x - x0)];
          o[0] = p[0];
          o[1] = p[1];
          o[2] = p[2];
        }
      }
    };
    if (runs) {
      for (const auto& r : *runs) {
        int64_t a = std::max<int64_t>(r.first, x0), b = std::min<int64_t>(r.second, x1);
        if (a < b) put(a, b);
      }
    } else {
      put(x0, x1);
      prevRow = sr;
      prevDst = out;
    }
  }
  return true;
}
