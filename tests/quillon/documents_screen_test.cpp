// Documents on a real (virtual) X screen with a window manager, where focus and activation
// behave as on a desktop: the tools panel's buttons leave the active document alone, a
// picture that grows gets scroll bars, and a new window fits the workspace. Grabs are saved
// beside <out>.png for a person to look at.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <string>

#include "quillon/mainform.h"
#include "quillon/program.h"
#include "vistrel/io/vistrelio.h"
#include "support/xvfb.h"
#include "support/pump.h"

using namespace quillon;

namespace {

constexpr const char* kEnv = "QUILLON_DOCS_SHOT";

using vltest::WaitOnScreen;

// The screen once it shows the editor as it draws itself.
void Grab(TMainForm* main, const char* step) {
  ASSERT_TRUE(WaitOnScreen(main->Widget())) << step;
  const std::string out = std::getenv(kEnv);
  const std::string name = out.substr(0, out.size() - 4) + "-" + step + ".png";
  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  ASSERT_FALSE(shot.isNull());
  ASSERT_TRUE(shot.save(QString::fromStdString(name), "PNG"));
}

QMdiSubWindow* Sub(TForm* f) { return qobject_cast<QMdiSubWindow*>(f->Widget()->parentWidget()); }

// A click as the window system delivers it: the widget takes the focus if its policy says so.
void Click(QWidget* w) {
  QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(w->width() / 2, w->height() / 2));
}

