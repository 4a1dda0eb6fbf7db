#include "corvelo/library/vistrelview.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "vistrel/view/vlutils.h"

namespace corvelo::lib {

namespace {
int Sat(int64_t v) { return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }
}  // namespace

int TVistrelView::StoredToBitmap(int V) const { return RoundInt(100.0L / FZoom * V); }
int TVistrelView::BitmapToStored(int V) const { return RoundInt(V * (FZoom * 0.01L)); }
int TVistrelView::ClientToStoredX(int X) const { return Sat(X + FViewX - FOffsetX); }
int TVistrelView::ClientToStoredY(int Y) const { return Sat(Y + FViewY - FOffsetY); }

TPoint TVistrelView::OutlineToClient(const TPoint& P) const {
  return Point(Sat(P.X - FViewX + FOffsetX), Sat(P.Y - FViewY + FOffsetY));
}

void TVistrelView::BoxToBitmap() {
  const int l = SelX1(), t = SelY1(), r = SelX2(), b = SelY2();
  FOutline->Left = l;
  FOutline->Top = t;
  FOutline->Right = r;
  FOutline->Bottom = b;
}

// ---------------------------------------------------------------------------------------------
// Zoom

void TVistrelView::RescaleSelection(int OldZoom, int NewZoom) {
  if (OldZoom <= 0 || NewZoom <= 0) return;
  const long double f = 100.0L / OldZoom * (NewZoom * 0.01L);
  auto scale = [f](int& v) { v = RoundInt(f * v); };
  for (TPoint& p : FOutline->Points) {
    scale(p.X);
    scale(p.Y);
  }
  // Rounding keeps the order, so the scaled box is the box of the scaled vertices.
  scale(FOutline->Left);
  scale(FOutline->Top);
  scale(FOutline->Right);
  scale(FOutline->Bottom);
}

void TVistrelView::SetZoom(int Value) {
  if (Value <= 0 || Value == FZoom) return;
  RescaleSelection(FZoom, Value);
  ::TVistrelView::SetZoom(Value);
}

void TVistrelView::Update() {
  // AutoFit stores its zoom directly; the vertices follow it too.
  const int before = FZoom;
  ::TVistrelView::Update();
  if (FZoom != before) RescaleSelection(before, FZoom);
}

// ---------------------------------------------------------------------------------------------
// Selection

void TVistrelView::Select(int X1, int Y1, int X2, int Y2) {
  if (X1 == X2 || Y1 == Y2) return;
  const TVLSelectionBase base = FSelectionBase;
  if (base == vlsbClientArea) {
    X1 = ClientToStoredX(X1);
    Y1 = ClientToStoredY(Y1);
    X2 = ClientToStoredX(X2);
    Y2 = ClientToStoredY(Y2);
  } else {
    X1 = BitmapToStored(X1);
    Y1 = BitmapToStored(Y1);
    X2 = BitmapToStored(X2);
    Y2 = BitmapToStored(Y2);
  }
  // The editor's view stores what it is given when told it is in place already.
  FSelectionBase = vlsbBitmap;
  ::TVistrelView::Select(X1, Y1, X2, Y2);
  FSelectionBase = base;
}

void TVistrelView::AddSelPoint(int X, int Y) {
  const TVLSelectionBase base = FSelectionBase;
  if (base == vlsbClientArea) {
    X = ClientToStoredX(X);
    Y = ClientToStoredY(Y);
  } else {
    X = BitmapToStored(X);
    Y = BitmapToStored(Y);
  }
  FSelectionBase = vlsbBitmap;
  ::TVistrelView::AddSelPoint(X, Y);
  FSelectionBase = base;
}

void TVistrelView::ZoomSelection() {
  // The editor's zoom reads the box, then removes the selection.
  if (FSelected) BoxToBitmap();
  ::TVistrelView::ZoomSelection();
}

void TVistrelView::CopySelectionTo(TPersistent* Target) {
  std::vector<TPoint> stored = FOutline->Points;
  const int l = FOutline->Left, t = FOutline->Top, r = FOutline->Right, b = FOutline->Bottom;
  for (TPoint& p : FOutline->Points) p = Point(StoredToBitmap(p.X), StoredToBitmap(p.Y));
  BoxToBitmap();
  ::TVistrelView::CopySelectionTo(Target);
  FOutline->Points = std::move(stored);
  FOutline->Left = l;
  FOutline->Top = t;
  FOutline->Right = r;
  FOutline->Bottom = b;
}

// ---------------------------------------------------------------------------------------------
// Scrolling

void TVistrelView::ScrollMessage(bool Horizontal, int Code, int64_t Pos) {
  if (Code != SB_PAGEUP && Code != SB_PAGEDOWN) {
    ::TVistrelView::ScrollMessage(Horizontal, Code, Pos);
    return;
  }
  const int64_t step = Code == SB_PAGEUP ? -10 : 10;
  if (Horizontal) SetViewX(FViewX + step);
  else SetViewY(FViewY + step);
}

void TVistrelView::WMHScroll(int code, int pos) {
  TVLView::WMHScroll(code, pos);
  ScrollMessage(true, code, pos);
}

void TVistrelView::WMVScroll(int code, int pos) {
  TVLView::WMVScroll(code, pos);
  ScrollMessage(false, code, pos);
}

// ---------------------------------------------------------------------------------------------
// Mouse

void TVistrelView::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  // The press as the editor's view takes it (unfiltered painting until the release, the point
  // clamped to the picture, the drag origin), without its gestures; then this build's own.
  const TVLMouseInteract mi = FMouseInteract;
  FMouseInteract = 0;
  ::TVistrelView::MouseDown(Button, Shift, X, Y);
  FMouseInteract = mi;
  int x = FDragOrigin.X, y = FDragOrigin.Y;
  const TVLSelectionBase base = FSelectionBase;
  FSelectionBase = vlsbClientArea;
  if (mi & miSelectPolygon) {
    if (!FPolyInProgress) DeSelect();
    if ((Shift & ssCtrl) && !FOutline->Points.empty()) {
      const TPoint last = OutlineToClient(FOutline->Points.back());
      VLSnapLine(last.X, last.Y, x, y);
    }
    AddSelPoint(x, y);
    FPolyInProgress = true;
  } else if (mi & (miSelect | miSelectZoom)) {
    FRectDrawing = true;
  } else if (mi & miSelectCircle) {
    DeSelect();
    FCircleDrawing = true;
    ShowSelection(false);
  }
  FSelectionBase = base;
}

