// Packed DIBs: the layout we write, every depth and YUV layout we read, other programs'
// reading of the same bytes, and blocks that lie about what they hold.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bmp/bmp_support.h"
#include "platform/core/library.h"
#include "support/memcap.h"
#include "vistrel/proc/kernels/packeddib.h"
#include "vistrel/proc/kernels/pixels.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Put16(Bytes& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void Put32(Bytes& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}
void Set32(Bytes& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

// A 40-byte header.
Bytes Header(int32_t w, int32_t h, int bits, uint32_t compression, uint32_t clrUsed = 0) {
  Bytes v;
  Put32(v, 40);
  Put32(v, uint32_t(w));
  Put32(v, uint32_t(h));
  Put16(v, 1);
  Put16(v, uint32_t(bits));
  Put32(v, compression);
  for (int i = 0; i < 3; ++i) Put32(v, 0);
  Put32(v, clrUsed);
  Put32(v, 0);
  return v;
}

uint32_t FourCC(const char* s) { return U32(reinterpret_cast<const uint8_t*>(s)); }

int Read(const Bytes& dib, TBitmap& b) {
  return VLPackedDIBToBitmap(dib.data(), &b, nullptr, true, int64_t(dib.size()));
}

TRGB Pixel(TBitmap& b, int x, int y) {
  const uint8_t* p = b.ScanLine(y) + 3 * x;
  return TRGB{p[0], p[1], p[2]};
}

std::string Str(TRGB c) {
  return "(" + std::to_string(c.R) + "," + std::to_string(c.G) + "," + std::to_string(c.B) + ")";
}

void Pattern24(TBitmap& b, int w, int h) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(10 * x + y), p[1] = uint8_t(100 + x), p[2] = uint8_t(200 + 7 * y);
    }
}

}  // namespace

