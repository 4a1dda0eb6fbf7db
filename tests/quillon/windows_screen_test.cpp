// Windows and views of the editor on a real (virtual) X screen with a window manager, at
// 1280 x 1024 and 800 x 600: document windows stay inside the workspace however they are made
// or grow, the rotate preview can't be shrunk over its buttons, the histogram shows every
// level, and a clicked text shows all of itself. Grabs go beside <out>.png.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <functional>
#include <string>

#include "quillon/mainform.h"
#include "quillon/program.h"
#include "vistrel/io/vistrelio.h"
#include "support/apart.h"
#include "support/pump.h"
#include "support/xvfb.h"

using namespace quillon;

namespace {

constexpr const char* kEnv = "QUILLON_WIN_SHOT";

std::string ShotName(const std::string& step) {
  const std::string out = std::getenv(kEnv);
  return out.substr(0, out.size() - 4) + "-" + std::getenv("VL_SCREEN") + "-" + step + ".png";
}

// The screen, or the part of it `where` gives then, once w is on the screen as it draws itself.
QImage GrabScreen(const std::string& step, QWidget* w, const std::function<QRect()>& where = {}) {
  EXPECT_TRUE(vltest::WaitOnScreen(w)) << step;
  const QRect r = where ? where() : QGuiApplication::primaryScreen()->geometry();
  const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  EXPECT_TRUE(shot.save(QString::fromStdString(ShotName(step)), "PNG")) << step;
  return shot.toImage();
}

QRect OnScreen(QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

QMdiSubWindow* Sub(TForm* f) { return qobject_cast<QMdiSubWindow*>(f->Widget()->parentWidget()); }

// A picture of the given size filled with one colour, saved under the build folder.
std::string Picture(const std::string& name, int w, int h, TColor fill) {
  const std::string file = std::string(VL_BUILD_DIR) + "/quillon-win-" + name + ".bmp";
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  b.Canvas()->Brush()->SetColor(fill);
  b.Canvas()->FillRect(Rect(0, 0, w, h));
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&b);
  io.SaveToFile(file);
  EXPECT_FALSE(io.Aborting()) << file;
  return file;
}

struct ScreenEditor {
  TMainForm* main;
  explicit ScreenEditor(TModalAnswer answer) {
    SetModalAnswer(std::move(answer));
    main = StartQuillon();
    main->Show();
    main->Widget()->window()->activateWindow();
    EXPECT_TRUE(vltest::WaitOnScreen(main->Widget()));
  }
  ~ScreenEditor() {
    StopQuillon(main);
    SetModalAnswer(nullptr);
    QCoreApplication::processEvents();
  }
};

#define ON_SCREEN_ONLY() \
  if (!std::getenv(kEnv) || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs on the virtual screen only"

// Every document window, title bar and borders included, inside the workspace.
void ExpectInsideWorkspace(TMainForm* main, const std::string& step) {
  EXPECT_TRUE(vltest::WaitOnScreen(main->Widget())) << step;
  const QRect room(QPoint(0, 0), main->MdiArea()->viewport()->size());
  for (int i = 0; i < main->MDIChildCount(); ++i) {
    QMdiSubWindow* s = Sub(main->MDIChildren(i));
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(room.contains(s->geometry()))
        << step << ": " << main->MDIChildren(i)->Caption() << " at " << s->x() << "," << s->y() << " " << s->width()
        << "x" << s->height() << " in " << room.width() << "x" << room.height();
  }
}

TEST(XvfbScreen, WindowsStayInsideTheWorkspace) {
  ON_SCREEN_ONLY();
  const std::string tall = Picture("400x512", 400, 512, TColor(0xC08040));
  const std::string wide = Picture("1600x200", 1600, 200, TColor(0x40A0C0));
  std::string next, width = "2000", height = "1600", angle;
  // A number typed into the field that has the keyboard as the dialog comes up: its text
  // selected, the typing replaces it.
  auto type = [](TForm* f, const std::string& text) {
    EXPECT_TRUE(vltest::WaitOnScreen(f->Widget()));
    auto* edit = qobject_cast<QLineEdit*>(f->Widget()->focusWidget());
    ASSERT_NE(edit, nullptr) << f->Caption();
    EXPECT_EQ(edit->selectedText(), edit->text()) << f->Caption();
    QTest::keyClicks(edit, QString::fromStdString(text));
    EXPECT_EQ(edit->text().toStdString(), text) << f->Caption();
  };
  ScreenEditor ed([&](TModalRequest& r) {
    if (r.Kind == mkOpenFile) {
      r.Value = next;
      return int(mrOk);
    }
    if (auto* f = dynamic_cast<TfResize*>(r.Form)) {
      f->CheckBox1->SetChecked(false);
      type(f, width);
      f->Edit2->SetText(height);
      return int(mrOk);
    }
    if (auto* f = dynamic_cast<TfRotate*>(r.Form)) {
      type(f, angle);
      return int(mrOk);
    }
    return int(mrCancel);
  });
  TMainForm* main = ed.main;
  auto open = [&](const std::string& file) {
    next = file;
    main->FileOpenItemClick(nullptr);
    return main->ActiveChild();
  };
  TMDIChild* first = open(tall);
  ASSERT_NE(first, nullptr);
  GrabScreen("open-tall", main->Widget());
  ExpectInsideWorkspace(main, "open 400 x 512");
  ASSERT_NE(open(wide), nullptr);
  GrabScreen("open-wide", main->Widget());
  ExpectInsideWorkspace(main, "open 1600 x 200");
  main->FileNewItemClick(nullptr);
  ExpectInsideWorkspace(main, "new");

  // Borders past the workspace, then Undo: the window ends as large as its picture again.
  first->BringToFront();
  main->Resize1Click(nullptr);
  ASSERT_EQ(first->VistrelVect1->Bitmap()->Width(), 2000);
  GrabScreen("borders", main->Widget());
  ExpectInsideWorkspace(main, "resize borders");
  main->Undo1Click(nullptr);
  ASSERT_EQ(first->VistrelVect1->Bitmap()->Width(), 400);
  GrabScreen("borders-undone", main->Widget());
  ExpectInsideWorkspace(main, "undo");
  // (The ideal size keeps one spare pixel.)
  EXPECT_LE(first->VistrelVect1->ClientWidth(), 400 + 1);
  EXPECT_LE(first->VistrelVect1->ClientHeight(), 512 + 1);

  // Resize Image and Rotate by every path: the window ends as large as its picture again.
  auto fits = [&](const std::string& step) {
    ExpectInsideWorkspace(main, step);
    EXPECT_EQ(first->ClientWidth(), first->VistrelVect1->IdealWidth()) << step;
    EXPECT_EQ(first->ClientHeight(), first->VistrelVect1->IdealHeight()) << step;
  };
  width = "300";
  height = "200";
  main->Resample1Click(nullptr);
  ASSERT_EQ(first->VistrelVect1->Bitmap()->Width(), 300);
  GrabScreen("resized-smaller", main->Widget());
  fits("resize image");
  for (const char* turn : {"90", "180", "270", "30"}) {
    angle = turn;
    main->Rotate1Click(nullptr);
    fits(std::string("rotate ") + turn);
  }
  EXPECT_GT(first->VistrelVect1->Bitmap()->Width(), 300);
  GrabScreen("rotated", main->Widget());
}

TEST(XvfbScreen, WindowsRotateDialogAtItsLeastSize) {
  ON_SCREEN_ONLY();
  bool shown = false;
  ScreenEditor ed([&](TModalRequest& r) {
    if (r.Kind == mkOpenFile) {
      r.Value = std::string(VL_TESTDATA) + "/quillon/quad.png";
      return int(mrOk);
    }
    if (auto* f = dynamic_cast<TfRotate*>(r.Form)) {
      shown = true;
      // Dragged as small as the window lets it be.
      f->Widget()->window()->resize(1, 1);
      EXPECT_TRUE(vltest::WaitOnScreen(f->Widget()));
      vltest::ExpectControlsApart(f, "rotate at its least size");
      GrabScreen("rotate-least", f->Widget(), [f] { return f->Widget()->window()->frameGeometry(); });
    }
    return int(mrCancel);
  });
  ed.main->FileOpenItemClick(nullptr);
  ASSERT_NE(ed.main->ActiveChild(), nullptr);
  ed.main->Rotate1Click(nullptr);
  EXPECT_TRUE(shown);
}

TEST(XvfbScreen, WindowsHistogramShowsTheTopLevel) {
  ON_SCREEN_ONLY();
  int tallest = 0;
  ScreenEditor ed([&](TModalRequest& r) {
    if (r.Kind == mkOpenFile) {
      r.Value = Picture("red", 64, 48, clRed);
      return int(mrOk);
    }
    if (auto* h = dynamic_cast<TfHistogram*>(r.Form)) {
      h->ComboBox1->SetItemIndex(1);
      h->ComboBox1Change(h);
      QWidget* box = h->HistogramBox1->ClientWidget();
      const QImage img = GrabScreen("histogram-red", box, [box] { return OnScreen(box); });
      // The tallest run of red in any column: the bar of level 255.
      for (int x = 0; x < img.width(); ++x) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y) n += img.pixel(x, y) == qRgb(255, 0, 0);
        tallest = std::max(tallest, n);
      }
    }
    return int(mrCancel);
  });
  ed.main->FileOpenItemClick(nullptr);
  ASSERT_NE(ed.main->ActiveChild(), nullptr);
  ed.main->Histogram1Click(nullptr);
  EXPECT_GT(tallest, 20);
}

