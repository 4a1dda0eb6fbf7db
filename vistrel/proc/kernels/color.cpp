#include "vistrel/proc/kernels/color.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "vistrel/proc/kernels/color_p.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/kernels/quantizer.h"

namespace vlcolor::plain {

void GrayRow(uint8_t* p, int64_t n) {
  for (int64_t x = 0; x < n; ++x, p += 3) {
    const uint8_t l = uint8_t(VLLuminance(p[2], p[1], p[0]));
    p[0] = p[1] = p[2] = l;
  }
}

void RedGrayRow(const uint8_t* src, int64_t n, uint16_t* out) {
  for (int64_t x = 0; x < n; ++x, src += 3) out[x] = uint16_t(src[2] | (VLLuminance(src[2], src[1], src[0]) << 8));
}

}  // namespace vlcolor::plain

namespace {

using namespace vlcolor;

// The row loops for this processor, chosen on first use.
TGrayRow GrayRow() {
  static const TGrayRow row = VLPickVariant<TGrayRow>(plain::GrayRow, cfAVX2, VL_X86_ONLY(avx2::GrayRow));
  return row;
}

TRedGrayRow RedGrayRow() {
  static const TRedGrayRow row = VLPickVariant<TRedGrayRow>(plain::RedGrayRow, cfAVX2, VL_X86_ONLY(avx2::RedGrayRow));
  return row;
}

// From this many pixels on the histogram counts pairs of values (blue with green, red with
// gray) in two tables of 65536 and sums them up at the end: half the increments per pixel,
// for two tables to clear and sum.
constexpr int64_t kPairCountPixels = int64_t(1) << 17;

bool Is24(const TBitmap* b) { return b && b->PixelFormat() == pf24bit; }

// Cuts the rectangle to the picture; false when nothing is left.
bool ClampRect(const TBitmap* b, int& X1, int& Y1, int& X2, int& Y2) {
  if (!b || b->Empty()) return false;
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, b->Width() - 1);
  Y2 = std::min(Y2, b->Height() - 1);
  return X1 <= X2 && Y1 <= Y2;
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
    VLRowProgress(OnProgress, Sender, y - Y1 + 1, rows);
  }
}

}  // namespace

void VLGrayRect(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  const TGrayRow gray = GrayRow();
  const int rows = Y2 - Y1 + 1;
  const int64_t n = int64_t(X2) - X1 + 1;
  for (int y = Y1; y <= Y2; ++y) {
    gray(Bitmap->ScanLine(y) + int64_t(X1) * 3, n);
    VLRowProgress(OnProgress, Sender, y - Y1 + 1, rows);
  }
}

