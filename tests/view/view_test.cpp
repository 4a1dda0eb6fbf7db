// The single-image view: geometry, painting, selections and mouse gestures, headless.
#include <gtest/gtest.h>

#include <memory>

#include "tests/view/view_fixture.h"
#include "vistrel/proc/vistrelproc.h"

using namespace viewtest;

TEST_F(ViewTest, GeometryOfTheZoomedPicture) {
  TVistrelView* v = MakeView(150, 150);
  FillPicture(v, 200, 100);
  int changes = 0, lastChange = -1;
  v->OnViewChange = [&](TObject*, int c) {
    ++changes;
    lastChange = c;
  };
  v->SetZoom(200);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(lastChange, 1);
  EXPECT_EQ(v->ZoomedWidth(), 400);
  EXPECT_EQ(v->ZoomedHeight(), 200);
  int64_t mx, my;
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 250);
  EXPECT_EQ(my, 50);
  v->SetViewXY(1000, -5);
  EXPECT_EQ(v->ViewX(), 250);
  EXPECT_EQ(v->ViewY(), 0);
  EXPECT_EQ(lastChange, 0);
  // Zero, negative and the current zoom change nothing.
  changes = 0;
  v->SetZoom(0);
  v->SetZoom(-5);
  v->SetZoom(200);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(v->Zoom(), 200);
  // Mapping: client 10 shows bitmap (10 + 250) / 2 = 130.
  EXPECT_EQ(v->XScr2Bmp(10), 130);
  EXPECT_EQ(v->XBmp2Scr(130), 10);
  // Ideal size: trunc(200 x 2) + 1.
  EXPECT_EQ(v->IdealWidth(), 401);
  EXPECT_EQ(v->IdealHeight(), 201);
  // Going back to a zoom that fits pulls the origin back.
  v->SetZoom(50);
  EXPECT_EQ(v->ViewX(), 0);
  EXPECT_EQ(v->DisplayedWidth(), 100);
  EXPECT_EQ(v->DisplayedHeight(), 50);
}

TEST_F(ViewTest, FitAutoFitAndEmptyPictures) {
  TVistrelView* v = MakeView(105, 105);
  int changes = 0;
  v->OnViewChange = [&](TObject*, int) { ++changes; };
  v->Fit();  // empty picture: nothing
  EXPECT_EQ(v->Zoom(), 100);
  EXPECT_EQ(changes, 0);
  FillPicture(v, 200, 100);
  v->Fit();
  EXPECT_EQ(v->Zoom(), 52);
  v->SetAutoFit(true);
  FillPicture(v, 10, 10);
  EXPECT_EQ(v->Zoom(), 1050);
  // A picture far larger than the control still gets zoom 1.
  FillPicture(v, 20000, 20);
  EXPECT_EQ(v->Zoom(), 1);
}

TEST_F(ViewTest, ScrollBarsAndScrollCodes) {
  TVistrelView* v = MakeView(200, 150);
  FillPicture(v, 300, 100);
  v->SetScrollBars(ssBoth);
  EXPECT_TRUE(v->ViewScrollBarVisible(true));
  EXPECT_FALSE(v->ViewScrollBarVisible(false));
  const int cw = v->ClientWidth();
  EXPECT_EQ(cw, 200);
  EXPECT_LT(v->ClientHeight(), 150);  // the bar takes its room
  int max, page, pos;
  v->ScrollBarInfo(true, max, page, pos);
  EXPECT_EQ(page, cw);
  EXPECT_EQ(max, cw + (300 - cw) - 1);
  v->ScrollMessage(true, SB_THUMBTRACK, 100000);  // past the end: clamped
  EXPECT_EQ(v->ViewX(), 300 - cw);
  v->ScrollBarInfo(true, max, page, pos);
  EXPECT_EQ(pos, 300 - cw);
  v->ScrollMessage(true, SB_TOP, 0);
  EXPECT_EQ(v->ViewX(), 0);
  v->ScrollMessage(true, SB_LINEDOWN, 0);
  EXPECT_EQ(v->ViewX(), 1);
  v->ScrollMessage(true, SB_PAGEDOWN, 0);
  EXPECT_EQ(v->ViewX(), 300 - cw);
  v->ScrollMessage(true, SB_TOP, 0);
  v->ScrollMessage(true, SB_BOTTOM, 0);
  EXPECT_EQ(v->ViewX(), 300 - cw);
  // Positions beyond 16 bits are kept whole.
  v->SetZoom(50000);
  v->ScrollMessage(true, SB_THUMBTRACK, 70000);
  EXPECT_EQ(v->ViewX(), 70000);
  // A picture that fits needs no bar.
  v->SetZoom(10);
  EXPECT_FALSE(v->ViewScrollBarVisible(true));
  EXPECT_EQ(v->ClientHeight(), 150);
}

