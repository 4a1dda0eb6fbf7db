#include "vistrel/view/rulerbox.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/core/stream.h"
#include "platform/gui/canvas.h"

namespace {
// Pixels further off than this are off the control whatever its size; keeping them there
// keeps grip outlines (position plus half the base) within int.
constexpr long double kFarPixel = 1 << 24;
// Milliseconds between the steps of scrolling while a grip is held past an edge.
constexpr unsigned kScrollInterval = 15;

bool Finite(double v) { return std::isfinite(v); }

// The class library's general format (FloatToStrF with ffGeneral): Precision significant
// digits, trailing zeros dropped; the exponent form, with at least Digits exponent digits,
// when the integer part has more than Precision digits or the value is below 0.00001.
std::string GeneralFloat(long double Value, int Precision, int Digits) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";
  if (Value == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*Le", Precision - 1, Value);
  std::string s = buf;
  const bool negative = s[0] == '-';
  if (negative) s.erase(0, 1);
  const size_t e = s.find('e');
  const int exp10 = std::atoi(s.c_str() + e + 1);
  std::string digits = s.substr(0, 1) + (e > 2 ? s.substr(2, e - 2) : std::string());
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const std::string sep = QLocale().decimalPoint().toStdString();
  std::string out;
  if (exp10 >= Precision || exp10 < -5) {
    out = digits.substr(0, 1);
    if (digits.size() > 1) out += sep + digits.substr(1);
    char ex[16];
    std::snprintf(ex, sizeof ex, "E%c%0*d", exp10 < 0 ? '-' : '+', Digits, std::abs(exp10));
    out += ex;
  } else if (exp10 >= 0) {
    const size_t whole = size_t(exp10) + 1;
    if (digits.size() <= whole) {
      out = digits + std::string(whole - digits.size(), '0');
    } else {
      out = digits.substr(0, whole) + sep + digits.substr(whole);
    }
  } else {
    out = "0" + sep + std::string(size_t(-exp10 - 1), '0') + digits;
  }
  return negative ? "-" + out : out;
}
}  // namespace

TRulerBox::TRulerBox(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle |= csOpaque;
  FBitmap.SetPixelFormat(pf24bit);
  FScrollTimer = new TTimer(this);
  FScrollTimer->SetEnabled(false);
  FScrollTimer->SetInterval(kScrollInterval);
  FScrollTimer->OnTimer = [this](TObject* s) { ScrollTimer(s); };
  SetBounds(FLeft, FTop, 300, 40);
  FBitmap.SetSize(ClientWidth(), ClientHeight());
  FGrips.resize(1);
  FGrips[0].Color = FBackground;
  FBuilt = true;
  Update();
}

TRulerBox::~TRulerBox() {
  if (FScrollTimer) FScrollTimer->SetEnabled(false);
}

void TRulerBox::Paint() { Canvas()->Draw(0, 0, &FBitmap); }

void TRulerBox::Redraw() {
  Update();
  Paint();
}

void TRulerBox::Resize() {
  TCustomControl::Resize();
  if (!FBuilt) return;
  FBitmap.SetSize(ClientWidth(), ClientHeight());
  Update();
}

void TRulerBox::ApplyFont() {
  TCustomControl::ApplyFont();
  if (FBuilt) Update();
}

// ---------------------------------------------------------------------------------------------
// Properties

void TRulerBox::SetBackground(TColor Value) {
  FBackground = Value;
  Update();
}

void TRulerBox::SetGripBaseDim(int Value) {
  FGripBaseDim = Value;
  Update();
}

void TRulerBox::SetGripsDir(TGripsDir Value) {
  FGripsDir = Value;
  Update();
}

void TRulerBox::SetRuler(bool Value) {
  FRuler = Value;
  Update();
}

void TRulerBox::SetViewPos(double Value) {
  if (!Finite(Value)) return;
  FViewPos = Value;
  LimitView();
  Redraw();
}

void TRulerBox::SetDotPerUnit(double Value) {
  if (!Finite(Value)) return;
  if ((ComponentState() & csDesigning) && FFitInView) return;
  FDotPerUnit = Value;
  Redraw();
}

void TRulerBox::SetFrequency(double Value) {
  if (!Finite(Value)) return;
  FFrequency = Value;
  Redraw();
}

void TRulerBox::SetLabelFreq(double Value) {
  if (!Finite(Value)) return;
  FLabelFreq = Value;
  Redraw();
}

void TRulerBox::SetRulerColor(TColor Value) {
  FRulerColor = Value;
  Update();
}

void TRulerBox::SetRulerDir(TRulerDir Value) {
  FRulerDir = Value;
  Update();
}