void VLNegativeRect(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, const TProgressEvent& OnProgress,
                    TObject* Sender) {
  if (!Bitmap || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  if (Bitmap->PixelFormat() == pf1bit) {
    const int b0 = X1 >> 3, b1 = X2 >> 3;
    const uint8_t m0 = uint8_t(0xFF >> (X1 & 7)), m1 = uint8_t(0xFF00 >> ((X2 & 7) + 1));
    for (int y = Y1; y <= Y2; ++y) {
      uint8_t* row = Bitmap->ScanLine(y);
      if (b0 == b1) {
        row[b0] ^= uint8_t(m0 & m1);
        continue;
      }
      row[b0] ^= m0;
      for (int i = b0 + 1; i < b1; ++i) row[i] = uint8_t(~row[i]);
      row[b1] ^= m1;
    }
    return;
  }
  if (!Is24(Bitmap)) return;
  const int rows = Y2 - Y1 + 1;
  const int64_t n = int64_t(X2 - X1 + 1) * 3;
  for (int y = Y1; y <= Y2; ++y) {
    uint8_t* p = Bitmap->ScanLine(y) + int64_t(X1) * 3;
    for (int64_t i = 0; i < n; ++i) p[i] = uint8_t(255 - p[i]);
    VLRowProgress(OnProgress, Sender, y - Y1 + 1, rows);
  }
}

void VLMergeRect(TBitmap* Bitmap, TBitmap* Graphic, int Percent, int X1, int Y1, int X2, int Y2,
                 const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || !Graphic || Graphic->Empty() || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  TBitmap converted;
  TBitmap* g = Graphic;
  if (!Is24(Graphic) || Graphic == Bitmap) {
    converted.Assign(Graphic);
    converted.SetPixelFormat(pf24bit);
    g = &converted;
  }
  const int64_t rw = X2 - X1 + 1, rh = Y2 - Y1 + 1;
  const int64_t gw = g->Width(), gh = g->Height();
  // The graphic stretched over the rectangle, nearest pixel.
  std::vector<int64_t> col(static_cast<size_t>(rw));
  for (int64_t x = 0; x < rw; ++x) col[size_t(x)] = (2 * x + 1) * gw / (2 * rw) * 3;
  // old x Percent / 100 + merged x (100 - Percent) / 100, rounded and clamped, for every pair.
  std::vector<uint8_t> table(65536);
  for (int o = 0; o < 256; ++o)
    for (int m = 0; m < 256; ++m)
      table[size_t(o * 256 + m)] =
          VLByteClamp(int(Round((long double)(o * Percent) / 100 + (long double)(m * (100 - Percent)) / 100)));
  for (int64_t y = 0; y < rh; ++y) {
    const uint8_t* src = g->ScanLine(int((2 * y + 1) * gh / (2 * rh)));
    uint8_t* p = Bitmap->ScanLine(int(Y1 + y)) + int64_t(X1) * 3;
    for (int64_t x = 0; x < rw; ++x, p += 3) {
      const uint8_t* s = src + col[size_t(x)];
      p[0] = table[size_t(p[0] * 256 + s[0])];
      p[1] = table[size_t(p[1] * 256 + s[1])];
      p[2] = table[size_t(p[2] * 256 + s[2])];
    }
    VLRowProgress(OnProgress, Sender, y + 1, rh);
  }
}

void VLCalcHistogram(TBitmap* Bitmap, TVLHistogram& Histogram, int X1, int Y1, int X2, int Y2) {
  Histogram.fill(TVLHistogramEntry{});
  if (!Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  const TRedGrayRow redGrayRow = RedGrayRow();
  const int64_t n = int64_t(X2) - X1 + 1;
  std::vector<uint16_t> redGray(static_cast<size_t>(n));
  const uint16_t* rl = redGray.data();
  if (n * (int64_t(Y2) - Y1 + 1) < kPairCountPixels) {
    for (int y = Y1; y <= Y2; ++y) {
      const uint8_t* p = Bitmap->ScanLine(y) + int64_t(X1) * 3;
      redGrayRow(p, n, redGray.data());
      for (int64_t x = 0; x < n; ++x, p += 3) {
        ++Histogram[p[2]].Red;
        ++Histogram[p[1]].Green;
        ++Histogram[p[0]].Blue;
        ++Histogram[rl[x] >> 8].Gray;
      }
    }
    return;
  }
  std::vector<uint32_t> pairs(2 * 65536, 0);
  uint32_t* const bg = pairs.data();  // blue + green x 256
  uint32_t* const rg = bg + 65536;    // red + gray x 256
  for (int y = Y1; y <= Y2; ++y) {
    const uint8_t* p = Bitmap->ScanLine(y) + int64_t(X1) * 3;
    redGrayRow(p, n, redGray.data());
    int64_t x = 0;
    for (; x + 4 <= n; x += 4, p += 12) {
      ++bg[p[0] | (p[1] << 8)];
      ++rg[rl[x]];
      ++bg[p[3] | (p[4] << 8)];
      ++rg[rl[x + 1]];
      ++bg[p[6] | (p[7] << 8)];
      ++rg[rl[x + 2]];
      ++bg[p[9] | (p[10] << 8)];
      ++rg[rl[x + 3]];
    }
    for (; x < n; ++x, p += 3) {
      ++bg[p[0] | (p[1] << 8)];
      ++rg[rl[x]];
    }
  }
  // Row sums give the high value's count, column sums the low value's.
  uint32_t low[2][256] = {};
  for (int hi = 0; hi < 256; ++hi) {
    const uint32_t* a = bg + hi * 256;
    const uint32_t* b = rg + hi * 256;
    uint32_t sa = 0, sb = 0;
    for (int lo = 0; lo < 256; ++lo) {
      sa += a[lo];
      sb += b[lo];
      low[0][lo] += a[lo];
      low[1][lo] += b[lo];
    }
    Histogram[size_t(hi)].Green = sa;
    Histogram[size_t(hi)].Gray = sb;
  }
  for (int v = 0; v < 256; ++v) {
    Histogram[size_t(v)].Blue = low[0][v];
    Histogram[size_t(v)].Red = low[1][v];
  }
}

int VLCountColors(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2) {
  if (!Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return 0;
  const int64_t pixels = int64_t(X2 - X1 + 1) * (Y2 - Y1 + 1);
  if (pixels <= 4096) {
    THash1 set(13);
    for (int y = Y1; y <= Y2; ++y) {
      const uint8_t* p = Bitmap->ScanLine(y) + int64_t(X1) * 3;
      for (int x = X1; x <= X2; ++x, p += 3) set.Add((int32_t(p[2]) << 16) | (int32_t(p[1]) << 8) | p[0]);
    }
    return set.Count();
  }
  // Large areas: one bit per 24-bit colour. The set of 8192 chained buckets answers the
  // same count, but a photograph's million colours make its chains thousands long.
  std::vector<uint64_t> seen(size_t(1) << 18, 0);
  int count = 0;
  for (int y = Y1; y <= Y2; ++y) {
    const uint8_t* p = Bitmap->ScanLine(y) + int64_t(X1) * 3;
    for (int x = X1; x <= X2; ++x, p += 3) {
      const uint32_t c = (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
      uint64_t& word = seen[c >> 6];
      const uint64_t bit = uint64_t(1) << (c & 63);
      count += (word & bit) == 0;
      word |= bit;
    }
  }
  return count;
}

void VLContrast(TBitmap* Bitmap, int Contrast, int AvgRed, int AvgGreen, int AvgBlue, int X1, int Y1, int X2, int Y2,
                const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || !ClampRect(Bitmap, X1, Y1, X2, Y2)) return;
  const long double k =
      Contrast < 0 ? 1 - std::sqrt((long double)-(int64_t)Contrast) / 10 : 1 + (long double)Contrast / 10;
  uint8_t t[3][256];
  const int avg[3] = {AvgBlue, AvgGreen, AvgRed};
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < 256; ++v) t[c][v] = VLByteClamp(int(avg[c] + Trunc((v - avg[c]) * k)));
  MapRect(Bitmap, t[0], t[1], t[2], X1, Y1, X2, Y2, OnProgress, Sender);
}

void VLQuantize(TBitmap* Bitmap, int N, TRGB* Palette, const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || Bitmap->Empty() || N < 1) return;
  std::vector<TRGB> own;
  if (!Palette) {
    own.assign(size_t(N), TRGB{});
    Palette = own.data();
  }
  TVLQuantizer q(Bitmap, Palette, 0, N, -1, 0);
  const int w = Bitmap->Width(), h = Bitmap->Height();
  if (q.Algorithm() == 1) {
    // The box split answers per 5-bit cell: one table of colours.
    std::vector<TRGB> cell(32768);
    for (int i = 0; i < 32768; ++i) {
      const int r = (i >> 10) << 3, g = ((i >> 5) & 31) << 3, b = (i & 31) << 3;
      cell[size_t(i)] = Palette[q.ColorIndex(b | (g << 8) | (r << 16))];
    }
    for (int y = 0; y < h; ++y) {
      uint8_t* p = Bitmap->ScanLine(y);
      for (int x = 0; x < w; ++x, p += 3) {
        const TRGB& c = cell[size_t(((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3))];
        p[0] = c.B;
        p[1] = c.G;
        p[2] = c.R;
      }
      VLRowProgress(OnProgress, Sender, y + 1, h);
    }
    return;
  }
  int32_t last = -1;
  TRGB lastC{};
  for (int y = 0; y < h; ++y) {
    uint8_t* p = Bitmap->ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      const int32_t c = p[0] | (p[1] << 8) | (p[2] << 16);
      if (c != last) {
        last = c;
        lastC = Palette[q.ColorIndex(c)];
      }
      p[0] = lastC.B;
      p[1] = lastC.G;
      p[2] = lastC.R;
    }
    VLRowProgress(OnProgress, Sender, y + 1, h);
  }
}

void VLReduceColors(TBitmap* Bitmap, int N, TRGB* Palette, const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || Bitmap->Empty()) return;
  if (N > 2) {
    VLQuantize(Bitmap, N, Palette, OnProgress, Sender);
    return;
  }
  VLDitherOrderedTo1Bit(Bitmap, OnProgress, Sender);
  // Black and white, as far as the caller's palette has room.
  if (Palette && N >= 1) Palette[0] = TRGB{0, 0, 0};
  if (Palette && N >= 2) Palette[1] = TRGB{255, 255, 255};
}

