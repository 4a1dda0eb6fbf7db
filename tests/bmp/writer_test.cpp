// The writer: files read back by this reader and by other programs, header fields, coding.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "bmp/bmp_support.h"
#include "vistrel/proc/kernels/pixels.h"

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}

// 23 x 11 (odd width, padded rows), many colours.
void Picture(TBitmap& b, int w = 23, int h = 11) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(x * 11), p[1] = uint8_t(y * 23), p[2] = uint8_t((x * y * 5) ^ 0x55);
    }
}

// A picture of a few flat colours, with runs and single pixels.
void FewColours(TBitmap& b, int w = 30, int h = 7) {
  static const TRGB pal[6] = {{0, 0, 0}, {255, 255, 255}, {0, 0, 255}, {0, 200, 0}, {180, 0, 0}, {0, 128, 128}};
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TRGB& c = pal[x < 15 ? (x / 4 + y) % 6 : (x * 5 + y) % 6];
      std::memcpy(b.ScanLine(y) + 3 * x, &c, 3);
    }
}

std::vector<uint8_t> Write(TBitmap& b, TIOParamsVals& p, bool* aborted = nullptr, TProgressEvent ev = nullptr) {
  TMemoryStream s;
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  pr.OnProgress = std::move(ev);
  WriteBMPStream(&s, &b, p, pr);
  if (aborted) *aborted = abort;
  else EXPECT_FALSE(abort) << pr.AbortReason;
  auto* m = static_cast<const uint8_t*>(s.Memory());
  return std::vector<uint8_t>(m, m + s.Size());
}

void Set(TIOParamsVals& p, int bps, int spp, int version = 1, bool rle = false) {
  p.BitsPerSample = bps;
  p.SamplesPerPixel = spp;
  p.BMPVersion = uint8_t(version);
  p.BMPCompression = rle;
  p.DpiX = 300;
  p.DpiY = 150;
}

}  // namespace

TEST(BMPWriter, TrueColourRoundTripAndHeaders) {
  TBitmap src;
  Picture(src);
  for (int version : {0, 1, 2, 3}) {
    SCOPED_TRACE(version);
    TIOParamsVals p(nullptr);
    Set(p, 8, 3, version);
    auto f = Write(src, p);
    int hs = version == 2 ? 12 : version == 3 ? 64 : 40;
    EXPECT_EQ(Le32(f, 2), f.size());  // file size field = bytes written
    EXPECT_EQ(Le32(f, 10), uint32_t(14 + hs));
    EXPECT_EQ(Le32(f, 14), uint32_t(hs));
    EXPECT_EQ(f.size(), size_t(14 + hs + 72 * 11));
    if (hs != 12) {
      EXPECT_EQ(Le32(f, 34), 72u * 11);   // image size
      EXPECT_EQ(Le32(f, 38), 11811u);     // 300 dpi
      EXPECT_EQ(Le32(f, 42), 5906u);      // 150 dpi
      EXPECT_EQ(Le32(f, 50), 16777216u);  // colours important
      EXPECT_EQ(f[28], 24);
    } else {
      EXPECT_EQ(f[24], 24);
    }
    TBitmap back;
    TIOParamsVals q(nullptr);
    ASSERT_TRUE(ReadBMPBytes(f, back, q));
    EXPECT_TRUE(VLSameBitmap(&src, &back));
    EXPECT_EQ(q.BMPVersion, version == 0 ? 1 : version);
    if (hs != 12) {
      EXPECT_EQ(q.DpiX, 300);
    }
  }
  // A 1-bit picture asked for at 24 bits is expanded.
  TBitmap mono;
  mono.SetPixelFormat(pf1bit);
  mono.SetSize(10, 2);
  mono.ScanLine(0)[0] = 0x81;
  TIOParamsVals p(nullptr);
  Set(p, 8, 3);
  TBitmap back;
  TIOParamsVals q(nullptr);
  ASSERT_TRUE(ReadBMPBytes(Write(mono, p), back, q));
  ASSERT_EQ(back.PixelFormat(), pf24bit);
  EXPECT_EQ(back.ScanLine(0)[0], 255);
  EXPECT_EQ(back.ScanLine(0)[3], 0);
  EXPECT_EQ(back.ScanLine(1)[0], 0);
}

