#include "vistrel/proc/kernels/packeddib.h"

#include <cstring>

#include "platform/core/library.h"
#include "vistrel/proc/kernels/pixels.h"

namespace {

constexpr int64_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRGB = 0;

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

struct TDibLayout {
  int32_t Width = 0, Height = 0;
  bool TopDown = false;
  int Bits = 0;
  const uint8_t* Table = nullptr;  // colour table entries: blue, green, red, reserved
  int64_t TableCount = 0;
  const uint8_t* Rows = nullptr;
  int64_t RowLength = 0;
};

// Checks the header, the colour table and the rows against the bytes there are.
bool Layout(const uint8_t* block, int64_t size, const uint8_t* bits, int64_t bitsSize, TDibLayout& d) {
  if (!block || size < kInfoHeaderSize) return false;
  const int64_t headerSize = U32(block);
  if (headerSize < kInfoHeaderSize || headerSize > size) return false;
  const int32_t w = int32_t(U32(block + 4)), h = int32_t(U32(block + 8));
  d.Bits = U16(block + 14);
  const uint32_t compression = U32(block + 16), clrUsed = U32(block + 32);
  if (compression != kBiRGB) return false;
  if (d.Bits != 1 && d.Bits != 4 && d.Bits != 8 && d.Bits != 24) return false;
  if (w <= 0 || h == 0 || h == INT32_MIN) return false;
  d.Width = w;
  d.TopDown = h < 0;
  d.Height = h < 0 ? -h : h;
  if (d.Bits <= 8) {
    const int64_t full = int64_t(1) << d.Bits;
    if (clrUsed > full) return false;
    d.TableCount = clrUsed ? clrUsed : full;
  } else {
    d.TableCount = clrUsed;
  }
  const int64_t tableBytes = d.TableCount * 4;
  if (tableBytes > size - headerSize) return false;
  d.Table = block + headerSize;
  d.RowLength = VLRowLength(w, d.Bits);
  // Every row must be there (compared by division: the product may not fit 64 bits).
  const int64_t avail = bits ? bitsSize : size - headerSize - tableBytes;
  if (avail < 0 || d.Height > avail / d.RowLength) return false;
  d.Rows = bits ? bits : d.Table + tableBytes;
  return true;
}

int Luminance(const uint8_t* entry) { return (entry[2] * 21 + entry[1] * 71 + entry[0] * 7) / 100; }

void Fill(const TDibLayout& d, TBitmap* bmp) {
  const uint8_t black[4] = {0, 0, 0, 0};
  auto entry = [&](unsigned i) { return i < d.TableCount ? d.Table + 4 * int64_t(i) : black; };
  // A table whose first entry is the lighter one stores white as 0.
  const bool invert1 = d.Bits == 1 && d.TableCount >= 2 && Luminance(entry(0)) > Luminance(entry(1));
  for (int32_t y = 0; y < d.Height; ++y) {
    const uint8_t* s = d.Rows + d.RowLength * y;
    uint8_t* o = bmp->ScanLine(d.TopDown ? y : d.Height - 1 - y);
    switch (d.Bits) {
      case 1: {
        const int64_t n = (int64_t(d.Width) + 7) / 8;
        for (int64_t i = 0; i < n; ++i) o[i] = invert1 ? uint8_t(~s[i]) : s[i];
        break;
      }
      case 4:
        for (int32_t x = 0; x < d.Width; ++x) {
          const unsigned v = (x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4);
          std::memcpy(o + 3 * int64_t(x), entry(v), 3);
        }
        break;
      case 8:
        for (int32_t x = 0; x < d.Width; ++x) std::memcpy(o + 3 * int64_t(x), entry(s[x]), 3);
        break;
      default:
        std::memcpy(o, s, size_t(d.Width) * 3);
        break;
    }
  }
}

}  // namespace

int VLPackedDIBToBitmap(const void* Header, TBitmap* Bitmap, const void* Bits, bool HeaderIsPointer,
                        int64_t HeaderSize, int64_t BitsSize) {
  if (!Header || !Bitmap) return 0;
  const uint8_t* block = nullptr;
  int64_t size = 0;
  if (HeaderIsPointer) {
    block = static_cast<const uint8_t*>(Header);
    size = HeaderSize;
  } else {
    HGLOBAL h = const_cast<void*>(Header);
    block = static_cast<const uint8_t*>(GlobalLock(h));
    size = GlobalSize(h);
  }
  TDibLayout d;
  const bool ok = Layout(block, size, Bits ? static_cast<const uint8_t*>(Bits) : nullptr, BitsSize, d);
  const TPixelFormat pf = d.Bits == 1 ? pf1bit : pf24bit;
  int result = 0;
  if (ok && BitmapRowBytes(d.Width, TBitmap::StoredBits(pf)) * d.Height <= TBitmap::MaxBytes()) {
    Bitmap->SetSize(1, 1);
    Bitmap->SetPixelFormat(pf);
    Bitmap->SetSize(d.Width, d.Height);
    Fill(d, Bitmap);
    result = d.Bits;
  }
  if (!HeaderIsPointer) GlobalUnlock(const_cast<void*>(Header));
  return result;
}
