#include "corvelo/aboutform.h"

namespace corvelo {

namespace {
TLabel* MakeLabel(TWinControl* Parent, const std::string& Caption, int Left, int Top) {
  auto* l = new TLabel(Parent);
  l->SetParent(Parent);
  l->SetBounds(Left, Top, 100, 16);
  l->SetCaption(Caption);
  return l;
}

THyperLink* MakeLink(TWinControl* Parent, const std::string& Caption, const std::string& Target, int Left, int Top) {
  auto* h = new THyperLink(Parent);
  h->SetParent(Parent);
  h->SetLeft(Left);
  h->SetTop(Top);
  h->SetColor(clBtnFace);
  h->SetCaption(Caption);
  h->SetHREF(Target);
  h->SetHint(Target);
  h->SetShowHint(true);
  return h;
}
}  // namespace

TAboutBox::TAboutBox(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("About Corvelo");
  SetHelpContext(330);
  SetHelpFile("Velmora.hlp");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(330);
  SetClientHeight(234);
  // The button comes first, so it has the focus when the box opens.
  OKButton = new TButton(this);
  OKButton->SetParent(this);
  OKButton->SetBounds(128, 198, 75, 25);
  OKButton->SetCaption("OK");
  OKButton->SetModalResult(mrOk);
  OKButton->SetDefault(true);
  OKButton->SetCancel(true);
  Panel1 = new TPanel(this);
  Panel1->SetParent(this);
  Panel1->SetBounds(8, 8, 314, 180);
  Panel1->SetBevelOuter(bvLowered);
  ProductName = MakeLabel(Panel1, "Corvelo", 16, 12);
  ProductName->Font()->SetSize(14);
  ProductName->Font()->SetStyle(fsBold);
  Version = MakeLabel(Panel1, "Version 1.0", 16, 42);
  Copyright = MakeLabel(Panel1, "Digital photo presentation software", 16, 60);
  Comments1 = MakeLabel(Panel1, "Shows the albums and slide shows of this disc:", 16, 86);
  Comments2 = MakeLabel(Panel1, "pages of thumbnails, single photos with printing", 16, 102);
  Comments3 = MakeLabel(Panel1, "and slide shows played by timer or by hand.", 16, 118);
  HyperLink1 = MakeLink(Panel1, "www.velmora.example", "https://www.velmora.example/", 16, 142);
  HyperLink2 = MakeLink(Panel1, "support@velmora.example", "mailto:support@velmora.example", 16, 160);
  Scaler1 = TScaler::Attach(this, {.ScaleRuntime = true});
}

}  // namespace corvelo
