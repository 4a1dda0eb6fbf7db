#include "components/printsize.h"

#include "components/scaler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/core/types.h"

namespace {
template <class T>
T* Make(TWinControl* parent, int l, int t, int w, int h) {
  auto* c = new T(parent);
  c->SetParent(parent);
  c->SetBounds(l, t, w, h);
  return c;
}

bool PositiveNumber(long double x) { return std::isfinite(x) && x > 0; }
}  // namespace

TOKBottomDlg::TOKBottomDlg(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Print size");
  SetHelpContext(210);
  SetHelpFile("Velmora.hlp");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(313);
  SetClientHeight(214);
  Bevel1 = Make<TBevel>(this, 8, 8, 297, 161);
  Bevel1->SetShape(bsFrame);
  Label1 = Make<TLabel>(this, 24, 22, 220, 16);
  Label1->SetCaption("Select what size to print:");
  Label1->Font()->SetColor(clBlue);
  RadioButton1 = Make<TRadioButton>(this, 40, 54, 220, 20);
  RadioButton1->SetCaption("Full paper area");
  RadioButton3 = Make<TRadioButton>(this, 40, 86, 220, 20);
  RadioButton3->SetCaption("Halve of paper area");
  RadioButton2 = Make<TRadioButton>(this, 40, 118, 220, 20);
  RadioButton2->SetCaption("Post card");
  OKBtn = Make<TButton>(this, 79, 180, 75, 25);
  OKBtn->SetCaption("OK");
  OKBtn->SetModalResult(mrOk);
  OKBtn->SetDefault(true);
  CancelBtn = Make<TButton>(this, 159, 180, 75, 25);
  CancelBtn->SetCaption("Cancel");
  CancelBtn->SetModalResult(mrCancel);
  CancelBtn->SetCancel(true);
  RadioButton1->OnClick = [this](TObject* s) { RadioButton1Click(s); };
  RadioButton2->OnClick = [this](TObject* s) { RadioButton2Click(s); };
  RadioButton3->OnClick = [this](TObject* s) { RadioButton3Click(s); };
  CancelBtn->OnClick = [this](TObject* s) { CancelBtnClick(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  TScaler::Attach(this, {.FormFontWidth = 6, .FormFontHeight = 13});
}

void TOKBottomDlg::RadioButton1Click(TObject*) { PrintChoice = kPrintFullPaper; }
void TOKBottomDlg::RadioButton2Click(TObject*) { PrintChoice = kPrintPostCard; }
void TOKBottomDlg::RadioButton3Click(TObject*) { PrintChoice = kPrintHalfPaper; }

void TOKBottomDlg::CancelBtnClick(TObject*) {
  PrintChoice = kPrintNone;
  Close();
}

void TOKBottomDlg::FormActivate(TObject*) {
  const int choice = PrintChoice;
  RadioButton1->SetChecked(choice == kPrintFullPaper);
  RadioButton3->SetChecked(choice == kPrintHalfPaper);
  RadioButton2->SetChecked(choice == kPrintPostCard);
}

void TOKBottomDlg::FormClose(TObject*, TCloseAction&) {
  // OK prints what the dialog shows; any other way out prints nothing.
  PrintChoice = kPrintNone;
  if (ModalResult() != mrOk) return;
  if (RadioButton1->Checked()) PrintChoice = kPrintFullPaper;
  if (RadioButton3->Checked()) PrintChoice = kPrintHalfPaper;
  if (RadioButton2->Checked()) PrintChoice = kPrintPostCard;
}

// ---------------------------------------------------------------------------------------------

double PictureRatio(const TBitmap* Picture) {
  if (!Picture || Picture->Width() <= 0 || Picture->Height() <= 0) return 0;
  return double((long double)Picture->Width() / Picture->Height());
}

TPaperBox PaperBox(TPrinter* Device) {
  if (!Device) return {};
  const int dpiX = Device->GetDeviceCaps(LOGPIXELSX), dpiY = Device->GetDeviceCaps(LOGPIXELSY);
  if (dpiX <= 0 || dpiY <= 0) return {};
  // The picture starts an eighth of an inch in; the same margin is kept at the far sides.
  const double w = double(Device->PageWidth()) / dpiX - 0.25, h = double(Device->PageHeight()) / dpiY - 0.25;
  if (!(w > 0) || !(h > 0)) return {};
  return {w, h};
}

double PrintWidth(int Choice, double Ratio, TPaperBox Paper, double PostCardLong) {
  const double r = Ratio;
  if (!PositiveNumber(r) || !PositiveNumber(PostCardLong)) return 0;
  // The picture fills a box of the chosen size on one side; all comparisons are strict.
  const long double L = PostCardLong;
  double d = 0;
  switch (Choice) {
    case kPrintFullPaper: {
      const long double W = Paper.Width, H = Paper.Height;
      if (!PositiveNumber(W) || !PositiveNumber(H)) return 0;
      d = double(W);
      if (W / r > H) d = double(H * r);
      break;
    }
    case kPrintPostCard:
      if (r > 1) {
        d = double(L);
        if (L / r > 4.0L) d = double(4.0L * r);
      } else {
        d = 4;
        if (4.0L / r > L) d = double(L * r);
      }
      break;
    case kPrintHalfPaper: {
      const long double W = Paper.Width, H = Paper.Height;
      if (!PositiveNumber(W) || !PositiveNumber(H)) return 0;
      // Half the paper, its long side along the picture's, within the paper.
      const long double half = std::max(W, H) / 2, across = std::min(W, H);
      const long double longer = std::max(half, across), shorter = std::min(half, across);
      const long double bw = std::min(r > 1 ? longer : shorter, W), bh = std::min(r > 1 ? shorter : longer, H);
      d = double(bw);
      if (bw / r > bh) d = double(bh * r);
      break;
    }
    default: return 0;
  }
  return d;
}

void PrintImage(TBitmap* Picture, double Width, double Ratio) {
  const double d = Width, r = Ratio;
  if (!PositiveNumber(d) || !PositiveNumber(r)) return;
  TPrinter* P = Printer();
  P->BeginDoc();
  try {
    const int dpiX = P->GetDeviceCaps(LOGPIXELSX);
    const int dpiY = P->GetDeviceCaps(LOGPIXELSY);
    // Device sizes are bounded by the page, so anything beyond an int's reach is cut there.
    const int64_t w = Round((long double)dpiX * d);
    const int64_t h = Round((long double)d * dpiY / r);
    const int x = dpiX / 8, y = dpiY / 8;
    const int64_t most = std::numeric_limits<int>::max();
    BltTBitmapAsDib(P, x, y, Picture, int(std::clamp<int64_t>(w, 0, most - std::max(x, 0))),
                    int(std::clamp<int64_t>(h, 0, most - std::max(y, 0))));
  } catch (...) {
    P->Abort();
    throw;
  }
  P->EndDoc();
}

void BltTBitmapAsDib(TPrinter* Device, int X, int Y, TBitmap* Picture, int Width, int Height) {
  // The screens of this platform are true colour, so the picture always goes as 24-bit rows
  // without a colour table, and the printer's palette is never touched.
  if (!Device || !Picture || Picture->Empty() || Width <= 0 || Height <= 0) return;
  Device->StretchDraw(Rect(X, Y, X + Width, Y + Height), Picture);
}

bool PrintPicture(TPrintDialog* PrintDialog, TOKBottomDlg* SizeDialog, TBitmap* Picture, double PostCardLong) {
  if (!PrintDialog || !SizeDialog || !PrintDialog->Execute()) return false;
  if (SizeDialog->ShowModal() != mrOk) return false;
  const int choice = SizeDialog->PrintChoice;
  if (choice <= kPrintNone) {
    ShowMessage(SNoPrintSize);
    return false;
  }
  // A picture without pixels has no ratio to print at.
  const double r = PictureRatio(Picture);
  if (r <= 0) return false;
  const double d = PrintWidth(choice, r, PaperBox(Printer()), PostCardLong);
  if (d <= 0) return false;
  PrintImage(Picture, d, r);
  return true;
}
