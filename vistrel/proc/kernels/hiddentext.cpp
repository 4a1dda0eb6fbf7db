#include "vistrel/proc/kernels/hiddentext.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int kHeaderBytes = 8;

// Carrier bits of a picture.
int64_t CarrierBits(const TBitmap* b) {
  if (!b || b->PixelFormat() != pf24bit || b->Empty()) return 0;
  return (int64_t(b->Width()) * 3 - 2) * b->Height();
}

// Walks the carriers in order.
template <typename TByte>
class TCarriers {
 public:
  explicit TCarriers(TByte* bits, int64_t rowBytes, int width, int height)
      : FBits(bits), FRowBytes(rowBytes), FPerRow(int64_t(width) * 3 - 2), FHeight(height) {}
  // Null after the last carrier.
  TByte* Next() {
    if (FIndex == FPerRow) {
      FIndex = 0;
      ++FRow;
    }
    if (FRow >= FHeight) return nullptr;
    return FBits + FRowBytes * FRow + FIndex++;
  }

 private:
  TByte* FBits;
  int64_t FRowBytes, FPerRow;
  int FHeight;
  int FRow = 0;
  int64_t FIndex = 0;
};

}  // namespace

int VLHiddenTextSpace(const TBitmap* Bitmap) {
  const int64_t space = CarrierBits(Bitmap) / 8 - kHeaderBytes;
  return int(std::clamp<int64_t>(space, 0, INT_MAX));
}

bool VLHiddenTextFits(const TBitmap* Bitmap, int Length) {
  // The header must fit as well as the data, even for an empty text.
  return Length >= 0 && CarrierBits(Bitmap) / 8 >= int64_t(kHeaderBytes) + Length;
}

bool VLWriteHiddenText(TBitmap* Bitmap, const uint8_t* Data, int Length) {
  if ((Length > 0 && !Data) || !VLHiddenTextFits(Bitmap, Length)) return false;
  uint8_t header[kHeaderBytes] = {0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) header[4 + i] = uint8_t(uint32_t(Length) >> (8 * i));
  TCarriers<uint8_t> c(Bitmap->Bits(), Bitmap->RowBytes(), Bitmap->Width(), Bitmap->Height());
  const int64_t total = int64_t(kHeaderBytes) + Length;
  for (int64_t i = 0; i < total; ++i) {
    const uint8_t byte = i < kHeaderBytes ? header[i] : Data[i - kHeaderBytes];
    for (int k = 0; k < 8; ++k) {
      uint8_t& v = *c.Next();
      const bool bit = (byte >> k) & 1;
      if (bit != bool(v & 1)) v = v == 255 ? 254 : uint8_t(v + 1);
    }
  }
  return true;
}

int VLReadHiddenText(const TBitmap* Bitmap, uint8_t* Data, int MaxLength) {
  if (CarrierBits(Bitmap) == 0) return 0;
  TCarriers<const uint8_t> c(Bitmap->Bits(), Bitmap->RowBytes(), Bitmap->Width(), Bitmap->Height());
  auto nextByte = [&c](uint8_t& out) {
    out = 0;
    for (int k = 0; k < 8; ++k) {
      const uint8_t* v = c.Next();
      if (!v) return false;
      out = uint8_t(out | ((*v & 1) << k));
    }
    return true;
  };
  uint8_t header[kHeaderBytes];
  for (uint8_t& b : header)
    if (!nextByte(b)) return 0;
  const uint32_t stored =
      uint32_t(header[4]) | uint32_t(header[5]) << 8 | uint32_t(header[6]) << 16 | uint32_t(header[7]) << 24;
  if (stored > uint32_t(VLHiddenTextSpace(Bitmap))) return 0;
  const int length = int(stored);
  const int n = Data ? std::min(length, std::max(MaxLength, 0)) : 0;
  for (int i = 0; i < n; ++i) nextByte(Data[i]);
  return length;
}
