#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "platform/core/core.h"
#include "platform/core/pixelpool.h"
#include "vistrel/codecs/ioparams.h"

TEST(Rounding, HalvesToEvenAndTruncation) {
  EXPECT_EQ(Round(0.5L), 0);
  EXPECT_EQ(Round(1.5L), 2);
  EXPECT_EQ(Round(2.5L), 2);
  EXPECT_EQ(Round(-2.5L), -2);
  EXPECT_EQ(Round(2.5000001L), 3);
  EXPECT_EQ(Trunc(-1.9L), -1);
  EXPECT_EQ(Trunc(1.9L), 1);
  EXPECT_EQ(TruncInt(1e30L), INT32_MAX);
}

TEST(Colors, SystemColorsResolve) {
  EXPECT_EQ(ColorToRGB(clWindow), clWhite);
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FF);
  EXPECT_EQ(ColorToTriple(clRed), (TRGB{0, 0, 255}));
}

TEST(Rects, IntersectionAndPointsExcludeRightBottom) {
  TRect r;
  EXPECT_TRUE(IntersectRect(r, Rect(0, 0, 10, 10), Rect(5, 5, 20, 20)));
  EXPECT_EQ(r, Rect(5, 5, 10, 10));
  EXPECT_FALSE(IntersectRect(r, Rect(0, 0, 10, 10), Rect(10, 0, 20, 10)));
  EXPECT_TRUE(PtInRect(Rect(0, 0, 10, 10), Point(9, 9)));
  EXPECT_FALSE(PtInRect(Rect(0, 0, 10, 10), Point(10, 9)));
}

TEST(MemoryStream, ReadWriteSeekSemantics) {
  TMemoryStream m;
  m.WriteBuffer("abcdef", 6);
  EXPECT_EQ(m.Size(), 6);
  EXPECT_EQ(m.Position(), 6);
  m.SetPosition(2);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 4);
  EXPECT_STREQ(buf, "cdef");
  EXPECT_EQ(m.Read(buf, 1), 0);
  m.SetPosition(4);
  EXPECT_THROW(m.ReadBuffer(buf, 3), EReadError);
  // Writing past the end fills the gap with zeros.
  m.SetPosition(8);
  m.WriteByte('x');
  EXPECT_EQ(m.Size(), 9);
  EXPECT_EQ(static_cast<char*>(m.Memory())[6], 0);
  m.SetPosition(0);
  EXPECT_EQ(m.ReadDWordLE(), 0x64636261u);
}

