#include <cstring>

#include "support.h"
#include "support/hostile.h"
#include "vistrel/codecs/pcx.h"

using namespace pcxgif;

namespace {

struct TReadResult {
  bool Abort = false;
  std::string Reason;
};

TReadResult ReadBytes(const std::vector<uint8_t>& d, TBitmap& b, TIOParamsVals& p, int64_t dataSize = -1) {
  TTestProgress pr;
  TReadOnlyMemoryStream s(d.data(), int64_t(d.size()));
  ReadPCXStream(&s, &b, p, dataSize < 0 ? int64_t(d.size()) : dataSize, pr.P, false);
  return {pr.Abort, pr.P.AbortReason};
}

std::vector<uint8_t> Header(int bits, int planes, int w, int h, int bpl, int encoding = 1) {
  std::vector<uint8_t> d(128, 0);
  d[0] = 10;
  d[1] = 5;
  d[2] = uint8_t(encoding);
  d[3] = uint8_t(bits);
  d[8] = uint8_t(w - 1);
  d[9] = uint8_t((w - 1) >> 8);
  d[10] = uint8_t(h - 1);
  d[11] = uint8_t((h - 1) >> 8);
  d[12] = 72;
  d[14] = 72;
  d[65] = uint8_t(planes);
  d[66] = uint8_t(bpl);
  d[67] = uint8_t(bpl >> 8);
  return d;
}

std::vector<uint8_t> WriteBytes(TBitmap& b, int bitsPerSample, int samples, bool compressed, bool* aborted = nullptr) {
  TIOParamsVals p(nullptr);
  p.BitsPerSample = bitsPerSample;
  p.SamplesPerPixel = samples;
  p.PCXCompression = compressed;
  p.DpiX = 150;
  p.DpiY = 75;
  TTestProgress pr;
  TMemoryStream m;
  WritePCXStream(&m, &b, p, pr.P);
  if (aborted) *aborted = pr.Abort;
  return Bytes(m);
}

}  // namespace

TEST(PCX, ReadsFilesOfOtherTools) {
  struct {
    const char* Name;
    int Bits, Samples, MapCount;
    TPixelFormat Format;
  } cases[] = {
      {"nb_24", 8, 3, 256, pf24bit},      {"nb_256", 8, 1, 256, pf24bit}, {"nb_16planar", 4, 1, 16, pf24bit},
      {"nb_16packed", 4, 1, 16, pf24bit}, {"nb_bw", 1, 1, 2, pf1bit},     {"im_24", 8, 3, 256, pf24bit},
      {"im_8", 8, 1, 256, pf24bit},       {"im_bw", 8, 3, 256, pf24bit},  {"pil_rgb", 8, 3, 256, pf24bit},
      {"pil_p", 8, 1, 256, pf24bit},      {"pil_l", 8, 1, 256, pf24bit},  {"pil_1", 1, 1, 2, pf1bit},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TPpm ref = ReadPpm(Data(std::string(c.Name) + ".ppm"));
    ASSERT_TRUE(ref.Ok());
    TBitmap b;
    TIOParamsVals p(nullptr);
    TTestProgress pr;
    ReadPCXFile(Data(std::string(c.Name) + ".pcx"), &b, p, pr.P);
    ASSERT_FALSE(pr.Abort) << pr.P.AbortReason;
    EXPECT_EQ(b.PixelFormat(), c.Format);
    EXPECT_EQ(p.BitsPerSample, c.Bits);
    EXPECT_EQ(p.SamplesPerPixel, c.Samples);
    EXPECT_EQ(p.ColorMapCount, c.MapCount);
    EXPECT_EQ(p.Width, 37);
    EXPECT_EQ(p.Height, 23);
    EXPECT_EQ(Differences(&b, ref), 0);
  }
}