void TVistrelView::MouseMove(TShiftState Shift, int X, int Y) {
  TVLView::MouseMove(Shift, X, Y);
  const TVLSelectionBase base = FSelectionBase;
  FSelectionBase = vlsbClientArea;
  FPointer = Point(X, Y);
  int cx = X, cy = Y;
  ClampToPicture(cx, cy);
  if (FButtonDown) {
    if (FMouseInteract & miScroll) {
      SetViewXY(FDragViewX + FDragOrigin.X - X, FDragViewY + FDragOrigin.Y - Y);
    } else if (FRectDrawing) {
      AutoScrollDrag();
      Select(FDragOrigin.X, FDragOrigin.Y, cx, cy);
    } else if (FPolyInProgress) {
      // Freehand: a vertex at every move.
      AutoScrollDrag();
      Paint();
      DrawPolyRubberLine();
      FOutline->AddPolyPoint(ClientToStoredX(cx), ClientToStoredY(cy));
      FSelected = true;
      SelectionTimer(this);
    } else if (FCircleDrawing) {
      AutoScrollDrag();
      FOutline->Points.clear();
      if (FUpdateLock == 0) Paint();
      int rx = std::abs(FDragOrigin.X - cx), ry = std::abs(FDragOrigin.Y - cy);
      if (Shift & ssCtrl) rx = ry = std::max(rx, ry);
      for (const TPoint& p : VLEllipseVertices(FDragOrigin.X, FDragOrigin.Y, rx, ry)) {
        FOutline->AddPolyPoint(ClientToStoredX(p.X), ClientToStoredY(p.Y));
        FSelected = true;
      }
      SelectionTimer(this);
    }
  } else if (FPolyInProgress) {
    DrawPolyRubberLine();
    if ((Shift & ssCtrl) && !FOutline->Points.empty()) {
      const TPoint last = OutlineToClient(FOutline->Points.back());
      VLSnapLine(last.X, last.Y, cx, cy);
    }
    FLastMouse = Point(cx, cy);
    DrawPolyRubberLine();
  }
  FLastMouse = FLastPos = Point(cx, cy);
  FSelectionBase = base;
}

void TVistrelView::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  // The editor's release; its selection zoom reads the box in bitmap pixels.
  const bool click = (FMouseInteract & miZoom) && X == FDragOrigin.X && Y == FDragOrigin.Y;
  if (!click && !(FMouseInteract & miScroll) && (FMouseInteract & miSelectZoom) && FSelected) BoxToBitmap();
  ::TVistrelView::MouseUp(Button, Shift, X, Y);
}

}  // namespace corvelo::lib
