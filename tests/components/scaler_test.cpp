// The form scaler with the screen, the system sizes and the font pinned.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>
#include <cstdlib>

#include "components/scaler.h"
#include "platform/gui/canvas.h"
#include "platform/gui/menus.h"
#include "platform/gui/stdctrls.h"

// A grid of the class library, as the scaler recognises it by its class name.
class TStringGrid : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
};

namespace {

// The sizes of a classic desktop: 4-pixel frames, a 19-pixel caption.
int ClassicMetric(const TForm* f, int i) {
  switch (i) {
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    default: return DefaultScalerMetric(f, i);
  }
}

class ScalerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Screen800();
    // Every character is half the font's height wide; lines are the height plus 3.
    SetTextMeasure([](const TFont& f, const std::string& t) {
      const int h = std::abs(f.Height());
      return TSize{int(t.size()) * (h / 2), h + 3};
    });
  }
  void TearDown() override {
    PlatformServices().ScreenSize = nullptr;
    SetScalerMetrics(nullptr);
    SetTextMeasure(nullptr);
    QCoreApplication::processEvents();
  }
  static void Screen800() { ScreenSize(800, 600); }
  static void ScreenSize(int w, int h) {
    PlatformServices().ScreenSize = [w, h] { return TSize{w, h}; };
  }
  // A sizeable form of client w x h with a panel at (10, 20, 100, 50) holding a label.
  TForm* MakeForm(int w, int h) {
    auto* f = new TForm(nullptr);
    f->SetClientWidth(w);
    f->SetClientHeight(h);
    panel = new TPanel(f);
    panel->SetParent(f);
    panel->SetBounds(10, 20, 100, 50);
    label = new TLabel(panel);
    label->SetParent(panel);
    label->SetAutoSize(false);
    label->SetBounds(4, 4, 60, 16);
    label->Font()->SetSize(8);
    return f;
  }
  TPanel* panel = nullptr;
  TLabel* label = nullptr;
};

TEST_F(ScalerTest, A800FormOnA1024ScreenScalesBy128AndTheLargestFittingWidthWins) {
  SetScalerMetrics(ClassicMetric);
  ScreenSize(1024, 768);
  TForm* f = MakeForm(400, 300);
  auto* text = new TLabel(f);
  text->SetParent(f);
  text->SetBounds(200, 100, 10, 10);
  text->SetCaption("Wide text");
  ASSERT_EQ(text->Width(), 45);
  // A status line above a progress bar, both at the bottom.
  TPanel* bottom[2];
  for (int i : {0, 1}) {
    bottom[i] = new TPanel(f);
    bottom[i]->SetParent(f);
    bottom[i]->SetAlign(alBottom);
    bottom[i]->SetHeight(i == 0 ? 16 : 19);
  }
  bottom[1]->SetTop(0);
  ASSERT_GT(bottom[0]->Top(), bottom[1]->Top());
  TScaler* s = TScaler::Attach(f);
  // Outer frame 8 x 26 (two 4-pixel frames; caption 19 + two frames - 1).
  EXPECT_EQ(s->BorderWidth(), 8);
  EXPECT_EQ(s->BorderHeight(), 26);
  EXPECT_EQ(s->TargetWidth(), 1024);
  EXPECT_EQ(f->Width(), 520);   // Trunc(400 * 1.28 + 0.95 + 8)
  EXPECT_EQ(f->Height(), 410);  // Trunc(300 * 1.28 + 0.95 + 26)
  // Controls by 512 / 400 from their edges, fonts in points.
  EXPECT_EQ(panel->BoundsRect(), Bounds(13, 26, 128, 64));
  EXPECT_EQ(label->BoundsRect(), Bounds(5, 5, 77, 21));
  EXPECT_EQ(label->Font()->Size(), 10);
  // A label that sizes itself takes the size of its text in the scaled font.
  EXPECT_EQ(text->BoundsRect(), Bounds(256, 128, 9 * 6, 13 + 3));
  // Aligned controls keep their order, scaled together.
  EXPECT_EQ(bottom[0]->BoundsRect(), Bounds(0, 410 - 20, 520, 20));
  EXPECT_EQ(bottom[1]->BoundsRect(), Bounds(0, 410 - 20 - 25, 520, 25));
  EXPECT_DOUBLE_EQ(s->InverseFactorMinusOne(), 400.0 / 512 - 1);
  EXPECT_EQ(s->FullWidth(), 520);
  f->Free();

  // A screen too low for the full factor: the widest target whose outer form fits.
  ScreenSize(1024, 600);
  f = MakeForm(600, 500);
  s = TScaler::Attach(f);
  EXPECT_EQ(s->TargetWidth(), 918);
  EXPECT_EQ(f->Height(), 600);  // Trunc(500 * 918 / 800 + 0.95 + 26); 919 would give 601
  EXPECT_EQ(f->Width(), 697);
  f->Free();

  // A dialog frame, and a menu bar below the caption.
  f = MakeForm(400, 300);
  f->SetBorderStyle(bsDialog);
  auto* menu = new TMainMenu(f);
  menu->Items()->AddItem("&File");
  f->SetMenu(menu);
  const int bar = f->Height() - f->ClientHeight();
  EXPECT_GT(bar, 0);
  s = TScaler::Attach(f, {.LimitScale = TScalerLimitScaling::ScaleNever});
  EXPECT_EQ(s->BorderWidth(), 8);  // two 3-pixel dialog frames and two borders
  EXPECT_EQ(s->BorderHeight(), 26 + bar);
  f->Free();
}

