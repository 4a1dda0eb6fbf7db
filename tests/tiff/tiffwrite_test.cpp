// TIFF writer: files read back by our reader, by libtiff's tools and by Pillow; inserted pages.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tiff/tiff_support.h"
#include "vistrel/codecs/tiff.h"

using namespace tifftest;

namespace {

void MakeColour(TBitmap& b, int w, int h) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      // Runs of equal pixels for PackBits, and noise.
      bool flat = (x / 9 + y) % 3 == 0;
      p[3 * x] = uint8_t(flat ? 40 : x * 13 + y);
      p[3 * x + 1] = uint8_t(flat ? 200 : x * y);
      p[3 * x + 2] = uint8_t(flat ? 7 : 255 - x * 3);
    }
  }
}

void MakeBilevel(TBitmap& b, int w, int h) {
  b.SetPixelFormat(pf1bit);
  b.SetSize(w, h);
  std::mt19937 rng(uint32_t(w * 31 + h));
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.ScanLine(y);
    int colour = y % 2;  // every other row starts black (bit 0)
    for (int x = 0; x < w;) {
      int run = 1 + int(rng() % (y % 4 == 0 ? 3 : 40));
      for (int k = x; k < std::min(w, x + run); ++k) {
        if (colour) p[k >> 3] |= uint8_t(0x80 >> (k & 7));
        else p[k >> 3] &= uint8_t(~(0x80 >> (k & 7)));
      }
      x += run;
      colour ^= 1;
    }
  }
}

struct TWritten {
  std::vector<uint8_t> Bytes;
  int Result = 0;
  bool Abort = false;
  std::string Reason;
};

TWritten Write(TBitmap& b, TIOParamsVals& params, bool insert = false, const std::vector<uint8_t>& into = {}) {
  TMemoryStream ms;
  if (!into.empty()) {
    ms.WriteBuffer(into.data(), int64_t(into.size()));
    ms.SetPosition(0);
  }
  TWritten w;
  TFilterProgress progress;
  progress.AbortFlag = &w.Abort;
  w.Result = WriteTIFFStream(&ms, insert, &b, params, progress);
  w.Reason = progress.AbortReason;
  const uint8_t* p = static_cast<const uint8_t*>(ms.Memory());
  w.Bytes.assign(p, p + ms.Size());
  return w;
}

bool ReadBack(const std::vector<uint8_t>& bytes, TBitmap& out, TIOParamsVals& params, int index, int* count = nullptr) {
  TReadOnlyMemoryStream ms(bytes.data(), int64_t(bytes.size()));
  bool abort = false;
  TFilterProgress progress;
  progress.AbortFlag = &abort;
  int n;
  params.TIFFImageIndex = index;
  params.TIFFLZWDecompress = TestLZWDecode;
  ReadTIFFStream(&out, &ms, n, params, progress, false);
  if (count) *count = n;
  return !abort;
}

int64_t Differences(TBitmap& a, TBitmap& b, int tolerance) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return -1;
  int64_t n = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      uint8_t r1, g1, b1, r2, g2, b2;
      BitmapRgb(&a, x, y, r1, g1, b1);
      BitmapRgb(&b, x, y, r2, g2, b2);
      if (std::abs(r1 - r2) > tolerance || std::abs(g1 - g2) > tolerance || std::abs(b1 - b2) > tolerance) ++n;
    }
  return n;
}

struct TCase {
  const char* Name;
  bool OneBit;
  uint8_t Compression;
  uint8_t Photometric;
  int Tolerance;
};
const TCase kCases[] = {
    {"bw_none", true, 0, 1, 0},     {"bw_mh", true, 1, 1, 0},      {"bw_g3", true, 2, 0, 0},
    {"bw_g3_2d", true, 3, 1, 0},    {"bw_g4", true, 4, 1, 0},      {"bw_lzw", true, 5, 1, 0},
    {"bw_packbits", true, 8, 1, 0}, {"rgb_none", false, 0, 2, 0},  {"rgb_packbits", false, 8, 2, 0},
    {"rgb_lzw", false, 5, 2, 0},    {"cmyk_none", false, 0, 5, 2}, {"cmyk_packbits", false, 8, 5, 2},
    {"cmyk_lzw", false, 5, 5, 2},
};

