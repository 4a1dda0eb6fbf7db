// The viewer build's single-image view: the editor's view with an older selection. The outline's
// vertices are held in client pixels of the zoomed picture (view origin and centring taken out)
// and follow every zoom change; the mouse draws rectangles, freehand polygons and ellipses with no
// grips or moves; a page of scrolling is 10 pixels.
#pragma once
#include "vistrel/view/vistrelview.h"

namespace corvelo::lib {

class TVistrelView : public ::TVistrelView {
 public:
  explicit TVistrelView(TComponent* AOwner) : ::TVistrelView(AOwner) {}

  // The outline's marching dots; the outline stays sizeable and moveable as created.
  bool AnimatedSel() const { return FOutline->Animated; }
  void SetAnimatedSel(bool Value) { FOutline->Animated = Value; }

  // The bounding box of the selection in bitmap pixels: Round(100 / Zoom x stored).
  int SelX1() const { return StoredToBitmap(FOutline->Left); }
  int SelY1() const { return StoredToBitmap(FOutline->Top); }
  int SelX2() const { return StoredToBitmap(FOutline->Right); }
  int SelY2() const { return StoredToBitmap(FOutline->Bottom); }

  // Scales the stored vertices from one zoom to another.
  void RescaleSelection(int OldZoom, int NewZoom);
  void SetZoom(int Value) override;
  void Update() override;

  // Coordinates are client pixels or bitmap pixels as SelectionBase says; stored in client
  // pixels of the zoomed picture.
  void Select(int X1, int Y1, int X2, int Y2) override;
  void AddSelPoint(int X, int Y) override;
  void ZoomSelection();
  void CopySelectionTo(TPersistent* Target);

  // Lines of 1 pixel, pages of 10.
  void ScrollMessage(bool Horizontal, int Code, int64_t Pos);
  void WMHScroll(int code, int pos) override;
  void WMVScroll(int code, int pos) override;

  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 protected:
  TPoint OutlineToClient(const TPoint& P) const override;

 private:
  // Not in this build.
  using ::TVistrelView::GripAt;
  using ::TVistrelView::OnSelectionChange;
  using ::TVistrelView::OnSelectionChanging;
  using ::TVistrelView::SelectionBox;
  using ::TVistrelView::SelectionOptions;
  using ::TVistrelView::SetSelectionOptions;

  int StoredToBitmap(int V) const;
  int BitmapToStored(int V) const;
  int ClientToStoredX(int X) const;
  int ClientToStoredY(int Y) const;
  // Lends the editor's selection code the box in bitmap pixels.
  void BoxToBitmap();
};

}  // namespace corvelo::lib
