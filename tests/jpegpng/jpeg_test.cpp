#include <cstring>

#include "helpers.h"
#include "vistrel/codecs/jpeg.h"
#include "vistrel/codecs/png.h"

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

namespace {

bool LoadJpeg(const std::vector<uint8_t>& bytes, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly = false,
              std::string* reason = nullptr) {
  TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
  TTestProgress tp;
  LoadJpegFromStream(&s, &bmp, params, paramsOnly, tp.P);
  if (reason) *reason = tp.P.AbortReason;
  return !tp.Abort;
}

std::vector<uint8_t> SaveJpeg(TBitmap& bmp, TIOParamsVals& params) {
  TMemoryStream out;
  TTestProgress tp;
  SaveJpegToStream(&out, &bmp, params, tp.P);
  EXPECT_FALSE(tp.Abort);
  return StreamBytes(out);
}

int MaxDiff(TBitmap& bmp, const TPnm& want) {
  int worst = 0;
  for (int y = 0; y < want.H; ++y)
    for (int x = 0; x < want.W; ++x) {
      const uint8_t* p = bmp.ScanLine(y) + 3 * x;
      const uint8_t* q = want.Pixel(x, y);
      for (int c = 0; c < 3; ++c) {
        int d = std::abs(int(p[2 - c]) - int(q[want.Channels == 3 ? c : 0]));
        if (d > worst) worst = d;
      }
    }
  return worst;
}

// A flat grey JPEG whose Huffman tables hold one code of one bit each (DC difference 0, end
// of block), so every zero byte of scan data codes four blocks. Progressive files get a DC
// scan and then one AC scan per band of the first component; the scan data follows the
// first scan only.
std::vector<uint8_t> FlatJpeg(int w, int h, int comps, bool progressive, int scans, size_t dataBytes) {
  std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
  b.insert(b.end(), 64, 1);
  const uint8_t sof[] = {0xFF,       uint8_t(progressive ? 0xC2 : 0xC0),
                         0,          uint8_t(8 + 3 * comps),
                         8,          uint8_t(h >> 8),
                         uint8_t(h), uint8_t(w >> 8),
                         uint8_t(w), uint8_t(comps)};
  b.insert(b.end(), sof, sof + sizeof sof);
  for (int c = 0; c < comps; ++c) b.insert(b.end(), {uint8_t(c + 1), 0x11, 0});
  for (uint8_t cls : {0x00, 0x10}) {
    b.insert(b.end(), {0xFF, 0xC4, 0, 20, cls, 1});
    b.insert(b.end(), 15, 0);
    b.push_back(0);
  }
  for (int s = 0; s < (progressive ? scans : 1); ++s) {
    const int n = s == 0 ? comps : 1;
    b.insert(b.end(), {0xFF, 0xDA, 0, uint8_t(6 + 2 * n), uint8_t(n)});
    for (int c = 0; c < n; ++c) b.insert(b.end(), {uint8_t(c + 1), 0x00});
    const int band = s > 63 ? 63 : s;
    b.insert(b.end(), {uint8_t(progressive ? band : 0), uint8_t(progressive ? band : 63), 0});
    if (s == 0) b.insert(b.end(), dataBytes, 0);
  }
  b.insert(b.end(), {0xFF, 0xD9});
  return b;
}

TCappedRead LoadJpegCapped(const std::vector<uint8_t>& bytes) {
  return ReadCapped(64, [&](TBitmap& bmp, TFilterProgress& progress) {
    TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
    TIOParamsVals p(nullptr);
    LoadJpegFromStream(&s, &bmp, p, false, progress);
  });
}

}  // namespace

