// The viewer build's view and processing component: selections held in client pixels of the
// zoomed picture, the older mouse handling, 10-pixel pages, its undo rules and 1-bit expansion.
#include <gtest/gtest.h>

#include <vector>

#include "corvelo/library/vistrelproc.h"
#include "corvelo/library/vistrelview.h"
#include "view/view_fixture.h"
#include "vistrel/proc/kernels/pixels.h"

namespace lib = corvelo::lib;
using namespace viewtest;

namespace {

class VariantsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 600, 500);
  }
  void TearDown() override { FreeAndNil(form); }
  lib::TVistrelView* MakeView(int w, int h) {
    auto* v = new lib::TVistrelView(form);
    v->SetParent(form);
    v->SetBorderStyle(bsNone);
    v->SetBounds(0, 0, w, h);
    v->Update();
    return v;
  }
  TForm* form = nullptr;
};

// A picture whose pixels tell their position.
void Gradient(lib::TVistrelView* v, int w, int h) {
  TBitmap* b = v->Bitmap();
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b->ScanLine(y) + 3 * x;
      p[0] = uint8_t(x);
      p[1] = uint8_t(y);
      p[2] = 7;
    }
  v->Update();
}

TEST_F(VariantsTest, ZoomRescalesTheStoredVerticesAndKeepsTheBitmapBox) {
  lib::TVistrelView* v = MakeView(200, 150);
  Gradient(v, 300, 200);
  EXPECT_TRUE(v->AnimatedSel());
  v->SetSelectionBase(vlsbBitmap);
  v->Select(10, 20, 41, 63);
  ASSERT_EQ(v->PolySelCount(), 4);
  EXPECT_EQ(v->PolySelPoints()[2], Point(41, 63));
  v->SetZoom(200);
  EXPECT_EQ(v->PolySelPoints()[0], Point(20, 40));
  EXPECT_EQ(v->PolySelPoints()[2], Point(82, 126));
  EXPECT_EQ(v->SelX1(), 10);
  EXPECT_EQ(v->SelY1(), 20);
  EXPECT_EQ(v->SelX2(), 41);
  EXPECT_EQ(v->SelY2(), 63);
  // The editor's copy sees the box in bitmap pixels.
  TBitmap copy;
  v->CopySelectionTo(&copy);
  ASSERT_EQ(copy.Width(), 32);
  ASSERT_EQ(copy.Height(), 44);
  EXPECT_EQ(copy.ScanLine(0)[0], 10);
  EXPECT_EQ(copy.ScanLine(0)[1], 20);

  // Client coordinates of a scrolled view are stored with the origin taken out, and the outline
  // is drawn where they were given.
  v->SetViewXY(50, 30);
  v->SetSelectionBase(vlsbClientArea);
  v->Select(5, 5, 25, 45);
  EXPECT_EQ(v->PolySelPoints()[0], Point(55, 35));
  EXPECT_EQ(v->SelX1(), v->XScr2Bmp(5));
  EXPECT_EQ(v->SelY2(), v->YScr2Bmp(45));
  TBitmap shot;
  Grab(v, shot, false);
  EXPECT_EQ(PixelOf(&shot, 12, 5), clBlack);  // the top edge's dots: 3 black, 3 white
  EXPECT_EQ(PixelOf(&shot, 14, 5), clWhite);
  EXPECT_EQ(PixelOf(&shot, 25, 21), clBlack);  // the right edge goes on counting
  EXPECT_EQ(PixelOf(&shot, 25, 24), clWhite);
}

TEST_F(VariantsTest, MouseDrawsNewRectanglesWithoutGripsOrMoves) {
  lib::TVistrelView* v = MakeView(200, 150);
  Gradient(v, 300, 200);
  v->SetZoom(200);
  v->SetMouseInteract(miSelect);
  Press(v, 20, 20, mbLeft);
  Move(v, 60, 50);
  Release(v, 60, 50, mbLeft);
  EXPECT_EQ(v->PolySelPoints()[2], Point(60, 50));
  EXPECT_EQ(v->SelX1(), 10);
  EXPECT_EQ(v->SelY2(), 25);
  // A press inside the selection or on its corner starts a new rectangle.
  Press(v, 40, 40, mbLeft);
  Move(v, 44, 47);
  Release(v, 44, 47, mbLeft);
  EXPECT_EQ(v->PolySelPoints()[0], Point(40, 40));
  EXPECT_EQ(v->PolySelPoints()[2], Point(44, 47));
  Press(v, 44, 47, mbLeft);
  Move(v, 90, 80);
  Release(v, 90, 80, mbLeft);
  EXPECT_EQ(v->PolySelPoints()[0], Point(44, 47));
  EXPECT_EQ(v->PolySelPoints()[2], Point(90, 80));
}