// The columns that hold dark pixels, as [first, last].
std::pair<int, int> InkColumns(const QImage& img) {
  int first = -1, last = -1;
  for (int x = 0; x < img.width(); ++x)
    for (int y = 0; y < img.height(); ++y)
      if (qGray(img.pixel(x, y)) < 128) {
        if (first < 0) first = x;
        last = x;
        break;
      }
  return {first, last};
}

TEST(XvfbScreen, WindowsClickedTextShowsAllOfIt) {
  ON_SCREEN_ONLY();
  ScreenEditor ed([](TModalRequest&) { return int(mrCancel); });
  TMainForm* main = ed.main;
  main->FileNewItemClick(nullptr);
  TMDIChild* c = main->ActiveChild();
  ASSERT_NE(c, nullptr);
  TVistrelVect* v = c->VistrelVect1;
  QWidget* w = v->ClientWidget();
  main->SpeedButtonWrite->Click();
  for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    const QPointF p(40, 40);
    QMouseEvent e(t, p, w->mapToGlobal(p), Qt::LeftButton,
                  t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
  }
  TEdit* edit = v->TextEditor();
  ASSERT_NE(edit, nullptr);
  const QString text = "Hello Quillon";
  for (QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QCoreApplication::sendEvent(edit->LineEdit(), &press);
  }
  const int advance = QFontMetrics(edit->LineEdit()->font()).horizontalAdvance(text);
  // While typing, the whole text shows in the editor from its start.
  QRect at;
  auto [first, last] =
      InkColumns(GrabScreen("text-typing", edit->LineEdit(), [&] { return at = OnScreen(edit->LineEdit()); }));
  EXPECT_LE(first, 4) << "the start scrolled away";
  EXPECT_GE(last - first + 1, advance - 4) << "typed text cut";
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
  QCoreApplication::sendEvent(edit->LineEdit(), &enter);
  v->UnSelAllObjects();
  v->Update();
  // Drawn, all of it shows: the ink is as wide as the text.
  std::tie(first, last) =
      InkColumns(GrabScreen("text-drawn", w, [&] { return at.adjusted(-10, -10, advance + 40, 10); }));
  EXPECT_GE(last - first + 1, advance - 4) << "drawn text cut";
}

TEST(WindowScreens, OnBothScreenSizes) {
  for (const char* size : {"1280x1024", "800x600"}) {
    const std::string out = std::string(VL_BUILD_DIR) + "/quillon-win.png";
    VLTEST_RUN_ON_SCREEN(kEnv, out, size, "XvfbScreen.Windows*");
    // The window commands and the dialogs, at this size too.
    const std::string shots = std::string(VL_BUILD_DIR) + "/quillon-win-" + size + ".png";
    VLTEST_RUN_ON_SCREEN("QUILLON_SHOT", shots, size, "XvfbScreen.WindowCommands:XvfbScreen.EditorDialogs");
  }
}

}  // namespace
