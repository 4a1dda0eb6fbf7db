#include <zlib.h>

#include <cstring>
#include <filesystem>

#include "helpers.h"
#include "vistrel/codecs/png.h"

namespace {

const TRGB kTestBackground{40, 120, 200};  // blue, green, red; the fixture script's TEST_BG

struct TExpected {
  std::string Name;
  int Kind = 0, W = 0, H = 0;
  const uint8_t* Data = nullptr;
};

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& z) {
  std::vector<uint8_t> out(size_t(8) << 20);
  uLongf n = uLongf(out.size());
  if (uncompress(out.data(), &n, z.data(), uLong(z.size())) != Z_OK) return {};
  out.resize(n);
  return out;
}

bool LoadPng(const std::vector<uint8_t>& bytes, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly = false) {
  TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
  TTestProgress tp;
  LoadPngFromStream(&s, &bmp, params, paramsOnly, tp.P);
  return !tp.Abort;
}

void PutBigEndian32(std::vector<uint8_t>& b, uint32_t v) {
  b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

// A chunk with its CRC; length is what the chunk declares (its data's size when 0).
void PutChunk(std::vector<uint8_t>& b, const char* type, const std::vector<uint8_t>& data, uint32_t length = 0) {
  PutBigEndian32(b, length ? length : uint32_t(data.size()));
  const size_t start = b.size();
  b.insert(b.end(), type, type + 4);
  b.insert(b.end(), data.begin(), data.end());
  PutBigEndian32(b, uint32_t(crc32(0, &b[start], uInt(b.size() - start))));
}

// An 8-bit RGB PNG of the declared size whose image data are the zlib form of rawBytes zero
// bytes (all rows unfiltered black when that is enough), with extra chunks before them.
std::vector<uint8_t> MakePng(uint32_t w, uint32_t h, size_t rawBytes, const std::vector<uint8_t>& before = {}) {
  std::vector<uint8_t> b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> ihdr;
  PutBigEndian32(ihdr, w);
  PutBigEndian32(ihdr, h);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  PutChunk(b, "IHDR", ihdr);
  b.insert(b.end(), before.begin(), before.end());
  std::vector<uint8_t> raw(rawBytes, 0);
  std::vector<uint8_t> z(compressBound(uLong(raw.size())));
  uLongf n = uLongf(z.size());
  compress2(z.data(), &n, raw.data(), uLong(raw.size()), 9);
  z.resize(n);
  PutChunk(b, "IDAT", z);
  PutChunk(b, "IEND", {});
  return b;
}

}  // namespace

TEST(PngRead, EverySuiteFileMatchesPillowOverTheBackground) {
  std::vector<uint8_t> blob = Inflate(ReadAll(JpegPngData("pngsuite.expected.z")));
  ASSERT_FALSE(blob.empty());
  size_t pos = 0;
  int files = 0;
  while (pos + 37 <= blob.size()) {
    TExpected e;
    e.Name = reinterpret_cast<const char*>(&blob[pos]);
    e.Kind = blob[pos + 32];
    e.W = blob[pos + 33] | (blob[pos + 34] << 8);
    e.H = blob[pos + 35] | (blob[pos + 36] << 8);
    e.Data = &blob[pos + 37];
    pos += 37 + size_t(e.W) * e.H * (e.Kind == 1 ? 1 : 4);
    ASSERT_LE(pos, blob.size());
    ++files;
    SCOPED_TRACE(e.Name);

    std::vector<uint8_t> bytes = ReadAll(std::string(VL_TESTDATA) + "/pngsuite/" + e.Name);
    ASSERT_FALSE(bytes.empty());
    TBitmap bmp;
    TIOParamsVals params(nullptr);
    params.PNGBackground = kTestBackground;
    ASSERT_TRUE(LoadPng(bytes, bmp, params));
    ASSERT_EQ(bmp.Width(), e.W);
    ASSERT_EQ(bmp.Height(), e.H);
    int bad = 0;
    if (e.Kind == 1) {
      ASSERT_EQ(bmp.PixelFormat(), pf1bit);
      for (int y = 0; y < e.H; ++y)
        for (int x = 0; x < e.W; ++x)
          if ((VLGetBit(bmp.ScanLine(y), x) ? 1 : 0) != e.Data[y * e.W + x]) ++bad;
    } else {
      ASSERT_EQ(bmp.PixelFormat(), pf24bit);
      for (int y = 0; y < e.H; ++y) {
        const uint8_t* row = bmp.ScanLine(y);
        for (int x = 0; x < e.W; ++x) {
          const uint8_t* want = e.Data + (size_t(y) * e.W + x) * 4;
          const int slack = (want[3] != 0 && want[3] != 255) ? 1 : 0;
          for (int c = 0; c < 3; ++c)
            if (std::abs(int(row[3 * x + 2 - c]) - int(want[c])) > slack) ++bad;
        }
      }
    }
    EXPECT_EQ(bad, 0);
  }
  EXPECT_EQ(files, 60);
}

