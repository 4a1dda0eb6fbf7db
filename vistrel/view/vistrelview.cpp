#include "vistrel/view/vistrelview.h"

#include <algorithm>
#include <cstring>

#include "vistrel/view/vistrelview_blit.h"
#include "vistrel/view/vlutils.h"

namespace {
// Width and height of a new view.
constexpr int kDefaultExtent = 105;
// The outline timer's period: one step of the marching dots.
constexpr int kOutlineTickMs = 150;
// Outline vertices are reserved this many at a time.
constexpr size_t kPointBlock = 64;
// Outline ticks a delayed zoom filter waits, after the last move, before it draws again.
constexpr int kFilterDelayTicks = 2;
// Layout runs at most, as scroll bars that come and go change the client size.
constexpr int kLayoutRuns = 4;
// What OnViewChange says changed.
constexpr int kOriginMoved = 0, kZoomChanged = 1;

int ClampInt(int64_t v) { return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }
}  // namespace

// ---------------------------------------------------------------------------------------------
// Outline record

void TVLSelectionOutline::AddPolyPoint(int x, int y) {
  if (Points.size() % kPointBlock == 0) Points.reserve(Points.size() + kPointBlock);
  Points.push_back(Point(x, y));
  if (Points.size() == 2) {
    Left = std::min(Points[0].X, x);
    Right = std::max(Points[0].X, x);
    Top = std::min(Points[0].Y, y);
    Bottom = std::max(Points[0].Y, y);
  } else if (Points.size() > 2) {
    Left = std::min(Left, x);
    Right = std::max(Right, x);
    Top = std::min(Top, y);
    Bottom = std::max(Bottom, y);
  }
}

// ---------------------------------------------------------------------------------------------
// Construction

TVistrelView::TVistrelView(TComponent* AOwner) : TVLView(AOwner) {
  FBitmap = new TBitmap;
  FBitmap->SetPixelFormat(pf24bit);
  FOutline = new TVLSelectionOutline;
  FOutline->Canvas = Canvas();
  FOutlines.push_back(FOutline);
  FBackBuffer = new TBitmap;
  FBackBuffer->SetPixelFormat(pf24bit);
  VLLoadCursors();
  SetCursor(crVLCross2);
  SetBounds(Left(), Top(), kDefaultExtent, kDefaultExtent);
  SetDpi(ScreenPixelsPerInch(), ScreenPixelsPerInch());
  // The outline timer runs from the first outline record on.
  FTimer = new TTimer(this);
  FTimer->SetInterval(kOutlineTickMs);
  FTimer->OnTimer = [this](TObject* sender) { SelectionTimer(sender); };
  FTimer->SetEnabled(true);
  FOutline->Visible = false;
}

TVistrelView::~TVistrelView() {
  NotifyAttached();
  if (FTimer) {
    FTimer->SetEnabled(false);
    FTimer->OnTimer = nullptr;
  }
  for (TVLSelectionOutline* o : FOutlines) delete o;
  FOutlines.clear();
  FOutline = nullptr;
  delete FBackBuffer;
  delete FBitmap;
}

// ---------------------------------------------------------------------------------------------
// Picture

void TVistrelView::SetBackground(TColor Value) {
  TVLView::SetBackground(Value);
  if (ComponentState() & csDesigning) Clear();
  Update();
  ImageChange();
}

void TVistrelView::ImageChange() {
  if (OnImageChange) OnImageChange(this);
}

void TVistrelView::DoViewChange(int Change) {
  if (OnViewChange) OnViewChange(this, Change);
}

void TVistrelView::Clear() {
  if (!FBitmap->Empty()) {
    TCanvas* c = FBitmap->Canvas();
    c->Brush()->SetColor(Background());
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(Rect(0, 0, FBitmap->Width(), FBitmap->Height()));
  }
  Update();
}

void TVistrelView::Blank() {
  FBitmap->SetSize(1, 1);
  Clear();
}

