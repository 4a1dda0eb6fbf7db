#include "vistrel/proc/kernels/effects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "vistrel/proc/kernels/color.h"
#include "vistrel/proc/kernels/pixels.h"

const TVLUserFilter VLPresetFilters[VLPresetFilterCount] = {
    {{0, 0, 0, 0, 1, 0, 0, 0, 0}, 0},     {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9},
    {{1, 1, 1, 1, -8, 1, 1, 1, 1}, 1},    {{-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1},
    {{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1}, {{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1},
    {{1, -2, 1, -2, 5, -2, 1, -2, 1}, 1}, {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 10},
    {{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16},
};
const char* const VLPresetFilterNames[VLPresetFilterCount] = {
    "None", "Blur", "Edges", "Emboss", "High Pass 1", "High Pass 2", "High Pass 3", "Low Pass 1", "Low Pass 2"};

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

bool Is24(const TBitmap* b) { return b && b->PixelFormat() == pf24bit && !b->Empty(); }

// Cuts the rectangle to the picture; false when nothing is left.
bool ClampRect(const TBitmap* b, int& X1, int& Y1, int& X2, int& Y2) {
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, b->Width() - 1);
  Y2 = std::min(Y2, b->Height() - 1);
  return X1 <= X2 && Y1 <= Y2;
}

// trunc(done x 100 / (count + 0.5)), exactly.
inline void RowProgress(const TProgressEvent& OnProgress, TObject* Sender, int64_t done, int64_t count) {
  if (OnProgress) OnProgress(Sender, int(done * 200 / (2 * count + 1)));
}

inline uint8_t Clamp64(int64_t v) { return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v); }

// Trunc of a real known to be finite or not, held within lo..hi first, so that no NaN,
// infinity or huge value ever becomes an integer. NaN gives Fallback.
inline int64_t SafeTrunc(long double v, int64_t lo, int64_t hi, int64_t Fallback) {
  if (std::isnan(v)) return Fallback;
  if (v <= (long double)lo) return lo;
  if (v >= (long double)hi) return hi;
  return int64_t(v);
}

// Applies a byte table per channel (blue, green, red) to a rectangle.
void MapRect(TBitmap* Bitmap, const uint8_t* tb, const uint8_t* tg, const uint8_t* tr, int X1, int Y1, int X2, int Y2,
             const TProgressEvent& OnProgress, TObject* Sender) {
  const int rows = Y2 - Y1 + 1;
  for (int y = Y1; y <= Y2; ++y) {
    uint8_t* p = Bitmap->ScanLine(y) + int64_t(X1) * 3;
    for (int x = X1; x <= X2; ++x, p += 3) {
      p[0] = tb[p[0]];
      p[1] = tg[p[1]];
      p[2] = tr[p[2]];
    }
    RowProgress(OnProgress, Sender, y - Y1 + 1, rows);
  }
}

// Per pixel of a rectangle: Fn(packed RGB) gives the new triple; runs of one colour are
// converted once.
template <class Fn>
void PerPixel(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, const TProgressEvent& OnProgress, TObject* Sender,
              Fn fn) {
  const int rows = Y2 - Y1 + 1;
  int32_t last = -1;
  TRGB lastOut{};
  for (int y = Y1; y <= Y2; ++y) {
    uint8_t* p = Bitmap->ScanLine(y) + int64_t(X1) * 3;
    for (int x = X1; x <= X2; ++x, p += 3) {
      const int32_t c = p[0] | (p[1] << 8) | (p[2] << 16);
      if (c != last) {
        last = c;
        lastOut = fn(c);
      }
      p[0] = lastOut.B;
      p[1] = lastOut.G;
      p[2] = lastOut.R;
    }
    RowProgress(OnProgress, Sender, y - Y1 + 1, rows);
  }
}

// The rows of the picture as they were before a rectangle kernel started writing its rows
// in place: Above(y), This(y), Below(y) with rows clamped to the picture. Row y must be
// visited in order from Y1, and Begin(y) called before writing it.
class TOriginalRows {
 public:
  explicit TOriginalRows(TBitmap* b, int Y1)
      : FBitmap(b), FY1(Y1), FPrev(size_t(b->RowBytes())), FCur(size_t(b->RowBytes())) {}
  void Begin(int y) {
    std::swap(FPrev, FCur);
    std::memcpy(FCur.data(), FBitmap->ScanLine(y), FCur.size());
    FY = y;
  }
  const uint8_t* Above() const {
    if (FY == 0) return FCur.data();
    return FY - 1 >= FY1 ? FPrev.data() : FBitmap->ScanLine(FY - 1);
  }
  const uint8_t* This() const { return FCur.data(); }
  const uint8_t* Below() const { return FY + 1 < FBitmap->Height() ? FBitmap->ScanLine(FY + 1) : FCur.data(); }

 private:
  TBitmap* FBitmap;
  int FY1;
  int FY = 0;
  std::vector<uint8_t> FPrev, FCur;
};

// ---- 3x3 convolution ----

// One output pixel in exact 64-bit arithmetic, columns xl, x, xr.
inline void ConvPixel(const uint8_t* a, const uint8_t* b, const uint8_t* c, int64_t xl, int64_t x, int64_t xr,
                      const int64_t* k, int64_t d, uint8_t* o) {
  for (int ch = 0; ch < 3; ++ch) {
    const int64_t l = xl * 3 + ch, m = x * 3 + ch, r = xr * 3 + ch;
    const int64_t s = k[0] * a[l] + k[1] * a[m] + k[2] * a[r] + k[3] * b[l] + k[4] * b[m] + k[5] * b[r] + k[6] * c[l] +
                      k[7] * c[m] + k[8] * c[r];
    o[m] = Clamp64(s / d);
  }
}

// Bytes i0..i1-1 of a row whose pixels all have both neighbours inside the picture. The
// coefficients fit 16 bits, so products widen from 16 to 32 bits and nine of them can't
// overflow; Out turns the sum into the byte.
template <class Out>
inline void ConvBytes(const uint8_t* __restrict a, const uint8_t* __restrict b, const uint8_t* __restrict c,
                      uint8_t* __restrict o, int64_t i0, int64_t i1, const int16_t* k, Out out) {
  const int16_t k0 = k[0], k1 = k[1], k2 = k[2], k3 = k[3], k4 = k[4], k5 = k[5], k6 = k[6], k7 = k[7], k8 = k[8];
  for (int64_t i = i0; i < i1; ++i) {
    const int32_t s = k0 * int16_t(a[i - 3]) + k1 * int16_t(a[i]) + k2 * int16_t(a[i + 3]) + k3 * int16_t(b[i - 3]) +
                      k4 * int16_t(b[i]) + k5 * int16_t(b[i + 3]) + k6 * int16_t(c[i - 3]) + k7 * int16_t(c[i]) +
                      k8 * int16_t(c[i + 3]);
    o[i] = out(s);
  }
}

inline uint8_t ClampS32(int32_t s) { return uint8_t(s < 0 ? 0 : s > 255 ? 255 : s); }

// ---- filter files ----

constexpr uint8_t kFilterHeader[3] = {1, 3, 3};
constexpr int kFilterRecordBytes = 40;

void PutLE32(uint8_t* p, int32_t v) {
  const uint32_t u = uint32_t(v);
  p[0] = uint8_t(u);
  p[1] = uint8_t(u >> 8);
  p[2] = uint8_t(u >> 16);
  p[3] = uint8_t(u >> 24);
}
int32_t GetLE32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
}

// Reads up to count bytes, however the stream hands them out.
int64_t ReadUpTo(TStream* s, uint8_t* buf, int64_t count) {
  int64_t got = 0;
  while (got < count) {
    const int64_t n = s->Read(buf + got, count - got);
    if (n <= 0) break;
    got += n;
  }
  return got;
}

// ---- morphological filters ----

// Winners of a sliding window [i - s, i + s] (cut to 0..n-1) over keys: the smallest key,
// the first of equals. A queue of candidates with rising keys.
class TSlidingMin {
 public:
  explicit TSlidingMin(int64_t n) : FQueue(size_t(n)) {}
  template <class Key>
  void Run(int64_t n, int64_t s, Key key, int32_t* win) {
    int64_t head = 0, tail = 0, next = 0;
    for (int64_t i = 0; i < n; ++i) {
      const int64_t last = std::min(i + s, n - 1);
      for (; next <= last; ++next) {
        const int k = key(next);
        while (tail > head && key(FQueue[size_t(tail - 1)]) > k) --tail;
        FQueue[size_t(tail++)] = int32_t(next);
      }
      while (FQueue[size_t(head)] < i - s) ++head;
      win[i] = FQueue[size_t(head)];
    }
  }

 private:
  std::vector<int32_t> FQueue;
};

// One pass over the rectangle: Max picks the brightest, else the darkest, by luminance.
// Keys are the luminance (minimum) or 255 minus it (maximum), so both look for the smallest
// key, the first in row-major order among equals; a key of 255 never qualifies and the
// centre stays. The window is separable: the winner of each row's stretch first, then the
// best of those down the column (rows earlier in the scan win ties).
void MorphPass(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int Size, bool Max,
               const std::function<void(int64_t)>& RowDone) {
  const int64_t rw = int64_t(X2) - X1 + 1, rh = int64_t(Y2) - Y1 + 1;
  std::vector<uint8_t> pix(size_t(rw * rh * 3));
  std::vector<uint8_t> key(size_t(rw * rh));
  for (int64_t r = 0; r < rh; ++r) {
    const uint8_t* p = Bitmap->ScanLine(int(Y1 + r)) + int64_t(X1) * 3;
    std::memcpy(&pix[size_t(r * rw * 3)], p, size_t(rw * 3));
    uint8_t* k = &key[size_t(r * rw)];
    for (int64_t x = 0; x < rw; ++x, p += 3) {
      const int l = VLLuminance(p[2], p[1], p[0]);
      k[x] = uint8_t(Max ? 255 - l : l);
    }
  }
  if (Size < 0) {
    for (int64_t r = 0; r < rh; ++r) RowDone(r + 1);
    return;
  }
  const int64_t s = std::min<int64_t>(Size, std::max(rw, rh));
  // Across: hwin holds the winning column of each pixel's row stretch; key becomes its key.
  std::vector<int32_t> hwin(size_t(rw * rh));
  {
    TSlidingMin slide(rw);
    std::vector<uint8_t> row(static_cast<size_t>(rw));
    for (int64_t r = 0; r < rh; ++r) {
      uint8_t* k = &key[size_t(r * rw)];
      int32_t* w = &hwin[size_t(r * rw)];
      slide.Run(
          rw, s, [k](int64_t i) { return int(k[i]); }, w);
      for (int64_t x = 0; x < rw; ++x) row[size_t(x)] = k[w[x]];
      std::memcpy(k, row.data(), size_t(rw));
    }
  }
  // Down: one queue of candidate rows per column, kept in a ring, walked row by row.
  const int64_t cap = std::min(2 * s + 2, rh);
  std::vector<int32_t> ring(size_t(rw * cap));
  std::vector<int32_t> head(size_t(rw), 0), count(size_t(rw), 0);
  int64_t next = 0;
  for (int64_t r = 0; r < rh; ++r) {
    for (const int64_t last = std::min(r + s, rh - 1); next <= last; ++next) {
      const uint8_t* kn = &key[size_t(next * rw)];
      for (int64_t x = 0; x < rw; ++x) {
        int32_t* q = &ring[size_t(x * cap)];
        int64_t h = head[size_t(x)], n = count[size_t(x)];
        while (n > 0 && key[size_t(q[(h + n - 1) % cap] * rw + x)] > kn[x]) --n;
        q[(h + n) % cap] = int32_t(next);
        count[size_t(x)] = int32_t(n + 1);
      }
    }
    uint8_t* out = Bitmap->ScanLine(int(Y1 + r)) + int64_t(X1) * 3;
    for (int64_t x = 0; x < rw; ++x, out += 3) {
      int32_t* q = &ring[size_t(x * cap)];
      int64_t h = head[size_t(x)], n = count[size_t(x)];
      while (q[h] < r - s) {
        h = (h + 1) % cap;
        --n;
      }
      head[size_t(x)] = int32_t(h);
      count[size_t(x)] = int32_t(n);
      const int64_t vr = q[h];
      if (key[size_t(vr * rw + x)] < 255) {
        const uint8_t* src = &pix[size_t((vr * rw + hwin[size_t(vr * rw + x)]) * 3)];
        out[0] = src[0];
        out[1] = src[1];
        out[2] = src[2];
      }
    }
    RowDone(r + 1);
  }
}

// ---- bump map ----

// T[i][j]: the light of a dome, 1 - distance from the middle, in 0..255.
const uint8_t* BumpTable() {
  static const std::vector<uint8_t> table = [] {
    std::vector<uint8_t> t(65536);
    for (int i = 0; i < 256; ++i)
      for (int j = 0; j < 256; ++j) {
        const long double u = (long double)(i - 128) / 128, w = (long double)(j - 128) / 128;
        long double v = 1 - std::sqrt(u * u + w * w);
        if (v < 0) v = 0;
        t[size_t(i * 256 + j)] = uint8_t(std::min<int64_t>(int64_t(v * 256), 255));
      }
    return t;
  }();
  return table.data();
}

// ---- lens ----

// The displacement of one coordinate p seen through a spherical lens of height z.
long double LensRefract(long double p, long double z, long double refraction) {
  const long double len = std::sqrt(p * p + z * z);
  long double ratio = len > 0 ? p / len : 0;
  ratio = std::clamp(ratio, -1.0L, 1.0L);
  const long double a = VLArcCos(ratio);
  const long double q = p - z * VLTan(kPi / 2 - a - VLArcSin(std::sin(kPi / 2 - a) / refraction));
  return std::isfinite(q) ? q : p;
}

}  // namespace

