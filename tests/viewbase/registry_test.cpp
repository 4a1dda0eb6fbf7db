#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "vistrel/view/vlview.h"

namespace {

// A component that attaches to a view the way the I/O and processing components do.
class TAttached : public TComponent {
 public:
  explicit TAttached(TComponent* owner) : TComponent(owner) {}
  ~TAttached() override { SetAttached(nullptr); }

  void SetAttached(TVLView* v) {
    if (FView) {
      FView->RemoveBitmapChangeEvent(this, &TAttached::BitmapChanged);
      FView->RemoveFreeNotification(this);
    }
    FView = v;
    FBitmap = v ? v->GetBitmap() : nullptr;
    if (v) {
      v->FreeNotification(this);
      v->AddBitmapChangeEvent(this, &TAttached::BitmapChanged);
    }
  }
  TVLView* Attached() const { return FView; }
  TBitmap* Bitmap() const { return FBitmap; }
  int calls = 0;
  std::function<void()> during;

  void BitmapChanged(TObject*) {
    ++calls;
    FBitmap = FView ? FView->GetBitmap() : nullptr;
    if (during) during();
  }

 protected:
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == opRemove && c == FView) {
      FView->RemoveBitmapChangeEvent(this, &TAttached::BitmapChanged);
      FView = nullptr;
      FBitmap = nullptr;
    }
  }

 private:
  TVLView* FView = nullptr;
  TBitmap* FBitmap = nullptr;
};

// A view whose current bitmap object changes, as the multi-image view's does.
class TMultiView : public TVLView {
 public:
  using TVLView::TVLView;
  TBitmap pictures[2];
  int current = 0;
  int dpiXCalls = 0;
  TBitmap* GetBitmap() override { return &pictures[current]; }
  void Next() {
    current = 1 - current;
    CallBitmapChangeEvents();
  }
  void SetDpiX(int v) override {
    ++dpiXCalls;
    TVLView::SetDpiX(v);
  }
};

TEST(ViewBase, PropertiesAndBorder) {
  std::unique_ptr<TVLView> bare(new TVLView(nullptr));
  EXPECT_EQ(bare->GetBitmap(), nullptr);
  EXPECT_EQ(bare->Background(), clBtnFace);
  EXPECT_EQ(bare->BorderStyle(), bsSingle);
  EXPECT_TRUE(bare->ControlStyle() & csOpaque);
  EXPECT_TRUE(bare->ControlStyle() & csAcceptsControls);
  bare->SetBounds(0, 0, 100, 80);
  // A single border is a 3D client edge of two pixels on each side.
  EXPECT_EQ(bare->ClientWidth(), 96);
  EXPECT_EQ(bare->ClientHeight(), 76);
  int made = bare->WindowCreations();
  bare->SetBorderStyle(bsSingle);
  EXPECT_EQ(bare->WindowCreations(), made);
  bare->SetBorderStyle(bsNone);
  EXPECT_EQ(bare->WindowCreations(), made + 1);
  EXPECT_EQ(bare->ClientWidth(), 100);
  // Without 3D, a one-pixel border.
  bare->SetBorderStyle(bsSingle);
  bare->SetCtl3D(false);
  EXPECT_EQ(bare->ClientWidth(), 98);

  TMultiView v(nullptr);
  v.SetDpi(72, 96);
  EXPECT_EQ(v.dpiXCalls, 1);
  EXPECT_EQ(v.DpiX(), 72);
  EXPECT_EQ(v.DpiY(), 96);
}