void TVistrelView::Assign(TPersistent* Source) {
  if (!Source) {
    Clear();
    return;
  }
  if (auto* v = dynamic_cast<TVistrelView*>(Source)) {
    if (v == this) return;
    VLCopyBitmap(v->Bitmap(), FBitmap);
    TVLView::SetBackground(v->Background());
    SetDpi(v->DpiX(), v->DpiY());
    Update();
    ImageChange();
    return;
  }
  if (auto* b = dynamic_cast<TBitmap*>(Source)) {
    if (b == FBitmap) return;
    if (b->PixelFormat() == pf24bit || b->PixelFormat() == pf1bit) {
      VLCopyBitmap(b, FBitmap);
    } else {
      // Other formats are drawn: converted through their palette to 24 bits.
      TBitmap tmp;
      tmp.Assign(b);
      tmp.SetPixelFormat(pf24bit);
      FBitmap->SetSize(1, 1);
      FBitmap->SetPixelFormat(pf24bit);
      FBitmap->SetSize(tmp.Width(), tmp.Height());
      if (!tmp.Empty()) std::memcpy(FBitmap->Bits(), tmp.Bits(), size_t(tmp.ImageSize()));
    }
    Update();
    ImageChange();
  }
}

void TVistrelView::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TVLView::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (ComponentState() & (csLoading | csReading | csDesigning)) {
    FBitmap->SetSize(AWidth, AHeight);
    Clear();
  }
}

void TVistrelView::Resize() {
  TVLView::Resize();
  Update();
}

// ---------------------------------------------------------------------------------------------
// Properties

void TVistrelView::SetZoomFilter(TResampleFilter Value) {
  FZoomFilter = Value;
  Update();
}

void TVistrelView::SetCenter(bool Value) {
  if (Value == FCenter) return;
  FCenter = Value;
  Update();
}

void TVistrelView::SetBackgroundStyle(TVLBackgroundStyle Value) {
  FBackgroundStyle = Value;
  Update();
}

void TVistrelView::SetCursor(TCursor Value) {
  FUserCursor = Value;
  TVLView::SetCursor(Value);
}

void TVistrelView::SetSelectionOptions(TVLSelectionOptions Value) {
  FSelectionOptions = Value;
  FOutline->Animated = (Value & vlsoAnimated) != 0;
  FOutline->Sizeable = (Value & vlsoSizeable) != 0;
}

void TVistrelView::SetMouseInteract(TVLMouseInteract Value) {
  if (Value == FMouseInteract) return;
  if (FMouseInteract & miSelectPolygon) {
    if (!FOutline->Points.empty()) FOutline->Points.pop_back();
    FPolyInProgress = false;
    Invalidate();
  }
  FMouseInteract = VLCombineMouseInteract(FMouseInteract, Value);
}

// ---------------------------------------------------------------------------------------------
// Geometry

void TVistrelView::GetMaxViewXY(int64_t& MaxX, int64_t& MaxY) {
  VLMaxViewOrigin(VLZoomedExtent(FBitmap->Width(), FZoom), VLZoomedExtent(FBitmap->Height(), FZoom), ClientWidth(),
                  ClientHeight(), Width(), Height(), MaxX, MaxY);
}

int TVistrelView::XScr2Bmp(int x) const { return VLScrToBmp(x, FViewX, FOffsetX, FZoom); }
int TVistrelView::YScr2Bmp(int y) const { return VLScrToBmp(y, FViewY, FOffsetY, FZoom); }
int TVistrelView::XBmp2Scr(int x) const { return VLBmpToScr(x, FViewX, FOffsetX, FZoom); }
int TVistrelView::YBmp2Scr(int y) const { return VLBmpToScr(y, FViewY, FOffsetY, FZoom); }

int64_t TVistrelView::IdealWidth() {
  int64_t w = VLIdealExtent(FBitmap->Width(), FZoom);
  if (FScrollBars == ssHorizontal || FScrollBars == ssBoth) w += Width() - ClientWidth();
  return w;
}

int64_t TVistrelView::IdealHeight() {
  int64_t h = VLIdealExtent(FBitmap->Height(), FZoom);
  if (FScrollBars == ssVertical || FScrollBars == ssBoth) h += Height() - ClientHeight();
  return h;
}

int TVistrelView::UnlockUpdate() {
  if (FUpdateLock > 0) --FUpdateLock;
  if (FUpdateLock == 0) Update();
  return FUpdateLock;
}

int TVistrelView::UnlockUpdateNoRefresh() {
  if (FUpdateLock > 0) --FUpdateLock;
  return FUpdateLock;
}

void TVistrelView::SetZoom(int Value) {
  if (Value <= 0 || Value == FZoom) return;
  if (FDelayZoomFilter) FDelayedRefresh = kFilterDelayTicks;
  LockUpdate();
  FZoom = Value;
  Update();
  UnlockUpdateNoRefresh();
  Paint();
  DoViewChange(kZoomChanged);
}

