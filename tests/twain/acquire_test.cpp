// The acquisition client against the test source manager: strips, native pictures, pending
// transfers, the state machine's unwinding, and sources that report nonsense.
#include <functional>
#include <stdexcept>

#include "platform/core/core.h"
#include "twain/twain_support.h"
#include "vistrel/io/twainparams.h"

using namespace vltest;

namespace {

class AcquireTest : public FakeDsmTest {
 protected:
  TVLTWainParams tp{nullptr};
  TBitmap bmp;
  TIOParamsVals params{nullptr};
  std::vector<int> progress;
  bool abortFlag = false;
  std::function<void(int)> onStrip;

  void SetUp() override {
    FakeDsmTest::SetUp();
    if (HasFatalFailure()) return;
    dsm->Info = ImageInfo(4, 6, 24);
  }

  // Reads the source list and the capabilities first, so the log then holds the acquisition's
  // own connection only; returns where that starts.
  size_t Prime() {
    tp.GetSourceName(0);
    return dsm->Log.size();
  }

  bool Acquire() {
    TFilterProgress p;
    p.AbortFlag = &abortFlag;
    p.OnProgress = [this](TObject*, int percent) {
      progress.push_back(percent);
      if (onStrip) onStrip(percent);
    };
    return TwainAcquire(nullptr, &bmp, false, p, params, tp, nullptr);
  }

  const uint8_t* Px(int x, int y) { return bmp.ScanLine(y) + 3 * x; }
};

std::string Cap(const char* msg, uint16_t cap) { return std::string("CAP/") + msg + "/" + std::to_string(cap); }

}  // namespace

TEST_F(AcquireTest, StripsLandSwappedGrayAndBitExactWithProgressPerStrip) {
  // 24 bits: three strips of two rows, each row 14 bytes (two of padding), red first.
  dsm->Info = ImageInfo(4, 6, 24, Fix(72, 0x8000), Fix(73, 0x8000));
  for (uint32_t s = 0; s < 3; ++s) {
    std::vector<uint8_t> data;
    for (int y = int(2 * s); y < int(2 * s + 2); ++y) {
      for (int x = 0; x < 4; ++x) data.insert(data.end(), {uint8_t(10 * x + y), uint8_t(100 + y), uint8_t(200 + x)});
      data.insert(data.end(), {0xEE, 0xEE});
    }
    dsm->Strips.push_back(Strip(0, 2 * s, 4, 2, 14, data, s == 2 ? TWRC_XFERDONE : TWRC_SUCCESS));
  }
  const size_t from = Prime();
  ASSERT_TRUE(Acquire());
  ASSERT_EQ(bmp.PixelFormat(), pf24bit);
  ASSERT_EQ(bmp.Width(), 4);
  ASSERT_EQ(bmp.Height(), 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 4; ++x) {
      const uint8_t want[3] = {uint8_t(200 + x), uint8_t(100 + y), uint8_t(10 * x + y)};
      ASSERT_EQ(0, std::memcmp(Px(x, y), want, 3)) << x << "," << y;
    }
  EXPECT_EQ(progress, (std::vector<int>{33, 66, 100}));
  EXPECT_EQ(params.Width, 4);
  EXPECT_EQ(params.Height, 6);
  EXPECT_EQ(params.BitsPerSample, 8);
  EXPECT_EQ(params.SamplesPerPixel, 3);
  EXPECT_EQ(params.DpiX, 72);  // 72.5 and 73.5: halves to even
  EXPECT_EQ(params.DpiY, 74);
  const std::vector<std::string> want = {"PARENT/OPENDSM",
                                         "IDENTITY/GETFIRST",
                                         "IDENTITY/OPENDS",
                                         Cap("GET", ICAP_UNITS),
                                         Cap("SET", ICAP_PIXELFLAVOR),
                                         Cap("SET", ICAP_XFERMECH),
                                         Cap("SET", CAP_FEEDERENABLED),
                                         Cap("SET", CAP_INDICATORS),
                                         "UI/ENABLEDS",
                                         "IMAGEINFO/GET",
                                         "SETUPMEM/GET",
                                         "MEMXFER/GET",
                                         "MEMXFER/GET",
                                         "MEMXFER/GET",
                                         "PENDING/ENDXFER",
                                         "UI/DISABLEDS",
                                         "IDENTITY/CLOSEDS",
                                         "PARENT/CLOSEDSM"};
  EXPECT_EQ(Calls(from), want);
  for (const auto& c : dsm->Log)
    if (c.DAT == DAT_IMAGEMEMXFER) {
      EXPECT_EQ(c.BufferFlags, TWMF_APPOWNS | TWMF_HANDLE);
      EXPECT_EQ(c.BufferLength, 64u * 1024);
    }

  // 8 bits: gray pixels.
  dsm->Info = ImageInfo(5, 2, 8);
  dsm->Events = {MSG_XFERREADY};
  dsm->Strips = {Strip(0, 0, 5, 2, 8, {1, 2, 3, 4, 250, 0, 0, 0, 9, 8, 7, 6, 5, 0, 0, 0}, TWRC_XFERDONE)};
  ASSERT_TRUE(Acquire());
  ASSERT_EQ(bmp.PixelFormat(), pf24bit);
  EXPECT_EQ(params.BitsPerSample, 8);
  EXPECT_EQ(params.SamplesPerPixel, 1);
  const uint8_t gray[2][5] = {{1, 2, 3, 4, 250}, {9, 8, 7, 6, 5}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) {
      const uint8_t want3[3] = {gray[y][x], gray[y][x], gray[y][x]};
      EXPECT_EQ(0, std::memcmp(Px(x, y), want3, 3)) << x << "," << y;
    }

  // 1 bit: ten columns from column 3, bit-exact, the bits around them untouched.
  dsm->Info = ImageInfo(16, 2, 1);
  dsm->Events = {MSG_XFERREADY};
  dsm->Strips = {Strip(3, 0, 10, 2, 2, {0xB3, 0x40, 0xFF, 0xC0}, TWRC_XFERDONE)};
  ASSERT_TRUE(Acquire());
  ASSERT_EQ(bmp.PixelFormat(), pf1bit);
  // 1011001101 and 1111111111 at bits 3..12.
  EXPECT_EQ(bmp.ScanLine(0)[0], 0x16);
  EXPECT_EQ(bmp.ScanLine(0)[1], 0x68);
  EXPECT_EQ(bmp.ScanLine(1)[0], 0x1F);
  EXPECT_EQ(bmp.ScanLine(1)[1], 0xF8);
}