TEST_F(ViewTest, AssignKeepsOneBitAndConvertsOthers) {
  TVistrelView* v = MakeView(100, 100);
  int images = 0;
  v->OnImageChange = [&](TObject*) { ++images; };
  TBitmap b8;
  b8.SetPixelFormat(pf8bit);
  b8.SetSize(7, 5);
  b8.ScanLine(2)[3] = 9;  // palette entry 9: red
  v->Assign(&b8);
  EXPECT_EQ(images, 1);
  EXPECT_EQ(v->Bitmap()->PixelFormat(), pf24bit);
  EXPECT_EQ(v->Bitmap()->Width(), 7);
  EXPECT_EQ(PixelOf(v->Bitmap(), 3, 2), clRed);
  // 1-bit stays 1-bit and shows black and white whatever its palette.
  TBitmap b1;
  b1.SetPixelFormat(pf1bit);
  b1.SetSize(4, 2);
  b1.SetPalette({TRGBQuad{0, 0, 255, 0}, TRGBQuad{0, 255, 0, 0}});
  b1.ScanLine(0)[0] = 0x80;
  v->Assign(&b1);
  EXPECT_EQ(v->Bitmap()->PixelFormat(), pf1bit);
  v->SetZoom(1000);
  TBitmap shot;
  Grab(v, shot);
  EXPECT_EQ(PixelOf(&shot, 5, 5), clWhite);
  EXPECT_EQ(PixelOf(&shot, 15, 5), clBlack);
  EXPECT_EQ(PixelOf(&shot, 5, 15), clBlack);
}

TEST_F(ViewTest, BackgroundRightAndBelowOrAllRoundWhenCentred) {
  TVistrelView* v = MakeView(100, 80);
  v->SetBackground(clBlue);
  FillPicture(v, 40, 20, clRed);
  TBitmap shot;
  Grab(v, shot);
  EXPECT_EQ(PixelOf(&shot, 0, 0), clRed);
  EXPECT_EQ(PixelOf(&shot, 39, 19), clRed);
  EXPECT_EQ(PixelOf(&shot, 40, 0), clBlue);
  EXPECT_EQ(PixelOf(&shot, 0, 20), clBlue);
  EXPECT_EQ(PixelOf(&shot, 99, 79), clBlue);
  v->SetCenter(true);
  EXPECT_EQ(v->ImageOffsetX(), 30);
  EXPECT_EQ(v->ImageOffsetY(), 30);
  Grab(v, shot);
  EXPECT_EQ(PixelOf(&shot, 29, 30), clBlue);
  EXPECT_EQ(PixelOf(&shot, 30, 29), clBlue);
  EXPECT_EQ(PixelOf(&shot, 30, 30), clRed);
  EXPECT_EQ(PixelOf(&shot, 69, 49), clRed);
  EXPECT_EQ(PixelOf(&shot, 70, 49), clBlue);
  EXPECT_EQ(PixelOf(&shot, 69, 50), clBlue);
  // The mapping follows the offset.
  EXPECT_EQ(v->XScr2Bmp(30), 0);
  EXPECT_EQ(v->XBmp2Scr(0), 30);
}

