// Hostile TIFF files: tiny files that declare huge pictures, strip byte counts and strip tables
// far larger than the picture, small pictures inside huge sparse files. Each is refused, or read
// with its pixels right, while a child process watches that memory stays under a cap.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "support/hostile.h"
#include "tiff/tiff_support.h"
#include "vistrel/codecs/ccitt.h"
#include "vistrel/codecs/tiff.h"

using namespace tifftest;

namespace {

constexpr int64_t kCapMB = 64;
constexpr int64_t kHugeFile = int64_t(3) << 30;
constexpr int kW = 40, kH = 30;

struct TEntry {
  uint16_t Tag, Type;
  uint32_t Count, Value;
};

// A little-endian file: header, the strip at offset 8, then the IFD.
std::vector<uint8_t> MakeTIFF(const std::vector<TEntry>& entries, const std::vector<uint8_t>& strip) {
  std::vector<uint8_t> f = {'I', 'I', 42, 0, 0, 0, 0, 0};
  f.insert(f.end(), strip.begin(), strip.end());
  if (f.size() & 1) f.push_back(0);
  const uint32_t ifd = uint32_t(f.size());
  std::memcpy(&f[4], &ifd, 4);
  auto put16 = [&](uint32_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
  auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
  put16(uint32_t(entries.size()));
  for (const TEntry& e : entries) {
    put16(e.Tag), put16(e.Type), put32(e.Count);
    if (e.Type == 3 && e.Count == 1) put16(e.Value), put16(0);
    else put32(e.Value);
  }
  put32(0);
  return f;
}

std::vector<TEntry> Tags(uint32_t w, uint32_t h, uint32_t bits, uint32_t samples, uint32_t compression,
                         uint32_t photometric, uint32_t byteCount) {
  std::vector<TEntry> e = {{256, 4, 1, w},           {257, 4, 1, h}, {258, 3, 1, bits},   {259, 3, 1, compression},
                           {262, 3, 1, photometric}, {273, 4, 1, 8}, {277, 3, 1, samples}};
  if (byteCount) e.push_back({279, 4, 1, byteCount});
  return e;
}

// The colour picture: red x * 5 + y, green y * 7, blue x xor y.
std::vector<uint8_t> RgbRows() {
  std::vector<uint8_t> d;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      d.push_back(uint8_t(x * 5 + y)), d.push_back(uint8_t(y * 7)), d.push_back(uint8_t(x ^ y));
  return d;
}
bool RgbRight(TBitmap& b) {
  if (b.Width() != kW || b.Height() != kH || b.PixelFormat() != pf24bit) return false;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const uint8_t* p = b.ScanLine(y) + 3 * x;
      if (p[2] != uint8_t(x * 5 + y) || p[1] != uint8_t(y * 7) || p[0] != uint8_t(x ^ y)) return false;
    }
  return true;
}

// The bilevel picture: white (1) where (x / 3 + y / 2) is odd.
uint8_t BitAt(int x, int y) { return uint8_t((x / 3 + y / 2) & 1); }
bool BilevelRight(TBitmap& b) {
  if (b.Width() != kW || b.Height() != kH || b.PixelFormat() != pf1bit) return false;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (((b.ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1) != BitAt(x, y)) return false;
  return true;
}

// Fax codes of the bilevel picture (the coders take black as 1 bits).
std::vector<uint8_t> FaxStrip(int compression) {
  TMemoryStream m;
  const uint8_t* ref = nullptr;
  int pendingBits = 0;
  uint8_t pendingByte = 0;
  std::vector<std::vector<uint8_t>> rows(kH, std::vector<uint8_t>((kW + 7) / 8, 0));
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x)
      if (!BitAt(x, y)) rows[size_t(y)][size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
    if (compression == 2) CCITTEncodeMHRow(rows[size_t(y)].data(), kW, &m);
    else CCITTEncodeG4Row(rows[size_t(y)].data(), kW, &m, ref, pendingBits, pendingByte);
  }
  if (compression == 4) CCITTEncodeG4Row(nullptr, 0, &m, ref, pendingBits, pendingByte);
  return std::vector<uint8_t>(static_cast<const uint8_t*>(m.Memory()),
                              static_cast<const uint8_t*>(m.Memory()) + m.Size());
}

std::vector<uint8_t> Coded(const std::vector<uint8_t>& raw, int compression) {
  TMemoryStream m;
  if (compression == 32773) {
    for (size_t at = 0; at < raw.size(); at += kW * 3) TIFFPackBitsEncode(raw.data() + at, kW * 3, &m);
  } else {
    void* state = nullptr;
    TestLZWEncode(raw.data(), int32_t(raw.size()), &m, state);
    TestLZWEncode(nullptr, 0, &m, state);
  }
  return std::vector<uint8_t>(static_cast<const uint8_t*>(m.Memory()),
                              static_cast<const uint8_t*>(m.Memory()) + m.Size());
}

// Reads bytes held in memory under the cap; true when the bitmap was left untouched.
vltest::TCappedRead ReadHeld(std::vector<uint8_t> bytes) {
  return vltest::RunCappedRead(kCapMB, [bytes = std::move(bytes)](TFilterProgress& pr) {
    TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
    TBitmap b;
    TIOParamsVals p(nullptr);
    p.TIFFLZWDecompress = TestLZWDecode;
    int count = 0;
    ReadTIFFStream(&b, &s, count, p, pr, false);
    return b.Empty();
  });
}

}  // namespace

