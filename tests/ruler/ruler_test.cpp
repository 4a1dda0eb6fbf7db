// The ruler control, headless: the drawn scale, the fitted scale, grips held in their limits,
// and grips pressed, dragged and scrolled past an edge with synthetic mouse events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <string>
#include <vector>

#include "platform/gui/canvas.h"
#include "platform/gui/controls.h"
#include "vistrel/view/rulerbox.h"

namespace {

constexpr TColor kBand = TColor(0xFFFFFF), kGrips = TColor(0xC0C0C0), kInk = TColor(0);

void Send(TControl* c, QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons held) {
  QWidget* w = c->ClientWidget();
  QPointF local(x, y);
  QMouseEvent e(type, local, w->mapToGlobal(local), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}
void Press(TControl* c, int x, int y) { Send(c, QEvent::MouseButtonPress, x, y, Qt::LeftButton, Qt::LeftButton); }
void Drag(TControl* c, int x, int y) { Send(c, QEvent::MouseMove, x, y, Qt::NoButton, Qt::LeftButton); }
void Release(TControl* c, int x, int y) { Send(c, QEvent::MouseButtonRelease, x, y, Qt::LeftButton, Qt::NoButton); }

// What the control shows: its surface after painting.
void Grab(TCustomControl* c, TBitmap& shot) {
  c->Invalidate();
  c->SurfacePaint();
  shot.Assign(c->Surface());
}

TColor PixelOf(const TBitmap* b, int x, int y) {
  const uint8_t* p = b->ScanLine(y) + 3 * x;
  return RGB(p[2], p[1], p[0]);
}

// Columns of row y drawn in the ink colour.
std::vector<int> InkColumns(const TBitmap* b, int y) {
  std::vector<int> xs;
  for (int x = 0; x < b->Width(); ++x)
    if (PixelOf(b, x, y) == kInk) xs.push_back(x);
  return xs;
}

class RulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 600, 300);
    ruler = new TRulerBox(form);
    ruler->SetParent(form);
    ruler->Font()->SetHeight(-11);  // band 21 pixels: Trunc(11 x 1.7) + 3
    ruler->Font()->SetColor(kInk);
    ruler->SetRulerColor(kBand);
    ruler->SetBackground(kGrips);
  }
  void TearDown() override {
    PlatformServices().MouseButtons = nullptr;
    FreeAndNil(form);
  }
  TTimer* ScrollTimer() {
    for (int i = 0; i < ruler->ComponentCount(); ++i)
      if (auto* t = dynamic_cast<TTimer*>(ruler->Components(i))) return t;
    return nullptr;
  }
  TForm* form = nullptr;
  TRulerBox* ruler = nullptr;
};

}  // namespace

TEST_F(RulerTest, FitsTheRangeAndHoldsGripsWithinTheirLimits) {
  EXPECT_EQ(ruler->Width(), 300);
  EXPECT_EQ(ruler->Height(), 40);
  ruler->SetViewMin(0);
  ruler->SetViewMax(255);
  ruler->SetWidth(289);
  ruler->SetFitInView(true);
  EXPECT_DOUBLE_EQ(ruler->DotPerUnit(), 289.0 / 255);
  EXPECT_NEAR(ruler->ViewPos(), 0, 1e-9);
  ruler->SetViewPos(40);  // the whole range is in view: nothing to scroll
  EXPECT_NEAR(ruler->ViewPos(), 0, 1e-9);

  ruler->SetGripsCount(2);
  std::vector<int> fired;
  ruler->OnRulerPosChange = [&](TObject*, int i) { fired.push_back(i); };
  ruler->SetGripPos(1, 300);
  EXPECT_EQ(ruler->GetGripPos(1), 255);
  EXPECT_EQ(fired, (std::vector<int>{1, 1}));  // once held at the limit, once for the call
  ruler->SetGripPos(0, -3);
  EXPECT_EQ(ruler->GetGripPos(0), 0);
  ruler->SetGripPos(2, 50);  // past the count: nothing
  EXPECT_EQ(ruler->GetGripPos(2), 0);
  EXPECT_EQ(ruler->GetGripColor(7), TColor(0));
  EXPECT_EQ(ruler->GetGripColor(1), kGrips);
  // A new upper limit for every grip.
  ruler->SetViewMax(100);
  ruler->SetGripPos(1, 200);
  EXPECT_EQ(ruler->GetGripPos(1), 100);
  // Fitting a range with no length keeps the scale it had.
  ruler->SetViewMax(0);
  EXPECT_DOUBLE_EQ(ruler->DotPerUnit(), 289.0 / 100);
}

