#include "vistrel/proc/vistrelproc.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gui/canvas.h"
#include "platform/gui/stdctrls.h"
#include "vistrel/proc/kernels/fourier.h"
#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/polygon.h"
#include "vistrel/proc/previews.h"
#include "vistrel/view/vistrelview.h"
#include "vistrel/view/vlutils.h"
#include "vistrel/view/vlview.h"

namespace {

// The inclusive rectangle X1..X2, Y1..Y2 (inside Source) into a new bitmap of Source's format.
void CopyRect(TBitmap* Source, TBitmap* Dest, int X1, int Y1, int X2, int Y2) {
  const int w = X2 - X1 + 1, h = Y2 - Y1 + 1;
  Dest->SetSize(0, 0);
  Dest->SetPixelFormat(Source->PixelFormat());
  Dest->SetPalette(Source->Palette());
  Dest->Allocate(w, h, Dest->PixelFormat());  // every row is written below
  const int bits = Source->BitsPerPixel();
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = Source->ScanLine(Y1 + y);
    uint8_t* d = Dest->ScanLine(y);
    if (bits % 8 == 0) {
      std::memcpy(d, s + int64_t(X1) * (bits / 8), size_t(int64_t(w) * (bits / 8)));
    } else if (bits == 1) {
      VLCopyBits(d, s, 0, w, X1);
    } else {  // 4 bits
      for (int x = 0; x < w; ++x) {
        const int sx = X1 + x;
        const uint8_t v = (sx & 1) ? uint8_t(s[sx >> 1] & 15) : uint8_t(s[sx >> 1] >> 4);
        uint8_t& b = d[x >> 1];
        b = (x & 1) ? uint8_t((b & 0xF0) | v) : uint8_t((b & 0x0F) | (v << 4));
      }
    }
  }
}

// Source's pixels into Dest as VLCopyBitmap puts them. A Dest of the same size and format
// keeps its memory, so no fresh pages are zeroed and faulted in for a picture-sized copy.
void CopyPixels(TBitmap* Source, TBitmap* Dest) {
  if (Source != Dest && !Source->Empty() && Dest->Width() == Source->Width() &&
      Dest->Height() == Source->Height() && Dest->PixelFormat() == Source->PixelFormat()) {
    std::memcpy(Dest->Bits(), Source->Bits(), size_t(Source->ImageSize()));
    return;
  }
  VLCopyBitmap(Source, Dest);
}

}  // namespace

TVistrelProc::TVistrelProc(TComponent* AOwner) : TComponent(AOwner) {
  FPreviewFont = new TFont;
  FUndo = new TBitmap;
}

TVistrelProc::~TVistrelProc() {
  RemoveViewCallback();
  delete FUndo;
  delete FPreviewFont;
}

void TVistrelProc::BeforeDestruction() {
  RemoveViewCallback();
  TComponent::BeforeDestruction();
}

// ---- Attachment ----

void TVistrelProc::RemoveViewCallback() {
  if (FAttachedVistrel) FAttachedVistrel->RemoveBitmapChangeEvent(this, &TVistrelProc::BitmapChanged);
}

void TVistrelProc::DropFreeNotifications() {
  if (FAttachedVistrel) RemoveFreeNotification(FAttachedVistrel);
  if (FAttachedTImage) RemoveFreeNotification(FAttachedTImage);
}

void TVistrelProc::SetAttachedVistrel(TVLView* View) {
  RemoveViewCallback();
  if (FAttachedVistrel && FAttachedVistrel != View) RemoveFreeNotification(FAttachedVistrel);
  if (!View && FAttachedVistrel) FBitmap = nullptr;
  FAttachedVistrel = View;
  if (View) {
    FBitmap = View->GetBitmap();
    View->FreeNotification(this);
    if (FAttachedTImage) RemoveFreeNotification(FAttachedTImage);
    FAttachedTImage = nullptr;
    View->AddBitmapChangeEvent(this, &TVistrelProc::BitmapChanged);
  }
}

void TVistrelProc::SetAttachedTImage(TImage* Image) {
  if (!Image) {
    // Only an attached image control is dropped; an attached view keeps its callback.
    if (FAttachedTImage) {
      RemoveFreeNotification(FAttachedTImage);
      FAttachedTImage = nullptr;
      FBitmap = nullptr;
    }
    return;
  }
  RemoveViewCallback();
  if (FAttachedTImage && FAttachedTImage != Image) RemoveFreeNotification(FAttachedTImage);
  FAttachedTImage = Image;
  FBitmap = Image->Picture()->Bitmap();
  Image->FreeNotification(this);
  if (FAttachedVistrel) RemoveFreeNotification(FAttachedVistrel);
  FAttachedVistrel = nullptr;
}