void Prepare(const TCase& c, TBitmap& b, TIOParamsVals& params, int w, int h) {
  if (c.OneBit) MakeBilevel(b, w, h);
  else MakeColour(b, w, h);
  params.BitsPerSample = c.OneBit ? 1 : 8;
  params.SamplesPerPixel = c.OneBit ? 1 : 3;
  params.TIFFCompression = c.Compression;
  params.TIFFPhotometric = c.Photometric;
  params.TIFFLZWCompress = TestLZWEncode;
  params.DpiX = 300, params.DpiY = 200;
}

}  // namespace

TEST(TIFFWrite, EveryLayoutReadsBackToThePixelsWritten) {
  for (const TCase& c : kCases)
    for (int w : {1, 13, 203}) {
      TBitmap b, back;
      TIOParamsVals params(nullptr), rp(nullptr);
      Prepare(c, b, params, w, 19);
      TWritten out = Write(b, params);
      ASSERT_EQ(out.Result, 1) << c.Name << " " << out.Reason;
      ASSERT_TRUE(ReadBack(out.Bytes, back, rp, 0)) << c.Name << " width " << w;
      EXPECT_EQ(back.PixelFormat(), c.OneBit ? pf1bit : pf24bit) << c.Name;
      EXPECT_EQ(Differences(b, back, c.Tolerance), 0) << c.Name << " width " << w;
      EXPECT_EQ(rp.DpiX, 300);
      EXPECT_EQ(rp.DpiY, 200);
      // The IFD is even and the header points at it.
      uint32_t ifd;
      std::memcpy(&ifd, out.Bytes.data() + 4, 4);
      EXPECT_EQ(ifd % 2, 0u);
      EXPECT_EQ(out.Bytes[0], 'I');
    }
}

TEST(TIFFWrite, SettingsThatFallBack) {
  // A 24-bit bitmap with Group 4 asked: uncompressed RGB.
  TBitmap b, back;
  MakeColour(b, 10, 4);
  TIOParamsVals p(nullptr), rp(nullptr);
  p.TIFFCompression = 4;
  auto out = Write(b, p);
  ASSERT_TRUE(ReadBack(out.Bytes, back, rp, 0));
  EXPECT_EQ(rp.TIFFCompression, 0);
  EXPECT_EQ(rp.TIFFPhotometric, 2);
  EXPECT_EQ(rp.TIFFPageNumber, 0);
  // A 1-bit bitmap with RGB asked: BlackIsZero, 1 bit.
  TBitmap m;
  MakeBilevel(m, 9, 3);
  TIOParamsVals q(nullptr), rq(nullptr);
  q.BitsPerSample = 1, q.SamplesPerPixel = 1, q.TIFFPhotometric = 2;
  q.TIFFPageNumber = 2, q.TIFFPageCount = 5;
  q.TIFFDocumentName = "Doc", q.TIFFPageName = "A page name";
  out = Write(m, q);
  ASSERT_TRUE(ReadBack(out.Bytes, back, rq, 0));
  EXPECT_EQ(rq.TIFFPhotometric, 1);
  EXPECT_EQ(rq.BitsPerSample, 1);
  EXPECT_EQ(rq.TIFFPageNumber, 2);
  EXPECT_EQ(rq.TIFFPageCount, 5);
  EXPECT_EQ(rq.TIFFDocumentName, "Doc");
  EXPECT_EQ(rq.TIFFPageName, "A page name");
  EXPECT_EQ(Differences(m, back, 0), 0);
  // LZW asked without a coder: uncompressed.
  TIOParamsVals n(nullptr), rn(nullptr);
  n.TIFFCompression = 5;
  out = Write(b, n);
  ASSERT_TRUE(ReadBack(out.Bytes, back, rn, 0));
  EXPECT_EQ(rn.TIFFCompression, 0);
  // A two-colour 24-bit bitmap written as 1 bit keeps its pixels.
  TBitmap two;
  two.SetPixelFormat(pf24bit);
  two.SetSize(20, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 20; ++x) std::memset(two.ScanLine(y) + 3 * x, (x + y) % 3 ? 255 : 0, 3);
  TIOParamsVals t(nullptr), rt(nullptr);
  t.BitsPerSample = 1, t.SamplesPerPixel = 1, t.TIFFCompression = 4;
  out = Write(two, t);
  ASSERT_TRUE(ReadBack(out.Bytes, back, rt, 0));
  EXPECT_EQ(Differences(two, back, 0), 0);
}