TEST(JpegRead, EqualsTheReferenceDecoderAtEveryScale) {
  for (const char* name : {"photo420", "photo444", "photoprog", "photogray", "photorst"}) {
    const std::vector<uint8_t> bytes = ReadAll(JpegPngData(std::string(name) + ".jpg"));
    ASSERT_FALSE(bytes.empty()) << name;
    const bool gray = std::string(name) == "photogray";
    for (int scale = 1; scale <= 4; ++scale) {
      SCOPED_TRACE(std::string(name) + " scale " + std::to_string(scale));
      TPnm want;
      ASSERT_TRUE(ReadPnm(
          JpegPngData(std::string(name) + ".s" + std::to_string(1 << (scale - 1)) + (gray ? ".pgm" : ".ppm")), want));
      TBitmap bmp;
      TIOParamsVals p(nullptr);
      p.JPEGScale = uint8_t(scale);
      ASSERT_TRUE(LoadJpeg(bytes, bmp, p));
      ASSERT_EQ(bmp.Width(), want.W);
      ASSERT_EQ(bmp.Height(), want.H);
      EXPECT_EQ(p.Width, want.W);
      EXPECT_EQ(MaxDiff(bmp, want), 0);
      EXPECT_EQ(p.JPEGColorSpace, gray ? 1 : 2);
      EXPECT_EQ(p.JPEGProgressive, std::string(name) == "photoprog");
      EXPECT_EQ(p.BitsPerSample, 8);
      EXPECT_EQ(p.SamplesPerPixel, 3);
    }
  }
}

TEST(JpegRead, AutomaticScalePicksTheNearestArea) {
  const std::vector<uint8_t> bytes = ReadAll(JpegPngData("photo420.jpg"));  // 61 x 45
  TBitmap bmp;
  TIOParamsVals p(nullptr);
  p.JPEGScale = 0;
  p.Width = 0;
  p.Height = 0;
  ASSERT_TRUE(LoadJpeg(bytes, bmp, p));
  EXPECT_EQ(bmp.Width(), 61);
  p.Width = 30;  // a quarter of the area: half size
  p.Height = 22;
  ASSERT_TRUE(LoadJpeg(bytes, bmp, p));
  EXPECT_EQ(bmp.Width(), 31);
  EXPECT_EQ(bmp.Height(), 23);
  p.Width = 8;
  p.Height = 6;
  ASSERT_TRUE(LoadJpeg(bytes, bmp, p));
  EXPECT_EQ(bmp.Width(), 8);
}

TEST(JpegRead, AdobeCmykFilesOfAnotherWriter) {
  TPnm want;
  ASSERT_TRUE(ReadPnm(JpegPngData("cmyk.expected.ppm"), want));
  TBitmap bmp;
  TIOParamsVals p(nullptr);
  ASSERT_TRUE(LoadJpeg(ReadAll(JpegPngData("cmyk.jpg")), bmp, p));
  EXPECT_EQ(p.JPEGColorSpace, 4);  // that writer stores YCCK
  ASSERT_EQ(bmp.Width(), want.W);
  EXPECT_LE(MaxDiff(bmp, want), 2);
}

TEST(JpegWrite, ColourSpacesReadBack) {
  // Colour changes slowly (chroma is subsampled), brightness sharply.
  TBitmap src;
  src.SetPixelFormat(pf24bit);
  src.SetSize(48, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 48; ++x) {
      const int edge = ((x / 8 + y / 8) & 1) ? 60 : 0;
      uint8_t* px = src.ScanLine(y) + 3 * x;
      px[0] = uint8_t(40 + x * 2 + edge);
      px[1] = uint8_t(60 + y * 3 + edge);
      px[2] = uint8_t(100 + x + y + edge);
    }
  for (uint8_t space = 0; space <= 4; ++space) {
    SCOPED_TRACE(int(space));
    TIOParamsVals p(nullptr);
    p.JPEGColorSpace = space;
    p.JPEGQuality = 95;
    std::vector<uint8_t> bytes = SaveJpeg(src, p);
    TBitmap back;
    TIOParamsVals q(nullptr);
    ASSERT_TRUE(LoadJpeg(bytes, back, q));
    EXPECT_EQ(q.JPEGColorSpace, space);
    ASSERT_EQ(back.Width(), 48);
    ASSERT_EQ(back.Height(), 32);
    // Compare the mean error; the gray file compares with the luminance.
    long total = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 48; ++x) {
        const uint8_t* a = src.ScanLine(y) + 3 * x;
        const uint8_t* b = back.ScanLine(y) + 3 * x;
        if (space == 1) {
          int lum = (a[2] * 299 + a[1] * 587 + a[0] * 114) / 1000;
          EXPECT_EQ(b[0], b[1]);
          EXPECT_EQ(b[1], b[2]);
          total += std::abs(lum - b[0]);
        } else {
          for (int c = 0; c < 3; ++c) total += std::abs(int(a[c]) - int(b[c]));
        }
      }
    EXPECT_LT(total / (48 * 32), space == 1 ? 2 : 4);
  }
  // CMYK of pure white and pure black comes back as it was.
  for (uint8_t v : {uint8_t(0), uint8_t(255)}) {
    TBitmap flat;
    flat.SetPixelFormat(pf24bit);
    flat.SetSize(16, 16);
    for (int y = 0; y < 16; ++y) std::memset(flat.ScanLine(y), v, 48);
    TIOParamsVals p(nullptr);
    p.JPEGColorSpace = 3;
    p.JPEGQuality = 90;
    TBitmap back;
    TIOParamsVals q(nullptr);
    ASSERT_TRUE(LoadJpeg(SaveJpeg(flat, p), back, q));
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 48; ++x) EXPECT_NEAR(back.ScanLine(y)[x], v, 1);
  }
  uint8_t cmyk[4], bgr[3];
  const uint8_t black[3] = {0, 0, 0};
  BgrToCmyk(black, cmyk);
  EXPECT_EQ(cmyk[3], 1);
  const uint8_t some[3] = {50, 100, 200};
  BgrToCmyk(some, cmyk);
  CmykToBgr(cmyk, bgr);
  EXPECT_EQ(bgr[2], 200);
  EXPECT_NEAR(bgr[1], 100, 1);
  EXPECT_NEAR(bgr[0], 50, 1);
}