TEST_F(ViewTest, ChessboardDiagonalsAndHatches) {
  TVistrelView* v = MakeView(64, 64);
  v->SetBackground(RGB(10, 20, 30));
  v->SetBackgroundStyle(vlbsChessboard);
  TBitmap shot;
  Grab(v, shot);
  const TColor inv = RGB(245, 235, 225);
  EXPECT_EQ(PixelOf(&shot, 0, 0), inv);
  EXPECT_EQ(PixelOf(&shot, 15, 15), inv);
  EXPECT_EQ(PixelOf(&shot, 16, 0), RGB(10, 20, 30));
  EXPECT_EQ(PixelOf(&shot, 0, 16), RGB(10, 20, 30));
  EXPECT_EQ(PixelOf(&shot, 16, 16), inv);
  v->SetBackgroundStyle(vlbsDiagonals);
  Grab(v, shot);
  EXPECT_EQ(PixelOf(&shot, 10, 10), inv);
  EXPECT_EQ(PixelOf(&shot, 11, 10), RGB(10, 20, 30));
  // A hatch shows the colour on some pixels only.
  v->SetBackgroundStyle(vlbsHorizontal);
  Grab(v, shot);
  int coloured = 0;
  for (int y = 0; y < 16; ++y) coloured += PixelOf(&shot, 5, y) == RGB(10, 20, 30);
  EXPECT_GT(coloured, 0);
  EXPECT_LT(coloured, 16);
  // Every pixel of one row is alike in a horizontal hatch.
  for (int x = 0; x < 64; ++x) EXPECT_EQ(PixelOf(&shot, x, 3), PixelOf(&shot, 0, 3));
}

TEST_F(ViewTest, PlainThenFilteredRepaint) {
  TVistrelView* v = MakeView(120, 120);
  // Black and white columns: the filtered zoom blends them, the plain one does not.
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(100, 100);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) std::memset(b.ScanLine(y) + 3 * x, (x & 1) ? 255 : 0, 3);
  v->Assign(&b);
  v->SetZoomFilter(rfTriangle);
  v->SetDelayZoomFilter(true);
  v->SetZoom(300);
  EXPECT_EQ(v->DelayedRefreshCount(), 2);
  TBitmap shot;
  Grab(v, shot);
  EXPECT_TRUE(OnlyBlackAndWhite(&shot, 0, 0, 60, 60));
  v->OutlineTimer()->Timer();
  EXPECT_EQ(v->DelayedRefreshCount(), 1);
  Grab(v, shot);
  EXPECT_TRUE(OnlyBlackAndWhite(&shot, 0, 0, 60, 60));
  v->OutlineTimer()->Timer();
  EXPECT_EQ(v->DelayedRefreshCount(), 0);
  Grab(v, shot);
  EXPECT_FALSE(OnlyBlackAndWhite(&shot, 0, 0, 60, 60));
  // 100 % and below take the plain path; 101 filters.
  v->SetDelayZoomFilter(false);
  v->SetZoom(100);
  Grab(v, shot);
  EXPECT_TRUE(OnlyBlackAndWhite(&shot, 0, 0, 20, 20));
  v->SetZoom(50);
  Grab(v, shot);
  EXPECT_TRUE(OnlyBlackAndWhite(&shot, 0, 0, 10, 10));
  v->SetZoom(101);
  Grab(v, shot);
  EXPECT_FALSE(OnlyBlackAndWhite(&shot, 0, 0, 20, 20));
  // DrawImageTo filters at any zoom but 100.
  v->SetZoom(50);
  TBitmap other;
  other.SetPixelFormat(pf24bit);
  other.SetSize(10, 10);
  v->DrawImageTo(other.Canvas());
  EXPECT_FALSE(OnlyBlackAndWhite(&other, 0, 0, 10, 10));
}

