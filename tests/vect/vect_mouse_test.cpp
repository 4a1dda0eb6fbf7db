// The vector view driven by synthetic mouse and key events: putting, selecting, moving and
// resizing objects, editing texts in place, and the measuring hint.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

#include "platform/gui/stdctrls.h"
#include "tests/view/view_fixture.h"
#include "vistrel/view/vistrelvect.h"
#include "vistrel/view/vlutils.h"

using namespace viewtest;

namespace {

struct VectMouse : ::testing::Test {
  TForm* form = nullptr;
  TVistrelVect* view = nullptr;
  int changed = 0;
  void SetUp() override {
    QLocale::setDefault(QLocale::c());
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 300, 260);
    view = new TVistrelVect(form);
    view->SetParent(form);
    view->SetBorderStyle(bsNone);
    view->SetBounds(0, 0, 200, 160);
    view->SetBackground(clWhite);
    TBitmap pic;
    pic.SetPixelFormat(pf24bit);
    pic.SetSize(100, 80);
    pic.Canvas()->Brush()->SetColor(clWhite);
    pic.Canvas()->FillRect(Rect(0, 0, 100, 80));
    view->Assign(&pic);
    view->OnVectorialChanged = [this](TObject*) { ++changed; };
  }
  void TearDown() override {
    form->Free();
    QLocale::setDefault(QLocale::system());
    QCoreApplication::processEvents();
  }
  int Add(int group, TVLVObjectKind kind, int x1, int y1, int x2, int y2) {
    TVLVObject o = *view->Object(VL_OBJ_TEMPLATE);
    o.Kind = kind;
    o.X1 = x1, o.Y1 = y1, o.X2 = x2, o.Y2 = y2;
    o.PenColor = clRed;
    return view->AddObject(group, o);
  }
  std::vector<int> Selection() {
    std::vector<int> s;
    for (int i = 0; i < view->SelObjectCount(); ++i) s.push_back(view->SelObject(i));
    return s;
  }
  TVLVObject& Obj(int i) { return *view->Object(i); }
  std::string HintText() { return view->MeasureHint()->Text(); }
};

void Key(QWidget* w, Qt::Key key, const QString& text = QString()) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(w, &release);
}

TEST_F(VectMouse, PutsObjectsFromTheTemplate) {
  // A click puts a box of the template's size at the click point.
  view->SetMouseInteractVt(mivPutBox);
  Click(view, 10, 20, mbLeft);
  ASSERT_EQ(view->ObjectsCount(), 1);
  EXPECT_EQ(Obj(0).Kind, vokBox);
  EXPECT_EQ(Obj(0).X1, 10);
  EXPECT_EQ(Obj(0).Y1, 20);
  EXPECT_EQ(Obj(0).X2, 73);
  EXPECT_EQ(Obj(0).Y2, 83);
  EXPECT_EQ(Selection(), std::vector<int>{0});
  EXPECT_EQ(changed, 1);

  // A drag at zoom 200 gives the box in bitmap pixels; the rubber band inverts the picture
  // while the button is down and leaves no trace behind when it moves on.
  view->SetZoom(200);
  Press(view, 60, 80, mbLeft);
  Move(view, 120, 130);
  EXPECT_EQ(PixelOf(view->Surface(), 120, 100), clBlack);
  Move(view, 140, 150);
  EXPECT_EQ(PixelOf(view->Surface(), 120, 100), clWhite);
  EXPECT_EQ(PixelOf(view->Surface(), 140, 100), clBlack);
  Release(view, 140, 150, mbLeft);
  ASSERT_EQ(view->ObjectsCount(), 2);
  EXPECT_EQ(Obj(1).X1, 30);
  EXPECT_EQ(Obj(1).Y1, 40);
  EXPECT_EQ(Obj(1).X2, 70);
  EXPECT_EQ(Obj(1).Y2, 75);
  EXPECT_EQ(Selection(), std::vector<int>{1});
  // The next click keeps that last size.
  view->SetZoom(100);
  Click(view, 5, 5, mbLeft);
  EXPECT_EQ(Obj(2).X2 - Obj(2).X1, 40);
  EXPECT_EQ(Obj(2).Y2 - Obj(2).Y1, 35);

  // Ctrl makes an ellipse a circle as large as the longer distance.
  view->SetMouseInteractVt(mivPutEllipse);
  Press(view, 10, 10, mbLeft);
  Move(view, 50, 30, ssCtrl);
  Release(view, 50, 30, mbLeft);
  EXPECT_EQ(Obj(3).Kind, vokEllipse);
  EXPECT_EQ(Obj(3).X2, 50);
  EXPECT_EQ(Obj(3).Y2, 50);
  // Ctrl snaps a line; a line keeps its direction.
  view->SetMouseInteractVt(mivPutLine);
  Press(view, 60, 40, mbLeft);
  Move(view, 10, 45, ssCtrl);
  Release(view, 10, 45, mbLeft);
  EXPECT_EQ(Obj(4).Kind, vokLine);
  EXPECT_EQ(Obj(4).X1, 60);
  EXPECT_EQ(Obj(4).X2, 10);
  EXPECT_EQ(Obj(4).Y2, 40);
  // The measure line makes no object.
  view->SetMouseInteractVt(mivMeasureLine);
  view->SetZoom(200);
  Press(view, 10, 10, mbLeft);
  Move(view, 40, 50);
  EXPECT_TRUE(view->MeasureHint()->Visible());
  EXPECT_EQ(HintText(), "25.00 Pixels");
  Release(view, 40, 50, mbLeft);
  EXPECT_FALSE(view->MeasureHint()->Visible());
  EXPECT_EQ(view->ObjectsCount(), 5);
  EXPECT_EQ(changed, 5);
}

