#include "platform/core/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/core/pixelpool.h"

// Sanitizer builds take every block from the heap, where overruns are caught.
#if defined(__SANITIZE_ADDRESS__)
#define VL_PIXELS_FROM_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define VL_PIXELS_FROM_HEAP 1
#endif
#endif

void (*TBitmap::FreeCanvasHook)(TCanvas*) = nullptr;

namespace {
int64_t gMaxBytes = int64_t(1) << 30;  // 1 GiB of pixels, for every reader

// Blocks from kMapped up are mapped on their own in whole 2 MB huge pages, which fault in
// a few hundred times faster than small ones; the rest come from the heap.
constexpr int64_t kHuge = TPixelPool::Page;
constexpr int64_t kMapped = int64_t(4) << 20;

struct TBlock {
  uint8_t* Data = nullptr;
  int64_t Size = 0;   // bytes the block holds
  bool Zero = false;  // known to be all zero
};

#ifdef VL_PIXELS_FROM_HEAP
constexpr bool kFromHeap = true;
#else
constexpr bool kFromHeap = false;
#endif

bool IsMapped(int64_t size) { return !kFromHeap && size >= kMapped; }

// Freed large blocks, kept for the next pictures whatever their sizes.
constexpr int64_t kPoolLimit = int64_t(256) << 20;
TPixelPool& Pool() {
  static TPixelPool* pool = new TPixelPool(kPoolLimit);
  return *pool;
}

void FreeBlock(TBlock b) {
  if (!b.Data) return;
  if (IsMapped(b.Size)) Pool().Give(b.Data, b.Size);
  else std::free(b.Data);
}

// A block of at least `bytes`; all zero when `zero` is set, else its contents are unspecified.
TBlock AllocBlock(int64_t bytes, bool zero) {
  if (bytes <= 0) return {};
  if (bytes > gMaxBytes) throw EOutOfResources(SOutOfResources);
  TBlock b;
  if (IsMapped(bytes)) {
    b.Size = (bytes + kHuge - 1) / kHuge * kHuge;
    b.Data = Pool().Take(b.Size, b.Zero);
    if (!b.Data) throw EOutOfResources(SOutOfResources);
    if (zero && !b.Zero) std::memset(b.Data, 0, size_t(bytes));
    return b;
  }
  b.Data = static_cast<uint8_t*>(zero ? std::calloc(size_t(bytes), 1) : std::malloc(size_t(bytes)));
  if (!b.Data) throw EOutOfResources(SOutOfResources);
  b.Size = bytes;
  b.Zero = zero;
#ifdef VL_PIXELS_FROM_HEAP
  // Pixels a caller forgot to write show up as this pattern, not as black.
  if (!zero) std::memset(b.Data, 0xA5, size_t(bytes));
#endif
  return b;
}

TRGBQuad Q(int r, int g, int b) { return TRGBQuad{uint8_t(b), uint8_t(g), uint8_t(r), 0}; }

// Reads pixel x of a row in any stored format as a colour.
TRGBQuad GetPixel(const uint8_t* row, int x, int bits, TPixelFormat pf, const std::vector<TRGBQuad>& pal) {
  auto entry = [&](unsigned i) { return i < pal.size() ? pal[i] : TRGBQuad{}; };
  switch (bits) {
    case 1: return entry((row[x >> 3] >> (7 - (x & 7))) & 1);
    case 4: return entry((x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4));
    case 8: return entry(row[x]);
    case 16: {
      unsigned v = unsigned(row[2 * x]) | (unsigned(row[2 * x + 1]) << 8);
      if (pf == pf15bit) {
        unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
        return Q(int((r << 3) | (r >> 2)), int((g << 3) | (g >> 2)), int((b << 3) | (b >> 2)));
      }
      unsigned r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
      return Q(int((r << 3) | (r >> 2)), int((g << 2) | (g >> 4)), int((b << 3) | (b >> 2)));
    }
    case 24: return TRGBQuad{row[3 * x], row[3 * x + 1], row[3 * x + 2], 0};
    case 32: return TRGBQuad{row[4 * x], row[4 * x + 1], row[4 * x + 2], 0};
  }
  return {};
}

int Nearest(const std::vector<TRGBQuad>& pal, TRGBQuad c) {
  int best = 0;
  long bestD = -1;
  for (size_t i = 0; i < pal.size(); ++i) {
    long dr = long(pal[i].R) - c.R, dg = long(pal[i].G) - c.G, db = long(pal[i].B) - c.B;
    long d = dr * dr + dg * dg + db * db;
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = int(i);
    }
  }
  return best;
}

