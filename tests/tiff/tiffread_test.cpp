// TIFF reader: files made by libtiff's tools, netpbm and ImageMagick, and malformed files.
#include <gtest/gtest.h>

#include <cstring>

#include "tiff/tiff_support.h"
#include "vistrel/codecs/tiff.h"

using namespace tifftest;

namespace {

struct TRead {
  TBitmap Bmp;
  TIOParamsVals Params{nullptr};
  bool Abort = false;
  TFilterProgress Progress;
  int Count = -1;
  TRead() { Progress.AbortFlag = &Abort; }
  void FromBytes(const std::vector<uint8_t>& d, int index = 0, bool paramsOnly = false) {
    TReadOnlyMemoryStream ms(d.data(), int64_t(d.size()));
    Params.TIFFImageIndex = index;
    ReadTIFFStream(&Bmp, &ms, Count, Params, Progress, paramsOnly);
  }
  void FromFixture(const std::string& name, int index = 0) { FromBytes(ReadFileBytes(DataPath(name)), index); }
};

void ExpectPixels(const std::string& tif, const std::string& expected, int tolerance = 0) {
  TRead r;
  r.FromFixture(tif);
  ASSERT_FALSE(r.Abort) << tif << ": " << r.Progress.AbortReason;
  TPnm pnm = LoadPnm(DataPath(expected));
  ASSERT_TRUE(pnm.Valid()) << expected;
  EXPECT_EQ(CountDiff(&r.Bmp, pnm, tolerance), 0) << tif;
}

}  // namespace

TEST(TIFFRead, ColourFilesInEveryLayout) {
  for (const char* f : {"rgb_none_le.tif", "rgb_none_be.tif", "rgb_strips.tif", "rgb_packbits.tif", "rgb_planar.tif"})
    ExpectPixels(f, "rgb.ppm");
  TRead r;
  r.FromFixture("rgb_none_be.tif");
  EXPECT_EQ(r.Bmp.PixelFormat(), pf24bit);
  EXPECT_EQ(r.Params.Width, 61);
  EXPECT_EQ(r.Params.Height, 37);
  EXPECT_EQ(r.Params.SamplesPerPixel, 3);
  EXPECT_EQ(r.Params.BitsPerSample, 8);
  EXPECT_EQ(r.Params.TIFFPhotometric, 2);
  EXPECT_EQ(r.Count, 1);
  TRead p;
  p.FromFixture("rgb_planar.tif");
  EXPECT_EQ(p.Params.TIFFPlanarConfig, 2);
  TRead k;
  k.FromFixture("rgb_packbits.tif");
  EXPECT_EQ(k.Params.TIFFCompression, 8);
}

TEST(TIFFRead, LzwThroughTheHookOnly) {
  // Without a decoder the read fails, also for parameters only.
  TRead none;
  none.FromBytes(ReadFileBytes(DataPath("rgb_lzw.tif")), 0, true);
  EXPECT_TRUE(none.Abort);
  EXPECT_EQ(none.Progress.AbortReason, "LZW Decompressor not found");
  EXPECT_EQ(none.Params.TIFFCompression, 5);
  for (const char* f : {"rgb_lzw.tif", "rgb_lzw_pred_be.tif", "rgb_planar_lzw.tif"}) {
    TRead r;
    r.Params.TIFFLZWDecompress = TestLZWDecode;
    r.FromFixture(f);
    ASSERT_FALSE(r.Abort) << f << ": " << r.Progress.AbortReason;
    EXPECT_EQ(CountDiff(&r.Bmp, LoadPnm(DataPath("rgb.ppm")), 0), 0) << f;
  }
  TRead g;
  g.Params.TIFFLZWDecompress = TestLZWDecode;
  g.FromFixture("gray8_lzw_pred.tif");
  ASSERT_FALSE(g.Abort);
  EXPECT_EQ(CountDiff(&g.Bmp, LoadPnm(DataPath("gray.pgm")), 0), 0);
  TRead b;
  b.Params.TIFFLZWDecompress = TestLZWDecode;
  b.FromFixture("bw_lzw_mw.tif");
  ASSERT_FALSE(b.Abort);
  EXPECT_EQ(CountDiff(&b.Bmp, LoadPnm(DataPath("bw.pbm")), 0), 0);
}