TEST_F(VectMouse, ClickShiftClickAndRubberBandSelect) {
  const int a = Add(VL_OBJ_ROOT, vokBox, 10, 10, 20, 20);
  const int b = Add(VL_OBJ_ROOT, vokBox, 50, 10, 60, 20);
  TVLVObject g = *view->Object(VL_OBJ_TEMPLATE);
  g.Kind = vokGroup;
  g.X1 = 0, g.Y1 = 40, g.X2 = 99, g.Y2 = 79;
  const int group = view->AddObject(VL_OBJ_ROOT, g);
  const int c = Add(group, vokBox, 30, 50, 40, 60);
  const int d = Add(group, vokLine, 90, 70, 70, 50);
  view->SetMouseInteractVt(mivSelectObjects);
  int fired = 0;
  view->OnSelectObject = [&](TObject*) { ++fired; };

  Click(view, 12, 22, mbLeft);
  EXPECT_EQ(Selection(), std::vector<int>{a});
  EXPECT_GT(fired, 0);
  Click(view, 55, 25, mbLeft, ssShift);
  EXPECT_EQ(Selection(), (std::vector<int>{a, b}));
  Click(view, 15, 9, mbLeft, ssShift);
  EXPECT_EQ(Selection(), std::vector<int>{b});
  Click(view, 12, 12, mbLeft);
  EXPECT_EQ(Selection(), std::vector<int>{a});
  // A group yields its nearest member.
  Click(view, 80, 61, mbLeft);
  EXPECT_EQ(Selection(), std::vector<int>{d});

  // The band selects what lies wholly inside it, group members one by one.
  Press(view, 25, 45, mbLeft);
  Move(view, 45, 65);
  Release(view, 45, 65, mbLeft);
  EXPECT_EQ(Selection(), std::vector<int>{c});
  Press(view, 95, 75, mbLeft);
  Move(view, 5, 5);
  Release(view, 5, 5, mbLeft);
  EXPECT_EQ(Selection(), (std::vector<int>{a, b, c, d}));
  // Over an empty area nothing stays selected.
  Press(view, 70, 25, mbLeft);
  Move(view, 90, 35);
  Release(view, 90, 35, mbLeft);
  EXPECT_TRUE(Selection().empty());
}

