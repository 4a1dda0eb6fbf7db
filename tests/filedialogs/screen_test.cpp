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
#include <functional>
#include <string>

#include "platform/gui/controls.h"
#include "vistrel/io/filedialogs.h"
#include "vistrel/view/vistrelview.h"
#include "support/pump.h"
#include "support/xinput.h"
#include "support/xvfb.h"

namespace {

using vltest::WaitFor;
using vltest::WaitOnScreen;

// The row of a file in the dialog's list, invalid until the folder's listing (made in the
// background) has it.
QModelIndex Row(QFileDialog* fd, const QString& name) {
  auto* v = fd->findChild<QTreeView*>("treeView");
  if (!v) return {};
  const QModelIndex root = v->rootIndex();
  for (int r = 0; r < v->model()->rowCount(root); ++r)
    if (v->model()->index(r, 0, root).data().toString() == name) return v->model()->index(r, 0, root);
  return {};
}

// Runs Act with the modal file dialog once it is on the screen (the dialog runs its own event
// loop); a failure when none comes.
void WithFileDialog(std::function<void(QFileDialog*)> Act) {
  vltest::WhenOnScreen([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); },
                       [Act](QWidget* w) {
                         auto* fd = qobject_cast<QFileDialog*>(w);
                         if (!fd) {
                           ADD_FAILURE() << "no file dialog came on the screen";
                           if (QWidget* m = QApplication::activeModalWidget()) m->close();
                           return;
                         }
                         Act(fd);
                       });
}