void VLThresholdTo1Bit(TBitmap* Bitmap, int Threshold, const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || Bitmap->Empty()) return;
  if (Threshold == -1) {
    int r = 0, g = 0, b = 0;
    VLAverageColor(Bitmap, r, g, b);
    Threshold = VLLuminance(r, g, b);
  }
  const int w = Bitmap->Width(), h = Bitmap->Height();
  TBitmap out;
  out.SetPixelFormat(pf1bit);
  out.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = Bitmap->ScanLine(y);
    uint8_t* d = out.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3)
      if (VLLuminance(p[2], p[1], p[0]) >= Threshold) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
    VLRowProgress(OnProgress, Sender, y + 1, h);
  }
  VLCopyBitmap(&out, Bitmap);
}

void VLAverageColor(TBitmap* Bitmap, int& R, int& G, int& B) {
  if (!Is24(Bitmap)) return;
  const int w = Bitmap->Width(), h = Bitmap->Height();
  const int64_t n = int64_t(w) * h;
  if (n <= 0) {
    R = G = B = 128;
    return;
  }
  int64_t sr = 0, sg = 0, sb = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = Bitmap->ScanLine(y);
    uint64_t rr = 0, gg = 0, bb = 0;
    for (int x = 0; x < w; ++x, p += 3) {
      bb += p[0];
      gg += p[1];
      rr += p[2];
    }
    sr += rr;
    sg += gg;
    sb += bb;
  }
  R = int(sr / n);
  G = int(sg / n);
  B = int(sb / n);
}

