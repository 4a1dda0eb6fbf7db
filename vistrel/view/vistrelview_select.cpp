// Selections of the single-image view: the outline with its marching dots and grips, and
// the mouse gestures that zoom, scroll and select.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "vistrel/view/vistrelview.h"
#include "vistrel/view/vistrelview_p.h"
#include "vistrel/view/vlutils.h"

using namespace vlview;

namespace {
// The marching dots: a run of the first colour, then as many of the second.
constexpr int kDotRun = 3;
constexpr int kDotPeriod = 2 * kDotRun;
// An edge longer than this (at a huge zoom) is walked only over the surface.
constexpr int64_t kLongEdge = 65536;
// How far a grip reaches from its vertex or side, in client pixels: the square drawn and the
// area that catches the mouse.
constexpr int kGripReach = 3;

bool IsRect(const TVLSelectionOutline* o) { return VLIsRectPolygon(o->Points.data(), o->Count()); }
}  // namespace

// ---------------------------------------------------------------------------------------------
// Selection

void TVistrelView::Select(int X1, int Y1, int X2, int Y2) {
  if (X1 == X2 || Y1 == Y2) return;
  if (FSelectionBase == vlsbClientArea) {
    X1 = XScr2Bmp(X1);
    Y1 = YScr2Bmp(Y1);
    X2 = XScr2Bmp(X2);
    Y2 = YScr2Bmp(Y2);
  }
  FSelected = true;
  FOutline->Points.clear();
  if (FUpdateLock == 0) Paint();
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  FOutline->AddPolyPoint(X1, Y1);
  FOutline->AddPolyPoint(X2, Y1);
  FOutline->AddPolyPoint(X2, Y2);
  FOutline->AddPolyPoint(X1, Y2);
  ShowSelection(true);
}

void TVistrelView::AddSelPoint(int X, int Y) {
  if (FSelectionBase == vlsbClientArea) {
    X = XScr2Bmp(X);
    Y = YScr2Bmp(Y);
  }
  FOutline->AddPolyPoint(X, Y);
  FSelected = true;
  if (FUpdateLock == 0) Paint();
  ShowSelection(true);
}

void TVistrelView::DeSelect() {
  bool repaint = FSelected || !FOutline->Points.empty();
  if (FSelected) FOutline->Visible = false;
  FOutline->Points.clear();
  if (repaint && FUpdateLock == 0) Paint();
  FSelected = false;
  FPolyInProgress = false;
  FRectDrawing = false;
  FCircleDrawing = false;
  FGrip = -1;
  FMove = -1;
}

void TVistrelView::ShowSelection(bool DrawNow) {
  FOutline->Visible = true;
  if (DrawNow) SelectionTimer(this);
}

void TVistrelView::HideSelection(bool Repaint) {
  FOutline->Visible = false;
  if (Repaint && FUpdateLock == 0) Paint();
}

bool TVistrelView::SelectionBox(int& X1, int& Y1, int& X2, int& Y2) const {
  if (!FSelected || FOutline->Points.empty() || FBitmap->Empty()) return false;
  // A polygon's right column and bottom row hold no pixel centre inside it.
  const int64_t inner = IsRect(FOutline) ? 0 : 1;
  const int64_t x2 = std::min<int64_t>(int64_t(FOutline->Right) - inner, FBitmap->Width() - 1);
  const int64_t y2 = std::min<int64_t>(int64_t(FOutline->Bottom) - inner, FBitmap->Height() - 1);
  X1 = std::max(FOutline->Left, 0);
  Y1 = std::max(FOutline->Top, 0);
  if (x2 < X1 || y2 < Y1) return false;
  X2 = int(x2);
  Y2 = int(y2);
  return true;
}