void TRulerBox::SetViewMin(double Value) {
  if (!Finite(Value)) return;
  FViewMin = Value;
  for (TGrip& g : FGrips) g.Lower = FViewMin, g.Upper = FViewMax;
  LimitView();
  Update();
}

void TRulerBox::SetViewMax(double Value) {
  if (!Finite(Value)) return;
  FViewMax = Value;
  for (TGrip& g : FGrips) g.Lower = FViewMin, g.Upper = FViewMax;
  LimitView();
  Update();
}

void TRulerBox::SetFitInView(bool Value) {
  FFitInView = Value;
  Update();
}

void TRulerBox::SetHexLabels(bool Value) {
  FHexLabels = Value;
  Update();
}

void TRulerBox::SetGripsCount(int Value) {
  Value = std::max(Value, 0);
  TGrip g;
  g.Color = FBackground;
  g.Lower = FViewMin;
  g.Upper = FViewMax;
  FGrips.resize(size_t(Value), g);
  if (FDragged >= Value) FDragged = -1;
  Update();
}

void TRulerBox::SetGripPos(int Index, double Value) {
  if (Index < 0 || Index >= GripsCount() || !Finite(Value)) return;
  FGrips[size_t(Index)].Pos = Value;
  HoldGrip(Index);
  if (OnRulerPosChange) OnRulerPosChange(this, Index);
  Redraw();
}

double TRulerBox::GetGripPos(int Index) const {
  return Index >= 0 && Index < GripsCount() ? FGrips[size_t(Index)].Pos : 0;
}

void TRulerBox::SetGripColor(int Index, TColor Value) {
  if (Index < 0 || Index >= GripsCount()) return;
  FGrips[size_t(Index)].Color = Value;
  Update();
}

TColor TRulerBox::GetGripColor(int Index) const {
  return Index >= 0 && Index < GripsCount() ? FGrips[size_t(Index)].Color : TColor(0);
}

void TRulerBox::SetGripKind(int Index, Byte Value) {
  if (Index < 0 || Index >= GripsCount()) return;
  FGrips[size_t(Index)].Kind = Value;
  Update();
}

Byte TRulerBox::GetGripKind(int Index) const {
  return Index >= 0 && Index < GripsCount() ? FGrips[size_t(Index)].Kind : Byte(0);
}

// ---------------------------------------------------------------------------------------------
// Geometry

int TRulerBox::BandThickness() {
  if (!FRuler) return 0;
  const int64_t fh = std::llabs(int64_t(Font()->Height()));
  return int(std::min<int64_t>(Trunc((long double)fh * 1.7L) + 3, 1 << 20));
}

int TRulerBox::ScaleLength() const { return FRulerDir == rdHorizontal ? FBitmap.Width() : FBitmap.Height(); }

int TRulerBox::PixelOf(double Value) const {
  const long double d = ((long double)Value - FViewPos) * FDotPerUnit;
  if (std::isnan(d)) return int(kFarPixel);
  return int(Round(std::clamp(d, -kFarPixel, kFarPixel)));
}

int TRulerBox::GripPixel(int Index) const {
  if (ComponentState() & csDesigning) return Index * (FGripBaseDim + 5);
  return PixelOf(FGrips[size_t(Index)].Pos);
}

std::vector<TPoint> TRulerBox::GripPoints(int Index, int Band) const {
  const bool vertical = FRulerDir == rdVertical;
  const int across = vertical ? FBitmap.Width() : FBitmap.Height();
  const int x = GripPixel(Index), h = FGripBaseDim / 2, q = FGripBaseDim / 4;
  int B, T;
  if (FGripsDir == gdUp) {
    B = across - 1;
    T = Band;
  } else {
    B = 0;
    T = across - 1 - Band;
  }
  std::vector<std::pair<int, int>> p;  // (along, across)
  switch (FGrips[size_t(Index)].Kind & 0x7F) {
    case 1: p = {{x - h, B}, {x, B}, {x, T}}; break;
    case 2: p = {{x, B}, {x + h, B}, {x, T}}; break;
    case 3: {
      const int M = FGripsDir == gdUp ? T + (B - T) / 3 : B + (T - B) / 3 * 2;
      p = {{x - q, B}, {x + q, B}, {x + q, M}, {x + h, M}, {x, T}, {x - h, M}, {x - q, M}};
      break;
    }
    case 4: {
      const int M = (B + T) / 2;
      p = {{x - h, B}, {x + h, B}, {x + h, M}, {x, T}, {x - h, M}};
      break;
    }
    default:  // 0, and kinds past the table
      p = {{x - h, B}, {x + h, B}, {x, T}};
      break;
  }
  std::vector<TPoint> pts;
  pts.reserve(p.size());
  for (auto [a, c] : p) pts.push_back(vertical ? TPoint{c, a} : TPoint{a, c});
  return pts;
}

