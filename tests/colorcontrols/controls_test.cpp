// The colour box and the histogram control, headless: picked values, drawn pixels, events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <memory>

#include "platform/gui/canvas.h"
#include "platform/gui/controls.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/vistrelproc.h"
#include "vistrel/view/histogrambox.h"
#include "vistrel/view/hsvbox.h"

namespace {

void Send(TControl* c, QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons held) {
  QWidget* w = c->ClientWidget();
  QPointF local(x, y);
  QMouseEvent e(type, local, w->mapToGlobal(local), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}
void Press(TControl* c, int x, int y) { Send(c, QEvent::MouseButtonPress, x, y, Qt::LeftButton, Qt::LeftButton); }
void Drag(TControl* c, int x, int y) { Send(c, QEvent::MouseMove, x, y, Qt::NoButton, Qt::LeftButton); }
void Release(TControl* c, int x, int y) { Send(c, QEvent::MouseButtonRelease, x, y, Qt::LeftButton, Qt::NoButton); }
void Click(TControl* c, int x, int y) {
  Press(c, x, y);
  Release(c, x, y);
}

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
TColor Hsv(int h, int s, int v) {
  TRGB t;
  VLHSVToRGB(t, h, s, v);
  return RGB(t.R, t.G, t.B);
}
TColor Inverted(TColor c) { return c ^ 0xFFFFFF; }

bool SameBits(const TBitmap* a, const TBitmap* b) {
  if (a->Width() != b->Width() || a->Height() != b->Height()) return false;
  for (int y = 0; y < a->Height(); ++y)
    for (int x = 0; x < a->Width(); ++x)
      if (PixelOf(a, x, y) != PixelOf(b, x, y)) return false;
  return true;
}

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 1200, 400);
  }
  void TearDown() override { FreeAndNil(form); }
  TForm* form = nullptr;
};

}  // namespace

TEST_F(ControlsTest, ColourBoxDrawsSquareBarAndIndicators) {
  auto* box = new THSVBox(form);
  box->SetParent(form);
  EXPECT_EQ(box->Width(), 105);
  EXPECT_EQ(box->Height(), 105);
  TBitmap shot;
  Grab(box, shot);
  ASSERT_EQ(shot.Width(), 105);
  // Square 80 wide: row 52 from the bottom has value trunc(52 x 100 / 105) = 49, column 40
  // saturation 50. Hue bar row 52 from the bottom: hue trunc(52 x 360 / 105) = 178.
  EXPECT_EQ(PixelOf(&shot, 40, 104 - 52), Hsv(0, 50, 49));
  EXPECT_EQ(PixelOf(&shot, 95, 104 - 52), Hsv(178, 99, 99));
  EXPECT_EQ(PixelOf(&shot, 82, 10), ColorToRGB(clBtnFace));
  // Inverted outlines: the hue mark round row 104 (hue 0), the square mark round (0, 104).
  EXPECT_EQ(PixelOf(&shot, 90, 102), Inverted(Hsv(6, 99, 99)));
  EXPECT_EQ(PixelOf(&shot, 90, 103), Hsv(3, 99, 99));
  EXPECT_EQ(PixelOf(&shot, 1, 101), Inverted(Hsv(0, 1, 2)));
  EXPECT_EQ(PixelOf(&shot, 2, 103), Inverted(Hsv(0, 2, 0)));

  // Setters clamp, fire nothing, and moving a mark away and back restores every pixel.
  int changes = 0;
  box->OnChange = [&](TObject*) { ++changes; };
  box->SetHue(400);
  EXPECT_EQ(box->Hue(), 359);
  box->SetSat(-5);
  EXPECT_EQ(box->Sat(), 0);
  box->SetVal(100);
  EXPECT_EQ(box->Val(), 99);
  EXPECT_EQ(box->Color(), Hsv(359, 0, 99));
  box->SetHue(0);
  box->SetVal(0);
  Grab(box, shot);
  TBitmap again;
  box->SetSat(50);
  box->SetVal(70);
  box->SetHue(200);
  box->SetHue(0);
  box->SetVal(0);
  box->SetSat(0);
  Grab(box, again);
  EXPECT_TRUE(SameBits(&shot, &again));
  box->SetRGB(0, 255, 0);
  EXPECT_EQ(box->Hue(), 120);
  EXPECT_EQ(box->Sat(), 99);
  EXPECT_EQ(box->Val(), 99);
  EXPECT_EQ(box->Color(), RGB(0, 255, 0));
  Grab(box, shot);
  EXPECT_EQ(PixelOf(&shot, 40, 104 - 52), Hsv(120, 50, 49));
  box->SetColor(clBtnFace);
  EXPECT_EQ(box->Color(), clBtnFace);
  EXPECT_EQ(RGB(box->Red(), box->Green(), box->Blue()), ColorToRGB(clBtnFace));
  EXPECT_EQ(changes, 0);
}

