// The editor on a real (virtual) X screen with a window manager, as a new user meets it: menu
// shortcuts work before any click, the font dialog opens on an upright font, and the effects
// dialog closes on the first Escape. Grabs are saved beside <out>.png for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDialog>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <functional>
#include <string>

#include "quillon/mainform.h"
#include "quillon/program.h"
#include "support/pump.h"
#include "support/xvfb.h"
#include "vistrel/proc/previews.h"

using namespace quillon;

namespace {

constexpr const char* kEnv = "QUILLON_SAFETY_SHOT";

using vltest::Pump;

void Grab(const char* step) {
  const std::string out = std::getenv(kEnv);
  const std::string name = out.substr(0, out.size() - 4) + "-" + step + ".png";
  QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromStdString(name), "PNG");
}

using vltest::WaitFor;

// Once a modal window of type W is up and active: Act on it (from inside its modal loop).
template <class W>
void WhenModalUp(std::function<void(W*)> Act) {
  auto* timer = new QTimer();
  QObject::connect(timer, &QTimer::timeout, [timer, Act] {
    auto* w = dynamic_cast<W*>(QApplication::activeModalWidget());
    if (!w || QGuiApplication::focusWindow() != w->windowHandle()) return;
    timer->stop();
    timer->deleteLater();
    EXPECT_TRUE(vltest::WaitOnScreen(w));
    Act(w);
  });
  timer->start(50);
}

#define ON_SCREEN_ONLY()                                                                                            \
  if (!std::getenv(kEnv) || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs on the virtual screen " \
                                                                                      "only"

struct ScreenEditor {
  TMainForm* main;
  ScreenEditor() {
    main = StartQuillon();
    main->Show();
  }
  ~ScreenEditor() {
    for (int i = 0; i < main->MDIChildCount(); ++i)
      if (auto* c = dynamic_cast<TMDIChild*>(main->MDIChildren(i))) c->Modified = false;
    StopQuillon(main);
    QCoreApplication::processEvents();
  }
};

TEST(XvfbScreen, SafetyShortcutsWorkRightAfterStart) {
  ON_SCREEN_ONLY();
  ScreenEditor ed;
  QWindow* window = ed.main->Widget()->windowHandle();
  ASSERT_TRUE(WaitFor([&] { return QGuiApplication::focusWindow() == window; }));
  // No click anywhere: Ctrl+N as the window system hands it to the active window.
  QTest::keyClick(window, Qt::Key_N, Qt::ControlModifier);
  EXPECT_TRUE(WaitFor([&] { return ed.main->MDIChildCount() == 1; }));
  Pump(300);
  Grab("ctrl-n");
}

TEST(XvfbScreen, SafetyFontDialogOpensUpright) {
  ON_SCREEN_ONLY();
  ScreenEditor ed;
  ed.main->FileNewItemClick(nullptr);
  Pump(300);
  bool italic = true;
  std::string style;
  WhenModalUp<QFontDialog>([&](QFontDialog* d) {
    italic = d->currentFont().italic();
    style = d->currentFont().styleName().toStdString();
    Grab("font");
    // OK without touching anything.
    QTest::keyClick(d, Qt::Key_Return);
  });
  ed.main->ButtonFont->Click();
  EXPECT_FALSE(italic) << style;
  EXPECT_FALSE(ed.main->FontDialog1->Font()->Style() & fsItalic) << style;
  const TVLVObject* tmpl = ed.main->ActiveChild()->VistrelVect1->Object(VL_OBJ_TEMPLATE);
  ASSERT_TRUE(tmpl->Font.has_value());
  EXPECT_EQ(tmpl->Font->lfItalic, 0);
}

TEST(XvfbScreen, SafetyEffectsDialogClosesOnTheFirstEscape) {
  ON_SCREEN_ONLY();
  ScreenEditor ed;
  ed.main->FileNewItemClick(nullptr);
  TMDIChild* c = ed.main->ActiveChild();
  c->VistrelProc1->Negative();
  c->Modified = false;
  Pump(300);
  bool up = false;
  WhenModalUp<QWidget>([&](QWidget* w) {
    up = true;
    Grab("effects");
    QTest::keyClick(w->windowHandle(), Qt::Key_Escape);
  });
  // Should Escape not close it, the test still ends.
  bool left = false;
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] {
    if (QWidget* w = QApplication::activeModalWidget()) left = true, w->close();
  });
  guard.start(60000);
  ed.main->Effects1Click(nullptr);
  EXPECT_TRUE(up);
  EXPECT_FALSE(left) << "Escape left the dialog open";
  EXPECT_FALSE(c->Modified);
}

TEST(SafetyScreens, OnBothScreenSizes) {
  for (const char* size : {"1280x1024", "800x600"}) {
    const std::string out = std::string(VL_BUILD_DIR) + "/quillon-safety-" + size + ".png";
    VLTEST_RUN_ON_SCREEN(kEnv, out, size, "XvfbScreen.Safety*");
  }
}

}  // namespace