// Runs inside xvfb-run (started by the test below through screenshot.sh).
TEST(XvfbScreen, OpenDialogWithJpegPreview) {
  const char* out = std::getenv("FILEDIALOGS_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  const std::string dir = std::string(VL_TESTDATA) + "/jpegpng";
  vistrel::TOpenVistrelDialog dlg(nullptr);
  dlg.SetInitialDir(dir);
  bool grabbed = false;
  WithFileDialog([&](QFileDialog* fd) {
    // A click on the file's row in the list, once the folder is listed.
    EXPECT_TRUE(WaitFor([&] { return Row(fd, "photo444.jpg").isValid(); }));
    fd->findChild<QTreeView*>("treeView")
        ->selectionModel()
        ->setCurrentIndex(Row(fd, "photo444.jpg"), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_TRUE(WaitOnScreen(fd));
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

// ---------------------------------------------------------------------------------------------
// The open and save dialogs on screens of 1280 x 1024 and 800 x 600 with a window manager, as a
// person meets them; each dialog is saved as a picture beside the run's out file.

#include <jpeglib.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QAbstractItemView>
#include <QTest>
#include <QWindow>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <array>
#include <memory>
#include <set>
#include <fstream>

#include "vistrel/codecs/ioparams.h"
#include "vistrel/io/iopreviews.h"
#include "vistrel/io/vistrelio.h"
#include "support/pump.h"

#include <QSlider>

namespace {

std::string ScreenShot(const char* name) {
  const std::string out = std::getenv("FILEDIALOGS_SCREEN");
  return out.substr(0, out.size() - 4) + "-" + name + ".png";
}

// The window as the screen shows it, frame included.
void GrabWindow(QWidget* w, const char* name) {
  ASSERT_TRUE(vltest::WaitOnScreen(w)) << name;
  const QRect r = w->frameGeometry();
  const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  ASSERT_FALSE(shot.isNull());
  EXPECT_TRUE(shot.save(QString::fromStdString(ScreenShot(name)), "PNG"));
}

// A left click where a person would click w: w lies wholly inside the dialog and nothing
// covers the point. `at` is the point in w, its centre by default.
void ClickOn(QWidget* dialog, QWidget* w, QPoint at = QPoint(-1, -1)) {
  ASSERT_TRUE(w->isVisible());
  const QRect r(w->mapTo(dialog, QPoint(0, 0)), w->size());
  EXPECT_TRUE(dialog->rect().contains(r))
      << "at " << r.x() << "," << r.y() << " size " << r.width() << "x" << r.height() << " in a dialog of "
      << dialog->width() << "x" << dialog->height();
  if (at.x() < 0) at = w->rect().center();
  const QPoint global = w->mapToGlobal(at);
  QWidget* hit = QApplication::widgetAt(global);
  ASSERT_TRUE(hit == w || w->isAncestorOf(hit)) << "covered by " << (hit ? hit->metaObject()->className() : "nothing");
  // Through the window system, so the click moves the focus as the mouse does.
  QTest::mouseClick(hit, Qt::LeftButton, Qt::NoModifier, hit->mapFromGlobal(global));
  EXPECT_TRUE(vltest::WaitOnScreen(dialog));
}

void SelectInList(QFileDialog* fd, const QString& name) {
  ASSERT_TRUE(vltest::WaitFor([&] { return Row(fd, name).isValid(); })) << "the folder is not listed";
  fd->findChild<QTreeView*>("treeView")
      ->selectionModel()
      ->setCurrentIndex(Row(fd, name), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  EXPECT_TRUE(vltest::WaitOnScreen(fd));
}

// The dialog up with the keyboard, its folder listed with at least `rows` entries.
void WaitForDialog(QFileDialog* fd, int rows) {
  auto* v = fd->findChild<QTreeView*>("treeView");
  ASSERT_NE(v, nullptr);
  EXPECT_TRUE(vltest::WaitFor([&] { return fd->isActiveWindow() && v->model()->rowCount(v->rootIndex()) >= rows; }));
  EXPECT_TRUE(vltest::WaitOnScreen(fd));
}

// Once the file dialog is up with the keyboard and its folder lists at least `rows` entries,
// runs Step on it; a dialog that Step leaves up is rejected after it.
void OnDialog(int rows, std::function<void(QFileDialog*)> Step) {
  WithFileDialog([rows, Step](QFileDialog* fd) {
    const std::unique_ptr<QFileDialog, void (*)(QFileDialog*)> closer(fd, [](QFileDialog* f) {
      if (f->isVisible()) f->reject();
    });
    WaitForDialog(fd, rows);
    Step(fd);
  });
}

std::string ScreenDir() {
  const std::string d = std::string(VL_BUILD_DIR) + "/filedialogs-screen-" + std::getenv("VL_SCREEN");
  std::filesystem::remove_all(d);
  std::filesystem::create_directories(d);
  return d;
}

// The luminance quantisation table of a JPEG file, in natural order.
std::array<unsigned, 64> FileTable(const std::string& file) {
  std::array<unsigned, 64> t{};
  FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) return t;
  jpeg_decompress_struct d;
  jpeg_error_mgr e;
  d.err = jpeg_std_error(&e);
  jpeg_create_decompress(&d);
  jpeg_stdio_src(&d, f);
  jpeg_read_header(&d, TRUE);
  if (d.quant_tbl_ptrs[0])
    for (int i = 0; i < 64; ++i) t[size_t(i)] = d.quant_tbl_ptrs[0]->quantval[i];
  jpeg_destroy_decompress(&d);
  std::fclose(f);
  return t;
}

// libjpeg's standard luminance table scaled for a quality.
std::array<unsigned, 64> StandardTable(int quality) {
  std::array<unsigned, 64> t{};
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  c.in_color_space = JCS_RGB;
  c.input_components = 3;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  for (int i = 0; i < 64; ++i) t[size_t(i)] = c.quant_tbl_ptrs[0]->quantval[i];
  jpeg_destroy_compress(&c);
  return t;
}

// Save As: the strip spans the dialog; "Advanced..." and "Preview" are there to click; the
// quality chosen through Advanced is the one the file is written with.
TEST(XvfbScreen, SaveAsOffersAdvancedAndPreview) {
  if (!std::getenv("FILEDIALOGS_SCREEN") || QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "runs on the virtual screen only";
  const std::string dir = ScreenDir();
  TBitmap picture;
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&picture);
  io.LoadFromFile(std::string(VL_TESTDATA) + "/jpegpng/photo444.jpg");
  ASSERT_FALSE(io.Aborting());
  io.Params()->JPEGQuality = 90;
  vistrel::TSaveVistrelDialog dlg(nullptr);
  dlg.SetAutoSetFilter(false);
  dlg.SetAttachedVistrelIO(&io);
  dlg.SetInitialDir(dir);
  dlg.SetFileName(dir + "/saved.png");
  int asked = 0;
  OnDialog(0, [&](QFileDialog* fd) {
    // The strip spans the dialog at its least size, at the whole screen and as it came up.
    QWidget* strip = dlg.InfoPanel->Widget();
    const QSize shown = fd->size();
    for (const QSize size :
         {fd->minimumSizeHint(), QGuiApplication::primaryScreen()->availableGeometry().size(), shown}) {
      fd->resize(size);
      EXPECT_TRUE(vltest::WaitOnScreen(fd));
      EXPECT_GE(strip->width(), fd->width() - 30);
      EXPECT_EQ(dlg.InfoPanel->Width(), strip->width());
      for (const TControl* c : {static_cast<TControl*>(dlg.AdvancedButton), static_cast<TControl*>(dlg.PreviewCheck)}) {
        EXPECT_TRUE(fd->rect().contains(QRect(c->Widget()->mapTo(fd, QPoint(0, 0)), c->Widget()->size())))
            << fd->width() << "x" << fd->height();
        // The caption whole.
        EXPECT_GE(c->Widget()->width(), c->Widget()->sizeHint().width()) << c->Caption();
      }
    }
    GrabWindow(fd, "save");
    QWidget* check = dlg.PreviewCheck->Widget();
    ClickOn(fd, check, QPoint(8, check->height() / 2));
    EXPECT_FALSE(dlg.PreviewCheck->Checked());
    ClickOn(fd, check, QPoint(8, check->height() / 2));
    EXPECT_TRUE(dlg.PreviewCheck->Checked());
    // The name typed over the one offered.
    auto* edit = fd->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    edit->selectAll();
    for (const QChar c : QString("saved.jpg")) {
      QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
      QApplication::sendEvent(edit, &key);
    }
    EXPECT_EQ(dlg.FileName(), dir + "/saved.jpg");
    SetModalAnswer([&](TModalRequest& r) {
      auto* p = dynamic_cast<TfIOPreviews*>(r.Form);
      if (!p) return int(mrCancel);
      ++asked;
      p->TrackBar13->Slider()->setValue(30);
      p->Button1->Click();
      return 0;
    });
    ClickOn(fd, dlg.AdvancedButton->Widget());
    SetModalAnswer(nullptr);
    static_cast<QDialog*>(fd)->accept();
  });
  ASSERT_TRUE(dlg.Execute());
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(dlg.FileName(), dir + "/saved.jpg");
  io.SaveToFile(dlg.FileName());
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(FileTable(dlg.FileName()), StandardTable(30));
}

// Open: the picture in the middle of the panel, buttons with pictures, the preview window
// that Escape closes at once, and a file that can't be read.
TEST(XvfbScreen, OpenDialogPreviewsAndSaysWhatItCantRead) {
  if (!std::getenv("FILEDIALOGS_SCREEN") || QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "runs on the virtual screen only";
  const std::string dir = ScreenDir();
  std::filesystem::copy_file(std::string(VL_TESTDATA) + "/jpegpng/photo444.jpg", dir + "/photo.jpg");
  std::ofstream(dir + "/notes.jpg") << "Shopping list: milk, bread.\n";
  std::filesystem::create_directories(dir + "/album");
  vistrel::TOpenVistrelDialog dlg(nullptr);
  dlg.SetInitialDir(dir);
  int previews = 0;
  OnDialog(2, [&](QFileDialog* fd) {
    SelectInList(fd, "photo.jpg");
    ASSERT_EQ(dlg.FileName(), dir + "/photo.jpg");
    EXPECT_EQ(dlg.PicLabel1->Caption(), "61 x 45 pixel");
    GrabWindow(fd, "open");
    ClickOn(fd, dlg.PreviewCheck->Widget(), QPoint(8, dlg.PreviewCheck->Height() / 2));
    EXPECT_FALSE(dlg.PreviewCheck->Checked());
    ClickOn(fd, dlg.PreviewCheck->Widget(), QPoint(8, dlg.PreviewCheck->Height() / 2));
    SetModalAnswer([&](TModalRequest& r) {
      if (r.Kind != mkForm || !r.Form) return int(mrCancel);
      ++previews;
      GrabWindow(r.Form->Widget(), "preview");
      // A key goes where the keyboard focus is.
      QWidget* focus = QApplication::focusWidget();
      EXPECT_TRUE(focus && (focus == r.Form->Widget() || r.Form->Widget()->isAncestorOf(focus)));
      if (focus) {
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QString(QChar(27)));
        QApplication::sendEvent(focus, &esc);
      }
      EXPECT_EQ(r.Form->ModalResult(), mrCancel);
      return int(mrNone);
    });
    ClickOn(fd, dlg.PreviewButton->Widget());
    SetModalAnswer(nullptr);
    SelectInList(fd, "notes.jpg");
    EXPECT_TRUE(dlg.ReadErrorLabel->Widget()->isVisible());
    GrabWindow(fd, "unreadable");
    // A folder clicked once is no file: the panel is left empty.
    SelectInList(fd, "album");
    EXPECT_EQ(dlg.FileName(), "");
    EXPECT_FALSE(dlg.ReadErrorLabel->Widget()->isVisible());
    EXPECT_EQ(dlg.PicLabel1->Caption(), "");
    fd->reject();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(previews, 1);
}

// Keys as the keyboard gives them: to the widget that has the focus.
void PressKey(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(focus, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QApplication::sendEvent(focus, &release);
}

void TypeText(const QString& text) {
  for (const QChar c : text) PressKey(0, Qt::NoModifier, QString(c));
  vltest::Pump(300);  // the name box's completion list comes and settles
}

void SavePicture(const std::string& name, int w, int h) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  b.Canvas()->Brush()->SetColor(clRed);
  b.Canvas()->FillRect(Rect(0, 0, w, h));
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&b);
  io.SaveToFile(name);
  ASSERT_FALSE(io.Aborting()) << name;
}

// Open: the panel shows the file whose name is typed in the name box, then the one the
// keyboard moves to in the list.
TEST(XvfbScreen, OpenPreviewFollowsATypedName) {
  if (!std::getenv("FILEDIALOGS_SCREEN") || QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "runs on the virtual screen only";
  const std::string dir = ScreenDir();
  std::filesystem::copy_file(std::string(VL_TESTDATA) + "/jpegpng/photo444.jpg", dir + "/photo.jpg");
  SavePicture(dir + "/small.jpg", 20, 10);
  vistrel::TOpenVistrelDialog dlg(nullptr);
  dlg.SetInitialDir(dir);
  OnDialog(2, [&](QFileDialog* fd) {
    SelectInList(fd, "photo.jpg");
    ASSERT_EQ(dlg.PicLabel1->Caption(), "61 x 45 pixel");
    const std::string photoFile = dlg.InfoLabel2->Caption();
    auto* edit = fd->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    ClickOn(fd, edit);
    PressKey(Qt::Key_A, Qt::ControlModifier);
    TypeText("small.jpg");
    EXPECT_TRUE(WaitFor([&] { return dlg.PicLabel1->Caption() == "20 x 10 pixel"; }));
    EXPECT_EQ(dlg.FileName(), dir + "/small.jpg");
    EXPECT_EQ(dlg.PicLabel1->Caption(), "20 x 10 pixel");
    EXPECT_EQ(dlg.PicLabel2->Caption(), "16777216 Colors (24 bit)");
    EXPECT_NE(dlg.InfoLabel2->Caption(), photoFile);
    EXPECT_TRUE(dlg.View()->Widget()->isVisible());
    // The name box's completion list covers the dialog: it goes before the grab.
    if (QCompleter* c = edit->completer(); c && c->popup()) c->popup()->hide();
    GrabWindow(fd, "typed");
    auto* list = fd->findChild<QTreeView*>("treeView");
    ASSERT_NE(list, nullptr);
    list->setFocus();
    PressKey(Qt::Key_Down);
    PressKey(Qt::Key_Up);
    EXPECT_TRUE(WaitFor([&] { return dlg.PicLabel1->Caption() == "61 x 45 pixel"; }));
    EXPECT_EQ(dlg.FileName(), dir + "/photo.jpg");
    EXPECT_EQ(dlg.PicLabel1->Caption(), "61 x 45 pixel");
    EXPECT_EQ(dlg.InfoLabel2->Caption(), photoFile);
  });
  EXPECT_FALSE(dlg.Execute());
}

// Tab reaches every button of the panel, and Enter presses the one that has the keyboard.
TEST(XvfbScreen, OpenPanelButtonsAnswerTheKeyboard) {
  if (!std::getenv("FILEDIALOGS_SCREEN") || QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "runs on the virtual screen only";
  const std::string dir = ScreenDir();
  std::filesystem::copy_file(std::string(VL_TESTDATA) + "/jpegpng/photo444.jpg", dir + "/photo.jpg");
  vistrel::TOpenVistrelDialog dlg(nullptr);
  dlg.SetInitialDir(dir);
  int previews = 0;
  bool open = false;
  OnDialog(1, [&](QFileDialog* fd) {
    SelectInList(fd, "photo.jpg");
    ClickOn(fd, fd->findChild<QLineEdit*>("fileNameEdit"));
    // Once round, then on to the preview button.
    QWidget* const name = QApplication::focusWidget();
    std::set<QWidget*> reached;
    for (int i = 0; i < 40 && (i == 0 || QApplication::focusWidget() != name); ++i) {
      PressKey(Qt::Key_Tab);
      reached.insert(QApplication::focusWidget());
    }
    for (int i = 0; i < 40 && QApplication::focusWidget() != dlg.PreviewButton->Widget(); ++i) PressKey(Qt::Key_Tab);
    for (const TControl* c : {static_cast<TControl*>(dlg.ZoomCombo), static_cast<TControl*>(dlg.PreviewButton),
                              static_cast<TControl*>(dlg.PreviewCheck)})
      EXPECT_TRUE(reached.count(c->Widget())) << c->ClassName();
    GrabWindow(fd, "tabbed");
    SetModalAnswer([&](TModalRequest& r) {
      if (r.Kind == mkForm && r.Form) ++previews;
      return int(mrCancel);
    });
    PressKey(Qt::Key_Return, Qt::NoModifier, "\r");
    SetModalAnswer(nullptr);
    open = fd->isVisible();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(previews, 1);
  EXPECT_TRUE(open);
}

// The preview window of a picture larger than the screen lies inside it, title bar included.
TEST(XvfbScreen, PreviewWindowOfALargePictureFitsTheScreen) {
  if (!std::getenv("FILEDIALOGS_SCREEN") || QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "runs on the virtual screen only";
  const std::string dir = ScreenDir();
  SavePicture(dir + "/large.jpg", 2000, 1500);
  vistrel::TOpenVistrelDialog dlg(nullptr);
  dlg.SetInitialDir(dir);
  dlg.SetFileName(dir + "/large.jpg");
  int previews = 0;
  OnDialog(1, [&](QFileDialog* fd) {
    SetModalAnswer([&](TModalRequest& r) {
      if (r.Kind != mkForm || !r.Form) return int(mrCancel);
      ++previews;
      QWidget* w = r.Form->Widget();
      // Placed, and framed by the window manager.
      EXPECT_TRUE(WaitFor([&] { return w->isActiveWindow() && w->frameGeometry().top() < w->geometry().top(); }));
      const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
      EXPECT_TRUE(room.contains(w->frameGeometry()))
          << w->frameGeometry().x() << "," << w->frameGeometry().y() << " " << w->frameGeometry().width() << "x"
          << w->frameGeometry().height();
      GrabWindow(w, "large");
      return int(mrCancel);
    });
    ClickOn(fd, dlg.PreviewButton->Widget());
    SetModalAnswer(nullptr);
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(previews, 1);
}

// A refused Open leaves the dialog up as the user left it: the same name, the same preview.
TEST(XvfbScreen, RefusedOpenKeepsTheDialogAsLeft) {
  if (!std::getenv("FILEDIALOGS_SCREEN") || QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "runs on the virtual screen only";
  const std::string dir = ScreenDir();
  std::filesystem::copy_file(std::string(VL_TESTDATA) + "/jpegpng/photo444.jpg", dir + "/photo.jpg");
  SavePicture(dir + "/small.jpg", 20, 10);
  vistrel::TOpenVistrelDialog dlg(nullptr);
  dlg.SetInitialDir(dir);
  dlg.SetFileName(dir + "/photo.jpg");
  int asked = 0;
  dlg.OnCanClose = [&](TObject*, bool& can) { can = ++asked > 1; };
  bool stayed = false;
  // Whatever dialog is still up when the test is over goes.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] {
    if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) d->reject();
  });
  guard.start(120000);
  OnDialog(2, [&](QFileDialog* fd) {
    // A click on the file's row, and Enter.
    auto* list = fd->findChild<QTreeView*>("treeView");
    ASSERT_NE(list, nullptr);
    for (int r = 0; r < list->model()->rowCount(list->rootIndex()); ++r) {
      const QModelIndex i = list->model()->index(r, 0, list->rootIndex());
      if (i.data().toString() == "small.jpg") ClickOn(fd, list->viewport(), list->visualRect(i).center());
    }
    auto* edit = fd->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_EQ(edit->text().toStdString(), "small.jpg");
    PressKey(Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_TRUE(WaitFor([&] { return asked == 1; }));
    EXPECT_TRUE(WaitOnScreen(fd));
    stayed = fd->isVisible();
    ASSERT_TRUE(stayed);
    EXPECT_EQ(edit->text().toStdString(), "small.jpg");
    EXPECT_EQ(dlg.PicLabel1->Caption(), "20 x 10 pixel");
    PressKey(Qt::Key_Return, Qt::NoModifier, "\r");
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_TRUE(stayed);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(dlg.FileName(), dir + "/small.jpg");
}

// The modal dialog is never left minimised: it comes back at once.
TEST(XvfbScreen, FileDialogComesBackWhenMinimised) {
  if (!std::getenv("FILEDIALOGS_SCREEN") || QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "runs on the virtual screen only";
  const std::string dir = ScreenDir();
  vistrel::TSaveVistrelDialog dlg(nullptr);
  dlg.SetInitialDir(dir);
  vltest::TMinimised minimised = vltest::TMinimised::Never;
  OnDialog(0, [&](QFileDialog* fd) {
    vltest::TXInput x;
    ASSERT_TRUE(x.Available());
    minimised = vltest::Minimise(x, fd);
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_TRUE(minimised == vltest::TMinimised::CameBack)
      << (minimised == vltest::TMinimised::Never ? "never minimised" : "left minimised");
}

// Save As: after Advanced's OK, Enter saves instead of opening Advanced again.
TEST(XvfbScreen, SaveAsEnterSavesAfterAdvanced) {
  if (!std::getenv("FILEDIALOGS_SCREEN") || QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "runs on the virtual screen only";
  const std::string dir = ScreenDir();
  TBitmap picture;
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&picture);
  io.LoadFromFile(std::string(VL_TESTDATA) + "/jpegpng/photo444.jpg");
  vistrel::TSaveVistrelDialog dlg(nullptr);
  dlg.SetAutoSetFilter(false);
  dlg.SetAttachedVistrelIO(&io);
  dlg.SetInitialDir(dir);
  dlg.SetFileName(dir + "/after.jpg");
  int asked = 0;
  bool closed = false;
  OnDialog(0, [&](QFileDialog* fd) {
    SetModalAnswer([&](TModalRequest& r) {
      auto* p = dynamic_cast<TfIOPreviews*>(r.Form);
      if (!p) return int(mrCancel);
      ++asked;
      p->Button1->Click();
      return 0;
    });
    ClickOn(fd, dlg.AdvancedButton->Widget());
    ASSERT_EQ(asked, 1);
    PressKey(Qt::Key_Return, Qt::NoModifier, "\r");
    closed = WaitFor([&] { return !fd->isVisible(); });
    SetModalAnswer(nullptr);
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_TRUE(closed);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(dlg.FileName(), dir + "/after.jpg");
}

// Save As started on a PNG or BMP document shows that type, and the file, as no choice yet.
TEST(XvfbScreen, SaveAsShowsTheTypeOfTheName) {
  if (!std::getenv("FILEDIALOGS_SCREEN") || QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "runs on the virtual screen only";
  const std::string dir = ScreenDir();
  vistrel::TSaveVistrelDialog dlg(nullptr);
  dlg.SetAutoSetFilter(false);
  dlg.SetInitialDir(dir);
  int reported = 0;
  dlg.OnSelectionChange = [&](TObject*) { ++reported; };
  const struct {
    const char* name;
    int index;
    const char* type;
  } docs[] = {{"picture.png", 5, "Portable Network Graphics (PNG) (*.png)"},
              {"scan.bmp", 6, "Windows Bitmap (BMP) (*.bmp)"}};
  for (const auto& doc : docs) {
    SavePicture(dir + "/" + doc.name, 30, 20);
    dlg.SetFileName(dir + "/" + doc.name);
    OnDialog(1, [&](QFileDialog* fd) {
      auto* type = fd->findChild<QComboBox*>("fileTypeCombo");
      ASSERT_NE(type, nullptr);
      EXPECT_EQ(type->currentText().toStdString(), doc.type);
      EXPECT_EQ(dlg.FilterIndex(), doc.index);
      EXPECT_EQ(fd->findChild<QLineEdit*>("fileNameEdit")->text().toStdString(), doc.name);
      EXPECT_EQ(dlg.PicLabel1->Caption(), "30 x 20 pixel");
      EXPECT_EQ(reported, 0);
      if (doc.index != 5) return;
      GrabWindow(fd, "savetype");
      // A folder's name typed and entered: the dialog lists it, the name box goes back to the
      // name being saved, and no empty completion list is left over the type box.
      std::filesystem::create_directory(dir + "/album");
      auto* edit = fd->findChild<QLineEdit*>("fileNameEdit");
      ClickOn(fd, edit);
      PressKey(Qt::Key_A, Qt::ControlModifier);
      TypeText("album");
      PressKey(Qt::Key_Return);
      EXPECT_TRUE(WaitFor([&] { return fd->directory().dirName() == "album"; }));
      EXPECT_TRUE(WaitFor([&] { return !edit->completer()->popup()->isVisible(); }));
      EXPECT_EQ(edit->text().toStdString(), doc.name);
      QWidget* hit = QApplication::widgetAt(type->mapToGlobal(type->rect().center()));
      EXPECT_TRUE(hit == type || type->isAncestorOf(hit)) << "the type box is covered";
      reported = 0;
    });
    EXPECT_FALSE(dlg.Execute());
    EXPECT_EQ(dlg.FilterIndex(), 1);
  }
}

const char* const kGrabs[] = {"save", "open", "preview", "unreadable", "typed", "savetype", "tabbed", "large"};

std::string GrabName(const std::string& out, const char* name) {
  return out.substr(0, out.size() - 4) + "-" + name + ".png";
}

// Each dialog was grabbed by this run: the file dialogs, and the small preview window.
void CheckGrabs(const std::string& out) {
  for (const char* n : kGrabs) {
    const QImage img(QString::fromStdString(GrabName(out, n)));
    EXPECT_GT(img.width(), std::string(n) == "preview" ? 90 : 400) << GrabName(out, n);
  }
}

void RemoveGrabs(const std::string& out) {
  for (const char* n : kGrabs) std::filesystem::remove(GrabName(out, n));
}

TEST(Screen, FileDialogsAt1280x1024) {
  const std::string out = std::string(VL_BUILD_DIR) + "/filedialogs-1280x1024.png";
  RemoveGrabs(out);
  VLTEST_RUN_ON_SCREEN("FILEDIALOGS_SCREEN", out, "1280x1024");
  CheckGrabs(out);
}

TEST(Screen, FileDialogsAt800x600) {
  const std::string out = std::string(VL_BUILD_DIR) + "/filedialogs-800x600.png";
  RemoveGrabs(out);
  VLTEST_RUN_ON_SCREEN("FILEDIALOGS_SCREEN", out, "800x600");
  CheckGrabs(out);
}

}  // namespace
