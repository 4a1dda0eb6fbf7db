// Files of other programs, and hand-made files for the reader's corner cases.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>

#include "bmp/bmp_support.h"

namespace {

const std::string kData = std::string(VL_TESTDATA) + "/bmp/";

std::vector<std::string> Fixtures() {
  std::vector<std::string> names;
  if (DIR* d = opendir(kData.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > 4 && n.substr(n.size() - 4) == ".bmp") names.push_back(n.substr(0, n.size() - 4));
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

const TRGB kRed{0, 0, 255}, kGreen{0, 255, 0}, kBlue{255, 0, 0}, kWhite{255, 255, 255}, kBlack{0, 0, 0};

TRGB At(TBitmap& b, int x, int y) {
  const uint8_t* p = b.ScanLine(y) + 3 * x;
  return TRGB{p[0], p[1], p[2]};
}

}  // namespace

TEST(BMPReader, FilesOfOtherProgramsMatchTheirRenderings) {
  auto names = Fixtures();
  ASSERT_GE(names.size(), 20u);
  for (const auto& n : names) {
    SCOPED_TRACE(n);
    TBitmap b;
    TIOParamsVals p(nullptr);
    std::string why;
    ASSERT_TRUE(ReadBMPBytes(ReadFileBytes(kData + n + ".bmp"), b, p, false, nullptr, &why)) << why;
    bool mono = n.back() == '1';
    EXPECT_EQ(b.PixelFormat(), mono ? pf1bit : pf24bit);
    TRefImage want = LoadPNG(kData + n + ".png");
    ASSERT_TRUE(want.Ok());
    // 5 and 6-bit channels: that program widens them by repeating bits, this reader keeps
    // them as the top bits.
    if (n == "im_555") want = TopBits(want, 5, 5, 5);
    if (n == "im_565") want = TopBits(want, 5, 6, 5);
    EXPECT_EQ(Compare(Render(b, p), want), "");
    EXPECT_EQ(p.BMPVersion, n.find("os2") != std::string::npos                      ? 2
                            : (n.rfind("im_5", 0) == 0 || n.rfind("im_v5", 0) == 0) ? 0
                                                                                    : 1);
  }
}

TEST(BMPReader, OneBitPalettes) {
  // 3 x 2, bottom row first: bits 101 and 010.
  for (bool whiteFirst : {false, true}) {
    TBMPBuilder f;
    f.FileHeader(0, 14 + 40 + 8);
    f.Info(40, 3, 2, 1, 0, 2);
    if (whiteFirst) f.Pal({kWhite, kBlack});
    else f.Pal({kBlack, kWhite});
    f.U32(0x000000A0), f.U32(0x00000040);
    TBitmap b;
    TIOParamsVals p(nullptr);
    ASSERT_TRUE(ReadBMPBytes(f.B, b, p));
    ASSERT_EQ(b.PixelFormat(), pf1bit);
    // Bit 1 stays white: with white first the bits are turned round.
    uint8_t top = b.ScanLine(0)[0] & 0xE0, bottom = b.ScanLine(1)[0] & 0xE0;
    EXPECT_EQ(top, whiteFirst ? 0xA0 : 0x40);
    EXPECT_EQ(bottom, whiteFirst ? 0x40 : 0xA0);
    EXPECT_EQ(p.ColorMapCount, 2);
    EXPECT_EQ(p.BitsPerSample, 1);
    EXPECT_EQ(p.SamplesPerPixel, 1);
  }
}

TEST(BMPReader, FourBitOddWidthAndLongHeader) {
  // Width 5: the fifth pixel sits in the high nibble of the third byte.
  TBMPBuilder f;
  f.FileHeader(0, 14 + 40 + 4 * 4);
  f.Info(40, 5, 1, 4, 0, 4, 0);
  f.Pal({kBlack, kRed, kGreen, kBlue});
  f.U8(0x12), f.U8(0x30), f.U8(0x2F), f.U8(0);
  TBitmap b;
  TIOParamsVals p(nullptr);
  std::string why;
  ASSERT_TRUE(ReadBMPBytes(f.B, b, p, false, nullptr, &why)) << why;
  ASSERT_EQ(b.Width(), 5);
  EXPECT_EQ(At(b, 0, 0), kRed);
  EXPECT_EQ(At(b, 1, 0), kGreen);
  EXPECT_EQ(At(b, 2, 0), kBlue);
  EXPECT_EQ(At(b, 3, 0), kBlack);
  EXPECT_EQ(At(b, 4, 0), kGreen);
  EXPECT_EQ(p.DpiX, ScreenPixelsPerInch());  // 0 pixels per metre
  EXPECT_EQ(p.DpiY, ScreenPixelsPerInch());

  // An 8-bit file with a 108-byte header: the palette follows the header, and no pixel data
  // offset is needed to find the pixels.
  TBMPBuilder g;
  g.FileHeader(0, 0);
  g.Info(108, 2, 2, 8, 0, 3, 3780);
  g.Pal({kRed, kGreen, kBlue});
  g.U8(0), g.U8(1), g.U16(0), g.U8(2), g.U8(2), g.U16(0);
  ASSERT_TRUE(ReadBMPBytes(g.B, b, p, false, nullptr, &why)) << why;
  EXPECT_EQ(p.BMPVersion, 0);
  EXPECT_EQ(p.DpiX, 96);
  EXPECT_EQ(At(b, 0, 1), kRed);
  EXPECT_EQ(At(b, 1, 1), kGreen);
  EXPECT_EQ(At(b, 0, 0), kBlue);
  EXPECT_EQ(At(b, 1, 0), kBlue);
}

TEST(BMPReader, CompressedDataAndDeltas) {
  // RLE8 4 x 3: a run, an end of line, a delta right and up, a literal, end of bitmap.
  TBMPBuilder f;
  f.FileHeader(0, 14 + 40 + 12);
  f.Info(40, 4, 3, 8, 1, 3);
  f.Pal({kRed, kGreen, kBlue});
  const uint8_t codes[] = {4, 1, 0, 0, 0, 2, 1, 1, 0, 3, 2, 0, 1, 0, 0, 1};
  f.B.insert(f.B.end(), codes, codes + sizeof codes);
  TBitmap b;
  TIOParamsVals p(nullptr);
  std::string why;
  ASSERT_TRUE(ReadBMPBytes(f.B, b, p, false, nullptr, &why)) << why;
  for (int x = 0; x < 4; ++x) EXPECT_EQ(At(b, x, 2), kGreen);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(At(b, x, 1), kBlack);  // skipped by the delta
  EXPECT_EQ(At(b, 0, 0), kBlack);
  EXPECT_EQ(At(b, 1, 0), kBlue);  // the delta moved one column right of column 0
  EXPECT_EQ(At(b, 2, 0), kRed);
  EXPECT_EQ(At(b, 3, 0), kGreen);
  EXPECT_TRUE(p.BMPCompression);

  // A run past the end of the row draws the row and drops the rest; data that stop inside the
  // picture keep what they drew.
  std::vector<uint8_t> past = f.B;
  past[14 + 40 + 12] = 5;
  ASSERT_TRUE(ReadBMPBytes(past, b, p, false, nullptr, &why)) << why;
  for (int x = 0; x < 4; ++x) EXPECT_EQ(At(b, x, 2), kGreen);
  EXPECT_EQ(At(b, 1, 0), kBlue);
  std::vector<uint8_t> cut(f.B.begin(), f.B.end() - 8);
  ASSERT_TRUE(ReadBMPBytes(cut, b, p, false, nullptr, &why)) << why;
  for (int x = 0; x < 4; ++x) EXPECT_EQ(At(b, x, 2), kGreen);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(At(b, x, 0), kBlack);
}

TEST(BMPReader, DamageThatLeavesThePictureIsReadThrough) {
  TBitmap b;
  TIOParamsVals p(nullptr);
  std::string why;
  // A run of 9 in a 5-pixel row (RLE8 and RLE4): five pixels drawn, the rest dropped, and the
  // codes after it still read. The top row: a literal with an index past the map (black).
  for (bool four : {false, true}) {
    SCOPED_TRACE(four ? "RLE4" : "RLE8");
    TBMPBuilder f;
    f.FileHeader(0, 14 + 40 + 12);
    f.Info(40, 5, 2, four ? 4 : 8, four ? 2 : 1, 3);
    f.Pal({kRed, kGreen, kBlue});
    f.U8(9), f.U8(four ? 0x12 : 1), f.U8(3), f.U8(four ? 0x22 : 2), f.U8(0), f.U8(0);
    if (four) f.U8(0), f.U8(5), f.U8(0x27), f.U8(0x01), f.U8(0x20), f.U8(0);
    else f.U8(0), f.U8(5), f.U8(2), f.U8(7), f.U8(0), f.U8(1), f.U8(2), f.U8(0);
    f.U8(0), f.U8(1);
    f.Finish();
    ASSERT_TRUE(ReadBMPBytes(f.B, b, p, false, nullptr, &why)) << why;
    const TRGB bottom[5] = {kGreen, four ? kBlue : kGreen, kGreen, four ? kBlue : kGreen, kGreen};
    const TRGB top[5] = {kBlue, kBlack, kRed, kGreen, kBlue};
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(At(b, x, 1), bottom[x]) << x;
      EXPECT_EQ(At(b, x, 0), top[x]) << x;
    }
  }
  // Uncompressed indices past the map are black; a 4-bit file too.
  TBMPBuilder u;
  u.FileHeader(0, 14 + 40 + 8);
  u.Info(40, 3, 1, 8, 0, 2);
  u.Pal({kRed, kGreen});
  u.U8(0), u.U8(200), u.U8(1), u.U8(0);
  u.Finish();
  ASSERT_TRUE(ReadBMPBytes(u.B, b, p, false, nullptr, &why)) << why;
  EXPECT_EQ(At(b, 0, 0), kRed);
  EXPECT_EQ(At(b, 1, 0), kBlack);
  EXPECT_EQ(At(b, 2, 0), kGreen);
  TBMPBuilder n;
  n.FileHeader(0, 14 + 40 + 8);
  n.Info(40, 3, 1, 4, 0, 2);
  n.Pal({kRed, kGreen});
  n.U8(0x1F), n.U8(0x00), n.U16(0);
  n.Finish();
  ASSERT_TRUE(ReadBMPBytes(n.B, b, p, false, nullptr, &why)) << why;
  EXPECT_EQ(At(b, 0, 0), kGreen);
  EXPECT_EQ(At(b, 1, 0), kBlack);
  EXPECT_EQ(At(b, 2, 0), kRed);

  // RLE data without the end code, cut in the middle of a code: the rows decoded stay, the
  // row not reached stays black.
  TBMPBuilder r;
  r.FileHeader(0, 14 + 40 + 8);
  r.Info(40, 3, 3, 8, 1, 2);
  r.Pal({kRed, kGreen});
  r.U8(3), r.U8(1), r.U8(0), r.U8(0), r.U8(2), r.U8(0), r.U8(0);
  ASSERT_TRUE(ReadBMPBytes(r.B, b, p, false, nullptr, &why)) << why;
  for (int x = 0; x < 3; ++x) EXPECT_EQ(At(b, x, 2), kGreen);
  EXPECT_EQ(At(b, 0, 1), kRed);
  EXPECT_EQ(At(b, 1, 1), kRed);
  EXPECT_EQ(At(b, 2, 1), kBlack);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(At(b, x, 0), kBlack);
  // With no compressed byte at all the picture can't be read.
  r.B.resize(14 + 40 + 8);
  EXPECT_FALSE(ReadBMPBytes(r.B, b, p, false, nullptr, &why));
  EXPECT_EQ(why, "compressed data missing");

  // A file size field larger than the data: read when the pixels are all there, with and
  // without a data length from the caller; refused when they are not.
  TBMPBuilder z;
  z.FileHeader(0, 14 + 40);
  z.Info(40, 2, 2, 24, 0, 0);
  z.U8(1), z.U8(2), z.U8(3), z.U8(4), z.U8(5), z.U8(6), z.U16(0);
  z.U8(7), z.U8(8), z.U8(9), z.U8(10), z.U8(11), z.U8(12), z.U16(0);
  z.B[2] = 0x40, z.B[3] = 0x42, z.B[4] = 0x0F;  // 1000000 bytes
  ASSERT_TRUE(ReadBMPBytes(z.B, b, p, false, nullptr, &why)) << why;
  EXPECT_EQ(At(b, 0, 1), (TRGB{1, 2, 3}));
  EXPECT_EQ(At(b, 1, 0), (TRGB{10, 11, 12}));
  {
    TReadOnlyMemoryStream s(z.B.data(), int64_t(z.B.size()));
    bool abort = false;
    TFilterProgress pr;
    pr.AbortFlag = &abort;
    TBitmap c;
    ReadBMPStream(&s, &c, p, 1000000, pr, false);
    EXPECT_FALSE(abort);
    EXPECT_EQ(At(c, 1, 0), (TRGB{10, 11, 12}));
  }
  z.B.resize(z.B.size() - 4);
  EXPECT_FALSE(ReadBMPBytes(z.B, b, p, false, nullptr, &why));
  EXPECT_EQ(why, "pixel data cut short");
}

TEST(BMPReader, ParamsOnlyProgressAndTruncation) {
  auto bytes = ReadFileBytes(kData + "nb_win24.bmp");
  TBitmap b;
  b.SetPixelFormat(pf1bit);
  b.SetSize(3, 3);
  b.ScanLine(1)[0] = 0x5A;
  TIOParamsVals p(nullptr);
  ASSERT_TRUE(ReadBMPBytes(bytes, b, p, true));
  EXPECT_EQ(p.Width, 21);
  EXPECT_EQ(p.Height, 9);
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  EXPECT_EQ(b.PixelFormat(), pf1bit);
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.ScanLine(1)[0], 0x5A);