TEST(PngRead, ParametersOfTheFile) {
  const std::string suite = std::string(VL_TESTDATA) + "/pngsuite/";
  {
    TBitmap bmp;
    TIOParamsVals p(nullptr);
    ASSERT_TRUE(LoadPng(ReadAll(suite + "basn3p08.png"), bmp, p));
    EXPECT_EQ(bmp.PixelFormat(), pf24bit);
    EXPECT_EQ(p.SamplesPerPixel, 1);
    EXPECT_EQ(p.BitsPerSample, 8);
    EXPECT_EQ(p.ColorMapCount, 256);
    ASSERT_NE(p.ColorMap, nullptr);
    EXPECT_FALSE(p.PNGInterlaced);
    EXPECT_EQ(p.DpiX, ScreenPixelsPerInch());  // no pHYs
  }
  {
    TBitmap bmp;
    TIOParamsVals p(nullptr);
    ASSERT_TRUE(LoadPng(ReadAll(suite + "basn0g01.png"), bmp, p));
    EXPECT_EQ(bmp.PixelFormat(), pf1bit);
    EXPECT_EQ(p.BitsPerSample, 1);
  }
  {
    TBitmap bmp;
    TIOParamsVals p(nullptr);
    ASSERT_TRUE(LoadPng(ReadAll(suite + "basn6a16.png"), bmp, p));
    EXPECT_EQ(p.BitsPerSample, 16);
    EXPECT_EQ(p.SamplesPerPixel, 4);
    EXPECT_TRUE(LoadPng(ReadAll(suite + "ibasn0g08.png"), bmp, p));
    EXPECT_TRUE(p.PNGInterlaced);
  }
  {
    // bKGD of an 8-bit file is read at its depth; of a 16-bit file by the high bytes.
    TBitmap bmp;
    TIOParamsVals p(nullptr);
    p.PNGBackground = kTestBackground;
    ASSERT_TRUE(LoadPng(ReadAll(suite + "ftbrn2c08.png"), bmp, p));
    EXPECT_EQ(p.PNGBackground, (TRGB{0, 0, 255}));
    ASSERT_TRUE(LoadPng(ReadAll(suite + "ftbgn2c16.png"), bmp, p));
    EXPECT_EQ(p.PNGBackground, (TRGB{0, 255, 0}));
  }
  {
    // ParamsOnly leaves the bitmap alone.
    TBitmap bmp;
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(3, 2);
    TIOParamsVals p(nullptr);
    ASSERT_TRUE(LoadPng(ReadAll(suite + "basn2c16.png"), bmp, p, true));
    EXPECT_EQ(p.Width, 32);
    EXPECT_EQ(p.Height, 32);
    EXPECT_EQ(bmp.Width(), 3);
    EXPECT_EQ(bmp.Height(), 2);
  }
}