TEST_F(VectMouse, DragsMoveAndResizeAtEveryZoom) {
  const int a = Add(VL_OBJ_ROOT, vokBox, 5, 5, 15, 15);
  view->SelectObject(a);
  view->SetMouseInteractVt(mivSelectObjects);
  view->SetZoom(400);
  // Grab the centre diamond and move one client pixel at a time: four make a bitmap pixel.
  EXPECT_EQ(view->ObjectGripAt(40, 40), 3);
  Press(view, 40, 40, mbLeft);
  for (int x = 41; x <= 48; ++x) Move(view, x, 40);
  for (int y = 39; y >= 36; --y) Move(view, 48, y);
  Release(view, 48, 36, mbLeft);
  EXPECT_EQ(Obj(a).X1, 7);
  EXPECT_EQ(Obj(a).X2, 17);
  EXPECT_EQ(Obj(a).Y1, 4);
  EXPECT_EQ(Obj(a).Y2, 14);
  EXPECT_EQ(changed, 1);

  // The first corner dragged past the second: the corners are ordered on release.
  view->SetZoom(100);
  EXPECT_EQ(view->ObjectGripAt(7, 4), 1);
  Press(view, 7, 4, mbLeft);
  Move(view, 30, 25);
  Release(view, 30, 25, mbLeft);
  EXPECT_EQ(Obj(a).X1, 17);
  EXPECT_EQ(Obj(a).Y1, 14);
  EXPECT_EQ(Obj(a).X2, 30);
  EXPECT_EQ(Obj(a).Y2, 25);

  // Dragged past the view's edge the picture scrolls and the object stays under the pointer.
  view->SetZoom(400);
  const int cx = view->XBmp2Scr(Obj(a).X1) + (view->XBmp2Scr(Obj(a).X2) - view->XBmp2Scr(Obj(a).X1) + 1) / 2;
  const int cy = view->YBmp2Scr(Obj(a).Y1) + (view->YBmp2Scr(Obj(a).Y2) - view->YBmp2Scr(Obj(a).Y1) + 1) / 2;
  ASSERT_EQ(view->ObjectGripAt(cx, cy), 3);
  const int grabbedX = view->XScr2Bmp(cx + 1) - Obj(a).X1;
  Press(view, cx + 1, cy, mbLeft);
  Move(view, 260, cy);
  Release(view, 260, cy, mbLeft);
  EXPECT_GT(view->ViewX(), 0);
  EXPECT_EQ(view->XScr2Bmp(199) - Obj(a).X1, grabbedX);
}

TEST_F(VectMouse, MeasuresAreasAndLengths) {
  view->SetMouseInteract(miSelect);
  view->SetMouseInteractVt(mivMeasureArea);
  EXPECT_TRUE(view->MeasureHint()->Visible());
  EXPECT_EQ(HintText(), "0.00 Pixels\xC2\xB2");
  // A 10 x 10 pixel square reads the same at every zoom.
  for (int zoom : {50, 100, 200, 400}) {
    SCOPED_TRACE(zoom);
    view->DeSelect();
    view->SetZoom(zoom);
    const int a = 10 * zoom / 100, b = 20 * zoom / 100;
    Press(view, a, a, mbLeft);
    Move(view, b, b);
    Release(view, b, b, mbLeft);
    Move(view, b + 1, b + 1);
    EXPECT_EQ(HintText(), "100.00 Pixels\xC2\xB2");
  }
  // The hint stands at the point, kept inside the client area.
  TVLHint* hint = view->MeasureHint();
  view->RefreshMeasureHint(30, 40);
  EXPECT_EQ(view->ScreenToClient(Point(hint->Left(), hint->Top())), Point(30, 40));
  view->RefreshMeasureHint(195, 155);
  EXPECT_EQ(view->ScreenToClient(Point(hint->Left(), hint->Top())),
            Point(view->ClientWidth() - hint->Width() - 1, view->ClientHeight() - hint->Height() - 1));
  // Units, digits, the locale's separator, and the owner's own words.
  view->SetDpi(100, 100);
  view->SetMUnit(vluINCHES);
  view->SetFloatDigits(3);
  EXPECT_EQ(HintText(), "0.010 Inches\xC2\xB2");
  QLocale::setDefault(QLocale(QLocale::German));
  view->SetMUnit(vluMILLIMETERS);
  EXPECT_EQ(HintText(), "6,452 MM\xC2\xB2");
  QLocale::setDefault(QLocale::c());
  double seen = 0;
  view->OnMeasureHint = [&](TObject*, std::string& text, double value) {
    seen = value;
    text = "area";
  };
  view->SetMUnit(vluPIXELS);
  EXPECT_EQ(HintText(), "area");
  EXPECT_DOUBLE_EQ(seen, 100);
  view->OnMeasureHint = nullptr;

  // Lengths: while a polygon is drawn, to the mouse; once closed, with the closing edge.
  view->SetZoom(100);
  view->SetFloatDigits(2);
  view->SetMouseInteract(miSelectPolygon);
  view->SetMouseInteractVt(mivMeasureLength);
  Click(view, 10, 10, mbLeft);
  Click(view, 40, 10, mbLeft);
  Click(view, 40, 50, mbLeft);
  Move(view, 40, 50);
  EXPECT_EQ(HintText(), "70.00 Pixels");
  Move(view, 10, 50);
  EXPECT_EQ(HintText(), "100.00 Pixels");
  DoubleClick(view, 40, 50);
  Move(view, 60, 60);
  EXPECT_EQ(view->PolySelCount(), 3);
  EXPECT_EQ(HintText(), "120.00 Pixels");
  // Values past the precision show zeros; too many integer digits give the exponent form.
  EXPECT_EQ(VLFloatToStrF(123.456, 4, 2), "123.50");
  EXPECT_EQ(VLFloatToStrF(9.9996, 4, 2), "10.00");
  EXPECT_EQ(VLFloatToStrF(-0.001, 15, 2), "0.00");
  EXPECT_EQ(VLFloatToStrF(1.5e20, 15, 2), "1.50000000000000E+20");
  // Leaving the measure modes hides the hint.
  view->SetMouseInteractVt(mivSelectObjects);
  EXPECT_FALSE(view->MeasureHint()->Visible());
}