TEST(BMPWriter, OneBit) {
  // A 1-bit bitmap goes out unchanged with a black, white map.
  TBitmap mono;
  mono.SetPixelFormat(pf1bit);
  mono.SetSize(13, 3);
  for (int y = 0; y < 3; ++y) mono.ScanLine(y)[0] = uint8_t(0x35 + y), mono.ScanLine(y)[1] = 0xA8;
  TIOParamsVals p(nullptr);
  Set(p, 1, 1);
  auto f = Write(mono, p);
  EXPECT_EQ(f[28], 1);
  EXPECT_EQ(Le32(f, 54), 0u);
  EXPECT_EQ(Le32(f, 58), 0xFFFFFFu);
  TBitmap back;
  TIOParamsVals q(nullptr);
  ASSERT_TRUE(ReadBMPBytes(f, back, q));
  ASSERT_EQ(back.PixelFormat(), pf1bit);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(back.ScanLine(y)[0], 0x35 + y);

  // Two colours: the darker first, the map carries them.
  TBitmap two;
  two.SetPixelFormat(pf24bit);
  two.SetSize(9, 2);
  for (int x = 0; x < 9; ++x)
    for (int y = 0; y < 2; ++y) {
      uint8_t* px = two.ScanLine(y) + 3 * x;
      bool a = (x + y) % 3 == 0;
      px[0] = a ? 200 : 10, px[1] = a ? 220 : 20, px[2] = a ? 240 : 30;
    }
  Set(p, 1, 1);
  f = Write(two, p);
  EXPECT_EQ(p.ColorMapCount, 2);
  EXPECT_EQ(p.ColorMap[0], (TRGB{10, 20, 30}));
  ASSERT_TRUE(ReadBMPBytes(f, back, q));
  EXPECT_EQ(Compare(Render(back, q), Render(two, p)), "");

  // Many colours: dithered, black and white.
  TBitmap many;
  Picture(many);
  Set(p, 1, 1, 2);
  f = Write(many, p);
  EXPECT_EQ(Le32(f, 14), 12u);
  EXPECT_EQ(f.size(), size_t(14 + 12 + 6 + 4 * 11));
  ASSERT_TRUE(ReadBMPBytes(f, back, q));
  TBitmap dithered;
  VLCopyBitmap(&many, &dithered);
  VLDitherOrderedTo1Bit(&dithered);
  EXPECT_TRUE(VLSameBitmap(&back, &dithered));
}

TEST(BMPWriter, PaletteDepths) {
  TBitmap src;
  FewColours(src);
  TBitmap plain, packed;
  for (int bits : {4, 8}) {
    SCOPED_TRACE(bits);
    TIOParamsVals p(nullptr);
    Set(p, bits, 1);
    auto f = Write(src, p);
    EXPECT_EQ(f[28], bits);
    EXPECT_EQ(Le32(f, 46), uint32_t(1) << bits);  // colours used
    EXPECT_EQ(Le32(f, 10), uint32_t(54 + 4 * (1 << bits)));
    EXPECT_EQ(p.ColorMapCount, 1 << bits);
    TIOParamsVals q(nullptr);
    ASSERT_TRUE(ReadBMPBytes(f, plain, q));
    // Six flat colours come back near what they were.
    EXPECT_EQ(Compare(Render(plain, q), Render(src, q), 8), "");

    TIOParamsVals pr(nullptr);
    Set(pr, bits, 1, 1, true);
    auto g = Write(src, pr);
    EXPECT_EQ(Le32(g, 30), uint32_t(bits == 8 ? 1 : 2));
    EXPECT_EQ(g[g.size() - 2], 0);  // end of bitmap
    EXPECT_EQ(g[g.size() - 1], 1);
    EXPECT_EQ(Le32(g, 34), g.size() - Le32(g, 10));
    ASSERT_TRUE(ReadBMPBytes(g, packed, q));
    EXPECT_TRUE(q.BMPCompression);
    EXPECT_TRUE(VLSameBitmap(&plain, &packed));
  }
  // The 12-byte header has no compression: rows go out plain, no end-of-bitmap code.
  TIOParamsVals p(nullptr);
  Set(p, 4, 1, 2, true);
  auto f = Write(src, p);
  EXPECT_EQ(f.size(), size_t(14 + 12 + 16 * 3 + 16 * 7));
  TIOParamsVals q(nullptr);
  ASSERT_TRUE(ReadBMPBytes(f, packed, q));
  EXPECT_FALSE(q.BMPCompression);
  // 8 bits per sample with one sample: a 256-entry palette file.
  Set(p, 8, 1);
  f = Write(src, p);
  EXPECT_EQ(f[28], 8);
  EXPECT_EQ(Le32(f, 10), 54u + 1024);
}