TEST(PackedDibWriter, LayoutOfTrueColourAndOneBitPictures) {
  TBitmap b;
  Pattern24(b, 3, 2);
  const Bytes d = VLPackedDIBBytes(&b, 0, 0, 2, 1);
  ASSERT_EQ(d.size(), 68u);  // 40 + 2 rows of 12 + 4 zero bytes
  EXPECT_EQ(U32(&d[0]), 40u);
  EXPECT_EQ(U32(&d[4]), 3u);
  EXPECT_EQ(U32(&d[8]), 2u);
  EXPECT_EQ(d[12] | d[13] << 8, 1);
  EXPECT_EQ(d[14] | d[15] << 8, 24);
  for (int i = 16; i < 40; ++i) EXPECT_EQ(d[i], 0) << i;
  // Bottom row first, each padded with zeros to 12 bytes, then 4 zeros.
  EXPECT_EQ(std::memcmp(&d[40], b.ScanLine(1), 9), 0);
  EXPECT_EQ(std::memcmp(&d[52], b.ScanLine(0), 9), 0);
  for (int i : {49, 50, 51, 61, 62, 63, 64, 65, 66, 67}) EXPECT_EQ(d[i], 0) << i;
  // The handle form holds the same bytes; 0 as right or bottom edge means the last one.
  HGLOBAL h = VLBitmapToPackedDIB(&b, 0, 0, 0, 0);
  ASSERT_NE(h, nullptr);
  ASSERT_GE(GlobalSize(h), 68);
  EXPECT_EQ(std::memcmp(GlobalLock(h), d.data(), 68), 0);
  GlobalUnlock(h);
  TBitmap back;
  ASSERT_EQ(VLPackedDIBToBitmap(h, &back, nullptr, false), 24);
  GlobalFree(h);
  EXPECT_TRUE(VLSameBitmap(&back, &b));
  h = VLBitmapToPackedDIB(&b, 1, 0, 0, 0);
  EXPECT_EQ(U32(static_cast<uint8_t*>(GlobalLock(h)) + 4), 2u);
  GlobalFree(h);
  EXPECT_TRUE(VLPackedDIBBytes(&b, 3, 0, 5, 1).empty());

  // 1 bit: a 10-pixel run from column 3 starts each row at bit 7 of byte 0.
  TBitmap m;
  m.SetPixelFormat(pf1bit);
  m.SetSize(16, 2);
  m.ScanLine(0)[0] = 0x1B, m.ScanLine(0)[1] = 0xA5;  // 0001 1011 1010 0101
  m.ScanLine(1)[0] = 0xF0, m.ScanLine(1)[1] = 0x0F;
  const Bytes e = VLPackedDIBBytes(&m, 3, 0, 12, 1);
  ASSERT_EQ(e.size(), 40u + 8 + 2 * 4 + 4);
  EXPECT_EQ(U32(&e[4]), 10u);
  EXPECT_EQ(e[14], 1);
  const uint8_t table[8] = {0, 0, 0, 0, 255, 255, 255, 255};
  EXPECT_EQ(std::memcmp(&e[40], table, 8), 0);
  // Row 1 (bits 3..12 of F0 0F: 1 0000 0000 1) then row 0 (bits 3..12 of 1B A5: 1 1011 1010 0).
  const uint8_t rows[8] = {0x80, 0x40, 0, 0, 0xDD, 0x00, 0, 0};
  EXPECT_EQ(std::memcmp(&e[48], rows, 8), 0);
  TBitmap mb;
  ASSERT_EQ(Read(e, mb), 1);
  EXPECT_EQ(mb.PixelFormat(), pf1bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(!VLGetBit(mb.ScanLine(y), x), !VLGetBit(m.ScanLine(y), x + 3)) << x;
}

TEST(PackedDibReader, DepthsBitFieldsAndRowOrder) {
  TBitmap b;
  // RGB565 through its masks: 2 x 2, bottom-up.
  Bytes d = Header(2, 2, 16, 3);
  for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(d, m);
  const uint16_t px[4] = {0xF800, 0x07E0, 0x001F, 0x8C51};  // bottom row, then top row
  for (uint16_t p : px) Put16(d, p);
  ASSERT_EQ(Read(d, b), 16);
  auto from565 = [](uint16_t p) {
    return TRGB{uint8_t((p & 31) << 3), uint8_t(((p >> 5) & 63) << 2), uint8_t((p >> 11) << 3)};
  };
  EXPECT_EQ(Pixel(b, 0, 1), from565(px[0]));
  EXPECT_EQ(Pixel(b, 1, 1), from565(px[1]));
  EXPECT_EQ(Pixel(b, 0, 0), from565(px[2]));
  EXPECT_EQ(Pixel(b, 1, 0), from565(px[3]));
  // A header that carries its masks itself (52 bytes): none follow it.
  d = Header(1, 1, 16, 3);
  Set32(d, 0, 52);
  for (uint32_t m : {0x7C00u, 0x03E0u, 0x001Fu}) Put32(d, m);
  Put32(d, 0x7C00);
  ASSERT_EQ(Read(d, b), 16);
  EXPECT_EQ(Pixel(b, 0, 0), (TRGB{0, 0, 248}));

  // Top-down 24 bits: data row 0 is the top row.
  d = Header(1, -2, 24, 0);
  for (uint8_t v : {1, 2, 3, 0, 4, 5, 6, 0}) d.push_back(v);
  ASSERT_EQ(Read(d, b), 24);
  EXPECT_EQ(Pixel(b, 0, 0), (TRGB{1, 2, 3}));
  EXPECT_EQ(Pixel(b, 0, 1), (TRGB{4, 5, 6}));

  // 8 bits with biClrUsed 0: 256 table entries, the pixels 1024 bytes after the table.
  d = Header(1, 1, 8, 0);
  for (int i = 0; i < 256; ++i) Put32(d, uint32_t(i) * 0x010203u & 0xFFFFFF);
  for (uint8_t v : {200, 9, 9, 9}) d.push_back(v);
  ASSERT_EQ(Read(d, b), 8);
  const uint32_t e = 200u * 0x010203u;
  EXPECT_EQ(Pixel(b, 0, 0), (TRGB{uint8_t(e), uint8_t(e >> 8), uint8_t(e >> 16)}));
}

TEST(PackedDibReader, YCbCrConversion) {
  TRGB t;
  VLYCbCrToRGB(16, 128, 128, t);
  EXPECT_EQ(t, (TRGB{0, 0, 0}));
  VLYCbCrToRGB(235, 128, 128, t);  // 219 x 1.164 = 254.9
  EXPECT_EQ(t, (TRGB{255, 255, 255}));
  // Worked by hand: y = 65 x 1.164 = 75.66; blue 75.66 - 76.684, green 75.66 - 91.056 + 14.858,
  // red 75.66 + 178.752.
  VLYCbCrToRGB(81, 90, 240, t);
  EXPECT_EQ(t, (TRGB{0, 0, 254}));
  // y = 150.156; blue 150.156 - 149.332 = 0.824; green 255.512 clamps; red 0.132.
  VLYCbCrToRGB(145, 54, 34, t);
  EXPECT_EQ(t, (TRGB{1, 255, 0}));
}

TEST(PackedDibReader, YCbCrConversionMatchesTheRealFormulaOnEveryInput) {
  // The conversion worked in extended reals, one pixel at a time, as it was first written.
  auto reference = [](int Y, int Cb, int Cr) {
    const long double y = (Y - 16) * 1.164L;
    return TRGB{VLByteClamp(int(Round(y + (Cb - 128) * 2.018L))),
                VLByteClamp(int(Round(y - (Cr - 128) * 0.813L - (Cb - 128) * 0.391L))),
                VLByteClamp(int(Round(y + (Cr - 128) * 1.596L)))};
  };
  int64_t wrong = 0;
  for (int Y = 0; Y < 256; ++Y)
    for (int Cb = 0; Cb < 256; ++Cb)
      for (int Cr = 0; Cr < 256; ++Cr) {
        TRGB got;
        VLYCbCrToRGB(Y, Cb, Cr, got);
        const TRGB want = reference(Y, Cb, Cr);
        if (got != want && ++wrong <= 3)
          ADD_FAILURE() << "Y " << Y << ", Cb " << Cb << ", Cr " << Cr << ": " << Str(got) << " not " << Str(want);
      }
  EXPECT_EQ(wrong, 0);
}

namespace {

// What the frame's pixel at (x, data row r) is meant to decode from.
struct TSample {
  int Y, Cb, Cr;
};
int LumaAt(int x, int r) { return 16 + (x * 37 + r * 11) % 220; }
int CbAt(int block, int r) { return 16 + (block * 53 + r * 29) % 225; }
int CrAt(int block, int r) { return 16 + (block * 71 + r * 13) % 225; }

struct TYuvCase {
  const char* Code;
  int Width, Height;
  bool BottomFirst;  // rows run bottom row first for a positive height
  std::function<Bytes(int w, int h)> Frame;
  std::function<TSample(int x, int r)> Sample;
};

// Groups of a packed layout, built by Put(group index, row, out).
Bytes Packed(int w, int h, int pixelsPerGroup, const std::function<void(int, int, Bytes&)>& put) {
  Bytes f;
  for (int r = 0; r < h; ++r)
    for (int g = 0; g * pixelsPerGroup < w; ++g) put(g, r, f);
  return f;
}

// Luma, then the two chroma planes (Cb first unless crFirst), chroma ceil(w / sub) x ceil(h / sub).
Bytes Planar(int w, int h, int sub, bool crFirst) {
  Bytes f;
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) f.push_back(uint8_t(LumaAt(x, r)));
  const int cw = (w + sub - 1) / sub, ch = (h + sub - 1) / sub;
  for (int plane = 0; plane < 2; ++plane)
    for (int cy = 0; cy < ch; ++cy)
      for (int cx = 0; cx < cw; ++cx) f.push_back(uint8_t((plane == 0) != crFirst ? CbAt(cx, cy) : CrAt(cx, cy)));
  return f;
}

std::vector<TYuvCase> YuvCases() {
  auto Y = [](int x, int r) { return uint8_t(LumaAt(x, r)); };
  auto Cb = [](int g, int r) { return uint8_t(CbAt(g, r)); };
  auto Cr = [](int g, int r) { return uint8_t(CrAt(g, r)); };
  auto blockOf = [](int n) {
    return [n](int x, int r) { return TSample{LumaAt(x, r), CbAt(x / n, r), CrAt(x / n, r)}; };
  };
  auto planarOf = [](int sub) {
    return [sub](int x, int r) { return TSample{LumaAt(x, r), CbAt(x / sub, r / sub), CrAt(x / sub, r / sub)}; };
  };
  auto yuy2 = [=](int w, int h) {
    return Packed(w, h, 2, [=](int g, int r, Bytes& f) {
      f.insert(f.end(), {Y(2 * g, r), Cb(g, r), Y(2 * g + 1, r), Cr(g, r)});
    });
  };
  auto uyvy = [=](int w, int h) {
    return Packed(w, h, 2, [=](int g, int r, Bytes& f) {
      f.insert(f.end(), {Cb(g, r), Y(2 * g, r), Cr(g, r), Y(2 * g + 1, r)});
    });
  };
  // CLJR: 5-bit luma and 6-bit chroma, widened to 8 bits.
  auto y5 = [](int x, int r) { return (x * 7 + r * 3) % 32; };
  auto c6 = [](int g, int r, int k) { return (g * 5 + r * 3 + k * 17) % 64; };
  std::vector<TYuvCase> cases = {
      {"I420", 7, 5, false, [](int w, int h) { return Planar(w, h, 2, false); }, planarOf(2)},
      {"IYUV", 7, 5, false, [](int w, int h) { return Planar(w, h, 2, false); }, planarOf(2)},
      {"YV12", 7, 5, false, [](int w, int h) { return Planar(w, h, 2, true); }, planarOf(2)},
      {"YVU9", 9, 6, false, [](int w, int h) { return Planar(w, h, 4, true); }, planarOf(4)},
      {"IYU1", 9, 3, false,
       [=](int w, int h) {
         return Packed(w, h, 4, [=](int g, int r, Bytes& f) {
           f.insert(f.end(), {Cb(g, r), Y(4 * g, r), Y(4 * g + 1, r), Cr(g, r), Y(4 * g + 2, r), Y(4 * g + 3, r)});
         });
       },
       blockOf(4)},
      {"IYU2", 9, 3, false,
       [=](int w, int h) {
         return Packed(w, h, 1, [=](int g, int r, Bytes& f) { f.insert(f.end(), {Cb(g, r), Y(g, r), Cr(g, r)}); });
       },
       blockOf(1)},
      {"YUY2", 9, 3, false, yuy2, blockOf(2)},
      {"YUNV", 9, 3, false, yuy2, blockOf(2)},
      {"YVYU", 9, 3, false,
       [=](int w, int h) {
         return Packed(w, h, 2, [=](int g, int r, Bytes& f) {
           f.insert(f.end(), {Y(2 * g, r), Cr(g, r), Y(2 * g + 1, r), Cb(g, r)});
         });
       },
       blockOf(2)},
      {"UYVY", 9, 3, false, uyvy, blockOf(2)},
      {"UYNV", 9, 3, false, uyvy, blockOf(2)},
      {"cyuv", 9, 3, true, uyvy, blockOf(2)},
      {"Y211", 9, 3, false,
       [=](int w, int h) {
         return Packed(w, h, 4, [=](int g, int r, Bytes& f) {
           f.insert(f.end(), {Y(4 * g, r), Cb(g, r), Y(4 * g + 2, r), Cr(g, r)});
         });
       },
       [](int x, int r) {
         return TSample{LumaAt(x & ~1, r), CbAt(x / 4, r), CrAt(x / 4, r)};
       }},
      {"Y41P", 9, 3, true,
       [=](int w, int h) {
         return Packed(w, h, 8, [=](int g, int r, Bytes& f) {
           const int x = 8 * g;
           f.insert(f.end(), {Cb(2 * g, r), Y(x, r), Cr(2 * g, r), Y(x + 1, r), Cb(2 * g + 1, r), Y(x + 2, r),
                              Cr(2 * g + 1, r), Y(x + 3, r), Y(x + 4, r), Y(x + 5, r), Y(x + 6, r), Y(x + 7, r)});
         });
       },
       blockOf(4)},
      {"CLJR", 9, 3, false,
       [=](int w, int h) {
         return Packed(w, h, 4, [=](int g, int r, Bytes& f) {
           uint32_t word = uint32_t(c6(g, r, 1)) | uint32_t(c6(g, r, 0)) << 6;
           for (int k = 0; k < 4; ++k) word |= uint32_t(y5(4 * g + k, r)) << (12 + 5 * k);
           Put32(f, word);
         });
       },
       [=](int x, int r) {
         const int v = y5(x, r);
         return TSample{(v << 3) | (v >> 2), c6(x / 4, r, 0) << 2, c6(x / 4, r, 1) << 2};
       }},
  };
  return cases;
}

}  // namespace