void PutPixel(uint8_t* row, int x, int bits, TPixelFormat pf, const std::vector<TRGBQuad>& pal, TRGBQuad c) {
  switch (bits) {
    case 1: {
      uint8_t m = uint8_t(0x80 >> (x & 7));
      if (Nearest(pal, c)) row[x >> 3] |= m;
      else row[x >> 3] &= uint8_t(~m);
      return;
    }
    case 4: {
      int i = Nearest(pal, c) & 15;
      uint8_t& b = row[x >> 1];
      b = (x & 1) ? uint8_t((b & 0xF0) | i) : uint8_t((b & 0x0F) | (i << 4));
      return;
    }
    case 8: row[x] = uint8_t(Nearest(pal, c)); return;
    case 16: {
      unsigned v = pf == pf15bit ? ((unsigned(c.R) >> 3) << 10) | ((unsigned(c.G) >> 3) << 5) | (unsigned(c.B) >> 3)
                                 : ((unsigned(c.R) >> 3) << 11) | ((unsigned(c.G) >> 2) << 5) | (unsigned(c.B) >> 3);
      row[2 * x] = uint8_t(v);
      row[2 * x + 1] = uint8_t(v >> 8);
      return;
    }
    case 24:
      row[3 * x] = c.B;
      row[3 * x + 1] = c.G;
      row[3 * x + 2] = c.R;
      return;
    case 32:
      row[4 * x] = c.B;
      row[4 * x + 1] = c.G;
      row[4 * x + 2] = c.R;
      row[4 * x + 3] = 0;
      return;
  }
}
}  // namespace

int64_t TBitmap::MaxBytes() { return gMaxBytes; }
void TBitmap::SetMaxBytes(int64_t n) { gMaxBytes = n; }
void TBitmap::ReleaseFreedMemory() { Pool().Trim(); }

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
  if (FCanvas && FreeCanvasHook) FreeCanvasHook(FCanvas);
  FreeBlock({FBits, FCapacity});
}

int TBitmap::StoredBits(TPixelFormat pf) {
  switch (pf) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf32bit: return 32;
    default: return 24;
  }
}

std::vector<TRGBQuad> TBitmap::DefaultPalette(TPixelFormat pf) {
  static const TRGBQuad vga[16] = {Q(0, 0, 0),       Q(128, 0, 0),   Q(0, 128, 0),   Q(128, 128, 0),
                                   Q(0, 0, 128),     Q(128, 0, 128), Q(0, 128, 128), Q(128, 128, 128),
                                   Q(192, 192, 192), Q(255, 0, 0),   Q(0, 255, 0),   Q(255, 255, 0),
                                   Q(0, 0, 255),     Q(255, 0, 255), Q(0, 255, 255), Q(255, 255, 255)};
  std::vector<TRGBQuad> p;
  if (pf == pf1bit) {
    p = {Q(0, 0, 0), Q(255, 255, 255)};
  } else if (pf == pf4bit) {
    p.assign(vga, vga + 16);
  } else if (pf == pf8bit) {
    p.assign(vga, vga + 16);
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b) p.push_back(Q(r * 51, g * 51, b * 51));
    for (int i = 0; i < 24; ++i) p.push_back(Q(8 + i * 10, 8 + i * 10, 8 + i * 10));
  }
  return p;
}