TEST(ViewBase, RegistryMatchesCodeAndData) {
  TMultiView view(nullptr);
  TAttached a(nullptr), b(nullptr);
  a.SetAttached(&view);
  b.SetAttached(&view);
  EXPECT_EQ(view.BitmapChangeEventCount(), 2);
  EXPECT_EQ(a.Bitmap(), &view.pictures[0]);
  view.Next();
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 1);
  EXPECT_EQ(b.Bitmap(), &view.pictures[1]);
  // Detaching a removes a's record, not b's, though both name the same method.
  a.SetAttached(nullptr);
  EXPECT_EQ(view.BitmapChangeEventCount(), 1);
  view.Next();
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 2);
  EXPECT_EQ(b.Bitmap(), &view.pictures[0]);

  // Registered twice, removed once: one record is left and it is still called.
  int n = 0;
  TVLMethod m = TVLMethod::Make(&n, 7, [&](TObject* sender) {
    EXPECT_EQ(sender, &view);
    ++n;
  });
  EXPECT_EQ(view.AddBitmapChangeEvent(m), 1);
  EXPECT_EQ(view.AddBitmapChangeEvent(m), 2);
  view.RemoveBitmapChangeEvent(m);
  view.CallBitmapChangeEvents();
  EXPECT_EQ(n, 1);
  // Removing something never registered does nothing.
  view.RemoveBitmapChangeEvent(TVLMethod::Make(&n, 8, nullptr));
  EXPECT_EQ(view.BitmapChangeEventCount(), 2);
}

TEST(ViewBase, CallbacksThatDetachOrFreeDuringTheWalk) {
  TMultiView view(nullptr);
  auto* a = new TAttached(nullptr);
  auto* b = new TAttached(nullptr);
  auto* c = new TAttached(nullptr);
  a->SetAttached(&view);
  b->SetAttached(&view);
  c->SetAttached(&view);
  // a detaches itself; the walk goes on to b and c.
  a->during = [&] { a->SetAttached(nullptr); };
  view.Next();
  EXPECT_EQ(a->calls, 1);
  EXPECT_EQ(b->calls, 1);
  EXPECT_EQ(c->calls, 1);
  EXPECT_EQ(view.BitmapChangeEventCount(), 2);
  // b frees c while the walk runs: c is not called afterwards.
  b->during = [&] {
    delete c;
    c = nullptr;
    b->during = nullptr;
  };
  view.Next();
  EXPECT_EQ(b->calls, 2);
  EXPECT_EQ(view.BitmapChangeEventCount(), 1);
  // A callback that attaches another component is not called for it in the same walk.
  TAttached late(nullptr);
  b->during = [&] {
    late.SetAttached(&view);
    b->during = nullptr;
  };
  view.Next();
  EXPECT_EQ(late.calls, 0);
  view.Next();
  EXPECT_EQ(late.calls, 1);
  delete a;
  delete b;
}

TEST(ViewBase, AViewFreedWithComponentsAttached) {
  auto* view = new TMultiView(nullptr);
  TAttached a(nullptr), b(nullptr);
  a.SetAttached(view);
  b.SetAttached(view);
  view->Free();
  EXPECT_EQ(a.Attached(), nullptr);
  EXPECT_EQ(b.Attached(), nullptr);
  EXPECT_EQ(a.Bitmap(), nullptr);
  // A view deleted without Free tells them as well.
  auto* v2 = new TMultiView(nullptr);
  a.SetAttached(v2);
  delete v2;
  EXPECT_EQ(a.Attached(), nullptr);
  // A component freed first leaves nothing behind in the view.
  TMultiView v3(nullptr);
  {
    TAttached c(nullptr);
    c.SetAttached(&v3);
    EXPECT_EQ(v3.BitmapChangeEventCount(), 1);
  }
  EXPECT_EQ(v3.BitmapChangeEventCount(), 0);
  v3.Next();
}

TEST(ViewBase, ViewsOwnedByAFormGoWithIt) {
  auto* form = new TForm(nullptr);
  auto* view = new TMultiView(form);
  view->SetParent(form);
  auto* comp = new TAttached(form);
  comp->SetAttached(view);
  TAttached outside(nullptr);
  outside.SetAttached(view);
  form->Free();
  EXPECT_EQ(outside.Attached(), nullptr);
}

}  // namespace
