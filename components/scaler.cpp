#include "components/scaler.h"

#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <string>

#include "platform/core/bitmap.h"
#include "platform/gui/canvas.h"

namespace {
TScalerMetrics gMetrics;

// The rounded quotient a * b / c, halves away from zero.
int MulDiv(int a, int b, int c) {
  if (c == 0) return a;
  const long long n = (long long)a * b;
  const long long q = (std::llabs(n) * 2 + std::llabs((long long)c)) / (2 * std::llabs((long long)c));
  return int(((n < 0) != (c < 0)) ? -q : q);
}

// The platform's proportional scaling of a control's children and fonts: bounds by M / D
// from their edges, fonts by M / D in points; a child that takes its parent's font takes the
// scaled one. Aligned children are laid out again once all are scaled, so they keep their order.
void ScaleChildren(TWinControl* Parent, int M, int D) {
  Parent->DisableAlign();
  struct Enable {
    TWinControl* p;
    ~Enable() { p->EnableAlign(); }
  } enable{Parent};
  for (int i = 0; i < Parent->ControlCount(); ++i) {
    TControl* c = Parent->Controls(i);
    // Bounds first: a control that sizes itself to its text does so for the new font after.
    const int x = MulDiv(c->Left(), M, D), y = MulDiv(c->Top(), M, D);
    const int w = MulDiv(c->Left() + c->Width(), M, D) - x, h = MulDiv(c->Top() + c->Height(), M, D) - y;
    c->SetBounds(x, y, w, h);
    if (c->ParentFont()) {
      c->Font()->Assign(Parent->Font());
      c->SetParentFont(true);
    } else {
      c->Font()->SetSize(MulDiv(c->Font()->Size(), M, D));
    }
    if (auto* wc = dynamic_cast<TWinControl*>(c)) ScaleChildren(wc, M, D);
  }
}

// Grids of the class library, recognised as it names them (every grid class ends in "Grid");
// the database grid of one vendor corrects itself.
bool IsGrid(TComponent* c) {
  if (!dynamic_cast<TControl*>(c)) return false;
  std::string n = c->ClassName();
  for (char& ch : n) ch = char(std::tolower((unsigned char)ch));
  return n.size() >= 4 && n.compare(n.size() - 4, 4, "grid") == 0 && n != "tdbigrid";
}
}  // namespace

int DefaultScalerMetric(const TForm* Form, int Index) {
  switch (Index) {
    case SM_CXSCREEN: return Screen->Width();
    case SM_CYSCREEN: return Screen->Height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return 16;
    case SM_CYMENU: return Form && Form->Menu() ? Form->Height() - Form->ClientHeight() : 0;
    default: return 0;
  }
}

void SetScalerMetrics(TScalerMetrics Metrics) { gMetrics = std::move(Metrics); }

int ScalerMetric(const TForm* Form, int Index) {
  return gMetrics ? gMetrics(Form, Index) : DefaultScalerMetric(Form, Index);
}

// Watches the form's window: size changes, and a drag that ends when they stop coming.
class TScalerHook : public QObject {
 public:
  TScalerHook(TCustomScaler* Scaler, QWidget* Window) : FScaler(Scaler), FWindow(Window) {
    if (Window) Window->installEventFilter(this);
  }
  ~TScalerHook() override {
    if (FWindow) FWindow->removeEventFilter(this);
  }
  void Detach() { FScaler = nullptr; }

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    TCustomScaler* s = FScaler;
    if (!s || o != FWindow || e->type() != QEvent::Resize) return false;
    TForm* f = s->Form();
    if (f->Destroying() || s->Destroying() || s->FRescaling) return false;
    QWidget* w = FWindow;
    Dispatch(s, [&] {
      s->SizeMessage(w->isMaximized());
      // The form doesn't know this size yet: the user or the window manager gave it.
      if (w->width() != f->Width() || w->height() != f->Height()) s->UserSized();
    });
    return false;
  }

 private:
  TCustomScaler* FScaler;
  QPointer<QWidget> FWindow;
};

TCustomScaler::TCustomScaler(TComponent* AOwner) : TComponent(AOwner) {
  FForm = dynamic_cast<TForm*>(AOwner);
  if (!FForm) throw Exception("Owner does not inherit from TForm");
  FXdevelop = ScalerMetric(FForm, SM_CXSCREEN);
  FYdevelop = ScalerMetric(FForm, SM_CYSCREEN);
  FClientWidth = FForm->ClientWidth();
  FClientHeight = FForm->ClientHeight();
  FScrollWidth = ScalerMetric(FForm, SM_CXVSCROLL);
  FScrollHeight = ScalerMetric(FForm, SM_CYHSCROLL);
  ComputeBorders();
  FSizeMoveTimer = new TTimer(this);
  FSizeMoveTimer->SetEnabled(false);
  FSizeMoveTimer->SetInterval(kSizeMoveDelay);
  FSizeMoveTimer->OnTimer = [this](TObject*) { ExitSizeMove(); };
  FHook = new TScalerHook(this, FForm->Widget());
}

