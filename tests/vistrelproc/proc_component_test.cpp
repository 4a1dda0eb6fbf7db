// The processing component: attachment, the area rule, undo, progress, refresh and the
// frame around the kernels.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "vistrel/proc/kernels/color.h"
#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/vistrelproc.h"
#include "vistrel/view/vistrelview.h"

namespace {

// A picture where every pixel differs from its neighbours.
void Pattern(TBitmap* b, int w, int h, int seed = 1) {
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  uint32_t s = uint32_t(seed) * 2654435761u + 12345;
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < w * 3; ++x) {
      s = s * 1103515245u + 12345u;
      p[x] = uint8_t(s >> 16);
    }
  }
}

bool SamePixel(TBitmap* a, TBitmap* b, int x, int y) {
  const uint8_t* p = a->ScanLine(y) + 3 * x;
  const uint8_t* q = b->ScanLine(y) + 3 * x;
  return p[0] == q[0] && p[1] == q[1] && p[2] == q[2];
}

class ProcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 300);
    view = new TVistrelView(form);
    view->SetParent(form);
    view->SetBounds(0, 0, 200, 200);
    view->SetSelectionBase(vlsbBitmap);
    Pattern(view->Bitmap(), 40, 30);
    view->Update();
    proc = new TVistrelProc(form);
    proc->SetAttachedVistrel(view);
  }
  void TearDown() override { FreeAndNil(form); }

  // A copy of the view's picture.
  std::unique_ptr<TBitmap> Snapshot() {
    auto b = std::make_unique<TBitmap>();
    VLCopyBitmap(view->Bitmap(), b.get());
    return b;
  }

  TForm* form = nullptr;
  TVistrelView* view = nullptr;
  TVistrelProc* proc = nullptr;
};

}  // namespace

TEST_F(ProcTest, UndoRestoresTheExactPicture) {
  auto before = Snapshot();
  EXPECT_FALSE(proc->CanUndo());
  proc->Rotate(30, true);
  EXPECT_NE(view->Bitmap()->Width(), 40);
  ASSERT_TRUE(proc->CanUndo());
  proc->Undo();
  EXPECT_TRUE(VLSameBitmap(view->Bitmap(), before.get()));
  // A second undo gives the same state again; there is no redo.
  proc->Flip(0);
  proc->Undo();
  proc->Undo();
  EXPECT_TRUE(VLSameBitmap(view->Bitmap(), before.get()));

  // Without AutoUndo the copy stays as the last SaveUndo left it.
  proc->SetAutoUndo(false);
  proc->SaveUndo();
  proc->Negative();
  proc->ConvertToGray();
  proc->Undo();
  EXPECT_TRUE(VLSameBitmap(view->Bitmap(), before.get()));

  // A format change goes back too, colour table included.
  proc->SetAutoUndo(true);
  proc->ConvertToBWThreshold(128);
  ASSERT_EQ(view->Bitmap()->PixelFormat(), pf1bit);
  std::vector<TRGBQuad> pal = {TRGBQuad{0, 0, 255, 0}, TRGBQuad{255, 255, 0, 0}};
  view->Bitmap()->SetPalette(pal);
  auto bw = Snapshot();
  proc->ConvertToTrueColor();
  ASSERT_EQ(view->Bitmap()->PixelFormat(), pf24bit);
  proc->Undo();
  ASSERT_EQ(view->Bitmap()->PixelFormat(), pf1bit);
  EXPECT_TRUE(VLSameBitmap(view->Bitmap(), bw.get()));
  EXPECT_EQ(view->Bitmap()->Palette().size(), 2u);
  EXPECT_EQ(view->Bitmap()->Palette()[0].R, 255);

  proc->ClearUndo();
  EXPECT_FALSE(proc->CanUndo());
  proc->Undo();  // nothing to give back
  EXPECT_EQ(view->Bitmap()->PixelFormat(), pf1bit);

  // A picture one pixel wide can never be undone.
  Pattern(view->Bitmap(), 1, 20);
  proc->Negative();
  EXPECT_FALSE(proc->CanUndo());
}