TEST(JpegWrite, OptionsAndResolution) {
  TBitmap src;
  MakeTestPicture(src, 64, 40);
  TIOParamsVals p(nullptr);
  p.DpiX = 300;
  p.DpiY = 150;
  p.JPEGQuality = 30;
  std::vector<uint8_t> low = SaveJpeg(src, p);
  p.JPEGQuality = 95;
  std::vector<uint8_t> high = SaveJpeg(src, p);
  EXPECT_LT(low.size(), high.size());
  p.JPEGOptimalHuffman = true;
  std::vector<uint8_t> optimal = SaveJpeg(src, p);
  EXPECT_LT(optimal.size(), high.size());
  p.JPEGProgressive = true;
  p.JPEGSmooth = 30;
  p.JPEGDCTMethod = 2;
  std::vector<uint8_t> prog = SaveJpeg(src, p);
  TBitmap back;
  TIOParamsVals q(nullptr);
  ASSERT_TRUE(LoadJpeg(prog, back, q));
  EXPECT_TRUE(q.JPEGProgressive);
  EXPECT_EQ(q.DpiX, 300);
  EXPECT_EQ(q.DpiY, 150);

  // Density units: the JFIF header sits at the start of our files.
  ASSERT_EQ(std::memcmp(&high[6], "JFIF", 5), 0);
  auto withDensity = [&](uint8_t unit, uint16_t x, uint16_t y) {
    std::vector<uint8_t> b = high;
    b[13] = unit;
    b[14] = uint8_t(x >> 8), b[15] = uint8_t(x);
    b[16] = uint8_t(y >> 8), b[17] = uint8_t(y);
    return b;
  };
  ASSERT_TRUE(LoadJpeg(withDensity(2, 118, 118), back, q));
  EXPECT_EQ(q.DpiX, 299);
  EXPECT_EQ(q.DpiY, 299);
  ASSERT_TRUE(LoadJpeg(withDensity(1, 300, 72), back, q));
  EXPECT_EQ(q.DpiX, 300);
  EXPECT_EQ(q.DpiY, 72);
  ASSERT_TRUE(LoadJpeg(withDensity(0, 1, 1), back, q));  // an aspect ratio only
  EXPECT_EQ(q.DpiX, ScreenPixelsPerInch());
  EXPECT_EQ(q.DpiY, ScreenPixelsPerInch());

  // A 1-bit bitmap is written through its 24-bit expansion.
  TBitmap bits;
  bits.SetPixelFormat(pf1bit);
  bits.SetSize(16, 8);
  for (int x = 0; x < 8; ++x) VLSetBit(bits.ScanLine(3), x, 1);
  ASSERT_TRUE(LoadJpeg(SaveJpeg(bits, p), back, q));
  EXPECT_EQ(bits.PixelFormat(), pf1bit);
  EXPECT_GT(back.ScanLine(3)[3], 200);
  EXPECT_LT(back.ScanLine(3)[3 * 12], 60);
}

