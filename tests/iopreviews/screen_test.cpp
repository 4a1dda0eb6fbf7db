// The save-parameters dialog on a real (virtual) X screen: its JPEG and TIFF pages saved as
// pictures under the build folder for a person to look at.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSlider>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/gui/controls.h"
#include "vistrel/io/iopreviews.h"
#include "support/xvfb.h"
#include "support/pump.h"

namespace {

using vltest::WaitOnScreen;

std::string ShotName(const char* step) {
  std::string out = std::getenv("IOPREVIEWS_SHOT");
  return out.substr(0, out.size() - 4) + "-" + step + ".png";
}

// The dialog's window, as the screen shows it.
void Grab(TForm* form, const char* step) {
  ASSERT_TRUE(WaitOnScreen(form->Widget())) << step;
  const QRect r = form->Widget()->frameGeometry();
  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  ASSERT_FALSE(shot.isNull());
  ASSERT_TRUE(shot.save(QString::fromStdString(ShotName(step)), "PNG"));
  // Something was drawn: the result view differs from the form's face.
  const QImage img = shot.toImage();
  EXPECT_NE(img.pixel(5, img.height() - 5), img.pixel(img.width() * 3 / 5, img.height() / 5));
}

// Runs inside xvfb-run (started by the test below through screenshot.sh).
TEST(XvfbScreen, SaveParametersDialog) {
  const char* out = std::getenv("IOPREVIEWS_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  TBitmap picture;
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&picture);
  io.LoadFromFile(std::string(VL_TESTDATA) + "/jpegpng/photo444.jpg");
  ASSERT_FALSE(io.Aborting());
  TVistrelProc proc(nullptr);
  proc.SetAttachedBitmap(&picture);
  proc.Resample(picture.Width() * 4, picture.Height() * 4, rfLanczos3);
  io.SetMsgLanguage(msEnglish);

  SetModalAnswer([&](TModalRequest& r) {
    auto* d = dynamic_cast<TfIOPreviews*>(r.Form);
    if (!d) return int(mrCancel);
    d->TrackBar13->Slider()->setValue(8);
    d->Button3->Click();
    Grab(d, "jpeg");
    d->PageControl1->SelectTab(1);
    d->SpeedButton1->Click();
    d->ComboBox3->SetItemIndex(1);
    d->ComboBox3->Change();
    d->ComboBox2->SetItemIndex(4);
    d->ComboBox2->Change();
    d->Edit4->SetText("Invoice 2291");
    Grab(d, "tiff");
    return int(mrCancel);
  });
  EXPECT_FALSE(io.DoPreviews(iopAllPages));
  SetModalAnswer(nullptr);
}

TEST(Screenshot, SaveParametersDialogUnderXvfb) {
  const std::string script = std::string(VL_TESTDATA) + "/../iopreviews/screenshot.sh";
  const std::string out = std::string(VL_BUILD_DIR) + "/iopreviews-screenshot.png";
  const std::string jpeg = std::string(VL_BUILD_DIR) + "/iopreviews-screenshot-jpeg.png";
  const std::string tiff = std::string(VL_BUILD_DIR) + "/iopreviews-screenshot-tiff.png";
  std::filesystem::remove(jpeg);
  std::filesystem::remove(tiff);
  VLTEST_RUN_SCREEN_SCRIPT("IOPREVIEWS_SHOT", script, out);
  for (const std::string& f : {jpeg, tiff}) {
    const QImage img(QString::fromStdString(f));
    EXPECT_GE(img.width(), 522) << f;
    EXPECT_GE(img.height(), 383) << f;
  }
}

}  // namespace