TEST_F(ViewTest, DoubleBufferShowsTheSamePicture) {
  TVistrelView* v = MakeView(90, 70);
  FillPicture(v, 30, 30, clLime);
  v->SetZoom(200);
  TBitmap a, b;
  Grab(v, a);
  v->SetDoubleBuffer(true);
  v->Update();
  Grab(v, b);
  EXPECT_EQ(v->BackBuffer()->Width(), v->ClientWidth());
  EXPECT_EQ(PixelOf(&b, 59, 59), clLime);
  EXPECT_EQ(PixelOf(&b, 60, 60), PixelOf(&a, 60, 60));
}

TEST_F(ViewTest, MarchingOutlineMovesOnATick) {
  TVistrelView* v = MakeView(100, 100);
  FillPicture(v, 100, 100, clGray);
  v->SetSelectionBase(vlsbBitmap);
  v->Select(10, 20, 60, 70);
  EXPECT_TRUE(v->Selected());
  EXPECT_EQ(v->PolySelCount(), 4);
  EXPECT_EQ(v->SelX1(), 10);
  EXPECT_EQ(v->SelY2(), 70);
  TBitmap shot;
  Grab(v, shot, false);
  // Top edge from x = 10 (under the grip up to 13): 3 black, 3 white from phase 0.
  auto top = [&](int x) { return PixelOf(&shot, x, 20); };
  EXPECT_EQ(top(18), clBlack);  // counter (18 - 10) mod 6 = 2
  EXPECT_EQ(top(19), clWhite);
  EXPECT_EQ(top(22), clBlack);
  // Grips: white fill, black border around each corner.
  EXPECT_EQ(PixelOf(&shot, 7, 17), clBlack);
  EXPECT_EQ(PixelOf(&shot, 8, 18), clWhite);
  v->OutlineTimer()->Timer();
  Grab(v, shot, false);
  EXPECT_EQ(top(18), clWhite);  // one step further on
  EXPECT_EQ(top(19), clWhite);
  EXPECT_EQ(top(21), clBlack);
  // Without animation the phase stands still, the dots are drawn again.
  v->SetSelectionOptions(vlsoSizeable);
  v->OutlineTimer()->Timer();
  Grab(v, shot, false);
  EXPECT_EQ(top(18), clWhite);
  EXPECT_EQ(top(21), clBlack);
  // Without vlsoSizeable: no grips.
  v->SetSelectionOptions(0);
  v->Paint();
  v->OutlineTimer()->Timer();
  Grab(v, shot, false);
  EXPECT_EQ(PixelOf(&shot, 8, 18), clGray);
  // A new picture size drops the selection.
  FillPicture(v, 50, 50, clGray);
  EXPECT_FALSE(v->Selected());
}

TEST_F(ViewTest, CopySelectionClipsToThePicture) {
  TVistrelView* v = MakeView(100, 100);
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(20, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(x);
      p[1] = uint8_t(y);
      p[2] = 7;
    }
  v->Assign(&b);
  v->SetSelectionBase(vlsbBitmap);
  v->Select(5, 2, 8, 4);
  TBitmap out;
  v->CopySelectionTo(&out);
  ASSERT_EQ(out.Width(), 4);  // inclusive box
  ASSERT_EQ(out.Height(), 3);
  EXPECT_EQ(out.ScanLine(2)[3 * 3], 8);
  EXPECT_EQ(out.ScanLine(2)[3 * 3 + 1], 4);
  // Reaching outside: cut to the picture.
  v->Select(15, -5, 40, 3);
  v->CopySelectionTo(&out);
  ASSERT_EQ(out.Width(), 5);
  ASSERT_EQ(out.Height(), 4);
  EXPECT_EQ(out.ScanLine(0)[0], 15);
  // Wholly outside: nothing happens.
  v->Select(30, 30, 40, 40);
  v->CopySelectionTo(&out);
  EXPECT_EQ(out.Width(), 5);
  // Into another view, which takes the background and resolution too.
  TVistrelView* w = MakeView(50, 50);
  v->SetBackground(clYellow);
  v->SetDpi(300, 200);
  v->Select(0, 0, 3, 3);
  v->CopySelectionTo(w);
  EXPECT_EQ(w->Bitmap()->Width(), 4);
  EXPECT_EQ(w->Background(), clYellow);
  EXPECT_EQ(w->DpiY(), 200);
  // A triangle copies the pixels inside it only.
  v->DeSelect();
  v->AddSelPoint(0, 0);
  v->AddSelPoint(9, 0);
  v->AddSelPoint(0, 9);
  v->CopySelectionTo(&out);
  ASSERT_EQ(out.Width(), 9);                 // SelX2 - SelX1
  EXPECT_EQ(out.ScanLine(1)[3 * 1], 1);      // inside
  EXPECT_EQ(out.ScanLine(8)[3 * 8 + 2], 0);  // outside: left black
}