void VLApplyFilter3x3(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, const TVLUserFilter& Filter,
                      const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  const int W = Bitmap->Width();
  int64_t k64[9];
  int16_t k16[9];
  bool small = true;
  int64_t sumAbs = 0;
  for (int i = 0; i < 9; ++i) {
    k64[i] = Filter.Coeffs[size_t(i)];
    small = small && k64[i] >= -32768 && k64[i] <= 32767;
    k16[i] = int16_t(small ? k64[i] : 0);
    sumAbs += k64[i] < 0 ? -k64[i] : k64[i];
  }
  const int64_t d = Filter.Divisor == 0 ? 1 : Filter.Divisor;
  // Single precision divides exactly enough: with |sum| and |d| below 2^23 the rounded
  // quotient never reaches the next integer, so its truncation is the integer quotient.
  const bool floatDiv = small && sumAbs * 255 < (int64_t(1) << 23) && d > -(int64_t(1) << 23) && d < (int64_t(1) << 23);
  const float fd = float(d);
  // Pixels with both neighbours inside the picture go through the vector loop.
  const int xa = std::max(X1, 1), xb = std::min(X2, W - 2);
  TOriginalRows rows(Bitmap, Y1);
  const int count = Y2 - Y1 + 1;
  for (int y = Y1; y <= Y2; ++y) {
    rows.Begin(y);
    const uint8_t* a = rows.Above();
    const uint8_t* b = rows.This();
    const uint8_t* c = rows.Below();
    uint8_t* o = Bitmap->ScanLine(y);
    if (X1 == 0) ConvPixel(a, b, c, 0, 0, W > 1 ? 1 : 0, k64, d, o);
    if (X2 == W - 1 && W > 1) ConvPixel(a, b, c, W - 2, W - 1, W - 1, k64, d, o);
    if (xa <= xb) {
      const int64_t i0 = int64_t(xa) * 3, i1 = (int64_t(xb) + 1) * 3;
      if (!small) {
        for (int64_t x = xa; x <= xb; ++x) ConvPixel(a, b, c, x - 1, x, x + 1, k64, d, o);
      } else if (d == 1) {
        ConvBytes(a, b, c, o, i0, i1, k16, [](int32_t s) { return ClampS32(s); });
      } else if (floatDiv) {
        ConvBytes(a, b, c, o, i0, i1, k16, [fd](int32_t s) { return ClampS32(int32_t(float(s) / fd)); });
      } else {
        ConvBytes(a, b, c, o, i0, i1, k16, [d](int32_t s) { return Clamp64(s / d); });
      }
    }
    RowProgress(OnProgress, Sender, y - Y1 + 1, count);
  }
}

