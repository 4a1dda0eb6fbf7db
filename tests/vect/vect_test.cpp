// Vector objects over a picture: painted on screen at the zoom and burnt into the bitmap.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdlib>

#include "platform/gui/controls.h"
#include "vistrel/view/vistrelvect.h"

namespace {

constexpr TColor kRed = TColor(0x0000FF), kBlue = TColor(0xFF0000), kWhite = TColor(0xFFFFFF);

TColor Px(TBitmap* b, int x, int y) {
  const uint8_t* p = b->ScanLine(y) + 3 * x;
  return RGB(p[2], p[1], p[0]);
}

struct VectFixture : ::testing::Test {
  TForm* form = nullptr;
  TVistrelVect* view = nullptr;
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 300, 260);
    view = new TVistrelVect(form);
    view->SetParent(form);
    view->SetBorderStyle(bsNone);
    view->SetBounds(0, 0, 200, 160);
    view->SetBackground(kWhite);
    TBitmap pic;
    pic.SetPixelFormat(pf24bit);
    pic.SetSize(100, 80);
    pic.Canvas()->Brush()->SetColor(kWhite);
    pic.Canvas()->FillRect(Rect(0, 0, 100, 80));
    view->Assign(&pic);
  }
  void TearDown() override {
    form->Free();
    QCoreApplication::processEvents();
  }
  TVLVObject Obj(TVLVObjectKind kind, int x1, int y1, int x2, int y2) {
    TVLVObject o = *view->Object(VL_OBJ_TEMPLATE);
    o.Kind = kind;
    o.X1 = x1, o.Y1 = y1, o.X2 = x2, o.Y2 = y2;
    o.PenColor = kRed;
    o.PenWidth = 1;
    return o;
  }
};

TEST_F(VectFixture, TemplateDefaultsAndRootBox) {
  TVLVObject* t = view->Object(VL_OBJ_TEMPLATE);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->X2, 63);
  EXPECT_EQ(t->ShapeWidth, 10);
  EXPECT_EQ(t->ShapeHeight, 20);
  EXPECT_EQ(t->BrushStyle, bsClear);
  EXPECT_EQ(t->Flags, 15);
  ASSERT_TRUE(t->Font.has_value());
  EXPECT_STREQ(t->Font->lfFaceName, "Arial");
  EXPECT_GE(t->BitmapIndex, 0);
  // The pen takes the colour of the view's canvas font, window text, so an object put from
  // the untouched template draws black on the white picture.
  EXPECT_EQ(t->PenColor, clWindowText);
  EXPECT_EQ(t->BrushColor, kWhite);
  TVLVObject box = *t;
  box.Kind = vokBox;
  box.X1 = 10, box.Y1 = 10, box.X2 = 20, box.Y2 = 20;
  view->AddObject(VL_OBJ_ROOT, box);
  view->CopyObjectsToBack();
  EXPECT_EQ(Px(view->Bitmap(), 10, 15), TColor(0));
  EXPECT_EQ(Px(view->Bitmap(), 15, 15), kWhite);
  // The root group spans the picture after Update.
  EXPECT_EQ(view->Object(VL_OBJ_ROOT)->X2, 99);
  EXPECT_EQ(view->Object(VL_OBJ_ROOT)->Y2, 79);
}

TEST_F(VectFixture, BoxesHollowAndFilledBurntIn) {
  // Corners given reversed are ordered on add.
  int a = view->AddObject(VL_OBJ_ROOT, Obj(vokBox, 20, 20, 10, 10));
  TVLVObject filled = Obj(vokBox, 40, 10, 50, 20);
  filled.BrushStyle = bsSolid;
  filled.BrushColor = kBlue;
  int b = view->AddObject(VL_OBJ_ROOT, filled);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(view->Object(0)->X1, 10);
  EXPECT_EQ(view->Object(0)->Y2, 20);
  view->CopyObjectsToBack();
  TBitmap* bmp = view->Bitmap();
  EXPECT_EQ(Px(bmp, 10, 10), kRed);
  EXPECT_EQ(Px(bmp, 20, 20), kRed);  // the box includes its second corner
  EXPECT_EQ(Px(bmp, 15, 10), kRed);
  EXPECT_EQ(Px(bmp, 15, 15), kWhite);  // hollow
  EXPECT_EQ(Px(bmp, 21, 21), kWhite);
  EXPECT_EQ(Px(bmp, 45, 15), kBlue);  // filled
  EXPECT_EQ(Px(bmp, 40, 15), kRed);
  EXPECT_EQ(Px(bmp, 51, 15), kWhite);
  // The objects stay after burning in.
  EXPECT_EQ(view->ObjectsCount(), 2);
}