TEST_F(ViewTest, PolygonCropHasNoBlackEdgeAndMatchesTheProcessedArea) {
  TVistrelView* v = MakeView(100, 100);
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(20, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(x);
      p[1] = uint8_t(y);
      p[2] = 7;
    }
  v->Assign(&b);
  v->SetSelectionBase(vlsbBitmap);
  // A trapezoid with a vertical right side at x 12 and a horizontal bottom at y 8.
  const TPoint poly[] = {{2, 1}, {12, 1}, {12, 8}, {6, 8}};
  for (const TPoint& p : poly) v->AddSelPoint(p.X, p.Y);
  TBitmap out;
  v->CopySelectionTo(&out);
  ASSERT_EQ(out.Width(), 10);
  ASSERT_EQ(out.Height(), 7);
  // First column inside the slanted left side, row by row; everything right of it is the
  // picture, up to and including the last column and row.
  const int firstInside[7] = {0, 1, 1, 2, 3, 3, 4};
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 10; ++x) {
      const TColor want = x >= firstInside[y] ? RGB(7, uint8_t(y + 1), uint8_t(x + 2)) : clBlack;
      ASSERT_EQ(PixelOf(&out, x, y), want) << x << "," << y;
    }
  // The processing component works on exactly the pixels the crop takes.
  TVistrelProc proc(nullptr);
  proc.SetAttachedVistrel(v);
  proc.Negative();
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) {
      const bool copied = x >= 2 && x < 12 && y >= 1 && y < 8 && x - 2 >= firstInside[y - 1];
      const TColor orig = RGB(7, uint8_t(y), uint8_t(x));
      EXPECT_EQ(PixelOf(v->Bitmap(), x, y), copied ? TColor(0xFFFFFF - orig) : orig) << x << "," << y;
    }
  // A polygon reaching past the picture is cut to it.
  v->DeSelect();
  for (const TPoint& p : {Point(15, -4), Point(30, 4), Point(15, 14)}) v->AddSelPoint(p.X, p.Y);
  v->CopySelectionTo(&out);
  EXPECT_EQ(out.Width(), 5);
  EXPECT_EQ(out.Height(), 10);
}

TEST_F(ViewTest, ClickZoomInAndOut) {
  TVistrelView* v = MakeView(200, 200);
  FillPicture(v, 100, 100);
  v->SetMouseInteract(miZoom);
  Click(v, 50, 50, mbLeft);
  EXPECT_EQ(v->Zoom(), 200);
  // The clicked bitmap point (50, 50) comes to the middle.
  EXPECT_EQ(v->XScr2Bmp(100), 50);
  Click(v, 100, 100, mbLeft);
  EXPECT_EQ(v->Zoom(), 300);
  Click(v, 100, 100, mbRight);
  EXPECT_EQ(v->Zoom(), 200);
  Click(v, 100, 100, mbRight);
  EXPECT_EQ(v->Zoom(), 100);
  Click(v, 50, 50, mbRight);
  EXPECT_EQ(v->Zoom(), 75);
  v->SetZoom(5);
  Click(v, 2, 2, mbRight);
  EXPECT_EQ(v->Zoom(), 2);
  Click(v, 1, 1, mbRight);
  EXPECT_EQ(v->Zoom(), 2);
  v->SetZoom(60);
  Click(v, 10, 10, mbLeft);
  EXPECT_EQ(v->Zoom(), 75);
}