void Drag(QWidget* w, int x1, int y1, int x2, int y2) {
  auto send = [&](QEvent::Type t, int x, int y, Qt::MouseButtons held) {
    const QPointF p(x, y);
    QMouseEvent e(t, p, w->mapToGlobal(p), t == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
  };
  send(QEvent::MouseButtonPress, x1, y1, Qt::LeftButton);
  send(QEvent::MouseMove, (x1 + x2) / 2, (y1 + y2) / 2, Qt::LeftButton);
  send(QEvent::MouseMove, x2, y2, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, x2, y2, Qt::NoButton);
}

// The caption the Window menu marks as the active document.
std::string CheckedWindow(TMainForm* main) {
  const QList<QAction*> all = main->WindowMenu->SubMenu()->actions();
  for (qsizetype i = main->WindowMenu->Count(); i < all.size(); ++i)
    if (all[i]->isChecked()) return all[i]->text().toStdString().substr(3);
  return "";
}

TColor Px(TBitmap* b, int x, int y) {
  const uint8_t* p = b->ScanLine(y) + 3 * x;
  return RGB(p[2], p[1], p[0]);
}

struct ScreenEditor {
  TMainForm* main;
  explicit ScreenEditor(TModalAnswer answer) {
    SetModalAnswer(std::move(answer));
    main = StartQuillon();
    main->Show();
    main->Widget()->window()->activateWindow();
    EXPECT_TRUE(WaitOnScreen(main->Widget()));
  }
  ~ScreenEditor() {
    StopQuillon(main);
    SetModalAnswer(nullptr);
    QCoreApplication::processEvents();
  }
};

#define ON_SCREEN_ONLY()                                                                                            \
  if (!std::getenv(kEnv) || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs on the virtual screen " \
                                                                                      "only"

TEST(XvfbScreen, DocumentPanelButtonsKeepTheActiveDocument) {
  ON_SCREEN_ONLY();
  ScreenEditor ed([](TModalRequest&) { return int(mrCancel); });
  TMainForm* main = ed.main;
  main->FileNewItemClick(nullptr);
  TMDIChild* a = main->ActiveChild();
  main->FileNewItemClick(nullptr);
  TMDIChild* b = main->ActiveChild();
  ASSERT_NE(a, b);
  ASSERT_TRUE(WaitOnScreen(main->Widget()));
  QWidget* view = b->VistrelVect1->ClientWidget();
  auto stillB = [&](const char* step) {
    EXPECT_TRUE(WaitOnScreen(main->Widget())) << step;
    EXPECT_EQ(main->ActiveChild(), b) << step;
    EXPECT_EQ(CheckedWindow(main), b->Caption()) << step;
  };
  auto draw = [&] {
    main->SpeedButtonRect->Click();
    Drag(view, 20, 20, 120, 90);
    EXPECT_TRUE(WaitOnScreen(main->Widget()));
    ASSERT_GT(b->VistrelVect1->SelObjectCount(), 0);
  };
  draw();
  // The panel's buttons clicked as the mouse does: each disables itself on the way.
  Click(main->Paste->Button());
  stillB("Paste");
  Click(main->ObjectUndo->Button());
  stillB("Undo");
  draw();
  Click(main->WipeBtn->Button());
  stillB("Wipe");
  Click(main->ButtonFont->Button());
  stillB("Font");
  Grab(main, "panel");
  // The next command works on B: B turns black, A stays white.
  main->Negative1Click(nullptr);
  EXPECT_EQ(Px(b->VistrelVect1->Bitmap(), 5, 5), TColor(0));
  EXPECT_EQ(Px(a->VistrelVect1->Bitmap(), 5, 5), TColor(0xFFFFFF));
  EXPECT_FALSE(a->Modified);
}

// Both scroll bars shown, each ranging over the picture's whole zoomed extent, and the far
// end of each reaches the picture's last pixel.
void ExpectScrollsToFarEdge(TVistrelVect* v, const char* step) {
  const int64_t w = v->Bitmap()->Width(), h = v->Bitmap()->Height();
  ASSERT_GT(w, v->ClientWidth()) << step;
  ASSERT_GT(h, v->ClientHeight()) << step;
  for (bool horz : {true, false}) {
    EXPECT_TRUE(v->ViewScrollBarVisible(horz)) << step;
    int max = 0, page = 0, pos = 0;
    v->ScrollBarInfo(horz, max, page, pos);
    EXPECT_EQ(max + 1, horz ? w : h) << step;
    EXPECT_EQ(page, horz ? v->ClientWidth() : v->ClientHeight()) << step;
    if (horz) v->WMHScroll(SB_BOTTOM, 0);
    else v->WMVScroll(SB_BOTTOM, 0);
  }
  EXPECT_EQ(v->XScr2Bmp(v->ClientWidth() - 1), w - 1) << step;
  EXPECT_EQ(v->YScr2Bmp(v->ClientHeight() - 1), h - 1) << step;
}

TEST(XvfbScreen, DocumentGrownPictureGetsScrollBars) {
  ON_SCREEN_ONLY();
  // A 400 x 512 picture with a blue frame, so the grabs show where its edges went.
  const std::string file = std::string(VL_BUILD_DIR) + "/quillon-docs-400x512.bmp";
  {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(400, 512);
    TCanvas* cv = b.Canvas();
    cv->Brush()->SetColor(clWhite);
    cv->FillRect(Rect(0, 0, 400, 512));
    cv->Pen()->SetColor(clBlue);
    cv->Pen()->SetWidth(8);
    cv->Brush()->SetStyle(bsClear);
    cv->Rectangle(4, 4, 396, 508);
    TVistrelIO io(nullptr);
    io.SetAttachedBitmap(&b);
    io.SaveToFile(file);
    ASSERT_FALSE(io.Aborting());
  }
  int angle = 0;
  ScreenEditor ed([&](TModalRequest& r) {
    if (r.Kind == mkOpenFile) {
      r.Value = file;
      return int(mrOk);
    }
    if (auto* f = dynamic_cast<TfResize*>(r.Form)) {
      f->CheckBox1->SetChecked(false);
      f->Edit1->SetText("800");
      f->Edit2->SetText("1024");
      return int(mrOk);
    }
    if (auto* f = dynamic_cast<TfRotate*>(r.Form)) {
      f->Edit1->SetText(std::to_string(angle));
      return int(mrOk);
    }
    return int(mrCancel);
  });
  TMainForm* main = ed.main;
  // The window the user made smaller than the picture.
  auto shrink = [&](TMDIChild* c) {
    c->SetClientWidth(360);
    c->SetClientHeight(300);
    EXPECT_TRUE(WaitOnScreen(main->Widget()));
  };
  auto open = [&] {
    main->FileOpenItemClick(nullptr);
    TMDIChild* c = main->ActiveChild();
    shrink(c);
    return c;
  };
  // After the command the window fits the picture: all of it where the workspace has room,
  // else the workspace's whole side, and no band beyond the picture.
  auto fits = [&](TMDIChild* c, const char* step) {
    EXPECT_TRUE(WaitOnScreen(main->Widget())) << step;
    const QSize room = main->MdiArea()->viewport()->size();
    const QRect g = Sub(c)->geometry();
    EXPECT_TRUE(QRect(QPoint(0, 0), room).contains(g)) << step;
    EXPECT_TRUE(c->ClientWidth() == c->VistrelVect1->IdealWidth() || g.width() == room.width()) << step;
    EXPECT_TRUE(c->ClientHeight() == c->VistrelVect1->IdealHeight() || g.height() == room.height()) << step;
  };
  TMDIChild* c = open();
  main->Resample1Click(nullptr);
  ASSERT_EQ(c->VistrelVect1->Bitmap()->Width(), 800);
  ASSERT_EQ(c->VistrelVect1->Bitmap()->Height(), 1024);
  Grab(main, "resized");
  fits(c, "resized");
  shrink(c);
  ExpectScrollsToFarEdge(c->VistrelVect1, "resized");
  Grab(main, "resized-far-edge");
  // The panel's Undo brings back the opened picture: the range shrinks with it.
  main->ObjectUndo->Click();
  ASSERT_EQ(c->VistrelVect1->Bitmap()->Width(), 400);
  fits(c, "undone");
  shrink(c);
  ExpectScrollsToFarEdge(c->VistrelVect1, "undone");

  c = open();
  angle = 30;
  main->Rotate1Click(nullptr);
  ASSERT_GT(c->VistrelVect1->Bitmap()->Width(), 600);
  Grab(main, "rotated");
  fits(c, "rotated");
  shrink(c);
  ExpectScrollsToFarEdge(c->VistrelVect1, "rotated");
  Grab(main, "rotated-far-edge");
}

TEST(XvfbScreen, DocumentFirstWindowFitsTheWorkspace) {
  ON_SCREEN_ONLY();
  ScreenEditor ed([](TModalRequest&) { return int(mrCancel); });
  TMainForm* main = ed.main;
  main->FileNewItemClick(nullptr);
  TMDIChild* c = main->ActiveChild();
  Grab(main, "first");
  const QRect room(QPoint(0, 0), main->MdiArea()->viewport()->size());
  EXPECT_TRUE(room.contains(Sub(c)->geometry())) << Sub(c)->geometry().width() << "x" << Sub(c)->geometry().height()
                                                 << " in " << room.width() << "x" << room.height();
  // The blank picture is the window's client, as for any new document.
  EXPECT_EQ(c->VistrelVect1->Bitmap()->Width(), c->ClientWidth());
  EXPECT_EQ(c->VistrelVect1->Bitmap()->Height(), c->ClientHeight());
}

TEST(DocumentScreens, OnBothScreenSizes) {
  for (const char* size : {"1280x1024", "800x600"}) {
    const std::string out = std::string(VL_BUILD_DIR) + "/quillon-docs-" + size + ".png";
    VLTEST_RUN_ON_SCREEN(kEnv, out, size, "XvfbScreen.Document*");
  }
}

}  // namespace