TEST(PCX, RunsCrossLineAndPlaneBoundaries) {
  // 3 x 2, three planes of 4 bytes a line. One run of 6 covers the end of the red line and
  // the start of the green; another the end of the first row and the start of the second.
  std::vector<uint8_t> d = Header(8, 3, 3, 2, 4);
  const uint8_t body[] = {10,       20,  0xC6, 30,  // red 10 20 30 30 | green 30 30 30 30
                          0xC2,     40,  0xC4, 50,  // blue 40 40 50 50 (pad) | row 2 red 50 50
                          0xC0 | 2, 60,             // red 60 60 (pad)
                          1,        2,   3,    4,   // green
                          0xC4,     0xC5};          // blue 0xC5 x 4
  d.insert(d.end(), body, body + sizeof body);
  TBitmap b;
  TIOParamsVals p(nullptr);
  ASSERT_FALSE(ReadBytes(d, b, p).Abort);
  const uint8_t want[2][3][3] = {{{10, 30, 40}, {20, 30, 40}, {30, 30, 50}},
                                 {{50, 1, 0xC5}, {50, 2, 0xC5}, {60, 3, 0xC5}}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      uint8_t c[3];
      PixelRgb(&b, x, y, c);
      EXPECT_EQ(0, std::memcmp(c, want[y][x], 3)) << x << "," << y;
    }
}

TEST(PCX, WritesEveryDepthAndReadsItBack) {
  for (int width : {1, 7, 8, 37, 321}) {
    for (bool compressed : {true, false}) {
      SCOPED_TRACE(testing::Message() << "width " << width << (compressed ? " rle" : " raw"));
      TBitmap src;
      Pattern24(src, width, 5);
      // 24 bits: exact.
      std::vector<uint8_t> f = WriteBytes(src, 8, 3, compressed);
      EXPECT_EQ(f[68], 0);  // palette info 0
      EXPECT_EQ(f[65], 3);
      const int bpl = f[66] | (f[67] << 8);
      EXPECT_EQ(bpl, width + (width & 1));
      TBitmap back;
      TIOParamsVals p(nullptr);
      ASSERT_FALSE(ReadBytes(f, back, p).Abort);
      EXPECT_EQ(Differences(&back, &src), 0);
      EXPECT_EQ(p.DpiX, 150);
      EXPECT_EQ(p.DpiY, 75);
      EXPECT_EQ(p.PCXCompression, compressed);
      // 8 and 4 bits: indices into the written palette, every colour close to the source.
      for (int bits : {8, 4}) {
        f = WriteBytes(src, bits, 1, compressed);
        EXPECT_EQ(f[3], bits);
        EXPECT_EQ(f[66] | (f[67] << 8), bits == 8 ? width + (width & 1) : ((width + 1) / 2 + 1) / 2 * 2);
        if (bits == 8) {
          ASSERT_GE(f.size(), 769u);
          EXPECT_EQ(f[f.size() - 769], 12);  // the palette marker other readers want
        }
        TBitmap q;
        TIOParamsVals pq(nullptr);
        ASSERT_FALSE(ReadBytes(f, q, pq).Abort);
        ASSERT_EQ(q.Width(), width);
        EXPECT_EQ(pq.BitsPerSample, bits);
      }
      // 1 bit: black and white palette in the header, and the bits as dithered.
      f = WriteBytes(src, 1, 1, compressed);
      EXPECT_EQ(f[3], 1);
      EXPECT_EQ(f[16] | f[17] | f[18], 0);
      EXPECT_EQ(f[19] & f[20] & f[21], 255);
      TBitmap q;
      TIOParamsVals pq(nullptr);
      ASSERT_FALSE(ReadBytes(f, q, pq).Abort);
      EXPECT_EQ(q.PixelFormat(), pf1bit);
      ASSERT_EQ(pq.ColorMapCount, 2);
      EXPECT_EQ(pq.ColorMap[1], (TRGB{255, 255, 255}));
    }
  }
}

TEST(PCX, EncodesLinesAsOthersExpect) {
  uint8_t out[300];
  const uint8_t odd[] = {1, 1, 1, 0xC1, 5};
  ASSERT_EQ(PCXEncodeLine(out, odd, 5, 1, 0), 6);
  const uint8_t want[] = {0xC3, 1, 0xC1, 0xC1, 5, 0};
  EXPECT_EQ(0, std::memcmp(out, want, 6));
  std::vector<uint8_t> same(100, 7);
  ASSERT_EQ(PCXEncodeLine(out, same.data(), 100, 1, 0), 4);  // 63 + 37
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[2], 0xC0 | 37);
  // Stride and start pick one channel of 3-byte pixels.
  const uint8_t px[] = {1, 2, 3, 1, 2, 3};
  ASSERT_EQ(PCXEncodeLine(out, px, 2, 3, 2), 2);
  EXPECT_EQ(out[0], 0xC2);
  EXPECT_EQ(out[1], 3);
  // A 321-wide 8-bit picture has 322 bytes a line, each encoded line ending in a literal 0.
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(321, 2);
  std::vector<uint8_t> f = WriteBytes(b, 8, 1, true);
  EXPECT_EQ(f[66] | (f[67] << 8), 322);
  const uint8_t v = f[129];  // black's palette index
  const uint8_t line[] = {0xFF, v, 0xFF, v, 0xFF, v, 0xFF, v, 0xFF, v, 0xC0 | 6, v, 0};
  EXPECT_EQ(0, std::memcmp(f.data() + 128, line, sizeof line));
  EXPECT_EQ(f.size(), 128 + 2 * sizeof line + 769);
}