TEST_F(AcquireTest, PendingTransfersAreResetAndOneImageKept) {
  dsm->Events = {MSG_XFERREADY, MSG_XFERREADY, MSG_XFERREADY};
  dsm->PendingCounts = {2};
  dsm->Strips = {Strip(0, 0, 4, 6, 12, std::vector<uint8_t>(72, 0x40), TWRC_XFERDONE)};
  const size_t from = Prime();
  ASSERT_TRUE(Acquire());
  const auto calls = Calls(from);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "IMAGEINFO/GET"), 1);
  const auto end = std::find(calls.begin(), calls.end(), "PENDING/ENDXFER");
  ASSERT_NE(end, calls.end());
  EXPECT_EQ(*(end + 1), "PENDING/RESET");
  EXPECT_EQ(*(end + 2), "UI/DISABLEDS");
  EXPECT_EQ(dsm->Events.size(), 2u) << "the loop asked for more after one image";
}

TEST_F(AcquireTest, RefusedStripsFallBackToTheNativeTransfer) {
  // The memory mechanism refused: a palette picture comes as a packed DIB.
  dsm->Failures = {{DG_CONTROL, DAT_CAPABILITY, MSG_SET, ICAP_XFERMECH, TWRC_FAILURE}};
  dsm->Dib = PackedDib(3, 2, 8, {0x0000FF, 0x00FF00, 0xFF0000}, {{0, 1, 2}, {2, 1, 0}});
  const size_t from = Prime();
  ASSERT_TRUE(Acquire());
  auto calls = Calls(from);
  EXPECT_NE(std::find(calls.begin(), calls.end(), "NATIVE/GET"), calls.end());
  EXPECT_EQ(std::find(calls.begin(), calls.end(), "SETUPMEM/GET"), calls.end());
  ASSERT_EQ(bmp.Width(), 3);
  ASSERT_EQ(bmp.Height(), 2);
  const uint8_t top[9] = {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF};  // table entries are blue, green, red
  EXPECT_EQ(0, std::memcmp(bmp.ScanLine(0), top, 9));
  EXPECT_EQ(0, std::memcmp(Px(0, 1), top + 6, 3));
  EXPECT_EQ(params.BitsPerSample, 8);
  EXPECT_EQ(params.SamplesPerPixel, 3);

  // A pixel type refused (asked as 3, sent as RGB): no memory mechanism is asked for at all.
  // The 1-bit picture's table has white first, so its bits are turned round.
  dsm->Failures = {{DG_CONTROL, DAT_CAPABILITY, MSG_SET, ICAP_PIXELTYPE, TWRC_FAILURE}};
  dsm->Events = {MSG_XFERREADY};
  dsm->Dib = PackedDib(10, 1, 1, {0xFFFFFF, 0x000000}, {{0xF0, 0x40}});
  tp.GetPixelType().SetCurrentValue(3);
  const size_t again = dsm->Log.size();
  ASSERT_TRUE(Acquire());
  const auto sets = Sets(ICAP_PIXELTYPE, again);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].ConType, TWON_ONEVALUE);
  EXPECT_EQ(sets[0].Items, std::vector<uint32_t>{TWPT_RGB});
  EXPECT_TRUE(Sets(ICAP_XFERMECH, again).empty());
  ASSERT_EQ(bmp.PixelFormat(), pf1bit);
  EXPECT_EQ(bmp.ScanLine(0)[0], 0x0F);
  EXPECT_EQ(bmp.ScanLine(0)[1] & 0xC0, 0x80);
}