TEST(PackedDibReader, EveryYuvLayoutInBothRowOrders) {
  for (const TYuvCase& c : YuvCases()) {
    for (int sign : {1, -1}) {
      SCOPED_TRACE(std::string(c.Code) + (sign > 0 ? " positive height" : " negative height"));
      const Bytes frame = c.Frame(c.Width, c.Height);
      Bytes d = Header(c.Width, sign * c.Height, 16, FourCC(c.Code));
      d.insert(d.end(), frame.begin(), frame.end());
      TBitmap b;
      ASSERT_GT(Read(d, b), 0);
      ASSERT_EQ(b.Width(), c.Width);
      ASSERT_EQ(b.Height(), c.Height);
      EXPECT_EQ(b.PixelFormat(), pf24bit);
      const bool bottomFirst = (sign > 0) == c.BottomFirst;
      int wrong = 0;
      for (int r = 0; r < c.Height; ++r)
        for (int x = 0; x < c.Width; ++x) {
          const TSample s = c.Sample(x, r);
          TRGB want;
          VLYCbCrToRGB(s.Y, s.Cb, s.Cr, want);
          const TRGB got = Pixel(b, x, bottomFirst ? c.Height - 1 - r : r);
          if (got != want && ++wrong <= 3)
            ADD_FAILURE() << "pixel " << x << ", data row " << r << ": " << Str(got) << " not " << Str(want);
        }
      // One byte short of the frame is refused.
      d.pop_back();
      EXPECT_EQ(Read(d, b), 0);
    }
  }
}

