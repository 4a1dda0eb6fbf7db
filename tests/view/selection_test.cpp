// Selections built vertex by vertex: grips, bounding boxes, empty rectangles and snapping.
#include <gtest/gtest.h>

#include "tests/view/view_fixture.h"

using namespace viewtest;

TEST_F(ViewTest, PolygonsThatAreRectanglesGetGrips) {
  TVistrelView* v = MakeView(200, 200);
  FillPicture(v, 200, 200);
  v->SetSelectionBase(vlsbBitmap);
  // One vertex: the box keeps what it had (nothing yet); two order their corners.
  v->AddSelPoint(50, 40);
  v->AddSelPoint(10, 40);
  EXPECT_EQ(v->SelX1(), 10);
  EXPECT_EQ(v->SelX2(), 50);
  v->AddSelPoint(10, 90);
  v->AddSelPoint(50, 90);
  ASSERT_EQ(v->PolySelCount(), 4);
  EXPECT_EQ(v->SelY1(), 40);
  EXPECT_EQ(v->SelY2(), 90);
  // Drawn in another order than Select's, it is still an axis-aligned rectangle.
  EXPECT_EQ(v->GripAt(50, 40), 0);
  EXPECT_EQ(v->GripAt(11, 89), 2);
  EXPECT_EQ(v->GripAt(31, 92), 7);
  TBitmap shot;
  Grab(v, shot, false);                        // as the last vertex drew it
  EXPECT_EQ(PixelOf(&shot, 47, 37), clBlack);  // grip border round the first vertex
  EXPECT_EQ(PixelOf(&shot, 48, 38), clWhite);  // grip fill
  // A hidden outline has no grips.
  v->HideSelection(true);
  EXPECT_EQ(v->GripAt(50, 40), -1);
  // A fifth vertex makes it a plain polygon: no grips.
  v->AddSelPoint(30, 120);
  EXPECT_EQ(v->GripAt(50, 40), -1);
  EXPECT_EQ(v->SelY2(), 120);
  // An empty rectangle leaves the selection as it was.
  v->Select(5, 5, 5, 60);
  v->Select(5, 5, 60, 5);
  EXPECT_EQ(v->PolySelCount(), 5);
  EXPECT_TRUE(v->Selected());
  v->DeSelect();
  EXPECT_FALSE(v->Selected());
  EXPECT_EQ(v->PolySelCount(), 0);
}

TEST_F(ViewTest, CtrlSnapsPolygonEdgesByMouse) {
  TVistrelView* v = MakeView(200, 200);
  FillPicture(v, 200, 200);
  v->SetMouseInteract(miSelectPolygon);
  Click(v, 10, 10, mbLeft);
  // 40 across, 25 down: within 30 of each other, so 45 degrees (down 40).
  Click(v, 50, 35, mbLeft, ssCtrl);
  ASSERT_EQ(v->PolySelCount(), 2);
  EXPECT_EQ(v->PolySelPoints()[1], Point(50, 50));
  // 5 across, 60 up: vertical.
  Click(v, 55, 110, mbLeft, ssCtrl);
  EXPECT_EQ(v->PolySelPoints()[2], Point(50, 110));
  // Without Ctrl the point is taken as it is.
  Click(v, 77, 133, mbLeft);
  EXPECT_EQ(v->PolySelPoints()[3], Point(77, 133));
  // Hovering with Ctrl snaps the rubber line's end the same way.
  Move(v, 120, 140, ssCtrl);
  DoubleClick(v, 120, 140);
  EXPECT_FALSE(v->PolygonInProgress());
  EXPECT_EQ(v->PolySelCount(), 4);
}