void VLSplitHSV(TBitmap* Source, TBitmap* H, TBitmap* S, TBitmap* V, const TProgressEvent& OnProgress,
                TObject* Sender) {
  if (!Is24(Source) || !H || !S || !V) return;
  if (H == Source || S == Source || V == Source || H == S || H == V || S == V) return;
  const int w = Source->Width(), h = Source->Height();
  for (TBitmap* t : {H, S, V}) {
    t->SetSize(1, 1);
    t->SetPixelFormat(pf24bit);
    t->SetSize(w, h);
  }
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = Source->ScanLine(y);
    uint8_t* ph = H->ScanLine(y);
    uint8_t* ps = S->ScanLine(y);
    uint8_t* pv = V->ScanLine(y);
    int32_t last = -1;
    uint8_t gh = 0, gs = 0, gv = 0;
    for (int x = 0; x < w; ++x, p += 3) {
      const int32_t c = p[0] | (p[1] << 8) | (p[2] << 16);
      if (c != last) {
        last = c;
        int hh = 0, ss = 0, vv = 0;
        VLRGBToHSV(hh, ss, vv, c);
        gh = uint8_t(hh * 255 / 359);
        gs = uint8_t(ss * 255 / 99);
        gv = uint8_t(vv * 255 / 99);
      }
      ph[0] = ph[1] = ph[2] = gh;
      ps[0] = ps[1] = ps[2] = gs;
      pv[0] = pv[1] = pv[2] = gv;
      ph += 3;
      ps += 3;
      pv += 3;
    }
    if (OnProgress) OnProgress(Sender, int(int64_t(y) * 100 / h));
  }
}

void VLConvertToTrueColor(TBitmap* Bitmap, const TProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->PixelFormat() != pf1bit || Bitmap->Empty()) return;
  TBitmap copy;
  VLCopyBitmap(Bitmap, &copy);
  VLExpand1BitTo24Bit(&copy, Bitmap, OnProgress, Sender);
}
