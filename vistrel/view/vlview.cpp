#include "vistrel/view/vlview.h"

#include <algorithm>

TVLView::TVLView(TComponent* AOwner) : TCustomControl(AOwner), FAlive(std::make_shared<bool>(true)) {
  FControlStyle |= csAcceptsControls | csOpaque | csReplicatable;
  if (!NewStyleControls) FControlStyle |= csFramed;
  FParentCtl3D = true;
  SetBackground(clBtnFace);
  FBorderStyle = bsSingle;
  RecreateWnd();
}

TVLView::~TVLView() {
  // Attached components hear of the end while the registry still stands; what is left in
  // it then is dropped without being called.
  NotifyAttached();
  *FAlive = false;
  FBitmapChangeEvents.clear();
}

void TVLView::SetBackground(TColor Value) { FBackground = Value; }

void TVLView::SetBorderStyle(TBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  RecreateWnd();
}

void TVLView::SetCtl3D(bool Value) {
  if (Value == FCtl3D) return;
  FCtl3D = Value;
  RecreateWnd();
}

void TVLView::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  ++FWindowCreations;
  if (FBorderStyle == bsSingle) {
    if (NewStyleControls && FCtl3D) Params.ExStyle |= WS_EX_CLIENTEDGE;
    else Params.Style |= WS_BORDER;
  }
  Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

TBitmap* TVLView::GetBitmap() { return nullptr; }
void TVLView::SetDpiX(int Value) { FDpiX = Value; }
void TVLView::SetDpiY(int Value) { FDpiY = Value; }
void TVLView::SetDpi(int X, int Y) {
  SetDpiX(X);
  SetDpiY(Y);
}
void TVLView::ImageChange() {}

int TVLView::AddBitmapChangeEvent(const TVLMethod& m) {
  FBitmapChangeEvents.push_back(std::make_shared<TVLMethod>(m));
  return int(FBitmapChangeEvents.size()) - 1;
}

void TVLView::RemoveBitmapChangeEvent(const TVLMethod& m) {
  for (auto it = FBitmapChangeEvents.begin(); it != FBitmapChangeEvents.end(); ++it) {
    if (*it && (*it)->Same(m)) {
      FBitmapChangeEvents.erase(it);
      return;
    }
  }
}

void TVLView::CallBitmapChangeEvents() {
  // A snapshot: callbacks may attach, detach or free components while it runs. A record
  // removed meanwhile is not called, and the walk stops if the view itself goes away.
  std::vector<std::shared_ptr<TVLMethod>> snapshot = FBitmapChangeEvents;
  std::shared_ptr<bool> alive = FAlive;
  for (auto& rec : snapshot) {
    if (!*alive) return;
    if (!rec || rec->Empty()) continue;
    if (std::find(FBitmapChangeEvents.begin(), FBitmapChangeEvents.end(), rec) == FBitmapChangeEvents.end()) continue;
    auto call = rec->Call;
    call(this);
  }
}
