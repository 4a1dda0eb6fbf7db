// Fax coding: round trips, code words, robustness, and exchange with libtiff's tools.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tiff/tiff_support.h"
#include "vistrel/codecs/ccitt.h"
#include "vistrel/codecs/tiff.h"

using namespace tifftest;

namespace {

enum TCoding { cMH, cG3, cG3Eol, cG3_2D, cG4 };

// Rows to encode: 1 bits black.
std::vector<std::vector<uint8_t>> RandomRows(int width, int rows, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::vector<uint8_t>> out;
  std::vector<uint8_t> prev(size_t((width + 7) / 8), 0);
  for (int r = 0; r < rows; ++r) {
    std::vector<uint8_t> row(size_t((width + 7) / 8), 0);
    int kind = int(rng() % 5);
    int colour = int(rng() % 2);
    for (int x = 0; x < width;) {
      int run = kind == 0 ? 1 + int(rng() % 3) : kind == 1 ? 1 + int(rng() % 3000) : 1 + int(rng() % 70);
      if (kind == 4 && r > 0) {
        // like the row above with small shifts
        for (int k = 0; k < width; ++k) {
          int src = std::min(width - 1, std::max(0, k + int(rng() % 3) - 1));
          if (prev[size_t(src >> 3)] & (0x80 >> (src & 7))) row[size_t(k >> 3)] |= uint8_t(0x80 >> (k & 7));
        }
        break;
      }
      for (int k = x; k < std::min(width, x + run); ++k)
        if (colour) row[size_t(k >> 3)] |= uint8_t(0x80 >> (k & 7));
      x += run;
      colour ^= 1;
    }
    if (width & 7) row.back() &= uint8_t(0xFF << (8 - (width & 7)));
    prev = row;
    out.push_back(row);
  }
  return out;
}

std::vector<uint8_t> Encode(const std::vector<std::vector<uint8_t>>& rows, int width, TCoding coding) {
  TMemoryStream ms;
  int pb = 0;
  uint8_t pbyte = 0;
  const uint8_t* ref = nullptr;
  for (const auto& r : rows) {
    switch (coding) {
      case cMH: CCITTEncodeMHRow(r.data(), width, &ms); break;
      case cG3: CCITTEncodeG3Row(r.data(), width, &ms, pb, pbyte); break;
      case cG3Eol: CCITTEncodeG3Row(r.data(), width, &ms, pb, pbyte, true); break;
      case cG3_2D: CCITTEncodeG3Row2D(r.data(), width, &ms, ref, pb, pbyte); break;
      case cG4: CCITTEncodeG4Row(r.data(), width, &ms, ref, pb, pbyte); break;
    }
  }
  if (coding == cG3 || coding == cG3Eol) CCITTEncodeG3Row(nullptr, 0, &ms, pb, pbyte);
  if (coding == cG3_2D) CCITTEncodeG3Row2D(nullptr, 0, &ms, ref, pb, pbyte);
  if (coding == cG4) CCITTEncodeG4Row(nullptr, 0, &ms, ref, pb, pbyte);
  const uint8_t* p = static_cast<const uint8_t*>(ms.Memory());
  return std::vector<uint8_t>(p, p + ms.Size());
}

// Decodes rows (1 bits black again); false when a line failed.
bool Decode(const std::vector<uint8_t>& data, int width, int rows, TCoding coding,
            std::vector<std::vector<uint8_t>>& out, int fillOrder = 1) {
  size_t rb = size_t((width + 7) / 8);
  std::vector<uint8_t> ref(rb, 0xFF), row(rb);
  int64_t pos = 0;
  out.clear();
  for (int r = 0; r < rows; ++r) {
    int64_t p;
    switch (coding) {
      case cMH:
        p = CCITTDecodeMHRow(row.data(), data.data() + pos, int64_t(data.size()) - pos, width, fillOrder);
        if (p >= 0) pos += p;
        break;
      case cG3:
      case cG3Eol:
        p = pos = CCITTDecode1DLine(row.data(), data.data(), int64_t(data.size()), width, fillOrder, pos);
        break;
      default:
        p = pos = CCITTDecode2DLine(row.data(), data.data(), int64_t(data.size()), width, fillOrder, pos, ref.data());
    }
    if (p < 0) return false;
    for (auto& b : row) b = uint8_t(~b);
    if (width & 7) row.back() &= uint8_t(0xFF << (8 - (width & 7)));
    out.push_back(row);
  }
  return true;
}

std::string Bits(const std::vector<uint8_t>& d, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += (d[size_t(i / 8)] & (0x80 >> (i % 8))) ? '1' : '0';
  return s;
}

}  // namespace

