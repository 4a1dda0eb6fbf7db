// The editor's tools panel driven as a user drives it: tools chosen on the panel, objects
// drawn with synthetic mouse events, committed by commands, wiped and taken back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <deque>
#include <functional>

#include "quillon/mainform.h"
#include "quillon/program.h"
#include "support/editor.h"
#include "support/memcap.h"
#include "support/pump.h"

using namespace quillon;

namespace {

TColor Pixel(TBitmap* b, int x, int y) {
  const uint8_t* p = b->ScanLine(y) + 3 * x;
  return RGB(p[2], p[1], p[0]);
}

TColor Inverse(TColor c) { return RGB(255 - GetRValue(c), 255 - GetGValue(c), 255 - GetBValue(c)); }

class ToolsTest : public vltest::EditorTest {
 protected:
  TMDIChild* Open(const char* name) { return vltest::EditorTest::Open(std::string(VL_TESTDATA) + "/quillon/" + name); }
  void AnswerColor(int result, TColor color = clBlack) {
    answers.push_back([=](TModalRequest& r) {
      EXPECT_EQ(r.Kind, mkColor);
      r.Color = color;
      return result;
    });
  }

  static void Send(TVistrelVect* v, QEvent::Type t, int x, int y, Qt::MouseButtons held,
                   Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* w = v->ClientWidget();
    const QPointF p(x, y);
    QMouseEvent e(t, p, w->mapToGlobal(p), t == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, mods);
    QCoreApplication::sendEvent(w, &e);
  }
  static void Drag(TVistrelVect* v, int x1, int y1, int x2, int y2) {
    Send(v, QEvent::MouseButtonPress, x1, y1, Qt::LeftButton);
    Send(v, QEvent::MouseMove, (x1 + x2) / 2, (y1 + y2) / 2, Qt::LeftButton);
    Send(v, QEvent::MouseMove, x2, y2, Qt::LeftButton);
    Send(v, QEvent::MouseButtonRelease, x2, y2, Qt::NoButton);
  }
};

TEST_F(ToolsTest, PanelToolsSetTheViewsModes) {
  // Without a document the panel is off, its three object buttons too.
  main->UpdateMenuItems(nullptr);
  for (TControl* c : std::initializer_list<TControl*>{main->SpeedButton5, main->SpeedButton8, main->SpeedButtonRect,
                                                      main->SpeedButton13, main->PenEdit2, main->PanelColor,
                                                      main->ButtonFont, main->WipeBtn, main->LabelDraw})
    EXPECT_FALSE(c->Enabled());
  EXPECT_FALSE(main->Paste->Enabled());
  EXPECT_FALSE(main->ObjectUndo->Enabled());
  EXPECT_FALSE(main->SpeedButtonScribble->Visible());
  EXPECT_EQ(main->SpeedButtonWrite->Caption(), "Write");
  EXPECT_EQ(main->SpeedButtonEllipse->Hint(), "Draw a ellipse or circle");
  EXPECT_EQ(main->PanelColor->Color(), clBlue);

  TMDIChild* c = Open("quad.bmp");
  ASSERT_NE(c, nullptr);
  TVistrelVect* v = c->VistrelVect1;
  EXPECT_TRUE(main->SpeedButtonRect->Enabled());
  EXPECT_TRUE(main->SpeedButton5->Down());
  EXPECT_EQ(v->MouseInteract(), miSelect);

  main->SpeedButtonRect->Click();
  EXPECT_EQ(v->MouseInteractVt(), mivPutBox);
  EXPECT_EQ(v->MouseInteract(), 0);
  EXPECT_FALSE(main->SpeedButton5->Down());
  EXPECT_EQ(v->Cursor(), crVLCross2);
  // A drawing tool clicked again stays down and keeps its mode.
  main->SpeedButtonRect->Click();
  EXPECT_TRUE(main->SpeedButtonRect->Down());
  EXPECT_EQ(v->MouseInteractVt(), mivPutBox);
  // The zoom button of the top panel is of the same group.
  main->SpeedButton7->Click();
  EXPECT_FALSE(main->SpeedButtonRect->Down());
  EXPECT_EQ(v->MouseInteract(), miZoom | miScroll);
  EXPECT_EQ(v->MouseInteractVt(), 0);
  EXPECT_FALSE(main->PopupMenu1->AutoPopup());
  main->SpeedButton13->Click();
  EXPECT_FALSE(main->SpeedButton7->Down());
  EXPECT_EQ(v->MouseInteractVt(), mivSelectObjects);
  EXPECT_EQ(v->Cursor(), crVLCross);
  main->SpeedButton6->Click();
  EXPECT_FALSE(main->SpeedButton13->Down());
  EXPECT_EQ(v->MouseInteract(), miScroll);
  EXPECT_EQ(v->MouseInteractVt(), 0);
  EXPECT_EQ(v->Cursor(), crVLHand);
  // Every tool but the polygon drops the selection.
  v->SetSelectionBase(vlsbBitmap);
  v->Select(2, 2, 10, 10);
  main->SpeedButton8->Click();
  EXPECT_TRUE(v->Selected());
  EXPECT_EQ(v->MouseInteract(), miSelectPolygon);
  main->SpeedButton9->Click();
  EXPECT_FALSE(v->Selected());
  EXPECT_EQ(v->MouseInteract(), miSelectCircle);
}

TEST_F(ToolsTest, DrawnRectangleIsBurntInByACommandAndTakenBack) {
  TMDIChild* c = Open("quad.bmp");
  ASSERT_NE(c, nullptr);
  TVistrelVect* v = c->VistrelVect1;
  TBitmap opened;
  opened.Assign(v->Bitmap());
  const TColor red = Pixel(&opened, 5, 5);

  main->SpeedButtonRect->Click();
  Drag(v, 2, 2, 12, 8);
  ASSERT_EQ(v->ObjectsCount(), 1);
  EXPECT_EQ(v->Object(0)->X2, 12);
  EXPECT_EQ(v->Object(0)->PenColor, clBlue);
  EXPECT_TRUE(main->Paste->Enabled());
  EXPECT_TRUE(main->WipeBtn->Enabled());
  EXPECT_FALSE(c->Modified);

  // "&Negative" paints the rectangle into the picture first, then inverts both.
  main->Negative1Click(nullptr);
  EXPECT_EQ(v->ObjectsCount(), 0);
  EXPECT_EQ(Pixel(v->Bitmap(), 2, 5), Inverse(clBlue));
  EXPECT_EQ(Pixel(v->Bitmap(), 5, 5), Inverse(red));
  EXPECT_EQ(Pixel(c->Image1->Picture()->Bitmap(), 2, 5), red);
  EXPECT_TRUE(main->ObjectUndo->Enabled());
  EXPECT_TRUE(c->Modified);

  // "Undo" of the panel goes back to the picture before the commit: the opened one.
  main->ObjectUndoClick(nullptr);
  EXPECT_EQ(Pixel(v->Bitmap(), 2, 5), red);
  EXPECT_EQ(Pixel(v->Bitmap(), 5, 5), red);
  EXPECT_FALSE(main->ObjectUndo->Enabled());

  // After "&Open" and one command without objects, "Undo" restores the opened picture.
  TMDIChild* d = Open("quad.png");
  main->Verticalflip1Click(nullptr);
  EXPECT_NE(Pixel(d->VistrelVect1->Bitmap(), 5, 5), red);
  EXPECT_TRUE(main->ObjectUndo->Enabled());
  main->ObjectUndoClick(nullptr);
  EXPECT_EQ(Pixel(d->VistrelVect1->Bitmap(), 5, 5), red);

  // Taken back after the borders grew it, the opened picture gets a window of its size again.
  auto borders = [&](int w, int h) {
    AnswerForm([w, h](TForm* f) {
      auto* r = static_cast<TfResize*>(f);
      r->CheckBox1->SetChecked(false);
      r->Edit1->SetText(std::to_string(w));
      r->Edit2->SetText(std::to_string(h));
    });
    main->Resize1Click(nullptr);
  };
  borders(600, 500);
  ASSERT_GT(d->ClientHeight(), 400);
  main->ObjectUndoClick(nullptr);
  EXPECT_EQ(d->VistrelVect1->Bitmap()->Height(), 30);
  EXPECT_EQ(d->ClientHeight(), d->VistrelVect1->IdealHeight());

  // A large picture's memory goes back once the last document is closed.
  const int64_t before = vltest::HeldKB();
  borders(3000, 2000);
  const int64_t large = vltest::HeldKB();
  EXPECT_GT(large - before, 3000 * 2000 * 3 / 1024);

  // With the last document closed, the panel's Paste and Undo are off, as at start.
  main->SpeedButtonRect->Click();
  Drag(d->VistrelVect1, 2, 2, 12, 8);
  main->Negative1Click(nullptr);
  ASSERT_TRUE(main->ObjectUndo->Enabled());
  Drag(d->VistrelVect1, 2, 2, 12, 8);
  ASSERT_TRUE(main->Paste->Enabled());
  d->Modified = c->Modified = false;
  c->Close();
  d->Close();
  QCoreApplication::processEvents();
  ASSERT_EQ(main->MDIChildCount(), 0);
  EXPECT_FALSE(main->Paste->Enabled());
  EXPECT_FALSE(main->ObjectUndo->Enabled());
  EXPECT_TRUE(vltest::WaitFor([&] { return vltest::HeldKB() - before < 4 * 1024; }, 10000))
      << vltest::HeldKB() - before << " KB held of " << large - before << " KB";
}

TEST_F(ToolsTest, ObjectsLeftUnselectedStayAndWipeRemovesThem) {
  main->FileNewItemClick(nullptr);
  TMDIChild* c = main->ActiveChild();
  ASSERT_NE(c, nullptr);
  TVistrelVect* v = c->VistrelVect1;
  EXPECT_FALSE(c->Modified);
  main->SpeedButtonEllipse->Click();
  Drag(v, 10, 10, 30, 30);
  main->SpeedButtonLine->Click();
  Drag(v, 40, 10, 60, 30);
  ASSERT_EQ(v->ObjectsCount(), 2);
  // The move tool's band over an empty area leaves nothing selected: "Paste" paints nothing.
  main->SpeedButton13->Click();
  Drag(v, 100, 100, 120, 120);
  EXPECT_EQ(v->SelObjectCount(), 0);
  main->PasteClick(nullptr);
  EXPECT_EQ(v->ObjectsCount(), 2);
  EXPECT_EQ(Pixel(v->Bitmap(), 10, 20), clWhite);
  EXPECT_FALSE(c->Modified);
  // A new document kept no picture: its "Undo" changes nothing.
  const int w = v->Bitmap()->Width();
  main->ObjectUndoClick(nullptr);
  EXPECT_EQ(v->Bitmap()->Width(), w);
  EXPECT_EQ(v->ObjectsCount(), 2);
  main->WipeBtnClick(nullptr);
  EXPECT_EQ(v->ObjectsCount(), 0);
  EXPECT_FALSE(main->Paste->Enabled());
  EXPECT_FALSE(main->WipeBtn->Enabled());
  EXPECT_EQ(Pixel(v->Bitmap(), 10, 20), clWhite);

  // Without a document "Paste" and "Undo" do nothing.
  c->Free();
  QCoreApplication::processEvents();
  ASSERT_EQ(main->ActiveChild(), nullptr);
  const bool undo = main->ObjectUndo->Enabled();
  main->PasteClick(nullptr);
  main->ObjectUndoClick(nullptr);
  EXPECT_EQ(main->ObjectUndo->Enabled(), undo);
  EXPECT_FALSE(main->Paste->Enabled());
}

TEST_F(ToolsTest, PenColourWidthAndFontOfNewObjects) {
  TMDIChild* c = Open("quad.bmp");
  ASSERT_NE(c, nullptr);
  TVLVObject* t = c->VistrelVect1->Object(VL_OBJ_TEMPLATE);
  // A cancelled colour dialog still hands the panel's colour on.
  c->VistrelVect1->SetObjPenColor(VL_OBJ_TEMPLATE, clBlack);
  AnswerColor(mrCancel);
  main->PanelColorClick(nullptr);
  EXPECT_EQ(main->PanelColor->Color(), clBlue);
  EXPECT_EQ(t->PenColor, clBlue);
  EXPECT_EQ(main->FontDialog1->Font()->Color(), clBlue);
  AnswerColor(mrOk, clYellow);
  main->PanelColorClick(nullptr);
  EXPECT_EQ(main->PanelColor->Color(), clYellow);
  EXPECT_EQ(t->PenColor, clYellow);
  // The caption stays readable on the new colour.
  EXPECT_EQ(main->PanelColor->Font()->Color(), clBlack);

  // Pen width: a number, else 1; the up-down steps it; drawn objects keep theirs.
  main->SpeedButtonLine->Click();
  main->PenEdit2->SetText("3");
  EXPECT_EQ(t->PenWidth, 3);
  Drag(c->VistrelVect1, 2, 2, 20, 20);
  main->PenEdit2->SetText("abc");
  EXPECT_EQ(t->PenWidth, 1);
  main->UpDownPen->ButtonClick(btNext);
  EXPECT_EQ(main->PenEdit2->Text(), "2");
  EXPECT_EQ(t->PenWidth, 2);
  EXPECT_EQ(c->VistrelVect1->Object(0)->PenWidth, 3);

  // A chosen font: the template takes it, the colour panel its colour, the button its face.
  answers.push_back([this](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkFont);
    TFont* f = main->FontDialog1->Font();
    f->SetName("DejaVu Serif");
    f->SetSize(24);
    f->SetStyle(fsBold);
    f->SetColor(clNavy);
    return int(mrOk);
  });
  main->ButtonFontClick(nullptr);
  EXPECT_EQ(main->ButtonFont->Font()->Name(), "DejaVu Serif");
  EXPECT_EQ(main->ButtonFont->Font()->Size(), 10);
  EXPECT_EQ(main->PanelColor->Color(), clNavy);
  EXPECT_EQ(main->PanelColor->Font()->Color(), clWhite);
  ASSERT_TRUE(t->Font.has_value());
  EXPECT_STREQ(t->Font->lfFaceName, "DejaVu Serif");
  EXPECT_EQ(t->Font->lfWeight, 700);
  EXPECT_EQ(t->PenColor, clNavy);
}

}  // namespace