TEST(FileStream, ErrorsAndAtomicSave) {
  auto dir = std::filesystem::temp_directory_path() / ("core_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string name = (dir / "a.bin").string();
  EXPECT_THROW(TFileStream(name, fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream((dir / "no/such/x").string(), fmCreate), EFCreateError);
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("old", 3);
  }
  // A failed write leaves the old file and no temporary behind.
  EXPECT_FALSE(SaveFileAtomically(name, [](TStream* s) {
    s->WriteBuffer("new!", 4);
    return false;
  }));
  EXPECT_THROW(SaveFileAtomically(name, [](TStream*) -> bool { throw EWriteError("boom"); }), EWriteError);
  TMemoryStream m;
  m.LoadFromFile(name);
  EXPECT_EQ(std::string(static_cast<char*>(m.Memory()), 3), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  EXPECT_TRUE(SaveFileAtomically(name, [](TStream* s) {
    s->WriteBuffer("new!", 4);
    return true;
  }));
  m.LoadFromFile(name);
  EXPECT_EQ(m.Size(), 4);
  std::filesystem::remove_all(dir);
}

// Read system calls of the process so far.
static int64_t ReadCalls() {
  std::ifstream io("/proc/self/io");
  std::string key;
  int64_t value = 0;
  while (io >> key >> value)
    if (key == "syscr:") return value;
  return -1;
}

TEST(FileStream, BufferedReadsSeeWritesSeeksAndSizeChanges) {
  const std::string name =
      (std::filesystem::temp_directory_path() / ("core_rw_" + std::to_string(::getpid()) + ".bin")).string();
  std::vector<uint8_t> data(300000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + i / 251);
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer(data.data(), int64_t(data.size()));
  }
  TFileStream f(name, fmOpenReadWrite);
  // Field by field: a few system calls, not one per byte.
  const int64_t before = ReadCalls();
  uint64_t sum = 0, expected = 0;
  for (int i = 0; i < 20000; ++i) sum += f.ReadByte();
  for (int i = 0; i < 20000; ++i) expected += data[size_t(i)];
  EXPECT_EQ(sum, expected);
  if (before >= 0) {
    EXPECT_LT(ReadCalls() - before, 20);
  }
  EXPECT_EQ(f.Position(), 20000);

  // A write inside the read-ahead lands at the stream's position and is read back.
  f.Seek(-10000, soCurrent);
  f.WriteBuffer("ABCD", 4);
  EXPECT_EQ(f.Position(), 10004);
  EXPECT_EQ(f.ReadByte(), data[10004]);
  f.SetPosition(9999);
  uint8_t b[6];
  f.ReadBuffer(b, 6);
  EXPECT_EQ(b[0], data[9999]);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b + 1), 4), "ABCD");
  EXPECT_EQ(b[5], data[10004]);
  // Far seeks, from the end and back; a refused seek keeps the position.
  EXPECT_EQ(f.Seek(-2, soEnd), int64_t(data.size()) - 2);
  EXPECT_EQ(f.ReadByte(), data[data.size() - 2]);
  EXPECT_EQ(f.Seek(-1, soBeginning), -1);
  EXPECT_EQ(f.Position(), int64_t(data.size()) - 1);
  f.SetPosition(150000);
  EXPECT_EQ(f.ReadByte(), data[150000]);
  EXPECT_EQ(f.Seek(-150001, soCurrent), 0);
  EXPECT_EQ(f.ReadByte(), data[0]);
  // A cut makes the bytes past it gone, and another handle sees what this one wrote.
  f.SetSize(10002);
  EXPECT_EQ(f.Size(), 10002);
  f.SetPosition(10000);
  EXPECT_EQ(f.Read(b, 6), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 2), "AB");
  f.WriteBuffer("xyz", 3);
  TFileStream g(name, fmOpenRead);
  EXPECT_EQ(g.Size(), 10005);
  g.SetPosition(10001);
  g.ReadBuffer(b, 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 4), "Bxyz");
  std::filesystem::remove(name);
}

// A relative move past the largest position, after a read filled the read-ahead, is refused.
TEST(FileStream, SeekPastTheLargestPositionIsRefused) {
  const std::string name =
      (std::filesystem::temp_directory_path() / ("core_far_" + std::to_string(::getpid()) + ".bin")).string();
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("0123456789", 10);
  }
  TFileStream f(name, fmOpenRead);
  EXPECT_EQ(f.ReadByte(), '0');
  EXPECT_EQ(f.Seek(std::numeric_limits<int64_t>::max(), soCurrent), -1);
  EXPECT_EQ(f.Position(), 1);
  EXPECT_EQ(f.ReadByte(), '1');
  std::filesystem::remove(name);
}

TEST(FileNames, Helpers) {
  EXPECT_EQ(ExtractFileExt("/a.b/c.JPE"), ".JPE");
  EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
  EXPECT_EQ(ExtractFileName("x/y/z.bmp"), "z.bmp");
  EXPECT_EQ(ExtractFilePath("x/y/z.bmp"), "x/y/");
  EXPECT_EQ(ChangeFileExt("x/y.bmp", ".png"), "x/y.png");
  EXPECT_EQ(StrToIntDef("12x", 7), 7);
  EXPECT_EQ(StrToInt(" -42 "), -42);
}

TEST(Bitmap, SizeKeepsTopLeftAndRowsAreAligned) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(3, 2);
  EXPECT_EQ(b.RowBytes(), 12);
  b.ScanLine(1)[0] = 7;
  b.ScanLine(0)[8] = 9;
  b.SetSize(5, 3);
  EXPECT_EQ(b.RowBytes(), 16);
  EXPECT_EQ(b.ScanLine(1)[0], 7);
  EXPECT_EQ(b.ScanLine(0)[8], 9);
  EXPECT_EQ(b.ScanLine(2)[0], 0);
  EXPECT_THROW(b.ScanLine(3), EInvalidGraphicOperation);
  b.SetSize(1, 1);
  EXPECT_EQ(b.Width(), 1);

  TBitmap m;
  m.SetPixelFormat(pf1bit);
  m.SetSize(13, 1);
  EXPECT_EQ(m.RowBytes(), 4);
  m.ScanLine(0)[0] = 0xFF;
  m.ScanLine(0)[1] = 0xFF;
  m.SetWidth(10);  // bits past the kept width are cleared
  m.SetWidth(13);
  EXPECT_EQ(m.ScanLine(0)[1], 0xC0);
}