TEST_F(RulerTest, TicksAndLabelsAtAFractionalViewPosition) {
  ruler->SetGripsCount(0);
  ruler->SetWidth(100);
  ruler->SetDotPerUnit(2);
  ruler->SetFrequency(10);
  ruler->SetLabelFreq(40);
  ruler->SetViewPos(0.7);
  TBitmap shot;
  Grab(ruler, shot);
  // Band rows 0..20, grip area from row 21. Ticks every 10 units at Round((v - 0.7) x 2):
  // 19, 39, 59, 79, 99 (not the truncated 18, 38, ...), 5 pixels up from row 21; the label
  // at 40 has a 10-pixel tick.
  EXPECT_EQ(PixelOf(&shot, 50, 20), kBand);
  EXPECT_EQ(PixelOf(&shot, 50, 21), kGrips);
  const std::vector<int> ticks = {19, 39, 59, 79, 99};
  for (int y : {21, 19, 17}) EXPECT_EQ(InkColumns(&shot, y), ticks) << "row " << y;
  EXPECT_EQ(InkColumns(&shot, 16), std::vector<int>{79});
  EXPECT_EQ(InkColumns(&shot, 12), std::vector<int>{79});

  // Font height 13: a band of Trunc(13 x 1.7) + 3 = 25 rows.
  ruler->Font()->SetHeight(-13);
  Grab(ruler, shot);
  EXPECT_EQ(PixelOf(&shot, 50, 24), kBand);
  EXPECT_EQ(PixelOf(&shot, 50, 25), kGrips);
  EXPECT_EQ(InkColumns(&shot, 25), ticks);

  // Steps of zero, below zero, or finer than a pixel draw no ticks (and end).
  for (double f : {0.0, -10.0, 1e-12}) {
    ruler->SetFrequency(f);
    ruler->SetLabelFreq(f);
    Grab(ruler, shot);
    for (int y = 0; y < 40; ++y) ASSERT_TRUE(InkColumns(&shot, y).empty()) << f << " row " << y;
  }
  ruler->SetFrequency(10);
  ruler->SetDotPerUnit(0);
  Grab(ruler, shot);
  EXPECT_TRUE(InkColumns(&shot, 21).empty());
  ruler->SetDotPerUnit(-2);
  Grab(ruler, shot);
  EXPECT_TRUE(InkColumns(&shot, 21).empty());

  // A vertical ruler with the band at the right: the ticks are rows, 5 pixels rightward
  // from column width - 25.
  ruler->SetDotPerUnit(2);
  ruler->SetLabelFreq(1000);
  ruler->SetRulerDir(rdVertical);
  ruler->SetGripsDir(gdDown);
  ruler->SetBounds(0, 0, 40, 100);
  Grab(ruler, shot);
  std::vector<int> rows;
  for (int y = 0; y < 100; ++y)
    if (PixelOf(&shot, 40 - 25 + 3, y) == kInk) rows.push_back(y);
  EXPECT_EQ(rows, ticks);
  EXPECT_EQ(PixelOf(&shot, 40 - 25 - 1, 50), kGrips);
}

TEST_F(RulerTest, HexLabelsShowTheTruncatedMagnitude) {
  // Labels every 16 units from -40, 4 pixels a unit: -32 at 32, -16 at 96, 0 at 160,
  // 16 at 224.
  ruler->SetGripsCount(0);
  ruler->SetDotPerUnit(4);
  ruler->SetFrequency(1000);
  ruler->SetLabelFreq(16);
  ruler->SetViewPos(-40);
  ruler->SetHexLabels(true);
  TBitmap shot;
  Grab(ruler, shot);
  TBitmap ref;
  ref.SetPixelFormat(pf24bit);
  auto labelShows = [&](const std::string& text, int p) {
    TCanvas* c = ref.Canvas();
    c->SetFont(ruler->Font());
    const TSize ext = c->TextExtent(text);
    ref.SetSize(ext.cx, 11);
    c->Brush()->SetColor(kBand);
    c->FillRect(Rect(0, 0, ext.cx, 11));
    c->Brush()->SetStyle(bsClear);
    c->TextOut(0, 0, text);
    const int x0 = p - ext.cx / 2;
    int ink = 0;
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < ext.cx; ++x) {
        if (PixelOf(&ref, x, y) != PixelOf(&shot, x0 + x, y)) return false;
        ink += PixelOf(&ref, x, y) == kInk;
      }
    return ink > 0;
  };
  EXPECT_TRUE(labelShows("-20", 32));
  EXPECT_TRUE(labelShows("-10", 96));
  EXPECT_TRUE(labelShows("0", 160));
  EXPECT_TRUE(labelShows("10", 224));
  // 255 as "FF".
  ruler->SetLabelFreq(255);
  ruler->SetViewPos(200);  // labels 0 at -800, 255 at 220
  Grab(ruler, shot);
  EXPECT_TRUE(labelShows("FF", 220));
  // Without hex the same place reads 255.
  ruler->SetHexLabels(false);
  Grab(ruler, shot);
  EXPECT_FALSE(labelShows("FF", 220));
  EXPECT_TRUE(labelShows("255", 220));
}

