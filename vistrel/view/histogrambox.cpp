#include "vistrel/view/histogrambox.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/gui/canvas.h"
#include "vistrel/proc/vistrelproc.h"

THistogramBox::THistogramBox(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle |= csOpaque;
  FPicture.SetPixelFormat(pf24bit);
  SetBounds(FLeft, FTop, 256, 105);
  FPicture.SetSize(ClientWidth(), ClientHeight());
  Update();
}

THistogramBox::~THistogramBox() {
  if (FAttachedVistrelProc) FAttachedVistrelProc->RemoveFreeNotification(this);
}

void THistogramBox::Paint() { Canvas()->Draw(0, 0, &FPicture); }

void THistogramBox::Resize() {
  TCustomControl::Resize();
  FPicture.SetSize(ClientWidth(), ClientHeight());
  Update();
}

void THistogramBox::SetAttachedVistrelProc(TVistrelProc* Value) {
  if (FAttachedVistrelProc && FAttachedVistrelProc != Value) FAttachedVistrelProc->RemoveFreeNotification(this);
  FAttachedVistrelProc = Value;
  if (Value) Value->FreeNotification(this);
}

void THistogramBox::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent && AComponent == static_cast<TComponent*>(FAttachedVistrelProc))
    FAttachedVistrelProc = nullptr;
}

void THistogramBox::SetBackground(TColor Value) {
  FBackground = Value;
  Update();
}

void THistogramBox::SetHistogramKind(THistogramKind Value) {
  if (Value == FHistogramKind) return;
  FHistogramKind = Value;
  Update();
}

void THistogramBox::SetLabels(THistogramLabels Value) {
  if (Value == FLabels) return;
  FLabels = Value;
  Update();
}

void THistogramBox::SetCompBar(bool Value) {
  if (Value == FCompBar) return;
  FCompBar = Value;
  Update();
}

void THistogramBox::SetHistogramStyle(THistogramStyle Value) {
  if (Value == FHistogramStyle) return;
  FHistogramStyle = Value;
  Update();
}

void THistogramBox::Update() {
  DrawHistogram();
  Invalidate();
}

void THistogramBox::DrawHistogram() {
  const int pw = FPicture.Width(), ph = FPicture.Height();
  if (pw <= 0 || ph <= 0) return;
  TCanvas* c = FPicture.Canvas();
  c->ResetClipRegion();
  c->Pen()->SetMode(pmCopy);
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  c->Pen()->SetColor(clBlack);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(FBackground);
  c->FillRect(Rect(0, 0, pw, ph));

  const bool designing = (ComponentState() & csDesigning) != 0;
  if (!designing && !(FAttachedVistrelProc && FAttachedVistrelProc->AttachedBitmap())) return;
  TVLHistogram hist;
  if (designing) {
    // A sample for the form designer.
    uint32_t seed = 12345;
    for (auto& e : hist) {
      uint32_t v[4];
      for (auto& x : v) {
        seed = seed * 1103515245u + 12345u;
        x = (seed >> 16) & 255;
      }
      e = TVLHistogramEntry{v[0], v[1], v[2], v[3]};
    }
  } else {
    FAttachedVistrelProc->GetHistogram(hist);
  }
  const THistogramKind kinds = FHistogramKind;
  auto count = [&](int bin, int kind) -> int64_t {
    const TVLHistogramEntry& e = hist[size_t(std::clamp(bin, 0, 255))];
    return kind == hkRed ? e.Red : kind == hkGreen ? e.Green : kind == hkBlue ? e.Blue : e.Gray;
  };
  static const int kOrder[4] = {hkRed, hkGreen, hkBlue, hkGray};
  static const TColor kColours[4] = {TColor(0x0000FF), TColor(0x008000), TColor(0xFF0000), TColor(0x000000)};
  int64_t maxCount = 0;
  for (int bin = 0; bin < 256; ++bin)
    for (int kind : kOrder)
      if (kinds & kind) maxCount = std::max(maxCount, count(bin, kind));
  if (maxCount == 0) return;

  int W = Width(), H = Height(), L = 0;
  const int fh = std::abs(Font()->Height());
  const int b = int(Trunc((long double)fh * 1.2L));
  if (FCompBar) H -= b + 2;
  c->SetFont(Font());
  const std::string maxText = IntToStr(maxCount);
  if (FLabels & hlVertical) {
    const TSize ext = c->TextExtent(maxText);
    c->TextOut(0, H / 2, IntToStr(maxCount / 2));
    c->TextOut(0, 0, maxText);
    c->Pen()->SetColor(Font()->Color());
    W -= ext.cx + 2;
    L += ext.cx + 2;
  }
  if (FLabels & hlHorizontal) {
    const int th = c->TextExtent(maxText).cy;
    const int ty = H - fh - 1;
    for (int v : {0, 64, 128, 192}) c->TextOut(int(Round((long double)v / 256 * W)) + L, ty, IntToStr(v));
    c->TextOut(L + W - c->TextWidth("255"), ty, "255");
    H -= th + 2;
    c->MoveTo(L - 1, 0);
    c->LineTo(L - 1, H);
    c->LineTo(L + W, H);
  }
  FHistogramXPos = Left() + L;

  // A plot narrower than one column has nothing to show.
  if (FCompBar && W > 0) {
    for (int y = std::max(ph - b, 0); y < ph; ++y) {
      uint8_t* row = FPicture.ScanLine(y);
      for (int k = 0; k < W; ++k) {
        const int x = L + k;
        if (x < 0 || x >= pw) continue;
        const uint8_t v = uint8_t(Round((long double)k / W * 256) & 255);
        uint8_t* p = row + 3 * x;
        p[2] = (kinds & (hkRed | hkGray)) ? v : 0;
        p[1] = (kinds & (hkGreen | hkGray)) ? v : 0;
        p[0] = (kinds & (hkBlue | hkGray)) ? v : 0;
      }
    }
  }
  if (W <= 0) return;
  auto bin = [W](int k) { return int(Trunc((long double)k / W * 256)); };
  // A column that covers several levels shows the largest of them, so none is left out.
  auto column = [&](int k, int kind) {
    int64_t n = count(bin(k), kind);
    for (int i = bin(k) + 1; i < bin(k + 1) && i < 256; ++i) n = std::max(n, count(i, kind));
    return n;
  };
  auto level = [&](int64_t n) { return int(Round((long double)n / maxCount * H)); };
  if (FHistogramStyle == hsBars) {
    for (int k = 0; k < W; ++k)
      for (int i = 0; i < 4; ++i) {
        if (!(kinds & kOrder[i])) continue;
        c->Pen()->SetColor(kColours[i]);
        c->MoveTo(L + k, H - 1);
        c->LineTo(L + k, H - level(column(k, kOrder[i])) - 2);
      }
  } else {
    std::vector<TPoint> pts;
    for (int i = 0; i < 4; ++i) {
      if (!(kinds & kOrder[i])) continue;
      pts.assign(1, TPoint{L, H - 1});
      for (int k = 0; k < W; ++k) pts.push_back(TPoint{L + k, H - level(column(k, kOrder[i])) - 1});
      c->Pen()->SetColor(kColours[i]);
      c->Polyline(pts);
    }
  }
}
