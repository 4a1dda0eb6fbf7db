#include "vistrel/proc/kernels/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "vistrel/proc/kernels/geometry_p.h"
#include "vistrel/proc/kernels/pixels.h"

namespace {

using namespace vlgeometry;

bool Is24(const TBitmap* b) { return b && b->PixelFormat() == pf24bit; }
bool Is1(const TBitmap* b) { return b && b->PixelFormat() == pf1bit; }

// Palette index nearest to a colour (squared distance; the first of equals).
int NearestEntry(const std::vector<TRGBQuad>& pal, const TRGB& c) {
  int best = 0;
  int64_t bestD = -1;
  for (size_t i = 0; i < pal.size(); ++i) {
    int64_t dr = int64_t(pal[i].R) - c.R, dg = int64_t(pal[i].G) - c.G, db = int64_t(pal[i].B) - c.B;
    int64_t d = dr * dr + dg * dg + db * db;
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = int(i);
    }
  }
  return best;
}

// The stored bits of one pixel of colour c in the bitmap's format.
uint32_t PixelValue(const TBitmap* b, const TRGB& c) {
  switch (b->PixelFormat()) {
    case pf1bit:
    case pf4bit:
    case pf8bit: return uint32_t(NearestEntry(b->Palette(), c));
    case pf15bit: return (uint32_t(c.R >> 3) << 10) | (uint32_t(c.G >> 3) << 5) | uint32_t(c.B >> 3);
    case pf16bit: return (uint32_t(c.R >> 3) << 11) | (uint32_t(c.G >> 2) << 5) | uint32_t(c.B >> 3);
    case pf32bit: return uint32_t(c.B) | (uint32_t(c.G) << 8) | (uint32_t(c.R) << 16);
    default: return uint32_t(c.B) | (uint32_t(c.G) << 8) | (uint32_t(c.R) << 16);
  }
}