TEST_F(RulerTest, GripsAreClickedOnlyWhenReleasedWhereTheyWerePressed) {
  ruler->SetViewMin(0);
  ruler->SetViewMax(300);     // just the width: the view can't scroll
  ruler->SetGripPos(0, 100);  // one pixel a unit: the grip's triangle spans 94..106, rows 21..39
  ruler->SetGripColor(0, clRed);
  std::vector<std::string> log;
  ruler->OnRulerGripClick = [&](TObject*, int i) { log.push_back("click " + std::to_string(i)); };
  ruler->OnRulerGripDblClick = [&](TObject*, int i) { log.push_back("double " + std::to_string(i)); };
  ruler->OnRulerClick = [&](TObject*, double v) { log.push_back("ruler " + std::to_string(int(v * 10))); };
  ruler->OnRulerPosChange = [&](TObject*, int i) { log.push_back("pos " + std::to_string(i)); };

  Press(ruler, 100, 35);
  Release(ruler, 100, 35);
  EXPECT_EQ(log, (std::vector<std::string>{"click 0"}));
  log.clear();
  Send(ruler, QEvent::MouseButtonDblClick, 100, 35, Qt::LeftButton, Qt::LeftButton);
  Release(ruler, 100, 35);
  EXPECT_EQ(log, (std::vector<std::string>{"double 0", "click 0"}));
  log.clear();

  // A drag moves the grip with the mouse and is no click.
  Press(ruler, 102, 30);
  Drag(ruler, 122, 30);
  Release(ruler, 122, 30);
  EXPECT_EQ(ruler->GetGripPos(0), 120);
  EXPECT_EQ(log, (std::vector<std::string>{"pos 0"}));
  log.clear();
  TBitmap shot;
  Grab(ruler, shot);
  EXPECT_EQ(PixelOf(&shot, 120, 30), TColor(clRed));
  EXPECT_EQ(PixelOf(&shot, 120, 39), kInk);    // its outlined base
  EXPECT_EQ(PixelOf(&shot, 100, 39), kGrips);  // gone from where it was

  // Elsewhere: the value under the mouse.
  Press(ruler, 200, 35);
  Release(ruler, 200, 35);
  EXPECT_EQ(log, (std::vector<std::string>{"ruler 2000"}));
  log.clear();

  // Past the left edge: held at the lower limit, the scale can't scroll below 0.
  Press(ruler, 120, 35);
  Drag(ruler, -5, 35);
  Release(ruler, -5, 35);
  EXPECT_EQ(ruler->GetGripPos(0), 0);
  EXPECT_EQ(ruler->ViewPos(), 0);
}

TEST_F(RulerTest, DraggingPastTheRightEdgeScrollsAPixelEachStep) {
  ruler->SetGripPos(0, 290);  // no range: no limits
  TTimer* timer = ScrollTimer();
  ASSERT_NE(timer, nullptr);
  EXPECT_FALSE(timer->Enabled());
  int changes = 0;
  ruler->OnRulerPosChange = [&](TObject*, int) { ++changes; };
  Press(ruler, 290, 35);
  Drag(ruler, 310, 35);  // one step at once
  EXPECT_DOUBLE_EQ(ruler->ViewPos(), 1);
  EXPECT_DOUBLE_EQ(ruler->GetGripPos(0), 300);
  EXPECT_TRUE(timer->Enabled());
  // The timer goes on while the button is down and the mouse stays out.
  PlatformServices().MouseButtons = [] { return TShiftState(ssLeft); };
  timer->Timer();
  timer->Timer();
  EXPECT_DOUBLE_EQ(ruler->ViewPos(), 3);
  EXPECT_DOUBLE_EQ(ruler->GetGripPos(0), 302);
  EXPECT_EQ(changes, 3);
  // Back inside: the grip follows the mouse again and the scrolling stops.
  Drag(ruler, 250, 35);
  EXPECT_FALSE(timer->Enabled());
  EXPECT_DOUBLE_EQ(ruler->GetGripPos(0), 253);
  Drag(ruler, 320, 35);
  EXPECT_TRUE(timer->Enabled());
  Release(ruler, 320, 35);
  EXPECT_FALSE(timer->Enabled());
  const double at = ruler->ViewPos();
  timer->Timer();
  EXPECT_EQ(ruler->ViewPos(), at);
}