  // A handler that aborts at its first call: the picture has the file's size, no row drawn.
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  std::vector<int> calls;
  pr.OnProgress = [&](TObject*, int pc) {
    calls.push_back(pc);
    abort = true;
  };
  TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
  ReadBMPStream(&s, &b, p, 0, pr, false);
  EXPECT_TRUE(abort);
  EXPECT_EQ(calls, std::vector<int>{0});
  ASSERT_EQ(b.Width(), 21);
  ASSERT_EQ(b.Height(), 9);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  for (int y = 0; y < 9; ++y) EXPECT_EQ(At(b, 20, y), kBlack);

  // Progress before each row: 0, 11, 22, ... 88.
  abort = false;
  calls.clear();
  pr.OnProgress = [&](TObject*, int pc) { calls.push_back(pc); };
  s.SetPosition(0);
  ReadBMPStream(&s, &b, p, 0, pr, false);
  EXPECT_FALSE(abort);
  ASSERT_EQ(calls.size(), 9u);
  EXPECT_EQ(calls[1], 11);
  EXPECT_EQ(calls[8], 88);

  // A cut file, with and without a file size in its header, and the picture stays as it was.
  for (bool keepSize : {true, false}) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 70);
    if (!keepSize) std::fill(cut.begin() + 2, cut.begin() + 6, 0);
    TBitmap c;
    c.SetSize(2, 2);
    std::string why;
    EXPECT_FALSE(ReadBMPBytes(cut, c, p, false, nullptr, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(c.Width(), 2);
  }
  // A params-only read looks at the headers alone.
  {
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 70);
    std::fill(cut.begin() + 2, cut.begin() + 6, 0);
    TIOParamsVals q(nullptr);
    TBitmap c;
    EXPECT_TRUE(ReadBMPBytes(cut, c, q, true));
    EXPECT_EQ(q.Width, 21);
  }
  // Headers cut anywhere never read.
  for (size_t n = 0; n < 70; ++n) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + n);
    TBitmap c;
    EXPECT_FALSE(ReadBMPBytes(cut, c, p)) << n;
  }
  // The handler's own exception leaves the codec as it is.
  pr.OnProgress = [&](TObject*, int) { throw EAbort(); };
  s.SetPosition(0);
  EXPECT_THROW(ReadBMPStream(&s, &b, p, 0, pr, false), EAbort);
}

