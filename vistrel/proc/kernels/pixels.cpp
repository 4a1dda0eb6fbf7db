#include "vistrel/proc/kernels/pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

int VLBitMaskWidth(uint32_t Mask) {
  if (Mask == 0) return 0;
  int i = 0;
  while (i < 31 && !(Mask & (uint32_t(1) << i))) ++i;
  int n = 0;
  while (i < 32 && (Mask & (uint32_t(1) << i))) {
    ++n;
    ++i;
  }
  return n;
}

int VLBitMaskHigh(uint32_t Mask) {
  int count = 0, high = -1;
  for (int i = 0; i < 32; ++i)
    if (Mask & (uint32_t(1) << i)) {
      ++count;
      high = i;
    }
  if (count == 0) return -1;
  if (count == 1) return high;
  return high + 1;
}

int64_t VLRowLength(int64_t Width, int64_t Bits) { return (Width * Bits + 31) / 32 * 4; }

int VLPixelFormatBits(TPixelFormat PixelFormat) {
  switch (PixelFormat) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit: return 15;
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: return 0;
  }
}

int64_t VLPowerOfTwo(int Bits, int Count) {
  uint64_t step = uint64_t(1) << (unsigned(Bits) & 31);
  uint64_t r = 1;
  for (int i = 0; i < Count; ++i) r *= step;
  return int64_t(r);
}

// ---- THash1

THash1::THash1(int Bits) : FBits(Bits) {
  FSize = int64_t(1) << (unsigned(Bits) & 31);
  FSlots = new TSlot[size_t(FSize)];
  FStates = new uint8_t[size_t(FSize)]();
}

THash1::~THash1() {
  for (int64_t i = 0; i < FSize; ++i)
    if (FStates[i] == 2) {
      TNode* n = FSlots[i].Head;
      while (n) {
        TNode* next = n->Next;
        delete n;
        n = next;
      }
    }
  delete[] FSlots;
  delete[] FStates;
}

bool THash1::Add(int32_t Value) {
  int64_t b = int64_t(uint32_t(Value) & uint32_t(FSize - 1));
  switch (FStates[b]) {
    case 0:
      FSlots[b].Value = Value;
      FStates[b] = 1;
      break;
    case 1: {
      if (FSlots[b].Value == Value) return false;
      TNode* second = new TNode{Value, nullptr};
      FSlots[b].Head = new TNode{FSlots[b].Value, second};
      FStates[b] = 2;
      break;
    }
    default: {
      TNode* n = FSlots[b].Head;
      for (;;) {
        if (n->Value == Value) return false;
        if (!n->Next) break;
        n = n->Next;
      }
      n->Next = new TNode{Value, nullptr};
      break;
    }
  }
  ++FCount;
  return true;
}

// ---- integer and real helpers

void VLOrderCorners(int& X1, int& Y1, int& X2, int& Y2) {
  if (X2 < X1) VLSwapInt(X1, X2);
  if (Y2 < Y1) VLSwapInt(Y1, Y2);
}

int VLCeilReal(long double X) {
  long double t = std::trunc(X);
  return int(t) + (X - t > 0 ? 1 : 0);
}

int VLFloorReal(long double X) {
  long double t = std::trunc(X);
  return int(t) - (X - t < 0 ? 1 : 0);
}

long double VLArcTan2(long double Y, long double X) { return std::atan2(Y, X); }
long double VLArcCos(long double X) { return VLArcTan2(std::sqrt(1 - X * X), X); }
long double VLArcSin(long double X) { return VLArcTan2(X, std::sqrt(1 - X * X)); }
long double VLTan(long double X) { return std::tan(X); }

// ---- colour packing

