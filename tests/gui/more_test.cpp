#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/gui/canvas.h"
#include "platform/gui/controls.h"
#include "platform/gui/menus.h"
#include "platform/gui/stdctrls.h"

namespace {

std::unique_ptr<TBitmap> White(int w, int h, TPixelFormat pf = pf24bit) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf);
  b->SetSize(w, h);
  b->Canvas()->Brush()->SetColor(clWhite);
  b->Canvas()->FillRect(Rect(0, 0, w, h));
  return b;
}

TEST(CanvasMore, PolylinesPolygonsAndWidePens) {
  auto b = White(20, 20);
  TCanvas* c = b->Canvas();
  const TPoint pl[3] = {{1, 1}, {6, 1}, {6, 6}};
  c->Polyline(pl, 3);
  EXPECT_EQ(c->Pixels(1, 1), clBlack);
  EXPECT_EQ(c->Pixels(6, 1), clBlack);  // the corner: start of the second segment
  EXPECT_EQ(c->Pixels(6, 5), clBlack);
  EXPECT_EQ(c->Pixels(6, 6), clWhite);  // the last point is not drawn
  EXPECT_EQ(c->PenPos(), Point(6, 6));
  // A closed polygon's outline has every vertex; its fill stays inside.
  c->Brush()->SetColor(clRed);
  const TPoint sq[4] = {{10, 10}, {15, 10}, {15, 15}, {10, 15}};
  c->Polygon(sq, 4);
  for (auto& p : sq) EXPECT_EQ(c->Pixels(p.X, p.Y), clBlack);
  EXPECT_EQ(c->Pixels(12, 12), clRed);
  EXPECT_EQ(c->Pixels(16, 12), clWhite);
  // A wide pen: three pixels across a horizontal line.
  c->Pen()->SetWidth(3);
  c->MoveTo(2, 17);
  c->LineTo(8, 17);
  EXPECT_EQ(c->Pixels(5, 16), clBlack);
  EXPECT_EQ(c->Pixels(5, 17), clBlack);
  EXPECT_EQ(c->Pixels(5, 18), clBlack);
  EXPECT_EQ(c->Pixels(5, 14), clWhite);
  // A clear pen fills the whole rectangle with the brush.
  c->Pen()->SetStyle(psClear);
  c->Brush()->SetColor(clBlue);
  c->Rectangle(0, 0, 3, 3);
  EXPECT_EQ(c->Pixels(0, 0), clBlue);
  EXPECT_EQ(c->Pixels(2, 2), clBlue);
  EXPECT_EQ(c->Pixels(3, 3), clWhite);
}

TEST(CanvasMore, HugeCoordinatesDrawOnlyWhatShows) {
  auto b = White(30, 20);
  TCanvas* c = b->Canvas();
  const int far = 2000000000;
  // A line across the surface from far away: the same pixels as the visible piece.
  c->MoveTo(-far, 5);
  c->LineTo(far, 5);
  for (int x = 0; x < 30; ++x) EXPECT_EQ(c->Pixels(x, 5), clBlack);
  EXPECT_EQ(c->Pixels(0, 4), clWhite);
  c->MoveTo(3, -far);
  c->LineTo(3, far);
  EXPECT_EQ(c->Pixels(3, 0), clBlack);
  EXPECT_EQ(c->Pixels(3, 19), clBlack);
  // A 45 degree line far off the surface keeps its exact pixels where it crosses.
  c->MoveTo(-1000000, -1000000);
  c->LineTo(1000000, 1000000);
  EXPECT_EQ(c->Pixels(10, 10), clBlack);
  EXPECT_EQ(c->Pixels(11, 10), clWhite);
  // Rectangles, fills, clips and stretches far larger than the surface.
  c->Brush()->SetColor(clRed);
  c->Rectangle(-far, -far, far, 10);
  EXPECT_EQ(c->Pixels(15, 9), clBlack);  // the bottom edge
  EXPECT_EQ(c->Pixels(15, 8), clRed);
  EXPECT_EQ(c->Pixels(15, 10), clWhite);
  c->ExcludeClipRect(-far, -far, far, 15);
  c->Brush()->SetColor(clBlue);
  c->FillRect(Rect(-far, -far, far, far));
  c->ResetClipRegion();
  EXPECT_EQ(c->Pixels(0, 14), clWhite);
  EXPECT_EQ(c->Pixels(0, 15), clBlue);
  const TPoint tri[3] = {{-far, -far}, {far, -far}, {0, far}};
  c->SetClipPolygon(tri, 3);
  c->Brush()->SetColor(clLime);
  c->FillRect(Rect(0, 0, 30, 20));
  c->ResetClipRegion();
  EXPECT_EQ(c->Pixels(15, 10), clLime);
  auto small = White(2, 2);
  small->Canvas()->SetPixels(1, 1, clBlack);
  c->StretchDraw(Rect(-far, -far, far, far), small.get());
  // The surface lies in the bottom right quarter of the stretched picture.
  EXPECT_EQ(c->Pixels(0, 0), clBlack);
  EXPECT_EQ(c->Pixels(29, 19), clBlack);
  c->StretchDraw(Rect(-30, -20, 30, 20), small.get());
  EXPECT_EQ(c->Pixels(29, 19), clBlack);
  c->StretchDraw(Rect(0, 0, 60, 40), small.get());
  EXPECT_EQ(c->Pixels(29, 19), clWhite);
  // Shapes through the painter and polygons, far larger than the surface, finish.
  c->Brush()->SetColor(clYellow);
  c->Ellipse(-100000, -100000, 100030, 100020);
  EXPECT_EQ(c->Pixels(15, 10), clYellow);
  c->Polygon(tri, 3);
  EXPECT_EQ(c->Pixels(15, 10), clYellow);
  c->Pen()->SetWidth(5);
  c->MoveTo(-far, 10);
  c->LineTo(far, 10);
  EXPECT_EQ(c->Pixels(15, 10), clBlack);
  c->Arc(-far, -far, far, far, far, 0, -far, 0);
}