namespace {

// A bitmap whose state a refused read must leave alone.
struct TSentinel {
  TBitmap B;
  TSentinel() { Pattern24(B, 2, 2); }
  bool Untouched() {
    TBitmap want;
    Pattern24(want, 2, 2);
    return B.PixelFormat() == pf24bit && VLSameBitmap(&B, &want);
  }
};

}  // namespace

TEST(PackedDibReader, TruncatedAndLyingBlocksLeaveTheBitmapAlone) {
  // Exactly sized DIBs: every shorter block is refused.
  std::vector<Bytes> valid;
  {
    Bytes d = Header(3, 2, 24, 0);
    d.resize(d.size() + 24, 7);
    valid.push_back(d);
    d = Header(5, 2, 4, 0, 3);
    d.resize(d.size() + 12 + 8, 1);
    valid.push_back(d);
    d = Header(2, -2, 16, 3);
    for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(d, m);
    d.resize(d.size() + 8, 0x55);
    valid.push_back(d);
    d = Header(7, 5, 12, FourCC("I420"));
    d.resize(d.size() + 35 + 2 * 12, 128);
    valid.push_back(d);
    d = Header(9, 1, 12, FourCC("Y41P"));
    d.resize(d.size() + 24, 128);
    valid.push_back(d);
  }
  for (const Bytes& d : valid) {
    TBitmap ok;
    ASSERT_GT(Read(d, ok), 0);
    for (size_t n = 0; n < d.size(); ++n) {
      TSentinel s;
      const Bytes cut(d.begin(), d.begin() + long(n));
      ASSERT_EQ(VLPackedDIBToBitmap(cut.data(), &s.B, nullptr, true, int64_t(n)), 0) << n;
      ASSERT_TRUE(s.Untouched()) << n;
    }
  }

  // Headers that lie about the block.
  const Bytes base = valid[0];
  struct TLie {
    const char* What;
    size_t At;
    uint32_t Value;
  };
  const TLie lies[] = {{"header size 0", 0, 0},
                       {"header size 39", 0, 39},
                       {"header past the end", 0, 73},
                       {"header size huge", 0, 0xFFFFFFF0},
                       {"width 0", 4, 0},
                       {"negative width", 4, uint32_t(-3)},
                       {"huge width", 4, 0x7FFFFFFF},
                       {"height 0", 8, 0},
                       {"most negative height", 8, 0x80000000},
                       {"huge height", 8, 0x7FFFFFFF},
                       {"huge top-down height", 8, uint32_t(-0x7FFFFFFF)},
                       {"two bits", 14, 2},
                       {"64 bits", 14, 64},
                       {"run-length coding", 16, 1},
                       {"unknown coding", 16, 0x12345678},
                       {"colour table past the end", 32, 0x40000000},
                       {"bit fields on 24 bits", 16, 3}};
  for (const TLie& l : lies) {
    Bytes d = base;
    if (l.At == 14) {
      d[14] = uint8_t(l.Value), d[15] = uint8_t(l.Value >> 8);
    } else {
      Set32(d, l.At, l.Value);
    }
    TSentinel s;
    EXPECT_EQ(Read(d, s.B), 0) << l.What;
    EXPECT_TRUE(s.Untouched()) << l.What;
  }
  // A colour count beyond what the depth can index; masks cut off by the block's end.
  Bytes d = valid[1];
  Set32(d, 32, 17);
  TSentinel s;
  EXPECT_EQ(Read(d, s.B), 0);
  d = Header(1, 1, 16, 3);
  Put32(d, 0xF800);
  EXPECT_EQ(Read(d, s.B), 0);
  EXPECT_TRUE(s.Untouched());

  // A picture over the bitmap limit is refused before anything is allocated.
  const int64_t limit = TBitmap::MaxBytes();
  TBitmap::SetMaxBytes(16);
  EXPECT_EQ(Read(base, s.B), 0);
  TBitmap::SetMaxBytes(limit);
  EXPECT_TRUE(s.Untouched());
  // Huge sizes over a small block stay small.
  const vltest::TCapped run = vltest::RunCapped(64, [] {
    for (uint32_t code : {0u, FourCC("I420"), FourCC("YUY2"), FourCC("CLJR")}) {
      Bytes d = Header(0x7FFFFFFF, -0x7FFFFFFF, 24, code);
      d.resize(4096, 0xFF);
      TBitmap b;
      if (Read(d, b) != 0) _exit(1);
    }
  });
  EXPECT_TRUE(run.Finished);
}