TEST(JpegRead, ParamsOnlyAndSignature) {
  const std::vector<uint8_t> bytes = ReadAll(JpegPngData("photo444.jpg"));
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(2, 3);
  TIOParamsVals p(nullptr);
  ASSERT_TRUE(LoadJpeg(bytes, bmp, p, true));
  EXPECT_EQ(p.Width, 61);
  EXPECT_EQ(p.Height, 45);
  EXPECT_EQ(p.JPEGColorSpace, 2);
  EXPECT_EQ(bmp.Width(), 2);
  EXPECT_EQ(bmp.Height(), 3);

  std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
  std::string reason;
  EXPECT_FALSE(LoadJpeg(text, bmp, p, false, &reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(bmp.Width(), 2);
  TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
  EXPECT_TRUE(HasJpegSignature(&s));
  EXPECT_EQ(s.Position(), 0);

  // Without the signature test the library's own header reading decides, and its
  // message code comes back.
  TReadOnlyMemoryStream t(text.data(), int64_t(text.size()));
  TTestProgress tp;
  TJpegReadOptions options;
  options.TestSignature = false;
  LoadJpegCore(&t, &bmp, p, false, tp.P, options);
  EXPECT_TRUE(tp.Abort);
  EXPECT_EQ(options.LastMessageCode, int(JERR_NO_SOI));
  EXPECT_EQ(tp.P.AbortReason, Format("JPEG error #%d", int(JERR_NO_SOI)));
}

TEST(JpegRead, CorruptFilesSetTheAbortFlag) {
  const std::vector<uint8_t> good = ReadAll(JpegPngData("photo420.jpg"));
  const std::vector<uint8_t> prog = ReadAll(JpegPngData("photoprog.jpg"));
  std::vector<std::vector<uint8_t>> bad;
  for (size_t cut : {size_t(2), size_t(3), size_t(20), size_t(100), size_t(300), good.size() / 2, good.size() - 200})
    bad.emplace_back(good.begin(), good.begin() + long(cut));
  bad.emplace_back(prog.begin(), prog.begin() + long(prog.size() / 2));
  std::vector<uint8_t> sof = good;  // a frame header with a zero width
  for (size_t i = 2; i + 9 < sof.size(); ++i)
    if (sof[i] == 0xFF && sof[i + 1] == 0xC0) {
      sof[i + 7] = 0;
      sof[i + 8] = 0;
      break;
    }
  bad.push_back(sof);
  std::vector<uint8_t> dqt = good;  // a marker length running past the file
  dqt[4] = 0xFF;
  bad.push_back(dqt);
  for (size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(i);
    TBitmap bmp;
    TIOParamsVals p(nullptr);
    TReadOnlyMemoryStream s(bad[i].data(), int64_t(bad[i].size()));
    TTestProgress tp;
    EXPECT_NO_THROW(LoadJpegFromStream(&s, &bmp, p, false, tp.P));
    EXPECT_TRUE(tp.Abort);
    EXPECT_FALSE(tp.P.AbortReason.empty());
  }
  // Cut inside the scan: the rows decoded before the cut stay.
  std::vector<uint8_t> half(good.begin(), good.begin() + long(good.size() * 3 / 4));
  TBitmap bmp;
  TIOParamsVals p(nullptr);
  TReadOnlyMemoryStream s(half.data(), int64_t(half.size()));
  TTestProgress tp;
  LoadJpegFromStream(&s, &bmp, p, false, tp.P);
  EXPECT_TRUE(tp.Abort);
  ASSERT_EQ(bmp.Width(), 61);
  TPnm want;
  ASSERT_TRUE(ReadPnm(JpegPngData("photo420.s1.ppm"), want));
  int exact = 0;
  for (int x = 0; x < 61; ++x)
    if (bmp.ScanLine(0)[3 * x + 2] == want.Pixel(x, 0)[0]) ++exact;
  EXPECT_EQ(exact, 61);
  for (int x = 0; x < 61 * 3; ++x) ASSERT_EQ(bmp.ScanLine(44)[x], 0);  // the rest black
  // Into a bitmap that already has the size: the rows not decoded are black, not old pixels.
  TBitmap same;
  same.SetPixelFormat(pf24bit);
  same.SetSize(61, 45);
  for (int y = 0; y < 45; ++y) std::memset(same.ScanLine(y), 0x77, 61 * 3);
  TReadOnlyMemoryStream s2(half.data(), int64_t(half.size()));
  TTestProgress tp2;
  LoadJpegFromStream(&s2, &same, p, false, tp2.P);
  EXPECT_TRUE(tp2.Abort);
  EXPECT_EQ(std::memcmp(same.ScanLine(0), bmp.ScanLine(0), 61 * 3), 0);
  for (int x = 0; x < 61 * 3; ++x) ASSERT_EQ(same.ScanLine(44)[x], 0);
}

TEST(JpegRead, ProgressAbortAndChainedImages) {
  const std::vector<uint8_t> bytes = ReadAll(JpegPngData("photo420.jpg"));
  {
    TBitmap bmp;
    TIOParamsVals p(nullptr);
    TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
    TTestProgress tp;
    int calls = 0;
    tp.P.OnProgress = [&](TObject*, int) {
      ++calls;
      tp.Abort = true;
    };
    LoadJpegFromStream(&s, &bmp, p, false, tp.P);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(tp.P.AbortReason.empty());
    EXPECT_EQ(bmp.Width(), 61);
    EXPECT_EQ(bmp.Height(), 45);
    for (int x = 0; x < 61 * 3; ++x) ASSERT_EQ(bmp.ScanLine(44)[x], 0);  // rows not read are black
  }
  {
    // A handler's exception leaves after the clean-up.
    TBitmap bmp;
    TIOParamsVals p(nullptr);
    TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
    TTestProgress tp;
    tp.P.OnProgress = [&](TObject*, int) { throw EAbort(); };
    EXPECT_THROW(LoadJpegFromStream(&s, &bmp, p, false, tp.P), EAbort);
    ASSERT_EQ(bmp.Height(), 45);
    for (int x = 0; x < 61 * 3; ++x) ASSERT_EQ(bmp.ScanLine(44)[x], 0);
  }
  {
    // Two images with stream headers, read one after the other.
    TBitmap a, b;
    MakeTestPicture(a, 20, 10);
    MakeTestPicture(b, 7, 9);
    TMemoryStream s;
    TIOParamsVals p(nullptr);
    TTestProgress tp;
    for (TBitmap* bmp : {&a, &b}) {
      int64_t pos = VLBeginStreamHeader(&s);
      SaveJpegToStream(&s, bmp, p, tp.P);
      VLEndStreamHeader(&s, pos, "JFIF");
    }
    s.SetPosition(0);
    for (TBitmap* bmp : {&a, &b}) {
      TVLStreamHeader h;
      ASSERT_TRUE(VLReadStreamHeader(&s, h));
      ASSERT_EQ(VLStreamHeaderTag(h), "JFIF");
      int64_t start = s.Position();
      TBitmap back;
      LoadJpegFromStream(&s, &back, p, false, tp.P);
      ASSERT_FALSE(tp.Abort);
      EXPECT_EQ(back.Width(), bmp->Width());
      EXPECT_EQ(s.Position(), start + h.Length);  // the read-ahead is handed back
      s.SetPosition(start + h.Length);
    }
  }
}

TEST(JpegWrite, FailedWritesSetTheAbortFlag) {
  TBitmap src;
  MakeTestPicture(src, 400, 300);
  TIOParamsVals p(nullptr);
  p.JPEGQuality = 95;
  // Streams that refuse or raise at the first buffer and further on, and a full disk.
  for (int64_t limit : {int64_t(0), int64_t(20000)}) {
    for (bool raise : {false, true}) {
      SCOPED_TRACE(std::to_string(limit) + (raise ? " raising" : " refusing"));
      TFailingStream out(limit, raise);
      TTestProgress tp;
      EXPECT_NO_THROW(SaveJpegToStream(&out, &src, p, tp.P));
      EXPECT_TRUE(tp.Abort);
      EXPECT_EQ(tp.P.AbortReason, "write error");
    }
  }
  TFileStream full("/dev/full", fmOpenWrite);
  TTestProgress tp;
  EXPECT_NO_THROW(SaveJpegToStream(&full, &src, p, tp.P));
  EXPECT_TRUE(tp.Abort);
  EXPECT_EQ(tp.P.AbortReason, "write error");
}

TEST(JpegRead, HugeFramesWithoutTheirDataAreRefusedWithinAMemoryCap) {
  struct {
    const char* Name;
    std::vector<uint8_t> Bytes;
  } hostile[] = {
      {"baseline 26000, no scan data", FlatJpeg(26000, 26000, 1, false, 1, 0)},
      {"baseline 18000, no scan data", FlatJpeg(18000, 18000, 1, false, 1, 0)},
      {"baseline 18000, 600 bytes", FlatJpeg(18000, 18000, 1, false, 1, 600)},
      {"colour baseline 12000, 600 bytes", FlatJpeg(12000, 12000, 3, false, 1, 600)},
      {"progressive 26000, no scan data", FlatJpeg(26000, 26000, 1, true, 1, 0)},
      {"progressive 18000, 62 empty scans", FlatJpeg(18000, 18000, 1, true, 62, 0)},
      {"colour progressive 12000, 62 scans, 200 bytes", FlatJpeg(12000, 12000, 3, true, 62, 200)},
  };
  for (auto& f : hostile) {
    SCOPED_TRACE(f.Name);
    ASSERT_LT(f.Bytes.size(), 1024u);
    const TCappedRead r = LoadJpegCapped(f.Bytes);
    EXPECT_TRUE(r.Run.Finished);
    EXPECT_FALSE(r.Run.OverCap) << r.Run.PeakGrowthKB << " KB";
    EXPECT_TRUE(r.Abort);
    EXPECT_FALSE(r.Reason.empty());
    EXPECT_EQ(r.Width * r.Height, 0);
  }
  // Scan data that fill the frame: a picture, baseline and progressive.
  for (bool progressive : {false, true}) {
    TBitmap bmp;
    TIOParamsVals p(nullptr);
    std::string why;
    ASSERT_TRUE(LoadJpeg(FlatJpeg(256, 256, 1, progressive, 5, 256), bmp, p, false, &why)) << why;
    ASSERT_EQ(bmp.Width(), 256);
    EXPECT_EQ(bmp.ScanLine(255)[3 * 255], 128);
  }
  // Data that end early at a marker: the rows decoded stay, the rest is not made up.
  TBitmap bmp;
  TIOParamsVals p(nullptr);
  std::string why;
  EXPECT_FALSE(LoadJpeg(FlatJpeg(256, 2048, 1, false, 1, 512), bmp, p, false, &why));
  EXPECT_EQ(why, "JPEG data ends early");
  ASSERT_EQ(bmp.Height(), 2048);
  EXPECT_EQ(bmp.ScanLine(0)[0], 128);
  EXPECT_EQ(bmp.ScanLine(2047)[0], 0);
}

TEST(LargePicture, OpensAsJpegAndPngWithTheRightCorners) {
  const int w = 12000, h = 9000;
  // Blue across, green down, red in squares of 64 pixels.
  const auto colour = [&](int x, int y, int c) {
    return c == 0 ? (x * 255) / (w - 1) : c == 1 ? (y * 255) / (h - 1) : ((x / 64 + y / 64) & 1) ? 200 : 60;
  };
  TMemoryStream jpeg, png;
  {
    TBitmap src;
    src.SetPixelFormat(pf24bit);
    src.SetSize(w, h);
    for (int y = 0; y < h; ++y) {
      uint8_t* row = src.ScanLine(y);
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) row[3 * x + c] = uint8_t(colour(x, y, c));
    }
    TIOParamsVals p(nullptr);
    p.JPEGQuality = 90;
    p.PNGCompression = 1;
    TTestProgress tp;
    SaveJpegToStream(&jpeg, &src, p, tp.P);
    SavePngToStream(&png, &src, p, tp.P);
    ASSERT_FALSE(tp.Abort) << tp.P.AbortReason;
  }
  for (bool isPng : {false, true}) {
    SCOPED_TRACE(isPng ? "PNG" : "JPEG");
    TMemoryStream& s = isPng ? png : jpeg;
    s.SetPosition(0);
    TBitmap bmp;
    TIOParamsVals p(nullptr);
    TTestProgress tp;
    if (isPng) LoadPngFromStream(&s, &bmp, p, false, tp.P);
    else LoadJpegFromStream(&s, &bmp, p, false, tp.P);
    ASSERT_FALSE(tp.Abort) << tp.P.AbortReason;
    ASSERT_EQ(bmp.Width(), w);
    ASSERT_EQ(bmp.Height(), h);
    for (int y : {0, h - 1})
      for (int x : {0, w - 1})
        for (int c = 0; c < 3; ++c) {
          const int got = bmp.ScanLine(y)[3 * x + c], want = colour(x, y, c);
          if (isPng) EXPECT_EQ(got, want) << x << "," << y << " channel " << c;
          else EXPECT_NEAR(got, want, 6) << x << "," << y << " channel " << c;
        }
  }
}
