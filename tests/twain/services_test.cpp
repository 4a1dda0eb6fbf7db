// Source selection and listing through the I/O component, and every service without a
// source manager.
#include "platform/core/core.h"
#include "twain/twain_support.h"
#include "vistrel/io/twainparams.h"
#include "vistrel/io/vistrelio.h"

using namespace vltest;

namespace {
class ServicesTest : public FakeDsmTest {};
}  // namespace

TEST_F(ServicesTest, TheChosenSourceBecomesTheSelectedOne) {
  TVistrelIO io(nullptr);
  TBitmap b;
  io.SetAttachedBitmap(&b);
  dsm->UserSelect = 1;
  ASSERT_TRUE(io.SelectAcquireSource());
  EXPECT_EQ(io.TWainParams()->SelectedSource(), 1);
  EXPECT_EQ(io.TWainParams()->GetSourceName(1), "Fake Camera");
  // Cancelled: the selection stays.
  dsm->UserSelect = -1;
  EXPECT_FALSE(io.SelectAcquireSource());
  EXPECT_EQ(io.TWainParams()->SelectedSource(), 1);

  // The I/O component acquires from the camera into its bitmap.
  dsm->Info = ImageInfo(2, 1, 24, Fix(200, 0), Fix(100, 0));
  dsm->Strips = {Strip(0, 0, 2, 1, 8, {1, 2, 3, 4, 5, 6, 0, 0}, TWRC_XFERDONE)};
  ASSERT_TRUE(io.Acquire());
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(b.Width(), 2);
  const uint8_t want[6] = {3, 2, 1, 6, 5, 4};
  EXPECT_EQ(std::memcmp(b.ScanLine(0), want, 6), 0);
  EXPECT_EQ(io.Params()->DpiX, 200);
  EXPECT_EQ(io.Params()->DpiY, 100);
  for (const auto& c : dsm->Log)
    if (c.DAT == DAT_IMAGEINFO) {
      EXPECT_EQ(c.Dest, "Fake Camera");
    }
}

TEST(TwainWithoutManager, EveryServiceSaysNo) {
  for (const char* name : {"/nonexistent/libtwaindsm.so.2", "libm.so.6"}) {  // absent; no entry point
    SCOPED_TRACE(name);
    setenv("VISTREL_TWAIN_DSM", name, 1);
    EXPECT_EQ(TwainSourceManagerName(), name);
    EXPECT_FALSE(TwainSourceManagerInstalled());
    TVLTWainParams tp(nullptr);
    TBitmap b;
    b.SetSize(3, 3);
    TIOParamsVals params(nullptr);
    bool abort = false;
    TFilterProgress p;
    p.AbortFlag = &abort;
    EXPECT_FALSE(TwainAcquire(nullptr, &b, false, p, params, tp, nullptr));
    EXPECT_EQ(b.Width(), 3);
    std::string chosen = "x";
    EXPECT_FALSE(TwainSelectSource(nullptr, chosen));
    EXPECT_EQ(chosen, "");
    std::vector<TW_IDENTITY> list(2);
    TwainListSources(list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(tp.GetSourceName(0), "");
    EXPECT_FALSE(tp.SelectSourceByName(""));
    EXPECT_EQ(tp.GetXResolution().Count(), 0);
    EXPECT_EQ(tp.GetPixelType().Count(), 0);
    TVistrelIO io(nullptr);
    io.SetAttachedBitmap(&b);
    EXPECT_FALSE(io.Acquire());
    EXPECT_FALSE(io.SelectAcquireSource());
  }
  unsetenv("VISTREL_TWAIN_DSM");
  EXPECT_EQ(TwainSourceManagerName(), "libtwaindsm.so.2");
}