int TRulerBox::GripAt(int X, int Y) {
  const int band = BandThickness();
  for (int i = GripsCount() - 1; i >= 0; --i) {
    const std::vector<TPoint> pts = GripPoints(i, band);
    int l = pts[0].X, t = pts[0].Y, r = l, b = t;
    for (const TPoint& p : pts) {
      l = std::min(l, p.X), r = std::max(r, p.X);
      t = std::min(t, p.Y), b = std::max(b, p.Y);
    }
    if (X >= l && X <= r && Y >= t && Y <= b) return i;
  }
  return -1;
}

void TRulerBox::HoldGrip(int Index) {
  const TGrip g = FGrips[size_t(Index)];
  if (!(g.Upper > g.Lower)) return;
  if (g.Pos < g.Lower) SetGripPos(Index, g.Lower);
  else if (g.Pos > g.Upper) SetGripPos(Index, g.Upper);
}

void TRulerBox::LimitView() {
  if (!(FViewMin < FViewMax)) return;
  if (FViewPos < FViewMin) FViewPos = FViewMin;
  if (!(FDotPerUnit > 0)) return;
  const double visible = ScaleLength() / FDotPerUnit;
  if (FViewPos > FViewMax - visible) FViewPos = FViewMax - visible;
}

// ---------------------------------------------------------------------------------------------
// Drawing

void TRulerBox::Update() {
  if (!FBuilt) return;
  const int len = ScaleLength();
  // Without a range (or without pixels) the scale keeps the pixels per unit it had.
  if (FFitInView && FViewMax > FViewMin && len > 0) {
    const double dpu = len / (FViewMax - FViewMin);
    if (Finite(dpu) && dpu > 0) FDotPerUnit = dpu;
    LimitView();
  }
  const int w = FBitmap.Width(), h = FBitmap.Height();
  if (w <= 0 || h <= 0) {
    Invalidate();
    return;
  }
  TCanvas* c = FBitmap.Canvas();
  c->ResetClipRegion();
  c->Pen()->SetMode(pmCopy);
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  c->Brush()->SetStyle(bsSolid);
  const int t = BandThickness();
  const bool vertical = FRulerDir == rdVertical;
  TRect grips, band;
  if (!vertical) {
    grips = FGripsDir == gdUp ? Rect(0, t, w, h) : Rect(0, 0, w, h - t);
    band = FGripsDir == gdUp ? Rect(0, 0, w, t) : Rect(0, h - t, w, h);
  } else {
    grips = FGripsDir == gdUp ? Rect(t, 0, w, h) : Rect(0, 0, w - t, h);
    band = FGripsDir == gdUp ? Rect(0, 0, t, h) : Rect(w - t, 0, w, h);
  }
  c->Brush()->SetColor(FBackground);
  c->FillRect(grips);
  c->Pen()->SetColor(clBlack);
  for (int i = 0; i < GripsCount(); ++i) {
    c->Brush()->SetColor(FGrips[size_t(i)].Color);
    c->Polygon(GripPoints(i, t));
  }
  if (FRuler) {
    c->Brush()->SetColor(FRulerColor);
    c->FillRect(band);
    c->Pen()->SetColor(Font()->Color());
    DrawScale(t, FFrequency, false);
    DrawScale(t, FLabelFreq, true);
  }
  Invalidate();
}

std::string TRulerBox::LabelText(long double Value) const {
  if (!FHexLabels) return GeneralFloat(Value, 15, 3);
  const long double a = std::min(std::fabs(Value), 9.0e18L);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%06llX", (unsigned long long)Trunc(a));
  std::string s = buf;
  const size_t nz = s.find_first_not_of('0');
  s = nz == std::string::npos ? "0" : s.substr(nz);
  return Value < 0 ? "-" + s : s;
}