void TVistrelView::Fit() {
  if (FBitmap->Width() == 0 || FBitmap->Height() == 0) return;
  SetZoom(VLFitZoom(Width(), Height(), FBitmap->Width(), FBitmap->Height()));
}

void TVistrelView::ZoomAt(int X, int Y, int NewZoom) {
  LockUpdate();
  int bx = XScr2Bmp(X), by = YScr2Bmp(Y);
  SetZoom(NewZoom);
  long double z = FZoom * 0.01L;
  SetViewXY(Trunc(bx * z - ClientWidth() / 2), Trunc(by * z - ClientHeight() / 2));
  UnlockUpdate();
}

void TVistrelView::ZoomSelection() {
  if (!FSelected) return;
  int64_t w = int64_t(FOutline->Right) - FOutline->Left + 1;
  int64_t h = int64_t(FOutline->Bottom) - FOutline->Top + 1;
  int left = FOutline->Left, top = FOutline->Top;
  LockUpdate();
  DeSelect();
  SetZoom(VLFitZoom(Width(), Height(), w, h));
  long double z = FZoom * 0.01L;
  SetViewXY(Trunc(left * z) - (ClientWidth() - Trunc(w * z)) / 2, Trunc(top * z) - (ClientHeight() - Trunc(h * z)) / 2);
  UnlockUpdate();
}

void TVistrelView::SetViewXY(int64_t X, int64_t Y) {
  if (X == FViewX && Y == FViewY) return;
  if (FDelayZoomFilter) FDelayedRefresh = kFilterDelayTicks;
  int64_t mx, my;
  GetMaxViewXY(mx, my);
  FViewX = std::clamp<int64_t>(X, 0, mx);
  FViewY = std::clamp<int64_t>(Y, 0, my);
  FBackDirty = true;
  Paint();
  DoViewChange(kOriginMoved);
  if (FSelected) ShowSelection(true);
  if (FScrollBars == ssHorizontal || FScrollBars == ssBoth) SetScrollPos(SB_HORZ, ClampInt(FViewX), true);
  if (FScrollBars == ssVertical || FScrollBars == ssBoth) SetScrollPos(SB_VERT, ClampInt(FViewY), true);
}

void TVistrelView::SetViewX(int64_t X) {
  if (X == FViewX) return;
  if (FDelayZoomFilter) FDelayedRefresh = kFilterDelayTicks;
  int64_t mx, my;
  GetMaxViewXY(mx, my);
  FViewX = std::clamp<int64_t>(X, 0, mx);
  FBackDirty = true;
  Paint();
  DoViewChange(kOriginMoved);
  if (FSelected) ShowSelection(true);
  if (FScrollBars == ssHorizontal || FScrollBars == ssBoth) SetScrollPos(SB_HORZ, ClampInt(FViewX), true);
}

void TVistrelView::SetViewY(int64_t Y) {
  if (Y == FViewY) return;
  if (FDelayZoomFilter) FDelayedRefresh = kFilterDelayTicks;
  int64_t mx, my;
  GetMaxViewXY(mx, my);
  FViewY = std::clamp<int64_t>(Y, 0, my);
  FBackDirty = true;
  Paint();
  DoViewChange(kOriginMoved);
  if (FSelected) ShowSelection(true);
  if (FScrollBars == ssVertical || FScrollBars == ssBoth) SetScrollPos(SB_VERT, ClampInt(FViewY), true);
}

void TVistrelView::ScrollMessage(bool Horizontal, int Code, int64_t Pos) {
  int64_t origin = Horizontal ? FViewX : FViewY;
  int64_t client = Horizontal ? ClientWidth() : ClientHeight();
  int64_t mx, my;
  int64_t v = origin;
  switch (Code) {
    case SB_LINEUP: v = origin - 1; break;
    case SB_LINEDOWN: v = origin + 1; break;
    case SB_PAGEUP: v = origin - client; break;
    case SB_PAGEDOWN: v = origin + client; break;
    case SB_THUMBTRACK: v = Pos; break;
    case SB_TOP: v = 0; break;
    case SB_BOTTOM:
      GetMaxViewXY(mx, my);
      v = Horizontal ? mx : my;
      break;
    default: break;
  }
  if (Horizontal) SetViewX(v);
  else SetViewY(v);
}

void TVistrelView::WMHScroll(int code, int pos) {
  TVLView::WMHScroll(code, pos);
  ScrollMessage(true, code, pos);
}