void TBitmap::Reallocate(int w, int h, TPixelFormat pf, bool keep, bool zero) {
  w = std::max(w, 0);
  h = std::max(h, 0);
  int bits = StoredBits(pf);
  int64_t rowBytes = BitmapRowBytes(w, bits);
  if (w > 0 && h > 0 && (rowBytes > gMaxBytes || rowBytes * h > gMaxBytes)) throw EOutOfResources(SOutOfResources);
  const int64_t bytes = (w > 0 && h > 0) ? rowBytes * h : 0;
  TBlock block;
  if (!keep && FBits && bytes > 0 && bytes <= FCapacity && bytes >= FCapacity / 2) {
    // The block in hand fits: no new memory to fault in.
    block = {FBits, FCapacity, false};
    if (zero) std::memset(FBits, 0, size_t(bytes));
  } else {
    block = AllocBlock(bytes, zero || keep);
  }
  uint8_t* bits2 = block.Data;
  if (keep && FBits && bits2) {
    int64_t copy = std::min(rowBytes, FRowBytes);
    int rows = std::min(h, FHeight);
    int oldBits = StoredBits(FPixelFormat);
    if (oldBits == bits && bits % 8 == 0) {
      copy = std::min<int64_t>(int64_t(std::min(w, FWidth)) * bits / 8, copy);
      for (int y = 0; y < rows; ++y) std::memcpy(bits2 + y * rowBytes, FBits + y * FRowBytes, size_t(copy));
    } else if (oldBits == bits) {
      // Packed formats: copy whole bytes, then clear the bits past the kept width.
      int keepW = std::min(w, FWidth);
      int64_t full = int64_t(keepW) * bits / 8;
      int rem = int((int64_t(keepW) * bits) % 8);
      for (int y = 0; y < rows; ++y) {
        uint8_t* d = bits2 + y * rowBytes;
        const uint8_t* s = FBits + y * FRowBytes;
        std::memcpy(d, s, size_t(full));
        if (rem) d[full] = uint8_t(s[full] & (0xFF00 >> rem));
      }
    }
  }
  if (!zero && !block.Zero && bits2) {
    // Padding, and the bits past the last pixel in a packed row's last byte, are zero.
    const int64_t used = int64_t(w) * bits / 8;
    if (used < rowBytes)
      for (int y = 0; y < h; ++y) std::memset(bits2 + y * rowBytes + used, 0, size_t(rowBytes - used));
  }
  if (block.Data != FBits) FreeBlock({FBits, FCapacity});
  FBits = bits2;
  FCapacity = block.Size;
  FWidth = w;
  FHeight = h;
  FRowBytes = rowBytes;
  ++FGeneration;
}

void TBitmap::Allocate(int w, int h, TPixelFormat pf) {
  if (pf == pfDevice) pf = pf24bit;
  Reallocate(w, h, pf, false, false);
  if (pf != FPixelFormat || (StoredBits(pf) <= 8 && FPalette.empty())) {
    FPalette = StoredBits(pf) <= 8 ? DefaultPalette(pf) : std::vector<TRGBQuad>{};
    FPixelFormat = pf;
  }
  Changed();
}

