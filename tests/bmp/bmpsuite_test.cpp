// The public BMP suite: good files read to their reference pictures, bad ones are refused.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <map>

#include "bmp/bmp_support.h"

namespace {

const std::string kSuite = std::string(VL_SHARED_TESTDATA) + "/bmpsuite/";

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
    {"pal1.bmp", "pal1.png"},           {"pal1bg.bmp", "pal1bg.png"},     {"pal1wb.bmp", "pal1.png"},
    {"pal4.bmp", "pal4.png"},           {"pal4gs.bmp", "pal4gs.png"},     {"pal4rle.bmp", "pal4.png"},
    {"pal8-0.bmp", "pal8.png"},         {"pal8.bmp", "pal8.png"},         {"pal8gs.bmp", "pal8gs.png"},
    {"pal8nonsquare.bmp", "pal8nonsquare-e.png"},                         {"pal8os2.bmp", "pal8.png"},
    {"pal8rle.bmp", "pal8.png"},        {"pal8topdown.bmp", "pal8.png"},  {"pal8v4.bmp", "pal8.png"},
    {"pal8v5.bmp", "pal8.png"},         {"pal8w124.bmp", "pal8w124.png"}, {"pal8w125.bmp", "pal8w125.png"},
    {"pal8w126.bmp", "pal8w126.png"},   {"rgb16-565.bmp", "rgb16-565.png"}, {"rgb16-565pal.bmp", "rgb16-565.png"},
    {"rgb16.bmp", "rgb16.png"},         {"rgb16bfdef.bmp", "rgb16.png"},  {"rgb24.bmp", "rgb24.png"},
    {"rgb24pal.bmp", "rgb24.png"},      {"rgb32.bmp", "rgb24.png"},       {"rgb32bf.bmp", "rgb24.png"},
    {"rgb32bfdef.bmp", "rgb24.png"},
};

}  // namespace

TEST(BMPSuite, GoodFilesMatchTheirReferences) {
  auto names = FilesOf(kSuite + "g");
  if (names.empty()) GTEST_SKIP() << "suite not found";
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
  if (FilesOf(kSuite + "g").empty()) GTEST_SKIP();
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

TEST(BMPSuite, BadFilesAreRefused) {
  auto names = FilesOf(kSuite + "b");
  if (names.empty()) GTEST_SKIP() << "suite not found";
  TBitmap::SetMaxBytes(int64_t(1) << 28);
  for (const auto& n : names) {
    SCOPED_TRACE(n);
    TBitmap b;
    TIOParamsVals p(nullptr);
    std::string why;
    EXPECT_FALSE(ReadBMPBytes(ReadFileBytes(kSuite + "b/" + n), b, p, false, nullptr, &why));
    EXPECT_FALSE(why.empty());
  }
  TBitmap::SetMaxBytes(int64_t(1) << 30);
}

TEST(BMPSuite, QuestionableFilesNeverCrash) {
  auto names = FilesOf(kSuite + "q");
  if (names.empty()) GTEST_SKIP() << "suite not found";
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
  if (FilesOf(kSuite + "q").empty()) GTEST_SKIP() << "suite not found";
  const std::pair<const char*, const char*> cases[] = {
      {"pal4rletrns.bmp", "pal4rletrns-b.png"}, {"pal8rletrns.bmp", "pal8rletrns-b.png"},
      {"pal4rlecut.bmp", "pal4rlecut-b.png"},   {"pal8rlecut.bmp", "pal8rlecut-b.png"},
      {"rgb16-231.bmp", "rgb16-231.png"},       {"rgb16-3103.bmp", "rgb16-3103.png"},
      {"pal8offs.bmp", "pal8.png"},             {"pal8os2v2.bmp", "pal8.png"},
      {"pal8os2-sz.bmp", "pal8.png"},           {"pal8os2v2-16.bmp", "pal8.png"},
      {"rgb32h52.bmp", "rgb24.png"},            {"rgb24largepal.bmp", "rgb24.png"},
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