TEST(Bitmap, PixelFormatConversions) {
  TBitmap b;
  b.SetPixelFormat(pf1bit);
  b.SetSize(9, 1);
  b.ScanLine(0)[0] = 0x80;
  b.ScanLine(0)[1] = 0x80;
  b.SetPixelFormat(pf24bit);
  const uint8_t* r = b.ScanLine(0);
  EXPECT_EQ(r[0], 255);
  EXPECT_EQ(r[3], 0);
  EXPECT_EQ(r[24 + 2], 255);
  // Back to 1 bit: nearest of black and white.
  r = nullptr;
  b.ScanLine(0)[3] = 200;
  b.ScanLine(0)[4] = 200;
  b.ScanLine(0)[5] = 200;
  b.SetPixelFormat(pf1bit);
  EXPECT_EQ(b.ScanLine(0)[0], 0xC0);

  TBitmap p;
  p.SetPixelFormat(pf8bit);
  p.SetSize(2, 1);
  std::vector<TRGBQuad> pal(256);
  pal[5] = TRGBQuad{1, 2, 3, 0};
  p.SetPalette(pal);
  p.ScanLine(0)[1] = 5;
  TBitmap c;
  c.Assign(&p);
  EXPECT_EQ(c.PixelFormat(), pf8bit);
  c.SetPixelFormat(pf24bit);
  EXPECT_EQ(c.ScanLine(0)[3], 1);
  EXPECT_EQ(c.ScanLine(0)[5], 3);
}

TEST(Bitmap, AllocateLeavesPixelsToTheCallerAndPaddingZero) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(5, 3);
  for (int y = 0; y < 3; ++y) std::memset(b.ScanLine(y), 0xEE, size_t(b.RowBytes()));
  int changes = 0;
  b.OnChange = [&](TObject*) { ++changes; };
  const uint64_t gen = b.Generation();
  b.Allocate(5, 3, pf24bit);  // same memory, padding cleared
  EXPECT_EQ(changes, 1);
  EXPECT_GT(b.Generation(), gen);
  for (int y = 0; y < 3; ++y)
    for (int i = 15; i < 16; ++i) EXPECT_EQ(b.ScanLine(y)[i], 0);

  b.Allocate(13, 2, pf1bit);
  EXPECT_EQ(b.PixelFormat(), pf1bit);
  EXPECT_EQ(b.RowBytes(), 4);
  EXPECT_EQ(b.Palette().size(), 2u);
  EXPECT_EQ(b.ScanLine(1)[2], 0);
  EXPECT_EQ(b.ScanLine(1)[3], 0);
  b.Allocate(2, 2, pfDevice);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_TRUE(b.Palette().empty());

  // Too large: nothing changes.
  EXPECT_THROW(b.Allocate(1 << 20, 1 << 12, pf32bit), EOutOfResources);
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.PixelFormat(), pf24bit);

  // A large block written whole and freed; the next picture of that size reads as black
  // when sized the ordinary way, and an odd width gets zero padding.
  const int w = 6000, h = 4000;
  {
    TBitmap big;
    big.Allocate(w, h, pf24bit);
    std::memset(big.Bits(), 0x5A, size_t(big.ImageSize()));
  }
  TBitmap z;
  z.SetPixelFormat(pf24bit);
  z.SetSize(w, h);
  for (int y = 0; y < h; y += 997) {
    const uint8_t* r = z.ScanLine(y);
    EXPECT_TRUE(std::all_of(r, r + z.RowBytes(), [](uint8_t v) { return v == 0; })) << y;
  }
  std::memset(z.Bits(), 0x5A, size_t(z.ImageSize()));
  z.Allocate(w - 1, h, pf24bit);
  for (int y = 0; y < h; y += 997) EXPECT_EQ(z.ScanLine(y)[z.RowBytes() - 1], 0) << y;
  TBitmap copy;
  copy.Assign(&z);
  EXPECT_EQ(std::memcmp(copy.Bits(), z.Bits(), size_t(z.ImageSize())), 0);
}

namespace {
struct Probe : TComponent {
  using TComponent::TComponent;
  std::vector<TComponent*>* removed = nullptr;
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == opRemove && removed) removed->push_back(c);
  }
};
}  // namespace