TEST(TIFFRead, BilevelFilesInEveryCoding) {
  const char* files[] = {"bw_none_mw.tif",       "bw_none_mb_be.tif", "bw_packbits_mw.tif",   "bw_g3_1d_mw.tif",
                         "bw_g3_1d_fill_mb.tif", "bw_g3_2d_mw.tif",   "bw_g3_2d_fill_mb.tif", "bw_g4_mw.tif",
                         "bw_g4_mb_be.tif",      "bw_g4_fill2.tif",   "bw_g3_2d_fill2.tif",   "bw_mh.tif"};
  for (const char* f : files) {
    ExpectPixels(f, "bw.pbm");
    TRead r;
    r.FromFixture(f);
    EXPECT_EQ(r.Bmp.PixelFormat(), pf1bit) << f;
  }
  TRead r;
  r.FromFixture("bw_g3_2d_mw.tif");
  EXPECT_EQ(r.Params.TIFFCompression, 3);
  r.FromFixture("bw_g3_1d_mw.tif");
  EXPECT_EQ(r.Params.TIFFCompression, 2);
  r.FromFixture("bw_mh.tif");
  EXPECT_EQ(r.Params.TIFFCompression, 1);
  r.FromFixture("bw_g4_mw.tif");
  EXPECT_EQ(r.Params.TIFFCompression, 4);
  EXPECT_EQ(r.Params.TIFFPhotometric, 0);
}

// FillOrder 2 (lowest bit first) bilevel files made by libtiff's tools read as their FillOrder 1
// twins, uncompressed, PackBits and LZW alike, from memory and from a file.
TEST(TIFFRead, FillOrderTwoReversesTheBitsOfEveryCoding) {
  for (const char* c : {"none", "packbits", "lzw"}) {
    SCOPED_TRACE(c);
    const std::string name = std::string("bw_") + c + "_fill2.tif";
    TRead mem, one;
    mem.Params.TIFFLZWDecompress = one.Params.TIFFLZWDecompress = TestLZWDecode;
    mem.FromFixture(name);
    ASSERT_FALSE(mem.Abort) << mem.Progress.AbortReason;
    one.FromFixture(std::string("bw_") + c + "_mw.tif");
    ASSERT_FALSE(one.Abort);
    ASSERT_EQ(mem.Bmp.PixelFormat(), pf1bit);
    EXPECT_EQ(CountDiff(&mem.Bmp, LoadPnm(DataPath("bw.pbm")), 0), 0);
    for (int y = 0; y < one.Bmp.Height(); ++y)
      ASSERT_EQ(std::memcmp(mem.Bmp.ScanLine(y), one.Bmp.ScanLine(y), size_t(one.Bmp.Width() + 7) / 8), 0) << y;
    TRead file;
    file.Params.TIFFLZWDecompress = TestLZWDecode;
    TFileStream fs(DataPath(name), fmOpenRead);
    ReadTIFFStream(&file.Bmp, &fs, file.Count, file.Params, file.Progress, false);
    ASSERT_FALSE(file.Abort) << file.Progress.AbortReason;
    EXPECT_EQ(CountDiff(&file.Bmp, LoadPnm(DataPath("bw.pbm")), 0), 0);
  }
}