TEST_F(VectMouse, EditsTextsInPlace) {
  TVLVObject t = *view->Object(VL_OBJ_TEMPLATE);
  t.Kind = vokText;
  t.X1 = 20, t.Y1 = 20, t.X2 = 80, t.Y2 = 40;
  t.Text = "abc";
  t.PenColor = clRed;
  const int i = view->AddObject(VL_OBJ_ROOT, t);
  view->SetMouseInteractVt(mivSelectObjects);

  // A double click inside opens the editor over the box; Esc gives back the old text.
  Click(view, 50, 30, mbLeft);
  DoubleClick(view, 50, 30);
  TEdit* e = view->TextEditor();
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(e->Visible());
  EXPECT_EQ(view->EditedObject(), i);
  EXPECT_EQ(e->Text(), "abc");
  EXPECT_EQ(e->Left(), 20);
  EXPECT_EQ(e->Width(), 60);
  EXPECT_FALSE(e->LineEdit()->hasFrame());
  EXPECT_EQ(e->LineEdit()->palette().color(QPalette::Active, QPalette::Text), QColor(255, 0, 0));
  Key(e->LineEdit(), Qt::Key_X, "x");
  EXPECT_EQ(e->Text(), "abcx");
  Key(e->LineEdit(), Qt::Key_Escape);
  EXPECT_FALSE(e->Visible());
  EXPECT_EQ(view->EditedObject(), -1);
  EXPECT_EQ(Obj(i).Text, "abc");
  EXPECT_EQ(changed, 0);

  // Enter keeps the typed text and tells the owner; the editor follows a zoom.
  DoubleClick(view, 50, 30);
  ASSERT_TRUE(e->Visible());
  view->SetZoom(200);
  EXPECT_EQ(e->Left(), 40);
  EXPECT_EQ(e->Width(), 120);
  Key(e->LineEdit(), Qt::Key_Y, "y");
  Key(e->LineEdit(), Qt::Key_Return, "\r");
  EXPECT_FALSE(e->Visible());
  EXPECT_EQ(Obj(i).Text, "abcy");
  EXPECT_EQ(changed, 1);
  // F2 opens the selected text; a press on the view ends it with the text kept.
  view->SetZoom(100);
  Key(view->ClientWidget(), Qt::Key_F2);
  ASSERT_TRUE(e->Visible());
  Key(e->LineEdit(), Qt::Key_Z, "z");
  Click(view, 90, 70, mbLeft);
  EXPECT_FALSE(e->Visible());
  EXPECT_EQ(Obj(i).Text, "abcyz");

  // Putting a text opens its editor at once.
  view->SetMouseInteractVt(mivPutText);
  Press(view, 10, 50, mbLeft);
  Move(view, 60, 70);
  Release(view, 60, 70, mbLeft);
  ASSERT_EQ(view->ObjectsCount(), 2);
  EXPECT_TRUE(e->Visible());
  EXPECT_EQ(view->EditedObject(), 1);
  Key(e->LineEdit(), Qt::Key_Q, "q");
  Key(e->LineEdit(), Qt::Key_Return, "\r");
  EXPECT_EQ(Obj(1).Text, "q");
}

}  // namespace
