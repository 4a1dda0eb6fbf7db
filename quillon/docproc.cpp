#include "quillon/docproc.h"

#include "vistrel/proc/kernels/color.h"
#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/kernels/pixels.h"

namespace quillon {

TDocProc::TDocProc(TComponent* AOwner) : TComponent(AOwner) {}

TDocProc::~TDocProc() {
  SetAttachedVistrel(nullptr);
  delete FUndo;
}

void TDocProc::SetAttachedVistrel(TVistrelView* View) {
  if (FView) FView->RemoveFreeNotification(this);
  FView = View;
  if (FView) FView->FreeNotification(this);
}

void TDocProc::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FView) FView = nullptr;
}

TBitmap* TDocProc::Bmp() const {
  if (!FView) return nullptr;
  TBitmap* b = FView->Bitmap();
  if (!b || b->Empty()) return nullptr;
  return b;
}

void TDocProc::Area(int& X1, int& Y1, int& X2, int& Y2) const {
  TBitmap* b = Bmp();
  X1 = 0;
  Y1 = 0;
  X2 = b->Width() - 1;
  Y2 = b->Height() - 1;
  if (FView->Selected()) {
    int a, c, d, e;
    if (FView->SelectionBox(a, c, d, e)) X1 = a, Y1 = c, X2 = d, Y2 = e;
  }
}

void TDocProc::Done() {
  if (!FView) return;
  FView->Update();
  FView->ImageChange();
}

void TDocProc::SaveUndo() {
  TBitmap* b = Bmp();
  if (!b) return;
  if (!FUndo) FUndo = new TBitmap;
  VLCopyBitmap(b, FUndo);
}

void TDocProc::Undo() {
  TBitmap* b = Bmp();
  if (!FUndo || !FView || !FView->Bitmap()) return;
  (void)b;
  VLCopyBitmap(FUndo, FView->Bitmap());
  Done();
}

void TDocProc::ClearUndo() {
  delete FUndo;
  FUndo = nullptr;
}

void TDocProc::Negative() {
  TBitmap* b = Bmp();
  if (!b) return;
  SaveUndo();
  int x1, y1, x2, y2;
  Area(x1, y1, x2, y2);
  VLNegativeRect(b, x1, y1, x2, y2, OnProgress, this);
  Done();
}

void TDocProc::ConvertToGray() {
  TBitmap* b = Bmp();
  if (!b || b->PixelFormat() != pf24bit) return;
  SaveUndo();
  int x1, y1, x2, y2;
  Area(x1, y1, x2, y2);
  VLGrayRect(b, x1, y1, x2, y2, OnProgress, this);
  Done();
}

void TDocProc::Flip(int Direction) {
  TBitmap* b = Bmp();
  if (!b) return;
  SaveUndo();
  VLFlip(b, Direction);
  Done();
}

void TDocProc::Rotate(int Angle, bool AntiAlias) {
  TBitmap* b = Bmp();
  if (!b) return;
  SaveUndo();
  VLRotateBitmap(b, Angle, AntiAlias, FBackground, OnProgress, this);
  Done();
}

void TDocProc::Resample(int Width, int Height, TResampleFilter Filter) {
  TBitmap* b = Bmp();
  if (!b) return;
  SaveUndo();
  VLResampleToSize(b, Width, Height, Filter, OnProgress, this);
  Done();
}

void TDocProc::ResizeCanvas(int Width, int Height) {
  if (!FView || !FView->Bitmap() || Width < 1 || Height < 1) return;
  TBitmap* b = FView->Bitmap();
  if (!b->Empty()) SaveUndo();
  if (b->Empty()) {
    b->SetPixelFormat(pf24bit);
    b->SetSize(1, 1);
    b->Canvas()->Brush()->SetColor(FBackground);
    b->Canvas()->FillRect(Rect(0, 0, 1, 1));
  }
  VLResizeCanvas(b, Width, Height, FBackground);
  Done();
}

void TDocProc::ClearImage() {
  TBitmap* b = Bmp();
  if (!b) return;
  SaveUndo();
  b->Canvas()->Brush()->SetStyle(bsSolid);
  b->Canvas()->Brush()->SetColor(FBackground);
  b->Canvas()->FillRect(Rect(0, 0, b->Width(), b->Height()));
  Done();
}

int TDocProc::CalcColorCount() {
  TBitmap* b = Bmp();
  if (!b) return 0;
  int x1, y1, x2, y2;
  Area(x1, y1, x2, y2);
  return VLCountColors(b, x1, y1, x2, y2);
}

void TDocProc::ReduceColors(int N) {
  TBitmap* b = Bmp();
  if (!b || b->PixelFormat() != pf24bit || N < 2) return;
  SaveUndo();
  VLReduceColors(b, N, nullptr, OnProgress, this);
  Done();
}

void TDocProc::ConvertToTrueColor() {
  TBitmap* b = Bmp();
  if (!b || b->PixelFormat() != pf1bit) return;
  SaveUndo();
  VLConvertToTrueColor(b, OnProgress, this);
  Done();
}

void TDocProc::GetHSVChannels(TBitmap* H, TBitmap* S, TBitmap* V) {
  TBitmap* b = Bmp();
  if (!b || b->PixelFormat() != pf24bit || !H || !S || !V) return;
  VLSplitHSV(b, H, S, V, OnProgress, this);
}

}  // namespace quillon