TEST(CanvasMore, ArcsRunCounterClockwise) {
  auto b = White(24, 24);
  TCanvas* c = b->Canvas();
  // From the right end to the left end, counter-clockwise: the upper half.
  c->Arc(0, 0, 21, 21, 21, 10, 0, 10);
  auto inked = [&](int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += c->Pixels(x, y) == clBlack;
    return n;
  };
  EXPECT_GT(inked(0, 0, 24, 8), 10);
  EXPECT_EQ(inked(0, 13, 24, 24), 0);
  EXPECT_EQ(inked(21, 0, 24, 24), 0);  // right and bottom edges of the box excluded
  // The same points the other way round: the lower half.
  c->Brush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, 24, 24));
  c->Arc(0, 0, 21, 21, 0, 10, 21, 10);
  EXPECT_EQ(inked(0, 0, 24, 8), 0);
  EXPECT_GT(inked(0, 13, 24, 24), 10);
}

TEST(CanvasMore, TurnedTextAndRegions) {
  auto b = White(80, 80);
  TCanvas* c = b->Canvas();
  c->Font()->SetHeight(-14);
  c->Brush()->SetStyle(bsClear);
  TSize e = c->TextExtent("Abc");
  c->Font()->SetOrientation(900);  // upwards
  c->TextOut(20, 70, "Abc");
  int ink = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 80; ++x)
      if (c->Pixels(x, y) == clBlack) {
        ++ink;
        EXPECT_TRUE(x >= 20 - 1 && x <= 20 + e.cy && y <= 70 + 1 && y >= 70 - e.cx - 1) << x << "," << y;
      }
  EXPECT_GT(ink, 10);

  TClipRegion r = TClipRegion::FromRect(Rect(0, 0, 10, 10));
  r.Exclude(Rect(2, 2, 4, 4));
  EXPECT_FALSE(r.Contains(3, 3));
  EXPECT_TRUE(r.Contains(4, 4));
  TClipRegion other = TClipRegion::FromRect(Rect(5, -5, 20, 7));
  r.Intersect(other);
  EXPECT_EQ(r.Bounds(), Rect(5, 0, 10, 7));
  r.Offset(10, 1);
  EXPECT_TRUE(r.Contains(15, 1));
  EXPECT_FALSE(r.Contains(5, 0));
  r.Subtract(TClipRegion::FromRect(Rect(0, 0, 100, 100)));
  EXPECT_TRUE(r.Empty());
  EXPECT_TRUE(TClipRegion::FromPolygon(nullptr, 0, fmAlternate).Empty());
  TClipRegion px = TClipRegion::FromPixels({{3, 1}, {1, 1}, {2, 1}, {5, 2}});
  EXPECT_EQ(px.Bounds(), Rect(1, 1, 6, 3));
  ASSERT_NE(px.Row(1), nullptr);
  EXPECT_EQ(px.Row(1)->size(), 1u);
  // A pinned measure answers TextExtent.
  SetTextMeasure([](const TFont&, const std::string& t) { return TSize{int(t.size()) * 7, 13}; });
  EXPECT_EQ(c->TextWidth("abcd"), 28);
  EXPECT_EQ(c->TextHeight("abcd"), 13);
  SetTextMeasure(nullptr);
}