bool VLReadFilter(TStream* Stream, TVLUserFilter& Filter) {
  // The whole record is read before any of it is taken, so a file that ends early leaves
  // the filter as it was.
  uint8_t head[3];
  if (ReadUpTo(Stream, head, 3) != 3) throw EReadError(SReadError);
  if (std::memcmp(head, kFilterHeader, 3) != 0) return false;
  uint8_t rec[kFilterRecordBytes];
  if (ReadUpTo(Stream, rec, kFilterRecordBytes) != kFilterRecordBytes) throw EReadError(SReadError);
  for (int i = 0; i < 9; ++i) Filter.Coeffs[size_t(i)] = GetLE32(rec + 4 * i);
  Filter.Divisor = GetLE32(rec + 36);
  return true;
}

void VLWriteFilter(TStream* Stream, const TVLUserFilter& Filter) {
  uint8_t buf[3 + kFilterRecordBytes];
  std::memcpy(buf, kFilterHeader, 3);
  for (int i = 0; i < 9; ++i) PutLE32(buf + 3 + 4 * i, Filter.Coeffs[size_t(i)]);
  PutLE32(buf + 39, Filter.Divisor);
  Stream->WriteBuffer(buf, sizeof buf);
}

bool VLLoadFilter(const std::string& FileName, TVLUserFilter& Filter) {
  TFileStream s(FileName, fmOpenRead | fmShareDenyWrite);
  return VLReadFilter(&s, Filter);
}