TEST_F(VectFixture, EllipseLineAndEndShapeBurntIn) {
  TVLVObject e = Obj(vokEllipse, 10, 10, 30, 30);
  e.BrushStyle = bsSolid;
  e.BrushColor = kBlue;
  view->AddObject(VL_OBJ_ROOT, e);
  view->AddObject(VL_OBJ_ROOT, Obj(vokLine, 40, 5, 60, 5));
  TVLVObject arrow = Obj(vokLine, 40, 50, 80, 50);
  arrow.EndShape = 2;
  arrow.ShapeWidth = 10;
  arrow.ShapeHeight = 10;
  arrow.BrushStyle = bsSolid;
  arrow.BrushColor = kRed;
  view->AddObject(VL_OBJ_ROOT, arrow);
  view->CopyObjectsToBack();
  TBitmap* bmp = view->Bitmap();
  EXPECT_EQ(Px(bmp, 20, 20), kBlue);
  EXPECT_EQ(Px(bmp, 10, 10), kWhite);  // corners lie outside the ellipse
  EXPECT_EQ(Px(bmp, 30, 30), kWhite);
  int redOnTop = 0;
  for (int x = 10; x <= 30; ++x) redOnTop += Px(bmp, x, 10) == kRed;
  EXPECT_GT(redOnTop, 0);
  for (int x = 40; x < 60; ++x) EXPECT_EQ(Px(bmp, x, 5), kRed) << x;
  EXPECT_EQ(Px(bmp, 60, 5), kWhite);  // the end point is not drawn
  EXPECT_EQ(Px(bmp, 39, 5), kWhite);
  // The arrow head widens behind its apex, on both sides of the line.
  EXPECT_EQ(Px(bmp, 74, 47), kRed);
  EXPECT_EQ(Px(bmp, 74, 53), kRed);
  EXPECT_EQ(Px(bmp, 60, 47), kWhite);
}

TEST_F(VectFixture, TextBurntInsideItsBox) {
  TVLVObject t = Obj(vokText, 10, 40, 70, 60);
  t.Text = "Hello";
  t.BrushStyle = bsClear;
  view->AddObject(VL_OBJ_ROOT, t);
  EXPECT_EQ(view->Object(0)->Text, "Hello");
  EXPECT_TRUE(view->Object(0)->Font.has_value());
  view->CopyObjectsToBack();
  TBitmap* bmp = view->Bitmap();
  int inside = 0, outside = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 100; ++x) {
      if (Px(bmp, x, y) == kWhite) continue;
      if (x >= 10 && x <= 70 && y >= 40 && y <= 60) ++inside;
      else ++outside;
    }
  EXPECT_GT(inside, 10);
  EXPECT_EQ(outside, 0);
}

TEST_F(VectFixture, PaintedOverThePictureAtTheZoom) {
  view->AddObject(VL_OBJ_ROOT, Obj(vokBox, 10, 10, 20, 20));
  TVLVObject thick = Obj(vokLine, 0, 70, 99, 70);
  thick.PenWidth = 2;
  view->AddObject(VL_OBJ_ROOT, thick);
  view->SetZoom(200);
  TBitmap shot;
  shot.SetPixelFormat(pf24bit);
  shot.SetSize(view->ClientWidth(), view->ClientHeight());
  view->PaintTo(shot.Canvas());
  // Screen point = bitmap point x 2 (no offset at the origin).
  EXPECT_EQ(Px(&shot, 20, 20), kRed);
  EXPECT_EQ(Px(&shot, 30, 20), kRed);
  EXPECT_EQ(Px(&shot, 30, 30), kWhite);
  // The picture itself is untouched.
  EXPECT_EQ(Px(view->Bitmap(), 10, 10), kWhite);

  // At zoom 25 a 2-pixel pen draws 1 pixel wide.
  view->SetZoom(25);
  view->SetViewXY(0, 0);
  shot.Canvas()->Brush()->SetColor(kWhite);
  shot.Canvas()->FillRect(Rect(0, 0, shot.Width(), shot.Height()));
  view->PaintTo(shot.Canvas());
  int rows = 0;
  for (int y = 0; y < 30; ++y) rows += Px(&shot, 10, y) == kRed;
  EXPECT_EQ(rows, 1);
  // Without ZoomObjectsWidth the pen keeps its 2 pixels.
  view->SetZoomObjectsWidth(false);
  view->PaintTo(shot.Canvas());
  rows = 0;
  for (int y = 0; y < 30; ++y) rows += Px(&shot, 10, y) == kRed;
  EXPECT_EQ(rows, 2);
}