TEST(BMPReader, DataLengthAndOffsets) {
  // Two BMPs in one stream: the first read with its length, the second after it.
  auto one = ReadFileBytes(kData + "nb_win4.bmp");
  auto two = ReadFileBytes(kData + "pil_24.bmp");
  std::vector<uint8_t> both = one;
  both.insert(both.end(), two.begin(), two.end());
  TReadOnlyMemoryStream s(both.data(), int64_t(both.size()));
  TBitmap b;
  TIOParamsVals p(nullptr);
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  ReadBMPStream(&s, &b, p, int64_t(one.size()), pr, false);
  EXPECT_FALSE(abort);
  s.SetPosition(int64_t(one.size()));
  ReadBMPStream(&s, &b, p, 0, pr, false);
  EXPECT_FALSE(abort);
  EXPECT_EQ(Compare(Render(b, p), LoadPNG(kData + "pil_24.png")), "");

  // A pixel offset past the end is refused. A huge colour count reads the palette up to the
  // pixels; masks that overlap are applied as they stand.
  auto bad = one;
  bad[10] = 0xFF, bad[11] = 0xFF;
  EXPECT_FALSE(ReadBMPBytes(bad, b, p));
  bad = one;
  bad[46] = 0xFF, bad[47] = 0xFF;  // colours used 65535
  ASSERT_TRUE(ReadBMPBytes(bad, b, p));
  EXPECT_EQ(p.ColorMapCount, 16);
  EXPECT_EQ(Compare(Render(b, p), LoadPNG(kData + "nb_win4.png")), "");
  auto bf = ReadFileBytes(kData + "im_565.bmp");
  bf[14 + 44] = 0xFF;  // green mask 0x07FF overlaps blue
  ASSERT_TRUE(ReadBMPBytes(bf, b, p));
  const int v = bf[138] | bf[139] << 8;  // bottom left pixel
  EXPECT_EQ(b.ScanLine(b.Height() - 1)[1], uint8_t((v & 0x7FF) >> 3));
  EXPECT_EQ(b.ScanLine(b.Height() - 1)[0], uint8_t((v & 0x1F) << 3));
}

