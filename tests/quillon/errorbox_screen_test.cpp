// The box that says why a save failed and the one that says help is not installed, on a real
// (virtual) X screen at two sizes, saved under the build folder for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "quillon/mainform.h"
#include "quillon/program.h"
#include "support/xvfb.h"
#include "support/pump.h"

using namespace quillon;

namespace {

using vltest::WaitOnScreen;

// Grabs the screen into file once the message box is on it, and closes the box.
void GrabMessageBoxSoon(const std::string& file, QString& text, QRect& box) {
  vltest::WhenOnScreen([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
                       [file, &text, &box](QWidget* w) {
                         auto* b = qobject_cast<QMessageBox*>(w);
                         if (!b) {
                           ADD_FAILURE() << "no message box came on the screen";
                           if (QWidget* m = QApplication::activeModalWidget()) m->close();
                           return;
                         }
                         text = b->text();
                         box = b->frameGeometry();
                         QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromStdString(file), "PNG");
                         b->accept();
                       });
}

// Runs on the virtual screen only: a new document saved into a folder that isn't there, then
// help. No answerer: the real boxes come up and a timer grabs and closes each.
TEST(XvfbScreen, ErrorBoxOfAFailedSaveAndHelpBox) {
  const char* out = std::getenv("QUILLON_ERROR_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs on the virtual screen only";
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  TMainForm* main = StartQuillon();
  main->Show();
  main->FileNewItemClick(nullptr);
  TMDIChild* c = main->ActiveChild();
  ASSERT_NE(c, nullptr);
  const std::string target = std::string(VL_BUILD_DIR) + "/no-such-folder/holiday.png";
  c->SetCaption(target);
  c->HasFile = true;
  ASSERT_TRUE(WaitOnScreen(main->Widget()));

  QString text;
  QRect box;
  GrabMessageBoxSoon(out, text, box);
  EXPECT_FALSE(main->FileSaveItemClick(nullptr));
  EXPECT_EQ(text.toStdString(), "Could not save " + target + ".\nThe folder does not exist.");
  EXPECT_TRUE(screen.contains(box)) << box.x() << "," << box.y() << " " << box.width() << "x" << box.height();
  EXPECT_EQ(c->Caption(), target);

  const std::string help = std::string(out).substr(0, std::string(out).size() - 4) + "-help.png";
  GrabMessageBoxSoon(help, text, box);
  main->SpeedButtonHelp->Click();
  EXPECT_EQ(text.toStdString(), "Help file Velmora.hlp is not installed.");
  EXPECT_TRUE(screen.contains(box));

  c->Modified = false;
  StopQuillon(main);
}

TEST(ErrorBoxScreen, FailedSaveAndHelpBoxesAtTwoScreenSizes) {
  for (const char* size : {"1280x1024", "800x600"}) {
    const std::string out = std::string(VL_BUILD_DIR) + "/quillon-error-box-" + size + ".png";
    std::filesystem::remove(out);
    std::filesystem::remove(out.substr(0, out.size() - 4) + "-help.png");
    VLTEST_RUN_ON_SCREEN("QUILLON_ERROR_SHOT", out, size, "XvfbScreen.ErrorBoxOfAFailedSaveAndHelpBox");
    EXPECT_TRUE(std::filesystem::exists(out)) << out;
    EXPECT_TRUE(std::filesystem::exists(out.substr(0, out.size() - 4) + "-help.png")) << out;
  }
}

}  // namespace
