#include "vistrel/proc/kernels/packeddib.h"

#include <algorithm>
#include <cstring>

#include "vistrel/proc/kernels/pixels.h"

namespace {

constexpr int64_t kInfoHeaderSize = 40;
// A header this long or longer holds the red, green and blue masks itself.
constexpr int64_t kHeaderWithMasks = 52;
constexpr int64_t kMaskBytes = 12;
constexpr int64_t kTrailingZeros = 4;
constexpr uint32_t kBiRGB = 0, kBiBitFields = 3;

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

constexpr uint32_t FourCC(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

// ---- YUV to RGB ----

// The conversion in extended reals, from which the tables are made. Samples are bytes, so
// every sum stays far inside an int.
int ExactBlue(int Y, int Cb) { return VLByteClamp(int(Round((Y - 16) * 1.164L + (Cb - 128) * 2.018L))); }
int ExactRed(int Y, int Cr) { return VLByteClamp(int(Round((Y - 16) * 1.164L + (Cr - 128) * 1.596L))); }
int ExactGreen(int Y, int Cb, int Cr) {
  return VLByteClamp(int(Round((Y - 16) * 1.164L - (Cr - 128) * 0.813L - (Cb - 128) * 0.391L)));
}

// Blue and red depend on two samples each: one table entry per pair. Green is the exact
// integer sum 1164 (Y - 16) - 813 (Cr - 128) - 391 (Cb - 128) in thousandths; away from a
// half its rounding can't differ from the reals', and on a half (one sum in a thousand) the
// reals decide.
struct TYuvTables {
  uint8_t Blue[65536], Red[65536];  // [Y << 8 | Cb], [Y << 8 | Cr]
  int32_t GreenY[256], GreenCb[256], GreenCr[256];

  TYuvTables() {
    for (int y = 0; y < 256; ++y) {
      for (int c = 0; c < 256; ++c) {
        Blue[y << 8 | c] = uint8_t(ExactBlue(y, c));
        Red[y << 8 | c] = uint8_t(ExactRed(y, c));
      }
      // Biased by a half so that a division truncates to the nearest.
      GreenY[y] = 1164 * (y - 16) + 500;
      GreenCb[y] = -391 * (y - 128);
      GreenCr[y] = -813 * (y - 128);
    }
  }

  int Green(int Y, int Cb, int Cr) const {
    const int v = GreenY[Y] + GreenCb[Cb] + GreenCr[Cr];
    if (v <= 0) return 0;
    const unsigned q = unsigned(v) / 1000u;
    if (unsigned(v) - q * 1000u == 0) return ExactGreen(Y, Cb, Cr);
    return q > 255 ? 255 : int(q);
  }

  void Convert(int Y, int Cb, int Cr, TRGB& t) const {
    t.B = Blue[Y << 8 | Cb];
    t.G = uint8_t(Green(Y, Cb, Cr));
    t.R = Red[Y << 8 | Cr];
  }
};

const TYuvTables& YuvTables() {
  static const TYuvTables* t = new TYuvTables;
  return *t;
}

// ---- YUV layouts ----

enum TYuvKind { ykI420, ykYV12, ykYVU9, ykIYU1, ykIYU2, ykYUY2, ykYVYU, ykUYVY, ykY211, ykY41P, ykCLJR };

struct TYuvFormat {
  uint32_t Code;
  TYuvKind Kind;
  int Pixels;  // pixels per group; for the planar layouts the subsampling in both directions
  int Bytes;   // bytes per group (packed layouts)
  bool Planar;
  bool Flipped;     // rows run bottom row first when the height is positive
  int NominalBits;  // bits per pixel of the layout
};

constexpr TYuvFormat kYuvFormats[] = {
    {FourCC("I420"), ykI420, 2, 0, true, false, 12},  {FourCC("IYUV"), ykI420, 2, 0, true, false, 12},
    {FourCC("YV12"), ykYV12, 2, 0, true, false, 12},  {FourCC("YVU9"), ykYVU9, 4, 0, true, false, 9},
    {FourCC("IYU1"), ykIYU1, 4, 6, false, false, 12}, {FourCC("IYU2"), ykIYU2, 1, 3, false, false, 24},
    {FourCC("YUY2"), ykYUY2, 2, 4, false, false, 16}, {FourCC("YUNV"), ykYUY2, 2, 4, false, false, 16},
    {FourCC("YVYU"), ykYVYU, 2, 4, false, false, 16}, {FourCC("UYVY"), ykUYVY, 2, 4, false, false, 16},
    {FourCC("UYNV"), ykUYVY, 2, 4, false, false, 16}, {FourCC("cyuv"), ykUYVY, 2, 4, false, true, 16},
    {FourCC("Y211"), ykY211, 4, 4, false, false, 8},  {FourCC("Y41P"), ykY41P, 8, 12, false, true, 12},
    {FourCC("CLJR"), ykCLJR, 4, 4, false, false, 8},
};

const TYuvFormat* FindYuv(uint32_t code) {
  for (const TYuvFormat& f : kYuvFormats)
    if (f.Code == code) return &f;
  return nullptr;
}

// Luma and chroma of each pixel of one packed group.
struct TYuvGroup {
  int Y[8], Cb[8], Cr[8];
};

void UnpackGroup(TYuvKind kind, const uint8_t* g, TYuvGroup& o) {
  auto set = [&o](int k, int y, int cb, int cr) {
    o.Y[k] = y;
    o.Cb[k] = cb;
    o.Cr[k] = cr;
  };
  switch (kind) {
    case ykIYU1:  // Cb, Y0, Y1, Cr, Y2, Y3
      set(0, g[1], g[0], g[3]);
      set(1, g[2], g[0], g[3]);
      set(2, g[4], g[0], g[3]);
      set(3, g[5], g[0], g[3]);
      break;
    case ykIYU2:  // Cb, Y, Cr
      set(0, g[1], g[0], g[2]);
      break;
    case ykYUY2:  // Y0, Cb, Y1, Cr
      set(0, g[0], g[1], g[3]);
      set(1, g[2], g[1], g[3]);
      break;
    case ykYVYU:  // Y0, Cr, Y1, Cb
      set(0, g[0], g[3], g[1]);
      set(1, g[2], g[3], g[1]);
      break;
    case ykUYVY:  // Cb, Y0, Cr, Y1
      set(0, g[1], g[0], g[2]);
      set(1, g[3], g[0], g[2]);
      break;
    case ykY211:  // Y0, Cb, Y2, Cr: two pixels per luma sample
      set(0, g[0], g[1], g[3]);
      set(1, g[0], g[1], g[3]);
      set(2, g[2], g[1], g[3]);
      set(3, g[2], g[1], g[3]);
      break;
    case ykY41P: {  // Cb0, Y0, Cr0, Y1, Cb4, Y2, Cr4, Y3, Y4, Y5, Y6, Y7
      static const int luma[8] = {1, 3, 5, 7, 8, 9, 10, 11};
      for (int k = 0; k < 8; ++k) set(k, g[luma[k]], k < 4 ? g[0] : g[4], k < 4 ? g[2] : g[6]);
      break;
    }
    case ykCLJR: {
      // One little-endian word: Cr in bits 0-5, Cb in 6-11, then four 5-bit lumas. Luma is
      // widened by repeating its top bits; chroma by a shift, so that its midpoint stays 128.
      const uint32_t w = U32(g);
      const int cr = int(w & 63) << 2, cb = int((w >> 6) & 63) << 2;
      for (int k = 0; k < 4; ++k) {
        const int y5 = int((w >> (12 + 5 * k)) & 31);
        set(k, (y5 << 3) | (y5 >> 2), cb, cr);
      }
      break;
    }
    default: break;
  }
}

// ---- Layout of a DIB, checked against the bytes there are ----

// One channel of a bit-field pixel.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0, Width = 0;
  void Set(uint32_t mask) {
    Mask = mask;
    Shift = mask ? __builtin_ctz(mask) : 0;
    Width = VLBitMaskWidth(mask);
  }
  // The channel's bits brought to 8: a narrower field shifted up, a wider one scaled down
  // to the nearest step.
  uint8_t Take(uint32_t pixel) const {
    const uint32_t v = (pixel & Mask) >> Shift;
    if (Width <= 8) return uint8_t(v << (8 - Width));
    const uint64_t top = (uint64_t(1) << Width) - 1;
    return uint8_t((uint64_t(v) * 255 + top / 2) / top);
  }
};

struct TDibLayout {
  int32_t Width = 0, Height = 0;
  bool TopDown = false;  // data row 0 is bitmap row 0
  int Bits = 0;
  const uint8_t* Table = nullptr;  // colour table entries: blue, green, red, reserved
  int64_t TableCount = 0;
  TChannel Red, Green, Blue;
  const TYuvFormat* Yuv = nullptr;
  const uint8_t* Data = nullptr;  // pixel data
  int64_t RowLength = 0;          // bytes per data row (packed layouts)
  int64_t ChromaWidth = 0, ChromaHeight = 0;
};

bool Layout(const uint8_t* block, int64_t size, const uint8_t* bits, int64_t bitsSize, TDibLayout& d) {
  if (!block || size < kInfoHeaderSize) return false;
  const int64_t headerSize = U32(block);
  if (headerSize < kInfoHeaderSize || headerSize > size) return false;
  const int32_t w = int32_t(U32(block + 4)), h = int32_t(U32(block + 8));
  const int bitCount = U16(block + 14);
  const uint32_t compression = U32(block + 16), clrUsed = U32(block + 32);
  if (w <= 0 || h == 0 || h == INT32_MIN) return false;
  d.Width = w;
  d.Height = h < 0 ? -h : h;
  d.Bits = bitCount;

  int64_t maskBytes = 0;
  if (compression == kBiRGB) {
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
      return false;
    if (bitCount == 16) d.Red.Set(0x7C00), d.Green.Set(0x03E0), d.Blue.Set(0x001F);
    if (bitCount == 32) d.Red.Set(0xFF0000), d.Green.Set(0xFF00), d.Blue.Set(0xFF);
  } else if (compression == kBiBitFields) {
    if (bitCount != 16 && bitCount != 32) return false;
    // The masks follow a plain 40-byte header; longer headers hold them at byte 40.
    const uint8_t* m = block + kInfoHeaderSize;
    if (headerSize < kHeaderWithMasks) {
      if (size - headerSize < kMaskBytes) return false;
      m = block + headerSize;
      maskBytes = kMaskBytes;
    }
    d.Red.Set(U32(m));
    d.Green.Set(U32(m + 4));
    d.Blue.Set(U32(m + 8));
  } else {
    d.Yuv = FindYuv(compression);
    if (!d.Yuv) return false;  // run-length coded and unknown formats are not read
    if (d.Bits == 0) d.Bits = d.Yuv->NominalBits;
  }
  d.TopDown = d.Yuv ? (h > 0) != d.Yuv->Flipped : h < 0;

  if (!d.Yuv && bitCount <= 8) {
    const int64_t full = int64_t(1) << bitCount;
    if (clrUsed > full) return false;
    d.TableCount = clrUsed ? clrUsed : full;
  } else {
    d.TableCount = clrUsed;
  }
  const int64_t tableBytes = d.TableCount * 4;
  if (tableBytes > size - headerSize - maskBytes) return false;
  d.Table = block + headerSize + maskBytes;

  // Every byte of the picture must be there (compared by division where a product could
  // outgrow 64 bits).
  const int64_t avail = bits ? bitsSize : size - headerSize - maskBytes - tableBytes;
  if (avail <= 0) return false;
  if (d.Yuv && d.Yuv->Planar) {
    const int sub = d.Yuv->Pixels;
    d.ChromaWidth = (int64_t(w) + sub - 1) / sub;
    d.ChromaHeight = (int64_t(d.Height) + sub - 1) / sub;
    const int64_t need = int64_t(w) * d.Height + 2 * d.ChromaWidth * d.ChromaHeight;
    if (need > avail) return false;
  } else {
    if (d.Yuv) d.RowLength = (int64_t(w) + d.Yuv->Pixels - 1) / d.Yuv->Pixels * d.Yuv->Bytes;
    else d.RowLength = VLRowLength(w, bitCount);
    if (d.Height > avail / d.RowLength) return false;
  }
  d.Data = bits ? bits : d.Table + tableBytes;
  return true;
}

int Luminance(const uint8_t* entry) { return (entry[2] * 21 + entry[1] * 71 + entry[0] * 7) / 100; }

void FillYuv(const TDibLayout& d, TBitmap* bmp) {
  const TYuvFormat& f = *d.Yuv;
  const int64_t w = d.Width;
  const uint8_t* lumaPlane = d.Data;
  const uint8_t* plane1 = lumaPlane + w * d.Height;
  const uint8_t* plane2 = plane1 + d.ChromaWidth * d.ChromaHeight;
  const uint8_t* cbPlane = f.Kind == ykI420 ? plane1 : plane2;
  const uint8_t* crPlane = f.Kind == ykI420 ? plane2 : plane1;
  const TYuvTables& t = YuvTables();
  TYuvGroup g;
  for (int32_t r = 0; r < d.Height; ++r) {
    TRGB* out = reinterpret_cast<TRGB*>(bmp->ScanLine(d.TopDown ? r : d.Height - 1 - r));
    if (f.Planar) {
      const int sub = f.Pixels;
      const uint8_t* luma = lumaPlane + w * r;
      const uint8_t* cb = cbPlane + d.ChromaWidth * (r / sub);
      const uint8_t* cr = crPlane + d.ChromaWidth * (r / sub);
      if (sub == 2) {
        for (int64_t x = 0; x < w; ++x) t.Convert(luma[x], cb[x >> 1], cr[x >> 1], out[x]);
      } else {
        for (int64_t x = 0; x < w; ++x) t.Convert(luma[x], cb[x / sub], cr[x / sub], out[x]);
      }
      continue;
    }
    const uint8_t* s = d.Data + d.RowLength * r;
    for (int64_t x0 = 0; x0 < w; x0 += f.Pixels, s += f.Bytes) {
      UnpackGroup(f.Kind, s, g);
      const int n = int(std::min<int64_t>(f.Pixels, w - x0));
      for (int k = 0; k < n; ++k) t.Convert(g.Y[k], g.Cb[k], g.Cr[k], out[x0 + k]);
    }
  }
}

void Fill(const TDibLayout& d, TBitmap* bmp) {
  if (d.Yuv) return FillYuv(d, bmp);
  const uint8_t black[4] = {0, 0, 0, 0};
  auto entry = [&](unsigned i) { return i < d.TableCount ? d.Table + 4 * int64_t(i) : black; };
  // A table whose first entry is the lighter one stores white as 0.
  const bool invert1 = d.Bits == 1 && d.TableCount >= 2 && Luminance(entry(0)) > Luminance(entry(1));
  for (int32_t y = 0; y < d.Height; ++y) {
    const uint8_t* s = d.Data + d.RowLength * y;
    uint8_t* o = bmp->ScanLine(d.TopDown ? y : d.Height - 1 - y);
    switch (d.Bits) {
      case 1: {
        const int64_t n = (int64_t(d.Width) + 7) / 8;
        for (int64_t i = 0; i < n; ++i) o[i] = invert1 ? uint8_t(~s[i]) : s[i];
        // Bits past the last pixel stay clear, as in every bitmap we make.
        if (d.Width % 8) o[n - 1] &= uint8_t(0xFF << (8 - d.Width % 8));
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
      case 16:
      case 32: {
        const int step = d.Bits / 8;
        for (int32_t x = 0; x < d.Width; ++x, s += step) {
          const uint32_t p = step == 2 ? U16(s) : U32(s);
          o[3 * int64_t(x)] = d.Blue.Take(p);
          o[3 * int64_t(x) + 1] = d.Green.Take(p);
          o[3 * int64_t(x) + 2] = d.Red.Take(p);
        }
        break;
      }
      default: std::memcpy(o, s, size_t(d.Width) * 3); break;
    }
  }
}

// ---- Writing ----

struct TPackPlan {
  int X1 = 0, Y1 = 0, X2 = -1, Y2 = -1;
  int Bits = 0;
  int64_t RowLength = 0, TableBytes = 0, Size = 0;
};

bool Plan(TBitmap* b, int X1, int Y1, int X2, int Y2, TPackPlan& p) {
  if (!b || b->Empty()) return false;
  p.X1 = std::max(X1, 0);
  p.Y1 = std::max(Y1, 0);
  p.X2 = std::min(X2, b->Width() - 1);
  p.Y2 = std::min(Y2, b->Height() - 1);
  if (p.X1 > p.X2 || p.Y1 > p.Y2) return false;
  p.Bits = b->PixelFormat() == pf24bit ? 24 : b->PixelFormat() == pf1bit ? 1 : 0;
  const int64_t w = int64_t(p.X2) - p.X1 + 1, h = int64_t(p.Y2) - p.Y1 + 1;
  p.RowLength = VLRowLength(w, p.Bits);
  p.TableBytes = p.Bits == 1 ? 8 : 0;
  p.Size = kInfoHeaderSize + p.TableBytes + (p.Bits ? p.RowLength * h : 0) + kTrailingZeros;
  return true;
}

// Writes the planned DIB into Out, which holds Size zero bytes.
void Pack(TBitmap* b, const TPackPlan& p, uint8_t* out) {
  const int32_t w = p.X2 - p.X1 + 1, h = p.Y2 - p.Y1 + 1;
  Put32(out, uint32_t(kInfoHeaderSize));
  Put32(out + 4, uint32_t(w));
  Put32(out + 8, uint32_t(h));
  out[12] = 1;
  out[14] = uint8_t(p.Bits);
  if (p.Bits == 0) return;
  uint8_t* rows = out + kInfoHeaderSize + p.TableBytes;
  if (p.Bits == 1) std::memset(out + kInfoHeaderSize + 4, 255, 4);
  for (int32_t i = 0; i < h; ++i) {
    const uint8_t* s = b->ScanLine(p.Y2 - i);
    uint8_t* d = rows + p.RowLength * i;
    if (p.Bits == 24) std::memcpy(d, s + 3 * int64_t(p.X1), size_t(w) * 3);
    else VLCopyBits(d, s, 0, w, p.X1);
  }
}

}  // namespace

std::vector<uint8_t> VLPackedDIBBytes(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2) {
  TPackPlan p;
  if (!Plan(Bitmap, X1, Y1, X2, Y2, p)) return {};
  std::vector<uint8_t> out(size_t(p.Size), 0);
  Pack(Bitmap, p, out.data());
  return out;
}

HGLOBAL VLBitmapToPackedDIB(TBitmap* Bitmap, int X1, int Y1, int Y2, int X2) {
  if (!Bitmap) return nullptr;
  if (X2 == 0) X2 = Bitmap->Width() - 1;
  if (Y2 == 0) Y2 = Bitmap->Height() - 1;
  TPackPlan p;
  if (!Plan(Bitmap, X1, Y1, X2, Y2, p)) return nullptr;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, p.Size);
  if (!h) return nullptr;
  Pack(Bitmap, p, static_cast<uint8_t*>(GlobalLock(h)));
  GlobalUnlock(h);
  return h;
}

