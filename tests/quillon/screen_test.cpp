// The editor on a real (virtual) X screen: the main window with a document, and four
// documents arranged by the Window menu, saved as pictures under the build folder for a
// person to look at.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "quillon/mainform.h"
#include "quillon/program.h"
#include "support/xvfb.h"
#include "support/editor.h"
#include "support/pump.h"

using namespace quillon;

namespace {

using vltest::WaitOnScreen;

// Runs inside xvfb-run (started by the test below through screenshot.sh).
TEST(XvfbScreen, MainWindowWithDocument) {
  const char* out = std::getenv("QUILLON_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  SetModalAnswer([](TModalRequest& r) {
    if (r.Kind != mkOpenFile) return int(mrCancel);
    r.Value = std::string(VL_TESTDATA) + "/quillon/quad.png";
    return int(mrOk);
  });
  TMainForm* main = StartQuillon();
  main->Show();
  ASSERT_TRUE(WaitOnScreen(main->Widget()));
  main->FileOpenItemClick(nullptr);
  TMDIChild* c = main->ActiveChild();
  ASSERT_NE(c, nullptr);
  main->TrackBar1->SetPosition(400);
  main->TrackBar1Change(nullptr);
  c->SetClientWidth(330);
  c->SetClientHeight(250);
  TVLVObject o = *c->VistrelVect1->Object(VL_OBJ_TEMPLATE);
  o.Kind = vokEllipse;
  o.X1 = 4, o.Y1 = 4, o.X2 = 30, o.Y2 = 24;
  o.PenColor = clBlack;
  o.PenWidth = 1;
  c->VistrelVect1->AddObject(VL_OBJ_ROOT, o);
  main->UpdateMenuItems(nullptr);
  ASSERT_TRUE(WaitOnScreen(main->Widget()));

  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  ASSERT_FALSE(shot.isNull());
  ASSERT_TRUE(shot.save(QString::fromLocal8Bit(out), "PNG"));
  // The picture shows more than one colour: something was drawn.
  QImage img = shot.toImage();
  EXPECT_NE(img.pixel(0, 0), img.pixel(img.width() / 2, img.height() / 2));
  StopQuillon(main);
  SetModalAnswer(nullptr);
  QCoreApplication::processEvents();
}

// Where the shot of a step goes: beside the main one, named after the step.
std::string ShotName(const char* step) {
  std::string out = std::getenv("QUILLON_SHOT");
  return out.substr(0, out.size() - 4) + "-" + step + ".png";
}

// The screen once it shows w as w draws itself.
void Grab(QWidget* w, const char* step) {
  ASSERT_TRUE(WaitOnScreen(w)) << step;
  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  ASSERT_FALSE(shot.isNull());
  ASSERT_TRUE(shot.save(QString::fromStdString(ShotName(step)), "PNG"));
}