TEST(TIFFWrite, InsertedPages) {
  TBitmap a, b, c, d, back;
  MakeColour(a, 11, 5);
  MakeBilevel(b, 17, 6);
  MakeColour(c, 3, 2);
  MakeBilevel(d, 33, 4);
  TIOParamsVals pa(nullptr), pb(nullptr), rp(nullptr);
  pb.BitsPerSample = 1, pb.SamplesPerPixel = 1, pb.TIFFCompression = 4;
  auto file = Write(a, pa).Bytes;  // [a]
  pb.TIFFImageIndex = 5;           // past the end: appended
  auto w = Write(b, pb, true, file);
  ASSERT_EQ(w.Result, 2) << w.Reason;
  file = w.Bytes;  // [a, b]
  pa.TIFFImageIndex = 0;
  w = Write(c, pa, true, file);
  ASSERT_EQ(w.Result, 3);
  file = w.Bytes;  // [c, a, b]
  pb.TIFFImageIndex = 2;
  w = Write(d, pb, true, file);
  ASSERT_EQ(w.Result, 4);
  file = w.Bytes;  // [c, a, d, b]
  TBitmap* order[] = {&c, &a, &d, &b};
  for (int i = 0; i < 4; ++i) {
    int count = 0;
    ASSERT_TRUE(ReadBack(file, back, rp, i, &count)) << i;
    EXPECT_EQ(count, 4);
    EXPECT_EQ(Differences(*order[i], back, 0), 0) << "page " << i;
  }
  // Only little-endian files take pages.
  std::vector<uint8_t> be = {'M', 'M', 0, 42, 0, 0, 0, 0};
  w = Write(a, pa, true, be);
  EXPECT_EQ(w.Result, 0);
  EXPECT_TRUE(w.Abort);
  EXPECT_EQ(w.Bytes, be);
  // A chain that loops is refused, not walked for ever.
  auto looped = file;
  uint32_t first;
  std::memcpy(&first, looped.data() + 4, 4);
  uint16_t n;
  std::memcpy(&n, looped.data() + first, 2);
  std::memcpy(looped.data() + first + 2 + 12 * n, &first, 4);
  w = Write(a, pa, true, looped);
  EXPECT_EQ(w.Result, 0);
  EXPECT_TRUE(w.Abort);
}

TEST(TIFFWrite, AbortDuringPixelsLeavesHeaderZero) {
  TBitmap b;
  MakeColour(b, 30, 30);
  TIOParamsVals p(nullptr);
  TMemoryStream ms;
  bool abort = false;
  TFilterProgress progress;
  progress.AbortFlag = &abort;
  std::vector<int> seen;
  progress.OnProgress = [&](TObject*, int percent) {
    seen.push_back(percent);
    if (percent >= 50) abort = true;
  };
  EXPECT_EQ(WriteTIFFStream(&ms, false, &b, p, progress), 0);
  const uint8_t* m = static_cast<const uint8_t*>(ms.Memory());
  for (int i = 0; i < 8; ++i) EXPECT_EQ(m[i], 0);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen.back(), 50);
}

TEST(TIFFWrite, PackBitsCodes) {
  TMemoryStream ms;
  uint8_t d[] = {1, 2, 2, 2, 2, 2, 3, 4, 4};
  TIFFPackBitsEncode(d, 9, &ms);
  std::vector<uint8_t> expect = {0, 1, uint8_t(-4), 2, 2, 3, 4, 4};
  const uint8_t* p = static_cast<const uint8_t*>(ms.Memory());
  EXPECT_EQ(std::vector<uint8_t>(p, p + ms.Size()), expect);
  // Long literal stretches are cut at 128 bytes; long runs at 128.
  std::vector<uint8_t> lit(300), run(300, 9);
  for (size_t i = 0; i < lit.size(); ++i) lit[i] = uint8_t(i * 7 + (i & 1));
  TMemoryStream a, b;
  TIFFPackBitsEncode(lit.data(), 300, &a);
  TIFFPackBitsEncode(run.data(), 300, &b);
  EXPECT_EQ(a.Size(), 300 + 3);
  EXPECT_EQ(static_cast<const uint8_t*>(a.Memory())[0], 127);
  EXPECT_EQ(b.Size(), 6);
  EXPECT_EQ(static_cast<const uint8_t*>(b.Memory())[0], uint8_t(-127));
}