TEST_F(ProcTest, RectangleSelectionChangesItsInclusiveBox) {
  auto before = Snapshot();
  view->Select(5, 5, 14, 14);
  proc->ConvertToGray();
  TBitmap* b = view->Bitmap();
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool inside = x >= 5 && x <= 14 && y >= 5 && y <= 14;
      const uint8_t* p = b->ScanLine(y) + 3 * x;
      const uint8_t* o = before->ScanLine(y) + 3 * x;
      if (inside) {
        const int lum = VLLuminance(o[2], o[1], o[0]);
        EXPECT_TRUE(p[0] == lum && p[1] == lum && p[2] == lum) << x << "," << y;
      } else {
        EXPECT_TRUE(SamePixel(b, before.get(), x, y)) << x << "," << y;
      }
    }

  // Reaching beyond the picture: the kernel stops at the last column and row.
  proc->Undo();
  view->Select(35, 25, 60, 50);
  proc->Negative();
  EXPECT_EQ(b->ScanLine(29)[3 * 39], 255 - before->ScanLine(29)[3 * 39]);
  EXPECT_EQ(b->ScanLine(25)[3 * 35], 255 - before->ScanLine(25)[3 * 35]);
  EXPECT_TRUE(SamePixel(b, before.get(), 34, 25));
  EXPECT_TRUE(SamePixel(b, before.get(), 35, 24));

  // Partly left of and above the picture: only the part inside, not the whole picture.
  proc->Undo();
  view->Select(-10, -10, 3, 2);
  proc->Negative();
  EXPECT_EQ(b->ScanLine(2)[3 * 3], 255 - before->ScanLine(2)[3 * 3]);
  EXPECT_TRUE(SamePixel(b, before.get(), 4, 0));
  EXPECT_TRUE(SamePixel(b, before.get(), 0, 3));

  // Wholly outside: nothing, and the undo copy is left alone.
  proc->Undo();
  proc->SaveUndo();
  Pattern(b, 40, 30, 7);
  auto other = Snapshot();
  view->Select(50, 50, 60, 60);
  proc->ConvertToGray();
  EXPECT_TRUE(VLSameBitmap(b, other.get()));
  proc->Undo();
  EXPECT_TRUE(VLSameBitmap(b, before.get()));
}

TEST_F(ProcTest, PolygonSelectionChangesOnlyItsInside) {
  auto before = Snapshot();
  TBitmap* b = view->Bitmap();
  // A triangle with its right angle at (4, 4).
  view->AddSelPoint(4, 4);
  view->AddSelPoint(24, 4);
  view->AddSelPoint(4, 24);
  ASSERT_TRUE(view->Selected());
  TVLHistogram whole{};
  proc->Negative();
  int changed = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool same = SamePixel(b, before.get(), x, y);
      if (x < 4 || x > 24 || y < 4 || y > 24) {
        EXPECT_TRUE(same) << x << "," << y;  // outside the box
      }
      if (!same) {
        ++changed;
        const uint8_t* p = b->ScanLine(y) + 3 * x;
        const uint8_t* o = before->ScanLine(y) + 3 * x;
        EXPECT_TRUE(p[0] == 255 - o[0] && p[1] == 255 - o[1] && p[2] == 255 - o[2]);
      }
    }
  // Deep inside changed, the far corner of the box and beyond the hypotenuse not.
  EXPECT_FALSE(SamePixel(b, before.get(), 6, 6));
  EXPECT_FALSE(SamePixel(b, before.get(), 12, 10));
  EXPECT_TRUE(SamePixel(b, before.get(), 24, 24));
  EXPECT_TRUE(SamePixel(b, before.get(), 20, 20));
  EXPECT_GT(changed, 150);
  EXPECT_LT(changed, 260);

  // The measuring operations read the polygon's box.
  proc->Undo();
  proc->GetHistogram(whole);
  TVLHistogram box{};
  VLCalcHistogram(b, box, 4, 4, 24, 24);
  EXPECT_EQ(whole, box);
  EXPECT_EQ(proc->CalcColorCount(), VLCountColors(b, 4, 4, 24, 24));

  // A 1-bit picture through the same polygon.
  proc->ConvertToBWThreshold(0);  // all white
  ASSERT_EQ(b->PixelFormat(), pf1bit);
  proc->Negative();
  EXPECT_EQ(VLGetBit(b->ScanLine(6), 6), 0);
  EXPECT_NE(VLGetBit(b->ScanLine(20), 20), 0);
  EXPECT_NE(VLGetBit(b->ScanLine(2), 6), 0);
  EXPECT_EQ(proc->CalcColorCount(), 2);
}

