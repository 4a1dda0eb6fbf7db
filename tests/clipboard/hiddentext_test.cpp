// The hidden text kernel called without data.
#include <gtest/gtest.h>

#include "vistrel/proc/kernels/hiddentext.h"
#include "vistrel/proc/kernels/pixels.h"

namespace {

TEST(HiddenTextKernel, AWriteWithoutDataLeavesThePictureAlone) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(20, 10);
  for (int y = 0; y < 10; ++y)
    for (int i = 0; i < 60; ++i) b.ScanLine(y)[i] = uint8_t(y * 60 + i);
  TBitmap before;
  before.Assign(&b);
  ASSERT_GE(VLHiddenTextSpace(&b), 5);
  EXPECT_FALSE(VLWriteHiddenText(&b, nullptr, 5));
  EXPECT_TRUE(VLSameBitmap(&b, &before));
}

}  // namespace