void TVistrelView::CopySelectionTo(TPersistent* Target) {
  auto* view = dynamic_cast<TVistrelView*>(Target);
  TBitmap* dest = view ? view->Bitmap() : dynamic_cast<TBitmap*>(Target);
  if (!dest || dest == FBitmap) return;
  int x1, y1, x2, y2;
  if (!SelectionBox(x1, y1, x2, y2)) return;
  const int w = x2 - x1 + 1, h = y2 - y1 + 1;
  const TPixelFormat pf = FBitmap->PixelFormat() == pf1bit ? pf1bit : pf24bit;
  dest->SetSize(0, 0);
  dest->SetPixelFormat(pf);
  dest->SetSize(w, h);
  // A polygon copies only the pixels whose centres lie inside it.
  const bool rect = IsRect(FOutline);
  TClipRegion region;
  if (!rect) {
    std::vector<TPoint> pts(FOutline->Points);
    for (TPoint& p : pts) p = Point(p.X - x1, p.Y - y1);
    region = TClipRegion::FromPolygon(pts.data(), int(pts.size()), fmAlternate, Rect(0, 0, w, h));
  }
  for (int y = 0; y < h; ++y) {
    const uint8_t* in = FBitmap->ScanLine(y1 + y);
    uint8_t* out = dest->ScanLine(y);
    auto copy = [&](int a, int b) {  // target columns [a, b)
      a = std::max(a, 0);
      b = std::min(b, w);
      if (a >= b) return;
      if (pf == pf1bit) {
        for (int x = a; x < b; ++x) VLSetBit(out, x, VLGetBit(in, x1 + x));
      } else {
        std::memcpy(out + 3 * a, in + 3 * (x1 + a), size_t(b - a) * 3);
      }
    };
    if (rect) {
      copy(0, w);
    } else if (const auto* runs = region.Row(y)) {
      for (const auto& r : *runs) copy(r.first, r.second);
    }
  }
  if (view) {
    view->TVLView::SetBackground(Background());
    view->SetDpi(DpiX(), DpiY());
    view->Update();
    view->ImageChange();
  } else {
    dest->Changed();
  }
}

// ---------------------------------------------------------------------------------------------
// Outline drawing

void TVistrelView::DrawOutline(TVLSelectionOutline* O) {
  TCanvas* c = O->Canvas;
  if (!c) return;
  O->DotCounter = O->Phase;
  c->Pen()->SetMode(pmCopy);
  TBitmap* surface = c->Bitmap();
  const bool direct = surface && surface->PixelFormat() == pf24bit && !c->HasClipRegion();
  const TRGB col1 = ColorToTriple(O->Color1), col2 = ColorToTriple(O->Color2);
  auto dot = [&](int x, int y) {
    bool first = O->DotCounter < kDotRun;
    if (direct) {
      if (x >= 0 && y >= 0 && x < surface->Width() && y < surface->Height()) {
        uint8_t* p = surface->Bits() + int64_t(y) * surface->RowBytes() + int64_t(x) * 3;
        const TRGB& t = first ? col1 : col2;
        p[0] = t.B;
        p[1] = t.G;
        p[2] = t.R;
      }
    } else {
      c->SetPixels(x, y, first ? O->Color1 : O->Color2);
    }
    if (++O->DotCounter >= kDotPeriod) O->DotCounter = 0;
  };
  const int n = O->Count();
  const int sw = surface ? surface->Width() : ClientWidth(), sh = surface ? surface->Height() : ClientHeight();
  auto edge = [&](const TPoint& a, const TPoint& b) {
    const TPoint ca = OutlineToClient(a), cb = OutlineToClient(b);
    const int x1 = ca.X, y1 = ca.Y, x2 = cb.X, y2 = cb.Y;
    const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
    const int64_t n = std::max(std::llabs(dx), std::llabs(dy));
    if (n <= kLongEdge) {
      LineDDA(x1, y1, x2, y2, dot);
      return;
    }
    // A very long edge (a huge zoom): walk only the pixels over the surface, the dots keeping
    // their phase.
    int64_t i0 = 0, i1 = n - 1;
    auto limit = [&](int64_t start, int64_t d, int64_t lo, int64_t hi) {
      if (d == 0) {
        if (start < lo || start > hi) i1 = -1;
        return;
      }
      long double a = (long double)(lo - start) * n / d, b = (long double)(hi - start) * n / d;
      if (a > b) std::swap(a, b);
      i0 = std::max<int64_t>(i0, int64_t(std::floor(a)) - 1);
      i1 = std::min<int64_t>(i1, int64_t(std::ceil(b)) + 1);
    };
    limit(x1, dx, -1, sw);
    limit(y1, dy, -1, sh);
    if (i1 < i0) {
      O->DotCounter = int((O->DotCounter + n) % kDotPeriod);
      return;
    }
    O->DotCounter = int((O->DotCounter + i0) % kDotPeriod);
    for (int64_t i = i0; i <= i1; ++i)
      dot(int(x1 + std::llround((long double)dx * i / n)), int(y1 + std::llround((long double)dy * i / n)));
    O->DotCounter = int((O->DotCounter + (n - 1 - i1)) % kDotPeriod);
  };
  for (int i = 1; i < n; ++i) edge(O->Points[size_t(i - 1)], O->Points[size_t(i)]);
  if (!FPolyInProgress && n > 0) edge(O->Points[size_t(n - 1)], O->Points[0]);
  if (direct && c->OnChange) c->OnChange(c);
  if (O->Sizeable && !FRectDrawing && IsRect(O)) {
    c->Brush()->SetColor(O->Color2);
    c->Brush()->SetStyle(bsSolid);
    c->Pen()->SetColor(O->Color1);
    c->Pen()->SetStyle(psSolid);
    c->Pen()->SetWidth(1);
    for (const TPoint& p : O->Points) {
      const TPoint q = OutlineToClient(p);
      c->Rectangle(q.X - kGripReach, q.Y - kGripReach, q.X + kGripReach, q.Y + kGripReach);
    }
  }
}

