#include "corvelo/photoform.h"

#include <string>

#include "vistrel/proc/kernels/geometry.h"

namespace corvelo {

namespace {
const char* const kHelpFile = "Velmora.hlp";
constexpr int kHelpContext = 320;
constexpr int kPrintHelpContext = 360;

TButton* MakeButton(TComponent* owner, TWinControl* parent, int l, const std::string& caption, const std::string& hint,
                    TNotifyEvent onClick) {
  auto* b = NewControl<TButton>(owner, parent, l, 3, 60, 24);
  b->SetCaption(caption);
  b->SetHint(hint);
  b->SetShowHint(true);
  b->OnClick = std::move(onClick);
  return b;
}
}  // namespace

// ---------------------------------------------------------------------------------------------

TPhotoImage::TPhotoImage(TComponent* AOwner) : TImage(AOwner) {
  TNotifyEvent shown = Picture()->OnChange;
  Picture()->OnChange = [this, shown](TObject* s) {
    FShrunkValid = false;
    if (shown) shown(s);
  };
}

void TPhotoImage::SetFocusRing(bool v) {
  if (v == FFocusRing) return;
  FFocusRing = v;
  Invalidate();
}

void TPhotoImage::Paint() {
  PaintPhoto();
  // A photo of a few pixels is not covered: the frame lit around it shows the focus.
  if (!FFocusRing || ClientWidth() <= 16 || ClientHeight() <= 16) return;
  // Three lines of the highlight and a white one inside, seen on dark and light photos alike.
  TCanvas* c = TGraphicControl::Canvas();
  c->Brush()->SetStyle(bsSolid);
  for (int k = 0; k < 4; ++k) {
    c->Brush()->SetColor(k < 3 ? clHighlight : clWhite);
    c->FrameRect(Rect(k, k, ClientWidth() - k, ClientHeight() - k));
  }
}

void TPhotoImage::PaintPhoto() {
  TBitmap* b = Picture()->HasBitmap() ? Picture()->Bitmap() : nullptr;
  const int w = ClientWidth(), h = ClientHeight();
  if (!Stretch() || !b || b->PixelFormat() != pf24bit || w <= 0 || h <= 0 || (b->Width() <= w && b->Height() <= h)) {
    TImage::Paint();
    return;
  }
  if (!FShrunkValid || FShrunk.Width() != w || FShrunk.Height() != h) {
    FShrunk.SetPixelFormat(pf24bit);
    FShrunk.SetSize(w, h);
    VLStretchHalftone(b, &FShrunk);
    FShrunkValid = true;
  }
  TGraphicControl::Canvas()->Draw(0, 0, &FShrunk);
}

// ---------------------------------------------------------------------------------------------

TShowCatPhotoForm::TShowCatPhotoForm(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("View Photo");
  SetColor(clSilver);
  SetHelpContext(kHelpContext);
  SetHelpFile(kHelpFile);
  Font()->SetName("Arial");
  Font()->SetSize(8);
  SetClientWidth(800);
  SetClientHeight(600);
  SetShowHint(true);
  BuildControls();
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnClick = [this](TObject* s) { Image1Click(s); };
  // Maximised, the form keeps the screen's height.
  Scaler1 = TScaler::Attach(this, {.ScaleRuntime = true, .MaximizeFullscreen = true});
  // Maximised once the scaler knows the design, so the first showing rescales at once.
  SetWindowState(wsMaximized);
}

void TShowCatPhotoForm::BuildControls() {
  PanelCatHelp = NewControl<TPanel>(this, this, 0, 0, 800, 30);
  PanelCatHelp->SetAlign(alTop);
  PanelCatHelp->Font()->SetColor(clNavy);
  PanelCatHelp->SetShowHint(true);
  SpeedButton1 = MakeButton(this, PanelCatHelp, 4, "Close", "Close and return to the thumbnails",
                            [this](TObject* s) { SpeedButton1Click(s); });
  SpeedButton1->SetCancel(true);
  SpeedButton2 =
      MakeButton(this, PanelCatHelp, 66, "Print", "Print this photo", [this](TObject* s) { PopupMenu1Popup(s); });
  SpeedButton3 = MakeButton(this, PanelCatHelp, 736, "Help", "Get help on photo view",
                            [this](TObject* s) { SpeedButton3Click(s); });

  PanelPhotoDescribe = NewControl<TPanel>(this, this, 0, 30, 800, 28);
  PanelPhotoDescribe->SetAlign(alTop);
  PanelPhotoDescribe->SetColor(clWhite);
  PanelPhotoDescribe->SetBevelOuter(bvNone);
  PanelPhotoDescribe->SetParentFont(false);
  PanelPhotoDescribe->Font()->SetName("Arial");
  PanelPhotoDescribe->Font()->SetSize(10);
  PanelPhotoDescribe->Font()->SetStyle(fsBold);
  PanelPhotoDescribe->SetCaption("This is where your image will be shown FULL size.  Click anywhere to return.");

  PanelBase1 = NewControl<TPanel>(this, this, 0, 58, 800, 542);
  PanelBase1->SetAlign(alClient);
  PanelBase1->SetBevelOuter(bvNone);
  PanelBase1->SetColor(clSilver);
  Panel1 = NewControl<TPanel>(this, PanelBase1, 0, 0, 800, 542);
  Panel1->SetBevelOuter(bvNone);
  Panel1->SetColor(clSilver);
  Image1 = NewControl<TPhotoImage>(this, Panel1, 0, 0, 800, 542);
  Image1->SetAlign(alClient);

  PopupMenu1 = new TPopupMenu(this);
  PopupMenu1->OnPopup = [this](TObject* s) { PopupMenu1Popup(s); };
  Image1->SetPopupMenu(PopupMenu1);

  // Anywhere on the photo or the free area around it returns to the album.
  for (TControl* c : std::initializer_list<TControl*>{PanelBase1, Panel1, Image1, PanelPhotoDescribe})
    c->OnClick = [this](TObject* s) { Image1Click(s); };

  Vistrel1 = NewHiddenDecoder(this, PanelBase1);

  PrintDialog1 = new TPrintDialog(this);
  PrintDialog1->SetHelpContext(kPrintHelpContext);
}

void TShowCatPhotoForm::FormActivate(TObject*) { SetImage(); }

void TShowCatPhotoForm::AlignControls() {
  TForm::AlignControls();
  if (Visible() && FAlignLevel == 0 && Image1) SetImage();
}

void TShowCatPhotoForm::SetImage() {
  const bool scaled = corvelo::SetImage(PanelBase1, Panel1, Image1);
  const int w = Image1->Picture()->Width(), h = Image1->Picture()->Height();
  SetCaption(CurrentImageFile + "  " + std::to_string(w) + " x " + std::to_string(h) + "     " +
             (scaled ? "Image scaled to fit screen area" : ""));
}

void TShowCatPhotoForm::Image1Click(TObject*) { Close(); }

void TShowCatPhotoForm::SpeedButton1Click(TObject*) { Close(); }

void TShowCatPhotoForm::SpeedButton3Click(TObject*) {
  Application->SetHelpFile(kHelpFile);
  Application->HelpContext(kHelpContext);
}

void TShowCatPhotoForm::PopupMenu1Popup(TObject*) {
  if (!OKBottomDlg) return;
  // The viewer's help on print sizes has its own context.
  OKBottomDlg->SetHelpContext(kPrintHelpContext);
  TBitmap* picture = Image1->Picture()->Bitmap();
  if (picture->Width() > 0 && picture->Height() > 0) PictureRatio = float(picture->Width()) / float(picture->Height());
  PrintPicture(PrintDialog1, OKBottomDlg, picture, kPhotoPostCardInches);
}

}  // namespace corvelo
