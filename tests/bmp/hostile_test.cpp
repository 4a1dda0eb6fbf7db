// Hostile files for the BMP and icon readers: tiny files that declare huge pictures, and small
// pictures inside huge sparse files. Each is refused, or read with its pixels right, while a
// child process watches that memory stays under a cap.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "bmp/bmp_support.h"
#include "support/hostile.h"
#include "vistrel/codecs/ico.h"

namespace {

constexpr int64_t kCapMB = 64;
constexpr int64_t kHugeFile = int64_t(3) << 30;

const TRGB kMap[3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};

// Colour of pixel (x, row from the bottom) of the test pictures.
int IndexAt(int x, int row) { return (row + (x >= 20 ? 1 : 0)) % 3; }

// RLE8 or RLE4 codes of a w x h picture of two runs a row, without the end-of-bitmap code.
std::vector<uint8_t> RunsOfPicture(int w, int h, bool four) {
  std::vector<uint8_t> d;
  for (int r = 0; r < h; ++r) {
    const int a = IndexAt(0, r), b = IndexAt(20, r);
    d.push_back(20), d.push_back(uint8_t(four ? a * 17 : a));
    d.push_back(uint8_t(w - 20)), d.push_back(uint8_t(four ? b * 17 : b));
    d.push_back(0), d.push_back(0);
  }
  return d;
}

bool PictureRight(TBitmap& b, int w, int h) {
  if (b.Width() != w || b.Height() != h || b.PixelFormat() != pf24bit) return false;
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x)
      if (std::memcmp(b.ScanLine(h - 1 - r) + 3 * x, &kMap[IndexAt(x, r)], 3) != 0) return false;
  return true;
}

// Reads the BMP of a file through a file stream, as the I/O component does.
std::function<bool(TFilterProgress&)> ReadFile(const std::string& path, bool withLength, int w, int h) {
  return [=](TFilterProgress& pr) {
    TFileStream f(path, fmOpenRead);
    TBitmap b;
    TIOParamsVals p(nullptr);
    ReadBMPStream(&f, &b, p, withLength ? f.Size() : 0, pr, false);
    return PictureRight(b, w, h);
  };
}

std::function<bool(TFilterProgress&)> ReadBytes(std::vector<uint8_t> bytes, bool icon = false) {
  return [bytes = std::move(bytes), icon](TFilterProgress& pr) {
    TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
    TBitmap b;
    TIOParamsVals p(nullptr);
    if (icon) ReadICOStream(&s, &b, p, pr, false);
    else ReadBMPStream(&s, &b, p, 0, pr, false);
    return true;
  };
}

}  // namespace