TEST_F(ControlsTest, ColourBoxPicksWithTheMouse) {
  auto* box = new THSVBox(form);
  box->SetParent(form);
  int changes = 0;
  box->OnChange = [&](TObject*) { ++changes; };
  box->SetHue(30);
  // Corners of the square, ends of the bar.
  Click(box, 0, 104);
  EXPECT_EQ(box->Sat(), 0);
  EXPECT_EQ(box->Val(), 0);
  EXPECT_EQ(box->Color(), clBlack);
  EXPECT_EQ(changes, 1);
  Click(box, 79, 0);
  EXPECT_EQ(box->Sat(), 99);
  EXPECT_EQ(box->Val(), 99);
  EXPECT_EQ(box->Color(), Hsv(30, 99, 99));
  Click(box, 90, 0);
  EXPECT_EQ(box->Hue(), 359);
  Click(box, 99, 104);
  EXPECT_EQ(box->Hue(), 0);
  EXPECT_EQ(changes, 4);
  Click(box, 82, 50);  // the gap
  EXPECT_EQ(changes, 4);
  // A drag keeps the mode of its press: into the bar it still picks in the square.
  Press(box, 10, 10);
  Drag(box, 95, 50);
  EXPECT_EQ(box->Sat(), 99);
  EXPECT_EQ(box->Val(), 99 - 48);
  EXPECT_EQ(box->Hue(), 0);
  Drag(box, -20, 500);
  EXPECT_EQ(box->Sat(), 0);
  EXPECT_EQ(box->Val(), 0);
  Release(box, -20, 500);
  const int n = changes;
  Drag(box, 40, 40);
  EXPECT_EQ(changes, n);
  // What shows is the picture.
  TBitmap shot;
  Grab(box, shot);
  EXPECT_TRUE(SameBits(&shot, box->Picture()));
}

TEST_F(ControlsTest, ColourBoxTooSmallForItsParts) {
  auto* box = new THSVBox(form);
  box->SetParent(form);
  // A square one pixel wide, and one pixel high.
  box->SetBounds(0, 0, 26, 105);
  Click(box, 0, 50);
  EXPECT_EQ(box->Sat(), 0);
  EXPECT_EQ(box->Val(), 99 - 48);
  box->SetBounds(0, 0, 105, 1);
  Click(box, 10, 0);
  EXPECT_EQ(box->Sat(), 13);
  EXPECT_EQ(box->Val(), 99);
  Click(box, 90, 0);
  EXPECT_EQ(box->Hue(), 359);
  // Narrower than the bar and its gap: what lies inside is drawn.
  box->SetBounds(0, 0, 10, 30);
  box->SetBackground(clRed);
  Click(box, 5, 29);
  EXPECT_EQ(box->Hue(), 0);
  TBitmap shot;
  Grab(box, shot);
  EXPECT_EQ(shot.Width(), 10);
  EXPECT_EQ(PixelOf(&shot, 0, 10), Hsv(int(Trunc(19 * (360.0f / 30))), 99, 99));
}

namespace {

struct Histo {
  TBitmap picture;
  TVistrelProc* proc;
  THistogramBox* box;
  explicit Histo(TForm* form, int w = 20, int h = 10) {
    picture.SetPixelFormat(pf24bit);
    picture.SetSize(w, h);  // black
    proc = new TVistrelProc(form);
    proc->SetAttachedBitmap(&picture);
    box = new THistogramBox(form);
    box->SetParent(form);
  }
  TBitmap* Shot() {
    box->Update();
    Grab(box, shot);
    return &shot;
  }
  TBitmap shot;
};

}  // namespace