int32_t VLSwapRedBlue(int32_t Col) {
  uint32_t c = uint32_t(Col);
  return int32_t(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
}

void VLColorToRGB(TColor Color, TRGB& Triple) {
  TColor c = ColorToRGB(Color);
  Triple = TRGB{GetBValue(c), GetGValue(c), GetRValue(c)};
}

int VLNearestPaletteIndex(const TRGB* Palette, int Count, int32_t Col) {
  int r = (Col >> 16) & 0xFF, g = (Col >> 8) & 0xFF, b = Col & 0xFF;
  int best = 0, bestD = 1000;
  for (int i = 0; i < Count; ++i) {
    int d = std::abs(Palette[i].R - r) + std::abs(Palette[i].G - g) + std::abs(Palette[i].B - b);
    if (d < bestD) {
      bestD = d;
      best = i;
    }
  }
  return best;
}

void VLSwapPaletteRedBlue(TRGB* Palette, int Count) {
  for (int i = 0; i < Count; ++i) std::swap(Palette[i].B, Palette[i].R);
}

void VLCopyRowSwapRB(uint8_t* Dest, const uint8_t* Source, int Count) {
  if (Count <= 0) return;
  std::memmove(Dest, Source, size_t(Count) * 3);
  for (int i = 0; i < Count; ++i, Dest += 3) std::swap(Dest[0], Dest[2]);
}

// ---- colour models

void VLRGBToHSV(int& H, int& S, int& V, int32_t Col) {
  int R = (Col >> 16) & 0xFF, G = (Col >> 8) & 0xFF, B = Col & 0xFF;
  int r = int(Round((long double)R * 99 / 255));
  int g = int(Round((long double)G * 99 / 255));
  int b = int(Round((long double)B * 99 / 255));
  V = std::max(r, std::max(g, b));
  int m = std::min(r, std::min(g, b));
  int d = V - m;
  S = V > 0 ? d * 99 / V : 0;
  if (S == 0) {
    H = 0;
    return;
  }
  if (r == V) H = (g - b) * 60 / d;
  else if (g == V) H = (b - r) * 60 / d + 120;
  else H = (r - g) * 60 / d + 240;
  if (H < 0) H += 360;
}

void VLHSVToRGB(TRGB& Triple, int H, int S, int V) {
  H = VLIntClamp(H, 0, 359);
  S = VLIntClamp(S, 0, 99);
  V = VLIntClamp(V, 0, 99);
  int r, g, b;
  if (S == 0) {
    r = g = b = V;
  } else {
    int f = H % 60;
    int p = V - S * V / 99;
    int q = V - S * V * f / 5940;
    int t = V - S * V * (60 - f) / 5940;
    switch (H / 60) {
      case 0: r = V, g = t, b = p; break;
      case 1: r = q, g = V, b = p; break;
      case 2: r = p, g = V, b = t; break;
      case 3: r = p, g = q, b = V; break;
      case 4: r = t, g = p, b = V; break;
      default: r = V, g = p, b = q; break;
    }
  }
  auto ch = [](int x) { return Byte(Round((long double)x * 255 / 99)); };
  Triple = TRGB{ch(b), ch(g), ch(r)};
}

void VLRGBToHSL(double& H, double& S, double& L, int32_t Col) {
  long double R = (long double)((Col >> 16) & 0xFF) / 255;
  long double G = (long double)((Col >> 8) & 0xFF) / 255;
  long double B = (long double)(Col & 0xFF) / 255;
  long double mx = std::max(R, std::max(G, B)), mn = std::min(R, std::min(G, B));
  long double l = (mx + mn) / 2;
  L = double(l);
  if (mx == mn) {
    H = S = 0;
    return;
  }
  long double d = mx - mn;
  S = double(l < 0.5L ? d / (mx + mn) : d / (2 - mx - mn));
  long double h;
  if (R == mx) h = (G - B) / d;
  else if (G == mx) h = (B - R) / d + 2;
  else h = (R - G) / d + 4;
  h = h / 6;
  if (h < 0) h += 1;
  H = double(h);
}

namespace {
long double HueChannel(long double t1, long double t2, long double h) {
  if (h < 0) h += 1;
  else if (h > 1) h -= 1;
  if (6 * h < 1) return t1 + (t2 - t1) * 6 * h;
  if (2 * h < 1) return t2;
  if (3 * h < 2) return t1 + (t2 - t1) * (2.0L / 3 - h) * 6;
  return t1;
}
Byte HSLByte(long double x) { return VLByteClamp(int(Trunc(x * 255))); }
}  // namespace

void VLHSLToRGB(TRGB& Triple, double L, double S, double H) {
  auto clamp01 = [](long double v) { return v < 0 ? 0.0L : v > 1 ? 1.0L : v; };
  long double l = clamp01(L), s = clamp01(S), h = clamp01(H);
  if (s == 0) {
    Byte v = HSLByte(l);
    Triple = TRGB{v, v, v};
    return;
  }
  long double t2 = l <= 0.5L ? l * (1 + s) : l + s - l * s;
  long double t1 = 2 * l - t2;
  Byte r = HSLByte(HueChannel(t1, t2, h + 1.0L / 3));
  Byte g = HSLByte(HueChannel(t1, t2, h));
  Byte b = HSLByte(HueChannel(t1, t2, h - 1.0L / 3));
  Triple = TRGB{b, g, r};
}

// ---- bitmap copies

void VLCopyBitmap(TBitmap* Source, TBitmap* Dest) {
  if (!Source || !Dest || Source == Dest) return;
  Dest->SetSize(1, 1);
  Dest->SetPixelFormat(Source->PixelFormat());
  if (Source->Width() >= 1 && Source->Height() >= 1) {
    Dest->Allocate(Source->Width(), Source->Height(), Dest->PixelFormat());
    int64_t n = std::min(Dest->ImageSize(), Source->ImageSize());
    if (n > 0 && Dest->Bits() && Source->Bits()) std::memcpy(Dest->Bits(), Source->Bits(), size_t(n));
  }
}

void VLCopyBitmapRect(TBitmap* Source, TBitmap* Dest, int X1, int Y1, int X2, int Y2) {
  if (!Source || !Dest || Source == Dest) return;
  int w = Source->Width(), h = Source->Height();
  if (X2 == 0) X2 = w - 1;
  if (Y2 == 0) Y2 = h - 1;
  X2 = std::min(X2, w - 1);
  Y2 = std::min(Y2, h - 1);
  // A corner left of or above the picture starts at its edge.
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  TPixelFormat pf = Source->PixelFormat();
  Dest->SetSize(1, 1);
  Dest->SetPixelFormat(pf);
  int dw = X2 - X1 + 1, dh = Y2 - Y1 + 1;
  if (dw < 1 || dh < 1) {
    Dest->SetSize(0, 0);
    return;
  }
  // Rows of the formats copied are written whole.
  if (pf == pf24bit || pf == pf1bit) Dest->Allocate(dw, dh, pf);
  else Dest->SetSize(dw, dh);
  for (int y = 0; y < dh; ++y) {
    const uint8_t* s = Source->ScanLine(Y1 + y);
    uint8_t* d = Dest->ScanLine(y);
    if (pf == pf24bit) std::memcpy(d, s + int64_t(X1) * 3, size_t(dw) * 3);
    else if (pf == pf1bit) VLCopyBits(d, s, 0, dw, X1);
    else return;
  }
}

bool VLSameBitmap(TBitmap* A, TBitmap* B) {
  if (!A || !B) return false;
  if (A->Width() != B->Width() || A->Height() != B->Height()) return false;
  if (A->RowBytes() != B->RowBytes()) return false;
  int64_t n = A->ImageSize();
  if (n <= 0 || !A->Bits() || !B->Bits()) return true;
  return std::memcmp(A->Bits(), B->Bits(), size_t(n)) == 0;
}

void VLCopyBits(uint8_t* Dest, const uint8_t* Source, int64_t DestBit, int64_t Count, int64_t SourceBit) {
  if (Count <= 0) return;
  Dest += DestBit >> 3;
  Source += SourceBit >> 3;
  int db = int(DestBit & 7), sb = int(SourceBit & 7);
  if (db == sb) {
    if (db) {
      int n = int(std::min<int64_t>(8 - db, Count));
      Byte mask = Byte((0xFF >> db) & ~(0xFF >> (db + n)));
      *Dest = Byte((*Dest & ~mask) | (*Source & mask));
      ++Dest;
      ++Source;
      Count -= n;
    }
    int64_t whole = Count >> 3;
    if (whole > 0) std::memcpy(Dest, Source, size_t(whole));
    int rem = int(Count & 7);
    if (rem) {
      Byte mask = Byte(0xFF00 >> rem);
      Dest[whole] = Byte((Dest[whole] & ~mask) | (Source[whole] & mask));
    }
    return;
  }
  // Unaligned: bit by bit up to the destination's byte boundary, then whole bytes.
  int64_t s = sb;
  while (db != 0 && Count > 0) {
    VLSetBit(Dest, db, VLGetBit(Source, s));
    ++db;
    ++s;
    --Count;
    if (db == 8) {
      db = 0;
      ++Dest;
    }
  }
  Source += s >> 3;
  int shift = int(s & 7);  // nonzero here
  while (Count >= 8) {
    *Dest++ = Byte((Source[0] << shift) | (Source[1] >> (8 - shift)));
    ++Source;
    Count -= 8;
  }
  for (int i = 0; i < Count; ++i) VLSetBit(Dest, i, VLGetBit(Source, shift + i));
}

void VLInvert1Bit(TBitmap* Bitmap) {
  if (!Bitmap || Bitmap->PixelFormat() != pf1bit || !Bitmap->Bits()) return;
  uint8_t* p = Bitmap->Bits();
  int64_t n = Bitmap->ImageSize();
  for (int64_t i = 0; i < n; ++i) p[i] = Byte(~p[i]);
}

// ---- 1-bit and 24-bit

const uint8_t* VLBuild1BitTable() {
  static const std::unique_ptr<uint8_t[]> table = [] {
    std::unique_ptr<uint8_t[]> t(new uint8_t[256 * 24]);
    for (int v = 0; v < 256; ++v)
      for (int k = 0; k < 8; ++k) std::memset(&t[v * 24 + k * 3], (v & (0x80 >> k)) ? 255 : 0, 3);
    return t;
  }();
  return table.get();
}

void VLExpand1BitTo24Bit(TBitmap* Source, TBitmap* Dest, const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Source || !Dest || Source == Dest || Source->PixelFormat() != pf1bit) return;
  const uint8_t* table = VLBuild1BitTable();
  int w = Source->Width(), h = Source->Height();
  Dest->SetSize(1, 1);
  Dest->SetPixelFormat(pf24bit);
  Dest->Allocate(w, h, pf24bit);
  int whole = w / 8, rem = w % 8;
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = Source->ScanLine(y);
    uint8_t* d = Dest->ScanLine(y);
    for (int i = 0; i < whole; ++i, d += 24) std::memcpy(d, table + s[i] * 24, 24);
    if (rem) std::memcpy(d, table + s[whole] * 24, size_t(rem) * 3);
    VLRowProgress(OnProgress, Sender, y + 1, h);
  }
}

