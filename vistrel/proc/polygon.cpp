#include "vistrel/proc/polygon.h"

#include <vector>

#include "platform/gui/canvas.h"

void VLDrawClippedToPolygon(TBitmap* Dest, TBitmap* Source, int X, int Y, const TPoint* Points, int Count) {
  if (!Dest || !Source || !Points || Count <= 0 || Dest->Empty()) return;
  TCanvas* c = Dest->Canvas();
  c->SetClipPolygon(Points, Count, fmAlternate);
  c->SetPolyFillMode(fmAlternate);
  c->Draw(X, Y, Source);
  c->ResetClipRegion();
}

void VLFillPolygon(TBitmap* Bitmap, const TPoint* Points, int Count, TColor Color) {
  if (!Bitmap || !Points || Count <= 0 || Bitmap->Empty()) return;
  TCanvas* c = Bitmap->Canvas();
  c->SetClipPolygon(Points, Count, fmAlternate);
  c->Brush()->SetColor(Color);
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(Rect(0, 0, Bitmap->Width(), Bitmap->Height()));
  c->ResetClipRegion();
}

void VLCopyPolygonRect(TBitmap* Source, TBitmap* Dest, int X1, int Y1, int X2, int Y2, const TPoint* Points,
                       int Count) {
  if (!Source || !Dest || Source == Dest || !Points || Count <= 0) return;
  std::vector<TPoint> moved(Points, Points + Count);
  for (auto& p : moved) p.X -= X1, p.Y -= Y1;
  Dest->SetPixelFormat(Source->PixelFormat());
  Dest->SetSize(X2 - X1, Y2 - Y1);
  if (Dest->Empty() || Source->Empty()) return;
  TCanvas* c = Dest->Canvas();
  c->SetClipPolygon(moved.data(), Count, fmAlternate);
  c->CopyRect(Rect(0, 0, X2 - X1, Y2 - Y1), Source->Canvas(), Rect(X1, Y1, X2, Y2));
  c->ResetClipRegion();
}