TEST_F(AcquireTest, OnlyChangedCapabilitiesAreSentAsFix32) {
  auto& flatbed = dsm->Caps[0];
  flatbed[ICAP_UNITS] = Enumeration(TWTY_UINT16, {0, 1, 2}, 1);
  flatbed[ICAP_XRESOLUTION] = Enumeration(TWTY_FIX32, {FixBits(Fix(75, 0)), FixBits(Fix(150, 0))}, 1);
  flatbed[ICAP_YRESOLUTION] = Enumeration(TWTY_FIX32, {FixBits(Fix(75, 0)), FixBits(Fix(150, 0))}, 0);
  flatbed[ICAP_XSCALING] =
      Range(TWTY_FIX32, FixBits(Fix(0, 0x4000)), FixBits(Fix(4, 0)), FixBits(Fix(0, 0x4000)), FixBits(Fix(1, 0)));
  flatbed[ICAP_PIXELTYPE] = Enumeration(TWTY_UINT16, {0, 1, 2}, 1);
  flatbed[ICAP_GAMMA] = OneValue(TWTY_FIX32, FixBits(Fix(1, 0x8000)));
  flatbed[CAP_INDICATORS] = OneValue(TWTY_BOOL, 0);
  flatbed[CAP_FEEDERENABLED] = OneValue(TWTY_BOOL, 0xFFFF);
  TW_IMAGELAYOUT layout{};
  layout.Frame = TW_FRAME{Fix(0, 0), Fix(0, 0), Fix(8, 0x8000), Fix(11, 0)};
  dsm->Layouts[0] = layout;
  dsm->Strips = {Strip(0, 0, 4, 6, 12, std::vector<uint8_t>(72, 1), TWRC_XFERDONE)};

  EXPECT_EQ(tp.GetXResolution().Count(), 2);
  EXPECT_EQ(tp.GetXResolution().CurrentValue(), 150.0);
  EXPECT_EQ(tp.GetXScaling().RangeMin(), 0.25);
  EXPECT_EQ(tp.GetXScaling().CurrentValue(), 1.0);
  EXPECT_EQ(tp.GetYScaling().Count(), 1);  // not reported: one value 1.0
  EXPECT_EQ(tp.GetYScaling().GetItem(0), 1.0);
  EXPECT_EQ(tp.GetPixelType().CurrentValue(), 1);
  EXPECT_EQ(tp.GetGamma(), 1.5);
  EXPECT_FALSE(tp.GetIndicators());
  EXPECT_TRUE(tp.GetFeederEnabled());
  EXPECT_EQ(tp.GetAcquireFrame(2), 8.5);
  EXPECT_EQ(tp.GetAcquireFrame(4), 0);

  // Nothing changed: no resolution or scaling is sent; the units go to inches, the gray pixel
  // type brings 8 bits, the frame read goes back.
  size_t from = dsm->Log.size();
  ASSERT_TRUE(Acquire());
  for (uint16_t cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION, ICAP_XSCALING, ICAP_YSCALING, ICAP_PIXELTYPE})
    EXPECT_TRUE(Sets(cap, from).empty()) << cap;
  auto units = Sets(ICAP_UNITS, from);
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].ConType, TWON_ENUMERATION);
  EXPECT_EQ(units[0].CurrentIndex, 0u);
  EXPECT_EQ(units[1].Items, std::vector<uint32_t>{TWUN_INCHES});
  ASSERT_EQ(Sets(ICAP_BITDEPTH, from).size(), 1u);
  EXPECT_EQ(Sets(ICAP_BITDEPTH, from)[0].Items, std::vector<uint32_t>{8});
  for (const auto& c : dsm->Log)
    if (c.DAT == DAT_IMAGELAYOUT && c.MSG == MSG_SET) {
      EXPECT_EQ(FixBits(c.Frame.Right), FixBits(Fix(8, 0x8000)));
    }

  // Changed: a current scaling of 0.5 as one value; a resolution of 72.25 added and made
  // current, as an enumeration with its index and as one value; a scaling range.
  tp.GetXScaling().SetCurrentValue(0.5);
  tp.GetYResolution().Add(72.25);
  tp.GetYResolution().SetCurrentValue(72.25);
  tp.GetYScaling().SetRangeMax(2.0);
  dsm->Events = {MSG_XFERREADY};
  dsm->Strips = {Strip(0, 0, 4, 6, 12, std::vector<uint8_t>(72, 1), TWRC_XFERDONE)};
  from = dsm->Log.size();
  ASSERT_TRUE(Acquire());
  EXPECT_TRUE(Sets(ICAP_XRESOLUTION, from).empty());
  auto xs = Sets(ICAP_XSCALING, from);
  ASSERT_EQ(xs.size(), 1u);
  EXPECT_EQ(xs[0].ConType, TWON_ONEVALUE);
  EXPECT_EQ(xs[0].ItemType, TWTY_FIX32);
  EXPECT_EQ(xs[0].Items, std::vector<uint32_t>{FixBits(Fix(0, 0x8000))});
  auto yr = Sets(ICAP_YRESOLUTION, from);
  ASSERT_EQ(yr.size(), 2u);
  EXPECT_EQ(yr[0].ConType, TWON_ENUMERATION);
  EXPECT_EQ(yr[0].Items, (std::vector<uint32_t>{FixBits(Fix(75, 0)), FixBits(Fix(150, 0)), FixBits(Fix(72, 0x4000))}));
  EXPECT_EQ(yr[0].CurrentIndex, 2u);
  EXPECT_EQ(yr[1].Items, std::vector<uint32_t>{FixBits(Fix(72, 0x4000))});
  auto ys = Sets(ICAP_YSCALING, from);
  ASSERT_EQ(ys.size(), 1u);
  EXPECT_EQ(ys[0].ConType, TWON_RANGE);
  EXPECT_EQ(ys[0].Items[1], FixBits(Fix(2, 0)));
}