void TRulerBox::DrawScale(int Band, double Step, bool Labels) {
  // A scale without a step, or with ticks closer than a pixel, shows no ticks: there is
  // nothing to tell apart, and the count of steps would have no end.
  if (!(Step > 0) || !(FDotPerUnit > 0) || !((long double)Step * FDotPerUnit >= 1)) return;
  TCanvas* c = FBitmap.Canvas();
  const int w = FBitmap.Width(), h = FBitmap.Height();
  const int L = ScaleLength();
  const bool vertical = FRulerDir == rdVertical;
  const int tick = Labels ? Band / 2 : Band / 4;
  const long double s = Step, vp = FViewPos;
  const long double n = std::trunc((long double)L / FDotPerUnit / s);
  const long double shift = s * (vp / s - std::trunc(vp / s));
  if (Labels) {
    c->SetFont(Font());
    if (vertical) c->Font()->SetOrientation(FGripsDir == gdUp ? 900 : -900);
    c->Brush()->SetStyle(bsClear);
  }
  for (long double k = 0; k <= n + 1; k += 1) {
    const long double value = k * s + vp - shift;
    const int p = PixelOf(double(value));
    if (!vertical) {
      const int y = FGripsDir == gdUp ? Band : h - Band;
      c->MoveTo(p, y);
      c->LineTo(p, FGripsDir == gdUp ? y - tick : y + tick);
    } else {
      const int x = FGripsDir == gdUp ? Band : w - Band;
      c->MoveTo(x, p);
      c->LineTo(FGripsDir == gdUp ? x - tick : x + tick, p);
    }
    // A label is centred on its tick but kept whole inside the control, a pixel from its
    // ends; a tick off the scale shows no label (it would show cut).
    if (!Labels || p < 0 || p > L) continue;
    const std::string text = LabelText(value);
    const int tw = c->TextWidth(text);
    const int start = std::clamp(p - tw / 2, 1, std::max(1, L - 1 - tw));
    if (!vertical) {
      c->TextOut(start, FGripsDir == gdUp ? 0 : h - std::abs(Font()->Height()), text);
    } else if (FGripsDir == gdUp) {
      c->TextOut(0, p + tw / 2 + start - (p - tw / 2), text);
    } else {
      c->TextOut(w, start, text);
    }
  }
  if (Labels) {
    c->Font()->SetOrientation(0);
    c->Brush()->SetStyle(bsSolid);
  }
}

// ---------------------------------------------------------------------------------------------
// Mouse

void TRulerBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  FScrollTimer->SetEnabled(false);
  const int i = GripAt(X, Y);
  FDragged = i;
  if (i >= 0) {
    FGrabOffset = GripPixel(i);
    FDownPoint = {X, Y};
    if ((Shift & ssDouble) && OnRulerGripDblClick) OnRulerGripDblClick(this, i);
    return;
  }
  // The value under the mouse along the scale.
  const int along = FRulerDir == rdHorizontal ? X : Y;
  if (OnRulerClick && FDotPerUnit > 0) OnRulerClick(this, along / FDotPerUnit + FViewPos);
}

void TRulerBox::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!MouseCapture() || FDragged < 0 || FDragged >= GripsCount() || !(FDotPerUnit > 0)) return;
  const bool horizontal = FRulerDir == rdHorizontal;
  const int along = horizontal ? X : Y;
  const int down = horizontal ? FDownPoint.X : FDownPoint.Y;
  FLastMouse = along;
  if (along >= 0 && along <= ScaleLength()) {
    FScrollTimer->SetEnabled(false);
    SetGripPos(FDragged, ((long double)along + FGrabOffset - down) / FDotPerUnit + FViewPos);
    Paint();
    return;
  }
  // Past an edge the scale scrolls a pixel at a time while the mouse stays out there:
  // one step now, the next ones from the timer.
  if (FScrollTimer->Enabled()) return;
  EdgeStep(along < 0 ? -1 : 1);
  FScrollTimer->SetEnabled(true);
}

void TRulerBox::ScrollTimer(TObject*) {
  const int len = ScaleLength();
  const bool out = FLastMouse < 0 || FLastMouse > len;
  if (FDragged < 0 || FDragged >= GripsCount() || !MouseCapture() || !(MouseButtonsDown() & ssLeft) || !out) {
    FScrollTimer->SetEnabled(false);
    return;
  }
  EdgeStep(FLastMouse < 0 ? -1 : 1);
}

void TRulerBox::EdgeStep(int Dir) {
  const int i = FDragged;
  if (i < 0 || i >= GripsCount() || !(FDotPerUnit > 0)) return;
  const bool horizontal = FRulerDir == rdHorizontal;
  const int down = horizontal ? FDownPoint.X : FDownPoint.Y;
  const long double unit = 1.0L / FDotPerUnit;
  long double pos;
  if (Dir < 0) pos = ((long double)FGrabOffset - down) / FDotPerUnit + FViewPos - unit;
  else pos = ((long double)ScaleLength() + FGrabOffset - down - 1) / FDotPerUnit + FViewPos + unit;
  if (!std::isfinite(pos)) return;
  FGrips[size_t(i)].Pos = double(pos);
  HoldGrip(i);
  FViewPos = double(FViewPos + Dir * unit);
  LimitView();
  Redraw();
  if (OnRulerPosChange && i < GripsCount()) OnRulerPosChange(this, i);
}

void TRulerBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  FScrollTimer->SetEnabled(false);
  const int i = FDragged;
  FDragged = -1;
  if (i >= 0 && i < GripsCount() && X == FDownPoint.X && Y == FDownPoint.Y && OnRulerGripClick)
    OnRulerGripClick(this, i);
}
