// Sources that report nonsense: strips past the picture or the buffer, sizes and depths the
// client can't take, packed DIBs larger than their blocks, endless strips. Each ends with
// false or a clipped picture, never outside a buffer (the tests run under AddressSanitizer).
#include "platform/core/core.h"
#include "twain/twain_support.h"
#include "vistrel/io/twainparams.h"
#include "vistrel/proc/kernels/packeddib.h"

using namespace vltest;

namespace {

class HostileTest : public FakeDsmTest {
 protected:
  bool Acquire(TBitmap& bmp, bool buffered = true) {
    TVLTWainParams tp(nullptr);
    tp.SetBufferedTransfer(buffered);
    // Without the source's dialog a failed transfer ends the acquisition.
    tp.SetShowSourceDialog(false);
    TIOParamsVals params(nullptr);
    bool abort = false;
    TFilterProgress p;
    p.AbortFlag = &abort;
    p.OnProgress = [](TObject*, int percent) { EXPECT_TRUE(percent >= 0 && percent <= 100) << percent; };
    return TwainAcquire(nullptr, &bmp, false, p, params, tp, nullptr);
  }
  bool Asked(uint16_t dat) const {
    for (const auto& c : dsm->Log)
      if (c.DAT == dat) return true;
    return false;
  }
};

// Bytes of one 24-bit row of width pixels, all of one value.
std::vector<uint8_t> Rows(int width, int rows, uint8_t v) { return std::vector<uint8_t>(size_t(width) * 3 * rows, v); }

}  // namespace

TEST_F(HostileTest, StripsAreClippedToThePictureAndTheBuffer) {
  struct Case {
    const char* what;
    fakedsm::TStrip strip;
    int filledRows;  // rows 0.. of the 8x4 picture that must hold 0x77 in every pixel
  };
  const uint32_t huge = 0xFFFFFFF0u;
  std::vector<Case> cases = {
      {"offset past the picture", Strip(0, 4, 8, 4, 24, Rows(8, 4, 0x77), TWRC_XFERDONE), 0},
      {"column offset past the picture", Strip(9, 0, 8, 4, 24, Rows(8, 4, 0x77), TWRC_XFERDONE), 0},
      {"rows past the picture", Strip(0, 0, 8, 1000, 24, Rows(8, 4, 0x77), TWRC_XFERDONE), 4},
      {"columns past the picture", Strip(0, 0, huge, 4, 24, Rows(8, 4, 0x77), TWRC_XFERDONE), 4},
      {"rows past the bytes written", Strip(0, 0, 8, 4, 24, Rows(8, 2, 0x77), TWRC_XFERDONE), 2},
      {"row length past the buffer", Strip(0, 0, 8, 4, huge, Rows(8, 4, 0x77), TWRC_XFERDONE), 1},
  };
  // Bytes written claimed past the whole buffer.
  cases.push_back({"bytes written past the buffer", Strip(0, 0, 8, 4, 24, Rows(8, 4, 0x77), TWRC_XFERDONE), 4});
  cases.back().strip.BytesWritten = huge;
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    dsm->Events = {MSG_XFERREADY};
    dsm->Info = ImageInfo(8, 4, 24);
    dsm->Strips = {c.strip};
    TBitmap bmp;
    ASSERT_TRUE(Acquire(bmp));
    ASSERT_EQ(bmp.Width(), 8);
    ASSERT_EQ(bmp.Height(), 4);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 24; ++x) ASSERT_EQ(bmp.ScanLine(y)[x], y < c.filledRows ? 0x77 : 0) << x << "," << y;
  }
}

TEST_F(HostileTest, PicturesTheClientCantTakeEndWithFalse) {
  struct Case {
    const char* what;
    TW_IMAGEINFO info;
  };
  const Case cases[] = {
      {"unknown length", ImageInfo(8, -1, 24)},
      {"zero width", ImageInfo(0, 4, 24)},
      {"16 bits per pixel", ImageInfo(8, 4, 16)},
      {"larger than any picture may be", ImageInfo(0x7FFFFFFF, 0x7FFFFFFF, 24)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dsm->Log.clear();
    dsm->Events = {MSG_XFERREADY};
    dsm->Info = c.info;
    dsm->Strips = {Strip(0, 0, 8, 4, 24, Rows(8, 4, 0x77), TWRC_XFERDONE)};
    TBitmap bmp;
    EXPECT_FALSE(Acquire(bmp));
    EXPECT_FALSE(Asked(DAT_IMAGEMEMXFER));
    EXPECT_TRUE(Asked(DAT_PENDINGXFERS));
  }

  // A buffer size past anything the picture needs is cut to the picture.
  dsm->Log.clear();
  dsm->Events = {MSG_XFERREADY};
  dsm->Info = ImageInfo(8, 4, 24);
  dsm->Setup = TW_SETUPMEMXFER{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFF0u};
  dsm->Strips = {Strip(0, 0, 8, 4, 24, Rows(8, 4, 0x77), TWRC_XFERDONE)};
  TBitmap bmp;
  EXPECT_TRUE(Acquire(bmp));
  for (const auto& c : dsm->Log)
    if (c.DAT == DAT_IMAGEMEMXFER) {
      EXPECT_LE(c.BufferLength, 64u * 1024);
    }

  // A source that never stops sending strips.
  dsm->Events = {MSG_XFERREADY};
  dsm->Strips = {Strip(0, 0, 8, 1, 24, Rows(8, 1, 0x77))};
  dsm->RepeatLastStrip = true;
  EXPECT_FALSE(Acquire(bmp));
  dsm->RepeatLastStrip = false;

  // Packed DIBs whose headers claim more than their blocks hold.
  std::vector<uint8_t> dib = PackedDib(4, 2, 24, {}, {Rows(4, 1, 1), Rows(4, 1, 2)});
  std::vector<std::vector<uint8_t>> bad;
  bad.push_back(std::vector<uint8_t>(dib.begin(), dib.end() - 1));  // one byte short of the rows
  bad.push_back(dib);
  bad.back()[0] = 0xFF;  // header size past the block
  bad.push_back(dib);
  bad.back()[32] = 0xFF;  // colour table past the block
  bad.push_back(dib);
  bad.back()[4] = 0xFF, bad.back()[5] = 0xFF, bad.back()[6] = 0xFF, bad.back()[7] = 0x7F;  // width
  bad.push_back(dib);
  bad.back()[8] = 0, bad.back()[9] = 0, bad.back()[10] = 0, bad.back()[11] = 0x80;  // height INT32_MIN
  bad.push_back(dib);
  bad.back()[16] = 1;                                                  // run-length coded
  bad.push_back(std::vector<uint8_t>(dib.begin(), dib.begin() + 20));  // a short header
  for (size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(i);
    dsm->Events = {MSG_XFERREADY};
    dsm->Dib = bad[i];
    TBitmap b;
    EXPECT_FALSE(Acquire(b, false));
  }
}