TEST(PCX, OurFilesReadBackInOtherTools) {
  const std::string dir = TempDir();
  TBitmap src;
  Pattern24(src, 37, 23);
  TBitmap bw;
  bw.SetPixelFormat(pf1bit);
  bw.SetSize(37, 23);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x)
      if ((x + y) % 3 == 0) bw.ScanLine(y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
  struct {
    const char* Name;
    TBitmap* Source;
    int Bits, Samples;
    bool Compressed;
  } cases[] = {{"w24", &src, 8, 3, true}, {"w24raw", &src, 8, 3, false}, {"w8", &src, 8, 1, true},
               {"w4", &src, 4, 1, true},  {"w1", &bw, 1, 1, true},       {"w1raw", &bw, 1, 1, false}};
  const bool pillow = HavePillow(), netpbm = HaveTool("/usr/bin/pcxtoppm"), magick = HaveTool("/usr/bin/convert");
  if (!pillow && !netpbm && !magick) GTEST_SKIP() << "no PCX tools";
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = dir + "/" + c.Name + ".pcx";
    WriteAll(file, WriteBytes(*c.Source, c.Bits, c.Samples, c.Compressed));
    TBitmap ours;
    TIOParamsVals p(nullptr);
    TTestProgress pr;
    ReadPCXFile(file, &ours, p, pr.P);
    ASSERT_FALSE(pr.Abort);
    if (c.Samples == 3 || c.Bits == 1) {
      EXPECT_EQ(Differences(&ours, c.Source), 0);
    }
    const std::string ppm = dir + "/" + c.Name + ".ppm";
    if (pillow && c.Compressed && c.Bits != 4) {  // Pillow reads neither raw nor packed 4-bit files
      ASSERT_TRUE(RunTool("/usr/bin/python3 -c \"from PIL import Image; Image.open('" + file +
                          "').convert('RGB').save('" + ppm + "')\""));
      EXPECT_EQ(Differences(&ours, ReadPpm(ppm)), 0) << "Pillow";
    }
    if (netpbm && c.Compressed) {  // so does netpbm
      ASSERT_TRUE(RunTool("/usr/bin/pcxtoppm '" + file + "' > '" + ppm + "'"));
      EXPECT_EQ(Differences(&ours, ReadPpm(ppm)), 0) << "netpbm";
    }
    // ImageMagick shows 1-bit files of every tool (netpbm's too) with black and white exchanged.
    if (magick && c.Bits != 1) {
      ASSERT_TRUE(RunTool("/usr/bin/convert '" + file + "' -type TrueColor -depth 8 'ppm:" + ppm + "'"));
      EXPECT_EQ(Differences(&ours, ReadPpm(ppm)), 0) << "ImageMagick";
    }
  }
}