// Four documents, then the Window menu's arrangements, each grabbed.
TEST(XvfbScreen, WindowCommands) {
  const char* out = std::getenv("QUILLON_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  std::deque<std::string> files = {"quad.png", "quad.bmp", "quad.jpg"};
  SetModalAnswer([&](TModalRequest& r) {
    if (r.Kind != mkOpenFile || files.empty()) return int(mrCancel);
    r.Value = std::string(VL_TESTDATA) + "/quillon/" + files.front();
    files.pop_front();
    return int(mrOk);
  });
  TMainForm* main = StartQuillon();
  main->Show();
  Grab(main->Widget(), "empty");
  for (int i = 0; i < 3; ++i) main->FileOpenItemClick(nullptr);
  main->FileNewItemClick(nullptr);
  ASSERT_EQ(main->MDIChildCount(), 4);
  Grab(main->Widget(), "opened");
  QMdiArea* area = main->MdiArea();
  const QRect room(QPoint(0, 0), area->viewport()->size());
  std::vector<QMdiSubWindow*> subs;
  for (int i = 0; i < 4; ++i) subs.push_back(qobject_cast<QMdiSubWindow*>(main->MDIChildren(i)->Widget()->parentWidget()));
  auto inside = [&](const char* step) {
    for (QMdiSubWindow* s : subs)
      EXPECT_TRUE(room.contains(s->geometry())) << step << ": " << s->windowTitle().toStdString();
  };
  inside("opened");
  TMDIChild* active = main->ActiveChild();
  main->WindowCascadeItemClick(nullptr);
  Grab(main->Widget(), "cascade");
  // Cascade: one title bar down and across per window, the active one last and on top.
  inside("cascade");
  std::vector<QMdiSubWindow*> byTop = subs;
  std::sort(byTop.begin(), byTop.end(), [](QMdiSubWindow* a, QMdiSubWindow* b) { return a->y() < b->y(); });
  const int step = byTop[1]->y() - byTop[0]->y();
  EXPECT_GT(step, 10);
  for (size_t k = 0; k < byTop.size(); ++k) {
    EXPECT_EQ(byTop[k]->pos(), byTop[0]->pos() + QPoint(int(k) * step, int(k) * step)) << k;
    EXPECT_FALSE(byTop[k]->isMinimized() || byTop[k]->isMaximized()) << k;
  }
  EXPECT_EQ(main->ActiveChild(), active);
  EXPECT_EQ(byTop.back()->widget(), active->Widget());
  EXPECT_EQ(area->subWindowList(QMdiArea::StackingOrder).last(), byTop.back());
  main->WindowTileItemClick(nullptr);
  Grab(main->Widget(), "tile");
  // Tile: side by side, none covering another, together filling the workspace.
  inside("tile");
  int64_t covered = 0;
  for (size_t i = 0; i < subs.size(); ++i) {
    covered += int64_t(subs[i]->width()) * subs[i]->height();
    for (size_t k = i + 1; k < subs.size(); ++k)
      EXPECT_FALSE(subs[i]->geometry().intersects(subs[k]->geometry())) << i << " covers " << k;
  }
  EXPECT_GE(covered, int64_t(room.width()) * room.height() * 95 / 100);
  // The Window menu with its list, and the view's context menu.
  QMenu* menu = main->WindowMenu->SubMenu();
  menu->popup(main->Widget()->mapToGlobal(QPoint(180, 30)));
  Grab(menu, "windowmenu");
  menu->hide();
  QWidget* view = main->ActiveChild()->VistrelVect1->ClientWidget();
  for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    const QPointF at(20, 20);
    QMouseEvent e(t, at, view->mapToGlobal(at), Qt::RightButton,
                  t == QEvent::MouseButtonPress ? Qt::RightButton : Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &e);
  }
  Grab(main->PopupMenu1->Items()->SubMenu(), "popup");
  main->PopupMenu1->Items()->SubMenu()->hide();
  // A popup holding only separators has nothing to choose: it is not shown.
  TPopupMenu lines(nullptr);
  lines.Items()->AddItem("-");
  lines.Items()->AddItem("-");
  lines.Popup(40, 40);
  EXPECT_FALSE(lines.Items()->SubMenu()->isVisible());
  main->WindowMinimizeItemClick(nullptr);
  Grab(main->Widget(), "minimized");
  // Minimised: each an icon in the workspace, none over another.
  inside("minimized");
  for (size_t i = 0; i < subs.size(); ++i) {
    EXPECT_TRUE(subs[i]->isMinimized()) << i;
    EXPECT_EQ(main->MDIChildren(int(i))->WindowState(), wsMinimized) << i;
    for (size_t k = i + 1; k < subs.size(); ++k)
      EXPECT_FALSE(subs[i]->geometry().intersects(subs[k]->geometry())) << i << " covers " << k;
  }
  for (int i = main->MDIChildCount() - 1; i >= 0; --i) main->MDIChildren(i)->Free();
  StopQuillon(main);
  SetModalAnswer(nullptr);
  QCoreApplication::processEvents();
}