void TVistrelView::WMVScroll(int code, int pos) {
  TVLView::WMVScroll(code, pos);
  ScrollMessage(false, code, pos);
}

void TVistrelView::SetScrollBars(TScrollStyle Value) {
  FScrollBars = Value;
  if (Value != ssVertical && Value != ssBoth) ShowScrollBar(SB_VERT, false);
  if (Value != ssHorizontal && Value != ssBoth) ShowScrollBar(SB_HORZ, false);
  Update();
}

bool TVistrelView::ViewScrollBarVisible(bool Horizontal) const {
  return ScrollBarVisible(Horizontal ? SB_HORZ : SB_VERT);
}

void TVistrelView::ScrollBarInfo(bool Horizontal, int& Max, int& Page, int& Pos) const {
  const int bar = Horizontal ? SB_HORZ : SB_VERT;
  int min = 0;
  GetScrollRange(bar, min, Max);
  Page = GetScrollPage(bar);
  Pos = GetScrollPos(bar);
}

void TVistrelView::Update() {
  if (ComponentState() & ~uint32_t(csDesigning)) return;
  if (!Parent()) return;
  const bool designing = (ComponentState() & csDesigning) != 0;
  // A scroll bar that appears or goes changes the client size: go again, a few times at most.
  for (int run = 0; run < kLayoutRuns; ++run) {
    if (FAutoFit && !FBitmap->Empty()) {
      FZoom = std::max(1, VLFitZoom(Width(), Height(), FBitmap->Width(), FBitmap->Height()));
      DoViewChange(kZoomChanged);
    }
    if (FBitmap->Width() != FKnownWidth || FBitmap->Height() != FKnownHeight) {
      FKnownWidth = FBitmap->Width();
      FKnownHeight = FBitmap->Height();
      DeSelect();
    }
    bool again = false;
    if (!designing) {
      int cw = ClientWidth(), ch = ClientHeight();
      int64_t mx, my;
      GetMaxViewXY(mx, my);
      bool moved = false;
      if (FViewX > mx) FViewX = mx, moved = true;
      if (FViewY > my) FViewY = my, moved = true;
      if (moved) DoViewChange(kOriginMoved);
      try {
        if (FScrollBars == ssHorizontal || FScrollBars == ssBoth) {
          if (mx < 1) ShowScrollBar(SB_HORZ, false);
          else {
            SetScrollRange(SB_HORZ, 0, ClampInt(cw + mx - 1), false);
            VLSetScrollPage(this, SB_HORZ, cw, true);
            SetScrollPos(SB_HORZ, ClampInt(FViewX), false);
            ShowScrollBar(SB_HORZ, true);
          }
        }
        if (FScrollBars == ssVertical || FScrollBars == ssBoth) {
          if (my < 1) ShowScrollBar(SB_VERT, false);
          else {
            SetScrollRange(SB_VERT, 0, ClampInt(ch + my - 1), false);
            VLSetScrollPage(this, SB_VERT, ch, true);
            SetScrollPos(SB_VERT, ClampInt(FViewY), false);
            ShowScrollBar(SB_VERT, true);
          }
        }
      } catch (...) {}
      again = ClientWidth() != cw || ClientHeight() != ch;
      if (FSelected) FOutline->Visible = true;
    }
    FZoomedWidth = VLZoomedExtent(FBitmap->Width(), FZoom);
    FZoomedHeight = VLZoomedExtent(FBitmap->Height(), FZoom);
    FOffsetX = 0;
    FOffsetY = 0;
    if (designing) {
      FDisplayedWidth = int(std::min<int64_t>(FZoomedWidth, Width()));
      FDisplayedHeight = int(std::min<int64_t>(FZoomedHeight, Height()));
    } else {
      FDisplayedWidth = int(std::min<int64_t>(FZoomedWidth, ClientWidth()));
      FDisplayedHeight = int(std::min<int64_t>(FZoomedHeight, ClientHeight()));
      if (FCenter) {
        if (FDisplayedWidth < ClientWidth()) FOffsetX = (ClientWidth() - FDisplayedWidth) / 2;
        if (FDisplayedHeight < ClientHeight()) FOffsetY = (ClientHeight() - FDisplayedHeight) / 2;
      }
    }
    if (!again) break;
  }
  FBackDirty = true;
  if (FAutoInvalidate) Invalidate();
}