void TBitmap::SetSize(int w, int h) {
  w = std::max(w, 0);
  h = std::max(h, 0);
  if (w == FWidth && h == FHeight) return;
  if (FPixelFormat == pfDevice) FPixelFormat = pf24bit;
  if (FPalette.empty()) FPalette = DefaultPalette(FPixelFormat);
  Reallocate(w, h, FPixelFormat, true);
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
  if (pf == FPixelFormat) return;
  TPixelFormat old = FPixelFormat;
  int oldBits = StoredBits(old), newBits = StoredBits(pf);
  std::vector<TRGBQuad> oldPal = FPalette;
  std::vector<TRGBQuad> newPal = (newBits <= 8) ? DefaultPalette(pf) : std::vector<TRGBQuad>{};
  if (oldBits == newBits && old != pf15bit && old != pf16bit) {
    FPixelFormat = pf;
    if (newBits <= 8 && FPalette.size() != newPal.size()) FPalette = newPal;
    ++FGeneration;
    Changed();
    return;
  }
  uint8_t* oldData = FBits;
  int64_t oldRow = FRowBytes, oldCapacity = FCapacity;
  FBits = nullptr;
  FCapacity = 0;
  try {
    // Every pixel is written below; packed ones bit by bit, into cleared bytes.
    Reallocate(FWidth, FHeight, pf, false, newBits < 8);
  } catch (...) {
    FBits = oldData;
    FRowBytes = oldRow;
    FCapacity = oldCapacity;
    throw;
  }
  FPixelFormat = pf;
  FPalette = newPal;
  if (oldData && FBits) {
    for (int y = 0; y < FHeight; ++y) {
      const uint8_t* s = oldData + y * oldRow;
      uint8_t* d = FBits + y * FRowBytes;
      if (oldBits == 1 && newBits == 24) {
        // The common case: straight through the two palette entries.
        TRGBQuad c0 = oldPal.size() > 0 ? oldPal[0] : TRGBQuad{};
        TRGBQuad c1 = oldPal.size() > 1 ? oldPal[1] : Q(255, 255, 255);
        for (int x = 0; x < FWidth; ++x) {
          const TRGBQuad& c = ((s[x >> 3] >> (7 - (x & 7))) & 1) ? c1 : c0;
          d[3 * x] = c.B;
          d[3 * x + 1] = c.G;
          d[3 * x + 2] = c.R;
        }
        continue;
      }
      for (int x = 0; x < FWidth; ++x) PutPixel(d, x, newBits, pf, FPalette, GetPixel(s, x, oldBits, old, oldPal));
    }
  }
  FreeBlock({oldData, oldCapacity});
  Changed();
}

uint8_t* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= FHeight || !FBits) throw EInvalidGraphicOperation("Scan line index out of range");
  return FBits + int64_t(y) * FRowBytes;
}

const uint8_t* TBitmap::ScanLine(int y) const { return const_cast<TBitmap*>(this)->ScanLine(y); }

void TBitmap::SetPalette(const std::vector<TRGBQuad>& p) {
  FPalette = p;
  ++FGeneration;
  Changed();
}

void TBitmap::Assign(TPersistent* source) {
  if (source == this) return;
  if (!source) {
    Reallocate(0, 0, FPixelFormat, false);
    Changed();
    return;
  }
  auto* src = dynamic_cast<TBitmap*>(source);
  if (!src) {
    TPersistent::Assign(source);
    return;
  }
  // Every byte is copied, padding included.
  Reallocate(src->FWidth, src->FHeight, src->FPixelFormat, false, false);
  FPixelFormat = src->FPixelFormat;
  if (FBits && src->FBits) std::memcpy(FBits, src->FBits, size_t(FRowBytes * FHeight));
  FPalette = src->FPalette;
  Changed();
}

void TBitmap::Changed() {
  if (OnChange) OnChange(this);
}

void TBitmap::TakePixels(TBitmap* Source) {
  if (!Source || Source == this) return;
  FreeBlock({FBits, FCapacity});
  FBits = std::exchange(Source->FBits, nullptr);
  FCapacity = std::exchange(Source->FCapacity, 0);
  FWidth = std::exchange(Source->FWidth, 0);
  FHeight = std::exchange(Source->FHeight, 0);
  FRowBytes = std::exchange(Source->FRowBytes, 0);
  FPixelFormat = Source->FPixelFormat;
  FPalette = Source->FPalette;
  ++FGeneration;
  ++Source->FGeneration;
  Source->Changed();
  Changed();
}