TEST_F(ViewTest, DragScrollsWithZoomAndScroll) {
  TVistrelView* v = MakeView(100, 100);
  FillPicture(v, 400, 400);
  v->SetMouseInteract(miZoom);
  v->SetMouseInteract(miZoom | miScroll);
  EXPECT_EQ(v->MouseInteract(), miZoom | miScroll);
  v->SetViewXY(100, 100);
  Press(v, 50, 50, mbLeft);
  Move(v, 40, 30);
  EXPECT_EQ(v->ViewX(), 110);
  EXPECT_EQ(v->ViewY(), 120);
  Release(v, 30, 30, mbLeft);
  EXPECT_EQ(v->ViewX(), 120);
  EXPECT_EQ(v->ViewY(), 120);
  EXPECT_EQ(v->Zoom(), 100);  // moved: no zoom
}

TEST_F(ViewTest, DragSelectsAndGripResizesAcrossTheOppositeSide) {
  TVistrelView* v = MakeView(200, 200);
  FillPicture(v, 200, 200);
  v->SetMouseInteract(miSelect);
  int changing = 0, changed = 0;
  v->OnSelectionChanging = [&](TObject*) { ++changing; };
  v->OnSelectionChange = [&](TObject*) { ++changed; };
  Press(v, 20, 30, mbLeft);
  Move(v, 60, 80);
  Release(v, 60, 80, mbLeft);
  EXPECT_GE(changing, 2);
  EXPECT_EQ(changed, 1);
  ASSERT_TRUE(v->Selected());
  EXPECT_EQ(v->SelX1(), 20);
  EXPECT_EQ(v->SelY1(), 30);
  EXPECT_EQ(v->SelX2(), 60);
  EXPECT_EQ(v->SelY2(), 80);
  EXPECT_EQ(v->GripAt(20, 30), 0);
  EXPECT_EQ(v->GripAt(60, 80), 2);
  EXPECT_EQ(v->GripAt(20, 55), 4);
  EXPECT_EQ(v->GripAt(40, 81), 7);
  EXPECT_EQ(v->GripAt(40, 55), -1);
  // The left side dragged past the right side goes on as the right side.
  Press(v, 20, 55, mbLeft);
  Move(v, 80, 55);
  Move(v, 100, 55);
  Release(v, 100, 55, mbLeft);
  EXPECT_EQ(v->SelX1(), 60);
  EXPECT_EQ(v->SelX2(), 100);
  EXPECT_EQ(v->SelY1(), 30);
  // Dragging inside moves it.
  Press(v, 70, 50, mbLeft);
  Move(v, 80, 40);
  Release(v, 80, 40, mbLeft);
  EXPECT_EQ(v->SelX1(), 70);
  EXPECT_EQ(v->SelX2(), 110);
  EXPECT_EQ(v->SelY1(), 20);
  EXPECT_EQ(v->SelY2(), 70);
  // The cursor follows what lies under the pointer.
  Move(v, 70, 20);
  EXPECT_EQ(v->TVLView::Cursor(), 1786);
  Move(v, 90, 45);
  EXPECT_EQ(v->TVLView::Cursor(), 1790);
  EXPECT_EQ(v->ClientWidget()->cursor().shape(), Qt::SizeAllCursor);
  for (TCursor id = crVLZoomOut; id <= crVLMove; ++id) EXPECT_TRUE(Screen->HasCursor(id)) << id;
  Move(v, 150, 150);
  EXPECT_EQ(v->TVLView::Cursor(), 1785);
}

