// The viewer's album and slide-show choices on real (virtual) screens of 1280 x 1024 and
// 800 x 600, from a disc of 40 albums and 25 shows: every item shows whole, none covers
// another or the group's caption, and every one can be scrolled to. Grabs go beside <out>.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QtTest/QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "corvelo/mainform.h"
#include "corvelo/viewerunit.h"
#include "support/xvfb.h"
#include "support/pump.h"

namespace fs = std::filesystem;
using namespace corvelo;

namespace {

using vltest::WaitOnScreen;

void Write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

// The items on show lie under the caption, inside the group, apart, each tall and wide
// enough for its text.
void ExpectReadable(TRadioGroup* g, const char* name) {
  SCOPED_TRACE(name);
  const int caption = QFontMetrics(g->Font()->QtFont()).height();
  int shown = 0;
  for (int i = 0; i < g->Items()->Count(); ++i) {
    TRadioButton* b = g->Buttons(i);
    if (!b->Widget()->isVisible()) continue;
    ++shown;
    const TRect a = b->BoundsRect();
    const std::string item = g->Items()->Strings(i);
    EXPECT_GE(a.Top, caption) << item << " covers the caption";
    EXPECT_TRUE(a.Left >= 0 && a.Right <= g->ClientWidth() && a.Bottom <= g->ClientHeight()) << item;
    EXPECT_LE(QFontMetrics(b->Font()->QtFont()).height(), a.Bottom - a.Top) << item;
    EXPECT_LE(b->Widget()->sizeHint().width(), a.Right - a.Left) << item << " is cut";
    for (int k = i + 1; k < g->Items()->Count(); ++k) {
      TRadioButton* o = g->Buttons(k);
      if (!o->Widget()->isVisible()) continue;
      const TRect c = o->BoundsRect();
      EXPECT_TRUE(a.Right <= c.Left || c.Right <= a.Left || a.Bottom <= c.Top || c.Bottom <= a.Top)
          << item << " covers " << g->Items()->Strings(k);
    }
  }
  EXPECT_GE(shown, 4);
}

// Runs on the virtual screen (started by the test below).
TEST(XvfbRadio, FortyAlbumsAndTwentyFiveShowsStayReadable) {
  const char* out = std::getenv("CORVELO_RADIO_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs on the virtual screen only";
  const std::string size = std::getenv("VL_SCREEN");
  const fs::path oldCwd = fs::current_path();
  const fs::path dir = fs::path(VL_BUILD_DIR) / ("corvelo-radio-" + size);
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::string albums, shows;
  for (int i = 1; i <= 40; ++i)
    albums += (i % 7 == 3 ? "Holidays by the sea, summer " : "Album ") + std::to_string(i) + "\r\n.\r\n";
  for (int i = 1; i <= 25; ++i) shows += (i % 2 ? "Space flight " : "All the photos ") + std::to_string(i) + "\r\n";
  Write(dir / "Admin.lst", "headline.jpg\r\nForty albums\r\n");
  Write(dir / "Category.lst", albums);
  Write(dir / "Slide.lst", shows);
  SetProgramFolder(dir.string());
  auto* main = new TMainForm(Application);
  main->Show();
  ASSERT_TRUE(WaitOnScreen(main->Widget()));
  ASSERT_EQ(main->RC->Items()->Count(), 40);
  ASSERT_EQ(main->RS->Items()->Count(), 25);
  ExpectReadable(main->RC, "albums");
  ExpectReadable(main->RS, "shows");
  const std::string base = std::string(out).substr(0, std::string(out).size() - 4) + "-" + size;
  QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromStdString(base + "-main.png"), "PNG");

  // Down to the last album, which is then on show and chosen by a click.
  QScrollBar* bar = main->RC->ScrollBar();
  ASSERT_TRUE(bar->isVisible());
  bar->setValue(bar->maximum());
  EXPECT_TRUE(WaitOnScreen(main->RC->Widget()));
  ExpectReadable(main->RC, "albums at the end");
  TRadioButton* last = main->RC->Buttons(39);
  ASSERT_TRUE(last->Widget()->isVisible());
  QTest::mouseClick(last->Widget(), Qt::LeftButton, {}, QPoint(8, last->Height() / 2));
  EXPECT_EQ(main->RC->ItemIndex(), 39);
  EXPECT_TRUE(WaitOnScreen(main->RC->Widget()));
  QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromStdString(base + "-scrolled.png"), "PNG");

  main->Free();
  fs::current_path(oldCwd);
  fs::remove_all(dir);
  QCoreApplication::processEvents();
}

TEST(Screens, RadioGroupsAt1280x1024And800x600) {
  const std::string out = std::string(VL_BUILD_DIR) + "/corvelo-radio.png";
  VLTEST_RUN_ON_SCREEN("CORVELO_RADIO_SHOT", out, "1280x1024", "XvfbRadio.*");
  VLTEST_RUN_ON_SCREEN("CORVELO_RADIO_SHOT", out, "800x600", "XvfbRadio.*");
}

}  // namespace
