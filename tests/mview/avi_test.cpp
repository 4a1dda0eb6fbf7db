// The AVI reader over files built byte by byte: frame times from untrusted rates, palette
// changes, nested frame lists and dropped frames, and files that lie about their sizes.
#include "mview_support.h"
#include "support/memcap.h"
#include "vistrel/codecs/avi.h"

using namespace mviewtest;

namespace {

// Two pixels of 8 bits, palette entries 0 and 1 (blue, green, red, 0).
const std::vector<uint8_t> kTable = {0, 0, 255, 0, 255, 0, 0, 0};
const std::vector<uint8_t> kFrame = {0, 1, 0, 0};  // one row: index 0, index 1, padding

TAviBuilder EightBitFile(uint32_t rate, uint32_t scale, uint32_t usPerFrame) {
  TAviBuilder a;
  a.BeginList("RIFF", "AVI ");
  a.Headers(2, 1, 8, 0, rate, scale, 5, usPerFrame, kTable);
  a.BeginList("LIST", "movi");
  return a;
}

TEST(AviReader, FrameTimesFromRatesThatCanBeZero) {
  struct {
    uint32_t rate, scale, us;
    int32_t delay;
  } cases[] = {{15, 1, 0, 66}, {30000, 1001, 0, 33}, {0, 1, 50000, 50}, {15, 0, 0, 0}, {1, 0xFFFFFFFF, 0, INT32_MAX}};
  for (const auto& c : cases) {
    TAviBuilder a = EightBitFile(c.rate, c.scale, c.us);
    a.EndList();
    a.EndList();
    TReadOnlyMemoryStream s(a.Bytes.data(), int64_t(a.Bytes.size()));
    TAVIReader r;
    ASSERT_TRUE(r.Open(&s));
    EXPECT_EQ(r.FrameDelay(), c.delay) << c.rate << "/" << c.scale;
    EXPECT_EQ(r.Length(), 5u);
    TBitmap b;
    EXPECT_EQ(r.ReadFrame(&b), 0);  // no frame in the list
  }
}

TEST(AviReader, PaletteChangesNestedListsAndDroppedFrames) {
  TAviBuilder a = EightBitFile(15, 1, 0);
  a.Chunk("00db", kFrame);
  a.Chunk("01db", {9, 9, 9, 9});  // another stream's
  a.Chunk("00dc", {});            // a dropped frame: passed over
  // Entry 1 becomes green (red, green, blue, flags).
  a.Chunk("00pc", {1, 1, 0, 0, 0, 255, 0, 0});
  a.BeginList("LIST", "rec ");
  a.Chunk("00db", kFrame);
  a.EndList();
  a.Chunk("JUNK", {1, 2, 3});
  a.Chunk("00db", kFrame, 0xFFFFFFF0);  // says far more than the file holds
  a.EndList();
  a.EndList();
  TReadOnlyMemoryStream s(a.Bytes.data(), int64_t(a.Bytes.size()));
  TAVIReader r;
  ASSERT_TRUE(r.Open(&s));
  TBitmap b;
  ASSERT_EQ(r.ReadFrame(&b), 8);
  EXPECT_EQ(PixelOf(&b, 0, 0), clRed);
  EXPECT_EQ(PixelOf(&b, 1, 0), clBlue);
  ASSERT_EQ(r.ReadFrame(&b), 8);
  EXPECT_EQ(PixelOf(&b, 0, 0), clRed);
  EXPECT_EQ(PixelOf(&b, 1, 0), clLime);
  EXPECT_EQ(r.ReadFrame(&b), 0);
  EXPECT_EQ(r.Reason(), "truncated file");
  EXPECT_EQ(r.FramesRead(), 2);
  EXPECT_EQ(PixelOf(&b, 1, 0), clLime);  // left as it was
  EXPECT_EQ(r.ReadFrame(&b), 0);
}

TEST(AviReader, HostileHeadersAndSizesAreRefusedWithinMemory) {
  // Not an AVI file; no video stream; a format too short to be a picture header.
  {
    const uint8_t junk[] = "RIFF\x04\0\0\0WAVE";
    TReadOnlyMemoryStream s(junk, sizeof junk - 1);
    TAVIReader r;
    EXPECT_FALSE(r.Open(&s));
    EXPECT_EQ(r.Reason(), "not an AVI file");
  }
  {
    TAviBuilder a;
    a.BeginList("RIFF", "AVI ");
    a.BeginList("LIST", "hdrl");
    a.BeginList("LIST", "strl");
    std::vector<uint8_t> strh(56, 0);
    std::memcpy(strh.data(), "auds", 4);
    a.Chunk("strh", strh);
    a.EndList();
    a.EndList();
    a.BeginList("LIST", "movi");
    a.EndList();
    a.EndList();
    TReadOnlyMemoryStream s(a.Bytes.data(), int64_t(a.Bytes.size()));
    TAVIReader r;
    EXPECT_FALSE(r.Open(&s));
    EXPECT_EQ(r.Reason(), "no video stream");
  }
  // A picture of 100000 x 100000 from a frame of a few bytes, a frame that claims 1 GiB in a
  // file of a few hundred bytes, and lists whose sizes overrun their form: each is refused
  // without taking the memory it claims.
  vltest::TCapped cap = vltest::RunCapped(64, [] {
    bool ok = true;
    {
      TAviBuilder a;
      a.BeginList("RIFF", "AVI ");
      a.Headers(100000, 100000, 24, 0, 15, 1, 1, 0);
      a.BeginList("LIST", "movi");
      a.Chunk("00db", std::vector<uint8_t>(64, 7));
      a.EndList();
      a.EndList();
      TReadOnlyMemoryStream s(a.Bytes.data(), int64_t(a.Bytes.size()));
      TAVIReader r;
      TBitmap b;
      ok = ok && r.Open(&s) && r.ReadFrame(&b) == 0 && r.Reason() == "frame format not readable" && b.Empty();
    }
    {
      TAviBuilder a = EightBitFile(15, 1, 0);
      a.Chunk("00db", kFrame, int64_t(1) << 30);
      a.EndList();
      a.EndList();
      TReadOnlyMemoryStream s(a.Bytes.data(), int64_t(a.Bytes.size()));
      TAVIReader r;
      TBitmap b;
      ok = ok && r.Open(&s) && r.ReadFrame(&b) == 0 && r.Reason() == "truncated file";
    }
    {
      TAviBuilder a = EightBitFile(15, 1, 0);
      a.Chunk("00db", kFrame);
      a.EndList();
      a.EndList();
      // The form and the frame list claim 4 GiB; the frame in them still reads.
      for (size_t at : {size_t(4), a.Bytes.size() - 20}) std::memset(a.Bytes.data() + at, 0xFF, 4);
      TReadOnlyMemoryStream s(a.Bytes.data(), int64_t(a.Bytes.size()));
      TAVIReader r;
      TBitmap b;
      ok = ok && r.Open(&s) && r.ReadFrame(&b) == 8 && r.ReadFrame(&b) == 0;
    }
    if (!ok) _exit(5);
  });
  EXPECT_TRUE(cap.Finished);
  EXPECT_FALSE(cap.OverCap);
}

}  // namespace