// ---- files read by libtiff's tools and Pillow ----

TEST(TIFFWrite, ToolsReadOurFiles) {
  if (!HaveTool("tiffinfo") || !HaveTool("tiffcp") || !HaveTool("tifftopnm")) GTEST_SKIP() << "libtiff tools missing";
  const bool pillow = RunTool("/usr/bin/python3 -c 'import PIL'");
  const std::string dir = TempDir();
  for (const TCase& c : kCases)
    for (int w : {1, 203}) {
      TBitmap b;
      TIOParamsVals params(nullptr);
      Prepare(c, b, params, w, 21);
      TWritten out = Write(b, params);
      ASSERT_EQ(out.Result, 1);
      std::string f = dir + "/" + c.Name + ".tif";
      WriteFileBytes(f, out.Bytes);
      std::string log;
      ASSERT_TRUE(RunTool("tiffinfo -D " + f + " >/dev/null", &log)) << c.Name;
      EXPECT_EQ(log, "") << c.Name << " width " << w;
      ASSERT_TRUE(RunTool("tiffcp -c none " + f + " " + dir + "/plain.tif", &log)) << log;
      EXPECT_EQ(log, "") << c.Name;
      // Pixels through the tools (CMYK bytes are checked through Pillow below).
      bool cmyk = c.Photometric == 5 && !c.OneBit;
      if (!cmyk) {
        ASSERT_TRUE(RunTool("tifftopnm " + dir + "/plain.tif > " + dir + "/plain.pnm 2>/dev/null"));
        TPnm pnm = LoadPnm(dir + "/plain.pnm");
        EXPECT_EQ(CountDiff(&b, pnm, 0), 0) << c.Name << " width " << w;
      }
      if (!pillow) continue;
      std::string dump = dir + "/pil.raw";
      ASSERT_TRUE(RunTool("/usr/bin/python3 -c \"from PIL import Image; im = Image.open('" + f +
                              "'); im.load(); open('" + dump +
                              "', 'wb').write(im.mode.encode() + b'\\n' + "
                              "(im.tobytes() if im.mode == 'CMYK' else im.convert('RGB').tobytes()))\"",
                          &log))
          << c.Name << " " << log;
      auto raw = ReadFileBytes(dump);
      size_t nl = std::find(raw.begin(), raw.end(), '\n') - raw.begin();
      std::string mode(raw.begin(), raw.begin() + std::ptrdiff_t(nl));
      const uint8_t* px = raw.data() + nl + 1;
      size_t step = cmyk ? 4 : 3;
      ASSERT_EQ(raw.size() - nl - 1, size_t(w) * 21 * step) << c.Name << " mode " << mode;
      int64_t bad = 0;
      for (int y = 0; y < 21; ++y)
        for (int x = 0; x < w; ++x, px += step) {
          uint8_t r, g, bl;
          BitmapRgb(&b, x, y, r, g, bl);
          if (cmyk) {
            uint8_t e[4];
            TIFFRgbToCmyk(r, g, bl, e);
            bad += std::memcmp(e, px, 4) != 0;
          } else {
            bad += px[0] != r || px[1] != g || px[2] != bl;
          }
        }
      EXPECT_EQ(bad, 0) << c.Name << " width " << w << " through Pillow";
    }
  // Inserted pages: the tools see every page.
  TBitmap a, m;
  MakeColour(a, 12, 7);
  MakeBilevel(m, 40, 9);
  TIOParamsVals pa(nullptr), pm(nullptr);
  pm.BitsPerSample = 1, pm.SamplesPerPixel = 1, pm.TIFFCompression = 4;
  auto file = Write(a, pa).Bytes;
  pm.TIFFImageIndex = 0;
  file = Write(m, pm, true, file).Bytes;
  pa.TIFFImageIndex = 9;
  file = Write(a, pa, true, file).Bytes;
  std::string f = dir + "/pages.tif";
  WriteFileBytes(f, file);
  std::string log;
  ASSERT_TRUE(RunTool("tiffinfo " + f + " | grep -c 'TIFF Directory'", &log));
  EXPECT_EQ(log, "3\n");
  ASSERT_TRUE(
      RunTool("tiffcp -c none " + f + ",0 " + dir + "/p0.tif && tifftopnm " + dir + "/p0.tif > " + dir + "/p0.pnm"));
  EXPECT_EQ(CountDiff(&m, LoadPnm(dir + "/p0.pnm"), 0), 0);
}