TEST(PCX, RejectsBadFilesCleanly) {
  const std::vector<uint8_t> good = ReadAll(Data("nb_16planar.pcx"));
  ASSERT_GT(good.size(), 128u);
  // Every truncation: no crash, and short data always ends with the abort flag.
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> d(good.begin(), good.begin() + long(n));
    TBitmap b;
    TIOParamsVals p(nullptr);
    EXPECT_TRUE(ReadBytes(d, b, p).Abort) << n;
  }
  // A data size past the end of the stream is held to the stream.
  {
    TBitmap b;
    TIOParamsVals p(nullptr);
    EXPECT_FALSE(ReadBytes(good, b, p, 1 << 30).Abort);
  }
  auto reject = [](std::vector<uint8_t> d, const char* why) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(2, 3);
    TIOParamsVals p(nullptr);
    TReadResult r = ReadBytes(d, b, p);
    EXPECT_TRUE(r.Abort) << why;
    EXPECT_EQ(b.Width(), 2) << why;  // nothing changed
    return r;
  };
  std::vector<uint8_t> d = good;
  d[0] = 11;
  reject(d, "manufacturer");
  d = good;
  d[2] = 2;
  reject(d, "encoding");
  d = good;
  d[3] = 9;
  reject(d, "depth");
  d = good;
  d[66] = 1;  // bytes per line below the width needs
  d[67] = 0;
  reject(d, "bytes per line");
  d = good;
  d[8] = 0, d[9] = 0, d[4] = 5;  // Xmax < Xmin
  reject(d, "size");
  d = Header(2, 1, 8, 2, 2);  // 2 bits, 1 plane: not decoded
  d.resize(200);
  reject(d, "2 bits");
  // A huge picture is refused before anything is allocated.
  const int64_t keep = TBitmap::MaxBytes();
  TBitmap::SetMaxBytes(1 << 20);
  d = Header(8, 3, 65535, 65535, 65535 + 1);
  d.resize(300);
  reject(d, "too large");
  TBitmap::SetMaxBytes(keep);
}

TEST(PCX, ProgressAndAbort) {
  const std::vector<uint8_t> f = ReadAll(Data("nb_24.pcx"));
  std::vector<int> seen;
  TTestProgress pr;
  pr.P.OnProgress = [&](TObject*, int pc) { seen.push_back(pc); };
  TReadOnlyMemoryStream s(f.data(), int64_t(f.size()));
  TBitmap b;
  TIOParamsVals p(nullptr);
  ReadPCXStream(&s, &b, p, int64_t(f.size()), pr.P, false);
  ASSERT_EQ(seen.size(), 23u);
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen[1], 100 / 23);
  EXPECT_EQ(seen.back(), 22 * 100 / 23);
  // Aborting at the first call leaves the sized bitmap with nothing decoded.
  TTestProgress stop;
  stop.P.OnProgress = [&](TObject*, int) { stop.Abort = true; };
  TReadOnlyMemoryStream s2(f.data(), int64_t(f.size()));
  TBitmap c;
  ReadPCXStream(&s2, &c, p, int64_t(f.size()), stop.P, false);
  EXPECT_EQ(c.Width(), 37);
  EXPECT_EQ(c.Height(), 23);
  EXPECT_EQ(c.ScanLine(0)[0] | c.ScanLine(22)[110], 0);
  // Params only: parameters without touching the bitmap; a 0 resolution is the screen's.
  std::vector<uint8_t> g = f;
  g[12] = g[13] = 0;
  TReadOnlyMemoryStream s3(g.data(), int64_t(g.size()));
  TBitmap untouched;
  TIOParamsVals q(nullptr);
  TTestProgress quiet;
  ReadPCXStream(&s3, &untouched, q, int64_t(g.size()), quiet.P, true);
  EXPECT_FALSE(quiet.Abort);
  EXPECT_TRUE(untouched.Empty());
  EXPECT_EQ(q.Width, 37);
  EXPECT_EQ(q.DpiX, ScreenPixelsPerInch());
  EXPECT_EQ(q.DpiY, ScreenPixelsPerInch());
  // A write stopped by the handler has no palette.
  TBitmap src;
  Pattern24(src, 10, 10);
  TTestProgress wstop;
  wstop.P.OnProgress = [&](TObject*, int pc) {
    if (pc >= 50) wstop.Abort = true;
  };
  TIOParamsVals wp(nullptr);
  wp.SamplesPerPixel = 1;
  TMemoryStream m;
  WritePCXStream(&m, &src, wp, wstop.P);
  EXPECT_TRUE(wstop.Abort);
  EXPECT_LT(m.Size(), 128 + 10 * 12);
}

TEST(PCX, OneBitMapIsTheHeaderPalette) {
  // 10 x 1, 1 bit, raw: the map reports the header's two colours; the rows stay bits.
  std::vector<uint8_t> d = Header(1, 1, 10, 1, 2, 0);
  const uint8_t red[3] = {200, 10, 20}, teal[3] = {0, 90, 100};
  std::memcpy(&d[16], red, 3);
  std::memcpy(&d[19], teal, 3);
  d.push_back(0xA5);
  d.push_back(0xC0);
  TBitmap b;
  TIOParamsVals p(nullptr);
  ASSERT_FALSE(ReadBytes(d, b, p).Abort);
  ASSERT_EQ(p.ColorMapCount, 2);
  EXPECT_EQ(p.ColorMap[0], (TRGB{20, 10, 200}));
  EXPECT_EQ(p.ColorMap[1], (TRGB{100, 90, 0}));
  ASSERT_EQ(b.PixelFormat(), pf1bit);
  EXPECT_EQ(b.ScanLine(0)[0], 0xA5);
  EXPECT_EQ(b.ScanLine(0)[1] & 0xC0, 0xC0);
}