void TVistrelView::SelectionTimer(TObject* Sender) {
  for (TVLSelectionOutline* o : std::vector<TVLSelectionOutline*>(FOutlines)) {
    if (!o->Visible) continue;
    if (o->Animated && !FRectDrawing && !FPolyInProgress && !FCircleDrawing && Sender == FTimer && Sender)
      o->Phase = o->Phase >= kDotPeriod - 1 ? 0 : o->Phase + 1;
    if (FUpdateLock > 0 || (o->Canvas && o->Canvas->LockCount() > 0)) continue;
    DrawOutline(o);
  }
  if (FDelayedRefresh > 0) {
    int was = FDelayedRefresh--;
    if (was == 1) Update();
  }
}

void TVistrelView::DrawPolyRubberLine() {
  TCanvas* c = FOutline->Canvas;
  if (!c || FOutline->Points.empty()) return;
  const TPoint& last = FOutline->Points.back();
  TPen* pen = c->Pen();
  TPenMode oldMode = pen->Mode();
  pen->SetMode(pmNot);
  pen->SetWidth(1);
  pen->SetStyle(psSolid);
  c->MoveTo(FLastMouse.X, FLastMouse.Y);
  const TPoint end = OutlineToClient(last);
  c->LineTo(end.X, end.Y);
  pen->SetMode(oldMode);
}

// ---------------------------------------------------------------------------------------------
// Hit tests and gestures

int TVistrelView::GripAt(int X, int Y) {
  if (!FOutline->Visible || !FOutline->Sizeable || FRectDrawing || !IsRect(FOutline)) return gripNone;
  for (int i = 0; i < kCornerGrips; ++i) {
    int x = XBmp2Scr(FOutline->Points[size_t(i)].X), y = YBmp2Scr(FOutline->Points[size_t(i)].Y);
    if (x - kGripReach <= X && X <= x + kGripReach && y - kGripReach <= Y && Y <= y + kGripReach) return i;
  }
  int l = XBmp2Scr(FOutline->Left), t = YBmp2Scr(FOutline->Top);
  int r = XBmp2Scr(FOutline->Right), b = YBmp2Scr(FOutline->Bottom);
  if (VLPointSegmentDistance(X, Y, l, t, l, b) < kGripReach) return gripLeft;
  if (VLPointSegmentDistance(X, Y, r, t, r, b) < kGripReach) return gripRight;
  if (VLPointSegmentDistance(X, Y, l, t, r, t) < kGripReach) return gripTop;
  if (VLPointSegmentDistance(X, Y, l, b, r, b) < kGripReach) return gripBottom;
  return gripNone;
}

bool TVistrelView::InsideSelection(int X, int Y) {
  if (!FOutline->Visible || FRectDrawing || !IsRect(FOutline)) return false;
  int l = XBmp2Scr(FOutline->Left), t = YBmp2Scr(FOutline->Top);
  int r = XBmp2Scr(FOutline->Right), b = YBmp2Scr(FOutline->Bottom);
  if (!VLPointInRect(X, Y, l, t, r, b)) return false;
  FDownX1 = FOutline->Left;
  FDownY1 = FOutline->Top;
  FDownX2 = FOutline->Right;
  FDownY2 = FOutline->Bottom;
  return true;
}

namespace {
void RebuildBox(TVistrelView* v, TVLSelectionOutline* o, int l, int t, int r, int b) {
  o->Points.clear();
  if (v->UpdateLockCount() == 0) v->Paint();
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  o->AddPolyPoint(l, t);
  o->AddPolyPoint(r, t);
  o->AddPolyPoint(r, b);
  o->AddPolyPoint(l, b);
  v->ShowSelection(true);
}
}  // namespace

int TVistrelView::ResizeSelectionByGrip(int Grip, int X, int Y) {
  if (!IsRect(FOutline)) return Grip;
  int l = FOutline->Left, t = FOutline->Top, r = FOutline->Right, b = FOutline->Bottom;
  int g = VLResizeBoxByGrip(Grip, XScr2Bmp(X), YScr2Bmp(Y), l, t, r, b);
  FSelected = true;
  RebuildBox(this, FOutline, l, t, r, b);
  return g;
}

