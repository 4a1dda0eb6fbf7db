// The public BMP suite: good files read to their reference pictures, bad ones read through or
// are refused.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <map>

#include "bmp/bmp_support.h"

namespace {

const std::string kSuite = std::string(VL_TESTDATA) + "/bmpsuite/";

std::vector<std::string> FilesOf(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > 4 && n.substr(n.size() - 4) == ".bmp") names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Reference picture of each good file. Every file of g/ is listed; none is left out.
const std::map<std::string, std::string> kGood = {
    {"pal1.bmp", "pal1.png"},           {"pal1bg.bmp", "pal1bg.png"},
    {"pal1wb.bmp", "pal1.png"},         {"pal4.bmp", "pal4.png"},
    {"pal4gs.bmp", "pal4gs.png"},       {"pal4rle.bmp", "pal4.png"},
    {"pal8-0.bmp", "pal8.png"},         {"pal8.bmp", "pal8.png"},
    {"pal8gs.bmp", "pal8gs.png"},       {"pal8nonsquare.bmp", "pal8nonsquare-e.png"},
    {"pal8os2.bmp", "pal8.png"},        {"pal8rle.bmp", "pal8.png"},
    {"pal8topdown.bmp", "pal8.png"},    {"pal8v4.bmp", "pal8.png"},
    {"pal8v5.bmp", "pal8.png"},         {"pal8w124.bmp", "pal8w124.png"},
    {"pal8w125.bmp", "pal8w125.png"},   {"pal8w126.bmp", "pal8w126.png"},
    {"rgb16-565.bmp", "rgb16-565.png"}, {"rgb16-565pal.bmp", "rgb16-565.png"},
    {"rgb16.bmp", "rgb16.png"},         {"rgb16bfdef.bmp", "rgb16.png"},
    {"rgb24.bmp", "rgb24.png"},         {"rgb24pal.bmp", "rgb24.png"},
    {"rgb32.bmp", "rgb24.png"},         {"rgb32bf.bmp", "rgb24.png"},
    {"rgb32bfdef.bmp", "rgb24.png"},
};

}  // namespace

TEST(BMPSuite, GoodFilesMatchTheirReferences) {
  auto names = FilesOf(kSuite + "g");
  ASSERT_FALSE(names.empty());
  for (const auto& n : names) {
    SCOPED_TRACE(n);
    auto it = kGood.find(n);
    ASSERT_NE(it, kGood.end()) << "no reference listed";
    TRefImage want = LoadPNG(kSuite + "reference/" + it->second);
    ASSERT_TRUE(want.Ok());
    TBitmap b;
    TIOParamsVals p(nullptr);
    std::string why;
    ASSERT_TRUE(ReadBMPBytes(ReadFileBytes(kSuite + "g/" + n), b, p, false, nullptr, &why)) << why;
    EXPECT_EQ(b.PixelFormat(), n.rfind("pal1", 0) == 0 ? pf1bit : pf24bit);
    // 16-bit files: each channel's bits become the top bits of its byte.
    if (n.rfind("rgb16-565", 0) == 0) want = TopBits(want, 5, 6, 5);
    else if (n.rfind("rgb16", 0) == 0) want = TopBits(want, 5, 5, 5);
    EXPECT_EQ(Compare(Render(b, p), want), "");
  }
}

TEST(BMPSuite, HeaderFacts) {
  TBitmap b;
  TIOParamsVals p(nullptr);
  auto read = [&](const char* n) { return ReadBMPBytes(ReadFileBytes(kSuite + "g/" + n), b, p, true); };
  ASSERT_FALSE(FilesOf(kSuite + "g").empty());
  ASSERT_TRUE(read("pal8os2.bmp"));
  EXPECT_EQ(p.BMPVersion, 2);
  EXPECT_EQ(p.DpiX, ScreenPixelsPerInch());
  EXPECT_EQ(p.ColorMapCount, 256);
  ASSERT_TRUE(read("pal8v4.bmp"));
  EXPECT_EQ(p.BMPVersion, 0);
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.SamplesPerPixel, 1);
  EXPECT_EQ(p.DpiX, 72);  // 2835 pixels per metre
  ASSERT_TRUE(read("pal8rle.bmp"));
  EXPECT_EQ(p.BMPVersion, 1);
  EXPECT_TRUE(p.BMPCompression);
  ASSERT_TRUE(read("rgb16-565.bmp"));
  EXPECT_EQ(p.BitsPerSample, 5);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  EXPECT_FALSE(p.BMPCompression);
  ASSERT_TRUE(read("pal8topdown.bmp"));
  EXPECT_EQ(p.Height, 64);
  EXPECT_EQ(b.Width(), 0);  // params only: the bitmap stays as it was
}