TEST_F(VectFixture, InvisibleObjectsAndGroupsAreNotDrawn) {
  TVLVObject g = Obj(vokGroup, 0, 0, 99, 79);
  int group = view->AddObject(VL_OBJ_ROOT, g);
  int inner = view->AddObject(group, Obj(vokBox, 5, 5, 8, 8));
  EXPECT_EQ(view->Object(inner)->Parent, group);
  EXPECT_EQ(view->Object(group)->ChildCount(), 1);
  TVLVObject hidden = Obj(vokBox, 30, 30, 40, 40);
  hidden.Flags = 7;
  view->AddObject(VL_OBJ_ROOT, hidden);
  view->CopyObjectsToBack();
  EXPECT_EQ(Px(view->Bitmap(), 5, 5), kRed);
  EXPECT_EQ(Px(view->Bitmap(), 30, 30), kWhite);
}

TEST_F(VectFixture, ArrayGrowsInStepsAndKeepsRecords) {
  view->AddObject(VL_OBJ_ROOT, Obj(vokBox, 0, 0, 1, 1));
  EXPECT_EQ(view->ObjectArrayCapacity(), 522u);
  for (int i = 1; i < 512; ++i) view->AddObject(VL_OBJ_ROOT, Obj(vokBox, i, 0, i + 1, 1));
  EXPECT_EQ(view->ObjectArrayCapacity(), 522u);
  view->AddObject(VL_OBJ_ROOT, Obj(vokLine, 7, 8, 1, 2));
  EXPECT_EQ(view->ObjectArrayCapacity(), 1034u);
  EXPECT_EQ(view->ObjectArrayCount(), 513);
  EXPECT_EQ(view->Object(300)->X1, 300);
  // A line keeps its direction.
  EXPECT_EQ(view->Object(VL_OBJ_LAST)->X1, 7);
  EXPECT_EQ(view->Object(VL_OBJ_ROOT)->ChildCount(), 513);
  view->RemoveAllObjects();
  EXPECT_EQ(view->ObjectsCount(), 0);
  EXPECT_EQ(view->Object(0), nullptr);
}

TEST_F(VectFixture, SharedBitmapsCountReferences) {
  const int entry = view->Object(VL_OBJ_TEMPLATE)->BitmapIndex;
  ASSERT_EQ(view->BitmapListCount(), 1);
  TVLVObject b = Obj(vokBitmap, 0, 0, 9, 9);
  b.BitmapIndex = entry;
  int o1 = view->AddObject(VL_OBJ_ROOT, b);
  int o2 = view->AddObject(VL_OBJ_ROOT, b);
  EXPECT_EQ(view->BitmapListCount(), 1);
  EXPECT_EQ(view->BitmapEntry(entry)->RefCount, 3);
  EXPECT_EQ(view->Object(o1)->BitmapIndex, entry);
  // Without sharing a third object gets a copy of its own.
  view->SetShareBitmaps(false);
  int o3 = view->AddObject(VL_OBJ_ROOT, b);
  EXPECT_EQ(view->BitmapListCount(), 2);
  EXPECT_EQ(view->BitmapEntry(view->Object(o3)->BitmapIndex)->RefCount, 1);
  // Releasing to one reference frees the entry.
  view->SetObjBitmap(o3, nullptr);
  EXPECT_EQ(view->BitmapEntry(1)->Bitmap, nullptr);
  view->SetObjBitmap(o2, nullptr);
  EXPECT_EQ(view->BitmapEntry(entry)->RefCount, 2);
  view->SetShareBitmaps(true);

  // A 2 x 2 picture stretched into a 10 x 10 box.
  TBitmap two;
  two.SetPixelFormat(pf24bit);
  two.SetSize(2, 2);
  two.Canvas()->Brush()->SetColor(kBlue);
  two.Canvas()->FillRect(Rect(0, 0, 2, 2));
  view->SetObjBitmap(o1, &two);
  view->CopyObjectsToBack();
  // The second object, now without a picture, draws its placeholder over the same box.
  EXPECT_EQ(Px(view->Bitmap(), 5, 2), kBlue);
  EXPECT_EQ(Px(view->Bitmap(), 3, 8), kBlue);
  EXPECT_EQ(Px(view->Bitmap(), 4, 4), kRed);
  EXPECT_EQ(Px(view->Bitmap(), 10, 10), kWhite);

  // After RemoveAllObjects the template has no picture: new bitmap objects are placeholders.
  view->RemoveAllObjects();
  EXPECT_EQ(view->Object(VL_OBJ_TEMPLATE)->BitmapIndex, -1);
  EXPECT_EQ(view->BitmapListCount(), 0);
  TVistrelVect* v = view;
  TBitmap* bmp = v->Bitmap();
  bmp->Canvas()->Brush()->SetColor(kWhite);
  bmp->Canvas()->FillRect(Rect(0, 0, 100, 80));
  TVLVObject p = *v->Object(VL_OBJ_TEMPLATE);
  p.Kind = vokBitmap;
  p.PenColor = kRed;
  p.X1 = 20, p.Y1 = 20, p.X2 = 30, p.Y2 = 30;
  v->AddObject(VL_OBJ_ROOT, p);
  v->CopyObjectsToBack();
  EXPECT_EQ(Px(bmp, 25, 25), kRed);  // the diagonals cross in the middle
  EXPECT_EQ(Px(bmp, 20, 25), kRed);  // the frame
  EXPECT_EQ(Px(bmp, 22, 25), kWhite);
}