TEST_F(ProcTest, OperationsGiveTheKernelsPixels) {
  TBitmap* b = view->Bitmap();
  view->SetBackground(clYellow);
  auto ref = Snapshot();
  proc->Rotate(30, true);
  VLRotateBitmap(ref.get(), 30, true, clYellow);
  EXPECT_TRUE(VLSameBitmap(b, ref.get()));

  proc->Undo();
  VLCopyBitmap(b, ref.get());
  proc->Flip(1);
  VLFlip(ref.get(), 1);
  EXPECT_TRUE(VLSameBitmap(b, ref.get()));

  const int w = b->Width();
  proc->ResizeCanvas(w + 3, 10);
  EXPECT_EQ(b->Width(), w + 3);
  EXPECT_EQ(b->Height(), 10);
  const uint8_t* p = b->ScanLine(5) + 3 * (w + 1);
  EXPECT_TRUE(p[0] == 0 && p[1] == 255 && p[2] == 255);  // yellow
  EXPECT_TRUE(SamePixel(b, ref.get(), 0, 0));

  Pattern(b, 30, 20, 3);
  VLCopyBitmap(b, ref.get());
  TRGB pal[16];
  TRGB refPal[16];
  proc->ReduceColorsToPalette(16, pal);
  VLQuantize(ref.get(), 16, refPal);
  EXPECT_TRUE(VLSameBitmap(b, ref.get()));
  EXPECT_EQ(0, std::memcmp(pal, refPal, sizeof pal));

  proc->Undo();
  VLCopyBitmap(b, ref.get());
  proc->ReduceColors(1);  // two colours or fewer: dithered to 1 bit
  VLDitherOrderedTo1Bit(ref.get());
  EXPECT_EQ(b->PixelFormat(), pf1bit);
  EXPECT_TRUE(VLSameBitmap(b, ref.get()));
  // The same with a palette of one entry: dithered, and the entry black.
  proc->Undo();
  TRGB single[2] = {TRGB{1, 2, 3}, TRGB{4, 5, 6}};
  proc->ReduceColorsToPalette(1, single);
  EXPECT_TRUE(VLSameBitmap(b, ref.get()));
  EXPECT_EQ(single[0], (TRGB{0, 0, 0}));
  EXPECT_EQ(single[1], (TRGB{4, 5, 6}));

  proc->Undo();
  TBitmap merged, graphic;
  Pattern(&graphic, 7, 5, 9);
  VLCopyBitmap(b, &merged);
  proc->Merge(&graphic, 30);
  VLMergeRect(&merged, &graphic, 30, 0, 0, 29, 19);
  EXPECT_TRUE(VLSameBitmap(b, &merged));
}

TEST_F(ProcTest, ProgressSequences) {
  std::vector<int> seen;
  TObject* sender = nullptr;
  proc->OnProgress = [&](TObject* s, int per) {
    sender = s;
    seen.push_back(per);
  };
  Pattern(view->Bitmap(), 40, 1);  // one row
  view->Update();
  proc->ConvertToGray();
  EXPECT_EQ(seen, std::vector<int>{66});
  EXPECT_EQ(sender, proc);

  Pattern(view->Bitmap(), 5, 200);
  view->Update();
  view->DeSelect();
  seen.clear();
  proc->Negative();
  ASSERT_EQ(seen.size(), 200u);
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen[99], 49);  // trunc(100 x 100 / 200.5)
  EXPECT_EQ(seen.back(), 99);

  // Whole-bitmap operations count rows from one over height + 0.5.
  seen.clear();
  proc->ConvertToBWOrdered();
  ASSERT_EQ(seen.size(), 200u);
  EXPECT_EQ(seen[0], 0);
  EXPECT_EQ(seen.back(), 99);
  // The 1-bit negative reports nothing.
  seen.clear();
  proc->Negative();
  EXPECT_TRUE(seen.empty());
}