TEST_F(AcquireTest, AnotherSourceIsSelectedByNameAndReadOnce) {
  dsm->Caps[0][ICAP_GAMMA] = OneValue(TWTY_FIX32, FixBits(Fix(1, 0x8000)));
  EXPECT_EQ(tp.GetGamma(), 1.5);
  ASSERT_TRUE(tp.SelectSourceByName("fake c"));
  EXPECT_EQ(tp.SelectedSource(), 1);
  // The camera reports nothing: the defaults.
  EXPECT_EQ(tp.GetGamma(), 2.2);
  EXPECT_TRUE(tp.GetIndicators());
  EXPECT_EQ(tp.GetXScaling().Count(), 1);
  EXPECT_EQ(tp.GetOrientation().Count(), 1);
  EXPECT_EQ(tp.GetPixelType().Count(), 0);
  const size_t before = dsm->Log.size();
  EXPECT_TRUE(tp.SelectSourceByName("FAKE CAMERA"));
  EXPECT_EQ(dsm->Log.size(), before) << "the selected source was read again";
  EXPECT_FALSE(tp.SelectSourceByName("Fake Camera 2"));
  // The acquisition opens the camera by its name.
  dsm->Strips = {Strip(0, 0, 4, 6, 12, std::vector<uint8_t>(72, 1), TWRC_XFERDONE)};
  ASSERT_TRUE(Acquire());
  for (const auto& c : dsm->Log)
    if (c.DAT == DAT_IMAGEINFO) {
      EXPECT_EQ(c.Dest, "Fake Camera");
    }
}