void TCustomScaler::BeforeDestruction() {
  if (FHook) FHook->Detach();
  TComponent::BeforeDestruction();
}

TCustomScaler::~TCustomScaler() { delete FHook; }

void TCustomScaler::SetDesign(const TScalerDesign& Design) {
  FXdevelop = Design.Xdevelop;
  FYdevelop = Design.Ydevelop;
  FFormFontWidth = Design.FormFontWidth;
  FFormFontHeight = Design.FormFontHeight;
  FScrollWidth = Design.ScrollWidth;
  FScrollHeight = Design.ScrollHeight;
  FLimitScale = Design.LimitScale;
  FScaleRuntime = Design.ScaleRuntime;
  FMaximizeFullscreen = Design.MaximizeFullscreen;
}

void TCustomScaler::ComputeBorders() {
  auto m = [this](int i) { return ScalerMetric(FForm, i); };
  int w, h;
  switch (FForm->BorderStyle()) {
    case bsNone: w = h = 0; break;
    case bsSingle:
      w = 2 * m(SM_CXBORDER);
      h = m(SM_CYCAPTION) + m(SM_CYBORDER);
      break;
    case bsDialog:
      w = 2 * (m(SM_CXDLGFRAME) + m(SM_CXBORDER));
      h = m(SM_CYCAPTION) + m(SM_CYBORDER) + 2 * m(SM_CYDLGFRAME);
      break;
    default:
      w = 2 * m(SM_CXFRAME);
      h = m(SM_CYCAPTION) + 2 * m(SM_CYFRAME) - 1;
      break;
  }
  // Where the window manager draws the frame, nothing of it is inside the bounds.
  FBorderWidth = std::max(w, 0);
  FBorderHeight = std::max(h, 0);
  if (FForm->Menu()) FBorderHeight += m(SM_CYMENU);
}

void TCustomScaler::ReadTextMetrics() {
  TBitmap b;
  TCanvas* c = b.Canvas();
  c->SetFont(FForm->Font());
  const TSize e = c->TextExtent("0");
  FTextHeight = e.cy;
  FZeroWidth = e.cx;
}

void TCustomScaler::Loaded() {
  FFullWidth = FClientWidth + FBorderWidth;
  FFullHeight = FClientHeight + FBorderHeight;
  FWasMaximized = FForm->WindowState() == wsMaximized;
  ReadTextMetrics();
  // Without the design's screen and client size there is nothing to scale from.
  if (FXdevelop <= 0 || FClientWidth <= 0 || FClientHeight <= 0) return;

  const int S = ScalerMetric(FForm, SM_CXSCREEN), SH = ScalerMetric(FForm, SM_CYSCREEN);
  FTargetWidth = S;
  const long double fontRatio = FFormFontHeight > 0 ? (long double)FTextHeight / FFormFontHeight : 1.0L;
  bool cancel;
  if (S != FXdevelop) {
    const bool up = S > FXdevelop;
    cancel = FLimitScale == TScalerLimitScaling::ScaleNever ||
             FLimitScale == (up ? TScalerLimitScaling::NoUpScale : TScalerLimitScaling::NoDownScale);
    if (OnScale) OnScale(this, up, cancel);
  } else {
    cancel = fontRatio == 1.0L;
  }
  if (cancel) FTargetWidth = FXdevelop;

  // The largest target width, in whole pixels, at which the outer form fits the screen.
  long double x = 1;
  int W = 0, H = 0;
  bool fits = false;
  for (;;) {
    x = (long double)FTargetWidth / FXdevelop;
    W = TruncInt(FClientWidth * x + 0.95L + FBorderWidth);
    H = TruncInt(FClientHeight * x + 0.95L + FBorderHeight);
    fits = FTargetWidth > 0 && W <= S && H <= SH;
    if (fits || cancel || FTargetWidth <= 1) break;
    --FTargetWidth;
  }
  // A screen that no size fits (a border wider than the screen, say) leaves the design size.
  if (!cancel && !fits) {
    cancel = true;
    FTargetWidth = FXdevelop;
    x = 1;
  }
  FInvFactorMinusOne = (long double)RoundInt(FXdevelop * fontRatio) / FTargetWidth - 1;
  ReadTextMetrics();
  if (!cancel) {
    int left = FForm->Left(), top = FForm->Top();
    if (FForm->Position() == poDesigned) {
      left = RoundInt(left * x);
      top = RoundInt(top * x);
    }
    FForm->SetBounds(left, top, W, H);
    Rescale(true);
  }
  CorrectComponents(FForm);
}