void TVistrelProc::SetAttachedBitmap(TBitmap* Bitmap) {
  // No bitmap while a view or an image control is attached: that one stays, and so does
  // the view's callback, so a view that replaces its bitmap still reaches the component.
  if (!Bitmap && (FAttachedVistrel || FAttachedTImage)) return;
  RemoveViewCallback();
  FBitmap = Bitmap;
  if (Bitmap) {
    DropFreeNotifications();
    FAttachedVistrel = nullptr;
    FAttachedTImage = nullptr;
  }
}

void TVistrelProc::SyncImage() {
  if (FAttachedTImage) FBitmap = FAttachedTImage->Picture()->Bitmap();
}

void TVistrelProc::BitmapChanged(TObject*) {
  if (FAttachedVistrel) FBitmap = FAttachedVistrel->GetBitmap();
}

void TVistrelProc::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove || !AComponent) return;
  if (AComponent == static_cast<TComponent*>(FAttachedVistrel)) {
    RemoveViewCallback();
    FAttachedVistrel = nullptr;
    FBitmap = nullptr;
  } else if (AComponent == static_cast<TComponent*>(FAttachedTImage)) {
    FAttachedTImage = nullptr;
    FBitmap = nullptr;
  }
}

TColor TVistrelProc::Background() const { return FAttachedVistrel ? FAttachedVistrel->Background() : FBackground; }

void TVistrelProc::SetBackground(TColor Value) {
  if (FAttachedVistrel) FAttachedVistrel->SetBackground(Value);
  else FBackground = Value;
}

void TVistrelProc::SetPreviewFont(TFont* Font) {
  if (Font) FPreviewFont->Assign(Font);
}

// ---- Undo ----

void TVistrelProc::SaveUndo() {
  SyncImage();
  if (!FBitmap) return;
  if (FBitmap->Empty()) {
    ClearUndo();
    return;
  }
  CopyPixels(FBitmap, FUndo);
  // The colour table goes with the pixels, so that Undo gives the picture back exactly.
  if (FBitmap->PixelFormat() != pf24bit) FUndo->SetPalette(FBitmap->Palette());
}

void TVistrelProc::Undo() {
  SyncImage();
  if (!FBitmap || !CanUndo()) return;
  CopyPixels(FUndo, FBitmap);
  if (FUndo->PixelFormat() != pf24bit) FBitmap->SetPalette(FUndo->Palette());
  RefreshTarget();
}

void TVistrelProc::ClearUndo() { FUndo->SetSize(1, 1); }

bool TVistrelProc::CanUndo() const { return FUndo->Width() > 1 && FUndo->Height() > 1; }

// ---- Area and refresh ----

bool TVistrelProc::GetSelectionArea(int& X1, int& Y1, int& X2, int& Y2, const TPoint*& Points, int& PointCount) {
  SyncImage();
  PointCount = 0;
  Points = nullptr;
  bool has;
  if (auto* view = dynamic_cast<TVistrelView*>(FAttachedVistrel)) {
    has = view->Selected();
    if (has) {
      X1 = view->SelX1();
      Y1 = view->SelY1();
      X2 = view->SelX2();
      Y2 = view->SelY2();
      Points = view->PolySelPoints();
      PointCount = view->PolySelCount();
    }
  } else {
    X1 = FAreaX1;
    Y1 = FAreaY1;
    X2 = FAreaX2;
    Y2 = FAreaY2;
    has = X1 >= 0;
  }
  if (has) return true;
  X1 = 0;
  Y1 = 0;
  X2 = FBitmap ? FBitmap->Width() - 1 : -1;
  Y2 = FBitmap ? FBitmap->Height() - 1 : -1;
  return false;
}