TEST(PngRead, CorruptFilesSetTheAbortFlag) {
  const std::vector<uint8_t> good = ReadAll(std::string(VL_TESTDATA) + "/pngsuite/basn2c08.png");
  ASSERT_GT(good.size(), 100u);
  std::vector<std::vector<uint8_t>> bad;
  for (size_t cut : {size_t(0), size_t(4), size_t(8), size_t(20), size_t(33), size_t(60), good.size() / 2,
                     good.size() - 13, good.size() - 1})
    bad.emplace_back(good.begin(), good.begin() + long(cut));
  std::vector<uint8_t> sig = good;
  sig[1] = 'Q';
  bad.push_back(sig);
  size_t idat = FindChunk(good, "IDAT");
  ASSERT_NE(idat, std::string::npos);
  std::vector<uint8_t> crc = good;
  crc[idat + 8 + BigEndian32(&good[idat])] ^= 0x55;  // the IDAT CRC
  bad.push_back(crc);
  std::vector<uint8_t> ihdrCrc = good;
  ihdrCrc[8 + 8 + 13] ^= 1;
  bad.push_back(ihdrCrc);
  std::vector<uint8_t> len = good;
  len[idat] = 0x7F;  // an IDAT length far past the end
  bad.push_back(len);
  std::vector<uint8_t> data = good;
  for (size_t i = idat + 10; i < idat + 40; ++i) data[i] ^= 0xA5;  // deflate data garbled
  bad.push_back(data);
  std::vector<uint8_t> huge = good;  // IHDR claims 2^31-1 x 2^31-1 (CRC fixed up)
  huge[16] = huge[20] = 0x7F;
  huge[17] = huge[18] = huge[19] = huge[21] = huge[22] = huge[23] = 0xFF;
  uint32_t c = uint32_t(crc32(0, &huge[12], 17));
  huge[29] = uint8_t(c >> 24), huge[30] = uint8_t(c >> 16), huge[31] = uint8_t(c >> 8), huge[32] = uint8_t(c);
  bad.push_back(huge);
  for (size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(i);
    TBitmap bmp;
    TIOParamsVals p(nullptr);
    TReadOnlyMemoryStream s(bad[i].data(), int64_t(bad[i].size()));
    TTestProgress tp;
    EXPECT_NO_THROW(LoadPngFromStream(&s, &bmp, p, false, tp.P));
    EXPECT_TRUE(tp.Abort);
    EXPECT_FALSE(tp.P.AbortReason.empty());
  }
}

TEST(PngRead, ProgressHandlerStopsTheRead) {
  const std::vector<uint8_t> bytes = ReadAll(std::string(VL_TESTDATA) + "/pngsuite/basn2c08.png");
  TBitmap bmp;
  TIOParamsVals p(nullptr);
  TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
  TTestProgress tp;
  std::vector<int> seen;
  tp.P.OnProgress = [&](TObject*, int percent) {
    seen.push_back(percent);
    if (seen.size() == 4) tp.Abort = true;
  };
  LoadPngFromStream(&s, &bmp, p, false, tp.P);
  EXPECT_TRUE(tp.Abort);
  EXPECT_TRUE(tp.P.AbortReason.empty());
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], 3);  // Trunc(1 x 100 / 32)
  EXPECT_EQ(bmp.Width(), 32);
  EXPECT_EQ(bmp.Height(), 32);
}

