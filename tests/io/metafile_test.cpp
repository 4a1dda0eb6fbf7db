#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "io/metafile_builders.h"
#include "platform/gui/canvas.h"
#include "support/memcap.h"
#include "vistrel/io/metafile.h"
#include "vistrel/io/vistrelio.h"

namespace {

TBitmap* Canvas24(int w, int h) {
  auto* b = new TBitmap;
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  b->Canvas()->Brush()->SetColor(clWhite);
  b->Canvas()->FillRect(Rect(0, 0, w, h));
  return b;
}

TColor Px(TBitmap* b, int x, int y) {
  const uint8_t* p = b->ScanLine(y) + x * 3;
  return RGB(p[2], p[1], p[0]);
}

std::vector<uint8_t> FourColourDIB() {
  // Top-down: red, green / blue, yellow.
  return PackedDIB24(2, 2, {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 255, 255});
}

}  // namespace

TEST(Metafile, PlaceableWmfDrawsShapesWhereTheyBelong) {
  TWmfBuilder w;
  w.CreateBrush(0, 255, 0, 0);  // slot 0
  w.Select(0);
  w.CreatePen(5, 0, 0, 0, 0);  // slot 1: no outline
  w.Select(1);
  w.Rectangle(20, 10, 60, 50);
  w.CreateBrush(0, 0, 0, 255);  // slot 2
  w.Select(2);
  w.Delete(0);                   // frees slot 0
  w.CreatePen(0, 1, 0, 128, 0);  // takes slot 0 again
  w.Select(0);
  w.Ellipse(100, 10, 180, 90);
  w.MoveTo(0, 95);
  w.LineTo(200, 95);
  w.StretchDIB(20, 60, 40, 30, 2, 2, FourColourDIB());
  w.Record(0x0830, {1, 2, 3, 4, 5});                         // a record we don't know: skipped
  std::vector<uint8_t> file = w.Build(0, 0, 400, 200, 192);  // 2 units per pixel at 96 ppi

  TVLMetafile m;
  std::string why;
  ASSERT_TRUE(VLParseMetafile(file.data(), int64_t(file.size()), m, why)) << why;
  EXPECT_FALSE(m.Enhanced);
  EXPECT_EQ(m.Width, 200);
  EXPECT_EQ(m.Height, 100);

  TBitmap* b = Canvas24(200, 100);
  VLPlayMetafile(m, b->Canvas(), Rect(0, 0, 200, 100));
  EXPECT_EQ(Px(b, 20, 10), clRed);  // rectangle 10..30 x 5..25
  EXPECT_EQ(Px(b, 28, 23), clRed);
  EXPECT_EQ(Px(b, 31, 15), clWhite);
  EXPECT_EQ(Px(b, 70, 25), clBlue);  // ellipse 50..90 x 5..45, centre
  EXPECT_EQ(Px(b, 51, 6), clWhite);  // outside the ellipse's curve
  bool outline = false;              // its outline, green pen, at the top of the box
  for (int y = 4; y <= 7; ++y) outline |= Px(b, 70, y) == RGB(0, 128, 0);
  EXPECT_TRUE(outline);
  EXPECT_EQ(Px(b, 40, 48), RGB(0, 128, 0));  // the line at y 95 / 2, halves to even
  EXPECT_EQ(Px(b, 40, 47), clWhite);
  EXPECT_EQ(Px(b, 12, 32), clRed);  // picture 10..30 x 30..45: top left quarter
  EXPECT_EQ(Px(b, 27, 33), clLime);
  EXPECT_EQ(Px(b, 12, 43), clBlue);
  EXPECT_EQ(Px(b, 27, 43), clYellow);
  delete b;
}