void VLSaveFilter(const std::string& FileName, const TVLUserFilter& Filter) {
  const bool ok = SaveFileAtomically(FileName, [&](TStream* s) {
    VLWriteFilter(s, Filter);
    return true;
  });
  if (!ok) throw EWriteError(SWriteError);
}

void VLAdjustHSL(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int Hue, int Saturation, int Lightness,
                 const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  const long double dl = (long double)Lightness / 100, ds = (long double)Saturation / 100, dh = (long double)Hue / 360;
  PerPixel(Bitmap, X1, Y1, X2, Y2, OnProgress, Sender, [&](int32_t c) {
    double h, s, l;
    VLRGBToHSL(h, s, l, c);
    TRGB t;
    VLHSLToRGB(t, double(l + dl), double(s + ds), double(h + dh));
    return t;
  });
}

void VLAdjustHSV(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int Hue, int Saturation, int Value,
                 const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  // The sums are clamped by the conversion; held in range first so they can't overflow.
  auto add = [](int v, int d) { return int(std::clamp<int64_t>(int64_t(v) + d, -1000, 1000)); };
  PerPixel(Bitmap, X1, Y1, X2, Y2, OnProgress, Sender, [&](int32_t c) {
    int h, s, v;
    VLRGBToHSV(h, s, v, c);
    TRGB t;
    VLHSVToRGB(t, add(h, Hue), add(s, Saturation), add(v, Value));
    return t;
  });
}