TEST_F(ViewTest, PolygonClosedByDoubleClickAndEllipse) {
  TVistrelView* v = MakeView(200, 200);
  FillPicture(v, 200, 200, clGray);
  v->SetMouseInteract(miSelectPolygon);
  Click(v, 10, 10, mbLeft);
  EXPECT_TRUE(v->PolygonInProgress());
  Move(v, 90, 12);
  Click(v, 90, 12, mbLeft);
  Move(v, 50, 80);
  Click(v, 50, 80, mbLeft);
  DoubleClick(v, 50, 80);
  EXPECT_FALSE(v->PolygonInProgress());
  ASSERT_EQ(v->PolySelCount(), 3);
  EXPECT_EQ(v->PolySelPoints()[1], Point(90, 12));
  // Ctrl snaps an edge to 45 degrees or to the axes.
  v->SetMouseInteract(miZoom);
  v->SetMouseInteract(miSelectPolygon);
  Click(v, 10, 10, mbLeft);
  Click(v, 100, 20, mbLeft, ssCtrl);
  EXPECT_EQ(v->PolySelPoints()[1], Point(100, 10));
  // Leaving polygon mode drops the last vertex.
  v->SetMouseInteract(miSelect);
  EXPECT_EQ(v->PolySelCount(), 1);
  // Ellipse: radii 10 and 20 give 15 vertices around the press point.
  v->SetMouseInteract(miSelectCircle);
  Press(v, 100, 100, mbLeft);
  Move(v, 110, 120);
  Release(v, 110, 120, mbLeft);
  ASSERT_EQ(v->PolySelCount(), 15);
  EXPECT_EQ(v->PolySelPoints()[0], Point(110, 100));
  // A flat drag makes none.
  Press(v, 100, 100, mbLeft);
  Move(v, 130, 100);
  Release(v, 130, 100, mbLeft);
  EXPECT_EQ(v->PolySelCount(), 0);
}

TEST_F(ViewTest, SelectZoomFillsTheViewWithTheBox) {
  TVistrelView* v = MakeView(200, 200);
  FillPicture(v, 400, 400);
  v->SetMouseInteract(miSelectZoom);
  EXPECT_EQ(v->MouseInteract(), miSelectZoom);
  Press(v, 10, 10, mbLeft);
  Move(v, 59, 59);
  Release(v, 59, 59, mbLeft);
  EXPECT_EQ(v->Zoom(), 400);
  EXPECT_FALSE(v->Selected());
  EXPECT_EQ(v->ViewX(), 40);
  EXPECT_EQ(v->ViewY(), 40);
}

TEST_F(ViewTest, ExtremeZoomsAndShapesPaint) {
  TVistrelView* v = MakeView(120, 90);
  v->SetScrollBars(ssBoth);
  TBitmap shot;
  for (auto [w, h] : {std::pair{1, 1}, std::pair{20000, 20}, std::pair{20, 20000}}) {
    FillPicture(v, w, h, clRed);
    for (int z : {1, 7, 100, 333, 5000}) {
      for (TResampleFilter f : {rfNone, rfLanczos3}) {
        v->SetZoomFilter(f);
        v->SetZoom(z);
        v->ScrollMessage(true, SB_BOTTOM, 0);
        v->ScrollMessage(false, SB_BOTTOM, 0);
        Grab(v, shot);
        v->SetCenter(!v->Center());
        Grab(v, shot);
      }
    }
  }
  // A selection over a huge zoom draws only what shows.
  FillPicture(v, 20000, 20, clRed);
  v->SetSelectionBase(vlsbBitmap);
  v->Select(0, 0, 19999, 19);
  for (int z : {5000, 10000000}) {
    v->SetZoom(z);
    v->ScrollMessage(true, SB_THUMBTRACK, 12345);
    Grab(v, shot);
    v->OutlineTimer()->Timer();
  }
  EXPECT_EQ(v->ViewX(), 12345);
  EXPECT_TRUE(v->Selected());
  FillPicture(v, 1, 1, clRed);
  v->SetZoom(5000);
  v->SetCenter(false);
  Grab(v, shot);
  EXPECT_EQ(PixelOf(&shot, 0, 0), clRed);
  EXPECT_EQ(PixelOf(&shot, 49, 49), clRed);
}