TEST_F(VectFixture, IndexesAreCheckedAndSelectionsFire) {
  EXPECT_EQ(view->Object(VL_OBJ_NONE), nullptr);
  EXPECT_EQ(view->Object(VL_OBJ_LAST), nullptr);
  EXPECT_EQ(view->Object(0), nullptr);
  EXPECT_EQ(view->Object(-99), nullptr);
  // Nothing happens for an index that names no object.
  view->SetObjPenColor(5, kBlue);
  view->SetObjFont(7, view->Font());
  view->SetObjBitmap(3, view->Bitmap());
  view->SetObjBitmapIndex(-7, 0);
  view->SelectObject(0);
  EXPECT_EQ(view->SelObjectCount(), 0);
  // Only groups take children.
  int box = view->AddObject(VL_OBJ_ROOT, Obj(vokBox, 1, 1, 2, 2));
  EXPECT_EQ(view->AddObject(box, Obj(vokBox, 1, 1, 2, 2)), VL_OBJ_NONE);
  EXPECT_EQ(view->AddObject(VL_OBJ_TEMPLATE, Obj(vokBox, 1, 1, 2, 2)), VL_OBJ_NONE);
  EXPECT_EQ(view->AddObject(42, Obj(vokBox, 1, 1, 2, 2)), VL_OBJ_NONE);
  EXPECT_EQ(view->ObjectsCount(), 1);

  int fired = 0;
  view->OnSelectObject = [&](TObject*) { ++fired; };
  view->AddObject(VL_OBJ_ROOT, Obj(vokBox, 3, 3, 4, 4));
  view->SelectObject(VL_OBJ_LAST);
  view->SelectObject(0);
  EXPECT_TRUE(view->IsSelected(1));
  EXPECT_TRUE(view->IsSelected(0));
  EXPECT_EQ(view->SelObjectCount(), 2);
  view->UnSelectObject(1);
  EXPECT_FALSE(view->IsSelected(1));
  view->UnSelAllObjects();
  EXPECT_EQ(view->SelObjectCount(), 0);
  EXPECT_EQ(fired, 4);

  // Pen and font setters of objects; the template takes the font's colour as its pen colour.
  TFont f;
  f.SetName("Sans");
  f.SetHeight(-20);
  f.SetStyle(fsBold | fsItalic);
  f.SetColor(kBlue);
  view->SetObjFont(VL_OBJ_TEMPLATE, &f);
  const TVLVObject* t = view->Object(VL_OBJ_TEMPLATE);
  EXPECT_EQ(t->PenColor, kBlue);
  EXPECT_EQ(t->Font->lfHeight, -20);
  EXPECT_EQ(t->Font->lfWeight, 700);
  EXPECT_EQ(t->Font->lfItalic, 1);
}

