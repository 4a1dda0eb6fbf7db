#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "vistrel/io/registry.h"

namespace {

int32_t Detect(const std::vector<uint8_t>& bytes, int64_t at = 0) {
  TMemoryStream s;
  std::vector<uint8_t> filler(size_t(at), 0x55);
  s.WriteBuffer(filler.data(), at);
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(at);
  int32_t t = VLFindStreamFormat(&s);
  EXPECT_EQ(s.Position(), at);  // detection leaves the position where it was
  return t;
}

std::vector<uint8_t> Head(const char* text, size_t size) {
  std::vector<uint8_t> v(size, 0);
  std::memcpy(v.data(), text, std::min(size, std::strlen(text)));
  return v;
}

std::vector<uint8_t> Icon(int type) {
  std::vector<uint8_t> v = {0,  0,  uint8_t(type),
                            0,  1,  0,  // directory
                            16, 16, 0,
                            0,  1,  0,
                            24, 0,  40,
                            0,  0,  0,
                            22, 0,  0,
                            0};
  v.resize(60, 0);
  return v;
}

}  // namespace

TEST(Registry, RecordsAndExtensions) {
  ASSERT_EQ(VLFileFormats().size(), 10u);
  for (const char* e : {"jpe", "JPE", "Jpe"}) {
    const TVLFileFormatInfo* f = VLFindFormatByExt(e);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->TypeId, ftJPEG);
  }
  EXPECT_EQ(VLFindFormatByExt(""), nullptr);
  EXPECT_EQ(VLFindFormatByExt("xyz"), nullptr);
  EXPECT_EQ(VLFindFormatByExt("tiff")->TypeId, ftTIFF);
  EXPECT_EQ(VLFindFormatByExt("emf")->Description, "Enhanced Windows Metafile");
  EXPECT_EQ(VLFormatExtCount(3), 3);
  EXPECT_EQ(VLFormatExtCount(9), 1);
  EXPECT_EQ(VLFormatExtCount(0), 0);
  EXPECT_EQ(VLFormatExt(1, 1), "TIFF");
  EXPECT_EQ(VLFormatExt(1, 2), "");
  EXPECT_EQ(VLFindFormatByType(11), nullptr);
  std::string list = "A;BB;C";
  EXPECT_EQ(VLNextExt(list), "A");
  EXPECT_EQ(list, "BB;C");
  list = "Z";
  EXPECT_EQ(VLNextExt(list), "Z");
  EXPECT_EQ(list, "");
}

TEST(Registry, DetectionByContent) {
  EXPECT_EQ(Detect({0xFF, 0xD8, 0xFF}), ftJPEG);
  EXPECT_EQ(Detect(Head("JFIF", 13)), ftJPEG);
  EXPECT_EQ(Detect(Head("JFIF", 12)), 0);
  EXPECT_EQ(Detect(Head("GIF89a", 13)), 0);
  EXPECT_EQ(Detect(Head("GIF89a", 14)), ftGIF);
  EXPECT_EQ(Detect(Head("PCX2", 13)), ftPCX);
  EXPECT_EQ(Detect(Head("PCX", 5)), ftPCX);
  EXPECT_EQ(Detect(Head("PCXA", 5)), 0);
  EXPECT_EQ(Detect(Head("BM", 15)), ftBMP);
  EXPECT_EQ(Detect(Head("BM", 14)), 0);
  std::vector<uint8_t> pcx(129, 0);
  pcx[0] = 0x0A;
  pcx[1] = 5;
  EXPECT_EQ(Detect(pcx), ftPCX);
  pcx[1] = 6;
  EXPECT_EQ(Detect(pcx), 0);
  pcx[1] = 5;
  pcx.resize(128);
  EXPECT_EQ(Detect(pcx), 0);
  EXPECT_EQ(Detect(Head("TIFF", 13)), ftTIFF);
  EXPECT_EQ(Detect(Head("II*", 9)), ftTIFF);
  EXPECT_EQ(Detect(Head("MM", 9)), ftTIFF);
  EXPECT_EQ(Detect(Head("MM", 8)), 0);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  EXPECT_EQ(Detect(png), 0);
  png.push_back(0);
  EXPECT_EQ(Detect(png), ftPNG);
  EXPECT_EQ(Detect(Icon(1)), ftICO);
  EXPECT_EQ(Detect(Icon(2)), ftCUR);
  EXPECT_EQ(Detect(Head("hello, world", 40)), 0);
  EXPECT_EQ(Detect({}), 0);
  // From a position inside a stream: sizes are those of the whole stream.
  EXPECT_EQ(Detect({0xFF, 0xD8, 0xFF, 0}, 7), ftJPEG);
  EXPECT_EQ(Detect(Head("GIF", 4), 10), ftGIF);
}

TEST(Registry, FileDetectionWithExtensionCheck) {
  std::string dir = std::string(VL_BUILD_DIR) + "/registry_test";
  std::filesystem::create_directories(dir);
  std::string name = dir + "/photo.gif";
  {
    TFileStream f(name, fmCreate);
    uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0};
    f.WriteBuffer(jpeg, sizeof jpeg);
  }
  EXPECT_EQ(VLFindFileFormat(name, false), ftJPEG);
  EXPECT_EQ(VLFindFileFormat(name, true), 0);
  std::string right = dir + "/photo.JPE";
  std::filesystem::copy_file(name, right, std::filesystem::copy_options::overwrite_existing);
  EXPECT_EQ(VLFindFileFormat(right, true), ftJPEG);
  EXPECT_EQ(VLFindFileFormat(dir + "/missing.jpg", false), 0);
  std::filesystem::remove_all(dir);
}

TEST(Registry, FormatDescriptions) {
  TIOParamsVals p(nullptr);
  EXPECT_EQ(VLFormatDescription(p), "");
  p.FileType = ftJPEG;
  EXPECT_EQ(VLFormatDescription(p), "JPEG Bitmap (JPG) YCbCr");
  p.JPEGColorSpace = 0;
  EXPECT_EQ(VLFormatDescription(p), "JPEG Bitmap (JPG)");
  p.FileType = ftTIFF;
  p.TIFFCompression = 4;
  EXPECT_EQ(VLFormatDescription(p), "TIFF Bitmap (TIF) Group 4 Fax");
  p.FileType = ftBMP;
  p.BMPVersion = 2;
  EXPECT_EQ(VLFormatDescription(p), "Windows Bitmap (BMP) OS/2 v.1");
  p.FileType = ftPCX;
  p.PCXCompression = false;
  EXPECT_EQ(VLFormatDescription(p), "PaintBrush (PCX) Uncompressed");
  p.FileType = ftPNG;
  p.PNGInterlaced = true;
  EXPECT_EQ(VLFormatDescription(p), "Portable Network Graphics (PNG) Interlaced");
  p.FileType = ftGIF;
  EXPECT_EQ(VLFormatDescription(p), "CompuServe Bitmap (GIF)");
  p.FileType = ftEMF;
  EXPECT_EQ(VLFormatDescription(p), "Enhanced Windows Metafile (EMF)");
}

TEST(Registry, BuildingItLeavesInstalledCodersAlone) {
  VLFreeFormatRegistry();
  auto decoder = [](TStream*, int32_t, int32_t, bool, uint8_t*) {};
  DefaultGIFLZWDecompressor = decoder;
  EXPECT_EQ(VLFileFormats().size(), 10u);
  EXPECT_EQ(DefaultGIFLZWDecompressor, static_cast<TGIFLZWDecoder>(decoder));
  DefaultGIFLZWDecompressor = nullptr;
}
