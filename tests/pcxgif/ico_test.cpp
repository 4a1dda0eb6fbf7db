#include <cstring>

#include "support.h"
#include "vistrel/codecs/bmp.h"
#include "vistrel/codecs/ico.h"

using namespace pcxgif;

namespace {

bool ReadIcon(const std::vector<uint8_t>& d, TBitmap& b, TIOParamsVals& p, bool cursor, bool paramsOnly = false,
              std::string* why = nullptr) {
  TTestProgress pr;
  TReadOnlyMemoryStream s(d.data(), int64_t(d.size()));
  if (cursor) ReadCURStream(&s, &b, p, pr.P, paramsOnly);
  else ReadICOStream(&s, &b, p, pr.P, paramsOnly);
  if (why) *why = pr.P.AbortReason;
  return !pr.Abort;
}

}  // namespace

TEST(ICO, ReadsEachImageOfAnIconFile) {
  const std::vector<uint8_t> f = ReadAll(Data("im_multi.ico"));
  struct {
    int Bits, Size, MapCount;
  } want[] = {{1, 16, 2}, {4, 32, 16}, {8, 48, 256}, {8, 24, 0}, {0, 256, 0}};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    TBitmap b;
    TIOParamsVals p(nullptr);
    p.ICOImageIndex = i;
    std::string why;
    ASSERT_TRUE(ReadIcon(f, b, p, false, false, &why)) << why;
    EXPECT_EQ(p.Width, want[i].Size);
    EXPECT_EQ(p.Height, want[i].Size);
    if (want[i].Bits) {
      EXPECT_EQ(p.BitsPerSample, want[i].Bits);
      EXPECT_EQ(p.ColorMapCount, want[i].MapCount);
    }
    // The 2-colour entry has a coloured palette, so it is drawn through it in 24 bits.
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_EQ(Differences(&b, ReadPpm(Data("im_multi_" + std::to_string(i) + ".ppm"))), 0);
  }
  // Past the last image: the abort flag, and the bitmap as it was.
  TBitmap b;
  b.SetPixelFormat(pf1bit);
  b.SetSize(5, 5);
  TIOParamsVals p(nullptr);
  p.ICOImageIndex = 5;
  EXPECT_FALSE(ReadIcon(f, b, p, false));
  EXPECT_EQ(b.Width(), 5);
  p.ICOImageIndex = -1;
  EXPECT_FALSE(ReadIcon(f, b, p, false));
  // Params only: sizes and the colour map, the bitmap untouched.
  p.ICOImageIndex = 1;
  ASSERT_TRUE(ReadIcon(f, b, p, false, true));
  EXPECT_EQ(b.Width(), 5);
  EXPECT_EQ(p.Width, 32);
  EXPECT_EQ(p.ColorMapCount, 16);
}

TEST(ICO, TwentyFourBitAndBlackAndWhiteEntries) {
  TBitmap b;
  TIOParamsVals p(nullptr);
  ASSERT_TRUE(ReadIcon(ReadAll(Data("hand_24.ico")), b, p, false));
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  EXPECT_EQ(p.Width, 20);
  EXPECT_EQ(p.Height, 12);
  EXPECT_EQ(p.DpiX, 96);  // 3780 pixels a metre
  EXPECT_EQ(Differences(&b, ReadPpm(Data("hand_24.ppm"))), 0);
  // A white, black palette: a 1-bit bitmap with black as 0.
  TBitmap w;
  ASSERT_TRUE(ReadIcon(ReadAll(Data("hand_wb.ico")), w, p, false));
  EXPECT_EQ(w.PixelFormat(), pf1bit);
  TBitmap c;
  TIOParamsVals q(nullptr);
  ASSERT_TRUE(ReadIcon(ReadAll(Data("im_multi.ico")), c, q, false));
  // Same bits, palette entries 0 and 1 now white and black: white where entry 0 was used.
  const TRGB zero = q.ColorMap[0];
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      uint8_t a[3], o[3];
      PixelRgb(&w, x, y, a);
      PixelRgb(&c, x, y, o);
      EXPECT_EQ(a[0] == 255, o[0] == zero.R && o[1] == zero.G && o[2] == zero.B) << x << "," << y;
    }
}

TEST(ICO, CursorsAndTheirHotSpots) {
  const std::vector<uint8_t> f = ReadAll(Data("im.cur"));
  const int hot[2][2] = {{3, 5}, {17, 30}};
  for (int i = 0; i < 2; ++i) {
    TBitmap b;
    TIOParamsVals p(nullptr);
    p.CURImageIndex = i;
    ASSERT_TRUE(ReadIcon(f, b, p, true));
    EXPECT_EQ(p.CURXHotSpot, hot[i][0]);
    EXPECT_EQ(p.CURYHotSpot, hot[i][1]);
    EXPECT_EQ(p.BitsPerSample, i == 0 ? 4 : 8);
    EXPECT_EQ(Differences(&b, ReadPpm(Data("im_cur_" + std::to_string(i) + ".ppm"))), 0);
  }
  TReadOnlyMemoryStream s(f.data(), int64_t(f.size()));
  EXPECT_TRUE(IsCURStream(&s));
  EXPECT_FALSE(IsICOStream(&s));
  EXPECT_EQ(s.Position(), 0);
}