void TVistrelView::MoveSelection(int DX, int DY) {
  if (!IsRect(FOutline)) return;
  int dx = RoundInt(100.0L / FZoom * DX), dy = RoundInt(100.0L / FZoom * DY);
  FSelected = true;
  RebuildBox(this, FOutline, FDownX1 + dx, FDownY1 + dy, FDownX2 + dx, FDownY2 + dy);
}

void TVistrelView::ClampToPicture(int& X, int& Y) const {
  X = std::max(std::min(X, FOffsetX + FDisplayedWidth - 1), FOffsetX);
  Y = std::max(std::min(Y, FOffsetY + FDisplayedHeight - 1), FOffsetY);
}

void TVistrelView::OffsetDragOrigin(int DX, int DY) {
  FLastMouse.X -= DX;
  FLastMouse.Y -= DY;
}

void TVistrelView::AutoScrollDrag() {
  // While the pointer stays outside the picture, each step scrolls by the overshoot until the
  // picture's edge is reached. The pointer stands still meanwhile, so the steps are taken at
  // once: the end of the run, its number of steps, one repaint.
  const int px = FPointer.X, py = FPointer.Y;
  int ox = 0, oy = 0;
  if (px < FOffsetX) ox = px - FOffsetX;
  else if (px > FOffsetX + FDisplayedWidth - 1) ox = px - (FOffsetX + FDisplayedWidth - 1);
  if (py < FOffsetY) oy = py - FOffsetY;
  else if (py > FOffsetY + FDisplayedHeight - 1) oy = py - (FOffsetY + FDisplayedHeight - 1);
  if (ox == 0 && oy == 0) return;
  int64_t mx, my;
  GetMaxViewXY(mx, my);
  struct Axis {
    int64_t steps = 0, end = 0;
  };
  auto run = [](int64_t from, int o, int64_t max) {
    Axis a;
    a.end = from;
    if (o == 0) return a;
    const int64_t bound = o > 0 ? max : 0;
    const int64_t dist = o > 0 ? bound - from : from - bound;
    if (dist <= 0) return a;
    const int64_t step = std::llabs(int64_t(o));
    a.steps = (dist + step - 1) / step;
    a.end = bound;
    return a;
  };
  const Axis ax = run(FViewX, ox, mx), ay = run(FViewY, oy, my);
  const int64_t n = std::max(ax.steps, ay.steps);
  if (n == 0) return;
  const int64_t oldX = FViewX, oldY = FViewY;
  SetViewXY(ax.end, ay.end);
  auto sat = [](long double v) { return int(std::clamp<long double>(v, INT32_MIN, INT32_MAX)); };
  FDragOrigin.X = sat((long double)FDragOrigin.X + (oldX - FViewX));
  FDragOrigin.Y = sat((long double)FDragOrigin.Y + (oldY - FViewY));
  OffsetDragOrigin(sat((long double)n * ox), sat((long double)n * oy));
}

void TVistrelView::DoSelectionChanging() {
  if (OnSelectionChanging) OnSelectionChanging(this);
}

void TVistrelView::DoSelectionChange() {
  if (OnSelectionChange) OnSelectionChange(this);
}

void TVistrelView::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TVLView::MouseDown(Button, Shift, X, Y);
  // A second button pressed during a drag must not take the unfiltered zoom for the saved one.
  if (!FButtonDown) FSavedZoomFilter = FZoomFilter;
  FButtonDown = true;
  FZoomFilter = rfNone;
  TVLSelectionBase savedBase = FSelectionBase;
  FSelectionBase = vlsbClientArea;
  FPointer = Point(X, Y);
  ClampToPicture(X, Y);
  FLastPos = FDragOrigin = FLastMouse = Point(X, Y);
  FDragViewX = FViewX;
  FDragViewY = FViewY;
  if (FMouseInteract & miSelectPolygon) {
    if (!FPolyInProgress) DeSelect();
    if ((Shift & ssCtrl) && !FOutline->Points.empty()) {
      const TPoint& last = FOutline->Points.back();
      VLSnapLine(XBmp2Scr(last.X), YBmp2Scr(last.Y), X, Y);
    }
    AddSelPoint(X, Y);
    FPolyInProgress = true;
    DoSelectionChanging();
  } else if (FMouseInteract & (miSelect | miSelectZoom)) {
    FGrip = GripAt(X, Y);
    FMove = InsideSelection(X, Y) ? 0 : -1;
    if (FGrip == -1 && FMove == -1) {
      FRectDrawing = true;
      DoSelectionChanging();
    }
  } else if (FMouseInteract & miSelectCircle) {
    if (!FCircleDrawing) DeSelect();
    FCircleDrawing = true;
    ShowSelection(false);
    DoSelectionChanging();
  }
  FSelectionBase = savedBase;
}