TEST_F(ScalerTest, TheDesignScreenAndFontChangeNothingButGridsFollowTheScrollBars) {
  // The measured character height of the form's font: 11 + 3.
  for (int vscroll : {16, 20}) {
    SetScalerMetrics([vscroll](const TForm* f, int i) { return i == SM_CXVSCROLL ? vscroll : ClassicMetric(f, i); });
    TForm* f = MakeForm(400, 300);
    auto* grid = new TStringGrid(f);
    grid->SetParent(f);
    grid->SetBounds(150, 40, 200, 120);
    int asked = 0;
    auto* s = new TScaler(f);
    s->SetDesign({.FormFontHeight = 14});
    s->OnScale = [&](TObject*, bool, bool&) { ++asked; };
    s->Loaded();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(s->TargetWidth(), 800);
    EXPECT_EQ(f->ClientWidth(), 400);
    EXPECT_EQ(f->ClientHeight(), 300);
    EXPECT_EQ(panel->BoundsRect(), Bounds(10, 20, 100, 50));
    EXPECT_EQ(label->Font()->Size(), 8);
    EXPECT_DOUBLE_EQ(s->InverseFactorMinusOne(), 0.0);
    // Wider scroll bars than at design widen the grid at its right.
    EXPECT_EQ(grid->BoundsRect(), Bounds(150, 40, 200 + vscroll - 16, 120)) << vscroll;
    f->Free();
  }
}

TEST_F(ScalerTest, LimitScaleAndOnScaleDecideWhetherAWiderScreenScales) {
  ScreenSize(1024, 768);
  struct Case {
    TScalerLimitScaling limit;
    int answer;  // -1: OnScale leaves the choice; 0, 1: sets CancelScaling
    int width;
  };
  for (const Case& c : {Case{TScalerLimitScaling::NoUpScale, -1, 400}, Case{TScalerLimitScaling::NoDownScale, -1, 512},
                        Case{TScalerLimitScaling::No, 1, 400}, Case{TScalerLimitScaling::ScaleNever, 0, 512}}) {
    TForm* f = MakeForm(400, 300);
    auto* s = new TScaler(f);
    s->SetDesign({.LimitScale = c.limit});
    bool upwards = false;
    s->OnScale = [&](TObject*, bool up, bool& cancel) {
      upwards = up;
      if (c.answer >= 0) cancel = c.answer == 1;
    };
    s->Loaded();
    EXPECT_TRUE(upwards);
    EXPECT_EQ(f->Width(), c.width) << int(c.limit) << " " << c.answer;
    EXPECT_EQ(panel->Width(), c.width == 400 ? 100 : 128);
    f->Free();
  }
  // A narrower screen asks with Upwards false; NoDownScale keeps the design size.
  ScreenSize(640, 480);
  TForm* f = MakeForm(400, 300);
  auto* s = new TScaler(f);
  s->SetDesign({.LimitScale = TScalerLimitScaling::NoDownScale});
  bool upwards = true;
  s->OnScale = [&](TObject*, bool up, bool&) { upwards = up; };
  s->Loaded();
  EXPECT_FALSE(upwards);
  EXPECT_EQ(f->Width(), 400);
  f->Free();
}