void VLAddRGB(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int Red, int Green, int Blue,
              const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  uint8_t t[3][256];
  const int off[3] = {Blue, Green, Red};
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < 256; ++v) t[c][v] = Clamp64(int64_t(v) + off[c]);
  MapRect(Bitmap, t[0], t[1], t[2], X1, Y1, X2, Y2, OnProgress, Sender);
}

void VLThreshold(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int32_t Low, int32_t High, int32_t LowColor,
                 int32_t HighColor, const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  if ((Low & 0xFFFFFF) == 0 && (High & 0xFFFFFF) == 0xFFFFFF) return;
  uint8_t t[3][256];
  for (int c = 0; c < 3; ++c) {  // blue, green, red: bits 0, 8, 16
    const int lo = (Low >> (8 * c)) & 255, hi = (High >> (8 * c)) & 255;
    const int lc = (LowColor >> (8 * c)) & 255, hc = (HighColor >> (8 * c)) & 255;
    for (int v = 0; v < 256; ++v) {
      int n = v <= lo ? lc : v;
      if (n > hi) n = hc;
      t[c][v] = uint8_t(n);
    }
  }
  MapRect(Bitmap, t[0], t[1], t[2], X1, Y1, X2, Y2, OnProgress, Sender);
}

void VLEqualizeRange(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int32_t Black, int32_t White,
                     const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  int black[3], white[3];
  for (int c = 0; c < 3; ++c) {
    black[c] = (Black >> (8 * c)) & 255;
    white[c] = (White >> (8 * c)) & 255;
    if (white[c] == 0) white[c] = 1;
  }
  if (black[0] == white[0] && black[1] == white[1] && black[2] == white[2]) return;
  uint8_t t[3][256];
  for (int c = 0; c < 3; ++c) {
    const int range = black[c] == 255 ? 1 : 255 - black[c];
    for (int v = 0; v < 256; ++v) {
      const uint8_t first = Clamp64(Round((long double)(v - black[c]) * 255 / range));
      t[c][v] = Clamp64(Round((long double)first * 255 / white[c]));
    }
  }
  MapRect(Bitmap, t[0], t[1], t[2], X1, Y1, X2, Y2, OnProgress, Sender);
}