namespace {

// A BMP file of a packed DIB: the 14-byte file header, then the DIB; the pixels start after
// the header, its masks and its colour table.
Bytes WithFileHeader(const Bytes& dib, uint32_t pixelOffset) {
  Bytes f = {'B', 'M'};
  Put32(f, uint32_t(14 + dib.size()));
  Put32(f, 0);
  Put32(f, 14 + pixelOffset);
  f.insert(f.end(), dib.begin(), dib.end());
  return f;
}

}  // namespace

TEST(PackedDibReader, OtherProgramsReadTheSameDibs) {
  const char* convert = "/usr/bin/convert";
  if (access(convert, X_OK) != 0) GTEST_SKIP() << "no ImageMagick";
  char dir[] = "/tmp/vldibXXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  uint32_t seed = 99;
  auto rnd = [&seed] { return uint8_t((seed = seed * 1103515245u + 12345u) >> 16); };
  auto rows = [&](Bytes& d, int w, int h, int bits) {
    const int64_t n = VLRowLength(w, bits) * h;
    for (int64_t i = 0; i < n; ++i) d.push_back(rnd());
  };
  struct TCase {
    std::string Name;
    Bytes Dib;
    uint32_t PixelOffset;
    std::array<int, 3> Precision;  // bits of red, green and blue the format carries
  };
  std::vector<TCase> cases;
  const int w = 13, h = 5;
  {
    // Ours, at one bit and 24 bits.
    TBitmap t;
    Pattern24(t, w, h);
    cases.push_back({"ours24", VLPackedDIBBytes(&t, 0, 0, w - 1, h - 1), 40, {8, 8, 8}});
    TBitmap m;
    m.SetPixelFormat(pf1bit);
    m.SetSize(w, h);
    for (int y = 0; y < h; ++y) m.ScanLine(y)[0] = rnd(), m.ScanLine(y)[1] = rnd();
    cases.push_back({"ours1", VLPackedDIBBytes(&m, 0, 0, w - 1, h - 1), 48, {8, 8, 8}});
  }
  for (int bits : {4, 8}) {
    Bytes d = Header(w, h, bits, 0);
    for (int i = 0; i < (1 << bits); ++i) d.insert(d.end(), {rnd(), rnd(), rnd(), 0});
    const uint32_t off = uint32_t(d.size());
    rows(d, w, h, bits);
    cases.push_back({"pal" + std::to_string(bits), d, off, {8, 8, 8}});
  }
  {
    Bytes d = Header(w, -h, 24, 0);  // top-down
    rows(d, w, h, 24);
    cases.push_back({"topdown24", d, 40, {8, 8, 8}});
    d = Header(w, h, 16, 0);
    rows(d, w, h, 16);
    cases.push_back({"rgb555", d, 40, {5, 5, 5}});
    d = Header(w, h, 16, 3);
    for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(d, m);
    rows(d, w, h, 16);
    cases.push_back({"rgb565", d, 52, {5, 6, 5}});
    d = Header(w, h, 32, 0);
    rows(d, w, h, 32);
    cases.push_back({"rgb32", d, 40, {8, 8, 8}});
    d = Header(w, h, 32, 3);
    for (uint32_t m : {0x0000FF00u, 0x00FF0000u, 0xFF000000u}) Put32(d, m);  // blue-green-red-x
    rows(d, w, h, 32);
    cases.push_back({"bgrx32", d, 52, {8, 8, 8}});
  }
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string base = std::string(dir) + "/" + c.Name;
    const Bytes file = WithFileHeader(c.Dib, c.PixelOffset);
    std::ofstream(base + ".bmp", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    const std::string cmd = std::string(convert) + " " + base + ".bmp -depth 8 ppm:" + base + ".ppm 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const TRefImage theirs = LoadPNM(base + ".ppm");
    ASSERT_TRUE(theirs.Ok());
    TBitmap b;
    ASSERT_GT(Read(c.Dib, b), 0);
    ASSERT_EQ(theirs.Width, b.Width());
    ASSERT_EQ(theirs.Height, b.Height());
    TIOParamsVals none(nullptr);
    const TRefImage ours = Render(b, none);
    // Fewer than 8 bits: ours keeps them in the high bits, others scale them to 0..255.
    int wrong = 0;
    for (size_t i = 0; i < ours.RGB.size(); ++i) {
      const int drop = 8 - c.Precision[i % 3];
      if (ours.RGB[i] != ((theirs.RGB[i] >> drop) << drop) && ++wrong <= 3)
        ADD_FAILURE() << "byte " << i << ": " << int(ours.RGB[i]) << " not " << int(theirs.RGB[i]);
    }
  }
  std::system((std::string("rm -rf ") + dir).c_str());
}