TEST(TIFFRead, GrayPaletteAndCmyk) {
  ExpectPixels("gray8.tif", "gray.pgm");
  ExpectPixels("gray8_mw.tif", "gray.pgm");
  ExpectPixels("pal2.tif", "pal2_expected.ppm");
  ExpectPixels("pal4.tif", "pal4_expected.ppm");
  ExpectPixels("pal8.tif", "pal8_expected.ppm");
  ExpectPixels("pal8_packbits.tif", "pal8_expected.ppm");
  // CMYK: the tools round where the reader truncates.
  ExpectPixels("cmyk.tif", "cmyk_expected.ppm", 2);
  TRead p;
  p.FromFixture("pal4.tif");
  EXPECT_EQ(p.Params.ColorMapCount, 16);
  EXPECT_EQ(p.Params.TIFFPhotometric, 3);
  // 4-bit gray: samples 0..15 read as sample x 16.
  TRead g;
  g.FromFixture("gray4.tif");
  ASSERT_FALSE(g.Abort);
  TPnm e = LoadPnm(DataPath("gray4_expected.pgm"));
  for (int y = 0; y < e.Height; ++y)
    for (int x = 0; x < e.Width; ++x) {
      uint8_t r, gg, b;
      BitmapRgb(&g.Bmp, x, y, r, gg, b);
      ASSERT_EQ(r, e.Pixels[size_t(y) * e.Width + x] / 17 * 16) << x << "," << y;
    }
  // 16-bit gray in both byte orders: the high byte of each sample.
  for (const char* f : {"gray16.tif", "gray16_be.tif"}) {
    TRead s;
    s.FromFixture(f);
    ASSERT_FALSE(s.Abort) << f;
    EXPECT_EQ(CountDiff(&s.Bmp, LoadPnm(DataPath("gray16_expected.pgm")), 1), 0) << f;
    EXPECT_EQ(s.Params.BitsPerSample, 16);
  }
}

TEST(TIFFRead, PagesAndImageCount) {
  auto d = ReadFileBytes(DataPath("multi.tif"));
  for (int i = 0; i < 3; ++i) {
    TRead r;
    r.FromBytes(d, i);
    ASSERT_FALSE(r.Abort) << i;
    EXPECT_EQ(r.Count, 3);
  }
  TRead a, b, c;
  a.FromBytes(d, 0);
  EXPECT_EQ(CountDiff(&a.Bmp, LoadPnm(DataPath("rgb.ppm")), 0), 0);
  b.FromBytes(d, 1);
  EXPECT_EQ(CountDiff(&b.Bmp, LoadPnm(DataPath("bw.pbm")), 0), 0);
  c.FromBytes(d, 2);
  EXPECT_EQ(CountDiff(&c.Bmp, LoadPnm(DataPath("gray.pgm")), 0), 0);
  TRead past;
  past.FromBytes(d, 3);
  EXPECT_TRUE(past.Abort);
  EXPECT_EQ(past.Count, 3);
  TReadOnlyMemoryStream ms(d.data(), int64_t(d.size()));
  EXPECT_EQ(TIFFImageCount(&ms), 3);
}