// Bad files: damage that leaves the picture there is read through (pixels past a row dropped,
// indices past the map black, damaged size, density and plane fields ignored); a file whose
// picture can't be read at all is refused with a reason. Every file of b/ is listed.
TEST(BMPSuite, BadFilesReadThroughOrAreRefused) {
  auto names = FilesOf(kSuite + "b");
  ASSERT_FALSE(names.empty());
  enum TOutcome { kRefused, kExact, kBottomRows, kBlackWhereDamaged, kRead };
  struct TCase {
    TOutcome Outcome;
    const char* Reference;
    int Rows;  // kBottomRows: rows from the bottom that match the reference
  };
  const std::map<std::string, TCase> cases = {
      {"badbitcount.bmp", {kRefused, nullptr, 0}},   // 30000 bits per pixel
      {"badwidth.bmp", {kRefused, nullptr, 0}},      // negative width
      {"reallybig.bmp", {kRefused, nullptr, 0}},     // past the picture limit
      {"rletopdown.bmp", {kRefused, nullptr, 0}},    // compressed rows can't run top-down
      {"shortfile.bmp", {kRefused, nullptr, 0}},     // pixels cut short
      {"badbitssize.bmp", {kExact, "pal1.png", 0}},  // image size field too large
      {"baddens1.bmp", {kExact, "pal1.png", 0}},     // absurd density
      {"baddens2.bmp", {kExact, "pal1.png", 0}},
      {"badfilesize.bmp", {kExact, "pal1.png", 0}},    // file size field too large
      {"badheadersize.bmp", {kExact, "pal1.png", 0}},  // 66-byte header: 64 read, 2 skipped
      {"badplanes.bmp", {kExact, "pal1.png", 0}},
      {"badpalettesize.bmp", {kExact, "pal8.png", 0}},  // 305 million colours: 256 read
      {"badrlebis.bmp", {kBottomRows, "pal8.png", 21}},
      {"badrleter.bmp", {kBottomRows, "pal8.png", 21}},
      {"badrle4bis.bmp", {kBottomRows, "pal4.png", 21}},
      {"badrle4ter.bmp", {kBottomRows, "pal4.png", 21}},
      {"pal8badindex.bmp", {kBlackWhereDamaged, "pal8.png", 0}},
      {"badrle.bmp", {kRead, nullptr, 0}},  // runs past the row everywhere
      {"badrle4.bmp", {kRead, nullptr, 0}},
      {"rgb16-880.bmp", {kRead, nullptr, 0}},  // masks 8-8-0: below
  };
  TBitmap::SetMaxBytes(int64_t(1) << 28);
  for (const auto& n : names) {
    SCOPED_TRACE(n);
    auto it = cases.find(n);
    ASSERT_NE(it, cases.end()) << "no outcome listed";
    const TCase& c = it->second;
    TBitmap b;
    TIOParamsVals p(nullptr);
    std::string why;
    const auto bytes = ReadFileBytes(kSuite + "b/" + n);
    const bool ok = ReadBMPBytes(bytes, b, p, false, nullptr, &why);
    if (c.Outcome == kRefused) {
      EXPECT_FALSE(ok);
      EXPECT_FALSE(why.empty());
      continue;
    }
    ASSERT_TRUE(ok) << why;
    ASSERT_EQ(b.Width(), 127);
    ASSERT_EQ(b.Height(), 64);
    if (!c.Reference) continue;
    const TRefImage want = LoadPNG(kSuite + "reference/" + c.Reference), got = Render(b, p);
    ASSERT_TRUE(want.Ok());
    if (c.Outcome == kExact) {
      EXPECT_EQ(Compare(got, want), "");
    } else if (c.Outcome == kBottomRows) {
      // The rows decoded before the damage match; past it, pixels differ.
      const size_t rowBytes = size_t(127) * 3, from = size_t(64 - c.Rows) * rowBytes;
      EXPECT_TRUE(std::equal(got.RGB.begin() + long(from), got.RGB.end(), want.RGB.begin() + long(from)));
      EXPECT_FALSE(std::equal(got.RGB.begin(), got.RGB.begin() + long(from - rowBytes), want.RGB.begin()));
    } else {
      int black = 0;
      for (size_t i = 0; i < got.RGB.size(); i += 3) {
        if (std::equal(&got.RGB[i], &got.RGB[i] + 3, &want.RGB[i])) continue;
        EXPECT_TRUE(got.RGB[i] == 0 && got.RGB[i + 1] == 0 && got.RGB[i + 2] == 0) << i / 3;
        ++black;
      }
      EXPECT_GT(black, 1000);
    }
  }
  // 8-8-0 masks: red from the high byte, green from the low one, no blue.
  TBitmap b;
  TIOParamsVals p(nullptr);
  const auto f = ReadFileBytes(kSuite + "b/rgb16-880.bmp");
  ASSERT_TRUE(ReadBMPBytes(f, b, p));
  const uint8_t* px = &f[66 + 2 * 5];  // bottom row, x = 5
  EXPECT_EQ(b.ScanLine(63)[5 * 3 + 2], px[1]);
  EXPECT_EQ(b.ScanLine(63)[5 * 3 + 1], px[0]);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 127; ++x) ASSERT_EQ(b.ScanLine(y)[x * 3], 0);
  TBitmap::SetMaxBytes(int64_t(1) << 30);
}