TEST(BMPReader, SixteenBitChannelsAndMasks) {
  auto pixelOf = [](const std::vector<uint8_t>& file) {
    TBitmap b;
    TIOParamsVals p(nullptr);
    std::string why;
    EXPECT_TRUE(ReadBMPBytes(file, b, p, false, nullptr, &why)) << why;
    return b.Empty() ? TRGB{1, 2, 3} : At(b, 0, 0);
  };
  // 5-5-5: each channel value v becomes v x 8.
  TBMPBuilder f;
  f.FileHeader(0, 14 + 40);
  f.Info(40, 2, 1, 16, 0, 0);
  f.U16((31 << 10) | (1 << 5) | 30), f.U16(0);
  EXPECT_EQ(pixelOf(f.B), (TRGB{240, 8, 248}));

  // 5-6-5 masks after a 40-byte header: green 63 gives 252.
  TBMPBuilder g;
  g.FileHeader(0, 14 + 40 + 12);
  g.Info(40, 2, 1, 16, 3, 0);
  g.U32(0xF800), g.U32(0x07E0), g.U32(0x001F);
  g.U16((3 << 11) | (63 << 5) | 1), g.U16(0);
  EXPECT_EQ(pixelOf(g.B), (TRGB{8, 252, 24}));

  // The 64-byte header holds no masks of its own: they follow it, as after 40 bytes.
  TBMPBuilder o;
  o.FileHeader(0, 14 + 64 + 12);
  o.Info(64, 2, 1, 16, 3, 0);
  for (int i = 40; i < 52; ++i) o.B[size_t(14 + i)] = 0xFF;
  o.U32(0xF800), o.U32(0x07E0), o.U32(0x001F);
  o.U16((3 << 11) | (63 << 5) | 1), o.U16(0);
  EXPECT_EQ(pixelOf(o.B), (TRGB{8, 252, 24}));

  // 32 bits with 10-bit masks keep the top 8 bits of each channel.
  TBMPBuilder t;
  t.FileHeader(0, 14 + 40 + 12);
  t.Info(40, 1, 1, 32, 3, 0);
  t.U32(0x3FF00000), t.U32(0x000FFC00), t.U32(0x000003FF);
  t.U32((uint32_t(1023) << 20) | (uint32_t(4 * 100 + 3) << 10) | 7);
  EXPECT_EQ(pixelOf(t.B), (TRGB{1, 100, 255}));
}