bool TVistrelProc::GetArea(TArea& Area) {
  if (!FBitmap || FBitmap->Empty()) return false;
  int x1, y1, x2, y2, count;
  const TPoint* pts;
  GetSelectionArea(x1, y1, x2, y2, pts, count);
  // A selection may reach outside the picture: only what lies inside is worked on.
  Area.X1 = std::max(x1, 0);
  Area.Y1 = std::max(y1, 0);
  Area.X2 = std::min(x2, FBitmap->Width() - 1);
  Area.Y2 = std::min(y2, FBitmap->Height() - 1);
  Area.Points = pts;
  Area.Count = count;
  Area.Polygon = count >= 1 && !VLIsRectPolygon(pts, count);
  return Area.X1 <= Area.X2 && Area.Y1 <= Area.Y2;
}

void TVistrelProc::ApplyToArea(const TArea& Area, const std::function<void(TBitmap*, int, int, int, int)>& Kernel) {
  if (!Area.Polygon) {
    Kernel(FBitmap, Area.X1, Area.Y1, Area.X2, Area.Y2);
    return;
  }
  TBitmap box;
  CopyRect(FBitmap, &box, Area.X1, Area.Y1, Area.X2, Area.Y2);
  Kernel(&box, 0, 0, box.Width() - 1, box.Height() - 1);
  VLDrawClippedToPolygon(FBitmap, &box, Area.X1, Area.Y1, Area.Points, Area.Count);
}

void TVistrelProc::RefreshTarget() {
  SyncImage();
  if (FAttachedVistrel) {
    FAttachedVistrel->Update();
    FAttachedVistrel->ImageChange();
  } else if (FBitmap) {
    FBitmap->Changed();
  }
}

bool TVistrelProc::Begin(bool Handled) {
  SyncImage();
  if (!FBitmap || !Handled) return false;
  if (FAutoUndo) SaveUndo();
  return true;
}

// ---- Geometry ----

void TVistrelProc::ResizeCanvas(int Width, int Height) {
  if (Width < 1 || Height < 1 || !Begin(true)) return;
  const TColor bg = Background();
  FBitmap->Canvas()->Brush()->SetColor(bg);
  VLResizeCanvas(FBitmap, Width, Height, bg);
  RefreshTarget();
}

void TVistrelProc::Resample(int Width, int Height, TResampleFilter Filter) {
  if (!Begin(true)) return;
  if (Width < 0 && Height < 0) return;
  VLResampleToSize(FBitmap, Width, Height, Filter, OnProgress, this);
  RefreshTarget();
}

void TVistrelProc::Rotate(int Angle, bool AntiAlias) {
  if (!Begin(Has(pf24bit) || Has(pf1bit))) return;
  VLRotateBitmap(FBitmap, Angle, AntiAlias, Background(), OnProgress, this);
  RefreshTarget();
}

void TVistrelProc::Flip(uint8_t Direction) {
  if (!Begin(Has(pf24bit) || Has(pf1bit))) return;
  VLFlip(FBitmap, Direction);
  RefreshTarget();
}

// ---- Colour and tone ----

void TVistrelProc::ConvertToGray() {
  TArea a;
  if (!Has(pf24bit) || !GetArea(a) || !Begin(true)) return;
  ApplyToArea(a,
              [this](TBitmap* b, int x1, int y1, int x2, int y2) { VLGrayRect(b, x1, y1, x2, y2, OnProgress, this); });
  RefreshTarget();
}

void TVistrelProc::Negative() {
  TArea a;
  if (!(Has(pf24bit) || Has(pf1bit)) || !GetArea(a) || !Begin(true)) return;
  ApplyToArea(
      a, [this](TBitmap* b, int x1, int y1, int x2, int y2) { VLNegativeRect(b, x1, y1, x2, y2, OnProgress, this); });
  RefreshTarget();
}

void TVistrelProc::Merge(TBitmap* Graphic, int Percent) {
  TArea a;
  if (!Graphic || Graphic->Empty() || !Has(pf24bit) || !GetArea(a) || !Begin(true)) return;
  // The graphic may be the picture itself: blend from a copy of it.
  TBitmap own;
  if (Graphic == FBitmap) {
    VLCopyBitmap(FBitmap, &own);
    Graphic = &own;
  }
  ApplyToArea(a, [this, Graphic, Percent](TBitmap* b, int x1, int y1, int x2, int y2) {
    VLMergeRect(b, Graphic, Percent, x1, y1, x2, y2, OnProgress, this);
  });
  RefreshTarget();
}

void TVistrelProc::GetHistogram(TVLHistogram& Histogram) {
  Histogram.fill(TVLHistogramEntry{});
  TArea a;
  if (!Has(pf24bit) || !GetArea(a)) return;
  VLCalcHistogram(FBitmap, Histogram, a.X1, a.Y1, a.X2, a.Y2);
}

