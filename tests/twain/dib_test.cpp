// Packed DIBs as a source hands them over: the BMP suite's files without their file header,
// read to the suite's reference pictures.
#include <gtest/gtest.h>

#include <cstdlib>

#include "bmp/bmp_support.h"
#include "platform/core/library.h"
#include "vistrel/proc/kernels/packeddib.h"

TEST(PackedDib, SuitePicturesReadToTheirReferences) {
  const std::string suite = std::string(VL_TESTDATA) + "/bmpsuite/";
  // pal1wb has white as entry 0; pal8topdown runs top-down; pal8v5 has a 124-byte header;
  // rgb24pal has a colour table before its 24-bit rows.
  const std::pair<const char*, const char*> files[] = {
      {"pal1.bmp", "pal1.png"},         {"pal1wb.bmp", "pal1.png"},      {"pal4.bmp", "pal4.png"},
      {"pal8.bmp", "pal8.png"},         {"pal8topdown.bmp", "pal8.png"}, {"pal8v5.bmp", "pal8.png"},
      {"pal8w125.bmp", "pal8w125.png"}, {"rgb24.bmp", "rgb24.png"},      {"rgb24pal.bmp", "rgb24.png"}};
  for (const auto& [file, ref] : files) {
    SCOPED_TRACE(file);
    const std::vector<uint8_t> bytes = ReadFileBytes(suite + "g/" + file);
    ASSERT_FALSE(bytes.empty());
    TRefImage want = LoadPNG(suite + "reference/" + ref);
    ASSERT_TRUE(want.Ok());
    // A memory block of exactly the DIB's size, as a source allocates it.
    const size_t n = bytes.size() - 14;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, int64_t(n));
    std::memcpy(GlobalLock(h), bytes.data() + 14, n);
    TBitmap b;
    const int bits = VLPackedDIBToBitmap(h, &b, nullptr, false);
    GlobalFree(h);
    ASSERT_GT(bits, 0);
    TIOParamsVals none(nullptr);
    EXPECT_EQ(Compare(Render(b, none), want), "");
  }

  // A 5-pixel 4-bit row: the fifth pixel from the high nibble of the third byte.
  const uint8_t dib[] = {40, 0, 0, 0, 5,  0,  0,  0, 1,  0,  0,  0, 1,    0,    4,    0,   0, 0,
                         0,  0, 0, 0, 0,  0,  0,  0, 0,  0,  0,  0, 0,    0,    2,    0,   0, 0,
                         0,  0, 0, 0, 10, 20, 30, 0, 40, 50, 60, 0, 0x01, 0x01, 0x1F, 0x00};
  TBitmap b;
  ASSERT_EQ(VLPackedDIBToBitmap(dib, &b, nullptr, true, sizeof dib), 4);
  ASSERT_EQ(b.Width(), 5);
  const uint8_t want[15] = {10, 20, 30, 40, 50, 60, 10, 20, 30, 40, 50, 60, 40, 50, 60};
  EXPECT_EQ(std::memcmp(b.ScanLine(0), want, 15), 0);
  // One byte less and it is refused, the bitmap left as it was.
  EXPECT_EQ(VLPackedDIBToBitmap(dib, &b, nullptr, true, sizeof dib - 1), 0);
  EXPECT_EQ(b.Width(), 5);
}