TEST_F(ScalerTest, AUserResizeRescalesOnceAfterTheDragAndAMaximisedFormKeepsItsHeight) {
  TForm* f = MakeForm(400, 300);
  TScaler* s = TScaler::Attach(f, {.ScaleRuntime = true});
  int scaled = 0;
  panel->OnResize = [&](TObject*) { ++scaled; };
  f->Show();
  QCoreApplication::processEvents();
  ASSERT_EQ(f->Width(), 400);

  // The drag: sizes come from the window, nothing is rescaled while they come.
  f->Widget()->resize(500, 330);
  EXPECT_TRUE(s->SizeMoveTimer()->Enabled());
  f->Widget()->resize(600, 360);
  EXPECT_EQ(scaled, 0);
  EXPECT_EQ(f->Height(), 360);
  // The drag ends: the rescale is posted and runs once.
  s->SizeMoveTimer()->Timer();
  EXPECT_FALSE(s->SizeMoveTimer()->Enabled());
  EXPECT_EQ(scaled, 0);
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(scaled, 1);
  EXPECT_EQ(f->Width(), 600);
  EXPECT_EQ(f->Height(), 450);  // the dragged height gives way to the proportions
  EXPECT_EQ(panel->BoundsRect(), Bounds(15, 30, 150, 75));
  // Only the height dragged: nothing to rescale.
  f->Widget()->resize(600, 500);
  s->SizeMoveTimer()->Timer();
  QCoreApplication::processEvents();
  EXPECT_EQ(scaled, 1);
  EXPECT_EQ(f->Height(), 500);
  f->Free();

  // Maximised: with MaximizeFullscreen the height stays what the window has.
  for (bool keep : {true, false}) {
    f = MakeForm(400, 300);
    f->SetWindowState(wsMaximized);
    s = TScaler::Attach(f, {.ScaleRuntime = true, .MaximizeFullscreen = keep});
    f->SetBounds(0, 0, 600, 380);
    s->ExitSizeMove();
    QCoreApplication::processEvents();
    EXPECT_EQ(f->Width(), 600);
    EXPECT_EQ(f->Height(), keep ? 380 : 450);
    EXPECT_EQ(panel->Width(), 150);
    f->Free();
  }
}

TEST_F(ScalerTest, MissingDesignValuesAndImpossibleSizesDoNothing) {
  // No design screen, no design client.
  for (TScalerDesign d : {TScalerDesign{.Xdevelop = 0}, TScalerDesign{.Xdevelop = -5}}) {
    ScreenSize(1024, 768);
    TForm* f = MakeForm(400, 300);
    auto* s = new TScaler(f);
    s->SetDesign(d);
    s->Loaded();
    EXPECT_EQ(f->Width(), 400);
    f->Free();
  }
  TForm* f = MakeForm(400, 300);
  auto* s = new TScaler(f);
  s->SetClientWidth(0);
  s->Loaded();
  EXPECT_EQ(f->Width(), 400);
  s->Rescale(true);
  EXPECT_EQ(f->Width(), 400);
  f->Free();

  // A frame wider than the screen: no target width fits.
  SetScalerMetrics([](const TForm* f, int i) { return i == SM_CXFRAME ? 600 : ClassicMetric(f, i); });
  f = MakeForm(400, 300);
  s = TScaler::Attach(f);
  EXPECT_EQ(s->TargetWidth(), 800);
  EXPECT_EQ(f->Width(), 400);
  EXPECT_EQ(panel->Width(), 100);
  // ... and wider than the form: a run-time rescale has no client to scale.
  s->SetScaleRuntime(true);
  f->SetBounds(0, 0, 700, 300);
  s->Rescale(false);
  EXPECT_EQ(panel->Width(), 100);
  f->Free();

  // A font without width: the grid correction leaves the grid.
  SetScalerMetrics(nullptr);
  SetTextMeasure([](const TFont&, const std::string&) { return TSize{0, 0}; });
  ScreenSize(1024, 768);
  f = MakeForm(400, 300);
  auto* grid = new TStringGrid(f);
  grid->SetParent(f);
  grid->SetBounds(150, 40, 200, 120);
  TScaler::Attach(f, {.FormFontWidth = 7, .FormFontHeight = 16});
  EXPECT_EQ(f->Width(), 512);
  EXPECT_EQ(grid->BoundsRect(), Bounds(192, 51, 256, 154));
  f->Free();

  // Only forms carry a scaler.
  auto* owner = new TPanel(nullptr);
  try {
    new TScaler(owner);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Owner does not inherit from TForm");
  }
  owner->Free();
}

}  // namespace