TEST(CCITT, RoundTripsEveryCodingAndWidth) {
  const int widths[] = {1, 7, 8, 63, 64, 1728, 2561, 5000};
  const TCoding codings[] = {cMH, cG3, cG3Eol, cG3_2D, cG4};
  for (int w : widths)
    for (TCoding c : codings) {
      auto rows = RandomRows(w, 40, uint32_t(w * 7 + c));
      auto data = Encode(rows, w, c);
      std::vector<std::vector<uint8_t>> back;
      ASSERT_TRUE(Decode(data, w, 40, c, back)) << "width " << w << " coding " << c;
      for (int r = 0; r < 40; ++r)
        ASSERT_EQ(back[size_t(r)], rows[size_t(r)]) << "width " << w << " coding " << c << " row " << r;
      // Fill order 2 reads the same lines from bit-reversed bytes.
      std::vector<uint8_t> rev(data);
      for (auto& b : rev) {
        uint8_t o = 0;
        for (int k = 0; k < 8; ++k)
          if (b & (1 << k)) o |= uint8_t(0x80 >> k);
        b = o;
      }
      ASSERT_TRUE(Decode(rev, w, 40, c, back, 2));
      EXPECT_EQ(back, rows);
    }
}

TEST(CCITT, CodeWordsOfKnownLines) {
  // A white line of 1728: make-up 1728 (010011011) then terminating 0 (00110101).
  std::vector<uint8_t> white(216, 0);
  auto d = Encode({white}, 1728, cMH);
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(Bits(d, 17), "01001101100110101");
  // A line beginning black starts with the white terminating code 0; 3 black then 5 white.
  std::vector<uint8_t> b3{0xE0};
  d = Encode({b3}, 8, cMH);
  EXPECT_EQ(Bits(d, 8 + 2 + 4),
            "00110101"
            "10"
            "1100");
  // A black run of 3000: make-up 2560, make-up 384, terminating 56.
  std::vector<uint8_t> black(3000 / 8, 0xFF);
  d = Encode({black}, 3000, cMH);
  EXPECT_EQ(Bits(d, 8 + 12 + 12 + 12), std::string("00110101") + "000000011111" + "000000110100" + "000000101000");
  // The first Group 4 row of a white line, against the all-white reference: one V0 code.
  const uint8_t* ref = nullptr;
  TMemoryStream ms;
  int pb = 0;
  uint8_t pbyte = 0;
  CCITTEncodeG4Row(white.data(), 1728, &ms, ref, pb, pbyte);
  EXPECT_EQ(pb, 1);
  EXPECT_EQ(pbyte, 0x80);
  EXPECT_EQ(ms.Size(), 0);
}

TEST(CCITT, EolAtStartSkippedAndInMiddleEndsLine) {
  // EOL, then white 3 (1000), black 2 (11), white 3 (1000): 8 pixels.
  std::string bits =
      "000000000001"
      "1000"
      "11"
      "1000";
  // Then: white 2 (0111), EOL in the middle: the rest takes the current colour (black).
  bits +=
      "0111"
      "000000000001";
  std::vector<uint8_t> data((bits.size() + 7) / 8 + 1, 0);
  for (size_t i = 0; i < bits.size(); ++i)
    if (bits[i] == '1') data[i / 8] |= uint8_t(0x80 >> (i % 8));
  uint8_t row[1];
  int64_t p = CCITTDecode1DLine(row, data.data(), int64_t(data.size()), 8, 1, 0);
  ASSERT_EQ(p, 22);
  EXPECT_EQ(row[0], 0xE7);  // white 1 bits: 111 00 111
  p = CCITTDecode1DLine(row, data.data(), int64_t(data.size()), 8, 1, p);
  ASSERT_EQ(p, 22 + 16);
  EXPECT_EQ(row[0], 0xC0);
}

TEST(CCITT, UncompressedModeInTwoDimensionalLine) {
  // Extension 0000001111, then "1" (a black), "01" (white, black), exit "0000001" + T 0, then V0 ... the
  // line of 8: B W B then whites; after the exit a0 = 3, colour white, V0 against white ref: b1 = 8.
  std::string bits =
      "0000001111"
      "1"
      "01"
      "0000001"
      "0"
      "1";
  std::vector<uint8_t> data((bits.size() + 7) / 8 + 4, 0);
  for (size_t i = 0; i < bits.size(); ++i)
    if (bits[i] == '1') data[i / 8] |= uint8_t(0x80 >> (i % 8));
  uint8_t ref[1] = {0xFF}, row[1];
  int64_t p = CCITTDecode2DLine(row, data.data(), int64_t(data.size()), 8, 1, 0, ref);
  ASSERT_EQ(p, int64_t(bits.size()));
  EXPECT_EQ(row[0], 0x5F);  // 0 1 0 11111
  EXPECT_EQ(ref[0], 0x5F);
}