TEST_F(ViewTest, DragPastTheEdgeScrollsAndKeepsTheAnchor) {
  TVistrelView* v = MakeView(100, 100);
  FillPicture(v, 400, 400);
  v->SetZoomFilter(rfBell);
  v->SetMouseInteract(miSelect);
  Press(v, 50, 50, mbLeft);
  EXPECT_EQ(v->ZoomFilter(), rfNone);  // drags paint unfiltered
  Move(v, 120, 80);                    // 21 pixels right of the picture
  EXPECT_EQ(v->ViewX(), 300);
  EXPECT_EQ(v->ViewY(), 0);
  Release(v, 120, 80, mbLeft);
  EXPECT_EQ(v->ZoomFilter(), rfBell);
  // Two buttons pressed together still give the filter back.
  Press(v, 50, 50, mbLeft);
  Press(v, 50, 50, mbRight);
  Release(v, 50, 50, mbRight);
  Release(v, 50, 50, mbLeft);
  EXPECT_EQ(v->ZoomFilter(), rfBell);
  v->SetSelectionBase(vlsbBitmap);
  v->Select(50, 50, 399, 80);
  // The press point stayed where it was on the picture.
  EXPECT_EQ(v->SelX1(), 50);
  EXPECT_EQ(v->SelX2(), 399);
  EXPECT_EQ(v->SelY1(), 50);
  EXPECT_EQ(v->SelY2(), 80);
  // At a huge zoom the run to the edge is as quick.
  FillPicture(v, 20000, 20);
  v->SetZoom(10000000);
  Press(v, 50, 50, mbLeft);
  Move(v, 101, 60);
  Release(v, 101, 60, mbLeft);
  int64_t mx, my;
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(v->ViewX(), mx);
  EXPECT_GT(mx, int64_t(1000000000));
}

TEST_F(ViewTest, UpdateLockBlankAndClear) {
  TVistrelView* v = MakeView(60, 60);
  v->SetBackground(clAqua);
  FillPicture(v, 60, 60, clRed);
  TBitmap shot;
  Grab(v, shot);
  EXPECT_EQ(PixelOf(&shot, 30, 30), clRed);
  v->LockUpdate();
  v->LockUpdate();
  FillPicture(v, 60, 60, clLime);
  Grab(v, shot);
  EXPECT_EQ(PixelOf(&shot, 30, 30), clRed);  // nothing painted while locked
  EXPECT_EQ(v->UnlockUpdate(), 1);
  EXPECT_EQ(v->UnlockUpdateNoRefresh(), 0);
  EXPECT_EQ(v->UnlockUpdateNoRefresh(), 0);  // never below 0
  Grab(v, shot);
  EXPECT_EQ(PixelOf(&shot, 30, 30), clLime);
  v->Blank();
  EXPECT_EQ(v->Bitmap()->Width(), 1);
  EXPECT_EQ(PixelOf(v->Bitmap(), 0, 0), clAqua);
  v->SetZoom(3000);
  Grab(v, shot);
  EXPECT_EQ(PixelOf(&shot, 29, 29), clAqua);
  // Assigning nothing clears with the background.
  FillPicture(v, 5, 5, clRed);
  v->Assign(nullptr);
  EXPECT_EQ(PixelOf(v->Bitmap(), 4, 4), clAqua);
}

TEST_F(ViewTest, ScrollBarActionsReachTheView) {
  TVistrelView* v = MakeView(200, 150);
  FillPicture(v, 1000, 100);
  v->SetScrollBars(ssHorizontal);
  QScrollBar* bar = v->ScrollBarWidget(SB_HORZ);
  ASSERT_NE(bar, nullptr);
  ASSERT_TRUE(v->ViewScrollBarVisible(true));
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(v->ViewX(), 1);
  EXPECT_EQ(bar->value(), 1);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(v->ViewX(), 201);
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(v->ViewX(), 800);
  EXPECT_EQ(bar->maximum(), 800);
  bar->setSliderPosition(300);  // dragging the thumb
  EXPECT_EQ(v->ViewX(), 300);
  // A vertical bar is never shown for ssHorizontal.
  EXPECT_FALSE(v->ViewScrollBarVisible(false));
}