TEST(Metafile, EmfDrawsShapesWhereTheyBelong) {
  TEmfBuilder e;
  e.CreateBrush(1, 0, 0, 0, 255);
  e.Select(1);
  e.Select(VLStockObjectFlag | 8);  // null pen
  e.Rectangle(10, 10, 50, 40);
  e.CreateBrush(2, 0, 0, 255, 0);
  e.Select(2);
  e.Polygon16({100, 10, 180, 10, 140, 80});
  e.StretchDIBits(60, 50, 20, 20, 2, 2, FourColourDIB());
  e.Record(200, {7, 7});                            // unknown: skipped
  std::vector<uint8_t> file = e.Build(5080, 2540);  // 192 x 96 pixels

  TVLMetafile m;
  std::string why;
  ASSERT_TRUE(VLParseMetafile(file.data(), int64_t(file.size()), m, why)) << why;
  EXPECT_TRUE(m.Enhanced);
  EXPECT_EQ(m.Width, 192);
  EXPECT_EQ(m.Height, 96);

  TBitmap* b = Canvas24(192, 96);
  VLPlayMetafile(m, b->Canvas(), Rect(0, 0, 192, 96));
  EXPECT_EQ(Px(b, 10, 10), clBlue);
  EXPECT_EQ(Px(b, 49, 39), clBlue);
  EXPECT_EQ(Px(b, 50, 20), clWhite);
  EXPECT_EQ(Px(b, 140, 30), clLime);   // inside the triangle
  EXPECT_EQ(Px(b, 105, 60), clWhite);  // beside it
  EXPECT_EQ(Px(b, 62, 52), clRed);
  EXPECT_EQ(Px(b, 77, 67), clYellow);
  delete b;

  // Drawn at twice the size, everything scales.
  b = Canvas24(384, 192);
  VLPlayMetafile(m, b->Canvas(), Rect(0, 0, 384, 192));
  EXPECT_EQ(Px(b, 22, 22), clBlue);
  EXPECT_EQ(Px(b, 97, 78), clBlue);
  EXPECT_EQ(Px(b, 102, 40), clWhite);
  delete b;
}

TEST(Metafile, TextIsDrawnInItsColour) {
  TWmfBuilder w;
  w.Record(0x0209, {0x00FF, 0});  // text colour red
  w.Record(0x0102, {1});          // transparent background
  w.TextOut(10, 10, "HHHH");
  std::vector<uint8_t> file = w.Build(0, 0, 100, 50, 96);
  TVLMetafile m;
  std::string why;
  ASSERT_TRUE(VLParseMetafile(file.data(), int64_t(file.size()), m, why)) << why;
  ASSERT_EQ(m.Records.size(), 3u);
  EXPECT_EQ(m.Records[2].Text, "HHHH");
  TBitmap* b = Canvas24(100, 50);
  VLPlayMetafile(m, b->Canvas(), Rect(0, 0, 100, 50));
  int red = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) {
      TColor c = Px(b, x, y);
      if (c != clWhite) {
        EXPECT_GE(x, 10);
        EXPECT_GE(y, 10);
        red += c == clRed;
      }
    }
  EXPECT_GT(red, 10);
  delete b;
}

TEST(Metafile, BadInputIsRejected) {
  TWmfBuilder w;
  w.Rectangle(1, 1, 5, 5);
  std::vector<uint8_t> good = w.Build(0, 0, 100, 100, 96);
  TVLMetafile m;
  std::string why;
  ASSERT_TRUE(VLParseMetafile(good.data(), int64_t(good.size()), m, why));
  // Every truncation fails (the end record is missing or a record runs past the end).
  for (size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(VLParseMetafile(good.data(), int64_t(n), m, why)) << n;
  std::vector<uint8_t> garbage(300);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 7 + 3);
  EXPECT_FALSE(VLParseMetafile(garbage.data(), int64_t(garbage.size()), m, why));
  EXPECT_EQ(why, "not a metafile");

  // A record that claims to be larger than the file.
  std::vector<uint8_t> bad = good;
  bad[40] = 0xFF;
  bad[41] = 0xFF;
  EXPECT_FALSE(VLParseMetafile(bad.data(), int64_t(bad.size()), m, why));

  TEmfBuilder e;
  e.Rectangle(1, 1, 5, 5);
  std::vector<uint8_t> emf = e.Build(2540, 2540);
  ASSERT_TRUE(VLParseMetafile(emf.data(), int64_t(emf.size()), m, why));
  for (size_t n = 0; n < emf.size(); ++n) EXPECT_FALSE(VLParseMetafile(emf.data(), int64_t(n), m, why)) << n;
  // A record size that is not a multiple of four.
  std::vector<uint8_t> odd = emf;
  odd[88 + 4] = 23;
  EXPECT_FALSE(VLParseMetafile(odd.data(), int64_t(odd.size()), m, why));

  // A DIB whose rows are not all there is skipped, the rest of the file plays.
  TWmfBuilder d;
  std::vector<uint8_t> dib = FourColourDIB();
  dib.resize(dib.size() - 4);
  d.StretchDIB(0, 0, 10, 10, 2, 2, dib);
  d.Rectangle(1, 1, 5, 5);
  std::vector<uint8_t> f2 = d.Build(0, 0, 10, 10, 96);
  ASSERT_TRUE(VLParseMetafile(f2.data(), int64_t(f2.size()), m, why));
  ASSERT_EQ(m.Records.size(), 1u);
  EXPECT_EQ(m.Records[0].Op, moRectangle);
}

