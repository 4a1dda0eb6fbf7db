#include "components/aboutbox.h"

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

TVLAboutBox::TVLAboutBox(TComponent* AOwner, const std::string& Caption, int HelpContext, const std::string& Product,
                         const std::string& Line, const std::vector<std::string>& Description)
    : TForm(AOwner) {
  // Rows of 16 pixels from the description down; the links 8 below it, the panel 20 below them.
  const int linksTop = 86 + 16 * int(Description.size()) + 8;
  const int panelHeight = linksTop + 18 + 20;
  SetCaption(Caption);
  SetHelpContext(HelpContext);
  SetHelpFile("Velmora.hlp");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(330);
  SetClientHeight(panelHeight + 54);
  // The button comes first, so it has the focus when the box opens.
  OKButton = new TButton(this);
  OKButton->SetParent(this);
  OKButton->SetBounds(128, panelHeight + 18, 75, 25);
  OKButton->SetCaption("OK");
  OKButton->SetModalResult(mrOk);
  OKButton->SetDefault(true);
  OKButton->SetCancel(true);
  Panel1 = new TPanel(this);
  Panel1->SetParent(this);
  Panel1->SetBounds(8, 8, 314, panelHeight);
  Panel1->SetBevelOuter(bvLowered);
  ProductName = MakeLabel(Panel1, Product, 16, 12);
  ProductName->Font()->SetSize(14);
  ProductName->Font()->SetStyle(fsBold);
  Version = MakeLabel(Panel1, "Version 1.0", 16, 42);
  Copyright = MakeLabel(Panel1, Line, 16, 60);
  for (size_t i = 0; i < Description.size(); ++i)
    Comments.push_back(MakeLabel(Panel1, Description[i], 16, 86 + 16 * int(i)));
  HyperLink1 = MakeLink(Panel1, "www.velmora.example", "https://www.velmora.example/", 16, linksTop);
  HyperLink2 = MakeLink(Panel1, "support@velmora.example", "mailto:support@velmora.example", 16, linksTop + 18);
  Scaler1 = TScaler::Attach(this, {.ScaleRuntime = true});
}