TEST_F(ProcTest, NothingAttachedOrWrongFormatDoesNothing) {
  TVistrelProc bare(nullptr);
  bool called = false;
  bare.OnProgress = [&](TObject*, int) { called = true; };
  bare.ConvertToGray();
  bare.Negative();
  bare.Rotate(90, false);
  bare.Flip(0);
  bare.Resample(10, 10, rfTriangle);
  bare.ResizeCanvas(5, 5);
  bare.ReduceColors(8);
  bare.ConvertToBWOrdered();
  bare.ConvertToTrueColor();
  bare.Undo();
  bare.SaveUndo();
  TVLHistogram hist;
  hist[3].Red = 9;
  bare.GetHistogram(hist);
  EXPECT_EQ(hist[3].Red, 0u);
  EXPECT_EQ(bare.CalcColorCount(), 0);
  EXPECT_FALSE(bare.CanUndo());
  EXPECT_FALSE(called);
  bare.RefreshTarget();

  // A picture in a format an operation does not handle: no effect, undo untouched.
  TBitmap pic;
  Pattern(&pic, 12, 8);
  bare.SetAttachedBitmap(&pic);
  bare.SaveUndo();
  TBitmap saved;
  VLCopyBitmap(&pic, &saved);
  pic.SetPixelFormat(pf8bit);
  TBitmap eight;
  VLCopyBitmap(&pic, &eight);
  bare.ConvertToGray();
  bare.Negative();
  bare.Rotate(45, true);
  bare.Flip(0);
  bare.ConvertToBWThreshold(-1);
  bare.ConvertToTrueColor();
  bare.Merge(&saved, 50);
  TRGB pal[4];
  bare.ReduceColorsToPalette(4, pal);
  EXPECT_EQ(bare.CalcColorCount(), 0);
  EXPECT_FALSE(called);
  EXPECT_EQ(pic.PixelFormat(), pf8bit);
  EXPECT_TRUE(VLSameBitmap(&pic, &eight));
  bare.Undo();
  EXPECT_EQ(pic.PixelFormat(), pf24bit);
  EXPECT_TRUE(VLSameBitmap(&pic, &saved));

  // A 1-bit operation on a 24-bit picture leaves the 1-bit undo copy alone.
  pic.SetPixelFormat(pf1bit);
  bare.SaveUndo();
  pic.SetPixelFormat(pf24bit);
  VLCopyBitmap(&pic, &eight);
  bare.ConvertToTrueColor();
  EXPECT_TRUE(VLSameBitmap(&pic, &eight));
  EXPECT_EQ(bare.UndoBitmap()->PixelFormat(), pf1bit);

  // ResizeCanvas with a zero side does nothing, not even the undo copy.
  bare.ClearUndo();
  bare.ResizeCanvas(0, 10);
  EXPECT_FALSE(bare.CanUndo());
  EXPECT_EQ(pic.Width(), 12);
  // Resample saves the undo copy even when both sides are negative.
  bare.Resample(-1, -1, rfNone);
  EXPECT_TRUE(bare.CanUndo());
  EXPECT_EQ(pic.Width(), 12);
}