TEST_F(ControlsTest, HistogramOfABlackPicture) {
  Histo h(form);
  EXPECT_EQ(h.box->Width(), 256);
  EXPECT_EQ(h.box->Height(), 105);
  h.box->SetLeft(7);
  h.box->SetLabels(0);
  h.box->SetCompBar(false);
  // Nothing attached: the background only.
  TBitmap* s = h.Shot();
  for (int y = 0; y < 105; y += 13) EXPECT_EQ(PixelOf(s, 0, y), clWhite);
  h.box->SetAttachedVistrelProc(h.proc);
  s = h.Shot();
  EXPECT_EQ(h.box->HistogramXPos(), 7);
  // Empty bins keep a one-pixel foot on the bottom row.
  for (int y = 0; y < 105; ++y) {
    ASSERT_EQ(PixelOf(s, 0, y), clBlack) << y;
    ASSERT_EQ(PixelOf(s, 1, y), y == 104 ? clBlack : clWhite) << y;
    ASSERT_EQ(PixelOf(s, 255, y), y == 104 ? clBlack : clWhite) << y;
  }
  // Red alone is red; gray is drawn over it.
  h.box->SetHistogramKind(hkRed);
  EXPECT_EQ(PixelOf(h.Shot(), 0, 50), TColor(0x0000FF));
  h.box->SetHistogramKind(hkRed | hkGray);
  EXPECT_EQ(PixelOf(h.Shot(), 0, 50), clBlack);
  // The same value again draws nothing; another draws.
  h.box->Picture()->ScanLine(50)[3 * 100 + 1] = 200;
  h.box->SetHistogramKind(hkRed | hkGray);
  EXPECT_EQ(h.box->Picture()->ScanLine(50)[3 * 100 + 1], 200);
  h.box->SetHistogramKind(hkGray);
  EXPECT_EQ(h.box->Picture()->ScanLine(50)[3 * 100 + 1], 255);
  // Twice as wide: each bin two columns; half as wide: every second bin.
  h.box->SetWidth(512);
  s = h.Shot();
  EXPECT_EQ(PixelOf(s, 1, 50), clBlack);
  EXPECT_EQ(PixelOf(s, 2, 50), clWhite);
  h.box->SetWidth(128);
  s = h.Shot();
  EXPECT_EQ(PixelOf(s, 0, 50), clBlack);
  EXPECT_EQ(PixelOf(s, 1, 50), clWhite);
  // Freed, the component is forgotten.
  delete h.proc;
  EXPECT_EQ(h.box->AttachedVistrelProc(), nullptr);
  EXPECT_EQ(PixelOf(h.Shot(), 0, 104), clWhite);
}

TEST_F(ControlsTest, HistogramColourBarLabelsAndOddSizes) {
  Histo h(form);
  h.box->SetAttachedVistrelProc(h.proc);
  h.box->SetLabels(0);
  const int fh = std::abs(h.box->Font()->Height());
  const int b = int(Trunc(fh * 1.2L));
  TBitmap* s = h.Shot();
  // The ramp along the bottom b rows; the plot ends b + 2 rows above the bottom.
  for (int k : {0, 1, 100, 255}) EXPECT_EQ(PixelOf(s, k, 104), RGB(k, k, k));
  EXPECT_EQ(PixelOf(s, 40, 105 - b), RGB(40, 40, 40));
  EXPECT_EQ(PixelOf(s, 0, 105 - b - 1), clWhite);
  EXPECT_EQ(PixelOf(s, 0, 105 - b - 3), clBlack);
  EXPECT_EQ(PixelOf(s, 0, 0), clBlack);
  h.box->SetHistogramKind(hkGreen);
  EXPECT_EQ(PixelOf(h.Shot(), 100, 104), RGB(0, 100, 0));
  // Lines: from the bottom left up to the full count at bin 0, then along the bottom.
  h.box->SetCompBar(false);
  h.box->SetHistogramStyle(hsLines);
  s = h.Shot();
  EXPECT_EQ(PixelOf(s, 0, 50), TColor(0x008000));
  EXPECT_EQ(PixelOf(s, 50, 104), TColor(0x008000));
  EXPECT_EQ(PixelOf(s, 50, 103), clWhite);
  // Labels move bin 0 right of the widest count text; the axes are drawn.
  h.box->SetHistogramStyle(hsBars);
  h.box->SetLabels(hlVertical | hlHorizontal);
  s = h.Shot();
  const int tw = h.box->Picture()->Canvas()->TextWidth("200");
  EXPECT_EQ(h.box->HistogramXPos(), h.box->Left() + tw + 2);
  EXPECT_NE(PixelOf(s, tw + 1, 5), clWhite);
  // Too small or too wide: nothing drawn outside, no division by an empty plot.
  h.box->SetCompBar(true);
  h.box->SetBounds(0, 0, 3, 10);
  h.Shot();
  h.box->SetBounds(0, 0, 1000, 4);
  h.box->SetLabels(0);
  s = h.Shot();
  EXPECT_EQ(s->Width(), 1000);
  h.box->SetCompBar(false);
  h.box->SetHeight(60);
  s = h.Shot();
  EXPECT_EQ(PixelOf(s, 3, 30), TColor(0x008000));
  EXPECT_EQ(PixelOf(s, 4, 30), clWhite);
}