TEST(PngWrite, RgbPaletteAndOneBitFilesReadBack) {
  TBitmap src;
  MakeTestPicture(src, 37, 23);
  for (int interlaced = 0; interlaced < 2; ++interlaced) {
    for (int filter = 0; filter < 3; ++filter) {
      SCOPED_TRACE(interlaced * 10 + filter);
      TIOParamsVals p(nullptr);
      p.SamplesPerPixel = 3;
      p.PNGInterlaced = interlaced != 0;
      p.PNGFilter = uint8_t(filter);
      p.PNGCompression = 9;
      p.DpiX = 72;
      p.DpiY = 300;
      p.PNGBackground = TRGB{1, 2, 3};
      TMemoryStream out;
      TTestProgress tp;
      int calls = 0, last = -1;
      tp.P.OnProgress = [&](TObject*, int percent) {
        ++calls;
        last = percent;
      };
      SavePngToStream(&out, &src, p, tp.P);
      ASSERT_FALSE(tp.Abort);
      EXPECT_EQ(calls, 23 * (interlaced ? 7 : 1));
      EXPECT_GE(last, 99);  // 23 x (100 / 23) truncates to 99
      std::vector<uint8_t> bytes = StreamBytes(out);
      size_t phys = FindChunk(bytes, "pHYs");
      ASSERT_NE(phys, std::string::npos);
      EXPECT_EQ(BigEndian32(&bytes[phys + 8]), 2835u);    // 72 dpi
      EXPECT_EQ(BigEndian32(&bytes[phys + 12]), 11811u);  // 300 dpi
      size_t bkgd = FindChunk(bytes, "bKGD");
      ASSERT_NE(bkgd, std::string::npos);
      EXPECT_EQ(BigEndian32(&bytes[bkgd]), 6u);
      EXPECT_EQ(bytes[bkgd + 9], 3);  // red at 8 bits
      TBitmap back;
      TIOParamsVals q(nullptr);
      ASSERT_TRUE(LoadPng(bytes, back, q));
      EXPECT_EQ(q.DpiX, 72);
      EXPECT_EQ(q.DpiY, 300);
      EXPECT_EQ(q.PNGInterlaced, interlaced != 0);
      EXPECT_EQ(q.PNGBackground, (TRGB{1, 2, 3}));
      ASSERT_EQ(back.Width(), 37);
      for (int y = 0; y < 23; ++y) ASSERT_EQ(std::memcmp(back.ScanLine(y), src.ScanLine(y), 37 * 3), 0) << y;
    }
  }
  {
    // Palette: 256 entries; a picture of few colours comes back exactly.
    TBitmap few;
    few.SetPixelFormat(pf24bit);
    few.SetSize(20, 10);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 20; ++x) {
        uint8_t* px = few.ScanLine(y) + 3 * x;
        px[0] = x < 10 ? 0 : 248;
        px[1] = y < 5 ? 64 : 192;
        px[2] = 128;
      }
    TIOParamsVals p(nullptr);
    p.SamplesPerPixel = 1;
    p.BitsPerSample = 8;
    TMemoryStream out;
    TTestProgress tp;
    SavePngToStream(&out, &few, p, tp.P);
    std::vector<uint8_t> bytes = StreamBytes(out);
    size_t plte = FindChunk(bytes, "PLTE");
    ASSERT_NE(plte, std::string::npos);
    EXPECT_EQ(BigEndian32(&bytes[plte]), 768u);
    EXPECT_EQ(bytes[25], 3);  // colour type palette
    TBitmap back;
    TIOParamsVals q(nullptr);
    ASSERT_TRUE(LoadPng(bytes, back, q));
    EXPECT_EQ(q.ColorMapCount, 256);
    for (int y = 0; y < 10; ++y) ASSERT_EQ(std::memcmp(back.ScanLine(y), few.ScanLine(y), 20 * 3), 0) << y;
  }
  {
    // 1-bit gray from a 1-bit bitmap, from a two-colour picture and from a dithered one.
    TBitmap bits;
    bits.SetPixelFormat(pf1bit);
    bits.SetSize(13, 5);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 13; ++x) VLSetBit(bits.ScanLine(y), x, (x * y) % 3 == 0);
    TIOParamsVals p(nullptr);
    p.SamplesPerPixel = 1;
    p.BitsPerSample = 1;
    TMemoryStream out;
    TTestProgress tp;
    SavePngToStream(&out, &bits, p, tp.P);
    std::vector<uint8_t> bytes = StreamBytes(out);
    EXPECT_EQ(bytes[24], 1);  // bit depth
    EXPECT_EQ(bytes[25], 0);  // gray
    TBitmap back;
    TIOParamsVals q(nullptr);
    ASSERT_TRUE(LoadPng(bytes, back, q));
    ASSERT_EQ(back.PixelFormat(), pf1bit);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 13; ++x) EXPECT_EQ(VLGetBit(back.ScanLine(y), x) != 0, (x * y) % 3 == 0) << x << "," << y;

    TBitmap two;
    two.SetPixelFormat(pf24bit);
    two.SetSize(9, 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 9; ++x) std::memset(two.ScanLine(y) + 3 * x, x == y ? 10 : 240, 3);
    TMemoryStream out2;
    SavePngToStream(&out2, &two, p, tp.P);
    ASSERT_TRUE(LoadPng(StreamBytes(out2), back, q));
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 9; ++x) EXPECT_EQ(VLGetBit(back.ScanLine(y), x) == 0, x == y);

    TBitmap many;
    MakeTestPicture(many, 16, 16);
    TMemoryStream out3;
    SavePngToStream(&out3, &many, p, tp.P);
    ASSERT_TRUE(LoadPng(StreamBytes(out3), back, q));
    EXPECT_EQ(back.PixelFormat(), pf1bit);
    EXPECT_EQ(back.Width(), 16);
  }
}