TEST(CCITT, GarbageAndTruncatedDataStopCleanly) {
  std::mt19937 rng(5);
  auto rows = RandomRows(1728, 30, 3);
  for (TCoding c : {cMH, cG3, cG3_2D, cG4}) {
    auto data = Encode(rows, 1728, c);
    // Truncated: never reads outside the given length (ASan watches) and ends with a failure.
    std::vector<uint8_t> part(data.begin(), data.begin() + std::ptrdiff_t(data.size() / 2));
    std::vector<std::vector<uint8_t>> back;
    EXPECT_FALSE(Decode(part, 1728, 30, c, back));
    for (int k = 0; k < 200; ++k) {
      std::vector<uint8_t> junk(size_t(rng() % 300));
      for (auto& b : junk) b = uint8_t(rng());
      Decode(junk, 1 + int(rng() % 3000), 20, c, back);
    }
  }
  // No data at all.
  uint8_t row[8], ref[8];
  std::memset(ref, 0xFF, 8);
  EXPECT_EQ(CCITTDecode1DLine(row, nullptr, 0, 60, 1, 0), -1);
  EXPECT_EQ(CCITTDecode2DLine(row, nullptr, 0, 60, 1, 0, ref), -1);
}

// ---- exchange with libtiff's tools ----

namespace {

// A minimal bilevel TIFF around coded data (MinIsWhite: white runs are 0 samples).
std::vector<uint8_t> WrapFax(const std::vector<uint8_t>& data, int width, int rows, int compression, int t4) {
  std::vector<uint8_t> f(8, 0);
  auto put16 = [&](uint32_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
  auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
  f[0] = f[1] = 'I', f[2] = 42;
  f.insert(f.end(), data.begin(), data.end());
  if (f.size() & 1) f.push_back(0);
  uint32_t ifd = uint32_t(f.size());
  f[4] = uint8_t(ifd), f[5] = uint8_t(ifd >> 8), f[6] = uint8_t(ifd >> 16), f[7] = uint8_t(ifd >> 24);
  struct E {
    uint16_t tag, type;
    uint32_t value;
  };
  std::vector<E> e = {{256, 4, uint32_t(width)},
                      {257, 4, uint32_t(rows)},
                      {258, 3, 1},
                      {259, 3, uint32_t(compression)},
                      {262, 3, 0},
                      {273, 4, 8},
                      {277, 3, 1},
                      {278, 4, uint32_t(rows)},
                      {279, 4, uint32_t(data.size())}};
  if (compression == 3) e.push_back({292, 4, uint32_t(t4)});
  put16(uint32_t(e.size()));
  for (auto& x : e) {
    put16(x.tag), put16(x.type), put32(1);
    if (x.type == 3) put16(x.value), put16(0);
    else put32(x.value);
  }
  put32(0);
  return f;
}

}  // namespace

TEST(CCITT, OurCodesDecodedByLibtiffAndTheirsByUs) {
  if (!HaveTool("tiffcp")) GTEST_SKIP() << "libtiff tools missing";
  const std::string dir = TempDir();
  struct {
    TCoding c;
    int comp;
    int t4;
    const char* tool;
  } cases[] = {{cG3Eol, 3, 0, "g3:1d"}, {cG3_2D, 3, 1, "g3:2d"}, {cG4, 4, 0, "g4"}};
  for (int w : {1, 7, 63, 1728, 2561}) {
    const int h = 25;
    auto rows = RandomRows(w, h, uint32_t(w));
    for (auto& k : cases) {
      // Ours to theirs.
      std::string in = dir + "/ours.tif", out = dir + "/plain.tif";
      WriteFileBytes(in, WrapFax(Encode(rows, w, k.c), w, h, k.comp, k.t4));
      std::string log;
      ASSERT_TRUE(RunTool("tiffcp -c none " + in + " " + out, &log)) << log;
      EXPECT_EQ(log, "") << "tiffcp complained on width " << w << " " << k.tool;
      auto plain = ReadFileBytes(out);
      // Strip offset of the uncompressed copy through our reader.
      TReadOnlyMemoryStream ms(plain.data(), int64_t(plain.size()));
      TBitmap bmp;
      TIOParamsVals params(nullptr);
      bool abort = false;
      TFilterProgress progress;
      progress.AbortFlag = &abort;
      int count;
      ReadTIFFStream(&bmp, &ms, count, params, progress, false);
      ASSERT_FALSE(abort) << progress.AbortReason;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          bool black = rows[size_t(y)][size_t(x >> 3)] & (0x80 >> (x & 7));
          bool white = bmp.ScanLine(y)[x >> 3] & (0x80 >> (x & 7));
          ASSERT_NE(black, white) << "width " << w << " " << k.tool << " at " << x << "," << y;
        }
      // Theirs to ours.
      std::string theirs = dir + "/theirs.tif";
      ASSERT_TRUE(RunTool("tiffcp -c " + std::string(k.tool) + " " + out + " " + theirs, &log)) << log;
      auto tdata = ReadFileBytes(theirs);
      TReadOnlyMemoryStream ts(tdata.data(), int64_t(tdata.size()));
      TBitmap tb;
      ReadTIFFStream(&tb, &ts, count, params, progress, false);
      ASSERT_FALSE(abort) << progress.AbortReason;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(tb.ScanLine(y)[x >> 3] & (0x80 >> (x & 7)), bmp.ScanLine(y)[x >> 3] & (0x80 >> (x & 7)))
              << k.tool << " at " << x << "," << y;
    }
  }
}