void TCustomScaler::Rescale(bool Force) {
  if (FRescaling || (!Force && !FScaleRuntime)) return;
  // A frame of documents keeps its controls: the documents take the room it gains.
  if (!Force && FForm->FormStyle() == fsMDIForm) return;
  const int A = FForm->Width();
  const int bw = FBorderWidth, bh = FBorderHeight;
  // A form no wider than its border has no client to scale.
  if (FFullWidth <= bw || A <= bw || A == FFullWidth) return;
  FRescaling = true;
  struct Done {
    TCustomScaler* s;
    QWidget* w;
    ~Done() {
      s->FRescaling = false;
      if (w) w->setUpdatesEnabled(true);
    }
  } done{this, FForm->Widget()};
  ReadTextMetrics();
  FFormFontWidth = FZeroWidth;
  FFormFontHeight = FTextHeight;
  const int oldHeight = FForm->Height();
  if (done.w) done.w->setUpdatesEnabled(false);
  // Back to the size the controls were last laid out for, then all scaled from there; the
  // aligned ones are laid out once, for the form's new size.
  FForm->SetBounds(FForm->Left(), FForm->Top(), FFullWidth, FFullHeight);
  FInvFactorMinusOne = (long double)(FFullWidth - bw) / (A - bw) - 1;
  FForm->DisableAlign();
  FForm->Font()->SetSize(MulDiv(FForm->Font()->Size(), A - bw, FFullWidth - bw));
  ScaleChildren(FForm, A - bw, FFullWidth - bw);
  int E = RoundInt((long double)(FFullHeight - bh) * (A - bw) / (FFullWidth - bw)) + bh;
  if (FWasMaximized && FMaximizeFullscreen) E = oldHeight;
  FForm->SetBounds(FForm->Left(), FForm->Top(), A, E);
  FForm->EnableAlign();
  ReadTextMetrics();
  FFullWidth = A;
  FFullHeight = E;
}

void TCustomScaler::CorrectComponents(TComponent* Parent) {
  for (int i = 0; i < Parent->ComponentCount(); ++i) {
    TComponent* c = Parent->Components(i);
    if (IsGrid(c)) ScaleGrid(static_cast<TControl*>(c));
    CorrectComponents(c);
  }
}

void TCustomScaler::ScaleGrid(TControl* Grid) {
  const int c0 = FZeroWidth, th = FTextHeight;
  if (c0 <= 0 || th + 3 <= 0) return;
  int left = Grid->Left(), top = Grid->Top(), width = Grid->Width(), height = Grid->Height();
  int Columns = RoundInt(width / (long double)c0 * (1.0L / 15));
  int Rows = (height + 5) / (th + 3);
  bool HasHScrollBar = true, HasVScrollBar = true, HasIndicator = true, HasTitles = true, RowLines = true,
       ColLines = true;
  THcorrection HCorrect = FGridScaleWidth;
  TVcorrection VCorrect = FGridScaleHeight;
  if (OnGridScale)
    OnGridScale(this, Grid, HasHScrollBar, HasVScrollBar, HasIndicator, HasTitles, RowLines, ColLines, Rows, Columns,
                HCorrect, VCorrect);
  int p = Columns * (ColLines ? 5 : 4);
  if (HasVScrollBar) p += FScrollWidth;
  if (HasIndicator) p += 12;
  int q = HasTitles ? Rows * 3 + 10 : Rows * 3 + 2;
  if (RowLines) q += Rows * 2 - 1;
  if (HasHScrollBar) q += FScrollHeight;
  int dw = HasVScrollBar ? ScalerMetric(FForm, SM_CXVSCROLL) - FScrollWidth : 0;
  int dh = HasHScrollBar ? ScalerMetric(FForm, SM_CYHSCROLL) - FScrollHeight : 0;
  const long double f = FInvFactorMinusOne + 1;
  if (FFormFontWidth > 0) dw += RoundInt((width * f - p) * c0 / FFormFontWidth) + p - width;
  if (FFormFontHeight > 0) dh += RoundInt((height * f - q) * th / FFormFontHeight) + q - height;
  switch (HCorrect) {
    case CorrectAtLeft: left -= dw; break;
    case CorrectHCenter: left -= dw / 2; break;
    default: break;
  }
  if (HCorrect != DontHCorrect) width += dw;
  switch (VCorrect) {
    case CorrectAtTop: top -= dh; break;
    case CorrectVCenter: top -= dh / 2; break;
    default: break;
  }
  if (VCorrect != DontVCorrect) height += dh;
  Grid->SetBounds(left, top, width, height);
}

void TCustomScaler::SizeMessage(bool Maximized) {
  const bool changed = Maximized != FWasMaximized;
  FWasMaximized = Maximized;
  if (changed) Request();
}

void TCustomScaler::UserSized() {
  if (!FScaleRuntime) return;
  FSizeMoveTimer->SetEnabled(false);
  FSizeMoveTimer->SetEnabled(true);
}

void TCustomScaler::ExitSizeMove() {
  FSizeMoveTimer->SetEnabled(false);
  Request();
}

void TCustomScaler::Request() {
  if (FRescaling || !FHook) return;
  // Runs once the size change is complete; dropped if the scaler goes first.
  QMetaObject::invokeMethod(
      FHook, [this] { Dispatch(this, [this] { Rescale(false); }); }, Qt::QueuedConnection);
}

TScaler* TScaler::Attach(TForm* Form, const TScalerDesign& Design) {
  auto* s = new TScaler(Form);
  s->SetDesign(Design);
  s->Loaded();
  return s;
}