// Tiny files declaring huge pictures, and a small picture in a 3 GB sparse file: refused, or
// read with the right pixels, while memory stays under a cap.
TEST(PCX, HostileFilesStayWithinMemory) {
  auto readBytes = [](std::vector<uint8_t> d) {
    return vltest::RunCappedRead(64, [d = std::move(d)](TFilterProgress& pr) {
      TReadOnlyMemoryStream s(d.data(), int64_t(d.size()));
      TBitmap b;
      TIOParamsVals p(nullptr);
      ReadPCXStream(&s, &b, p, int64_t(d.size()), pr, false);
      return b.Empty();  // refused before the bitmap was touched
    });
  };
  struct {
    int Bits, Planes, W, H, LineBytes, Encoding;
    const char* Reason;
  } huge[] = {
      {8, 3, 65535, 65535, 65535, 1, "image too large"},
      {8, 1, 40000, 30000, 40000, 1, "image too large"},
      {1, 1, 65535, 65535, 8192, 1, "truncated image data"},  // 512 MB: within the limit
      {8, 3, 16000, 16000, 16000, 0, "truncated image data"},
  };
  for (const auto& c : huge) {
    SCOPED_TRACE(c.W);
    std::vector<uint8_t> d = Header(c.Bits, c.Planes, c.W, c.H, c.LineBytes, c.Encoding);
    d.resize(900, 0xC1);
    vltest::TCappedRead r = readBytes(d);
    EXPECT_TRUE(r.Cap.Finished) << "peak " << r.Cap.PeakGrowthKB << " KB";
    EXPECT_TRUE(r.Aborted);
    EXPECT_STREQ(r.Reason, c.Reason);
    EXPECT_TRUE(r.Right);
  }

  // 40 x 30 at 8 bits, coded, its palette in the last 768 bytes of a 3 GB file; and at 24
  // bits, raw, with 65534 bytes a line.
  const int w = 40, h = 30;
  const int64_t size = int64_t(3) << 30;
  for (bool eight : {true, false}) {
    SCOPED_TRACE(eight);
    const int lineBytes = eight ? 40 : 65534;
    std::vector<uint8_t> d = Header(8, eight ? 1 : 3, w, h, lineBytes, eight ? 1 : 0);
    for (int y = 0; y < h; ++y)
      for (int k = 0; k < (eight ? 1 : 3); ++k)
        for (int x = 0; x < lineBytes; ++x) {
          const uint8_t v = uint8_t(x < w ? x * 5 + y + k * 80 : 0);
          if (eight && v >= 0xC0) d.push_back(0xC1);
          d.push_back(v);
        }
    std::vector<uint8_t> pal(768);
    for (int i = 0; i < 256; ++i)
      pal[size_t(i) * 3] = uint8_t(i), pal[size_t(i) * 3 + 1] = uint8_t(255 - i), pal[size_t(i) * 3 + 2] = 9;
    vltest::TSparseFile file(size, {{0, d}, {size - 768, pal}});
    ASSERT_FALSE(file.Path.empty());
    vltest::TCappedRead r = vltest::RunCappedRead(64, [&](TFilterProgress& pr) {
      TBitmap b;
      TIOParamsVals p(nullptr);
      ReadPCXFile(file.Path, &b, p, pr);
      if (b.Width() != w || b.Height() != h) return false;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const uint8_t* px = b.ScanLine(y) + 3 * x;
          const int v = x * 5 + y;
          const uint8_t want[3] = {eight ? uint8_t(9) : uint8_t(v + 160), eight ? uint8_t(255 - v) : uint8_t(v + 80),
                                   uint8_t(v)};
          if (std::memcmp(px, want, 3) != 0) return false;
        }
      return true;
    });
    EXPECT_TRUE(r.Cap.Finished) << "peak " << r.Cap.PeakGrowthKB << " KB";
    EXPECT_FALSE(r.Aborted) << r.Reason;
    EXPECT_TRUE(r.Right);
  }
}