TEST_F(AcquireTest, CancelsFailuresAndExceptionsUnwindInReverseOrder) {
  // Cancelled with the source's interface hidden: the loop ends without a close request.
  tp.SetShowSourceDialog(false);
  dsm->Strips = {Strip(0, 0, 4, 2, 12, std::vector<uint8_t>(24, 9), TWRC_CANCEL)};
  size_t from = Prime();
  EXPECT_FALSE(Acquire());
  auto calls = Calls(from);
  const std::vector<std::string> tail = {"MEMXFER/GET", "PENDING/ENDXFER", "UI/DISABLEDS", "IDENTITY/CLOSEDS",
                                         "PARENT/CLOSEDSM"};
  ASSERT_GE(calls.size(), tail.size());
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), calls.end() - long(tail.size())));
  for (const auto& c : dsm->Log)
    if (c.MSG == MSG_ENABLEDS) {
      EXPECT_EQ(c.ShowUI, 0);
    }

  // A failed strip with the interface shown: the loop waits for the user to close it.
  tp.SetShowSourceDialog(true);
  dsm->Events = {MSG_XFERREADY, MSG_NULL, MSG_CLOSEDSREQ};
  dsm->Strips = {Strip(0, 0, 4, 2, 12, std::vector<uint8_t>(24, 9), TWRC_FAILURE)};
  from = dsm->Log.size();
  EXPECT_FALSE(Acquire());
  EXPECT_TRUE(dsm->Events.empty());
  calls = Calls(from);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "PENDING/RESET"), 1);

  // Enabling refused: the status is asked, then the source and the manager are closed.
  dsm->Failures = {{DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, 0, TWRC_FAILURE}};
  from = dsm->Log.size();
  EXPECT_FALSE(Acquire());
  calls = Calls(from);
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(calls.end() - 4, calls.end()),
            (std::vector<std::string>{"UI/ENABLEDS", "STATUS/GET", "IDENTITY/CLOSEDS", "PARENT/CLOSEDSM"}));
  EXPECT_EQ(dsm->Log[dsm->Log.size() - 3].Dest, "Fake Flatbed");  // the status came from the source

  // Opening refused: only the manager is closed.
  dsm->Failures = {{DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, 0, TWRC_FAILURE}};
  from = dsm->Log.size();
  EXPECT_FALSE(Acquire());
  calls = Calls(from);
  EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
            (std::vector<std::string>{"IDENTITY/OPENDS", "STATUS/GET", "PARENT/CLOSEDSM"}));

  // A progress handler that raises: the connection is closed, then the exception goes on.
  dsm->Failures.clear();
  dsm->Events = {MSG_XFERREADY};
  dsm->Strips = {Strip(0, 0, 4, 2, 12, std::vector<uint8_t>(24, 9)),
                 Strip(0, 2, 4, 2, 12, std::vector<uint8_t>(24, 9))};
  onStrip = [](int percent) {
    if (percent > 50) throw std::runtime_error("stop");
  };
  dsm->Strips.push_back(Strip(0, 4, 4, 2, 12, std::vector<uint8_t>(24, 9), TWRC_XFERDONE));
  EXPECT_THROW(Acquire(), std::runtime_error);
  EXPECT_EQ(Calls().back(), "PARENT/CLOSEDSM");
  // TearDown checks that nothing was left open.
}