TEST(BMPWriter, RowCoding) {
  std::vector<uint8_t> row(300), out(2 * 300 + 8);
  for (int i = 0; i < 300; ++i) row[size_t(i)] = uint8_t(i * 37);  // no two neighbours equal
  int n = BMPEncodeRLE8(row.data(), 300, out.data());
  ASSERT_EQ(n, 2 + 255 + 1 + 2 + 45 + 1 + 2);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 255);
  EXPECT_EQ(out[2 + 255], 0);  // pad to an even count
  EXPECT_EQ(out[258], 0);
  EXPECT_EQ(out[259], 45);
  EXPECT_EQ(out[n - 2], 0);
  EXPECT_EQ(out[n - 1], 0);
  std::fill(row.begin(), row.end(), 9);
  n = BMPEncodeRLE8(row.data(), 300, out.data());
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n), (std::vector<uint8_t>{255, 9, 45, 9, 0, 0}));
  // Short literals: one pixel, two pixels, then a run.
  const uint8_t r1[] = {4, 5, 5, 6, 7, 8, 8};
  n = BMPEncodeRLE8(r1, 7, out.data());
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n),
            (std::vector<uint8_t>{1, 4, 2, 5, 1, 6, 1, 7, 2, 8, 0, 0}));
  n = BMPEncodeRLE4(r1, 7, out.data());
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n),
            (std::vector<uint8_t>{1, 0x40, 2, 0x55, 2, 0x67, 2, 0x88, 0, 0}));
  const uint8_t r2[] = {1, 2, 3, 4, 5};
  n = BMPEncodeRLE4(r2, 5, out.data());
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n),
            (std::vector<uint8_t>{0, 5, 0x12, 0x34, 0x50, 0, 0, 0}));
}

TEST(BMPWriter, AbortLeavesHeadersIncomplete) {
  TBitmap src;
  Picture(src);
  TIOParamsVals p(nullptr);
  Set(p, 8, 3);
  // An abort flag set by the handler stops the writer before the next row.
  TMemoryStream s;
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  pr.OnProgress = [&](TObject*, int pc) {
    if (pc > 20) abort = true;
  };
  WriteBMPStream(&s, &src, p, pr);
  EXPECT_TRUE(abort);
  auto* m = static_cast<const uint8_t*>(s.Memory());
  std::vector<uint8_t> g(m, m + s.Size());
  EXPECT_EQ(Le32(g, 2), 0u);
  EXPECT_EQ(g.size(), size_t(54 + 72 * 3));
  // The handler's own exception reaches the caller.
  TMemoryStream s2;
  abort = false;
  int calls = 0;
  pr.OnProgress = [&](TObject*, int) {
    if (++calls == 3) throw EAbort();
  };
  EXPECT_THROW(WriteBMPStream(&s2, &src, p, pr), EAbort);
  EXPECT_FALSE(abort);
}

// Files written here, read by Pillow and by netpbm, give the colours this reader gives.
TEST(BMPWriter, OtherProgramsReadOurFiles) {
  if (access("/usr/bin/python3", X_OK) != 0 || std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0)
    GTEST_SKIP() << "no Pillow";
  bool netpbm = std::system("command -v bmptopnm >/dev/null 2>&1 && command -v pnmtopng >/dev/null 2>&1") == 0;
  char dir[] = "/tmp/vlbmpXXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  struct TCase {
    const char* Name;
    int Bps, Spp, Version;
    bool Rle;
    bool Few;
  };
  const TCase cases[] = {
      {"w24", 8, 3, 1, false, false},     {"os2_24", 8, 3, 2, false, false}, {"v64_24", 8, 3, 3, false, false},
      {"w1", 1, 1, 1, false, false},      {"os2_1", 1, 1, 2, false, true},   {"w4", 4, 1, 1, false, true},
      {"w8", 8, 1, 1, false, false},      {"rle4", 4, 1, 1, true, true},     {"rle8", 8, 1, 1, true, true},
      {"rle8many", 8, 1, 1, true, false}, {"os2_8", 8, 1, 2, false, true}};
  std::string names;
  for (const auto& c : cases) {
    TBitmap src;
    if (c.Few) FewColours(src);
    else Picture(src);
    TIOParamsVals p(nullptr);
    Set(p, c.Bps, c.Spp, c.Version, c.Rle);
    auto f = Write(src, p);
    std::ofstream(std::string(dir) + "/" + c.Name + ".bmp", std::ios::binary)
        .write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
    names += std::string(" ") + c.Name;
  }
  std::string script = std::string("cd ") + dir +
                       " && /usr/bin/python3 -c \"import sys\nfrom PIL import Image\nfor n in sys.argv[1:]:\n"
                       "    Image.open(n + '.bmp').convert('RGB').save(n + '.pil.png')\"" +
                       names;
  ASSERT_EQ(std::system(script.c_str()), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string base = std::string(dir) + "/" + c.Name;
    TBitmap back;
    TIOParamsVals q(nullptr);
    ASSERT_TRUE(ReadBMPBytes(ReadFileBytes(base + ".bmp"), back, q));
    TRefImage ours = Render(back, q);
    EXPECT_EQ(Compare(ours, LoadPNG(base + ".pil.png")), "") << "Pillow";
    // netpbm refuses every 64-byte header, the suite's own included.
    if (netpbm && c.Version != 3) {
      std::string cmd = "bmptopnm " + base + ".bmp 2>/dev/null | pnmtopng > " + base + ".nb.png 2>/dev/null";
      ASSERT_EQ(std::system(cmd.c_str()), 0);
      EXPECT_EQ(Compare(ours, LoadPNG(base + ".nb.png")), "") << "netpbm";
    }
  }
  std::system((std::string("rm -rf ") + dir).c_str());
}