int VLPackedDIBToBitmap(const void* Header, TBitmap* Bitmap, const void* Bits, bool HeaderIsPointer, int64_t HeaderSize,
                        int64_t BitsSize) {
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
  const bool ok = Layout(block, size, static_cast<const uint8_t*>(Bits), BitsSize, d);
  const TPixelFormat pf = d.Bits == 1 && !d.Yuv ? pf1bit : pf24bit;
  int result = 0;
  if (ok && BitmapRowBytes(d.Width, TBitmap::StoredBits(pf)) <= TBitmap::MaxBytes() / d.Height) {
    Bitmap->SetSize(1, 1);
    Bitmap->SetPixelFormat(pf);
    Bitmap->SetSize(d.Width, d.Height);
    Fill(d, Bitmap);
    result = d.Bits;
  }
  if (!HeaderIsPointer) GlobalUnlock(const_cast<void*>(Header));
  return result;
}

void VLYCbCrToRGB(int Y, int Cb, int Cr, TRGB& Triple) {
  if ((Y | Cb | Cr) & ~255) {
    Triple.B = uint8_t(ExactBlue(Y, Cb));
    Triple.G = uint8_t(ExactGreen(Y, Cb, Cr));
    Triple.R = uint8_t(ExactRed(Y, Cr));
    return;
  }
  YuvTables().Convert(Y, Cb, Cr, Triple);
}