TEST(TIFFWrite, ColourPageEntriesAndCmykBytes) {
  // Two pixels, black and pure red, written as uncompressed CMYK.
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(2, 1);
  uint8_t* p = b.ScanLine(0);
  const uint8_t px[6] = {0, 0, 0, 0, 0, 255};  // blue, green, red
  std::memcpy(p, px, 6);
  TIOParamsVals params(nullptr);
  params.TIFFPhotometric = 5;
  auto out = Write(b, params);
  ASSERT_EQ(out.Result, 1) << out.Reason;
  const auto& f = out.Bytes;
  auto get16 = [&](size_t o) { return uint32_t(f[o] | f[o + 1] << 8); };
  auto get32 = [&](size_t o) { return get16(o) | get16(o + 2) << 16; };
  const uint32_t ifd = get32(4);
  const uint32_t n = get16(ifd);
  uint32_t strip = 0, bpsType = 0, bpsCount = 0, bpsAt = 0, prev = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const size_t e = ifd + 2 + 12 * i;
    const uint32_t tag = get16(e);
    EXPECT_GT(tag, prev);
    prev = tag;
    if (tag == 258) bpsType = get16(e + 2), bpsCount = get32(e + 4), bpsAt = get32(e + 8);
    if (tag == 273) strip = get32(e + 8);
  }
  // BitsPerSample: a LONG array 8, 8, 8, 8 at an offset.
  EXPECT_EQ(bpsType, 4u);
  ASSERT_EQ(bpsCount, 4u);
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(get32(bpsAt + 4 * i), 8u);
  // Black: the maximum taken as 1, so K = 254; red: no cyan, full magenta and yellow.
  ASSERT_GT(strip, 0u);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + strip, f.begin() + strip + 8),
            (std::vector<uint8_t>{255, 255, 255, 254, 0, 255, 255, 0}));
  uint8_t c[4];
  TIFFRgbToCmyk(100, 50, 0, c);
  EXPECT_EQ(std::vector<uint8_t>(c, c + 4), (std::vector<uint8_t>{0, 128, 255, 155}));
}

TEST(TIFFWrite, ProgressHandlerExceptionsPassOn) {
  // The handler's exception is not taken for bad data: it leaves the reader and the writer,
  // and the handler is the caller's again afterwards.
  TBitmap b;
  MakeColour(b, 6, 4);
  TIOParamsVals p(nullptr);
  TMemoryStream ms;
  bool abort = false;
  TFilterProgress progress;
  progress.AbortFlag = &abort;
  int calls = 0;
  progress.OnProgress = [&](TObject*, int percent) {
    ++calls;
    if (percent >= 50) throw EAbort("stop");
  };
  EXPECT_THROW(WriteTIFFStream(&ms, false, &b, p, progress), EAbort);
  EXPECT_FALSE(abort);
  EXPECT_EQ(calls, 3);
  auto file = Write(b, p).Bytes;
  TReadOnlyMemoryStream rs(file.data(), int64_t(file.size()));
  TBitmap back;
  int count = 0;
  calls = 0;
  EXPECT_THROW(ReadTIFFStream(&back, &rs, count, p, progress, false), EAbort);
  EXPECT_FALSE(abort);
  EXPECT_EQ(calls, 2);
  ASSERT_TRUE(progress.OnProgress);
  progress.OnProgress(nullptr, 0);
  EXPECT_EQ(calls, 3);
}
