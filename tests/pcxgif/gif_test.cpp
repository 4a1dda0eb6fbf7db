#include <sys/mman.h>

#include <cstring>

#include "lzw_coder.h"
#include "support/memcap.h"
#include "support.h"
#include "vistrel/codecs/gif.h"

using namespace pcxgif;

namespace {

// Parameters with the test coder installed in the record (the process-wide hooks stay nil).
struct TCoded : TIOParamsVals {
  TCoded() : TIOParamsVals(nullptr) {
    GIFLZWDecompress = TestGIFLZWDecode;
    GIFLZWCompress = TestGIFLZWEncode;
  }
};

bool ReadGif(const std::string& file, TBitmap& b, TIOParamsVals& p, int32_t& count, std::string* reason = nullptr) {
  TTestProgress pr;
  ReadGIFFile(file, &b, count, p, pr.P);
  if (reason) *reason = pr.P.AbortReason;
  return !pr.Abort;
}

// A GIF of a two-colour table and one image whose data are dataBytes zero bytes in
// sub-blocks of 255.
std::vector<uint8_t> ZeroGif(int screenW, int screenH, int w, int h, size_t dataBytes) {
  std::vector<uint8_t> g = {'G',
                            'I',
                            'F',
                            '8',
                            '9',
                            'a',
                            uint8_t(screenW),
                            uint8_t(screenW >> 8),
                            uint8_t(screenH),
                            uint8_t(screenH >> 8),
                            0x80,
                            0,
                            0,
                            0,
                            0,
                            0,
                            255,
                            255,
                            255};
  g.insert(g.end(), {0x2C, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0, 2});
  for (size_t left = dataBytes; left > 0;) {
    const size_t n = left < 255 ? left : 255;
    g.push_back(uint8_t(n));
    g.insert(g.end(), n, 0);
    left -= n;
  }
  g.insert(g.end(), {0, 0x3B});
  return g;
}

// A stream that fails every write past a number of bytes, by refusing or by raising.
class TFullStream : public TMemoryStream {
 public:
  TFullStream(int64_t limit, bool raise) : FLimit(limit), FRaise(raise) {}
  int64_t Write(const void* buffer, int64_t count) override {
    if (Size() + count <= FLimit) return TMemoryStream::Write(buffer, count);
    if (FRaise) throw EWriteError(SWriteError);
    return 0;
  }

 private:
  int64_t FLimit;
  bool FRaise;
};

}  // namespace

TEST(GIF, ReadsFilesOfOtherTools) {
  struct {
    const char* Name;
    int Bits;
    bool Interlaced;
  } cases[] = {{"im_bw", 1, false},       {"im_16", 4, false}, {"im_256", 8, false},
               {"im_interlace", 8, true}, {"pil_1", 8, true},  {"pil_16", 8, true}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TBitmap b;
    TCoded p;
    int32_t count = -1;
    std::string why;
    ASSERT_TRUE(ReadGif(Data(std::string(c.Name) + ".gif"), b, p, count, &why)) << why;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(p.BitsPerSample, c.Bits);
    EXPECT_EQ(p.ColorMapCount, 1 << c.Bits);
    EXPECT_EQ(p.GIFInterlaced, c.Interlaced);
    EXPECT_EQ(p.Width, 37);
    EXPECT_EQ(p.GIFWinWidth, 37);
    EXPECT_EQ(p.SamplesPerPixel, 1);
    EXPECT_EQ(Differences(&b, ReadPpm(Data(std::string(c.Name) + ".ppm"))), 0);
  }
}

TEST(GIF, ReadsEachImageOfAnimations) {
  for (const char* name : {"im_anim", "pil_anim"}) {
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(testing::Message() << name << " image " << i);
      TBitmap b;
      TCoded p;
      p.GIFImageIndex = i;
      int32_t count = 0;
      ASSERT_TRUE(ReadGif(Data(std::string(name) + ".gif"), b, p, count));
      EXPECT_EQ(count, 3);  // the walk goes on to the trailer
      EXPECT_EQ(Differences(&b, ReadPpm(Data(std::string(name) + "_" + std::to_string(i) + ".ppm"))), 0);
      if (std::string(name) == "pil_anim") {
        // Each image's own control extension: delay and transparency; colours of its local table.
        EXPECT_EQ(p.GIFDelayTime, 3 + i);
        EXPECT_TRUE(p.GIFTransparent);
        EXPECT_EQ(p.BitsPerSample, 8);
        const int k = i, idx = 5;
        EXPECT_EQ(p.GIFTranspColor, (TRGB{uint8_t((255 - idx + k * 20) % 256), uint8_t((idx * 7 + k * 40) % 256),
                                          uint8_t((idx * 3 + k * 80) % 256)}));
        EXPECT_FALSE(p.GIFInterlaced);
      } else {
        EXPECT_EQ(p.GIFDelayTime, 7);
        EXPECT_FALSE(p.GIFTransparent);
      }
    }
  }
  // An index past the last image reads nothing and sets the abort flag.
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(3, 3);
  TCoded p;
  p.GIFImageIndex = 3;
  int32_t count = 0;
  std::string why;
  EXPECT_FALSE(ReadGif(Data("im_anim.gif"), b, p, count, &why));
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(count, 3);
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(p.GIFWinWidth, 37);
}