void VLAutoEqualize(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, const TProgressEvent& OnProgress,
                    TObject* Sender) {
  if (!Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  const int W = Bitmap->Width(), H = Bitmap->Height();
  const int64_t per = int64_t(W) * H / 256;
  // Fewer than 256 pixels give no share per level to spread them over.
  if (per < 1) return;
  TVLHistogram hist;
  VLCalcHistogram(Bitmap, hist, 0, 0, W - 1, H - 1);
  uint8_t left[256], right[256];
  int64_t s = 0, i = 0;
  for (int k = 0; k < 256; ++k) {
    left[k] = uint8_t(std::min<int64_t>(i, 255));
    s += hist[size_t(k)].Gray;
    // Take per from s while s > per, in one step.
    if (s > per) {
      const int64_t n = (s - 1) / per;
      s -= n * per;
      i += n;
    }
    right[k] = uint8_t(std::min<int64_t>(i, 255));
  }
  TOriginalRows rows(Bitmap, Y1);
  const int count = Y2 - Y1 + 1;
  for (int y = Y1; y <= Y2; ++y) {
    rows.Begin(y);
    const uint8_t* r[3] = {rows.Above(), rows.This(), rows.Below()};
    uint8_t* o = Bitmap->ScanLine(y);
    for (int x = X1; x <= X2; ++x) {
      const int64_t cols[3] = {int64_t(x > 0 ? x - 1 : 0) * 3, int64_t(x) * 3, int64_t(x < W - 1 ? x + 1 : x) * 3};
      int m[3];
      for (int ch = 0; ch < 3; ++ch) {
        int sum = 0;
        for (const uint8_t* row : r)
          for (int64_t cx : cols) sum += row[cx + ch];
        m[ch] = sum / 9;
      }
      const uint8_t* p = r[1] + cols[1];
      uint8_t* q = o + cols[1];
      const int lm = VLLuminance(m[2], m[1], m[0]);
      const int l = VLLuminance(p[2], p[1], p[0]);
      if (left[l] == right[l]) {
        for (int ch = 0; ch < 3; ++ch) q[ch] = left[p[ch]];
      } else if (lm > right[l]) {
        for (int ch = 0; ch < 3; ++ch) q[ch] = right[p[ch]];
      } else if (lm < left[l]) {
        for (int ch = 0; ch < 3; ++ch) q[ch] = left[p[ch]];
      } else {
        for (int ch = 0; ch < 3; ++ch) q[ch] = uint8_t(m[ch]);
      }
    }
    RowProgress(OnProgress, Sender, y - Y1 + 1, count);
  }
}

void VLBumpMap(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int LightX, int LightY, int LightWidth, int LightHeight,
               int32_t LightColor, int Kept, const TProgressEvent& OnProgress, TObject* Sender) {
  if (LightWidth == 0 || LightHeight == 0) return;
  if (!Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  const uint8_t* T = BumpTable();
  const int64_t rw = int64_t(X2) - X1 + 1, rh = int64_t(Y2) - Y1 + 1;
  std::vector<uint8_t> lum(size_t(rw * rh));
  for (int64_t r = 0; r < rh; ++r) {
    const uint8_t* p = Bitmap->ScanLine(int(Y1 + r)) + int64_t(X1) * 3;
    for (int64_t x = 0; x < rw; ++x, p += 3) lum[size_t(r * rw + x)] = uint8_t(VLLuminance(p[2], p[1], p[0]));
  }
  // The light's slope across and down: trunc((x - light x) / light width x 128), per column.
  constexpr int64_t kLim = int64_t(1) << 40;
  std::vector<int64_t> sx(static_cast<size_t>(rw));
  for (int64_t x = 0; x < rw; ++x)
    sx[size_t(x)] = SafeTrunc((long double)(X1 + x - LightX) / LightWidth * 128, -kLim, kLim, 0);
  const int colour[3] = {LightColor & 255, (LightColor >> 8) & 255, (LightColor >> 16) & 255};
  const int64_t dim = 100 - int64_t(Kept);
  for (int64_t r = 0; r < rh; ++r) {
    const uint8_t* lr = &lum[size_t(r * rw)];
    const uint8_t* lu = &lum[size_t((r > 0 ? r - 1 : 0) * rw)];
    const uint8_t* ld = &lum[size_t((r < rh - 1 ? r + 1 : r) * rw)];
    const int64_t sy = SafeTrunc((long double)(Y1 + r - LightY) / LightHeight * 128, -kLim, kLim, 0);
    uint8_t* p = Bitmap->ScanLine(int(Y1 + r)) + int64_t(X1) * 3;
    for (int64_t x = 0; x < rw; ++x, p += 3) {
      const int dx = lr[x < rw - 1 ? x + 1 : x] - lr[x > 0 ? x - 1 : 0];
      const int dy = ld[x] - lu[x];
      const int i = Clamp64(dx - sx[size_t(x)] + 128), j = Clamp64(dy - sy + 128);
      const long double light = (long double)(T[i * 256 + j] * dim) / 100;
      for (int ch = 0; ch < 3; ++ch)
        p[ch] = Clamp64(Round((long double)(p[ch] * int64_t(Kept)) / 100 + light * colour[ch] / 255));
    }
    RowProgress(OnProgress, Sender, r + 1, rh);
  }
}

void VLMorphFilter(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int Size, int Type,
                   const TProgressEvent& OnProgress, TObject* Sender) {
  if (Type < 0 || Type > 3 || !Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  const int64_t rows = int64_t(Y2) - Y1 + 1;
  const bool two = Type >= 2;
  // Opening: minimum then maximum; closing: maximum then minimum.
  const bool firstMax = Type == 0 || Type == 3;
  for (int pass = 0; pass < (two ? 2 : 1); ++pass) {
    const bool isMax = pass == 0 ? firstMax : !firstMax;
    MorphPass(Bitmap, X1, Y1, X2, Y2, Size, isMax, [&](int64_t done) {
      if (!OnProgress) return;
      const int64_t n = done + pass * rows;
      const int per = int(n * 200 / (2 * rows + 1));
      OnProgress(Sender, two ? per / 2 : per);
    });
  }
}

void VLLens(TBitmap* Bitmap, int X, int Y, int Width, int Height, double Refraction, const TProgressEvent& OnProgress,
            TObject* Sender) {
  if (!Is24(Bitmap)) return;
  const int64_t W = Bitmap->Width(), H = Bitmap->Height();
  const int64_t w2 = Width / 2, h2 = Height / 2;
  const int64_t left = std::clamp<int64_t>(X - w2, 0, W), right = std::clamp<int64_t>(X + w2, 0, W);
  const int64_t top = std::clamp<int64_t>(Y - h2, 0, H), bottom = std::clamp<int64_t>(Y + h2, 0, H);
  const int64_t bw = right - left, bh = bottom - top;
  if (bw <= 0 || bh <= 0) return;
  const long double hw = (long double)bw / 2, hh = (long double)bh / 2;
  const long double refr = Refraction >= 1 ? Refraction : 1;  // NaN too
  const long double r = std::min(hw, hh);
  // The box, built apart: sources are read from the picture as it was.
  std::vector<uint8_t> box(size_t(bw * bh * 3));
  for (int64_t row = 0; row < bh; ++row)
    std::memcpy(&box[size_t(row * bw * 3)], Bitmap->ScanLine(int(top + row)) + left * 3, size_t(bw * 3));
  constexpr int64_t kLim = int64_t(1) << 40;
  for (int64_t col = 0; col < bw; ++col) {
    const long double px = col - hw + 0.5L;
    for (int64_t row = 0; row < bh; ++row) {
      const long double py = hh - row - 0.5L;
      if (!(py * py < hh * hh - hh * hh * px * px / (hw * hw))) continue;
      const long double zz = (1 - px * px / (hw * hw) - py * py / (hh * hh)) * r * r;
      const long double z = zz > 0 ? std::sqrt(zz) : 0;
      const long double qx = LensRefract(px, z, refr), qy = LensRefract(py, z, refr);
      const int64_t sx = std::clamp<int64_t>(left + SafeTrunc(hw + qx, -kLim, kLim, 0), 0, W - 1);
      const int64_t sy = std::clamp<int64_t>(top + SafeTrunc(hh - qy, -kLim, kLim, 0), 0, H - 1);
      const uint8_t* s = Bitmap->ScanLine(int(sy)) + sx * 3;
      uint8_t* d = &box[size_t((row * bw + col) * 3)];
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
    if (OnProgress) OnProgress(Sender, int((col + 1) * 200 / (2 * bw + 1)));
  }
  for (int64_t row = 0; row < bh; ++row)
    std::memcpy(Bitmap->ScanLine(int(top + row)) + left * 3, &box[size_t(row * bw * 3)], size_t(bw * 3));
}

void VLWave(TBitmap* Bitmap, int Amplitude, int WaveLength, int Phase, bool Reflective,
            const TProgressEvent& OnProgress, TObject* Sender) {
  if (Amplitude == 0 || WaveLength == 0 || !Is24(Bitmap)) return;
  const int W = Bitmap->Width(), H = Bitmap->Height();
  const long double cx = (long double)(W - 1) / 2, cy = (long double)(H - 1) / 2;
  const long double hw = (long double)W / 2, hh = (long double)H / 2;
  const long double xs = hw < hh ? hh / hw : 1, ys = hw > hh ? hw / hh : 1;
  const long double wl = (long double)WaveLength * 2, ph = (long double)Phase * kPi / 180;
  const long double amp = Amplitude;
  TBitmap copy;
  VLCopyBitmap(Bitmap, &copy);
  // Rows count from the bottom of the picture: wave row y is bitmap row H - 1 - y.
  auto at = [&](int64_t x, int64_t y, int ch) -> int {
    if (x < 0 || y < 0 || x >= W || y >= H) return 0;
    return copy.ScanLine(int(H - 1 - y))[x * 3 + ch];
  };
  constexpr int64_t kLim = int64_t(1) << 40;
  for (int y = 0; y < H; ++y) {
    uint8_t* out = Bitmap->ScanLine(H - 1 - y);
    const long double dy = (y - cy) * ys;
    for (int x = 0; x < W; ++x, out += 3) {
      const long double dx = (x - cx) * xs;
      const long double d = std::sqrt(dx * dx + dy * dy);
      const long double wave = std::sin(d / wl * 2 * kPi + ph);
      long double sx, sy;
      if (Reflective) {
        const long double a = std::fabs(wave) * amp;
        sx = cx + dx * a / xs;
        sy = cy + dy * a / ys;
      } else {
        const long double a = wave * amp;
        sx = (a + dx) / xs + cx;
        sy = (a + dy) / ys + cy;
      }
      // Clamped as integers to 0..W - 2 (-1 on a 1-pixel picture, whose missing
      // neighbours count 0).
      const int64_t ix = std::min<int64_t>(std::max<int64_t>(SafeTrunc(sx, -kLim, kLim, 0), 0), W - 2);
      const int64_t iy = std::min<int64_t>(std::max<int64_t>(SafeTrunc(sy, -kLim, kLim, 0), 0), H - 2);
      const long double fx = std::isfinite(sx) ? Frac(sx) : 0, fy = std::isfinite(sy) ? Frac(sy) : 0;
      for (int ch = 0; ch < 3; ++ch) {
        const long double v = (1 - fy) * ((1 - fx) * at(ix, iy, ch) + fx * at(ix + 1, iy, ch)) +
                              fy * ((1 - fx) * at(ix, iy + 1, ch) + fx * at(ix + 1, iy + 1, ch));
        out[ch] = Clamp64(SafeTrunc(v, -1, 256, 0));
      }
    }
    if (OnProgress) OnProgress(Sender, int(int64_t(y) * 100 / H));
  }
}