TEST(TIFFHostile, HugeDeclaredPicturesAreRefusedBeforeAllocating) {
  struct {
    const char* Name;
    uint32_t W, H, Bits, Samples, Compression, Photometric;
  } cases[] = {
      {"RGB uncompressed", 40000, 30000, 8, 3, 1, 2},          {"RGB LZW", 26000, 26000, 8, 3, 5, 2},
      {"gray PackBits", 20000, 20000, 8, 1, 32773, 1},         {"bilevel Group 4", 300000, 60000, 1, 1, 4, 0},
      {"bilevel Huffman", 0xFFFFFFFF, 0xFFFFFFFF, 1, 1, 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<uint8_t> strip(200, 0x5A);
    auto f = MakeTIFF(Tags(c.W, c.H, c.Bits, c.Samples, c.Compression, c.Photometric, 0xFFFFFFF0), strip);
    ASSERT_LT(f.size(), 1024u);
    vltest::TCappedRead r = ReadHeld(f);
    EXPECT_TRUE(r.Cap.Finished) << "peak " << r.Cap.PeakGrowthKB << " KB";
    EXPECT_TRUE(r.Aborted);
    EXPECT_STREQ(r.Reason, "image too large");
    EXPECT_TRUE(r.Right);
  }
}

TEST(TIFFHostile, StripsReadNoMoreThanTheirRowsUse) {
  // 40 x 30 pictures at the start of 3 GB files whose strip byte count is 0xFFFFFFF0, or missing
  // (the strip then runs to the end of the file), in every coding.
  const std::vector<uint8_t> raw = RgbRows();
  struct {
    const char* Name;
    uint32_t Compression;
    bool Bilevel;
  } cases[] = {{"uncompressed", 1, false},
               {"PackBits", 32773, false},
               {"LZW", 5, false},
               {"Huffman", 2, true},
               {"Group 4", 4, true}};
  for (const auto& c : cases)
    for (uint32_t count : {0xFFFFFFF0u, 0u}) {
      SCOPED_TRACE(std::string(c.Name) + (count ? " with a huge count" : " without a count"));
      std::vector<uint8_t> strip = c.Bilevel            ? FaxStrip(int(c.Compression))
                                   : c.Compression == 1 ? raw
                                                        : Coded(raw, int(c.Compression));
      auto tags = Tags(kW, kH, c.Bilevel ? 1 : 8, c.Bilevel ? 1 : 3, c.Compression, c.Bilevel ? 0 : 2, count);
      vltest::TSparseFile file(kHugeFile, {{0, MakeTIFF(tags, strip)}});
      ASSERT_FALSE(file.Path.empty());
      vltest::TCappedRead r = vltest::RunCappedRead(kCapMB, [&](TFilterProgress& pr) {
        TFileStream s(file.Path, fmOpenRead);
        TBitmap b;
        TIOParamsVals p(nullptr);
        p.TIFFLZWDecompress = TestLZWDecode;
        int pages = 0;
        ReadTIFFStream(&b, &s, pages, p, pr, false);
        return c.Bilevel ? BilevelRight(b) : RgbRight(b);
      });
      EXPECT_TRUE(r.Cap.Finished) << "peak " << r.Cap.PeakGrowthKB << " KB";
      EXPECT_FALSE(r.Aborted) << r.Reason;
      EXPECT_TRUE(r.Right);
    }

  // Strip tables that claim a billion strips of a one-strip picture in a 3 GB file.
  auto tags = Tags(kW, kH, 8, 3, 1, 2, 0);
  tags[5] = {273, 4, 0x40000000, 0};
  tags.push_back({279, 4, 0x40000000, 0});
  std::vector<uint8_t> file = MakeTIFF(tags, raw);
  const uint32_t tables = uint32_t(file.size());
  std::memcpy(&file[file.size() - 4 - 12 * 3 + 8], &tables, 4);  // StripOffsets' offset
  const uint32_t counts = tables + 4;
  std::memcpy(&file[file.size() - 4 - 12 + 8], &counts, 4);  // StripByteCounts' offset
  const uint32_t first[2] = {8, uint32_t(raw.size())};
  file.insert(file.end(), reinterpret_cast<const uint8_t*>(first), reinterpret_cast<const uint8_t*>(first) + 8);
  vltest::TSparseFile sparse(kHugeFile, {{0, file}});
  vltest::TCappedRead r = vltest::RunCappedRead(kCapMB, [&](TFilterProgress& pr) {
    TFileStream s(sparse.Path, fmOpenRead);
    TBitmap b;
    TIOParamsVals p(nullptr);
    int pages = 0;
    ReadTIFFStream(&b, &s, pages, p, pr, false);
    return RgbRight(b);
  });
  EXPECT_TRUE(r.Cap.Finished) << "peak " << r.Cap.PeakGrowthKB << " KB";
  EXPECT_FALSE(r.Aborted) << r.Reason;
  EXPECT_TRUE(r.Right);
}

TEST(TIFFHostile, LzwStripCutShortEndsTheDecoderCleanly) {
  // The decoder is given no length: past the cut it meets codes it must refuse, and the rows
  // decoded before the cut stay.
  const std::vector<uint8_t> raw = RgbRows();
  std::vector<uint8_t> strip = Coded(raw, 5);
  strip.resize(strip.size() / 2);
  auto f = MakeTIFF(Tags(kW, kH, 8, 3, 5, 2, uint32_t(strip.size())), strip);
  TReadOnlyMemoryStream s(f.data(), int64_t(f.size()));
  TBitmap b;
  TIOParamsVals p(nullptr);
  p.TIFFLZWDecompress = TestLZWDecode;
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  int pages = 0;
  ReadTIFFStream(&b, &s, pages, p, pr, false);
  EXPECT_TRUE(abort);
  EXPECT_EQ(pr.AbortReason, "bad strip data");
  ASSERT_EQ(b.Height(), kH);
  const uint8_t* px = b.ScanLine(1) + 3 * 7;
  EXPECT_EQ(px[2], uint8_t(7 * 5 + 1));
  EXPECT_EQ(px[0], uint8_t(7 ^ 1));
}

// A real large picture still opens: 12000 x 9000 at 24 bits, in strips of 64 rows.
TEST(TIFFLarge, TwelveThousandByNineThousandOpens) {
  const uint32_t w = 12000, h = 9000, rps = 64, strips = (h + rps - 1) / rps;
  const std::string path = TempDir() + "/large.tif";
  {
    TFileStream out(path, fmCreate);
    const uint32_t data = 8, rowBytes = w * 3;
    const uint32_t ifd = data + rowBytes * h, tables = ifd + 2 + 10 * 12 + 4;
    auto put16 = [&](uint32_t v) { out.WriteWordLE(uint16_t(v)); };
    auto put32 = [&](uint32_t v) { out.WriteDWordLE(v); };
    put16(0x4949), put16(42), put32(ifd);
    std::vector<uint8_t> row(rowBytes);
    for (uint32_t y = 0; y < h; ++y) {
      for (uint32_t x = 0; x < w; ++x)
        row[x * 3] = uint8_t(x ^ y), row[x * 3 + 1] = uint8_t(y), row[x * 3 + 2] = uint8_t(x);
      out.WriteBuffer(row.data(), rowBytes);
    }
    const TEntry e[10] = {{256, 4, 1, w}, {257, 4, 1, h},   {258, 3, 1, 8},
                          {259, 3, 1, 1}, {262, 3, 1, 2},   {273, 4, strips, tables},
                          {277, 3, 1, 3}, {278, 4, 1, rps}, {279, 4, strips, tables + 4 * strips},
                          {284, 3, 1, 1}};
    put16(10);
    for (const TEntry& t : e) put16(t.Tag), put16(t.Type), put32(t.Count), put32(t.Value);
    put32(0);
    for (uint32_t i = 0; i < strips; ++i) put32(data + i * rps * rowBytes);
    for (uint32_t i = 0; i < strips; ++i) put32(std::min(rps, h - i * rps) * rowBytes);
  }
  TBitmap b;
  TIOParamsVals p(nullptr);
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  int pages = 0;
  {
    TFileStream in(path, fmOpenRead);
    ReadTIFFStream(&b, &in, pages, p, pr, false);
  }
  std::remove(path.c_str());
  ASSERT_FALSE(abort) << pr.AbortReason;
  ASSERT_EQ(b.Width(), int(w));
  ASSERT_EQ(b.Height(), int(h));
  for (int y : {0, 63, 64, 4500, 8999})
    for (int x : {0, 255, 6001, 11999}) {
      const uint8_t* px = b.ScanLine(y) + 3 * x;
      EXPECT_EQ(px[2], uint8_t(x ^ y));
      EXPECT_EQ(px[1], uint8_t(y));
      EXPECT_EQ(px[0], uint8_t(x));
    }
}
