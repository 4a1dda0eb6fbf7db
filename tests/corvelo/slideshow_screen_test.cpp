// The slide show on real (virtual) screens of 1280 x 1024 and 800 x 600: every photo of the
// sample disc in turn, then the list over the last one, then two steps by Enter on Next. The
// form covers the screen, its top bar's controls lie whole inside the bar, each photo inside the
// frame under it. Grabs go beside <out>. The show's waits end once the screen showed the slide.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "corvelo/slideshowform.h"
#include "corvelo/viewerunit.h"
#include "support/pump.h"
#include "support/xinput.h"
#include "support/xvfb.h"

namespace fs = std::filesystem;
using namespace corvelo;

namespace {

bool Inside(const TRect& a, const TRect& in) {
  return a.Left >= in.Left && a.Top >= in.Top && a.Right <= in.Right && a.Bottom <= in.Bottom;
}

TEST(XvfbSlides, EveryPhotoFitsTheFrameAndTheListLiesOverIt) {
  const char* out = std::getenv("CORVELO_SLIDES_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs on the virtual screen only";
  const std::string base = std::string(out).substr(0, std::string(out).size() - 4) + "-" + std::getenv("VL_SCREEN");
  const fs::path photos = fs::canonical(std::string(VL_TESTDATA) + "/../../corvelo/sample/photos");
  SetProgramFolder(photos.string());
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(photos))
    if (AcceptedExtension(e.path().string())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  ASSERT_GE(names.size(), 5u);

  Application->OnHint = nullptr;
  auto* form = new TSlideShowForm(nullptr);
  form->TimerStart->SetEnabled(false);  // the test ticks it
  form->ListBoxSlide->Items()->Assign(names);
  form->TrackBar1->SetPosition(2);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  auto look = [&](const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_TRUE(vltest::WaitOnScreen(form->Widget()));
    EXPECT_EQ(form->Widget()->frameGeometry(), screen);
    for (int i = 0; i < form->Panel3->ControlCount(); ++i) {
      TControl* c = form->Panel3->Controls(i);
      if (c->Visible()) {
        EXPECT_TRUE(Inside(c->BoundsRect(), form->Panel3->ClientRect())) << c->Name();
      }
    }
    QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromStdString(base + "-" + what + ".png"), "PNG");
  };
  size_t shown = 0;
  uint64_t now = 0;
  form->SetClock({[&] { return now; },
                  [&](uint64_t at) {
                    // A slide's wait: the slide is up.
                    now = at;
                    const std::string name = names[size_t(form->SlideIndex)];
                    EXPECT_NE(form->Caption().find(name), std::string::npos) << name;
                    EXPECT_TRUE(Inside(form->Panel1->BoundsRect(), form->PanelBase->ClientRect())) << name;
                    EXPECT_EQ(form->Image1->BoundsRect(), form->Panel1->ClientRect()) << name;
                    look(std::to_string(shown));
                    if (++shown == names.size()) {
                      form->BitBtnList->Click();
                      ASSERT_TRUE(form->ListBoxSlide->Visible());
                      EXPECT_EQ(form->ListBoxSlide->BoundsRect(),
                                Rect(0, 0, form->ListBoxSlide->Width(), form->PanelBase->ClientHeight()));
                      EXPECT_LE(form->ListBoxSlide->Width(), form->PanelBase->ClientWidth());
                      EXPECT_TRUE(vltest::WaitOnScreen(form->ListBoxSlide->Widget()));
                      look("list");
                      // By hand: each Enter on Next steps once, the focus staying on the button.
                      form->Image1->Click();
                      form->ManualCheckBox->SetChecked(true);
                      vltest::TXInput x;
                      EXPECT_TRUE(x.Available());
                      // Tab from Previous, so the focus shows as a keyboard user sees it.
                      form->SpeedButtonUp->SetFocus();
                      if (x.Available()) x.Key(vltest::TXInput::kTab);
                      EXPECT_TRUE(vltest::WaitFor([&] { return form->SpeedButtonDown->Focused(); }));
                      for (size_t k = 0; k < 2 && x.Available(); ++k) {
                        const std::string next = "/" + names[k];
                        x.Key(vltest::TXInput::kReturn);
                        EXPECT_TRUE(vltest::WaitFor([&] { return form->Caption().find(next) != std::string::npos; }))
                            << next;
                      }
                      EXPECT_TRUE(form->SpeedButtonDown->Focused());
                      look("manual");
                      form->BitBtn1->Click();
                    }
                    QMetaObject::invokeMethod(
                        qApp, [] {}, Qt::QueuedConnection);
                  }});
  SetModalAnswer([&](TModalRequest& r) {
    if (r.Form != form) return int(mrCancel);
    form->TimerStart->Timer();
    return int(mrNone);
  });
  form->ShowModal();
  SetModalAnswer(nullptr);
  EXPECT_EQ(shown, names.size());
  form->Free();
  QCoreApplication::processEvents();
}

TEST(Screens, SlideShowAt1280x1024And800x600) {
  const std::string out = std::string(VL_BUILD_DIR) + "/corvelo-slides.png";
  VLTEST_RUN_ON_SCREEN("CORVELO_SLIDES_SHOT", out, "1280x1024", "XvfbSlides.*");
  VLTEST_RUN_ON_SCREEN("CORVELO_SLIDES_SHOT", out, "800x600", "XvfbSlides.*");
}

}  // namespace