TEST(GIF, BlackAndWhiteTablesReadAs1Bit) {
  // im_bw has the table black, white; reversing it gives a 24-bit picture.
  std::vector<uint8_t> f = ReadAll(Data("im_bw.gif"));
  ASSERT_EQ(f[10] & 0x87, 0x80);  // a global table of two entries
  TBitmap b;
  TCoded p;
  int32_t count;
  TTestProgress pr;
  {
    TReadOnlyMemoryStream s(f.data(), int64_t(f.size()));
    ReadGIFStream(&s, &b, count, p, pr.P, false);
  }
  ASSERT_FALSE(pr.Abort);
  EXPECT_EQ(b.PixelFormat(), pf1bit);
  std::swap_ranges(f.begin() + 13, f.begin() + 16, f.begin() + 16);
  TBitmap c;
  {
    TReadOnlyMemoryStream s(f.data(), int64_t(f.size()));
    ReadGIFStream(&s, &c, count, p, pr.P, false);
  }
  ASSERT_FALSE(pr.Abort);
  EXPECT_EQ(c.PixelFormat(), pf24bit);
  EXPECT_EQ(Differences(&b, &c), b.Width() * b.Height());  // every pixel swapped colour
}

TEST(GIF, WithoutCoderReadingAndWritingAbort) {
  ASSERT_EQ(DefaultGIFLZWDecompressor, nullptr);
  ASSERT_EQ(DefaultGIFLZWCompressor, nullptr);
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(4, 4);
  TIOParamsVals p(nullptr);
  int32_t count = 0;
  std::string why;
  EXPECT_FALSE(ReadGif(Data("im_16.gif"), b, p, count, &why));
  EXPECT_EQ(why, "no LZW decoder");
  EXPECT_EQ(b.Width(), 4);  // unchanged
  EXPECT_EQ(p.Width, 37);   // the descriptor's values are there
  EXPECT_EQ(p.GIFVersion.substr(0, 3), "GIF");

  // The position and version go to the file as they are given.
  {
    TBitmap one;
    Pattern24(one, 3, 2);
    TCoded w;
    w.GIFXPos = 0x1234;
    w.GIFYPos = 7;
    w.GIFVersion = "GIF87a";
    TTestProgress pr;
    TMemoryStream m;
    WriteGIFStream(&m, &one, w, pr.P);
    ASSERT_FALSE(pr.Abort);
    m.SetPosition(0);
    TCoded r;
    int32_t n;
    TBitmap back;
    ReadGIFStream(&m, &back, n, r, pr.P, false);
    ASSERT_FALSE(pr.Abort);
    EXPECT_EQ(r.GIFXPos, 0x1234);
    EXPECT_EQ(r.GIFYPos, 7);
    EXPECT_EQ(r.GIFVersion, "GIF87a");
    EXPECT_EQ(back.Width(), 3);
  }
  // A stream gets the header, table, extension and descriptor; a file is left as it was.
  TBitmap src;
  Pattern24(src, 9, 4);
  TIOParamsVals w(nullptr);
  TTestProgress pr;
  TMemoryStream m;
  WriteGIFStream(&m, &src, w, pr.P);
  EXPECT_TRUE(pr.Abort);
  EXPECT_EQ(m.Size(), 13 + 256 * 3 + 8 + 10);
  const std::string file = TempDir() + "/keep.gif";
  const std::vector<uint8_t> before = ReadAll(Data("im_16.gif"));
  WriteAll(file, before);
  TTestProgress fr;
  WriteGIFFile(file, &src, w, fr.P);
  EXPECT_TRUE(fr.Abort);
  EXPECT_EQ(ReadAll(file), before);
}