int TVistrelProc::CalcColorCount() {
  if (Has(pf1bit)) return 2;
  TArea a;
  if (!Has(pf24bit) || !GetArea(a)) return 0;
  return VLCountColors(FBitmap, a.X1, a.Y1, a.X2, a.Y2);
}

void TVistrelProc::ReduceColors(int N) {
  if (!Begin(Has(pf24bit))) return;
  // Two colours or fewer: the ordered dither to 1 bit.
  VLReduceColors(FBitmap, N, nullptr, OnProgress, this);
  RefreshTarget();
}

void TVistrelProc::ReduceColorsToPalette(int N, TRGB* Palette) {
  if (!Begin(Has(pf24bit))) return;
  VLReduceColors(FBitmap, N, Palette, OnProgress, this);
  RefreshTarget();
}

void TVistrelProc::ConvertToBWOrdered() {
  if (!Begin(Has(pf24bit))) return;
  VLDitherOrderedTo1Bit(FBitmap, OnProgress, this);
  RefreshTarget();
}

void TVistrelProc::ConvertToBWThreshold(int Threshold) {
  if (!Begin(Has(pf24bit))) return;
  VLThresholdTo1Bit(FBitmap, Threshold, OnProgress, this);
  RefreshTarget();
}

void TVistrelProc::ConvertToTrueColor() {
  if (!Begin(Has(pf1bit))) return;
  VLConvertToTrueColor(FBitmap, OnProgress, this);
  RefreshTarget();
}

void TVistrelProc::GetHSVChannels(TBitmap* H, TBitmap* S, TBitmap* V) {
  if (!H || !S || !V || !Has(pf24bit)) return;
  VLSplitHSV(FBitmap, H, S, V, OnProgress, this);
}

// ---- Effects and Fourier images ----

bool TVistrelProc::DoPreviews(uint16_t Pages) {
  SyncImage();
  if (!FBitmap || FBitmap->PixelFormat() != pf24bit || FBitmap->Width() < 2 || FBitmap->Height() < 2) return false;
  TArea a;
  if (!GetArea(a)) return false;
  // The polygon belongs to the view; keep it as it is now.
  const std::vector<TPoint> polygon(a.Points, a.Points + (a.Polygon ? a.Count : 0));
  auto* f = new TfPreviews(this);
  bool ok = false;
  try {
    f->DefaultLockPreview = (FPreviewsParams & prppDefaultLockPreview) != 0;
    f->SetLanguage(FMsgLanguage);
    f->SetDialogFont(FPreviewFont);
    f->FinalProgress = OnProgress;
    f->FinalSender = this;
    CopyRect(FBitmap, f->Vistrel1->Bitmap(), a.X1, a.Y1, a.X2, a.Y2);
    f->Vistrel1->Update();
    f->Pages = Pages;
    if (OnPreview) OnPreview(this, f);
    ok = f->ShowModal() == mrOk;
    if (ok) {
      if (FAutoUndo) SaveUndo();
      TBitmap* result = f->Vistrel1->Bitmap();
      if (a.Polygon) {
        VLDrawClippedToPolygon(FBitmap, result, a.X1, a.Y1, polygon.data(), int(polygon.size()));
      } else {
        // The whole picture may come back with another size (rotated); a part of it is
        // drawn at its place, cut to the picture.
        const bool whole = a.X1 == 0 && a.Y1 == 0 && a.X2 == FBitmap->Width() - 1 && a.Y2 == FBitmap->Height() - 1;
        if (whole && (result->Width() != FBitmap->Width() || result->Height() != FBitmap->Height()))
          FBitmap->SetSize(result->Width(), result->Height());
        FBitmap->Canvas()->Draw(a.X1, a.Y1, result);
      }
      RefreshTarget();
    }
  } catch (...) {
    f->Release();
    throw;
  }
  f->Release();
  return ok;
}

void TVistrelProc::FtShowSpectrum(TVLFtImage* Image) {
  SyncImage();
  if (!Image || !FBitmap) return;
  Image->DrawSpectrum(FBitmap);
  RefreshTarget();
}

void TVistrelProc::FtRestore(TVLFtImage* Image) {
  SyncImage();
  if (!Image || !FBitmap) return;
  Image->GetInverse(FBitmap);
  RefreshTarget();
}