TEST_F(VectFixture, ModesAndUnits) {
  view->SetMouseInteractVt(mivPutBox);
  EXPECT_EQ(view->MouseInteractVt(), mivPutBox);
  EXPECT_EQ(view->MouseInteract(), 0);
  // A selection tool of the view switches the put mode off.
  view->SetMouseInteract(miSelect);
  EXPECT_EQ(view->MouseInteractVt(), 0);
  view->SetMouseInteractVt(mivMeasureArea);
  view->SetMouseInteract(miSelect);
  EXPECT_EQ(view->MouseInteractVt(), mivMeasureArea);

  view->SetDpi(100, 200);
  view->SetMUnit(vluINCHES);
  EXPECT_DOUBLE_EQ(view->UnitScaleX(), 0.01);
  EXPECT_DOUBLE_EQ(view->UnitScaleY(), 0.005);
  view->SetMUnit(vluMILLIMETERS);
  EXPECT_DOUBLE_EQ(view->UnitScaleX(), 0.254);
  view->SetMUnit(vluPIXELS);
  EXPECT_DOUBLE_EQ(view->UnitScaleY(), 1.0);
}

TEST_F(VectFixture, GripsOfSelectedObjectsInvertEightByEightSquares) {
  view->AddObject(VL_OBJ_ROOT, Obj(vokBox, 20, 20, 40, 30));
  view->AddObject(VL_OBJ_ROOT, Obj(vokLine, 60, 10, 80, 10));
  view->SelectObject(0);
  view->SelectObject(1);
  TBitmap shot;
  shot.SetPixelFormat(pf24bit);
  shot.SetSize(view->ClientWidth(), view->ClientHeight());
  view->PaintTo(shot.Canvas());
  const TColor kBlack = TColor(0);
  // The square at the first corner covers -4 .. +3 around it.
  EXPECT_EQ(Px(&shot, 16, 16), kBlack);
  EXPECT_EQ(Px(&shot, 23, 16), kBlack);
  EXPECT_EQ(Px(&shot, 16, 23), kBlack);
  EXPECT_EQ(Px(&shot, 24, 16), kWhite);
  EXPECT_EQ(Px(&shot, 16, 24), kWhite);
  EXPECT_EQ(Px(&shot, 18, 18), kWhite);  // an outline only
  // Boxes have squares at all four corners.
  EXPECT_EQ(Px(&shot, 43, 16), kBlack);
  EXPECT_EQ(Px(&shot, 44, 16), kWhite);
  EXPECT_EQ(Px(&shot, 16, 33), kBlack);
  // The centre diamond: (x2 - x1 + 1) div 2 from the first corner, radius 4.
  EXPECT_EQ(Px(&shot, 30, 21), kBlack);
  EXPECT_EQ(Px(&shot, 34, 25), kBlack);
  // A line has squares at its two ends only.
  EXPECT_EQ(Px(&shot, 56, 6), kBlack);
  EXPECT_EQ(Px(&shot, 76, 6), kBlack);
  EXPECT_EQ(Px(&shot, 56, 13), kBlack);
  EXPECT_EQ(Px(&shot, 76, 13), kBlack);
}

TEST_F(VectFixture, ArcRunsFromItsStartAngleToItsEndAngle) {
  // Start at angle 0 (the right end), end at a quarter turn (the bottom): counter-clockwise
  // on the screen passes the top and the left of the box, not the bottom right.
  TVLVObject a = Obj(vokArc, 10, 10, 50, 50);
  a.StartAngle = 0;
  a.EndAngle = 1.5707963267948966;
  view->AddObject(VL_OBJ_ROOT, a);
  view->CopyObjectsToBack();
  TBitmap* bmp = view->Bitmap();
  auto inkNear = [&](int cx, int cy) {
    int n = 0;
    for (int y = cy - 2; y <= cy + 2; ++y)
      for (int x = cx - 2; x <= cx + 2; ++x) n += Px(bmp, x, y) == kRed;
    return n;
  };
  EXPECT_GT(inkNear(30, 10), 0);  // top
  EXPECT_GT(inkNear(10, 30), 0);  // left
  EXPECT_EQ(inkNear(44, 44), 0);  // bottom right stays open
}