TEST_F(ProcTest, AttachmentAndDetachment) {
  EXPECT_EQ(view->BitmapChangeEventCount(), 1);
  EXPECT_EQ(proc->AttachedBitmap(), view->Bitmap());
  // Background reads and writes the view's.
  proc->SetBackground(clRed);
  EXPECT_EQ(view->Background(), clRed);
  EXPECT_EQ(proc->Background(), clRed);

  // Refresh reaches the view's image-change event.
  int changes = 0;
  view->OnImageChange = [&](TObject*) { ++changes; };
  proc->Negative();
  EXPECT_EQ(changes, 1);
  proc->CalcColorCount();
  EXPECT_EQ(changes, 1);

  // Nil bitmap or image control while a view is attached: the view stays, with its callback.
  proc->SetAttachedBitmap(nullptr);
  proc->SetAttachedTImage(nullptr);
  EXPECT_EQ(proc->AttachedVistrel(), view);
  EXPECT_EQ(proc->AttachedBitmap(), view->Bitmap());
  EXPECT_EQ(view->BitmapChangeEventCount(), 1);

  // An image control instead.
  auto* image = new TImage(form);
  Pattern(image->Picture()->Bitmap(), 6, 4);
  proc->SetAttachedTImage(image);
  EXPECT_EQ(proc->AttachedVistrel(), nullptr);
  EXPECT_EQ(view->BitmapChangeEventCount(), 0);
  image->SetAutoSize(true);
  const uint8_t first = image->Picture()->Bitmap()->ScanLine(0)[0];
  proc->Negative();
  EXPECT_EQ(image->Picture()->Bitmap()->ScanLine(0)[0], 255 - first);
  proc->Resample(9, 7, rfNone);
  EXPECT_EQ(image->Width(), 9);            // the picture's change reached the control
  EXPECT_EQ(proc->Background(), clBlack);  // its own once no view is attached
  // The control dropping its picture does not leave the component on a freed bitmap.
  image->Picture()->Assign(nullptr);
  proc->Negative();
  EXPECT_TRUE(image->Picture()->Bitmap()->Empty());
  image->Free();
  EXPECT_EQ(proc->AttachedTImage(), nullptr);
  EXPECT_EQ(proc->AttachedBitmap(), nullptr);

  // Back on the view; then the view goes away.
  proc->SetAttachedVistrel(view);
  proc->SaveUndo();
  view->Free();
  view = nullptr;
  EXPECT_EQ(proc->AttachedVistrel(), nullptr);
  EXPECT_EQ(proc->AttachedBitmap(), nullptr);
  proc->Negative();
  proc->Undo();
  EXPECT_TRUE(proc->CanUndo());  // attaching elsewhere or losing the view keeps the copy

  // A bare bitmap; its change notification is the refresh.
  TBitmap pic;
  Pattern(&pic, 3, 3);
  proc->SetAttachedBitmap(&pic);
  int bitmapChanges = 0;
  pic.OnChange = [&](TObject*) { ++bitmapChanges; };
  proc->Flip(0);
  EXPECT_GE(bitmapChanges, 1);
  proc->SetAttachedBitmap(nullptr);
  EXPECT_EQ(proc->AttachedBitmap(), nullptr);
}

namespace {

// A view whose current bitmap object is replaced, as the multi-image view does.
class TSwapView : public TVLView {
 public:
  using TVLView::TVLView;
  TBitmap* GetBitmap() override { return Current; }
  TBitmap* Current = nullptr;
};

}  // namespace

TEST_F(ProcTest, ViewThatReplacesItsBitmap) {
  auto* swap = new TSwapView(form);
  TBitmap one, two;
  Pattern(&one, 4, 4, 1);
  Pattern(&two, 4, 4, 2);
  swap->Current = &one;
  proc->SetAttachedVistrel(swap);
  EXPECT_EQ(view->BitmapChangeEventCount(), 0);
  EXPECT_EQ(swap->BitmapChangeEventCount(), 1);
  swap->Current = &two;
  swap->CallBitmapChangeEvents();
  EXPECT_EQ(proc->AttachedBitmap(), &two);
  // Not a single-image view: no selection, the whole picture.
  const uint8_t b = two.ScanLine(3)[9];
  proc->Negative();
  EXPECT_EQ(two.ScanLine(3)[9], 255 - b);
  // Freeing the component takes its callback out of the registry.
  delete proc;
  proc = nullptr;
  EXPECT_EQ(swap->BitmapChangeEventCount(), 0);
  swap->CallBitmapChangeEvents();
}