TBitmap* VLConvertTwoColorTo1Bit(TBitmap* Source, TRGB& Color0, TRGB& Color1) {
  if (!Source || Source->PixelFormat() != pf24bit) return nullptr;
  int w = Source->Width(), h = Source->Height();
  // Colour set of the rows scanned; stops after the row that brought a third colour.
  THash1 set(13);
  int found = 0;
  for (int y = 0; y < h && found < 3; ++y) {
    const uint8_t* s = Source->ScanLine(y);
    for (int x = 0; x < w; ++x, s += 3) {
      TRGB c{s[0], s[1], s[2]};
      if (found >= 2 && (VLSameRGB(c, Color0) || VLSameRGB(c, Color1))) continue;
      if (set.Add(VLTripleToPacked(c))) {
        if (found == 0) Color0 = c;
        else if (found == 1) Color1 = c;
        ++found;
      }
    }
  }
  if (found != 2) return nullptr;
  auto out = std::make_unique<TBitmap>();
  out->Allocate(w, h, pf1bit);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = Source->ScanLine(y);
    uint8_t* d = out->ScanLine(y);
    std::memset(d, 0, size_t(out->RowBytes()));
    for (int x = 0; x < w; ++x, s += 3)
      if (!(s[0] == Color0.B && s[1] == Color0.G && s[2] == Color0.R)) d[x >> 3] |= Byte(0x80 >> (x & 7));
  }
  auto lum = [](const TRGB& c) { return Round((long double)(c.R * 21 + c.G * 71 + c.B * 7) / 100); };
  if (lum(Color1) < lum(Color0)) {
    VLInvert1Bit(out.get());
    std::swap(Color0, Color1);
  }
  return out.release();
}