TEST(BMPSuite, QuestionableFilesNeverCrash) {
  auto names = FilesOf(kSuite + "q");
  ASSERT_FALSE(names.empty());
  for (const std::string dir : {"q/", "x/"})
    for (const auto& n : FilesOf(kSuite + dir)) {
      TBitmap b;
      TIOParamsVals p(nullptr);
      std::string why;
      bool ok = ReadBMPBytes(ReadFileBytes(kSuite + dir + n), b, p, false, nullptr, &why);
      RecordProperty(n, ok ? "read" : why);
      if (ok) {
        EXPECT_EQ(b.Width(), p.Width) << n;
        EXPECT_EQ(b.Height(), p.Height) << n;
      }
    }
}

// Questionable files that this reader takes, with the rendering they match (skipped pixels of
// compressed files stay black; deltas move from the current position).
TEST(BMPSuite, QuestionableFilesThatRead) {
  ASSERT_FALSE(FilesOf(kSuite + "q").empty());
  const std::pair<const char*, const char*> cases[] = {
      {"pal4rletrns.bmp", "pal4rletrns-b.png"},
      {"pal8rletrns.bmp", "pal8rletrns-b.png"},
      {"pal4rlecut.bmp", "pal4rlecut-b.png"},
      {"pal8rlecut.bmp", "pal8rlecut-b.png"},
      {"rgb16-231.bmp", "rgb16-231.png"},
      {"rgb16-3103.bmp", "rgb16-3103.png"},
      {"pal8offs.bmp", "pal8.png"},
      {"pal8os2v2.bmp", "pal8.png"},
      {"pal8os2-sz.bmp", "pal8.png"},
      {"pal8os2v2-16.bmp", "pal8.png"},
      {"rgb32h52.bmp", "rgb24.png"},
      {"rgb24largepal.bmp", "rgb24.png"},
      {"rgb32-xbgr.bmp", "rgb24.png"},
  };
  for (auto [file, ref] : cases) {
    SCOPED_TRACE(file);
    TBitmap b;
    TIOParamsVals p(nullptr);
    std::string why;
    ASSERT_TRUE(ReadBMPBytes(ReadFileBytes(kSuite + "q/" + file), b, p, false, nullptr, &why)) << why;
    TRefImage want = LoadPNG(kSuite + "reference/" + ref);
    int tolerance = 0;
    if (std::string(file) == "rgb16-231.bmp") want = TopBits(want, 2, 3, 1);
    if (std::string(file) == "rgb16-3103.bmp") want = TopBits(want, 3, 8, 3), tolerance = 1;  // 10-bit green cut to 8
    EXPECT_EQ(Compare(Render(b, p), want, tolerance), "");
  }
}