// Sets pixels x0..x1-1 of a row to the stored value v.
void FillRun(uint8_t* row, int bits, int x0, int x1, uint32_t v) {
  if (x0 >= x1) return;
  if (bits == 1 || bits == 4) {
    for (int x = x0; x < x1; ++x) {
      if (bits == 1) {
        VLSetBit(row, x, int(v & 1));
      } else {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? uint8_t((b & 0xF0) | (v & 15)) : uint8_t((b & 0x0F) | ((v & 15) << 4));
      }
    }
    return;
  }
  const int bytes = bits / 8;
  uint8_t pix[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  uint8_t* p = row + int64_t(x0) * bytes;
  for (int x = x0; x < x1; ++x, p += bytes) std::memcpy(p, pix, size_t(bytes));
}

// The source columns x0[x] to x1[x] - 1 that target column x of dw averages (at least one).
void SourceColumns(int64_t sw, int64_t dw, std::vector<int64_t>& x0, std::vector<int64_t>& x1) {
  x0.assign(size_t(dw), 0);
  x1.assign(size_t(dw), 0);
  for (int64_t x = 0; x < dw; ++x) {
    x0[size_t(x)] = x * sw / dw;
    x1[size_t(x)] = std::max(x0[size_t(x)] + 1, (x + 1) * sw / dw);
  }
}

void Stretch24(TBitmap* Source, TBitmap* Dest) {
  const int64_t sw = Source->Width(), sh = Source->Height();
  const int64_t dw = Dest->Width(), dh = Dest->Height();
  std::vector<int64_t> x0, x1;
  SourceColumns(sw, dw, x0, x1);
  std::vector<uint64_t> sums(size_t(dw) * 3);
  for (int64_t y = 0; y < dh; ++y) {
    const int64_t ya = y * sh / dh;
    const int64_t yb = std::max(ya + 1, (y + 1) * sh / dh);
    std::fill(sums.begin(), sums.end(), 0);
    for (int64_t sy = ya; sy < yb; ++sy) {
      const uint8_t* src = Source->ScanLine(int(sy));
      for (int64_t x = 0; x < dw; ++x) {
        uint64_t b = 0, g = 0, r = 0;
        for (int64_t sx = x0[size_t(x)]; sx < x1[size_t(x)]; ++sx) {
          b += src[sx * 3];
          g += src[sx * 3 + 1];
          r += src[sx * 3 + 2];
        }
        sums[size_t(x) * 3] += b;
        sums[size_t(x) * 3 + 1] += g;
        sums[size_t(x) * 3 + 2] += r;
      }
    }
    uint8_t* d = Dest->ScanLine(int(y));
    for (int64_t x = 0; x < dw; ++x) {
      const uint64_t n = uint64_t(x1[size_t(x)] - x0[size_t(x)]) * uint64_t(yb - ya);
      for (int c = 0; c < 3; ++c) d[x * 3 + c] = Byte((sums[size_t(x) * 3 + size_t(c)] + n / 2) / n);
    }
  }
}

void Stretch1(TBitmap* Source, TBitmap* Dest) {
  const int64_t sw = Source->Width(), sh = Source->Height();
  const int64_t dw = Dest->Width(), dh = Dest->Height();
  std::vector<int64_t> x0, x1;
  SourceColumns(sw, dw, x0, x1);
  std::vector<uint64_t> sums(static_cast<size_t>(dw));
  for (int64_t y = 0; y < dh; ++y) {
    const int64_t ya = y * sh / dh;
    const int64_t yb = std::max(ya + 1, (y + 1) * sh / dh);
    std::fill(sums.begin(), sums.end(), 0);
    for (int64_t sy = ya; sy < yb; ++sy) {
      const uint8_t* src = Source->ScanLine(int(sy));
      for (int64_t x = 0; x < dw; ++x)
        for (int64_t sx = x0[size_t(x)]; sx < x1[size_t(x)]; ++sx)
          if (VLGetBit(src, sx)) ++sums[size_t(x)];
    }
    uint8_t* d = Dest->ScanLine(int(y));
    std::memset(d, 0, size_t(Dest->RowBytes()));
    for (int64_t x = 0; x < dw; ++x) {
      const uint64_t n = uint64_t(x1[size_t(x)] - x0[size_t(x)]) * uint64_t(yb - ya);
      // Mean of 0 and 255 values, rounded; 128 and above is white.
      if ((sums[size_t(x)] * 255 + n / 2) / n >= 128) VLSetBit(d, x, 1);
    }
  }
}

// Quarter turns in tiles, so both sides stay in cache.
void Turn(TBitmap* Source, TBitmap* Dest, bool clockwise) {
  const int w = Source->Width(), h = Source->Height();
  // Every pixel is written below.
  Dest->Allocate(h, w, pf24bit);
  if (w < 1 || h < 1) return;
  const uint8_t* s0 = Source->ScanLine(0);
  const int64_t sr = Source->RowBytes();
  uint8_t* d0 = Dest->ScanLine(0);
  const int64_t dr = Dest->RowBytes();
  constexpr int kTile = 32;
  for (int ty = 0; ty < h; ty += kTile)
    for (int tx = 0; tx < w; tx += kTile) {
      const int ey = std::min(h, ty + kTile), ex = std::min(w, tx + kTile);
      for (int y = ty; y < ey; ++y) {
        const uint8_t* s = s0 + y * sr + int64_t(tx) * 3;
        for (int x = tx; x < ex; ++x, s += 3) {
          // Clockwise: (x, y) to (h - 1 - y, x); counter-clockwise: (y, w - 1 - x).
          uint8_t* d = clockwise ? d0 + x * dr + int64_t(h - 1 - y) * 3 : d0 + (w - 1 - x) * dr + int64_t(y) * 3;
          d[0] = s[0];
          d[1] = s[1];
          d[2] = s[2];
        }
      }
    }
}

// Pixels copied between a row-major block and a column-major one, four bytes at a time: the
// byte past each pixel is overwritten by the next pixel copied, or lands in a spare byte that
// every block keeps after its rows.
inline void CopyPixel(uint8_t* d, const uint8_t* s) { std::memcpy(d, s, 4); }

// The three shears of the rotation, made block by block: for each block of kRows rows of the
// vertical shear's result, the horizontal shear's rows it needs are made anew from T for
// kCols columns at a time, turned into columns, sheared down, turned back into the block's
// rows, and the block's rows go through the last shear straight into the picture. So no
// intermediate picture is held whole, and what is made is still in cache when it is used.
// The pixels are those of the three passes one after the other.
void Rotate24(TBitmap* Bitmap, int Angle, bool AntiAlias, TColor Background, const TProgressEvent& OnProgress,
              TObject* Sender) {
  // Quarter turns bring the angle within +-45 degrees; four of them are none, three one back.
  int n = Angle % 360, turns = 0;
  for (; n > 45; n -= 90) ++turns;
  for (; n < -45; n += 90) --turns;
  turns = (turns % 4 + 4) % 4;
  TBitmap tmp;
  TBitmap* T = Bitmap;
  if (turns == 3) {
    VLRotate90CW(Bitmap, &tmp);
    T = &tmp;
  }
  for (int i = 0; i < turns && turns < 3; ++i) {
    if (i > 0) Bitmap->TakePixels(&tmp);
    VLRotate90CCW(Bitmap, &tmp);
    T = &tmp;
  }
  if (n == 0) {
    if (T != Bitmap) Bitmap->TakePixels(T);
    return;
  }

  const long double a = n * std::numbers::pi_v<long double> / 180;
  const long double tn = std::fabs(std::sin(a / 2) / std::cos(a / 2));
  const long double sn = std::fabs(std::sin(a));
  const int64_t W = T->Width(), H = T->Height();
  TRGB bg;
  VLColorToRGB(Background, bg);
  const uint8_t bgp[3] = {bg.B, bg.G, bg.R};
  // The shear loops for this processor, chosen on first use.
  static const TShearSpan ShearSpan = VLPickVariant<TShearSpan>(plain::ShearSpan, cfAVX2, VL_X86_ONLY(avx2::ShearSpan));
  static const TShearRow ShearRow = VLPickVariant<TShearRow>(plain::ShearRow, cfAVX2, VL_X86_ONLY(avx2::ShearRow));

  const int64_t W1 = Round(H * tn + W + 1);
  const int64_t d1 = Round((W1 - W) * sn);
  const int64_t H2 = Round(W1 * sn + H + 1);
  const int64_t d2 = Round((H2 - H - d1) * tn);
  const int64_t H3 = H2 - 2 * d1;
  const int64_t W3 = Round(H3 * tn + W1 + 1 - 2 * d2);
  if (W1 < 1 || H3 < 1 || W3 < 1 || W3 > INT32_MAX || H3 > INT32_MAX) return;
  const int64_t maxBytes = TBitmap::MaxBytes();
  if (W1 * 3 > maxBytes / H || W1 * 3 > maxBytes / H3 || W3 * 3 > maxBytes / H3) throw EOutOfResources(SOutOfResources);

  // Each pass's shift and blend weight: pass 1 by row of T, pass 2 by column, pass 3 by row.
  const size_t nH = size_t(H), nW1 = size_t(W1), nH3 = size_t(H3);
  std::vector<int64_t> o1(nH), o2(nW1), o3(nH3);
  std::vector<int> v1(nH), v2(nW1), v3(nH3);
  for (int64_t i = 0; i < H; ++i) {
    const long double e = (a > 0 ? i : H - i) * tn;
    o1[size_t(i)] = Round(e);
    v1[size_t(i)] = int(Trunc((e - o1[size_t(i)]) * 4096));
  }
  for (int64_t j = 0; j < W1; ++j) {
    const long double e = (a > 0 ? W1 - j : j) * sn;
    const int64_t r = Round(e);
    o2[size_t(j)] = r - d1;
    v2[size_t(j)] = int(Round((e - r) * 4096));
  }
  for (int64_t h = 0; h < H3; ++h) {
    const long double e = (a > 0 ? h : H3 - h) * tn;
    const int64_t r = Round(e);
    o3[size_t(h)] = r - d2;
    v3[size_t(h)] = int(Round((e - r) * 4096));
  }

  // Working blocks. A column tile's shifts differ by at most kCols (sn <= 1), so its band of
  // pass-1 rows is at most kRows + kCols + 1 high.
  constexpr int64_t kRows = 128, kCols = 32;
  const int64_t band = kRows + kCols + 2;
  const int64_t row2 = W1 * 3 + 4;       // a row of the block of pass-2 rows
  const int64_t colIn = band * 3 + 4;    // a column of pass-1 pixels
  const int64_t colOut = kRows * 3 + 4;  // a column of pass-2 pixels
  // W1 x min(kRows, H3) pixels is within the size checked above.
  std::vector<uint8_t> block(static_cast<size_t>(std::min(kRows, H3) * row2)), cols(static_cast<size_t>(kCols * colIn));
  std::vector<uint8_t> down(static_cast<size_t>(kCols * colOut)), span(static_cast<size_t>(kCols * 3 + 4));

  // The picture is made anew, T being read until the end, and then takes its place.
  TBitmap out;
  out.Allocate(int(W3), int(H3), pf24bit);

  // One report before each of the H + W1 + H3 steps of the three passes, spread over the
  // blocks.
  const int64_t steps = H + W1 + H3;
  int64_t k = 0;
  auto reportUpTo = [&](int64_t last) {
    for (; k <= std::min(last, steps - 1); ++k) VLRowProgress(OnProgress, Sender, k, steps);
  };

  for (int64_t t0 = 0; t0 < H3; t0 += kRows) {
    reportUpTo(t0 * steps / H3);
    const int64_t tb = std::min(kRows, H3 - t0);
    for (int64_t j0 = 0; j0 < W1; j0 += kCols) {
      const int64_t jb = std::min(kCols, W1 - j0);
      const auto [lo, hi] = std::minmax_element(o2.begin() + j0, o2.begin() + j0 + jb);
      // Pass-1 rows La .. Lb, columns j0 .. j0 + jb - 1, turned into columns.
      const int64_t La = std::max<int64_t>(0, t0 - *hi - 1), Lb = std::min(H - 1, t0 + tb - 1 - *lo);
      for (int64_t L = La; L <= Lb; ++L) {
        ShearSpan(span.data(), j0, j0 + jb, W1, T->ScanLine(int(L)), 0, W, o1[size_t(L)], v1[size_t(L)], AntiAlias,
                  bgp);
        uint8_t* d = cols.data() + (L - La) * 3;
        for (int64_t c = 0; c < jb; ++c) CopyPixel(d + c * colIn, span.data() + c * 3);
      }
      // Pass 2 down each column, rows t0 .. t0 + tb - 1.
      for (int64_t c = 0; c < jb; ++c) {
        const size_t j = size_t(j0 + c);
        ShearSpan(down.data() + c * colOut, t0, t0 + tb, H3, cols.data() + c * colIn, La, H, o2[j], v2[j], AntiAlias,
                  bgp);
      }
      // Back into the block's rows.
      for (int64_t r = 0; r < tb; ++r) {
        uint8_t* d = block.data() + r * row2 + j0 * 3;
        const uint8_t* s = down.data() + r * 3;
        for (int64_t c = 0; c < jb; ++c) CopyPixel(d + c * 3, s + c * colOut);
      }
    }
    // Pass 3: the block's rows into the picture.
    for (int64_t r = 0; r < tb; ++r) {
      const size_t h = size_t(t0 + r);
      ShearRow(out.ScanLine(int(h)), W3, block.data() + r * row2, W1, o3[h], v3[h], AntiAlias, bgp);
    }
  }
  reportUpTo(steps - 1);
  Bitmap->TakePixels(&out);
}

Byte ReverseBits8(Byte b) {
  b = Byte((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = Byte((b & 0xCC) >> 2 | (b & 0x33) << 2);
  b = Byte((b & 0xAA) >> 1 | (b & 0x55) << 1);
  return b;
}

}  // namespace

void VLResizeCanvas(TBitmap* Bitmap, int Width, int Height, TColor Background) {
  if (!Bitmap || Width < 1 || Height < 1) return;
  const int oldW = Bitmap->Width(), oldH = Bitmap->Height();
  Bitmap->SetSize(Width, Height);
  if (Bitmap->Empty()) return;
  TRGB c;
  VLColorToRGB(Background, c);
  const uint32_t v = PixelValue(Bitmap, c);
  const int bits = Bitmap->BitsPerPixel();
  for (int y = 0; y < Height; ++y) {
    const int x0 = y < oldH ? std::min(oldW, Width) : 0;
    FillRun(Bitmap->ScanLine(y), bits, x0, Width, v);
  }
}

void VLStretchHalftone(TBitmap* Source, TBitmap* Dest) {
  if (!Source || !Dest || Source == Dest || Source->Empty() || Dest->Empty()) return;
  if (Is24(Source) && Is24(Dest)) Stretch24(Source, Dest);
  else if (Is1(Source) && Is1(Dest)) Stretch1(Source, Dest);
}

void VLResampleToSize(TBitmap* Bitmap, int Width, int Height, TResampleFilter Filter, const TProgressEvent& OnProgress,
                      TObject* Sender) {
  if (!Bitmap || Bitmap->Empty()) return;
  if (Width < 0 && Height < 0) return;
  const int64_t w = Bitmap->Width(), h = Bitmap->Height();
  int64_t nw = Width, nh = Height;
  if (nw < 0) nw = w * nh / h;
  if (nh < 0) nh = nw * h / w;
  if (nw < 1 || nh < 1 || nw > INT32_MAX || nh > INT32_MAX) return;

  TBitmap out;
  const TPixelFormat pf = Bitmap->PixelFormat();
  if (pf == pf24bit || pf == pf1bit) {
    // Both the resampler and the stretch write every pixel.
    out.Allocate(int(nw), int(nh), pf);
    if (pf == pf24bit && Filter > rfNone && Filter <= rfMitchell)
      VLResampleBitmap(Bitmap, &out, Filter, Sender, OnProgress);
    else VLStretchHalftone(Bitmap, &out);
    // A 1-bit picture keeps its own two colours.
    if (pf == pf24bit) {
      Bitmap->TakePixels(&out);
      return;
    }
  } else {
    // Other formats are scaled through 24 bits and stored back in their own format.
    TBitmap src;
    src.Assign(Bitmap);
    src.SetPixelFormat(pf24bit);
    out.SetPixelFormat(pf24bit);
    out.SetSize(int(nw), int(nh));
    if (Filter > rfNone && Filter <= rfMitchell) VLResampleBitmap(&src, &out, Filter, Sender, OnProgress);
    else VLStretchHalftone(&src, &out);
    // Each scaled colour goes back into the picture's format and palette.
    TBitmap res;
    res.SetPixelFormat(pf);
    res.SetSize(int(nw), int(nh));
    res.SetPalette(Bitmap->Palette());
    const int bits = res.BitsPerPixel();
    TRGB last{0, 0, 0};
    uint32_t lastV = PixelValue(&res, last);
    for (int y = 0; y < int(nh); ++y) {
      const uint8_t* s = out.ScanLine(y);
      uint8_t* d = res.ScanLine(y);
      for (int x = 0; x < int(nw); ++x, s += 3) {
        const TRGB c{s[0], s[1], s[2]};
        if (!(c == last)) {
          last = c;
          lastV = PixelValue(&res, c);
        }
        FillRun(d, bits, x, x + 1, lastV);
      }
    }
    VLCopyBitmap(&res, Bitmap);
    return;
  }
  VLCopyBitmap(&out, Bitmap);
}

void VLRotate90CW(TBitmap* Source, TBitmap* Dest) {
  if (!Is24(Source) || !Dest || Source == Dest) return;
  Turn(Source, Dest, true);
}

void VLRotate90CCW(TBitmap* Source, TBitmap* Dest) {
  if (!Is24(Source) || !Dest || Source == Dest) return;
  Turn(Source, Dest, false);
}

void VLRotateBitmap(TBitmap* Bitmap, int Angle, bool AntiAlias, TColor Background, const TProgressEvent& OnProgress,
                    TObject* Sender) {
  if (!Bitmap || Bitmap->Empty()) return;
  if (Is24(Bitmap)) Rotate24(Bitmap, Angle, AntiAlias, Background, OnProgress, Sender);
  else if (Is1(Bitmap)) VLRotate1Bit(Bitmap, Background != 0 ? 1 : 0, OnProgress, Sender, Angle);
}

void VLRotate1Bit(TBitmap* Bitmap, int BackgroundBit, const TProgressEvent& OnProgress, TObject* Sender, int Angle) {
  if (!Is1(Bitmap) || Bitmap->Empty()) return;
  const long double b = -(long double)Angle * std::numbers::pi_v<long double> / 180;
  const long double co = Trunc(std::cos(b) * 10000) / 10000.0L;
  const long double si = Trunc(std::sin(b) * 10000) / 10000.0L;
  const int64_t W = Bitmap->Width(), H = Bitmap->Height();
  const int64_t nw = Trunc(std::fabs(W * co) + std::fabs(H * si));
  const int64_t nh = Trunc(std::fabs(W * si) + std::fabs(H * co));
  if (nw < 1 || nh < 1 || nw > INT32_MAX || nh > INT32_MAX) return;
  TBitmap out;
  out.SetPixelFormat(pf1bit);
  out.SetSize(int(nw), int(nh));
  const long double cx = W / 2.0L - 0.5L, cy = H / 2.0L - 0.5L;
  const long double ox = nw / 2.0L - 0.5L, oy = nh / 2.0L - 0.5L;
  for (int64_t y = 0; y < nh; ++y) {
    uint8_t* d = out.ScanLine(int(y));
    const long double dy = y - oy;
    for (int64_t x = 0; x < nw; ++x) {
      const long double dx = x - ox;
      const int64_t sx = Trunc(cx + co * dx + si * dy);
      const int64_t sy = Trunc(cy - si * dx + co * dy);
      int bit = BackgroundBit;
      if (sx >= 0 && sx < W && sy >= 0 && sy < H) bit = VLGetBit(Bitmap->ScanLine(int(sy)), sx);
      VLSetBit(d, x, bit);
    }
    if (OnProgress) OnProgress(Sender, int(y * 100 / nh));
  }
  VLCopyBitmap(&out, Bitmap);
}

void VLFlip(TBitmap* Bitmap, int Direction) {
  if (!Bitmap || Bitmap->Empty()) return;
  const int w = Bitmap->Width(), h = Bitmap->Height();
  const int64_t rb = Bitmap->RowBytes();
  if (Direction == 1) {
    std::vector<uint8_t> t(static_cast<size_t>(rb));
    for (int y = 0; y < h / 2; ++y) {
      uint8_t* a = Bitmap->ScanLine(y);
      uint8_t* b = Bitmap->ScanLine(h - 1 - y);
      std::memcpy(t.data(), a, size_t(rb));
      std::memcpy(a, b, size_t(rb));
      std::memcpy(b, t.data(), size_t(rb));
    }
    return;
  }
  if (Direction != 0) return;
  if (Is24(Bitmap)) {
    // The row loop for this processor, chosen on first use.
    static const TFlipRow FlipRow = VLPickVariant<TFlipRow>(plain::FlipRow, cfAVX2, VL_X86_ONLY(avx2::FlipRow));
    for (int y = 0; y < h; ++y) {
      uint8_t* row = Bitmap->ScanLine(y);
      FlipRow(row, w);
      std::memset(row + int64_t(w) * 3, 0, size_t(rb - int64_t(w) * 3));
    }
  } else if (Is1(Bitmap)) {
    // Reverse the bytes and their bits, then shift the row left over the padding bits.
    std::vector<uint8_t> t(size_t(rb) + 1);
    const int64_t pad = rb * 8 - w;
    const int64_t byteShift = pad / 8;
    const int bitShift = int(pad % 8);
    for (int y = 0; y < h; ++y) {
      uint8_t* row = Bitmap->ScanLine(y);
      for (int64_t i = 0; i < rb; ++i) t[size_t(i)] = ReverseBits8(row[rb - 1 - i]);
      t[size_t(rb)] = 0;
      for (int64_t i = 0; i < rb; ++i) {
        const int64_t s = i + byteShift;
        uint8_t v = 0;
        if (s < rb) v = uint8_t((t[size_t(s)] << bitShift) | (bitShift ? t[size_t(s) + 1] >> (8 - bitShift) : 0));
        row[i] = v;
      }
      // Bits past the width are cleared.
      const int rem = w % 8;
      if (rem) row[w / 8] &= uint8_t(0xFF00 >> rem);
      for (int64_t i = (w + 7) / 8; i < rb; ++i) row[i] = 0;
    }
  }
}