TEST_F(VectFixture, TextAlignmentPlacesTheTextInItsBox) {
  auto inkSpan = [&](uint8_t align, int& minX, int& maxX) {
    TBitmap* bmp = view->Bitmap();
    bmp->Canvas()->Brush()->SetColor(kWhite);
    bmp->Canvas()->FillRect(Rect(0, 0, 100, 80));
    view->RemoveAllObjects();
    TVLVObject t = Obj(vokText, 5, 20, 94, 44);
    t.Text = "Ab";
    t.TextAlign = align;
    view->AddObject(VL_OBJ_ROOT, t);
    view->CopyObjectsToBack();
    minX = 1000, maxX = -1;
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 100; ++x)
        if (Px(bmp, x, y) != kWhite) minX = std::min(minX, x), maxX = std::max(maxX, x);
  };
  int l0, r0, l1, r1, l2, r2;
  inkSpan(0, l0, r0);
  inkSpan(1, l1, r1);
  inkSpan(2, l2, r2);
  ASSERT_GE(r0, l0);
  EXPECT_LE(l0, 8);   // left: at the box's left edge
  EXPECT_GE(r1, 90);  // right: ends at the box's right edge
  EXPECT_LE(r1, 94);
  // Centred: the same margin on both sides, within a pixel or two.
  EXPECT_LE(std::abs((l2 - 5) - (94 - r2)), 3);
  EXPECT_EQ(r0 - l0, r1 - l1);
}

TEST_F(VectFixture, OneBitPicturesAreDrawnBlackAndWhite) {
  // A 1-bit picture whose palette says red and blue: the object's copy draws bit 0 black, bit 1 white.
  TBitmap mono;
  mono.SetPixelFormat(pf1bit);
  mono.SetSize(2, 1);
  mono.SetPalette({TRGBQuad{0, 0, 255, 0}, TRGBQuad{255, 0, 0, 0}});
  mono.ScanLine(0)[0] = 0x40;  // pixel 0 is 0, pixel 1 is 1
  TBitmap* bmp = view->Bitmap();
  bmp->Canvas()->Brush()->SetColor(kRed);
  bmp->Canvas()->FillRect(Rect(0, 0, 100, 80));
  TVLVObject o = Obj(vokBitmap, 10, 10, 29, 19);
  o.BitmapIndex = -1;
  const int i = view->AddObject(VL_OBJ_ROOT, o);
  view->SetObjBitmap(i, &mono);
  view->CopyObjectsToBack();
  EXPECT_EQ(Px(bmp, 12, 15), TColor(0));
  EXPECT_EQ(Px(bmp, 27, 15), kWhite);
  EXPECT_EQ(Px(bmp, 30, 15), kRed);
}

TEST_F(VectFixture, GripsOfAnObjectSpanningTheIntegerRangeCentreOnScreen) {
  // On screen the box runs from -2^30 to 2^30 - 1: 2^31 pixels, its middle at 0, 0.
  view->AddObject(VL_OBJ_ROOT, Obj(vokBox, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX));
  view->SelectObject(0);
  TBitmap shot;
  shot.SetPixelFormat(pf24bit);
  shot.SetSize(view->ClientWidth(), view->ClientHeight());
  view->PaintTo(shot.Canvas());
  const TColor kBlack = TColor(0);
  EXPECT_EQ(Px(&shot, 4, 0), kBlack);  // the centre diamond
  EXPECT_EQ(Px(&shot, 2, 2), kBlack);
  EXPECT_EQ(Px(&shot, 0, 4), kBlack);
  EXPECT_EQ(Px(&shot, 5, 5), kWhite);
  EXPECT_EQ(view->ObjectGripAt(1, 1), 3);
  EXPECT_EQ(view->ObjectGripAt(50, 50), 0);
}

TEST_F(VectFixture, ObjectsReachingTheIntegerLimitsBurnInWithoutWrapping) {
  // A box whose far corners lie at the limits covers the rest of the picture from (50, 40).
  TVLVObject big = Obj(vokBox, 50, 40, INT32_MAX, INT32_MAX);
  big.BrushStyle = bsSolid;
  big.BrushColor = kBlue;
  view->AddObject(VL_OBJ_ROOT, big);
  view->AddObject(VL_OBJ_ROOT, Obj(vokEllipse, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX));
  view->CopyObjectsToBack();
  EXPECT_EQ(Px(view->Bitmap(), 70, 60), kBlue);
  EXPECT_EQ(Px(view->Bitmap(), 49, 39), kWhite);
  view->SetZoom(1600);
  TBitmap shot;
  shot.SetPixelFormat(pf24bit);
  shot.SetSize(view->ClientWidth(), view->ClientHeight());
  view->PaintTo(shot.Canvas());
}

}  // namespace