namespace {
const Byte kDither[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                            {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                            {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                            {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
}  // namespace

void VLDitherOrderedTo1Bit(TBitmap* Bitmap, const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->PixelFormat() != pf24bit) return;
  int w = Bitmap->Width(), h = Bitmap->Height();
  TBitmap out;
  out.Allocate(w, h, pf1bit);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = Bitmap->ScanLine(y);
    uint8_t* d = out.ScanLine(y);
    std::memset(d, 0, size_t(out.RowBytes()));
    for (int x = 0; x < w; ++x, s += 3)
      if (kDither[x & 7][y & 7] < (s[2] * 21 + s[1] * 71 + s[0] * 7) / 400) d[x >> 3] |= Byte(0x80 >> (x & 7));
    VLRowProgress(OnProgress, Sender, y + 1, h);
  }
  VLCopyBitmap(&out, Bitmap);
}

TBitmap* VLMake1BitForWrite(TBitmap* Source, TRGB& Color0, TRGB& Color1) {
  if (!Source || Source->PixelFormat() != pf24bit) return nullptr;
  if (TBitmap* two = VLConvertTwoColorTo1Bit(Source, Color0, Color1)) return two;
  Color0 = TRGB{0, 0, 0};
  Color1 = TRGB{255, 255, 255};
  auto* mono = new TBitmap;
  VLCopyBitmap(Source, mono);
  VLDitherOrderedTo1Bit(mono);
  return mono;
}

TVLWorkingBitmap VLWorkingBitmapForWrite(TBitmap* Source, bool OneBit) {
  TVLWorkingBitmap work;
  if (Source->PixelFormat() == (OneBit ? pf1bit : pf24bit)) {
    work.Bitmap = Source;
  } else if (OneBit) {
    TRGB c0, c1;
    work.Owned.reset(VLMake1BitForWrite(Source, c0, c1));
    work.Bitmap = work.Owned.get();
  } else {
    work.Owned = std::make_unique<TBitmap>();
    VLExpand1BitTo24Bit(Source, work.Owned.get());
    work.Bitmap = work.Owned.get();
  }
  return work;
}