TEST(PixelPool, ReusesFreedPagesForAnySizeWithinItsLimitAndGivesThemBack) {
  constexpr int64_t P = TPixelPool::Page;
  // Whether every page of the range is mapped.
  auto mapped = [](uint8_t* p, int64_t n) {
    std::vector<unsigned char> v(size_t(n / 4096));
    return mincore(p, size_t(n), v.data()) == 0;
  };
  TPixelPool pool(6 * P);
  bool zero = false;
  uint8_t* a = pool.Take(4 * P, zero);
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(zero);
  std::memset(a, 0x5A, size_t(4 * P));
  pool.Give(a, 4 * P);
  EXPECT_EQ(pool.Kept(), 4 * P);
  // A smaller picture takes the front of the kept block.
  uint8_t* b = pool.Take(P, zero);
  EXPECT_EQ(b, a);
  EXPECT_FALSE(zero);
  EXPECT_EQ(pool.Kept(), 3 * P);
  // A larger one gets the kept pages moved into it: none stay where they were.
  uint8_t* c = pool.Take(6 * P, zero);
  ASSERT_NE(c, nullptr);
  EXPECT_FALSE(zero);
  EXPECT_EQ(pool.Kept(), 0);
  EXPECT_FALSE(mapped(a + P, P));
  std::memset(c, 1, size_t(6 * P));
  // Past the limit the longest kept block goes back to the system; so does a block larger
  // than the limit, at once.
  pool.Give(b, P);
  pool.Give(c, 6 * P);
  EXPECT_EQ(pool.Kept(), 6 * P);
  EXPECT_FALSE(mapped(b, P));
  EXPECT_TRUE(mapped(c, 6 * P));
  uint8_t* d = pool.Take(8 * P, zero);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(pool.Kept(), 0);
  pool.Give(d, 8 * P);
  EXPECT_EQ(pool.Kept(), 0);
  EXPECT_FALSE(mapped(d, 8 * P));
  // Trimming gives back everything kept.
  uint8_t* e = pool.Take(2 * P, zero);
  pool.Give(e, 2 * P);
  EXPECT_EQ(pool.Kept(), 2 * P);
  pool.Trim();
  EXPECT_EQ(pool.Kept(), 0);
  EXPECT_FALSE(mapped(e, 2 * P));
}

TEST(Component, OwnerFreesAndFreeNotification) {
  std::vector<TComponent*> removed;
  auto* owner = new TComponent(nullptr);
  auto* a = new Probe(owner);
  auto* watcher = new Probe(nullptr);
  watcher->removed = &removed;
  a->SetName("Alpha");
  EXPECT_EQ(owner->FindComponent("alpha"), a);
  watcher->FreeNotification(a);
  owner->Free();  // frees a, which tells the watcher
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(removed[0], a);
  // The watcher goes away without touching the freed component.
  watcher->Free();
}

TEST(IOParams, DefaultsAndAssign) {
  TIOParamsVals p(nullptr);
  EXPECT_EQ(p.Width, 0);
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.GIFVersion, "GIF89a");
  EXPECT_EQ(p.JPEGQuality, 50);
  EXPECT_EQ(p.PNGCompression, 5);
  TRGB map[2] = {{1, 2, 3}, {4, 5, 6}};
  p.SetColorMap(map, 2);
  p.Width = 33;
  p.CURXHotSpot = 4;
  TIOParamsVals q(nullptr);
  q.Assign(&p);
  EXPECT_EQ(q.ColorMapCount, 2);
  EXPECT_NE(q.ColorMap, p.ColorMap);
  EXPECT_EQ(q.ColorMap[1], (TRGB{4, 5, 6}));
  p.SetDefaults();
  EXPECT_EQ(p.Width, 33);  // no owner bitmap: kept
  EXPECT_EQ(p.CURXHotSpot, 0);
  EXPECT_EQ(p.ColorMap, nullptr);
  q.Assign(&p);
  EXPECT_EQ(q.ColorMap, nullptr);
}

TEST(StreamHeader, WrittenAndReadBack) {
  TMemoryStream m;
  int64_t p = VLBeginStreamHeader(&m);
  m.WriteBuffer("12345", 5);
  VLEndStreamHeader(&m, p, "JFIF");
  EXPECT_EQ(m.Position(), 17);
  m.SetPosition(0);
  TVLStreamHeader h;
  ASSERT_TRUE(VLReadStreamHeader(&m, h));
  EXPECT_EQ(VLStreamHeaderTag(h), "JFIF");
  EXPECT_EQ(h.Length, 5);
}