TEST(PngWrite, FailedWritesSetTheAbortFlag) {
  TBitmap src;
  MakeTestPicture(src, 200, 150);
  TIOParamsVals p(nullptr);
  p.PNGCompression = 0;
  // Streams that refuse or raise at the start, in the header and in the image data, and a
  // full disk: no exception, the abort flag and libpng's failure as the reason.
  for (int64_t limit : {int64_t(0), int64_t(40), int64_t(30000)}) {
    for (bool raise : {false, true}) {
      SCOPED_TRACE(std::to_string(limit) + (raise ? " raising" : " refusing"));
      TFailingStream out(limit, raise);
      TTestProgress tp;
      EXPECT_NO_THROW(SavePngToStream(&out, &src, p, tp.P));
      EXPECT_TRUE(tp.Abort);
      EXPECT_EQ(tp.P.AbortReason, "Error on creating PNG");
    }
  }
  {
    TFileStream full("/dev/full", fmOpenWrite);
    TTestProgress tp;
    EXPECT_NO_THROW(SavePngToStream(&full, &src, p, tp.P));
    EXPECT_TRUE(tp.Abort);
    EXPECT_EQ(tp.P.AbortReason, "Error on creating PNG");
  }
  // The progress handler's exception passes through after the clean-up.
  TMemoryStream ok;
  TTestProgress tp;
  tp.P.OnProgress = [](TObject*, int percent) {
    if (percent > 50) throw EAbort();
  };
  EXPECT_THROW(SavePngToStream(&ok, &src, p, tp.P), EAbort);
}

TEST(PngRead, HostileSizesAndChunkLengthsStayWithinAMemoryCap) {
  struct TCase {
    std::string Name;
    std::vector<uint8_t> Bytes;
  };
  std::vector<TCase> cases = {
      {"26000 x 26000", MakePng(26000, 26000, 1000)},
      {"18000 x 18000", MakePng(18000, 18000, 100000)},
      {"1000000 x 300", MakePng(1000000, 300, 1000)},
  };
  // Ancillary chunks that declare 2 GB, in a file that ends soon after.
  for (const char* type : {"tEXt", "zTXt", "iTXt", "sPLT", "pCAL", "sCAL", "iCCP", "eXIf", "unKn"}) {
    std::vector<uint8_t> chunk;
    PutChunk(chunk, type, {'k', 'e', 'y', 0, 0, 'x', 'y', 'z'}, 0x7FFFFFFF);
    cases.push_back({std::string(type) + " of 2 GB", MakePng(4, 4, 4 * 13, chunk)});
  }
  for (auto& f : cases) {
    SCOPED_TRACE(f.Name);
    ASSERT_LT(f.Bytes.size(), 1024u);
    const TCappedRead r = ReadCapped(64, [&](TBitmap& bmp, TFilterProgress& progress) {
      TReadOnlyMemoryStream s(f.Bytes.data(), int64_t(f.Bytes.size()));
      TIOParamsVals p(nullptr);
      LoadPngFromStream(&s, &bmp, p, false, progress);
    });
    EXPECT_TRUE(r.Run.Finished);
    EXPECT_FALSE(r.Run.OverCap) << r.Run.PeakGrowthKB << " KB";
    EXPECT_TRUE(r.Abort);
    EXPECT_FALSE(r.Reason.empty());
    EXPECT_LE(int64_t(r.Width) * r.Height, 16);
  }
  // Text of a sensible size is no trouble.
  std::vector<uint8_t> text;
  PutChunk(text, "tEXt", std::vector<uint8_t>(100000, 'a'));
  PutChunk(text, "zTXt", {'k', 0, 0, 0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
  TBitmap bmp;
  TIOParamsVals p(nullptr);
  EXPECT_TRUE(LoadPng(MakePng(4, 4, 4 * 13, text), bmp, p));
  EXPECT_EQ(bmp.Width(), 4);
}