TEST(StringsAndShortcuts, Basics) {
  TStrings s;
  int changes = 0;
  s.OnChange = [&] { ++changes; };
  s.SetText("one\r\ntwo\nthree");
  EXPECT_EQ(s.Count(), 3);
  EXPECT_EQ(s.IndexOf("TWO"), 1);
  EXPECT_EQ(s.Text(), "one\r\ntwo\r\nthree\r\n");
  EXPECT_THROW(s.Strings(3), EListError);
  s.Delete(0);
  EXPECT_EQ(s[0], "two");
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(TextToShortCut("Ctrl+Shift+S"), TShortCut(scCtrl | scShift | 'S'));
  EXPECT_EQ(TextToShortCut("Del"), TShortCut(VK_DELETE));
  EXPECT_EQ(TextToShortCut("Hyper+X"), 0);
  EXPECT_EQ(ShortCutToText(ShortCut('X', ssCtrl)), "Ctrl+X");
  EXPECT_EQ(GetShortHint("Open|Open a file"), "Open");
  EXPECT_EQ(GetLongHint("Open|Open a file"), "Open a file");
  EXPECT_EQ(GetLongHint("Print"), "Print");
}

TEST(StringsAndShortcuts, MemoKeepsLinesAndTextInStep) {
  auto* form = new TForm(nullptr);
  auto* m = new TMemo(form);
  m->SetParent(form);
  int changes = 0;
  m->OnChange = [&](TObject*) { ++changes; };
  m->SetText("first\r\nsecond");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(m->Lines()->Count(), 2);
  EXPECT_EQ(m->Editor()->toPlainText().toStdString(), "first\nsecond");
  m->Lines()->Add("third");
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(m->Text(), "first\r\nsecond\r\nthird\r\n");
  m->Editor()->setPlainText("typed");  // as the user types
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(m->Lines()->Count(), 1);
  EXPECT_EQ(m->Lines()->Strings(0), "typed");
  form->Free();
}

TEST(FormsMore, AFormFreedFromItsOwnButtonAndFramesWithChildren) {
  auto* form = new TForm(nullptr);
  auto* b = new TButton(form);
  b->SetParent(form);
  form->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
  b->OnClick = [form](TObject*) { form->Close(); };
  form->Show();
  int before = Screen->FormCount();
  static_cast<QPushButton*>(b->Widget())->click();
  EXPECT_FALSE(form->Visible());
  QCoreApplication::processEvents();
  EXPECT_EQ(Screen->FormCount(), before - 1);

  // A frame freed while its MDI children live on.
  TForm* oldMain = Application->MainForm();
  auto* frame = new TForm(nullptr);
  Application->SetMainForm(frame);
  frame->SetFormStyle(fsMDIForm);
  frame->Show();
  auto* child = new TForm(nullptr);
  child->SetFormStyle(fsMDIChild);
  child->Show();
  EXPECT_EQ(frame->MDIChildCount(), 1);
  frame->Free();
  EXPECT_FALSE(child->Visible());
  child->Free();
  Application->SetMainForm(oldMain);
}

TEST(FormsMore, PlacementDialogsAndTimers) {
  TForm* oldMain = Application->MainForm();
  auto* main = new TForm(nullptr);
  main->SetBounds(100, 50, 600, 400);
  Application->SetMainForm(main);
  auto* dlg = new TForm(main);
  dlg->SetBounds(0, 0, 200, 100);
  dlg->SetPosition(poMainFormCenter);
  dlg->SetBorderStyle(bsDialog);
  dlg->Show();
  EXPECT_EQ(dlg->Left(), 100 + 200);
  EXPECT_EQ(dlg->Top(), 50 + 150);
  EXPECT_EQ(dlg->Widget()->minimumWidth(), 200);
  EXPECT_EQ(dlg->Widget()->maximumWidth(), 200);
  // Client size set through the outer size.
  dlg->SetClientWidth(150);
  EXPECT_EQ(dlg->ClientWidth(), 150);
  Application->SetMainForm(oldMain);

  // A timer's exception goes to the error box; a disabled timer stays quiet.
  std::vector<std::string> boxes;
  SetModalAnswer([&](TModalRequest& r) {
    boxes.push_back(r.Text);
    return int(mrOk);
  });
  auto* t = new TTimer(main);
  t->SetInterval(1);
  int ticks = 0;
  t->OnTimer = [&](TObject* s) {
    ++ticks;
    static_cast<TTimer*>(s)->SetEnabled(false);
    throw Exception("Timer failed");
  };
  QElapsedTimer clock;
  clock.start();
  while (ticks == 0 && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(ticks, 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Timer failed.");
  // The application's message box maps its flags.
  EXPECT_EQ(Application->MessageBox("Overwrite?", "Quillon", MB_YESNO | MB_ICONQUESTION), mrOk);
  SetModalAnswer(nullptr);
  main->Free();
}

}  // namespace
