#include "vistrel/proc/cliptransfer.h"

#include <algorithm>
#include <utility>

#include "platform/gui/canvas.h"
#include "platform/gui/clipboard.h"
#include "vistrel/proc/kernels/hiddentext.h"
#include "vistrel/proc/kernels/packeddib.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/polygon.h"
#include "vistrel/proc/vistrelproc.h"

namespace {

// The polygon's part of the rectangle in a new bitmap; false when there is nothing to copy.
bool PolygonPicture(TBitmap* Bitmap, int X1, int Y1, const TPoint* Points, int Count, int Y2, int X2, TBitmap& Out) {
  if (!Bitmap || !Points || Count <= 0 || X2 <= X1 || Y2 <= Y1) return false;
  if (Bitmap->PixelFormat() != pf24bit && Bitmap->PixelFormat() != pf1bit) return false;
  VLCopyPolygonRect(Bitmap, &Out, X1, Y1, X2, Y2, Points, Count);
  return !Out.Empty();
}

}  // namespace

HGLOBAL VLPolygonToPackedDIB(TBitmap* Bitmap, int X1, int Y1, const TPoint* Points, int Count, int Y2, int X2) {
  TBitmap box;
  if (!PolygonPicture(Bitmap, X1, Y1, Points, Count, Y2, X2, box)) return nullptr;
  return VLBitmapToPackedDIB(&box, 0, 0, 0, 0);
}

std::vector<uint8_t> VLPolygonDIBBytes(TBitmap* Bitmap, int X1, int Y1, const TPoint* Points, int Count, int Y2,
                                       int X2) {
  TBitmap box;
  if (!PolygonPicture(Bitmap, X1, Y1, Points, Count, Y2, X2, box)) return {};
  return VLPackedDIBBytes(&box, 0, 0, box.Width() - 1, box.Height() - 1);
}

bool VLPutDIBOnClipboard(std::vector<uint8_t> Dib) {
  if (Dib.empty()) return false;
  // Other programs get the picture the DIB holds, read back from it.
  TBitmap picture;
  const bool readable = VLPackedDIBToBitmap(Dib.data(), &picture, nullptr, true, int64_t(Dib.size())) != 0;
  TClipboard* c = Clipboard();
  if (!c->Open()) return false;
  c->Clear();
  c->SetDIB(std::move(Dib), readable ? &picture : nullptr);
  c->Close();
  return true;
}

std::vector<uint8_t> VLTakeDIBFromClipboard() {
  TClipboard* c = Clipboard();
  if (!c->Open()) return {};
  std::vector<uint8_t> dib;
  if (c->HasFormat(CF_DIB)) dib = c->GetDIB();
  c->Close();
  return dib;
}

// ---- The processing component's clipboard and hidden-text operations ----

namespace {

// The packed DIB of an area: its rectangle, or for a polygon the polygon's part of its box.
std::vector<uint8_t> AreaDIB(TBitmap* b, int X1, int Y1, int X2, int Y2, const TPoint* Points, int Count,
                             bool Polygon) {
  if (Polygon) return VLPolygonDIBBytes(b, X1, Y1, Points, Count, Y2 + 1, X2 + 1);
  return VLPackedDIBBytes(b, X1, Y1, X2, Y2);
}

// The clipboard's picture; false (Out untouched) when there is none or it can't be read.
bool ClipboardPicture(TBitmap& Out) {
  const std::vector<uint8_t> dib = VLTakeDIBFromClipboard();
  return !dib.empty() && VLPackedDIBToBitmap(dib.data(), &Out, nullptr, true, int64_t(dib.size())) != 0;
}

}  // namespace

void TVistrelProc::CopyToClipboard() {
  if (!(Has(pf24bit) || Has(pf1bit)) || FBitmap->Empty()) return;
  VLPutDIBOnClipboard(VLPackedDIBBytes(FBitmap, 0, 0, FBitmap->Width() - 1, FBitmap->Height() - 1));
}

void TVistrelProc::CopySelectionToClipboard() {
  TArea a;
  if (!(Has(pf24bit) || Has(pf1bit)) || !GetArea(a)) return;
  VLPutDIBOnClipboard(AreaDIB(FBitmap, a.X1, a.Y1, a.X2, a.Y2, a.Points, a.Count, a.Polygon));
}

void TVistrelProc::CutSelectionToClipboard() {
  int x1, y1, x2, y2, count;
  const TPoint* points;
  TArea a;
  if (!(Has(pf24bit) || Has(pf1bit)) || !GetSelectionArea(x1, y1, x2, y2, points, count) || !GetArea(a)) return;
  // The area is cleared only once it is safe on the clipboard.
  if (!VLPutDIBOnClipboard(AreaDIB(FBitmap, a.X1, a.Y1, a.X2, a.Y2, a.Points, a.Count, a.Polygon))) return;
  if (FAutoUndo) SaveUndo();
  if (a.Polygon) {
    VLFillPolygon(FBitmap, a.Points, a.Count, Background());
  } else {
    TCanvas* c = FBitmap->Canvas();
    c->Brush()->SetColor(Background());
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(Rect(a.X1, a.Y1, a.X2 + 1, a.Y2 + 1));
  }
  RefreshTarget();
}

void TVistrelProc::ClearImage() {
  if (!Begin(true)) return;
  if (!FBitmap->Empty()) {
    TCanvas* c = FBitmap->Canvas();
    c->Brush()->SetColor(Background());
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(Rect(0, 0, FBitmap->Width(), FBitmap->Height()));
  }
  RefreshTarget();
}

void TVistrelProc::PasteFromClipboard() {
  SyncImage();
  TBitmap picture;
  if (!FBitmap || !ClipboardPicture(picture)) return;
  if (FAutoUndo) SaveUndo();
  VLCopyBitmap(&picture, FBitmap);
  if (picture.PixelFormat() == pf1bit) FBitmap->SetPalette(picture.Palette());
  RefreshTarget();
}

void TVistrelProc::PasteToSelection() {
  int x1, y1, x2, y2, count;
  const TPoint* points;
  SyncImage();
  if (!FBitmap) return;
  if (!GetSelectionArea(x1, y1, x2, y2, points, count)) return PasteFromClipboard();
  TArea a;
  TBitmap picture;
  if (!GetArea(a) || !ClipboardPicture(picture)) return;
  if (FAutoUndo) SaveUndo();
  FBitmap->Canvas()->StretchDraw(Rect(a.X1, a.Y1, a.X2 + 1, a.Y2 + 1), &picture);
  RefreshTarget();
}

int TVistrelProc::GetHiddenTextSpace() { return Has(pf24bit) ? VLHiddenTextSpace(FBitmap) : 0; }

int TVistrelProc::WriteHiddenText(const void* Data, int Length) {
  if (!Has(pf24bit) || (Length > 0 && !Data) || !VLHiddenTextFits(FBitmap, Length)) return 0;
  if (FAutoUndo) SaveUndo();
  VLWriteHiddenText(FBitmap, static_cast<const uint8_t*>(Data), Length);
  RefreshTarget();
  return Length;
}

int TVistrelProc::ReadHiddenText(void* Data, int MaxLength) {
  return Has(pf24bit) ? VLReadHiddenText(FBitmap, static_cast<uint8_t*>(Data), MaxLength) : 0;
}