void TVistrelView::MouseMove(TShiftState Shift, int X, int Y) {
  TVLView::MouseMove(Shift, X, Y);
  TVLSelectionBase savedBase = FSelectionBase;
  FSelectionBase = vlsbClientArea;
  FPointer = Point(X, Y);
  int cx = X, cy = Y;
  ClampToPicture(cx, cy);
  if (FButtonDown) {
    if (FMouseInteract & miScroll) {
      SetViewXY(FDragViewX + FDragOrigin.X - X, FDragViewY + FDragOrigin.Y - Y);
    } else if (FGrip >= 0) {
      AutoScrollDrag();
      FGrip = ResizeSelectionByGrip(FGrip, cx, cy);
      DoSelectionChanging();
    } else if (FMove >= 0) {
      AutoScrollDrag();
      MoveSelection(cx - FDragOrigin.X, cy - FDragOrigin.Y);
      DoSelectionChanging();
    } else if (FRectDrawing) {
      AutoScrollDrag();
      Select(FDragOrigin.X, FDragOrigin.Y, cx, cy);
      DoSelectionChanging();
    } else if (FPolyInProgress) {
      AutoScrollDrag();
      Paint();
      DrawPolyRubberLine();
      FOutline->AddPolyPoint(XScr2Bmp(cx), YScr2Bmp(cy));
      FSelected = true;
      SelectionTimer(this);
      DoSelectionChanging();
    } else if (FCircleDrawing) {
      AutoScrollDrag();
      FOutline->Points.clear();
      if (FUpdateLock == 0) Paint();
      int rx = std::abs(FDragOrigin.X - cx), ry = std::abs(FDragOrigin.Y - cy);
      if (Shift & ssCtrl) rx = ry = std::max(rx, ry);
      for (const TPoint& p : VLEllipseVertices(FDragOrigin.X, FDragOrigin.Y, rx, ry)) {
        FOutline->AddPolyPoint(XScr2Bmp(p.X), YScr2Bmp(p.Y));
        FSelected = true;
      }
      SelectionTimer(this);
      DoSelectionChanging();
    }
  } else {
    if (FPolyInProgress) {
      DrawPolyRubberLine();
      if ((Shift & ssCtrl) && !FOutline->Points.empty()) {
        const TPoint& last = FOutline->Points.back();
        VLSnapLine(XBmp2Scr(last.X), YBmp2Scr(last.Y), cx, cy);
      }
      FLastMouse = Point(cx, cy);
      DrawPolyRubberLine();
      DoSelectionChanging();
    } else if (FMouseInteract & miSelect) {
      int g = GripAt(cx, cy);
      int cur = VLGripCursor(g);
      if (cur < 0) cur = InsideSelection(cx, cy) ? int(crVLMove) : FUserCursor;
      TVLView::SetCursor(TCursor(cur));
    }
  }
  FLastMouse = FLastPos = Point(cx, cy);
  FSelectionBase = savedBase;
}

void TVistrelView::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TVLView::MouseUp(Button, Shift, X, Y);
  FButtonDown = false;
  if ((FMouseInteract & miZoom) && X == FDragOrigin.X && Y == FDragOrigin.Y) {
    // A click: a started rectangle comes to nothing.
    FRectDrawing = false;
    FGrip = FMove = -1;
    if (Button == mbLeft) ZoomAt(X, Y, VLZoomStepIn(FZoom));
    else if (Button == mbRight) ZoomAt(X, Y, VLZoomStepOut(FZoom));
  } else if (FMouseInteract & miScroll) {
    SetViewXY(FDragViewX + FDragOrigin.X - X, FDragViewY + FDragOrigin.Y - Y);
  } else if (FMouseInteract & miSelectZoom) {
    FRectDrawing = false;
    ZoomSelection();
  } else if (FMouseInteract & miSelect) {
    FRectDrawing = false;
    FGrip = FMove = -1;
    DoSelectionChange();
  } else if (FMouseInteract & miSelectCircle) {
    FCircleDrawing = false;
  }
  FZoomFilter = FSavedZoomFilter;
}

void TVistrelView::WMLButtonDblClk(TShiftState Shift, int X, int Y) {
  // The inherited handling reaches MouseDown, which appends the point once more.
  TVLView::WMLButtonDblClk(Shift, X, Y);
  if (FPolyInProgress) {
    if (!FOutline->Points.empty()) FOutline->Points.pop_back();
    FPolyInProgress = false;
    Invalidate();
  }
}