TEST(BMPReader, CompressedProgressCountsTheRowEntered) {
  // RLE8 2 x 4: each end of line reports (rows done + 1) x 25; the last one ends the picture.
  TBMPBuilder f;
  f.FileHeader(0, 14 + 40 + 8);
  f.Info(40, 2, 4, 8, 1, 2);
  f.Pal({kRed, kGreen});
  for (int r = 0; r < 4; ++r) f.U8(2), f.U8(r & 1), f.U8(0), f.U8(0);
  std::vector<int> calls;
  TBitmap b;
  TIOParamsVals p(nullptr);
  ASSERT_TRUE(ReadBMPBytes(f.B, b, p, false, [&](TObject*, int pc) { calls.push_back(pc); }));
  EXPECT_EQ(calls, (std::vector<int>{50, 75, 100}));
  EXPECT_EQ(At(b, 1, 3), kRed);
  EXPECT_EQ(At(b, 1, 0), kGreen);

  // A handler that aborts at its first call leaves the rows above the first one undrawn.
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  pr.OnProgress = [&](TObject*, int) { abort = true; };
  TReadOnlyMemoryStream s(f.B.data(), int64_t(f.B.size()));
  TBitmap c;
  ReadBMPStream(&s, &c, p, 0, pr, false);
  EXPECT_TRUE(abort);
  ASSERT_EQ(c.Height(), 4);
  EXPECT_EQ(At(c, 0, 3), kRed);
  EXPECT_EQ(At(c, 0, 2), kBlack);
}