TEST(ICO, TellsIconsApartAndRejectsBadFiles) {
  const std::vector<uint8_t> icon = ReadAll(Data("im_multi.ico"));
  {
    TReadOnlyMemoryStream s(icon.data(), int64_t(icon.size()));
    s.SetPosition(0);
    EXPECT_TRUE(IsICOStream(&s));
    EXPECT_FALSE(IsCURStream(&s));
  }
  std::vector<uint8_t> empty(23, 0);
  empty[2] = 1;
  {
    TReadOnlyMemoryStream s(empty.data(), 23);
    EXPECT_TRUE(IsICOStream(&s));  // no images, but a directory
    TReadOnlyMemoryStream t(empty.data(), 22);
    EXPECT_FALSE(IsICOStream(&t));
  }
  std::vector<uint8_t> bad = icon;
  bad[6 + 3] = 1;  // reserved byte of the first entry
  {
    TReadOnlyMemoryStream s(bad.data(), int64_t(bad.size()));
    EXPECT_FALSE(IsICOStream(&s));
  }
  // Every truncation and a scattering of changed bytes: no crash.
  for (size_t n = 0; n < icon.size(); n += n < 8200 ? 3 : 211) {
    std::vector<uint8_t> d(icon.begin(), icon.begin() + long(n));
    for (int i = 0; i < 5; ++i) {
      TBitmap b;
      TIOParamsVals p(nullptr);
      p.ICOImageIndex = i;
      ReadIcon(d, b, p, false);
    }
  }
  for (size_t at = 0; at < 200; ++at) {
    std::vector<uint8_t> d = icon;
    d[at] ^= 0xA5;
    TBitmap b;
    TIOParamsVals p(nullptr);
    p.ICOImageIndex = int(at % 4);
    ReadIcon(d, b, p, false);
    ReadIcon(d, b, p, true);
  }
  // An entry whose offset points past the end.
  bad = icon;
  bad[6 + 12] = 0xFF;
  bad[6 + 15] = 0x7F;
  TBitmap b;
  TIOParamsVals p(nullptr);
  std::string why;
  EXPECT_FALSE(ReadIcon(bad, b, p, false, false, &why));
  EXPECT_EQ(why, "bad image offset");
}

TEST(ICO, BitmapContentReadsAsBMP) {
  TBitmap src;
  Pattern24(src, 5, 3);
  TIOParamsVals w(nullptr);
  TTestProgress pr;
  TMemoryStream m;
  WriteBMPStream(&m, &src, w, pr.P);
  ASSERT_FALSE(pr.Abort);
  TBitmap b;
  TIOParamsVals p(nullptr);
  ASSERT_TRUE(ReadIcon(Bytes(m), b, p, false));
  EXPECT_EQ(Differences(&b, &src), 0);
  // Not for cursors.
  EXPECT_FALSE(ReadIcon(Bytes(m), b, p, true));
}

TEST(ICO, ABitmapEntryOfZeroWidthAndHeightBytesIs256Square) {
  // A 16-colour 256 x 256 entry stored as a bitmap, not a PNG: index (x ^ y) & 15, colour
  // i is (16 i, 255 - 16 i, i).
  std::vector<uint8_t> f;
  auto le = [&f](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) f.push_back(uint8_t(v >> (8 * i)));
  };
  le(0, 2), le(1, 2), le(1, 2);                                 // header
  le(0, 1), le(0, 1), le(16, 1), le(0, 1), le(1, 2), le(4, 2);  // 0 x 0 bytes, 16 colours
  const uint32_t size = 40 + 64 + 256 * 128 + 256 * 32;
  le(size, 4), le(22, 4);
  le(40, 4), le(256, 4), le(512, 4), le(1, 2), le(4, 2), le(0, 4), le(0, 4), le(0, 4), le(0, 4), le(16, 4), le(0, 4);
  for (uint32_t i = 0; i < 16; ++i) le(i | (255 - 16 * i) << 8 | (16 * i) << 16, 4);
  for (int row = 255; row >= 0; --row)  // bottom up
    for (int x = 0; x < 256; x += 2) f.push_back(uint8_t((((x ^ row) & 15) << 4) | (((x + 1) ^ row) & 15)));
  f.resize(f.size() + 256 * 32, 0);  // the mask
  TBitmap b;
  TIOParamsVals p(nullptr);
  std::string why;
  ASSERT_TRUE(ReadIcon(f, b, p, false, false, &why)) << why;
  EXPECT_EQ(p.Width, 256);
  EXPECT_EQ(p.Height, 256);
  ASSERT_EQ(b.Width(), 256);
  ASSERT_EQ(b.Height(), 256);
  for (auto [x, y] : {std::pair{0, 0}, {255, 0}, {0, 255}, {255, 255}, {7, 200}, {130, 3}}) {
    const int i = (x ^ y) & 15;
    uint8_t rgb[3];
    PixelRgb(&b, x, y, rgb);
    EXPECT_EQ(rgb[0], 16 * i) << x << "," << y;
    EXPECT_EQ(rgb[1], 255 - 16 * i) << x << "," << y;
    EXPECT_EQ(rgb[2], i) << x << "," << y;
  }
}