TEST_F(VariantsTest, PagesScrollTenPixels) {
  lib::TVistrelView* v = MakeView(100, 80);
  Gradient(v, 400, 300);
  v->WMVScroll(SB_PAGEDOWN, 0);
  EXPECT_EQ(v->ViewY(), 10);
  v->WMHScroll(SB_PAGERIGHT, 0);
  v->WMHScroll(SB_PAGERIGHT, 0);
  EXPECT_EQ(v->ViewX(), 20);
  v->WMHScroll(SB_PAGELEFT, 0);
  EXPECT_EQ(v->ViewX(), 10);
  v->WMVScroll(SB_LINEDOWN, 0);
  EXPECT_EQ(v->ViewY(), 11);
  v->WMVScroll(SB_BOTTOM, 0);
  EXPECT_EQ(v->ViewY(), 220);
  v->WMVScroll(SB_PAGEDOWN, 0);
  EXPECT_EQ(v->ViewY(), 220);
}

TEST_F(VariantsTest, UndoNeedsATwoByTwoCopyAndSaveUndoAlwaysClears) {
  lib::TVistrelView* v = MakeView(100, 80);
  auto* proc = new lib::TVistrelProc(form);
  EXPECT_TRUE(proc->AutoUndo());
  EXPECT_EQ(proc->MsgLanguage(), lib::msEnglish);
  proc->SetAttachedVistrel(v);
  Gradient(v, 1, 1);
  proc->SaveUndo();
  v->Bitmap()->ScanLine(0)[2] = 200;
  proc->Undo();
  EXPECT_EQ(v->Bitmap()->ScanLine(0)[2], 200);

  Gradient(v, 2, 2);
  proc->SaveUndo();
  v->Bitmap()->ScanLine(1)[5] = 200;
  proc->Undo();
  EXPECT_EQ(v->Bitmap()->ScanLine(1)[5], 7);
  // Without a bitmap the copy is still cleared.
  proc->SetAttachedVistrel(nullptr);
  proc->SaveUndo();
  EXPECT_FALSE(proc->CanUndo());
}

TEST(ViewerExpand, OneBitRowsOfThirteenPixels) {
  TBitmap src, dst;
  src.SetPixelFormat(pf1bit);
  src.SetSize(13, 92);
  for (int y = 0; y < 92; ++y) {
    uint8_t* row = src.ScanLine(y);
    row[0] = uint8_t(y * 37 + 11);
    row[1] = uint8_t(y * 53 + 0x07);  // padding bits set as well
  }
  std::vector<int> seen;
  lib::VLExpand1BitTo24Bit(&src, &dst, [&](TObject*, int p) { seen.push_back(p); });
  ASSERT_EQ(dst.PixelFormat(), pf24bit);
  ASSERT_EQ(dst.Width(), 13);
  ASSERT_EQ(dst.Height(), 92);
  for (int y = 0; y < 92; ++y)
    for (int x = 0; x < 13; ++x) {
      const uint8_t want = VLGetBit(src.ScanLine(y), x) ? 255 : 0;
      const uint8_t* p = dst.ScanLine(y) + 3 * x;
      ASSERT_TRUE(p[0] == want && p[1] == want && p[2] == want) << x << "," << y;
    }
  // trunc(100 / 92.5 x n): 39 after row 37 (n x 100 / 92.5 would give 40).
  ASSERT_EQ(seen.size(), 92u);
  EXPECT_EQ(seen[36], 39);
  EXPECT_EQ(seen.back(), 99);
}

}  // namespace