TEST(GIF, WritesWithCoderAndReadsBack) {
  const std::string dir = TempDir();
  TBitmap src;
  Pattern24(src, 37, 23);
  TBitmap bw;
  bw.SetPixelFormat(pf1bit);
  bw.SetSize(37, 23);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x)
      if ((x * y) % 5 == 1) bw.ScanLine(y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
  struct {
    const char* Name;
    TBitmap* Source;
    int Bits;
    bool Interlaced;
  } cases[] = {{"g1", &bw, 1, false},  {"g1i", &bw, 1, true},  {"g4", &src, 4, false},
               {"g8", &src, 8, false}, {"g8i", &src, 8, true}, {"g8from1", &bw, 8, false}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = dir + "/" + c.Name + ".gif";
    TCoded w;
    w.BitsPerSample = c.Bits;
    w.GIFInterlaced = c.Interlaced;
    w.GIFDelayTime = 12;
    w.GIFTransparent = true;
    TTestProgress pr;
    std::vector<int> steps;
    pr.P.OnProgress = [&](TObject*, int pc) { steps.push_back(pc); };
    WriteGIFFile(file, c.Source, w, pr.P);
    ASSERT_FALSE(pr.Abort) << pr.P.AbortReason;
    EXPECT_EQ(steps, (std::vector<int>{0, 30, 70, 100}));
    const std::vector<uint8_t> f = ReadAll(file);
    EXPECT_EQ(f[10], 0x80 | (c.Bits - 1) | ((c.Bits - 1) << 4));
    EXPECT_EQ(f.back(), 0x3B);
    TBitmap ours;
    TCoded r;
    int32_t count = 0;
    ASSERT_TRUE(ReadGif(file, ours, r, count));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(r.GIFDelayTime, 12);
    EXPECT_TRUE(r.GIFTransparent);
    EXPECT_EQ(r.GIFInterlaced, c.Interlaced);
    EXPECT_EQ(r.ColorMapCount, 1 << c.Bits);
    if (c.Bits == 1) {
      EXPECT_EQ(Differences(&ours, &bw), 0);
    }
    if (c.Bits == 1) {
      EXPECT_EQ(ours.PixelFormat(), pf1bit);  // the table is always black, white
    }
    if (HavePillow()) {
      const std::string ppm = dir + "/" + c.Name + ".ppm";
      ASSERT_TRUE(RunTool("/usr/bin/python3 -c \"from PIL import Image; Image.open('" + file +
                          "').convert('RGB').save('" + ppm + "')\""));
      EXPECT_EQ(Differences(&ours, ReadPpm(ppm)), 0) << "Pillow";
    }
  }
}

TEST(GIF, CountsAndRemovesImages) {
  EXPECT_EQ(GIFImageCount(Data("pil_anim.gif")), 3);
  EXPECT_EQ(GIFImageCount(Data("im_16.gif")), 1);
  EXPECT_EQ(GIFImageCount(Data("src24.ppm")), 0);
  const std::string file = TempDir() + "/remove.gif";
  WriteAll(file, ReadAll(Data("pil_anim.gif")));
  EXPECT_EQ(GIFImageCount(file, 1, true), 2);
  EXPECT_EQ(GIFImageCount(file), 2);
  for (int i = 0; i < 2; ++i) {
    TBitmap b;
    TCoded p;
    p.GIFImageIndex = i;
    int32_t count;
    ASSERT_TRUE(ReadGif(file, b, p, count));
    EXPECT_EQ(p.GIFDelayTime, i == 0 ? 3 : 5);
    EXPECT_EQ(Differences(&b, ReadPpm(Data("pil_anim_" + std::to_string(i * 2) + ".ppm"))), 0);
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ReadAll(file).data()), 6), "GIF89a");
}

