#include "vistrel/io/vistrelmview.h"

#include <algorithm>
#include <cstring>

#include "vistrel/io/vistrelio.h"
#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/kernels/packeddib.h"
#include "vistrel/view/vlutils.h"

namespace {

constexpr int kMinFrameDelay = 10;  // ms

int ClampInt(int64_t v) { return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Integer division that a zero or negative divisor can't break: nothing fits then.
int64_t FitCount(int64_t space, int64_t step) { return step > 0 ? space / step : 0; }

// A copy of Source as pf24bit (other formats through their palette).
void To24(TBitmap* Source, TBitmap& Dest) {
  Dest.Assign(Source);
  Dest.SetPixelFormat(pf24bit);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

TVistrelMView::TVistrelMView(TComponent* AOwner) : TVLView(AOwner) {
  FIO = new TVistrelIO(this);
  FTimer = new TTimer(this);
  FTimer->SetEnabled(false);
  FTimer->OnTimer = [this](TObject*) { PlayStep(); };
  SetBounds(Left(), Top(), 180, 90);
}

TVistrelMView::~TVistrelMView() {
  // Attached components let go while the view is whole; the items then go without telling.
  NotifyAttached();
  FTimer->SetEnabled(false);
  FTimer->OnTimer = nullptr;
  FPlaying = false;
  FSelected = -1;
  FItems.clear();
}

void TVistrelMView::Assign(TPersistent*) {}

TBitmap* TVistrelMView::GetBitmap() {
  if (!Valid(FSelected)) return nullptr;
  return FItems[size_t(FSelected)]->Bitmap.get();
}

void TVistrelMView::SetBackground(TColor Value) {
  TVLView::SetBackground(Value);
  Update();
}

void TVistrelMView::DoViewChange(int Change) {
  if (OnViewChange) OnViewChange(this, Change);
}

void TVistrelMView::CallRegistry() {
  FNotifiedBitmap = GetBitmap();
  CallBitmapChangeEvents();
}

void TVistrelMView::NotifyBitmapChange() {
  if (GetBitmap() != FNotifiedBitmap) CallRegistry();
}

// ---------------------------------------------------------------------------------------------
// Pictures

void TVistrelMView::StorePicture(int Index, TBitmap* Bitmap) {
  TItem& it = *FItems[size_t(Index)];
  std::vector<uint8_t>().swap(it.DIB);
  it.Bitmap.reset();
  it.LockCount = 0;
  if (!Bitmap || Bitmap->Empty()) return;
  TBitmap converted;
  TBitmap* src = Bitmap;
  if (src->PixelFormat() != pf24bit && src->PixelFormat() != pf1bit) {
    To24(src, converted);
    src = &converted;
  }
  if (FStoreType == vltThumb) {
    // Fitted into the cell with its aspect kept, and never below one pixel a side.
    const long double w = src->Width(), h = src->Height();
    const long double scale = std::min<long double>(FThumbHeight / h, FThumbWidth / w);
    if (scale <= 0) return;
    const int nw = std::max(1, TruncInt(w * scale)), nh = std::max(1, TruncInt(h * scale));
    TBitmap thumb;
    thumb.SetPixelFormat(src->PixelFormat());
    thumb.SetSize(nw, nh);
    VLStretchHalftone(src, &thumb);
    it.DIB = VLPackedDIBBytes(&thumb, 0, 0, nw - 1, nh - 1);
  } else {
    it.DIB = VLPackedDIBBytes(src, 0, 0, src->Width() - 1, src->Height() - 1);
  }
}

TBitmap* TVistrelMView::Lock(int Index) {
  TItem& it = *FItems[size_t(Index)];
  if (it.LockCount > 0) {
    ++it.LockCount;
    return it.Bitmap.get();
  }
  if (it.DIB.empty()) LoadOnDemand(Index);
  if (!Valid(Index) || FItems[size_t(Index)].get() != &it) return nullptr;  // a handler removed it
  // Without a picture the item stays unlocked.
  if (it.DIB.empty() || it.LockCount > 0) return it.Bitmap.get();
  auto b = std::make_unique<TBitmap>();
  if (VLPackedDIBToBitmap(it.DIB.data(), b.get(), nullptr, true, int64_t(it.DIB.size())) == 0) return nullptr;
  std::vector<uint8_t>().swap(it.DIB);
  it.Bitmap = std::move(b);
  it.LockCount = 1;
  return it.Bitmap.get();
}

void TVistrelMView::Unlock(int Index) {
  if (!Valid(Index)) return;
  TItem& it = *FItems[size_t(Index)];
  if (it.LockCount <= 0) return;
  if (--it.LockCount > 0 || !it.Bitmap) return;
  // Whatever was done to the picture meanwhile stays; formats the packing can't hold go
  // through 24 bits.
  TBitmap* b = it.Bitmap.get();
  TBitmap converted;
  if (b->PixelFormat() != pf24bit && b->PixelFormat() != pf1bit) {
    To24(b, converted);
    b = &converted;
  }
  if (!b->Empty()) it.DIB = VLPackedDIBBytes(b, 0, 0, b->Width() - 1, b->Height() - 1);
  it.Bitmap.reset();
}

void TVistrelMView::Select(int Index) {
  if (FPlaying || !Valid(Index)) return;
  if (Valid(FSelected)) Unlock(FSelected);
  FSelected = Index;
  Lock(Index);
}

void TVistrelMView::LoadOnDemand(int Index) {
  TItem& it = *FItems[size_t(Index)];
  if (it.ImageID >= 0 && OnImageIDRequest) {
    TBitmap* b = nullptr;
    OnImageIDRequest(this, it.ImageID, b);
    if (Valid(Index) && FItems[size_t(Index)].get() == &it && b) StorePicture(Index, b);
    return;
  }
  if (it.FileName.empty()) return;
  TBitmap tmp;
  tmp.SetSize(1, 1);
  tmp.SetPixelFormat(pf24bit);
  FIO->SetAttachedBitmap(&tmp);
  FIO->SetBackground(it.Background);
  FIO->OnProgress = OnIOProgress;
  TIOParamsVals* p = FIO->Params();
  if (FStoreType == vltThumb) {
    // JPEG files decode at a reduced scale near the cell size.
    p->JPEGScale = 0;
    p->Width = FThumbWidth;
    p->Height = FThumbHeight;
  } else {
    p->JPEGScale = 1;
  }
  bool read = false;
  try {
    FIO->LoadFromFile(it.FileName);
    // A read that failed before any pixel leaves the placeholder alone: no picture then.
    read = !FIO->Aborting() || tmp.Width() != 1 || tmp.Height() != 1;
  } catch (const std::exception&) {
    read = false;  // a file that can't be opened gives no picture
  }
  FIO->SetAttachedBitmap(nullptr);
  FIO->OnProgress = nullptr;
  if (!Valid(Index) || FItems[size_t(Index)].get() != &it) return;
  it.Background = FIO->Background();
  if (read) StorePicture(Index, &tmp);
}

// ---------------------------------------------------------------------------------------------
// Items

void TVistrelMView::InsertImage(int Index) {
  SetPlaying(false);
  auto item = std::make_unique<TItem>();
  item->Background = Background();
  const int count = ImageCount();
  if (Index >= count) Index = count;
  if (Index < 0) Index = 0;
  FItems.insert(FItems.begin() + Index, std::move(item));
  // The locked item moved one place on.
  if (FSelected >= Index) ++FSelected;
  Select(Index);
  FLastChange = 1;
  FLastChangeIndex = Index;
  CallRegistry();
  Update();
}

void TVistrelMView::DeleteImage(int Index) {
  SetPlaying(false);
  if (!Valid(Index)) return;
  const int old = FSelected;
  Deselect();
  FItems.erase(FItems.begin() + Index);
  const int count = ImageCount();
  int sel = old;
  if (old == Index && Index == count) sel = count - 1;
  else if (old > Index) sel = old - 1;
  Select(sel);
  FLastChange = 2;
  FLastChangeIndex = Index;
  CallRegistry();
  Update();
}

void TVistrelMView::Clear() {
  Deselect();
  Update();
  // From the last item, laid out once: each deletion then costs the same, however many there are.
  BeginUpdate();
  try {
    while (!FItems.empty()) DeleteImage(ImageCount() - 1);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  Update();
}

void TVistrelMView::SetImage(int Index, TBitmap* Bitmap) {
  if (!Valid(Index)) return;
  StorePicture(Index, Bitmap);
  if (Index == FSelected) Lock(Index);
  Update();
  NotifyBitmapChange();
}

void TVistrelMView::SetImageBackground(int Index, TColor Color) {
  if (!Valid(Index)) return;
  FItems[size_t(Index)]->Background = Color;
  Update();
}

TColor TVistrelMView::ImageBackground(int Index) const {
  return Valid(Index) ? FItems[size_t(Index)]->Background : Background();
}

void TVistrelMView::SetImageDelayTime(int Index, int Milliseconds) {
  if (Valid(Index)) FItems[size_t(Index)]->DelayTime = Milliseconds;
}

int TVistrelMView::ImageDelayTime(int Index) const { return Valid(Index) ? FItems[size_t(Index)]->DelayTime : 0; }

void TVistrelMView::SetImageID(int Index, int ID) {
  if (Valid(Index)) FItems[size_t(Index)]->ImageID = ID;
}

int TVistrelMView::ImageID(int Index) const { return Valid(Index) ? FItems[size_t(Index)]->ImageID : -1; }

void TVistrelMView::SetImageFileName(int Index, const std::string& FileName) {
  if (Valid(Index)) FItems[size_t(Index)]->FileName = FileName;
}

std::string TVistrelMView::ImageFileName(int Index) const {
  return Valid(Index) ? FItems[size_t(Index)]->FileName : std::string();
}

bool TVistrelMView::HasImage(int Index) const {
  return Valid(Index) && (!FItems[size_t(Index)]->DIB.empty() || FItems[size_t(Index)]->Bitmap);
}

int64_t TVistrelMView::ImageX(int Index) const { return Valid(Index) ? FItems[size_t(Index)]->X : 0; }
int64_t TVistrelMView::ImageY(int Index) const { return Valid(Index) ? FItems[size_t(Index)]->Y : 0; }
int TVistrelMView::ImageRow(int Index) const { return Valid(Index) ? FItems[size_t(Index)]->Row : 0; }
int TVistrelMView::ImageCol(int Index) const { return Valid(Index) ? FItems[size_t(Index)]->Col : 0; }

int TVistrelMView::LastChange() {
  const int r = FLastChange;
  FLastChange = 0;
  return r;
}

// ---------------------------------------------------------------------------------------------
// Selection

void TVistrelMView::SelectImage(int Index) {
  if (FPlaying) return;
  Select(Index);
  if (OnImageSelect) OnImageSelect(this, FSelected);
  Update();
  NotifyBitmapChange();
}

void TVistrelMView::Deselect() {
  if (Valid(FSelected)) Unlock(FSelected);
  FSelected = -1;
  Update();
  NotifyBitmapChange();
}

int TVistrelMView::ShownItem() const {
  if (FItems.empty()) return -1;
  // Single display shows the frame being played, else the selected picture.
  if (!FPlaying && Valid(FSelected)) return FSelected;
  return std::clamp(FCurrentFrame, 0, ImageCount() - 1);
}

int TVistrelMView::ImageAtPos(int X, int Y) const {
  auto holds = [&](const TItem& it) {
    const int64_t l = it.X - FViewX, t = it.Y - FViewY;
    return X >= l && X <= l + FThumbWidth - 1 && Y >= t && Y <= t + FThumbHeight - 1;
  };
  if (FDisplayMode == mdSingle) {
    // Every item shares the first cell; the one on show is the one there.
    const int shown = ShownItem();
    return shown >= 0 && holds(*FItems[size_t(shown)]) ? shown : -1;
  }
  for (size_t i = 0; i < FItems.size(); ++i)
    if (holds(*FItems[i])) return int(i);
  return -1;
}

bool TVistrelMView::CellWhollyVisible(int Index) const {
  const TItem& it = *FItems[size_t(Index)];
  const int64_t l = it.X - FViewX, t = it.Y - FViewY;
  return l >= 0 && t >= 0 && l + FThumbWidth <= ClientWidth() && t + FThumbHeight <= ClientHeight();
}

void TVistrelMView::ShowTop() {
  if (!Valid(FSelected) || CellWhollyVisible(FSelected)) return;
  SetViewY(FItems[size_t(FSelected)]->Y - FVertBorder);
  if (!CellWhollyVisible(FSelected)) SetViewX(FItems[size_t(FSelected)]->X - FHorizBorder);
}

void TVistrelMView::ShowBottom() {
  if (!Valid(FSelected) || CellWhollyVisible(FSelected)) return;
  SetViewY(FItems[size_t(FSelected)]->Y + FThumbHeight + FVertBorder - ClientHeight());
  if (!CellWhollyVisible(FSelected))
    SetViewX(FItems[size_t(FSelected)]->X + FThumbWidth + FHorizBorder - ClientWidth());
}

void TVistrelMView::MoveSelection(int Kind) {
  const int count = ImageCount();
  if (count == 0) return;
  const int64_t S = FSelected;
  const int64_t N = Columns();
  const int64_t P = N * FitCount(int64_t(ClientHeight()) - FVertBorder, int64_t(FVertBorder) + FThumbHeight);
  const bool needsSelection = Kind != mmkHome && Kind != mmkEnd;
  if (needsSelection && S < 0) return;
  // Targets outside the items select nothing new (SelectImage ignores them).
  auto target = [](int64_t t) { return int(std::clamp<int64_t>(t, -1, INT32_MAX)); };
  switch (Kind) {
    case mmkLeft:
      SelectImage(target(S - 1));
      if (Valid(FSelected) && !CellWhollyVisible(FSelected))
        SetViewXY(FItems[size_t(FSelected)]->X - FHorizBorder, FItems[size_t(FSelected)]->Y - FVertBorder);
      break;
    case mmkRight:
      SelectImage(target(S + 1));
      if (Valid(FSelected) && !CellWhollyVisible(FSelected))
        SetViewXY(FItems[size_t(FSelected)]->X + FThumbWidth + FHorizBorder - ClientWidth(),
                  FItems[size_t(FSelected)]->Y + FThumbHeight + FVertBorder - ClientHeight());
      break;
    case mmkUp:
      SelectImage(target(FGridWidth != 0 ? std::max<int64_t>(S - N, 0) : S - 1));
      ShowTop();
      break;
    case mmkPageUp:
      SelectImage(target(S - P));
      ShowTop();
      break;
    case mmkDown:
      SelectImage(target(FGridWidth != 0 ? std::min<int64_t>(N + S, count - 1) : S + 1));
      ShowBottom();
      break;
    case mmkEnd:
      SelectImage(count - 1);
      ShowBottom();
      break;
    case mmkPageDown:
      SelectImage(target(S + P));
      ShowBottom();
      break;
    case mmkHome:
      SelectImage(0);
      if (Valid(FSelected) && !CellWhollyVisible(FSelected)) SetViewXY(0, 0);
      break;
    default: break;
  }
}

// ---------------------------------------------------------------------------------------------
// Playback

void TVistrelMView::SetPlaying(bool On) {
  if (On == FPlaying) return;
  if (On) {
    FSavedDisplayMode = FDisplayMode;
    FSavedSelected = FSelected;
    Deselect();
  }
  FPlaying = On;
  PlayStep();
  if (!On) {
    FDisplayMode = FSavedDisplayMode;
    SelectImage(FSavedSelected);
  }
}

void TVistrelMView::PlayStep() {
  if (FStepping || Destroying()) return;
  FStepping = true;
  struct TGuard {
    bool& f;
    ~TGuard() { f = false; }
  } guard{FStepping};
  FTimer->SetEnabled(false);
  if (!FPlaying) return;
  if (FDisplayMode != mdSingle) {
    FDisplayMode = mdSingle;
    Update();
  }
  const int count = ImageCount();
  FCurrentFrame = std::min(FCurrentFrame, count - 1);
  if (count == 0) return;
  FCurrentFrame = std::max(FCurrentFrame, 0);
  const int shown = FCurrentFrame;
  Paint();
  FNeedPaint = false;
  if (shown == count - 1) {
    FCurrentFrame = 0;
    CallRegistry();
  } else {
    FCurrentFrame = shown + 1;
  }
  FTimer->SetInterval(unsigned(std::max(FItems[size_t(shown)]->DelayTime, kMinFrameDelay)));
  FTimer->SetEnabled(true);
}

// ---------------------------------------------------------------------------------------------
// Properties

void TVistrelMView::SetScrollBars(TScrollStyle Value) {
  FScrollBars = Value;
  if (!Parent()) return;
  // Update shows each allowed bar again when it is needed.
  ShowScrollBar(SB_HORZ, false);
  ShowScrollBar(SB_VERT, false);
  Update();
}

void TVistrelMView::SetThumbWidth(int Value) {
  FThumbWidth = Value;
  Update();
}
void TVistrelMView::SetThumbHeight(int Value) {
  FThumbHeight = Value;
  Update();
}
void TVistrelMView::SetHorizBorder(int Value) {
  FHorizBorder = Value;
  Update();
}
void TVistrelMView::SetVertBorder(int Value) {
  FVertBorder = Value;
  Update();
}
void TVistrelMView::SetBottomGap(int Value) {
  FBottomGap = Value;
  Update();
}
void TVistrelMView::SetUpperGap(int Value) {
  FUpperGap = Value;
  Update();
}
void TVistrelMView::SetGridWidth(int Value) {
  FGridWidth = Value;
  Update();
}
void TVistrelMView::SetVisibleSelection(bool Value) {
  FVisibleSelection = Value;
  Update();
}
void TVistrelMView::SetSelectionWidth(int Value) {
  FSelectionWidth = Value;
  Update();
}
void TVistrelMView::SetSelectionColor(TColor Value) {
  FSelectionColor = Value;
  Update();
}

void TVistrelMView::SetDisplayMode(TVLMDisplayMode Value) {
  if (FPlaying) {
    FSavedDisplayMode = Value;
    return;
  }
  FDisplayMode = Value;
  Update();
}

// ---------------------------------------------------------------------------------------------
// Geometry

int64_t TVistrelMView::Columns() const {
  if (FGridWidth != -1) return FGridWidth;
  return FitCount(int64_t(ClientWidth()) - FHorizBorder, int64_t(FHorizBorder) + FThumbWidth);
}

void TVistrelMView::Layout() {
  const int64_t columns = Columns();
  const int64_t stepX = int64_t(FThumbWidth) + FHorizBorder, stepY = int64_t(FThumbHeight) + FVertBorder;
  int64_t col = 0, row = 0, maxX = 0, maxY = 0;
  for (auto& it : FItems) {
    it->X = FHorizBorder + col * stepX;
    it->Y = FVertBorder + row * stepY;
    it->Row = ClampInt(row);
    it->Col = ClampInt(col);
    maxX = std::max(maxX, it->X);
    maxY = std::max(maxY, it->Y);
    if (FDisplayMode == mdSingle) {
      col = row = 0;
    } else if (++col == columns) {
      col = 0;
      ++row;
    }
  }
  FContentWidth = maxX + FThumbWidth + FHorizBorder;
  FContentHeight = maxY + FThumbHeight + FVertBorder;
  FMaxViewX = std::max<int64_t>(FContentWidth - ClientWidth(), 0);
  FMaxViewY = std::max<int64_t>(FContentHeight - ClientHeight(), 0);
}

void TVistrelMView::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Update();
}

void TVistrelMView::Update() {
  if (FUpdateCount > 0) return;
  if (ComponentState() & ~uint32_t(csDesigning)) return;
  if (!Parent()) return;
  if (ComponentState() & csDesigning) {
    Invalidate();
    return;
  }
  // A scroll bar that appears or goes changes the client size: go again, a few times at most.
  for (int run = 0; run < 4; ++run) {
    const int cw = ClientWidth(), ch = ClientHeight();
    Layout();
    if (FViewX > FMaxViewX || FViewY > FMaxViewY) {
      FViewX = std::min(FViewX, FMaxViewX);
      FViewY = std::min(FViewY, FMaxViewY);
      DoViewChange(0);
    }
    try {
      if (FScrollBars == ssHorizontal || FScrollBars == ssBoth) {
        if (FMaxViewX == 0) ShowScrollBar(SB_HORZ, false);
        else {
          SetScrollRange(SB_HORZ, 0, ClampInt(cw + FMaxViewX - 1), false);
          VLSetScrollPage(this, SB_HORZ, cw, true);
          SetScrollPos(SB_HORZ, ClampInt(FViewX), false);
          ShowScrollBar(SB_HORZ, true);
        }
      }
      if (FScrollBars == ssVertical || FScrollBars == ssBoth) {
        if (FMaxViewY == 0) ShowScrollBar(SB_VERT, false);
        else {
          SetScrollRange(SB_VERT, 0, ClampInt(ch + FMaxViewY - 1), false);
          VLSetScrollPage(this, SB_VERT, ch, true);
          SetScrollPos(SB_VERT, ClampInt(FViewY), false);
          ShowScrollBar(SB_VERT, true);
        }
      }
    } catch (...) {}
    if (ClientWidth() == cw && ClientHeight() == ch) break;
  }
  CallRegistry();
  Invalidate();
}

void TVistrelMView::SetViewXY(int64_t X, int64_t Y) {
  FViewX = std::clamp<int64_t>(X, 0, FMaxViewX);
  FViewY = std::clamp<int64_t>(Y, 0, FMaxViewY);
  Invalidate();
  if (ScrollBarVisible(SB_HORZ)) SetScrollPos(SB_HORZ, ClampInt(FViewX), true);
  if (ScrollBarVisible(SB_VERT)) SetScrollPos(SB_VERT, ClampInt(FViewY), true);
}

void TVistrelMView::SetViewX(int64_t X) { SetViewXY(X, FViewY); }
void TVistrelMView::SetViewY(int64_t Y) { SetViewXY(FViewX, Y); }

void TVistrelMView::ScrollMessage(bool Horizontal, int Code, int Pos) {
  const int64_t origin = Horizontal ? FViewX : FViewY;
  const int64_t page = Horizontal ? FThumbWidth : FThumbHeight;
  int64_t v = origin;
  switch (Code) {
    case SB_LINEUP: v = origin - 1; break;
    case SB_LINEDOWN: v = origin + 1; break;
    case SB_PAGEUP: v = origin - page; break;
    case SB_PAGEDOWN: v = origin + page; break;
    case SB_THUMBTRACK: v = Pos; break;
    case SB_TOP: v = 0; break;
    case SB_BOTTOM: v = Horizontal ? FMaxViewX : FMaxViewY; break;
    default: break;
  }
  if (Horizontal) SetViewX(v);
  else SetViewY(v);
}

void TVistrelMView::WMHScroll(int code, int pos) {
  TVLView::WMHScroll(code, pos);
  ScrollMessage(true, code, pos);
}

void TVistrelMView::WMVScroll(int code, int pos) {
  TVLView::WMVScroll(code, pos);
  ScrollMessage(false, code, pos);
}

void TVistrelMView::Resize() {
  TVLView::Resize();
  Update();
}

// ---------------------------------------------------------------------------------------------
// Mouse, keys, focus

void TVistrelMView::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TVLView::MouseDown(Button, Shift, X, Y);
  if (CanFocus()) SetFocus();
  FPressPoint = Point(X, Y);
  FPressViewX = FViewX;
  FPressViewY = FViewY;
}

void TVistrelMView::MouseMove(TShiftState Shift, int X, int Y) {
  TVLView::MouseMove(Shift, X, Y);
  if (MouseCapture() && (FMouseInteract & mmiScroll))
    SetViewXY(FPressViewX + FPressPoint.X - X, FPressViewY + FPressPoint.Y - Y);
}

void TVistrelMView::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TVLView::MouseUp(Button, Shift, X, Y);
  if (FPlaying) return;
  if (FMouseInteract & mmiSelect) {
    Select(ImageAtPos(X, Y));
    if (FVisibleSelection) Invalidate();
    if (OnImageSelect) OnImageSelect(this, FSelected);
    CallRegistry();
  }
  if (FMouseInteract & mmiScroll) SetViewXY(FPressViewX + FPressPoint.X - X, FPressViewY + FPressPoint.Y - Y);
}

void TVistrelMView::KeyDown(Word& Key, TShiftState Shift) {
  TVLView::KeyDown(Key, Shift);
  if (FPlaying) return;
  int kind = -1;
  switch (Key) {
    case VK_LEFT: kind = mmkLeft; break;
    case VK_RIGHT: kind = mmkRight; break;
    case VK_UP: kind = mmkUp; break;
    case VK_DOWN: kind = mmkDown; break;
    case VK_HOME: kind = mmkHome; break;
    case VK_END: kind = mmkEnd; break;
    case VK_NEXT: kind = mmkPageDown; break;
    case VK_PRIOR: kind = mmkPageUp; break;
    default: break;
  }
  if (kind >= 0) MoveSelection(kind);
  Update();
}

void TVistrelMView::DoEnter() {
  TVLView::DoEnter();
  Invalidate();  // the selection frame is wider with the focus
}

void TVistrelMView::DoExit() {
  TVLView::DoExit();
  Invalidate();
}