TEST(Metafile, HugeShapesAreCutExactly) {
  TEmfBuilder e;
  e.Select(VLStockObjectFlag | 8);  // null pen
  e.CreateBrush(1, 0, 255, 0, 0);
  e.Select(1);
  // A triangle reaching far past the right edge, nearly flat along y 10 and y 50.
  e.Record(3, {0, 0, 0, 0, 3, 10, 10, 100000000, 10, 10, 50});
  e.CreateBrush(2, 0, 0, 0, 255);
  e.Select(2);
  // An ellipse whose top just touches y 60 in the middle of the picture.
  e.Ellipse(96 - 10000000, 60, 96 + 10000000, 60 + 20000000);
  // A line from far left to far right along y 5.
  e.Select(VLStockObjectFlag | 7);  // black pen
  e.MoveTo(-50000000, 5);
  e.LineTo(50000000, 5);
  std::vector<uint8_t> file = e.Build(5080, 2540);
  TVLMetafile m;
  std::string why;
  ASSERT_TRUE(VLParseMetafile(file.data(), int64_t(file.size()), m, why)) << why;
  TBitmap* b = Canvas24(192, 96);
  VLPlayMetafile(m, b->Canvas(), Rect(0, 0, 192, 96));
  EXPECT_EQ(Px(b, 150, 30), clRed);
  EXPECT_EQ(Px(b, 190, 49), clRed);
  EXPECT_EQ(Px(b, 150, 51), clWhite);
  EXPECT_EQ(Px(b, 5, 30), clWhite);
  EXPECT_EQ(Px(b, 3, 61), clBlue);
  EXPECT_EQ(Px(b, 185, 95), clBlue);
  EXPECT_EQ(Px(b, 96, 58), clWhite);
  for (int x = 0; x < 192; x += 10) EXPECT_EQ(Px(b, x, 5), clBlack) << x;
  EXPECT_EQ(Px(b, 40, 4), clWhite);
  delete b;

  // A picture far larger than the frame, split at x 96 and y 60.
  TEmfBuilder p;
  p.StretchDIBits(96 - 10000000, 60 - 5000000, 20000000, 10000000, 2, 2, FourColourDIB());
  file = p.Build(5080, 2540);
  ASSERT_TRUE(VLParseMetafile(file.data(), int64_t(file.size()), m, why)) << why;
  b = Canvas24(192, 96);
  VLPlayMetafile(m, b->Canvas(), Rect(0, 0, 192, 96));
  EXPECT_EQ(Px(b, 50, 30), clRed);
  EXPECT_EQ(Px(b, 150, 30), clLime);
  EXPECT_EQ(Px(b, 50, 80), clBlue);
  EXPECT_EQ(Px(b, 150, 80), clYellow);
  EXPECT_EQ(Px(b, 95, 59), clRed);
  EXPECT_EQ(Px(b, 97, 61), clYellow);
  delete b;
}