TEST(GIF, RejectsBadFilesCleanly) {
  const std::vector<uint8_t> good = ReadAll(Data("im_anim.gif"));
  for (size_t n = 0; n < good.size(); n += (n < 900 ? 1 : 7)) {
    std::vector<uint8_t> d(good.begin(), good.begin() + long(n));
    TBitmap b;
    TCoded p;
    p.GIFImageIndex = 2;
    int32_t count = 0;
    TTestProgress pr;
    TReadOnlyMemoryStream s(d.data(), int64_t(d.size()));
    ReadGIFStream(&s, &b, count, p, pr.P, false);
    EXPECT_TRUE(pr.Abort || b.Width() == 37) << n;
    TMemoryStream copy;
    bool done;
    TReadOnlyMemoryStream s2(d.data(), int64_t(d.size()));
    EXPECT_LE(GIFImageCountStream(&s2, -1, &copy, done), 3);
  }
  // Not a GIF.
  TBitmap b;
  TCoded p;
  int32_t count = 0;
  std::string why;
  EXPECT_FALSE(ReadGif(Data("src24.ppm"), b, p, count, &why));
  EXPECT_EQ(why, "not a GIF file");
  // A descriptor too large for the bitmap cap is refused before the coder runs.
  std::vector<uint8_t> big = good;
  const int64_t keep = TBitmap::MaxBytes();
  TBitmap::SetMaxBytes(1000);
  TTestProgress pr;
  TReadOnlyMemoryStream s(big.data(), int64_t(big.size()));
  ReadGIFStream(&s, &b, count, p, pr.P, false);
  EXPECT_TRUE(pr.Abort);
  EXPECT_EQ(pr.P.AbortReason, "image too large");
  TBitmap::SetMaxBytes(keep);
}

TEST(GIF, HugePicturesInSmallFilesAreRefusedWithinAMemoryCap) {
  struct {
    const char* Name;
    std::vector<uint8_t> Bytes;
  } hostile[] = {
      {"26000 x 26000", ZeroGif(26000, 26000, 26000, 26000, 300)},
      {"small frame on a 26000 x 26000 screen", ZeroGif(26000, 26000, 10, 10, 300)},
      {"18000 x 18000 frame on a small screen", ZeroGif(100, 100, 18000, 18000, 600)},
      {"18000 x 18000 without data", ZeroGif(18000, 18000, 18000, 18000, 0)},
  };
  struct TShared {
    bool Abort;
    int Width;
    char Reason[64];
  };
  auto* shared =
      static_cast<TShared*>(mmap(nullptr, sizeof(TShared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(shared, MAP_FAILED);
  for (auto& f : hostile) {
    SCOPED_TRACE(f.Name);
    ASSERT_LT(f.Bytes.size(), 1024u);
    std::memset(shared, 0, sizeof(TShared));
    const vltest::TCapped run = vltest::RunCapped(64, [&] {
      TBitmap b;
      TCoded p;
      int32_t count = 0;
      TTestProgress pr;
      TReadOnlyMemoryStream s(f.Bytes.data(), int64_t(f.Bytes.size()));
      ReadGIFStream(&s, &b, count, p, pr.P, false);
      shared->Abort = pr.Abort;
      shared->Width = b.Width();
      std::strncpy(shared->Reason, pr.P.AbortReason.c_str(), sizeof(shared->Reason) - 1);
    });
    EXPECT_TRUE(run.Finished);
    EXPECT_FALSE(run.OverCap) << run.PeakGrowthKB << " KB";
    EXPECT_TRUE(shared->Abort);
    EXPECT_NE(shared->Reason[0], 0);
    EXPECT_EQ(shared->Width, 0);
  }
  munmap(shared, sizeof(TShared));
  // Data that can fill the frame: read.
  const std::vector<uint8_t> fits = ZeroGif(300, 200, 300, 200, 100);
  TBitmap b;
  TCoded p;
  int32_t count = 0;
  TTestProgress pr;
  TReadOnlyMemoryStream s(fits.data(), int64_t(fits.size()));
  ReadGIFStream(&s, &b, count, p, pr.P, false);
  EXPECT_FALSE(pr.Abort) << pr.P.AbortReason;
  EXPECT_EQ(b.Width(), 300);
}

TEST(GIF, FailedWritesSetTheAbortFlag) {
  TBitmap src;
  Pattern24(src, 120, 80);
  // Refusing and raising streams in the header, the table and the image data, and a full disk.
  for (int64_t limit : {int64_t(0), int64_t(20), int64_t(900), int64_t(3000)}) {
    for (bool raise : {false, true}) {
      SCOPED_TRACE(std::to_string(limit) + (raise ? " raising" : " refusing"));
      TCoded w;
      TFullStream out(limit, raise);
      TTestProgress pr;
      EXPECT_NO_THROW(WriteGIFStream(&out, &src, w, pr.P));
      EXPECT_TRUE(pr.Abort);
      EXPECT_EQ(pr.P.AbortReason, "write error");
    }
  }
  TCoded w;
  TFileStream full("/dev/full", fmOpenWrite);
  TTestProgress pr;
  EXPECT_NO_THROW(WriteGIFStream(&full, &src, w, pr.P));
  EXPECT_TRUE(pr.Abort);
  EXPECT_EQ(pr.P.AbortReason, "write error");
}
