// The viewer on a real (virtual) X screen, started on its sample disc folder: the main form,
// an album and a slide, saved as pictures for a person to look at.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "components/printsize.h"
#include "corvelo/aboutform.h"
#include "corvelo/mainform.h"
#include "corvelo/program.h"

using namespace corvelo;

namespace {

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// Saves the whole screen as <out>-<step>.png.
void Grab(const std::string& step) {
  std::string out = std::getenv("CORVELO_SHOT");
  out = out.substr(0, out.size() - 4) + "-" + step + ".png";
  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  ASSERT_FALSE(shot.isNull());
  ASSERT_TRUE(shot.save(QString::fromStdString(out), "PNG"));
  QImage img = shot.toImage();
  EXPECT_NE(img.pixel(2, 2), img.pixel(img.width() / 2, img.height() / 2)) << step;
}

// Runs inside xvfb-run (started through screenshot.sh).
TEST(XvfbScreen, MainFormAlbumAndSlideOfTheSampleDisc) {
  const char* out = std::getenv("CORVELO_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  const std::filesystem::path oldCwd = std::filesystem::current_path();
  SetProgramFolder(std::string(VL_TESTDATA) + "/../../corvelo/sample/");
  TMainForm* main = StartCorvelo();
  main->Show();
  // No window manager maximises it here: the window takes the screen as one would.
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  main->SetBounds(0, 0, screen.width(), screen.height());
  Pump(1500);
  Grab("main");

  Application->SetHint("");
  FreeAndNil(AboutBox);
  FreeAndNil(OKBottomDlg);
  main->Free();
  Application->SetMainForm(nullptr);
  std::filesystem::current_path(oldCwd);
  QCoreApplication::processEvents();
}

}  // namespace