TEST(Metafile, EllipsesFarBelowOrAboveThePictureDrawNothing) {
  // Rows past the integer range once mapped: nothing to draw, quickly and without a
  // wrapped row count.
  TEmfBuilder e;
  e.CreateBrush(1, 0, 255, 0, 0);
  e.Select(1);
  e.Ellipse(0, 300000000, 50, 2000000000);
  e.Ellipse(0, -2000000000, 50, -300000000);
  e.Ellipse(-2000000000, 10, 2000000000, 2000000000);  // its top arc crosses the picture
  std::vector<uint8_t> file = e.Build(2540, 2540);
  TVLMetafile m;
  std::string why;
  ASSERT_TRUE(VLParseMetafile(file.data(), int64_t(file.size()), m, why)) << why;
  TBitmap* b = Canvas24(960, 960);
  VLPlayMetafile(m, b->Canvas(), Rect(0, 0, 960, 960));  // ten pixels a unit
  EXPECT_EQ(Px(b, 5, 5), clWhite);
  EXPECT_EQ(Px(b, 500, 95), clWhite);
  EXPECT_EQ(Px(b, 500, 105), clRed);
  EXPECT_EQ(Px(b, 959, 959), clRed);
  delete b;
}

namespace {

// Runs fn in a child process capped at 128 MB; fn returns what went wrong, or nothing.
void Capped(const std::string& what, const std::function<std::string()>& fn) {
  char* msg = static_cast<char*>(mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(msg, MAP_FAILED);
  std::snprintf(msg, 4096, "stopped");
  vltest::TCapped r = vltest::RunCapped(128, [&] { std::snprintf(msg, 4096, "%s", fn().c_str()); });
  EXPECT_TRUE(r.Finished) << what << (r.OverCap ? ": over the cap" : "") << ", grew " << r.PeakGrowthKB / 1024 << " MB";
  EXPECT_STREQ(msg, "") << what;
  munmap(msg, 4096);
}

// Loads the file through the I/O component into a lime background; the result is the
// bitmap (left at 7 x 5 when the load is refused) and the abort flag.
struct TLoaded {
  TBitmap Bitmap;
  bool Aborting = false;
  TColor Px(int x, int y) {
    const uint8_t* p = Bitmap.ScanLine(y) + x * 3;
    return RGB(p[2], p[1], p[0]);
  }
};
void LoadFile(const std::vector<uint8_t>& bytes, const std::string& ext, TLoaded& out) {
  const std::string name = std::string(VL_BUILD_DIR) + "/metafile_test_" + std::to_string(getpid()) + ext;
  {
    std::ofstream f(name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  out.Bitmap.SetPixelFormat(pf24bit);
  out.Bitmap.SetSize(7, 5);
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&out.Bitmap);
  io.SetBackground(clLime);
  io.LoadFromFile(name);
  out.Aborting = io.Aborting();
  std::filesystem::remove(name);
}

}  // namespace

TEST(Metafile, HostileFilesAreRefusedOrDrawnWithinMemory) {
  // Empty files whose frames say 26000 x 26000 pixels (2 GB): refused before anything is
  // allocated.
  TWmfBuilder emptyWmf;
  TEmfBuilder emptyEmf;
  const std::vector<uint8_t> bigWmf = emptyWmf.Build(0, 0, 26000, 26000, 96);
  const std::vector<uint8_t> bigEmf = emptyEmf.Build(687917, 687917);
  for (const auto& [file, ext] : {std::pair{bigWmf, ".wmf"}, std::pair{bigEmf, ".emf"}}) {
    EXPECT_LT(file.size(), 1024u);
    Capped(std::string("frame ") + ext, [&] {
      TLoaded l;
      LoadFile(file, ext, l);
      if (!l.Aborting) return std::string("not refused");
      if (l.Bitmap.Width() != 7 || l.Bitmap.Height() != 5) return std::string("bitmap changed");
      return std::string();
    });
  }

  // 45 long lines across a 4500 x 4500 picture with a pen of 250 units, 1000 pixels once
  // mapped, corner to corner on alternate diagonals; solid, then dashed (a wide pen draws
  // solid). Each line's mask would be the whole picture.
  for (int style : {0, 1}) {
    TWmfBuilder w;
    w.CreatePen(style, 250, 255, 0, 0);
    w.Select(0);
    for (int i = 0; i < 45; ++i) {
      w.MoveTo(i % 2 ? 1125 : 0, 0);
      w.LineTo(i % 2 ? 0 : 1125, 1125);
    }
    const std::vector<uint8_t> file = w.Build(0, 0, 1125, 1125, 24);  // 4 pixels a unit
    EXPECT_LT(file.size(), 1024u);
    Capped("wide lines, style " + std::to_string(style), [&] {
      TLoaded l;
      LoadFile(file, ".wmf", l);
      if (l.Aborting || l.Bitmap.Width() != 4499) return std::string("not loaded");
      // Half the pen is 500 pixels: 600 / sqrt 2 from both diagonals is inside, 800 / sqrt 2
      // outside.
      const struct {
        int x, y;
        TColor c;
      } probes[] = {{2250, 2250, clRed},  {2250, 2850, clRed}, {2250, 1650, clRed}, {2250, 3050, clLime},
                    {2250, 1450, clLime}, {20, 20, clRed},     {20, 4480, clRed},   {4480, 20, clRed},
                    {4480, 4480, clRed},  {2250, 20, clLime},  {20, 2250, clLime},  {4480, 2250, clLime}};
      for (const auto& p : probes)
        if (l.Px(p.x, p.y) != p.c) return "pixel " + std::to_string(p.x) + ", " + std::to_string(p.y);
      return std::string();
    });
  }

  // Point counts that the records don't hold are dropped; the rest of the file plays.
  TWmfBuilder counts;
  counts.Record(0x0324, {32767, 0, 0, 10, 10});        // polygon of 32767 points
  counts.Record(0x0538, {65535, 65535, 65535, 0, 0});  // 65535 polygons
  counts.CreateBrush(0, 0, 0, 255);
  counts.Select(0);
  counts.Rectangle(10, 10, 20, 20);
  TEmfBuilder countsEmf;
  countsEmf.Record(4, {0, 0, 0, 0, 0xFFFFFFFF, 1, 1});           // polyline of 2^32 - 1 points
  countsEmf.Record(8, {0, 0, 0, 0, 0x3FFFFFFF, 0x7FFFFFFF, 3});  // polypolygon of 2^30 - 1 parts
  countsEmf.CreateBrush(1, 0, 0, 0, 255);
  countsEmf.Select(1);
  countsEmf.Rectangle(10, 10, 20, 20);
  for (const auto& [file, ext] :
       {std::pair{counts.Build(0, 0, 30, 30, 96), ".wmf"}, std::pair{countsEmf.Build(794, 794), ".emf"}}) {
    Capped(std::string("counts ") + ext, [&] {
      TLoaded l;
      LoadFile(file, ext, l);
      if (l.Aborting || l.Bitmap.Width() != 29) return std::string("not loaded");
      if (l.Px(15, 15) != clBlue || l.Px(25, 25) != clLime) return std::string("pixels");
      return std::string();
    });
  }

  // A hollow polygon of 10000 points zigzagging from top to bottom of a 2000-pixel picture:
  // its one-pixel outline crosses 20 million pixels.
  TEmfBuilder zigzag;
  zigzag.Select(VLStockObjectFlag | 5);  // null brush
  std::vector<int> xy;
  for (int i = 0; i < 10000; ++i) {
    xy.push_back(i / 5);
    xy.push_back(i % 2 ? 1999 : 0);
  }
  zigzag.Polygon16(xy);
  Capped("zigzag", [&] {
    TLoaded l;
    LoadFile(zigzag.Build(52917, 52917), ".emf", l);
    if (l.Aborting || l.Bitmap.Width() != 1999) return std::string("not loaded");
    for (int x = 0; x < 1999; x += 97)
      if (l.Px(x, 1000) != clBlack) return "pixel " + std::to_string(x);
    return std::string();
  });

  // Under a limit of 16 MB: a million tiny records, or a 1-bit picture of 48 MB from 2 MB
  // of rows, are refused, not held.
  TWmfBuilder many;
  for (int i = 0; i < 1000000; ++i) many.Record(0x001E, {});  // save the state
  TEmfBuilder bits;
  bits.StretchDIBits(0, 0, 10, 10, 4096, 4096, PackedDIB1(4096, 4096), 48);
  for (const auto& [file, what] :
       {std::pair{many.Build(0, 0, 100, 100, 96), "records"}, std::pair{bits.Build(2540, 2540), "picture"}}) {
    Capped(what, [&] {
      TBitmap::SetMaxBytes(16 << 20);
      TVLMetafile m;
      std::string why;
      if (VLParseMetafile(file.data(), int64_t(file.size()), m, why) || why != "too large") return "read: " + why;
      return std::string();
    });
  }
}
