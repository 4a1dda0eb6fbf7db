#include "quillon/aboutform.h"

namespace quillon {

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
  SetCaption("About");
  SetHelpContext(80);
  SetHelpFile("Velmora.hlp");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(330);
  SetClientHeight(218);
  // The button comes first, so it has the focus when the box opens.
  OKButton = new TButton(this);
  OKButton->SetParent(this);
  OKButton->SetBounds(128, 182, 75, 25);
  OKButton->SetCaption("OK");
  OKButton->SetModalResult(mrOk);
  OKButton->SetDefault(true);
  OKButton->SetCancel(true);
  Panel1 = new TPanel(this);
  Panel1->SetParent(this);
  Panel1->SetBounds(8, 8, 314, 164);
  Panel1->SetBevelOuter(bvLowered);
  ProductName = MakeLabel(Panel1, "Quillon", 16, 12);
  ProductName->Font()->SetSize(14);
  ProductName->Font()->SetStyle(fsBold);
  Version = MakeLabel(Panel1, "Version 1.0", 16, 42);
  Copyright = MakeLabel(Panel1, "Image editor of the Velmora photo family", 16, 60);
  Comments1 = MakeLabel(Panel1, "Acquires, opens, edits, prints and saves pictures,", 16, 86);
  Comments2 = MakeLabel(Panel1, "each in a window of its own.", 16, 102);
  HyperLink1 = MakeLink(Panel1, "www.velmora.example", "https://www.velmora.example/", 16, 126);
  HyperLink2 = MakeLink(Panel1, "support@velmora.example", "mailto:support@velmora.example", 16, 144);
  Scaler1 = TScaler::Attach(this, {.ScaleRuntime = true});
}

}  // namespace quillon
