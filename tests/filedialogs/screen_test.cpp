// The open dialog on a real (virtual) X screen with a JPEG previewed beside the file list,
// saved as a picture under the build folder for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QItemSelectionModel>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QTreeView>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/gui/controls.h"
#include "vistrel/io/filedialogs.h"
#include "vistrel/view/vistrelview.h"
#include "support/xvfb.h"

namespace {

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// Runs inside xvfb-run (started by the test below through screenshot.sh).
TEST(XvfbScreen, OpenDialogWithJpegPreview) {
  const char* out = std::getenv("FILEDIALOGS_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  const std::string dir = std::string(VL_TESTDATA) + "/jpegpng";
  vistrel::TOpenVistrelDialog dlg(nullptr);
  dlg.SetInitialDir(dir);
  bool grabbed = false;
  QTimer::singleShot(100, [&] {
    auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(fd, nullptr);
    Pump(1000);  // the folder is listed in the background
    // A click on the file's row in the list.
    auto* v = fd->findChild<QTreeView*>("treeView");
    ASSERT_NE(v, nullptr);
    const QModelIndex root = v->rootIndex();
    for (int r = 0; r < v->model()->rowCount(root); ++r) {
      const QModelIndex i = v->model()->index(r, 0, root);
      if (i.data().toString() == "photo444.jpg")
        v->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    Pump(800);
    EXPECT_EQ(dlg.FileName(), dir + "/photo444.jpg");
    EXPECT_TRUE(dlg.View()->Widget()->isVisible());
    QPixmap shot = fd->grab();
    grabbed = shot.save(QString::fromUtf8(out), "PNG");
    fd->reject();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_TRUE(grabbed);
}

TEST(Screenshot, OpenDialogUnderXvfb) {
  const std::string script = std::string(VL_TESTDATA) + "/../filedialogs/screenshot.sh";
  const std::string out = std::string(VL_BUILD_DIR) + "/filedialogs-screenshot.png";
  std::filesystem::remove(out);
  VLTEST_RUN_SCREEN_SCRIPT("FILEDIALOGS_SHOT", script, out);
  const QImage img(QString::fromStdString(out));
  EXPECT_GE(img.width(), 800);
  EXPECT_GE(img.height(), 400);
}

}  // namespace
