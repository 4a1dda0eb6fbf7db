#include "vistrel/view/hsvbox.h"

#include <algorithm>

#include "platform/gui/canvas.h"
#include "vistrel/proc/kernels/pixels.h"

THSVBox::THSVBox(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle |= csOpaque;
  FPicture.SetPixelFormat(pf24bit);
  SetBounds(FLeft, FTop, 105, 105);
  FPicture.SetSize(ClientWidth(), ClientHeight());
  RedrawAll();
}

THSVBox::~THSVBox() = default;

void THSVBox::Paint() { Canvas()->Draw(0, 0, &FPicture); }

void THSVBox::Resize() {
  TCustomControl::Resize();
  FPicture.SetSize(ClientWidth(), ClientHeight());
  RedrawAll();
  Invalidate();
}

void THSVBox::RedrawAll() {
  DrawHueBar();
  DrawSVSquare();
  DrawIndicators();
}

void THSVBox::DrawSVSquare() {
  const int w = SquareWidth(), h = FPicture.Height();
  if (w <= 0 || h <= 0) return;
  const float vstep = 100.0f / float(h), sstep = 100.0f / float(w);
  for (int r = 0; r < h; ++r) {
    const int v = int(Trunc((long double)r * vstep));
    uint8_t* p = FPicture.ScanLine(h - 1 - r);
    for (int x = 0; x < w; ++x, p += 3) {
      TRGB t;
      VLHSVToRGB(t, FHue, int(Trunc((long double)x * sstep)), v);
      p[0] = t.B;
      p[1] = t.G;
      p[2] = t.R;
    }
  }
}

void THSVBox::DrawHueBar() {
  const int w = SquareWidth(), h = FPicture.Height(), pw = FPicture.Width();
  if (h <= 0 || pw <= 0) return;
  TRGB back;
  VLColorToRGB(FBackground, back);
  const float step = 360.0f / float(h);
  // A control narrower than the bar and its gap shows what of them lies inside.
  const int gap0 = std::max(w, 0), bar0 = std::max(w + kGap, 0);
  for (int r = 0; r < h; ++r) {
    uint8_t* row = FPicture.ScanLine(h - 1 - r);
    for (int x = gap0; x < std::min(bar0, pw); ++x) {
      row[3 * x] = back.B;
      row[3 * x + 1] = back.G;
      row[3 * x + 2] = back.R;
    }
    TRGB t;
    VLHSVToRGB(t, int(Trunc((long double)r * step)), 99, 99);
    for (int x = bar0; x < pw; ++x) {
      row[3 * x] = t.B;
      row[3 * x + 1] = t.G;
      row[3 * x + 2] = t.R;
    }
  }
}

void THSVBox::DrawIndicators() {
  const int w = SquareWidth(), h = FPicture.Height(), pw = FPicture.Width();
  if (h <= 0 || pw <= 0) return;
  TCanvas* c = FPicture.Canvas();
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  c->Pen()->SetMode(pmNot);
  c->Brush()->SetStyle(bsClear);
  const int hy = int(Round((long double)(h - 1) * (359 - FHue) / 359));
  c->Rectangle(pw - kBarWidth, hy - 2, Width(), hy + 2);
  const int sx = int(Round((long double)FSat / 99 * (w - 1)));
  const int sy = h - 1 - int(Round((long double)(h - 1) * FVal / 99));
  c->Rectangle(sx - 3, sy - 3, sx + 3, sy + 3);
  c->Pen()->SetMode(pmCopy);
}

void THSVBox::ColorFromHSV() {
  TRGB t;
  VLHSVToRGB(t, FHue, FSat, FVal);
  FRed = t.R;
  FGreen = t.G;
  FBlue = t.B;
  FColor = RGB(FRed, FGreen, FBlue);
}

void THSVBox::SetHue(int Value) {
  DrawIndicators();
  FHue = std::clamp(Value, 0, 359);
  ColorFromHSV();
  DrawSVSquare();
  DrawIndicators();
  Paint();
}

void THSVBox::SetSat(int Value) {
  DrawIndicators();
  FSat = std::clamp(Value, 0, 99);
  ColorFromHSV();
  DrawIndicators();
  Paint();
}

void THSVBox::SetVal(int Value) {
  DrawIndicators();
  FVal = std::clamp(Value, 0, 99);
  ColorFromHSV();
  DrawIndicators();
  Paint();
}

void THSVBox::SetRGB(Byte R, Byte G, Byte B) {
  DrawIndicators();
  FRed = R;
  FGreen = G;
  FBlue = B;
  VLRGBToHSV(FHue, FSat, FVal, (int32_t(R) << 16) | (int32_t(G) << 8) | B);
  FColor = RGB(R, G, B);
  DrawSVSquare();
  DrawIndicators();
  Paint();
}

void THSVBox::SetColor(TColor Value) {
  DrawIndicators();
  TRGB t;
  VLColorToRGB(Value, t);
  FRed = t.R;
  FGreen = t.G;
  FBlue = t.B;
  VLRGBToHSV(FHue, FSat, FVal, VLTripleToPacked(t));
  FColor = Value;
  DrawSVSquare();
  DrawIndicators();
  Paint();
}

void THSVBox::SetBackground(TColor Value) {
  FBackground = Value;
  RedrawAll();
  Invalidate();
}

void THSVBox::PickAt(int X, int Y) {
  const int w = SquareWidth(), h = FPicture.Height();
  // A square or bar one pixel across has no span: its only pixel is the left or top end.
  auto ratio = [](int v, int span) { return span > 0 ? (long double)v / span : 0.0L; };
  if (X < w) {
    DrawIndicators();
    FSat = std::clamp(int(Round(ratio(X, w - 1) * 99)), 0, 99);
    FVal = std::clamp(99 - int(Round(ratio(Y, h - 1) * 99)), 0, 99);
  } else if (X >= w + kGap) {
    DrawIndicators();
    FHue = std::clamp(359 - int(Round(ratio(Y, h - 1) * 359)), 0, 359);
    DrawSVSquare();
  } else {
    return;  // the gap picks nothing
  }
  ColorFromHSV();
  if (OnChange) OnChange(this);
  DrawIndicators();
  Paint();
}

void THSVBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const int w = SquareWidth();
  if (X < w) {
    FDragMode = 1;
    PickAt(X, Y);
  } else if (X >= w + kGap) {
    FDragMode = 2;
    PickAt(X, Y);
  }
}

void THSVBox::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!MouseCapture() || FDragMode == 0) return;
  const int w = SquareWidth(), h = FPicture.Height();
  X = std::max(X, 0);
  Y = std::min(std::max(Y, 0), h - 1);
  if (FDragMode == 1) X = std::min(X, w - 1);
  else X = std::min(std::max(X, w + kGap), FPicture.Width() - 1);
  PickAt(X, Y);
}

void THSVBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  FDragMode = 0;
}
