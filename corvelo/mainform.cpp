#include "corvelo/mainform.h"

#include <QFontMetrics>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "corvelo/aboutform.h"
#include "corvelo/categoryform.h"
#include "corvelo/photoform.h"
#include "corvelo/slideshowform.h"
#include "corvelo/library/vistrel.h"
#include "platform/core/stream.h"

namespace corvelo {

namespace {

constexpr int kHelpContext = 10;
constexpr int kButtonSize = 24;
constexpr int kIconSize = 20;
constexpr int kHeadlineMargin = 6, kLeastHeadlinePoints = 8;

// The pictures the form is designed with: a band shading from one colour into another
// with a title in its middle.
void PaintBanner(TBitmap* b, int w, int h, TColor from, TColor to, const std::string& title, int points) {
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  TCanvas* c = b->Canvas();
  c->Brush()->SetStyle(bsSolid);
  auto part = [](TColor c, int shift) { return (c >> shift) & 0xFF; };
  for (int y = 0; y < h; ++y) {
    auto mix = [&](int shift) {
      return part(from, shift) + (part(to, shift) - part(from, shift)) * y / std::max(1, h - 1);
    };
    c->Brush()->SetColor(TColor(mix(0) | mix(8) << 8 | mix(16) << 16));
    c->FillRect(Rect(0, y, w, y + 1));
  }
  c->Font()->SetName("Arial");
  c->Font()->SetSize(points);
  c->Font()->SetStyle(fsBold);
  c->Brush()->SetStyle(bsClear);
  const int tw = c->TextWidth(title), th = c->TextHeight(title);
  c->Font()->SetColor(TColor(0x202020));
  c->TextOut((w - tw) / 2 + 1, (h - th) / 2 + 1, title);
  c->Font()->SetColor(clWhite);
  c->TextOut((w - tw) / 2, (h - th) / 2, title);
}

}  // namespace

TMainForm::TMainForm(TComponent* AOwner) : TForm(AOwner) {
  MainForm = this;
  SetCaption("Corvelo - Digital photo presentation software");
  SetColor(clSilver);
  Font()->SetName("Arial");
  Font()->SetSize(8);
  SetHelpContext(kHelpContext);
  SetHelpFile("Velmora.hlp");
  BuildMenus();
  // The client area under the menu bar.
  SetClientWidth(790);
  SetClientHeight(553);
  BuildControls();
  Scaler1 = TScaler::Attach(this);
  // A start-up that fails is reported like any other error; the form stays.
  OnCreate = [this](TObject* s) { Dispatch(this, [&] { FormCreate(s); }); };
  DoCreate();
}

TMainForm::~TMainForm() {
  if (Application && FHintInstalled) Application->OnHint = nullptr;
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::BuildMenus() {
  MainMenu1 = new TMainMenu(this);
  TMenuItem* root = MainMenu1->Items();
  auto on = [this](void (TMainForm::*m)(TObject*)) -> TNotifyEvent { return [this, m](TObject* s) { (this->*m)(s); }; };
  File1 = root->AddItem("&File");
  Exit1 = File1->AddItem("&Exit", on(&TMainForm::Exit1Click));
  Tools1 = root->AddItem("&Tools");
  ShowAlbum1 = Tools1->AddItem("&Show Album", on(&TMainForm::ShowCatClick));
  Showslides1 = Tools1->AddItem("S&how slides", on(&TMainForm::ButtonGoToSlide1Click));
  Help1 = root->AddItem("&Help");
  About1 = Help1->AddItem("&About", on(&TMainForm::AboutbuttonClick));
  Help2 = Help1->AddItem("&Help", on(&TMainForm::HelpMainCatClick));
  SetMenu(MainMenu1);
}

void TMainForm::BuildControls() {
  auto on = [this](void (TMainForm::*m)(TObject*)) -> TNotifyEvent { return [this, m](TObject* s) { (this->*m)(s); }; };
  auto panel = [this](TWinControl* parent, int x, int y, int w, int h) {
    auto* p = new TPanel(this);
    p->SetParent(parent);
    p->SetBounds(x, y, w, h);
    p->SetShowHint(true);
    return p;
  };
  auto button = [this](TWinControl* parent, int x, int y, const std::string& icon, const std::string& caption,
                       const std::string& hint, TNotifyEvent click) {
    auto* b = new TSpeedButton(this);
    b->SetParent(parent);
    int w = kButtonSize;
    if (LoadThemeGlyph(icon, kIconSize, b->Glyph())) {
      b->SetNumGlyphs(4);
    } else if (caption.empty()) {
      b->SetCaption(icon == "help-browser" ? "?" : "X");
    }
    if (!caption.empty()) {
      b->SetCaption(caption);
      w = int(caption.size()) * 7 + (b->NumGlyphs() == 4 ? kIconSize + 12 : 14);
    }
    b->SetBounds(x, y, w, kButtonSize);
    b->SetHint(hint);
    b->SetShowHint(true);
    b->SetFlat(true);
    b->SetTabStop(true);
    b->OnClick = std::move(click);
    return b;
  };

  // Headline: the text, and the picture in its frame beside it.
  Headline = panel(this, 12, 12, 537, 65);
  Headline->SetBevelOuter(bvLowered);
  Headline->SetColor(TColor(0x5A3A1E));
  Headline->Font()->SetName("Arial");
  Headline->Font()->SetSize(18);
  Headline->Font()->SetStyle(fsBold);
  Headline->Font()->SetColor(clWhite);
  Headline->SetCaption("Digital photo presentation");

  PanelBase1 = panel(this, 553, 12, 225, 121);
  PanelBase1->SetBevelOuter(bvNone);
  PanelBase1->SetColor(clSilver);
  Panel1 = panel(PanelBase1, 0, 0, 225, 121);
  Panel1->SetBevelOuter(bvNone);
  Image1 = new TImage(this);
  Image1->SetParent(Panel1);
  Image1->SetBounds(0, 0, 225, 121);
  PaintBanner(Image1->Picture()->Bitmap(), 200, 104, TColor(0xB07A3C), TColor(0x3A2414), "Corvelo", 22);

  // The hint line, with help, about and close at its right end.
  PanelHelp = panel(this, 12, 85, 537, 48);
  PanelHelp->SetBevelOuter(bvLowered);
  PanelHelp->SetColor(TColor(0xF0F0F0));
  PanelHelp->Font()->SetName("Arial");
  PanelHelp->Font()->SetSize(9);
  PanelHelp->Font()->SetColor(clNavy);
  PanelHelp->SetCaption("Choose an album or a slide show");

  // Albums and slide shows side by side, each with its banner, its choices and its bar.
  auto side = [&](int x, TImage*& banner, const std::string& title, TColor from, TColor to, TRadioGroup*& group,
                  const std::string& groupCaption, const std::string& groupHint, TPanel*& bar,
                  const std::string& barCaption, const std::string& barHint, TSpeedButton*& go, const std::string& icon,
                  TNotifyEvent click) {
    TPanel* p = panel(this, x, 145, 379, 396);
    p->SetColor(TColor(0xE0E0E0));
    banner = new TImage(this);
    banner->SetParent(p);
    banner->SetBounds(8, 8, 363, 96);
    banner->SetStretch(true);
    PaintBanner(banner->Picture()->Bitmap(), 363, 96, from, to, title, 18);
    group = new TRadioGroup(this);
    group->SetParent(p);
    group->SetBounds(8, 112, 363, 228);
    group->Font()->SetSize(10);
    // The choices lie on their panel's ground.
    group->SetColor(p->Color());
    group->SetCaption(groupCaption);
    group->SetColumns(2);
    group->SetHint(groupHint);
    group->SetShowHint(true);
    bar = panel(p, 8, 348, 363, 40);
    bar->SetBevelOuter(bvRaised);
    bar->SetCaption(barCaption);
    bar->Font()->SetStyle(fsBold);
    bar->SetHint(barHint);
    bar->SetCursor(crHandPoint);
    bar->OnClick = click;
    go = button(bar, 8, (40 - kButtonSize) / 2, icon, "", barHint, click);
    return p;
  };
  CatPanel = side(12, Image3, "Photo albums", TColor(0x4F8A3A), TColor(0x1E3A14), RC, "Select an Album",
                  "Select an Album to view", Panel3, "View the selected Album", "View the selected Album", ShowCat,
                  "folder-pictures", on(&TMainForm::ShowCatClick));
  SlidePanel = side(399, Image2, "Slide shows", TColor(0x3A5FA0), TColor(0x14244A), RS, "Select a slide show",
                    "Select a slide show", Panel4, "Show the selected Slide show", "Show the selected Slide show",
                    ButtonGoToSlide1, "x-office-presentation", on(&TMainForm::ButtonGoToSlide1Click));

  // The hint line's buttons come last to Tab, left to right, after the choices.
  const int by = (48 - kButtonSize) / 2;
  HelpMainCat = button(PanelHelp, 0, by, "help-browser", "", "Get help for Corvelo", on(&TMainForm::HelpMainCatClick));
  Aboutbutton =
      button(PanelHelp, 0, by, "help-about", "About", "Find out more about Corvelo", on(&TMainForm::AboutbuttonClick));
  SpeedButtonClose = button(PanelHelp, 537 - 8 - kButtonSize, by, "application-exit", "",
                            "Close the Corvelo Application", on(&TMainForm::Exit1Click));
  Aboutbutton->SetLeft(SpeedButtonClose->Left() - 4 - Aboutbutton->Width());
  HelpMainCat->SetLeft(Aboutbutton->Left() - 4 - kButtonSize);

  // Hidden helpers.
  HelpPanel = new TEdit(this);
  HelpPanel->SetParent(this);
  HelpPanel->SetReadOnly(true);
  HelpPanel->SetVisible(false);
  HelpPanel->OnChange = on(&TMainForm::HelpPanelChange);
  auto hiddenList = [this] {
    auto* l = new TListBox(this);
    l->SetParent(this);
    l->SetVisible(false);
    return l;
  };
  AdminList = hiddenList();
  CatList = hiddenList();
  SlideList = hiddenList();
  Vistrel1 = NewHiddenDecoder(this, this);
}

// ---------------------------------------------------------------------------------------------

void TMainForm::FormCreate(TObject*) {
  SetWindowState(wsMaximized);
  const std::string folder = ProgramFolder();
  if (::chdir(folder.c_str()) != 0) throw EInOutError("Cannot make " + folder + " the current folder");

  ListKind = 5;
  AdminList->Items()->Clear();
  CurrentListFile = folder + "Admin.lst";
  LoadList();
  if (FileExists(CurrentListFile)) {
    if (AdminList->Items()->Count() > 0) {
      CurrentImageFile = ListPath(AdminList->Items()->Strings(0));
      if (FileExists(CurrentImageFile)) LoadImage();
    }
    ApplySettings();
  }
  SetImage();

  ListKind = 1;
  RC->Items()->Clear();
  CurrentListFile = folder + "Category.lst";
  LoadList();
  RC->SetItemIndex(0);

  ListKind = 2;
  CurrentListFile = folder + "Slide.lst";
  RS->Items()->Clear();
  LoadList();
  RS->SetItemIndex(0);

  // A disc without albums (or shows) has nothing to open: the commands that would are off.
  const bool albums = RC->Items()->Count() > 0, shows = RS->Items()->Count() > 0;
  for (TControl* c : std::initializer_list<TControl*>{ShowCat, Panel3}) c->SetEnabled(albums);
  ShowAlbum1->SetEnabled(albums);
  for (TControl* c : std::initializer_list<TControl*>{ButtonGoToSlide1, Panel4}) c->SetEnabled(shows);
  Showslides1->SetEnabled(shows);

  Application->OnHint = [this](TObject* s) { ShowHint(s); };
  FHintInstalled = true;
}

void TMainForm::ApplySettings() {
  const TStrings* lines = AdminList->Items();
  // A line that is missing or not a number leaves its value as designed.
  auto number = [&](int line, TColor& value) {
    if (line >= lines->Count()) return false;
    try {
      value = StrToInt(lines->Strings(line));
    } catch (const EConvertError&) {
      return false;
    }
    return true;
  };
  if (lines->Count() > 1) {
    Headline->SetCaption(AsWritten(lines->Strings(1)));
    // A long headline takes a smaller type rather than losing its ends.
    const QString text = QString::fromStdString(lines->Strings(1));
    const int room = Headline->ClientWidth() - 2 * kHeadlineMargin;
    while (Headline->Font()->Size() > kLeastHeadlinePoints &&
           QFontMetrics(Headline->Font()->QtFont()).horizontalAdvance(text) > room)
      Headline->Font()->SetSize(Headline->Font()->Size() - 1);
  }
  TColor c;
  if (number(2, c)) Headline->SetColor(c);
  if (number(3, c)) {
    Headline->Font()->SetColor(c);
    RC->Font()->SetColor(c);
    RS->Font()->SetColor(c);
  }
  if (number(4, c)) {
    SetColor(c);
    PanelBase1->SetColor(c);
  }
  // The choices follow their panel's colour.
  if (number(5, c)) {
    CatPanel->SetColor(c);
    RC->SetColor(c);
  }
  if (number(6, c)) {
    SlidePanel->SetColor(c);
    RS->SetColor(c);
  }
}

void TMainForm::LoadList() {
  CatList->Items()->Clear();
  SlideList->Items()->Clear();
  const std::string name = CurrentListFile;
  // A missing list leaves the list it would fill empty.
  auto target = [&]() -> TStrings* {
    switch (ListKind) {
      case 1: return RC->Items();
      case 2: return RS->Items();
      case 3: return CatList->Items();
      case 4: return SlideShowForm ? SlideShowForm->ListBoxSlide->Items() : nullptr;
      case 5: return AdminList->Items();
      default: return nullptr;
    }
  };
  TStrings* into = target();
  if (!FileExists(name)) {
    if (into) into->Clear();
    return;
  }
  std::ifstream in(name, std::ios::binary);
  if (!in) throw EInOutError("Cannot read " + name);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    switch (ListKind) {
      case 1:
      case 2:
        // The titles are the radio buttons' captions.
        if (line != ".") lines.push_back(AsWritten(line));
        break;
      case 3: lines.push_back(line.empty() ? "-" : line); break;
      default: lines.push_back(line); break;
    }
  }
  if (in.bad()) throw EInOutError("Cannot read " + name);
  if (into) into->Assign(lines);
}

void TMainForm::ShowCatClick(TObject*) {
  const int album = RC->ItemIndex();
  // Nothing to open while the disc offers no album.
  if (album < 0) return;
  CatList->Items()->Clear();
  ListKind = 3;
  CurrentListFile = ProgramFolder() + "RC" + IntToStr(album) + ".lst";
  LoadList();
  ThumbsPending = 1;
  if (!CategoryForm) return;
  for (TPanel* frame : CategoryForm->PanelBase) frame->Hide();
  CategoryForm->PanelCatName->SetCaption(RC->Items()->Strings(album));
  CategoryForm->PanelcatHelp->SetCaption("Please wait while the photos load");
  CategoryForm->ShowModal();
}

void TMainForm::ButtonGoToSlide1Click(TObject*) {
  const int show = RS->ItemIndex();
  if (show < 0) return;
  ListKind = 4;
  CurrentListFile = ProgramFolder() + "RS" + IntToStr(show) + ".lst";
  LoadList();
  if (SlideShowForm) SlideShowForm->ShowModal();
}

void TMainForm::AboutbuttonClick(TObject*) {
  if (!AboutBox) AboutBox = new TAboutBox(Application);
  AboutBox->ShowModal();
}

void TMainForm::Exit1Click(TObject*) { Close(); }

void TMainForm::HelpMainCatClick(TObject*) {
  Application->SetHelpFile("Velmora.hlp");
  Application->HelpContext(kHelpContext);
}

void TMainForm::ShowHint(TObject*) { HelpPanel->SetText(GetLongHint(Application->Hint())); }

void TMainForm::HelpPanelChange(TObject*) {
  const std::string& hint = HelpPanel->Text();
  PanelHelp->SetCaption(hint);
  // While an album loads, its hint line keeps saying so.
  if (CategoryForm && !CategoryForm->Loading()) CategoryForm->PanelcatHelp->SetCaption(hint);
  if (ShowCatPhotoForm) ShowCatPhotoForm->PanelCatHelp->SetCaption(hint);
}

TLoadResult TMainForm::LoadImage() {
  // A picture that can't be read leaves the headline picture as it was.
  return corvelo::LoadImage(Vistrel1, Image1);
}

bool TMainForm::SetImage() { return corvelo::SetImage(PanelBase1, Panel1, Image1); }

}  // namespace corvelo