// The suite's bit-field pictures without their file header, the pixels both where the header
// says and where a packed DIB puts them (after the header, its masks and its colour table).
TEST(PackedDibReader, SuiteBitFieldPicturesReadToTheirReferences) {
  const std::string suite = std::string(VL_TESTDATA) + "/bmpsuite/";
  const std::pair<const char*, const char*> files[] = {
      {"g/rgb16.bmp", "rgb16.png"},         {"g/rgb16bfdef.bmp", "rgb16.png"},
      {"g/rgb16-565.bmp", "rgb16-565.png"}, {"g/rgb16-565pal.bmp", "rgb16-565.png"},
      {"g/rgb32.bmp", "rgb24.png"},         {"g/rgb32bf.bmp", "rgb24.png"},
      {"g/rgb32bfdef.bmp", "rgb24.png"},    {"q/rgb16-231.bmp", "rgb16-231.png"}};
  for (const auto& [file, ref] : files) {
    SCOPED_TRACE(file);
    const Bytes bytes = ReadFileBytes(suite + file);
    ASSERT_FALSE(bytes.empty());
    const TRefImage want = LoadPNG(suite + "reference/" + ref);
    ASSERT_TRUE(want.Ok());
    const Bytes dib(bytes.begin() + 14, bytes.end());
    const uint32_t offset = U32(&bytes[10]) - 14, headerSize = U32(&dib[0]), bits = dib[14];
    const bool fields = U32(&dib[16]) == 3;
    // Channel widths, for comparing fields narrower than 8 bits.
    uint32_t masks[3] = {bits == 16 ? 0x7C00u : 0xFF0000u, bits == 16 ? 0x03E0u : 0xFF00u, bits == 16 ? 0x1Fu : 0xFFu};
    if (fields)
      for (int i = 0; i < 3; ++i) masks[i] = U32(&dib[(headerSize >= 52 ? 40 : headerSize) + 4 * size_t(i)]);
    for (bool apart : {true, false}) {
      TBitmap b;
      const int got =
          apart ? VLPackedDIBToBitmap(dib.data(), &b, dib.data() + offset, true, offset, int64_t(dib.size() - offset))
                : Read(dib, b);
      ASSERT_EQ(got, int(bits));
      TIOParamsVals none(nullptr);
      const TRefImage ours = Render(b, none);
      ASSERT_EQ(ours.Width, want.Width);
      int wrong = 0;
      for (size_t i = 0; i < ours.RGB.size(); ++i) {
        const int drop = 8 - std::min(8, VLBitMaskWidth(masks[i % 3]));
        if (ours.RGB[i] != ((want.RGB[i] >> drop) << drop) && ++wrong <= 3)
          ADD_FAILURE() << (apart ? "apart" : "packed") << " byte " << i << ": " << int(ours.RGB[i]) << " not "
                        << int(want.RGB[i]);
      }
    }
  }
}