// The tools panel with drawn objects: a red box, a green circle, a thick line, a text being
// typed, then the move tool with its grips.
TEST(XvfbScreen, ToolsPanelWithDrawnObjects) {
  const char* out = std::getenv("QUILLON_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  vltest::TScriptedAnswers answers;
  TMainForm* main = StartQuillon();
  main->Show();
  ASSERT_TRUE(WaitOnScreen(main->Widget()));
  main->FileNewItemClick(nullptr);
  TMDIChild* c = main->ActiveChild();
  ASSERT_NE(c, nullptr);
  TVistrelVect* v = c->VistrelVect1;
  QWidget* w = v->ClientWidget();
  auto send = [&](QEvent::Type t, int x, int y, Qt::MouseButtons held, Qt::KeyboardModifiers mods = {}) {
    const QPointF p(x, y);
    QMouseEvent e(t, p, w->mapToGlobal(p), t == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, mods);
    QCoreApplication::sendEvent(w, &e);
  };
  auto drag = [&](int x1, int y1, int x2, int y2) {
    send(QEvent::MouseButtonPress, x1, y1, Qt::LeftButton);
    send(QEvent::MouseMove, (x1 + x2) / 2, (y1 + y2) / 2, Qt::LeftButton);
    send(QEvent::MouseMove, x2, y2, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, x2, y2, Qt::NoButton);
  };
  auto colour = [&](TColor col) {
    answers.push_back([col](TModalRequest& r) {
      r.Color = col;
      return int(mrOk);
    });
    main->PanelColorClick(nullptr);
  };
  main->PenEdit2->SetText("2");
  colour(clRed);
  main->SpeedButtonRect->Click();
  drag(30, 30, 180, 120);
  colour(TColor(0x008000));
  main->SpeedButtonEllipse->Click();
  drag(220, 40, 330, 150);
  main->PenEdit2->SetText("5");
  colour(clBlue);
  main->SpeedButtonLine->Click();
  drag(40, 200, 330, 170);
  answers.push_back([&](TModalRequest& r) {
    TFont* f = main->FontDialog1->Font();
    f->SetName("DejaVu Sans");
    f->SetSize(20);
    f->SetColor(TColor(0x800080));
    (void)r;
    return int(mrOk);
  });
  main->ButtonFontClick(nullptr);
  main->SpeedButtonWrite->Click();
  drag(40, 235, 470, 280);
  if (TEdit* e = v->TextEditor()) {
    for (QChar ch : QString("Drawn with the mouse")) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
      QCoreApplication::sendEvent(e->LineEdit(), &press);
    }
  }
  Grab(main->Widget(), "tools-text");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
  if (v->TextEditor()) QCoreApplication::sendEvent(v->TextEditor()->LineEdit(), &enter);
  main->SpeedButton13->Click();
  send(QEvent::MouseButtonPress, 100, 32, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, 100, 32, Qt::NoButton);
  send(QEvent::MouseButtonPress, 275, 152, Qt::LeftButton, Qt::ShiftModifier);
  send(QEvent::MouseButtonRelease, 275, 152, Qt::NoButton, Qt::ShiftModifier);
  EXPECT_EQ(v->SelObjectCount(), 2);
  EXPECT_EQ(v->ObjectsCount(), 4);
  Grab(main->Widget(), "tools");
  StopQuillon(main);
  SetModalAnswer(nullptr);
  QCoreApplication::processEvents();
}

TEST(Screenshot, EditorUnderXvfb) {
  const std::string script = std::string(VL_TESTDATA) + "/../quillon/screenshot.sh";
  const std::string out = std::string(VL_BUILD_DIR) + "/quillon-screenshot.png";
  const std::string prog = std::string(VL_BUILD_DIR) + "/quillon";
  std::filesystem::remove(out);
  VLTEST_RUN_SCREEN_SCRIPT("QUILLON_SHOT", script, out, prog);
  EXPECT_TRUE(std::filesystem::exists(out));
  for (const char* step : {"opened", "cascade", "tile", "minimized"})
    EXPECT_TRUE(std::filesystem::exists(out.substr(0, out.size() - 4) + "-" + step + ".png")) << step;
  QImage img(QString::fromStdString(out));
  EXPECT_GE(img.width(), 800);
}

}  // namespace