TEST(BMPHostile, HugeDeclaredPicturesAreRefusedBeforeAllocating) {
  struct {
    const char* Name;
    int W, H, Bits, Compression;
    bool Icon;
    const char* Reason;
  } cases[] = {
      {"24 bits past the limit", 40000, 30000, 24, 0, false, "image too large"},
      {"RLE8 past the limit", 60000, 60000, 8, 1, false, "image too large"},
      {"RLE4 past the limit", 60000, 60000, 4, 2, false, "image too large"},
      {"1 bit past the limit", 200000, 60000, 1, 0, false, "image too large"},
      {"within the limit, no pixels", 20000, 15000, 8, 0, false, "pixel data cut short"},
      {"icon file holding a BMP", 40000, 30000, 24, 0, true, "image too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TBMPBuilder f;
    f.FileHeader(0, 14 + 40 + 12);
    f.Info(40, c.W, c.H, c.Bits, c.Compression, c.Bits <= 8 ? 3 : 0);
    if (c.Bits <= 8) f.Pal({kMap[0], kMap[1], kMap[2]});
    for (int i = 0; i < 200; ++i) f.U8(i & 1 ? 0 : 255);
    ASSERT_LT(f.B.size(), 1024u);
    vltest::TCappedRead r = vltest::RunCappedRead(kCapMB, ReadBytes(f.B, c.Icon));
    EXPECT_TRUE(r.Cap.Finished) << "peak " << r.Cap.PeakGrowthKB << " KB";
    EXPECT_TRUE(r.Aborted);
    EXPECT_STREQ(r.Reason, c.Reason);
  }
}

TEST(BMPHostile, SmallPicturesInHugeSparseFilesReadOnlyTheirBytes) {
  // 40 x 30 pictures at the start of 3 GB files: compressed without an end code (the rest of
  // the file is there to be read) and uncompressed. Read with the file's length and without.
  const int w = 40, h = 30;
  for (int kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE(kind);
    const int bits = kind == 1 ? 4 : 8;
    TBMPBuilder f;
    f.FileHeader(0, 14 + 40 + 12);
    f.Info(40, w, h, bits, kind == 2 ? 0 : kind == 0 ? 1 : 2, 3);
    f.Pal({kMap[0], kMap[1], kMap[2]});
    if (kind < 2) {
      auto codes = RunsOfPicture(w, h, kind == 1);
      codes.resize(codes.size() - 2);  // nor the last end of line
      f.B.insert(f.B.end(), codes.begin(), codes.end());
    } else {
      for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) f.U8(IndexAt(x, r));
    }
    vltest::TSparseFile file(kHugeFile, {{0, f.B}});
    ASSERT_FALSE(file.Path.empty());
    for (bool withLength : {true, false}) {
      vltest::TCappedRead r = vltest::RunCappedRead(kCapMB, ReadFile(file.Path, withLength, w, h));
      EXPECT_TRUE(r.Cap.Finished) << "peak " << r.Cap.PeakGrowthKB << " KB";
      EXPECT_FALSE(r.Aborted) << r.Reason;
      EXPECT_TRUE(r.Right);
    }
  }

  // An icon whose one 16 x 16 image lies 2.5 GB into a 3 GB file, and a file that starts
  // with a compressed BMP of 40 x 30 read through the icon reader.
  std::vector<uint8_t> dir = {0, 0, 1, 0, 1, 0, 16, 16, 16, 0, 1, 0, 4, 0};
  const int64_t at = int64_t(5) << 29;
  for (int64_t v : {int64_t(40 + 64 + 128 + 32), at})
    for (int i = 0; i < 4; ++i) dir.push_back(uint8_t(v >> (8 * i)));
  TBMPBuilder image;
  image.Info(40, 16, 32, 4, 0, 16);
  for (int i = 0; i < 16; ++i) image.U8(i * 16), image.U8(255 - i * 16), image.U8(i), image.U8(0);
  for (int r = 0; r < 16; ++r)
    for (int x = 0; x < 16; x += 2) image.U8(((x + r) & 15) << 4 | ((x + 1 + r) & 15));
  vltest::TSparseFile icon(kHugeFile, {{0, dir}, {at, image.B}});
  ASSERT_FALSE(icon.Path.empty());
  vltest::TCappedRead r = vltest::RunCappedRead(kCapMB, [&](TFilterProgress& pr) {
    TFileStream s(icon.Path, fmOpenRead);
    TBitmap b;
    TIOParamsVals p(nullptr);
    ReadICOStream(&s, &b, p, pr, false);
    if (b.Width() != 16 || b.Height() != 16) return false;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const int i = (x + 15 - y) & 15;
        const uint8_t* px = b.ScanLine(y) + 3 * x;
        if (px[0] != i * 16 || px[1] != 255 - i * 16 || px[2] != i) return false;
      }
    return true;
  });
  EXPECT_TRUE(r.Cap.Finished) << "peak " << r.Cap.PeakGrowthKB << " KB";
  EXPECT_FALSE(r.Aborted) << r.Reason;
  EXPECT_TRUE(r.Right);

  TBMPBuilder f;
  f.FileHeader(0, 14 + 40 + 12);
  f.Info(40, w, h, 8, 1, 3);
  f.Pal({kMap[0], kMap[1], kMap[2]});
  auto codes = RunsOfPicture(w, h, false);
  f.B.insert(f.B.end(), codes.begin(), codes.end() - 2);
  vltest::TSparseFile bmp(kHugeFile, {{0, f.B}});
  r = vltest::RunCappedRead(kCapMB, [&](TFilterProgress& pr) {
    TFileStream s(bmp.Path, fmOpenRead);
    TBitmap b;
    TIOParamsVals p(nullptr);
    ReadICOStream(&s, &b, p, pr, false);
    return PictureRight(b, w, h);
  });
  EXPECT_TRUE(r.Cap.Finished) << "peak " << r.Cap.PeakGrowthKB << " KB";
  EXPECT_FALSE(r.Aborted) << r.Reason;
  EXPECT_TRUE(r.Right);
}

// A real large picture still opens: 12000 x 9000 at 24 bits, 324 MB.
TEST(BMPLarge, TwelveThousandByNineThousandOpens) {
  const int w = 12000, h = 9000;
  const std::string path = "/tmp/vl_large_" + std::to_string(getpid()) + ".bmp";
  {
    TBMPBuilder f;
    f.FileHeader(54 + int64_t(w) * 3 * h, 54);
    f.Info(40, w, h, 24, 0, 0);
    TFileStream out(path, fmCreate);
    out.WriteBuffer(f.B.data(), int64_t(f.B.size()));
    std::vector<uint8_t> row(size_t(w) * 3);
    for (int r = 0; r < h; ++r) {
      for (int x = 0; x < w; ++x)
        row[size_t(x) * 3] = uint8_t(x), row[size_t(x) * 3 + 1] = uint8_t(r), row[size_t(x) * 3 + 2] = uint8_t(x ^ r);
      out.WriteBuffer(row.data(), int64_t(row.size()));
    }
  }
  TBitmap b;
  TIOParamsVals p(nullptr);
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  {
    TFileStream in(path, fmOpenRead);
    ReadBMPStream(&in, &b, p, in.Size(), pr, false);
  }
  std::remove(path.c_str());
  ASSERT_FALSE(abort) << pr.AbortReason;
  ASSERT_EQ(b.Width(), w);
  ASSERT_EQ(b.Height(), h);
  for (int r : {0, 1, 4500, 8999})
    for (int x : {0, 255, 6001, 11999}) {
      const uint8_t* px = b.ScanLine(h - 1 - r) + 3 * x;
      EXPECT_EQ(px[0], uint8_t(x));
      EXPECT_EQ(px[1], uint8_t(r));
      EXPECT_EQ(px[2], uint8_t(x ^ r));
    }
}