// Files are read many rows at a time: the bitmap must be what a read from memory gives, with
// its padding zero, in a new bitmap and in one of the same shape holding another picture; and
// rows an abort keeps the reader from are black.
TEST(BMPReader, FileReadsMatchMemoryReads) {
  const std::string path = "/tmp/vl_bmpchunks_" + std::to_string(getpid()) + ".bmp";
  const int w = 1001, h = 300;  // about 900 KB, rows of 3003 bytes and one of padding
  for (int bits : {24, 1})
    for (bool topDown : {false, true}) {
      const int64_t rowLen = BitmapRowBytes(w, bits);
      TBMPBuilder f;
      f.FileHeader(0, bits == 1 ? 62 : 54);
      f.Info(40, w, topDown ? -h : h, bits, 0, 0);
      if (bits == 1) f.Pal({kBlack, kWhite});
      for (int r = 0; r < h; ++r)
        for (int64_t i = 0; i < rowLen; ++i) f.U8(int((i * 7 + r * 13) ^ (i >> 5)));  // padding not zero
      f.Finish();
      {
        TFileStream out(path, fmCreate);
        out.WriteBuffer(f.B.data(), int64_t(f.B.size()));
      }
      const std::string what = std::to_string(bits) + (topDown ? " top-down" : " bottom-up");
      TBitmap mem;
      TIOParamsVals p(nullptr);
      ASSERT_TRUE(ReadBMPBytes(f.B, mem, p)) << what;
      auto fromFile = [&](TBitmap& b, int abortAt) {
        bool abort = false;
        TFilterProgress pr;
        pr.AbortFlag = &abort;
        int rows = 0;
        pr.OnProgress = [&](TObject*, int) {
          if (++rows > abortAt) abort = true;
        };
        TFileStream in(path, fmOpenRead);
        ReadBMPStream(&in, &b, p, in.Size(), pr, false);
        return abort;
      };
      TBitmap fresh;
      EXPECT_FALSE(fromFile(fresh, h));
      ASSERT_EQ(fresh.ImageSize(), mem.ImageSize()) << what;
      EXPECT_EQ(std::memcmp(fresh.Bits(), mem.Bits(), size_t(mem.ImageSize())), 0) << what;
      for (int y = 0; y < h; ++y) EXPECT_EQ(fresh.ScanLine(y)[fresh.RowBytes() - 1], 0) << what << " " << y;
      TBitmap used;
      used.Allocate(w, h, bits == 1 ? pf1bit : pf24bit);
      std::memset(used.Bits(), 0xEE, size_t(used.ImageSize()));
      EXPECT_FALSE(fromFile(used, h));
      EXPECT_EQ(std::memcmp(used.Bits(), mem.Bits(), size_t(mem.ImageSize())), 0) << what;

      TBitmap cut;
      EXPECT_TRUE(fromFile(cut, 100));
      ASSERT_EQ(cut.Height(), h);
      for (int r = 0; r < h; ++r) {
        const int y = topDown ? r : h - 1 - r;
        const uint8_t* row = cut.ScanLine(y);
        if (r < 100) EXPECT_EQ(std::memcmp(row, mem.ScanLine(y), size_t(cut.RowBytes())), 0) << what << " " << r;
        else EXPECT_TRUE(std::all_of(row, row + cut.RowBytes(), [](uint8_t v) { return v == 0; })) << what << " " << r;
      }
    }
  std::remove(path.c_str());
}