namespace {

// A little-endian file built by hand: entries given as (tag, type, count, value).
struct TEntrySpec {
  uint16_t Tag, Type;
  uint32_t Count, Value;
};
std::vector<uint8_t> Build(const std::vector<TEntrySpec>& entries, const std::vector<uint8_t>& data,
                           uint32_t extraNext = 0) {
  std::vector<uint8_t> f = {'I', 'I', 42, 0, 0, 0, 0, 0};
  f.insert(f.end(), data.begin(), data.end());
  uint32_t ifd = uint32_t(f.size());
  std::memcpy(&f[4], &ifd, 4);
  auto put16 = [&](uint32_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
  auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
  put16(uint32_t(entries.size()));
  for (auto& e : entries) {
    put16(e.Tag), put16(e.Type), put32(e.Count);
    if (e.Type == 3 && e.Count == 1) put16(e.Value), put16(0);
    else put32(e.Value);
  }
  put32(extraNext);
  return f;
}

}  // namespace

TEST(TIFFRead, ResolutionStripsWithoutCountsAndMalformedFiles) {
  // 4 x 2 gray, no StripByteCounts: the strip runs to the end of the stream. Resolution 118 per
  // centimetre (rational at offset 16) gives 299 DPI.
  std::vector<uint8_t> data = {10, 20, 30, 40, 50, 60, 70, 80, 118, 0, 0, 0, 1, 0, 0, 0};
  std::vector<TEntrySpec> e = {{256, 3, 1, 4}, {257, 3, 1, 2},  {258, 3, 1, 8}, {262, 3, 1, 1},
                               {273, 4, 1, 8}, {282, 5, 1, 16}, {296, 3, 1, 3}};
  auto f = Build(e, data);
  TRead r;
  r.FromBytes(f);
  ASSERT_FALSE(r.Abort) << r.Progress.AbortReason;
  EXPECT_EQ(r.Params.DpiX, 299);
  EXPECT_EQ(r.Bmp.ScanLine(1)[9], 80);
  // 16-bit RGB: five bits a channel, times 8.
  std::vector<uint8_t> rgb16 = {0x00, 0x7C, 0x1F, 0x00, 0xE0, 0x03};
  TRead c;
  c.FromBytes(
      Build({{256, 3, 1, 3}, {257, 3, 1, 1}, {258, 3, 1, 16}, {262, 3, 1, 2}, {273, 4, 1, 8}, {279, 4, 1, 6}}, rgb16));
  ASSERT_FALSE(c.Abort);
  const uint8_t* px = c.Bmp.ScanLine(0);
  EXPECT_EQ(std::vector<uint8_t>(px, px + 9), (std::vector<uint8_t>{0, 0, 248, 248, 0, 0, 0, 248, 0}));
  // Tiled images, zero sizes, disagreeing BitsPerSample, bad byte order: abort flag.
  auto tiled = e;
  tiled.push_back({322, 3, 1, 16});
  TRead t;
  t.FromBytes(Build(tiled, data));
  EXPECT_TRUE(t.Abort);
  auto zero = e;
  zero[0].Value = 0;
  TRead z;
  z.FromBytes(Build(zero, data));
  EXPECT_TRUE(z.Abort);
  auto bps = e;
  bps[2] = {258, 3, 2, 0x00040008};  // 8 and 4 held in the entry
  TRead b;
  b.FromBytes(Build(bps, data));
  EXPECT_TRUE(b.Abort);
  EXPECT_EQ(b.Progress.AbortReason, "Invalid TIFF stream");
  auto bad = f;
  bad[0] = 'X';
  TRead x;
  x.FromBytes(bad);
  EXPECT_TRUE(x.Abort);
  EXPECT_EQ(x.Progress.AbortReason, "unrecognized TIFF");
  // A chain that loops back ends; strips and counts far past the end of the file are refused.
  TRead loop;
  loop.FromBytes(Build(e, data, 8 + 16));
  EXPECT_FALSE(loop.Abort);
  EXPECT_EQ(loop.Count, 1);
  auto far = e;
  far[4].Value = 0x7FFFFFF0;
  TRead fr;
  fr.FromBytes(Build(far, data));
  EXPECT_TRUE(fr.Abort);
  auto many = e;
  many[4] = {273, 4, 0x40000000, 8};
  TRead m;
  m.FromBytes(Build(many, data));
  EXPECT_TRUE(m.Abort);
  // Every truncation of a real file ends cleanly.
  for (const char* name : {"rgb_packbits.tif", "bw_g4_mw.tif", "pal4.tif", "rgb_planar.tif"}) {
    auto full = ReadFileBytes(DataPath(name));
    for (size_t n = 0; n < full.size(); n += 37) {
      TRead cut;
      cut.FromBytes(std::vector<uint8_t>(full.begin(), full.begin() + std::ptrdiff_t(n)));
    }
  }
}

TEST(TIFFRead, CieLabPixelsAndTiledImageSize) {
  // Six 8-bit CIELab pixels (a and b signed; -128 counts as +128), one in the dark branch.
  std::vector<uint8_t> lab = {255, 0, 0, 10, 50, 226, 128, 128, 20, 200, 30, 200, 60, 0, 128, 128, 0, 0};
  TRead r;
  r.FromBytes(Build(
      {{256, 3, 1, 6}, {257, 3, 1, 1}, {258, 3, 1, 8}, {262, 3, 1, 8}, {273, 4, 1, 8}, {277, 3, 1, 3}, {279, 4, 1, 18}},
      lab));
  ASSERT_FALSE(r.Abort) << r.Progress.AbortReason;
  EXPECT_EQ(r.Params.TIFFPhotometric, 7);
  const uint8_t* px = r.Bmp.ScanLine(0);
  // Blue, green, red.
  EXPECT_EQ(std::vector<uint8_t>(px, px + 18),
            (std::vector<uint8_t>{255, 255, 254, 38, 0, 40, 91, 0, 248, 255, 174, 192, 0, 49, 61, 111, 110, 109}));
  uint8_t red, green, blue;
  TIFFLabToRgb(128, 0, 0, red, green, blue);
  EXPECT_EQ(red, 109);
  EXPECT_EQ(green, 110);
  EXPECT_EQ(blue, 111);
  // A tiled image is refused after the bitmap took its size.
  std::vector<uint8_t> data(8, 0x80);
  TRead t;
  t.FromBytes(Build({{256, 3, 1, 4},
                     {257, 3, 1, 2},
                     {258, 3, 1, 8},
                     {262, 3, 1, 1},
                     {273, 4, 1, 8},
                     {322, 3, 1, 16},
                     {323, 3, 1, 16}},
                    data));
  EXPECT_TRUE(t.Abort);
  EXPECT_EQ(t.Bmp.Width(), 4);
  EXPECT_EQ(t.Bmp.Height(), 2);
}

// Strips of files are read a window at a time: the same picture as from memory, also where a
// PackBits row spans more no-op bytes than a window holds, and where the data end early (the
// rows not reached black in a new bitmap).
TEST(TIFFRead, FileReadsMatchMemoryReads) {
  const int w = 300, h = 1000;
  auto gray = [](int x, int y) { return uint8_t((x * 7 + y * 3) ^ (y >> 2)); };
  std::vector<uint8_t> plain, packed;
  for (int y = 0; y < h; ++y) {
    std::vector<uint8_t> row(w);
    for (int x = 0; x < w; ++x) row[size_t(x)] = gray(x, y);
    plain.insert(plain.end(), row.begin(), row.end());
    for (int x = 0; x < w; x += 100) {
      // No-ops, all within the bytes a strip may have: 2 a pixel.
      if (y == 5 && x == 0) packed.insert(packed.end(), 20000, 0x80);
      if (y == 10 && x == 100) packed.insert(packed.end(), 270000, 0x80);
      packed.push_back(99);
      packed.insert(packed.end(), row.begin() + x, row.begin() + x + 100);
    }
  }
  plain.resize(plain.size() * 2 / 3);
  const std::string path = TempDir() + "/vl_windows.tif";
  for (bool pb : {true, false}) {
    const auto& data = pb ? packed : plain;
    auto f = Build({{256, 3, 1, w},
                    {257, 3, 1, h},
                    {258, 3, 1, 8},
                    {259, 3, 1, pb ? 32773u : 1u},
                    {262, 3, 1, 1},
                    {273, 4, 1, 8},
                    {279, 4, 1, pb ? uint32_t(data.size()) : uint32_t(w * h)}},
                   data);
    TRead mem;
    mem.FromBytes(f);
    WriteFileBytes(path, f);
    TRead file;
    {
      TFileStream fs(path, fmOpenRead);
      ReadTIFFStream(&file.Bmp, &fs, file.Count, file.Params, file.Progress, false);
    }
    EXPECT_EQ(file.Abort, mem.Abort) << file.Progress.AbortReason;
    EXPECT_EQ(file.Abort, !pb);
    ASSERT_EQ(file.Bmp.Height(), h);
    ASSERT_EQ(mem.Bmp.ImageSize(), file.Bmp.ImageSize());
    EXPECT_EQ(std::memcmp(mem.Bmp.Bits(), file.Bmp.Bits(), size_t(mem.Bmp.ImageSize())), 0) << pb;
    const int rows = pb ? h : 666;
    int wrong = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) wrong += file.Bmp.ScanLine(y)[3 * x + 1] != (y < rows ? gray(x, y) : 0);
    EXPECT_EQ(wrong, 0) << pb;
  }
  std::remove(path.c_str());
}
