#include "vistrel/io/iopreviews.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <vector>

#include "platform/gui/canvas.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/view/language.h"
#include "vistrel/view/vlutils.h"

namespace {

// Page indexes in the page control.
enum : int { pgJPEG, pgTIFF, pgGIF, pgBMP, pgPCX, pgPNG };

// TIFF photometric entries from which on the colour box is fixed at "16M".
constexpr int kPhotometricCMYK = 5;

// Limits of the typed numbers: image indexes as their up-downs, the 16-bit fields of the GIF
// and TIFF files, and positions whose ten-thousandths still fit the TIFF rational.
constexpr int kMaxImageIndex = 1000;
constexpr int kMax16 = 65535;
constexpr int kMaxTiffPosition = 429496;

struct TDepth {
  int32_t Bits, Samples;
};
const TDepth kTiffDepths[] = {{1, 1}, {4, 1}, {8, 1}, {16, 1}, {8, 3}};
const TDepth kBmpDepths[] = {{1, 1}, {4, 1}, {8, 1}, {5, 3}, {8, 3}, {8, 3}};
const TDepth kPcxDepths[] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}};
const TDepth kPngDepths[] = {{1, 1}, {8, 1}, {8, 3}};

TLabel* MakeLabel(TComponent* owner, TWinControl* parent, int l, int t, const std::string& caption = "") {
  auto* lab = new TLabel(owner);
  lab->SetParent(parent);
  lab->SetBounds(l, t, 10, 13);
  lab->SetCaption(caption);
  return lab;
}

TComboBox* MakeCombo(TComponent* owner, TWinControl* parent, int l, int t, int w,
                     std::initializer_list<const char*> items) {
  auto* c = NewControl<TComboBox>(owner, parent, l, t, w, 21);
  c->SetStyle(csDropDownList);
  for (const char* s : items) c->Items()->Add(s);
  return c;
}

// A combo box's entry, or Fallback when none is chosen.
int Index(TComboBox* c, int Fallback) {
  const int i = c->ItemIndex();
  return i < 0 ? Fallback : i;
}

int Number(TEdit* e, int Default, int Lo, int Hi) { return std::clamp(StrToIntDef(e->Text(), Default), Lo, Hi); }

// The entry of a depth table that holds Bits x Samples; records of depths the table lacks get
// the smallest entry of their sample count that holds every colour.
int DepthIndex(const TDepth* table, int count, int32_t bits, int32_t samples) {
  for (int i = 0; i < count; ++i)
    if (table[i].Bits == bits && table[i].Samples == samples) return i;
  for (int i = 0; i < count; ++i)
    if (table[i].Samples == samples && table[i].Bits >= bits) return i;
  return count - 1;
}

std::string Bytes(int64_t n) { return IntToStr(n) + " bytes"; }

// 2 to the power Bits, capped above 256 (the count of a colour map that can exist).
int64_t Colors(int32_t Bits) { return Bits > 8 ? 257 : Bits < 0 ? 1 : int64_t(1) << Bits; }

// The lock glyphs: open padlock up and disabled, closed padlock clicked and down, each over
// the face the button shows then.
void DrawLockGlyphs(TBitmap* glyph) {
  const int s = 16;
  glyph->SetPixelFormat(pf24bit);
  glyph->SetSize(4 * s, s);
  TCanvas* c = glyph->Canvas();
  const TColor faces[4] = {clBtnFace, clBtnFace, clBtnFace, clBtnHighlight};
  for (int i = 0; i < 4; ++i) {
    const int x = i * s;
    const bool closed = i >= 2, disabled = i == 1;
    const TColor metal = disabled ? clGrayText : RGB(80, 80, 80);
    const TColor body = disabled ? clBtnShadow : RGB(214, 168, 32);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(faces[i]);
    c->FillRect(Rect(x, 0, x + s, s));
    c->Brush()->SetColor(metal);
    // The shackle: closed, both legs reach the body; open, it is lifted and its left leg
    // stands free.
    const int top = closed ? 2 : 0;
    c->FillRect(Rect(x + 5, top, x + 11, top + 2));
    c->FillRect(Rect(x + 9, top, x + 11, 8));
    c->FillRect(Rect(x + 5, top, x + 7, closed ? 8 : 4));
    c->FillRect(Rect(x + 3, 7, x + 13, 15));
    c->Brush()->SetColor(body);
    c->FillRect(Rect(x + 4, 8, x + 12, 14));
    c->Brush()->SetColor(metal);
    c->FillRect(Rect(x + 7, 10, x + 9, 12));
  }
}

}  // namespace

TfIOPreviews::TfIOPreviews(TComponent* AOwner) : TForm(AOwner) {
  SetBorderStyle(bsDialog);
  SetBorderIcons(biSystemMenu);
  SetPosition(poScreenCenter);
  SetCaption("Paramters preview");
  SetClientWidth(522);
  SetClientHeight(383);
  FWork = new TIOParamsVals(nullptr);
  BuildControls();
  FIO = new TVistrelIO(this);
  FIO->SetStreamHeaders(false);
  FIO->OnProgress = [this](TObject* s, int p) { IOProgress(s, p); };
  FProc = new TVistrelProc(this);
  FProc->SetAutoUndo(false);
  OnShow = [this](TObject*) { FActivated = false; };
  OnActivate = [this](TObject* s) { FormActivate(s); };
}

TfIOPreviews::~TfIOPreviews() { delete FWork; }

void TfIOPreviews::BuildControls() {
  Panel2 = NewControl<TPanel>(this, this, 4, 0, 425, 168);
  Label1 = MakeLabel(this, Panel2, 6, 2, "Source:");
  Label2 = MakeLabel(this, Panel2, 227, 2, "Result:");
  Vistrel1 = NewControl<TVistrel>(this, Panel2, 6, 17, 191, 135);
  Vistrel1->SetCenter(true);
  Vistrel1->SetMouseInteract(miZoom | miScroll);
  Vistrel1->OnViewChange = [this](TObject* s, int c) { Vistrel1ViewChange(s, c); };
  Vistrel2 = NewControl<TVistrel>(this, Panel2, 227, 17, 191, 135);
  Vistrel2->SetCenter(true);
  ProgressBar1 = NewControl<TProgressBar>(this, Panel2, 6, 157, 412, 10);
  ProgressBar1->SetMin(0);
  ProgressBar1->SetMax(100);

  Button1 = NewControl<TButton>(this, this, 432, 15, 87, 23);
  Button1->SetCaption("OK");
  Button1->SetDefault(true);
  Button1->SetModalResult(mrOk);
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2 = NewControl<TButton>(this, this, 432, 43, 87, 23);
  Button2->SetCaption("Cancel");
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);
  Button3 = NewControl<TButton>(this, this, 432, 76, 87, 23);
  Button3->SetCaption("&Preview");
  Button3->OnClick = [this](TObject* s) { Button3Click(s); };
  SpeedButton1 = NewControl<TSpeedButton>(this, this, 432, 109, 25, 25);
  SpeedButton1->SetGroupIndex(1);
  SpeedButton1->SetAllowAllUp(true);
  DrawLockGlyphs(SpeedButton1->Glyph());
  SpeedButton1->SetNumGlyphs(4);
  SpeedButton1->SetHint("Lock preview");
  SpeedButton1->SetShowHint(true);
  SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };

  PageControl1 = NewControl<TPageControl>(this, this, 8, 172, 417, 208);
  TTabSheet** sheets[] = {&TabSheet1, &TabSheet2, &TabSheet3, &TabSheet4, &TabSheet5, &TabSheet6};
  const char* titles[] = {"JPEG", "TIFF", "GIF", "BMP", "PCX", "PNG"};
  for (int i = 0; i < 6; ++i) {
    *sheets[i] = new TTabSheet(this);
    (*sheets[i])->SetCaption(titles[i]);
    (*sheets[i])->SetPageControl(PageControl1);
  }
  PageControl1->OnChanging = [this](TObject* s, bool& a) { PageControl1Changing(s, a); };
  PageControl1->OnChange = [this](TObject* s) { PageControl1Change(s); };
  ColorDialog1 = new TColorDialog(this);

  auto edit = [this](TWinControl* p, int l, int t, int w) { return NewControl<TEdit>(this, p, l, t, w, 21); };
  // Original and compressed size, at the foot of every page.
  auto sizes = [this](TWinControl* p, int x, TLabel*& orig, TLabel*& origValue, TLabel*& comp, TLabel*& compValue) {
    orig = MakeLabel(this, p, x, 134, "Original size:");
    origValue = MakeLabel(this, p, x + 104, 134);
    comp = MakeLabel(this, p, x, 152, "Compressed size:");
    compValue = MakeLabel(this, p, x + 104, 152);
    AddColumn({{orig, {origValue}, 404}, {comp, {compValue}, 404}});
  };

  // JPEG
  TTabSheet* p = TabSheet1;
  Label23 = MakeLabel(this, p, 8, 10, "Quality:");
  TrackBar13 = NewControl<TTrackBar>(this, p, 92, 4, 250, 28);
  TrackBar13->SetMax(100);
  TrackBar13->SetFrequency(5);
  TrackBar13->SetPageSize(5);
  Edit22 = edit(p, 348, 6, 44);
  Label57 = MakeLabel(this, p, 8, 46, "Photometric:");
  ComboBox13 = MakeCombo(this, p, 92, 42, 100, {"RGB", "GrayScale", "YCbCr", "CMYK", "YCbCrK"});
  Label26 = MakeLabel(this, p, 8, 72, "DCT method:");
  ComboBox1 = MakeCombo(this, p, 92, 68, 100, {"ISLOW", "IFAST", "FLOAT"});
  Label27 = MakeLabel(this, p, 8, 98, "Smoothing factor:");
  Edit23 = edit(p, 116, 94, 40);
  UpDown11 = NewControl<TUpDown>(this, p, 156, 94, 16, 21);
  UpDown11->SetMin(0);
  UpDown11->SetMax(100);
  UpDown11->SetAssociate(Edit23);
  GroupBox5 = NewControl<TGroupBox>(this, p, 222, 40, 182, 70);
  GroupBox5->SetCaption(" Advanced ");
  CheckBox2 = NewControl<TCheckBox>(this, GroupBox5, 8, 18, 172, 18);
  CheckBox2->SetCaption("&Optimal Huffman");
  CheckBox3 = NewControl<TCheckBox>(this, GroupBox5, 8, 42, 172, 18);
  CheckBox3->SetCaption("P&rogressive");
  sizes(p, 8, Label3, Label4, Label24, Label25);
  AddColumn({{Label23, {TrackBar13, Edit22}, 400}, {Label57, {ComboBox13}, 214}, {Label26, {ComboBox1}, 214}});
  AddColumn({{Label27, {Edit23, UpDown11}, 218}});

  // TIFF
  p = TabSheet2;
  Label5 = MakeLabel(this, p, 8, 6, "Compression:");
  ComboBox2 =
      MakeCombo(this, p, 84, 2, 128,
                {"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX", "LZW", "OLDJPEG", "JPEG", "PACKBITS"});
  Label7 = MakeLabel(this, p, 8, 28, "Photometric:");
  ComboBox3 = MakeCombo(this, p, 84, 24, 128,
                        {"WHITEISZERO", "BLACKISZERO", "RGB", "RGBPALETTE", "TRANSPMASK", "CMYK", "YCBCR", "CIELAB"});
  Label19 = MakeLabel(this, p, 8, 50, "Colors:");
  ComboBox4 = MakeCombo(this, p, 84, 46, 128, {"B/W", "16", "256", "65536", "16M"});
  Label6 = MakeLabel(this, p, 8, 72, "Image index:");
  Edit1 = edit(p, 84, 68, 44);
  UpDown1 = NewControl<TUpDown>(this, p, 128, 68, 16, 21);
  UpDown1->SetMin(0);
  UpDown1->SetMax(kMaxImageIndex);
  UpDown1->SetAssociate(Edit1);
  Label8 = MakeLabel(this, p, 8, 94, "Horiz. Position (inch):");
  Edit2 = edit(p, 150, 90, 44);
  Label10 = MakeLabel(this, p, 8, 116, "Vert. Position (inch):");
  Edit3 = edit(p, 150, 112, 44);
  GroupBox1 = NewControl<TGroupBox>(this, p, 216, 0, 188, 118);
  GroupBox1->SetCaption(" Scanned document info ");
  Label12 = MakeLabel(this, GroupBox1, 6, 20, "Name:");
  Edit4 = edit(GroupBox1, 90, 16, 92);
  Label13 = MakeLabel(this, GroupBox1, 6, 44, "Description:");
  Edit5 = edit(GroupBox1, 90, 40, 92);
  Label14 = MakeLabel(this, GroupBox1, 6, 68, "Page name:");
  Edit6 = edit(GroupBox1, 90, 64, 92);
  Label15 = MakeLabel(this, GroupBox1, 6, 92, "Page number:");
  Edit7 = edit(GroupBox1, 90, 88, 36);
  Label16 = MakeLabel(this, GroupBox1, 130, 92, "of");
  Edit8 = edit(GroupBox1, 146, 88, 36);
  sizes(p, 8, Label9, Label11, Label17, Label18);
  AddColumn({{Label5, {ComboBox2}, 212},
             {Label7, {ComboBox3}, 212},
             {Label19, {ComboBox4}, 212},
             {Label6, {Edit1, UpDown1}, 212}});
  AddColumn({{Label8, {Edit2}, 212}, {Label10, {Edit3}, 212}});
  AddColumn({{Label12, {Edit4}, 182},
             {Label13, {Edit5}, 182},
             {Label14, {Edit6}, 182},
             {Label15, {Edit7, Label16, Edit8}, 182}});

  // GIF
  p = TabSheet3;
  Label21 = MakeLabel(this, p, 8, 8, "Colors:");
  ComboBox5 = MakeCombo(this, p, 92, 4, 80, {"B/W", "4", "8", "16", "32", "64", "128", "256"});
  Label20 = MakeLabel(this, p, 8, 34, "Image index:");
  Edit9 = edit(p, 92, 30, 44);
  UpDown2 = NewControl<TUpDown>(this, p, 136, 30, 16, 21);
  UpDown2->SetMin(0);
  UpDown2->SetMax(kMaxImageIndex);
  UpDown2->SetAssociate(Edit9);
  CheckBox4 = NewControl<TCheckBox>(this, p, 8, 56, 160, 18);
  CheckBox4->SetCaption("&Transparent:");
  Label34 = MakeLabel(this, p, 8, 80, "Transparent color:");
  Panel3 = NewControl<TPanel>(this, p, 120, 78, 40, 18);
  Label35 = MakeLabel(this, p, 8, 104, "Background:");
  Panel4 = NewControl<TPanel>(this, p, 120, 102, 40, 18);
  CheckBox5 = NewControl<TCheckBox>(this, p, 8, 128, 160, 18);
  CheckBox5->SetCaption("I&nterlaced:");
  GroupBox2 = NewControl<TGroupBox>(this, p, 196, 0, 208, 100);
  GroupBox2->SetCaption(" Advanced ");
  Label31 = MakeLabel(this, GroupBox2, 6, 20, "Horiz. Position:");
  Edit10 = edit(GroupBox2, 100, 16, 44);
  Label32 = MakeLabel(this, GroupBox2, 6, 46, "Vert. Position:");
  Edit11 = edit(GroupBox2, 100, 42, 44);
  Label33 = MakeLabel(this, GroupBox2, 6, 72, "Delay time:");
  Edit12 = edit(GroupBox2, 100, 68, 44);
  Label36 = MakeLabel(this, GroupBox2, 150, 72, "1/100 s");
  sizes(p, 180, Label22, Label28, Label29, Label30);
  AddColumn({{Label21, {ComboBox5}, 176},
             {Label20, {Edit9, UpDown2}, 176},
             {Label34, {Panel3}, 176},
             {Label35, {Panel4}, 176}});
  AddColumn({{Label31, {Edit10}, 202}, {Label32, {Edit11}, 202}, {Label33, {Edit12, Label36}, 202}});

  // BMP
  p = TabSheet4;
  Label37 = MakeLabel(this, p, 8, 8, "Compression:");
  ComboBox6 = MakeCombo(this, p, 92, 4, 128, {"UNCOMPRESSED", "RLE"});
  Label38 = MakeLabel(this, p, 8, 34, "Colors:");
  ComboBox7 = MakeCombo(this, p, 92, 30, 128, {"B/W", "16", "256", "65536", "16M", "16M (32bit)"});
  sizes(p, 8, Label39, Label40, Label41, Label42);

  // PCX
  p = TabSheet5;
  Label43 = MakeLabel(this, p, 8, 8, "Compression:");
  ComboBox8 = MakeCombo(this, p, 92, 4, 128, {"UNCOMPRESSED", "RLE"});
  Label44 = MakeLabel(this, p, 8, 34, "Colors:");
  ComboBox9 = MakeCombo(this, p, 92, 30, 128, {"B/W", "16", "256", "16M"});
  sizes(p, 8, Label45, Label46, Label47, Label48);

  // PNG
  p = TabSheet6;
  Label49 = MakeLabel(this, p, 8, 8, "Colors:");
  ComboBox10 = MakeCombo(this, p, 92, 4, 80, {"B/W", "256", "16M"});
  CheckBox6 = NewControl<TCheckBox>(this, p, 8, 32, 120, 18);
  CheckBox6->SetCaption("I&nterlaced:");
  Label54 = MakeLabel(this, p, 8, 58, "Background:");
  Panel1 = NewControl<TPanel>(this, p, 92, 56, 40, 18);
  GroupBox3 = NewControl<TGroupBox>(this, p, 206, 0, 196, 74);
  GroupBox3->SetCaption(" Advanced ");
  Label55 = MakeLabel(this, GroupBox3, 6, 20, "Filter:");
  ComboBox11 = MakeCombo(this, GroupBox3, 94, 16, 94, {"NONE", "SUB", "PAETH"});
  Label56 = MakeLabel(this, GroupBox3, 6, 46, "Compression:");
  ComboBox12 = MakeCombo(this, GroupBox3, 94, 42, 94, {"NONE", "1", "2", "3", "4", "5", "6", "7", "8", "MAX"});
  sizes(p, 8, Label51, Label50, Label52, Label53);

  AddColumn({{Label37, {ComboBox6}, 400}, {Label38, {ComboBox7}, 400}});
  AddColumn({{Label43, {ComboBox8}, 400}, {Label44, {ComboBox9}, 400}});
  AddColumn({{Label49, {ComboBox10}, 200}, {Label54, {Panel1}, 200}});
  AddColumn({{Label55, {ComboBox11}, 190}, {Label56, {ComboBox12}, 190}});
  ArrangeColumns();

  for (TPanel* panel : {Panel1, Panel3, Panel4}) {
    panel->SetBevelOuter(bvLowered);
    panel->SetCursor(crHandPoint);
  }

  // Change handlers.
  auto jpeg = [this](TObject* s) { JpegChange(s); };
  TrackBar13->OnChange = jpeg;
  ComboBox13->OnChange = jpeg;
  ComboBox1->OnChange = jpeg;
  CheckBox2->OnClick = jpeg;
  CheckBox3->OnClick = jpeg;
  Edit22->OnChange = [this](TObject* s) { JpegEditChange(s); };
  Edit23->OnChange = [this](TObject* s) { JpegEditChange(s); };
  auto tiff = [this](TObject* s) { TiffChange(s); };
  for (TComboBox* c : {ComboBox2, ComboBox3, ComboBox4}) c->OnChange = tiff;
  for (TEdit* e : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8}) e->OnChange = tiff;
  auto gif = [this](TObject* s) { GifChange(s); };
  ComboBox5->OnChange = gif;
  CheckBox4->OnClick = gif;
  CheckBox5->OnClick = gif;
  for (TEdit* e : {Edit9, Edit10, Edit11, Edit12}) e->OnChange = gif;
  ComboBox6->OnChange = ComboBox7->OnChange = [this](TObject* s) { BmpChange(s); };
  ComboBox8->OnChange = ComboBox9->OnChange = [this](TObject* s) { PcxChange(s); };
  auto png = [this](TObject* s) { PngChange(s); };
  for (TComboBox* c : {ComboBox10, ComboBox11, ComboBox12}) c->OnChange = png;
  CheckBox6->OnClick = png;
  Panel3->OnClick = [this](TObject* s) { Panel3Click(s); };
  Panel4->OnClick = [this](TObject* s) { Panel4Click(s); };
  Panel1->OnClick = [this](TObject* s) { Panel1Click(s); };
}

void TfIOPreviews::AddColumn(std::vector<TLayoutRow> Rows) {
  for (const TLayoutRow& r : Rows)
    for (TControl* c : r.Controls) FDesign.push_back({c, c->Left(), c->Width()});
  FColumns.push_back(std::move(Rows));
}

void TfIOPreviews::ArrangeColumns() {
  constexpr int kGap = 6, kMinWidth = 24;
  auto design = [this](TControl* c) {
    for (const TDesign& d : FDesign)
      if (d.Control == c) return d;
    return TDesign{c, c->Left(), c->Width()};
  };
  // A label that sizes itself keeps its width; the others take their design width.
  auto width = [&](TControl* c) {
    auto* l = dynamic_cast<TLabel*>(c);
    return l && l->AutoSize() ? l->Width() : design(c).Width;
  };
  for (const auto& rows : FColumns) {
    int labels = 0, start = INT_MAX;
    for (const TLayoutRow& r : rows) {
      labels = std::max(labels, r.Label->Left() + r.Label->Width());
      start = std::min(start, design(r.Controls.front()).Left);
    }
    const int shift = std::max(0, labels + kGap - start);
    for (const TLayoutRow& r : rows) {
      // The controls one after the other with their design gaps; when the row would pass
      // its right edge the first control gives up width, and what it can't give, the last.
      const std::vector<TControl*>& cs = r.Controls;
      auto gap = [&](size_t i) {
        return i == 0 ? 0 : design(cs[i]).Left - (design(cs[i - 1]).Left + design(cs[i - 1]).Width);
      };
      const int left = design(cs.front()).Left + shift;
      int right = left;
      for (size_t i = 0; i < cs.size(); ++i) right += gap(i) + width(cs[i]);
      const size_t last = cs.size() - 1;
      const int over = std::max(0, right - r.Right);
      const int cut = std::min(over, std::max(0, width(cs.front()) - kMinWidth));
      const bool lastGives = last > 0 && !dynamic_cast<TLabel*>(cs[last]);
      const int cutLast = lastGives ? std::min(over - cut, std::max(0, width(cs[last]) - kMinWidth)) : 0;
      int x = left;
      for (size_t i = 0; i < cs.size(); ++i) {
        const int w = width(cs[i]) - (i == 0 ? cut : 0) - (i == last && lastGives ? cutLast : 0);
        x += gap(i);
        cs[i]->SetBounds(x, cs[i]->Top(), w, cs[i]->Height());
        x += w;
      }
    }
  }
}

// ---- Setting up ----

bool TfIOPreviews::SetPages(uint8_t Pages) {
  FPages = Pages;
  uint8_t own = 0;
  if (FParams) switch (FParams->FileType) {
      case ftTIFF: own = iopTIFF; break;
      case ftGIF: own = iopGIF; break;
      case ftJPEG: own = iopJPEG; break;
      case ftPCX: own = iopPCX; break;
      case ftBMP: own = iopBMP; break;
      case ftPNG: own = iopPNG; break;
      default: break;
    }
  if (Pages & iopFileTypePage) FPages |= own;
  return !(Pages == iopFileTypePage && own == 0);
}

void TfIOPreviews::SetLanguage(TMsgLanguage Language) {
  auto w = [Language](int id) { return VLWordGet(id, Language); };
  auto c = [&](int id) { return w(id) + ":"; };
  auto g = [&](int id) { return " " + w(id) + " "; };
  SetCaption(w(37));
  Label1->SetCaption(c(1));
  Label2->SetCaption(c(2));
  Button2->SetCaption(w(4));
  Button1->SetCaption(w(3));
  Button3->SetCaption(w(0));
  SpeedButton1->SetHint(w(5));
  // JPEG
  Label23->SetCaption(c(38));
  Label26->SetCaption(c(39));
  Label27->SetCaption(c(40));
  Label57->SetCaption(c(49));
  CheckBox2->SetCaption(w(42));
  Label3->SetCaption(c(43));
  Label24->SetCaption(c(44));
  GroupBox5->SetCaption(g(45));
  CheckBox3->SetCaption(w(46));
  // TIFF
  Label5->SetCaption(c(47));
  Label6->SetCaption(c(48));
  Label7->SetCaption(c(49));
  GroupBox1->SetCaption(g(50));
  Label12->SetCaption(c(51));
  Label13->SetCaption(c(52));
  Label14->SetCaption(c(53));
  Label15->SetCaption(c(54));
  Label16->SetCaption(w(55));
  Label8->SetCaption(c(56));
  Label10->SetCaption(c(57));
  Label9->SetCaption(c(43));
  Label17->SetCaption(c(44));
  Label19->SetCaption(c(58));
  // GIF
  Label21->SetCaption(c(58));
  Label20->SetCaption(c(48));
  CheckBox4->SetCaption(c(59));
  Label34->SetCaption(c(60));
  CheckBox5->SetCaption(c(61));
  Label35->SetCaption(c(62));
  GroupBox2->SetCaption(g(45));
  Label31->SetCaption(c(63));
  Label32->SetCaption(c(64));
  Label33->SetCaption(c(65));
  Label22->SetCaption(c(43));
  Label29->SetCaption(c(44));
  // BMP
  Label37->SetCaption(c(47));
  Label38->SetCaption(c(58));
  Label39->SetCaption(c(43));
  Label41->SetCaption(c(44));
  // PCX
  Label43->SetCaption(c(47));
  Label44->SetCaption(c(58));
  Label45->SetCaption(c(43));
  Label47->SetCaption(c(44));
  // PNG
  Label49->SetCaption(c(58));
  CheckBox6->SetCaption(w(61));
  Label54->SetCaption(c(62));
  Label51->SetCaption(c(43));
  Label52->SetCaption(c(44));
  GroupBox3->SetCaption(g(45));
  Label55->SetCaption(c(66));
  Label56->SetCaption(c(47));
  FPaletteCancel = "&" + w(4);
  ArrangeColumns();
}

void TfIOPreviews::SetPreviewFont(TFont* AFont) {
  if (!AFont) return;
  // A font given to the form reaches every control that takes its parent's, as it does when
  // the form's font changes in the class library.
  std::function<void(TWinControl*)> spread = [&](TWinControl* parent) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
      TControl* c = parent->Controls(i);
      if (!c->ParentFont()) continue;
      c->Font()->Assign(AFont);
      c->SetParentFont(true);
      if (auto* w = dynamic_cast<TWinControl*>(c)) spread(w);
    }
  };
  Font()->Assign(AFont);
  spread(this);
  ArrangeColumns();
}

// ---- Activation and pages ----

void TfIOPreviews::FormActivate(TObject*) {
  // Once per showing: the form is activated again when a dialog it opened closes, and that
  // must not throw away what the user has chosen.
  if (FActivated) return;
  FActivated = true;
  FReady = false;
  SpeedButton1->SetDown(FDefaultLock);
  Button3->SetEnabled(!FDefaultLock);
  const uint8_t bits[6] = {iopJPEG, iopTIFF, iopGIF, iopBMP, iopPCX, iopPNG};
  TTabSheet* first = nullptr;
  for (int i = 0; i < 6; ++i) {
    const bool shown = (FPages & iopAllPages) || (FPages & bits[i]);
    PageControl1->Pages(i)->SetTabVisible(shown);
    if (shown && !first) first = PageControl1->Pages(i);
  }
  PageControl1->SetActivePage(first);
  ReadWorking();
  FillPage(first);
  Vistrel1->Fit();
  Application->ProcessMessages();
  PageControl1Change(PageControl1);
}

void TfIOPreviews::PageControl1Changing(TObject*, bool&) { FReady = false; }

void TfIOPreviews::PageControl1Change(TObject*) {
  FReady = false;
  ReadWorking();
  FillPage(PageControl1->ActivePage());
  FReady = true;
  RenderPreview();
}

void TfIOPreviews::ReadWorking() {
  if (FParams) FWork->Assign(FParams);
}

void TfIOPreviews::FillPage(TTabSheet* Page) {
  if (!Page) return;
  const bool wasReady = FReady;
  FReady = false;
  const TIOParamsVals& w = *FWork;
  TBitmap* src = Vistrel1->Bitmap();
  const int64_t b = src->PixelFormat() == pf1bit ? 1 : 24;
  const std::string original = Bytes((b * src->Width() + 31) / 32 * 4 * src->Height());
  switch (Page->PageIndex()) {
    case pgJPEG:
      TrackBar13->SetPosition(w.JPEGQuality);
      Edit22->SetText(IntToStr(w.JPEGQuality));
      ComboBox13->SetItemIndex(w.JPEGColorSpace);
      ComboBox1->SetItemIndex(w.JPEGDCTMethod);
      CheckBox2->SetChecked(w.JPEGOptimalHuffman);
      UpDown11->SetPosition(w.JPEGSmooth);
      Edit23->SetText(IntToStr(w.JPEGSmooth));
      CheckBox3->SetChecked(w.JPEGProgressive);
      Label4->SetCaption(original);
      break;
    case pgTIFF:
      ComboBox2->SetItemIndex(w.TIFFCompression);
      Edit1->SetText(IntToStr(w.TIFFImageIndex));
      ComboBox3->SetItemIndex(w.TIFFPhotometric);
      ComboBox4->SetItemIndex(DepthIndex(kTiffDepths, 5, w.BitsPerSample, w.SamplesPerPixel));
      Edit2->SetText(IntToStr(w.TIFFXPos));
      Edit3->SetText(IntToStr(w.TIFFYPos));
      Edit4->SetText(w.TIFFDocumentName);
      Edit5->SetText(w.TIFFImageDescription);
      Edit6->SetText(w.TIFFPageName);
      Edit7->SetText(IntToStr(w.TIFFPageNumber));
      Edit8->SetText(IntToStr(w.TIFFPageCount));
      Label11->SetCaption(original);
      ApplyTiffColorRule();
      break;
    case pgGIF:
      Edit9->SetText(IntToStr(w.GIFImageIndex));
      ComboBox5->SetItemIndex(std::clamp(w.BitsPerSample, 1, 8) - 1);
      CheckBox4->SetChecked(w.GIFTransparent);
      SetColorPanel(Panel3, w.GIFTranspColor);
      CheckBox5->SetChecked(w.GIFInterlaced);
      SetColorPanel(Panel4, w.GIFBackground);
      Edit10->SetText(IntToStr(w.GIFXPos));
      Edit11->SetText(IntToStr(w.GIFYPos));
      Edit12->SetText(IntToStr(w.GIFDelayTime));
      Label34->SetEnabled(w.GIFTransparent);
      Panel3->SetEnabled(w.GIFTransparent);
      Label28->SetCaption(original);
      break;
    case pgBMP:
      ComboBox6->SetItemIndex(w.BMPCompression ? 1 : 0);
      ComboBox7->SetItemIndex(DepthIndex(kBmpDepths, 5, w.BitsPerSample, w.SamplesPerPixel));
      Label40->SetCaption(original);
      break;
    case pgPCX:
      ComboBox8->SetItemIndex(w.PCXCompression ? 1 : 0);
      ComboBox9->SetItemIndex(w.SamplesPerPixel == 3 ? 3
                                                     : DepthIndex(kPcxDepths, 3, w.BitsPerSample, w.SamplesPerPixel));
      Label46->SetCaption(original);
      break;
    case pgPNG:
      ComboBox10->SetItemIndex(w.SamplesPerPixel == 1 ? (w.BitsPerSample == 1 ? 0 : 1) : 2);
      CheckBox6->SetChecked(w.PNGInterlaced);
      SetColorPanel(Panel1, w.PNGBackground);
      ComboBox11->SetItemIndex(w.PNGFilter);
      ComboBox12->SetItemIndex(w.PNGCompression);
      Label50->SetCaption(original);
      break;
  }
  FReady = wasReady;
}

void TfIOPreviews::ApplyTiffColorRule() {
  const int photometric = ComboBox3->ItemIndex();
  if (photometric >= kPhotometricCMYK) {
    ComboBox4->SetItemIndex(4);
    ComboBox4->SetEnabled(false);
  } else if (photometric == 0 || photometric == 1) {
    ComboBox4->SetItemIndex(0);
    ComboBox4->SetEnabled(false);
  } else {
    ComboBox4->SetEnabled(true);
    if (ComboBox4->ItemIndex() == 0) ComboBox4->SetItemIndex(4);
  }
}

void TfIOPreviews::SetColorPanel(TPanel* Panel, const TRGB& Color) { Panel->SetColor(RGBToColor(Color)); }

// ---- Change handlers ----

void TfIOPreviews::RenderIfLocked() {
  if (SpeedButton1->Down()) {
    RenderPreview();
    Vistrel2->Repaint();
  }
}

void TfIOPreviews::JpegEditChange(TObject* Sender) {
  if (!FReady) return;
  int quality = StrToIntDef(Edit22->Text(), 50);
  int smooth = StrToIntDef(Edit23->Text(), 0);
  // A typed number out of range shows the value it stands for.
  FReady = false;
  if (quality != std::clamp(quality, 0, 100)) Edit22->SetText(IntToStr(quality = std::clamp(quality, 0, 100)));
  if (smooth != std::clamp(smooth, 0, 100)) Edit23->SetText(IntToStr(smooth = std::clamp(smooth, 0, 100)));
  FReady = true;
  if (quality != FWork->JPEGQuality || smooth != FWork->JPEGSmooth) {
    TrackBar13->SetPosition(quality);
    JpegChange(Sender);
  }
}

void TfIOPreviews::JpegChange(TObject* Sender) {
  if (!FReady) return;
  TIOParamsVals& w = *FWork;
  const int quality = TrackBar13->Position();
  const int space = Index(ComboBox13, w.JPEGColorSpace);
  const int dct = Index(ComboBox1, w.JPEGDCTMethod);
  const bool huffman = CheckBox2->Checked();
  const int smooth = Number(Edit23, 0, 0, 100);
  const bool progressive = CheckBox3->Checked();
  if (quality == w.JPEGQuality && space == w.JPEGColorSpace && dct == w.JPEGDCTMethod &&
      huffman == w.JPEGOptimalHuffman && smooth == w.JPEGSmooth && progressive == w.JPEGProgressive)
    return;
  w.JPEGQuality = quality;
  w.JPEGColorSpace = uint8_t(space);
  w.JPEGDCTMethod = uint8_t(dct);
  w.JPEGOptimalHuffman = huffman;
  w.JPEGSmooth = smooth;
  w.JPEGProgressive = progressive;
  // The edit shows the track bar's value, but not while the user is typing in it.
  if (Sender != Edit22 && StrToIntDef(Edit22->Text(), -1) != quality) {
    FReady = false;
    Edit22->SetText(IntToStr(quality));
    FReady = true;
  }
  RenderIfLocked();
}

void TfIOPreviews::TiffChange(TObject*) {
  if (!FReady) return;
  TIOParamsVals& w = *FWork;
  ApplyTiffColorRule();
  const int compression = Index(ComboBox2, w.TIFFCompression);
  const int photometric = Index(ComboBox3, w.TIFFPhotometric);
  int samples = w.SamplesPerPixel, bits = w.BitsPerSample;
  if (photometric == kPhotometricCMYK) {
    samples = 4;
    bits = 8;
  } else if (ComboBox4->ItemIndex() >= 0) {
    samples = kTiffDepths[ComboBox4->ItemIndex()].Samples;
    bits = kTiffDepths[ComboBox4->ItemIndex()].Bits;
  }
  const bool changed = compression != w.TIFFCompression || photometric != w.TIFFPhotometric ||
                       samples != w.SamplesPerPixel || bits != w.BitsPerSample;
  if (changed) {
    w.TIFFCompression = uint8_t(compression);
    w.TIFFPhotometric = uint8_t(photometric);
    w.SamplesPerPixel = samples;
    w.BitsPerSample = bits;
  }
  w.TIFFImageIndex = Number(Edit1, 0, 0, kMaxImageIndex);
  w.TIFFXPos = Number(Edit2, 0, 0, kMaxTiffPosition);
  w.TIFFYPos = Number(Edit3, 0, 0, kMaxTiffPosition);
  w.TIFFDocumentName = Edit4->Text();
  w.TIFFImageDescription = Edit5->Text();
  w.TIFFPageName = Edit6->Text();
  w.TIFFPageNumber = Number(Edit7, 0, 0, kMax16);
  w.TIFFPageCount = Number(Edit8, 0, 0, kMax16);
  if (changed) RenderIfLocked();
}

void TfIOPreviews::GifChange(TObject*) {
  if (!FReady) return;
  TIOParamsVals& w = *FWork;
  const int bits = Index(ComboBox5, w.BitsPerSample - 1) + 1;
  const bool interlaced = CheckBox5->Checked();
  const bool changed = bits != w.BitsPerSample || interlaced != w.GIFInterlaced;
  if (changed) {
    w.BitsPerSample = bits;
    w.GIFInterlaced = interlaced;
  }
  w.GIFImageIndex = Number(Edit9, 0, 0, kMaxImageIndex);
  w.GIFXPos = Number(Edit10, 0, 0, kMax16);
  w.GIFYPos = Number(Edit11, 0, 0, kMax16);
  w.GIFDelayTime = Number(Edit12, 0, 0, kMax16);
  w.GIFTransparent = CheckBox4->Checked();
  Label34->SetEnabled(w.GIFTransparent);
  Panel3->SetEnabled(w.GIFTransparent);
  if (changed) RenderIfLocked();
}

void TfIOPreviews::BmpChange(TObject*) {
  if (!FReady) return;
  TIOParamsVals& w = *FWork;
  const bool compression = Index(ComboBox6, w.BMPCompression ? 1 : 0) != 0;
  const int i = ComboBox7->ItemIndex();
  const int bits = i < 0 ? w.BitsPerSample : kBmpDepths[i].Bits;
  const int samples = i < 0 ? w.SamplesPerPixel : kBmpDepths[i].Samples;
  if (compression == w.BMPCompression && bits == w.BitsPerSample && samples == w.SamplesPerPixel) return;
  w.BMPCompression = compression;
  w.BitsPerSample = bits;
  w.SamplesPerPixel = samples;
  RenderIfLocked();
}

void TfIOPreviews::PcxChange(TObject*) {
  if (!FReady) return;
  TIOParamsVals& w = *FWork;
  const bool compression = Index(ComboBox8, w.PCXCompression ? 1 : 0) != 0;
  const int i = ComboBox9->ItemIndex();
  const int bits = i < 0 ? w.BitsPerSample : kPcxDepths[i].Bits;
  const int samples = i < 0 ? w.SamplesPerPixel : kPcxDepths[i].Samples;
  if (compression == w.PCXCompression && bits == w.BitsPerSample && samples == w.SamplesPerPixel) return;
  w.PCXCompression = compression;
  w.BitsPerSample = bits;
  w.SamplesPerPixel = samples;
  RenderIfLocked();
}

void TfIOPreviews::PngChange(TObject*) {
  if (!FReady) return;
  TIOParamsVals& w = *FWork;
  const int i = ComboBox10->ItemIndex();
  const int bits = i < 0 ? w.BitsPerSample : kPngDepths[i].Bits;
  const int samples = i < 0 ? w.SamplesPerPixel : kPngDepths[i].Samples;
  const bool interlaced = CheckBox6->Checked();
  const int filter = Index(ComboBox11, w.PNGFilter);
  const int level = Index(ComboBox12, w.PNGCompression);
  if (bits == w.BitsPerSample && samples == w.SamplesPerPixel && interlaced == w.PNGInterlaced &&
      filter == w.PNGFilter && level == w.PNGCompression)
    return;
  w.BitsPerSample = bits;
  w.SamplesPerPixel = samples;
  w.PNGInterlaced = interlaced;
  w.PNGFilter = uint8_t(filter);
  w.PNGCompression = level;
  RenderIfLocked();
}

void TfIOPreviews::SpeedButton1Click(TObject*) {
  if (SpeedButton1->Down()) RenderPreview();
  Button3->SetEnabled(!SpeedButton1->Down());
}

void TfIOPreviews::Button3Click(TObject*) { RenderPreview(); }

void TfIOPreviews::Vistrel1ViewChange(TObject*, int) { SyncResultView(); }

void TfIOPreviews::SyncResultView() {
  Vistrel2->LockUpdate();
  Vistrel2->SetZoom(Vistrel1->Zoom());
  Vistrel2->SetViewXY(Vistrel1->ViewX(), Vistrel1->ViewY());
  Vistrel2->UnlockUpdate();
}

// ---- Colour panels ----

bool TfIOPreviews::PickFromPalette(TPanel* Panel, int64_t Count) {
  const TIOParamsVals* p = FIO->Params();
  // Never more swatches than the colour map holds: the options may ask for more colours than
  // the last preview made.
  const int n = int(std::min<int64_t>(Count, p->ColorMap ? p->ColorMapCount : 0));
  TVistrelPaletteDialog dialog(nullptr);
  dialog.SetPalette(reinterpret_cast<const uint8_t*>(p->ColorMap), n);
  dialog.CancelButton()->SetCaption(FPaletteCancel);
  if (!dialog.Execute()) return false;
  Panel->SetColor(dialog.SelectedColor());
  return true;
}

void TfIOPreviews::Panel3Click(TObject*) {
  PickFromPalette(Panel3, Colors(FWork->BitsPerSample));
  FWork->GIFTranspColor = ColorToTriple(Panel3->Color());
}

void TfIOPreviews::Panel4Click(TObject*) {
  PickFromPalette(Panel4, Colors(FWork->BitsPerSample));
  FWork->GIFBackground = ColorToTriple(Panel4->Color());
}

void TfIOPreviews::Panel1Click(TObject*) {
  const TIOParamsVals* p = FIO->Params();
  if (p->ColorMap && p->ColorMapCount > 0) {
    PickFromPalette(Panel1, Colors(FWork->BitsPerSample * FWork->SamplesPerPixel));
  } else {
    ColorDialog1->SetColor(Panel1->Color());
    if (ColorDialog1->Execute()) Panel1->SetColor(ColorDialog1->Color());
  }
  FWork->PNGBackground = ColorToTriple(Panel1->Color());
}

// ---- Rendering ----

void TfIOPreviews::IOProgress(TObject*, int Percent) {
  ProgressBar1->SetPosition(int(Trunc((long double)Percent / FProgressDivisor)) + FProgressOffset);
}

void TfIOPreviews::RunCodec(void (TVistrelIO::*Codec)(TStream*), TStream* Stream) {
  // Failures stay in the component's abort flag; the size shows what reached the stream.
  try {
    (FIO->*Codec)(Stream);
  } catch (const std::exception&) {
    FIO->SetAborting(true);
  }
}

void TfIOPreviews::RenderPreview() {
  TTabSheet* page = PageControl1->ActivePage();
  if (!page) return;
  ++FRenderCount;
  TBitmap* source = Vistrel1->Bitmap();
  TBitmap* result = Vistrel2->Bitmap();
  TMemoryStream memory;
  TNulStream counter;
  FIO->SetAttachedBitmap(source);
  FProgressOffset = 0;
  FProgressDivisor = 1;
  // The record first (its LZW coders, header kind and the rest), so that the size shown is
  // the size a save with these options writes; then the page's options.
  TIOParamsVals* p = FIO->Params();
  if (FParams) p->Assign(FParams);
  const TIOParamsVals& w = *FWork;
  const int pageIndex = page->PageIndex();
  TLabel* sizeLabel = nullptr;
  int32_t bits = w.BitsPerSample, samples = w.SamplesPerPixel;
  bool reduce = false, keepPalette = false;
  switch (pageIndex) {
    case pgJPEG:
      FProgressDivisor = 2;
      p->JPEGQuality = w.JPEGQuality;
      p->JPEGColorSpace = w.JPEGColorSpace;
      p->JPEGDCTMethod = w.JPEGDCTMethod;
      p->JPEGOptimalHuffman = w.JPEGOptimalHuffman;
      p->JPEGSmooth = w.JPEGSmooth;
      p->JPEGProgressive = w.JPEGProgressive;
      RunCodec(&TVistrelIO::SaveToStreamJpeg, &memory);
      Label25->SetCaption(Bytes(memory.Size()));
      memory.SetPosition(0);
      FIO->SetAttachedBitmap(result);
      FProgressOffset = 50;
      // The result is the file read back: the real loss of the compression.
      RunCodec(&TVistrelIO::LoadFromStreamJpeg, &memory);
      break;
    case pgTIFF:
      p->TIFFCompression = w.TIFFCompression;
      p->TIFFPhotometric = w.TIFFPhotometric;
      p->SamplesPerPixel = samples;
      p->BitsPerSample = bits;
      p->TIFFImageIndex = w.TIFFImageIndex;
      p->TIFFXPos = w.TIFFXPos;
      p->TIFFYPos = w.TIFFYPos;
      p->TIFFDocumentName = w.TIFFDocumentName;
      p->TIFFImageDescription = w.TIFFImageDescription;
      p->TIFFPageName = w.TIFFPageName;
      p->TIFFPageNumber = w.TIFFPageNumber;
      p->TIFFPageCount = w.TIFFPageCount;
      RunCodec(&TVistrelIO::SaveToStreamTIFF, &counter);
      sizeLabel = Label18;
      reduce = w.TIFFPhotometric < kPhotometricCMYK;
      keepPalette = true;
      break;
    case pgGIF:
      p->BitsPerSample = bits;
      p->SamplesPerPixel = samples = 1;
      p->GIFInterlaced = w.GIFInterlaced;
      p->GIFImageIndex = w.GIFImageIndex;
      p->GIFXPos = w.GIFXPos;
      p->GIFYPos = w.GIFYPos;
      p->GIFDelayTime = w.GIFDelayTime;
      p->GIFTransparent = w.GIFTransparent;
      p->GIFTranspColor = w.GIFTranspColor;
      p->GIFBackground = w.GIFBackground;
      RunCodec(&TVistrelIO::SaveToStreamGIF, &counter);
      sizeLabel = Label30;
      reduce = keepPalette = true;
      break;
    case pgBMP:
      p->BMPCompression = w.BMPCompression;
      p->BitsPerSample = bits;
      p->SamplesPerPixel = samples;
      RunCodec(&TVistrelIO::SaveToStreamBMP, &counter);
      sizeLabel = Label42;
      reduce = true;
      break;
    case pgPCX:
      p->PCXCompression = w.PCXCompression;
      p->BitsPerSample = bits;
      p->SamplesPerPixel = samples;
      RunCodec(&TVistrelIO::SaveToStreamPCX, &counter);
      sizeLabel = Label48;
      reduce = true;
      break;
    case pgPNG:
      p->BitsPerSample = bits;
      p->SamplesPerPixel = samples;
      p->PNGInterlaced = w.PNGInterlaced;
      p->PNGBackground = w.PNGBackground;
      p->PNGFilter = w.PNGFilter;
      p->PNGCompression = w.PNGCompression;
      RunCodec(&TVistrelIO::SaveToStreamPNG, &counter);
      sizeLabel = Label53;
      reduce = keepPalette = true;
      break;
  }
  if (sizeLabel) {
    sizeLabel->SetCaption(Bytes(counter.Size()));
    VLCopyBitmap(source, result);
    // The colours the file can hold.
    const int64_t depth = int64_t(bits) * samples;
    const int64_t n = depth > 8 ? 257 : int64_t(1) << std::max<int64_t>(depth, 0);
    if (reduce && n > 256) {
      if (keepPalette) p->FreeColorMap();
    } else if (reduce) {
      FProc->SetAttachedBitmap(result);
      if (keepPalette) {
        std::vector<TRGB> palette(static_cast<size_t>(n));
        FProc->ReduceColorsToPalette(int(n), palette.data());
        p->SetColorMap(palette.data(), int32_t(n));
      } else {
        FProc->ReduceColors(int(n));
      }
    }
  }
  ProgressBar1->SetPosition(0);
  Vistrel2->Update();
  Vistrel2->ImageChange();
  SyncResultView();
}

// ---- OK ----

void TfIOPreviews::Button1Click(TObject*) {
  TTabSheet* page = PageControl1->ActivePage();
  if (!FParams || !page) return;
  TIOParamsVals& r = *FParams;
  const TIOParamsVals& w = *FWork;
  switch (page->PageIndex()) {
    case pgJPEG:
      r.JPEGQuality = w.JPEGQuality;
      r.JPEGColorSpace = w.JPEGColorSpace;
      r.JPEGDCTMethod = w.JPEGDCTMethod;
      r.JPEGOptimalHuffman = w.JPEGOptimalHuffman;
      r.JPEGSmooth = w.JPEGSmooth;
      r.JPEGProgressive = w.JPEGProgressive;
      break;
    case pgTIFF:
      r.TIFFCompression = w.TIFFCompression;
      r.TIFFImageIndex = w.TIFFImageIndex;
      r.TIFFPhotometric = w.TIFFPhotometric;
      r.TIFFXPos = w.TIFFXPos;
      r.TIFFYPos = w.TIFFYPos;
      r.TIFFDocumentName = w.TIFFDocumentName;
      r.TIFFImageDescription = w.TIFFImageDescription;
      r.TIFFPageName = w.TIFFPageName;
      r.TIFFPageNumber = w.TIFFPageNumber;
      r.TIFFPageCount = w.TIFFPageCount;
      r.SamplesPerPixel = w.SamplesPerPixel;
      r.BitsPerSample = w.BitsPerSample;
      break;
    case pgGIF:
      r.GIFImageIndex = w.GIFImageIndex;
      r.GIFXPos = w.GIFXPos;
      r.GIFYPos = w.GIFYPos;
      r.GIFDelayTime = w.GIFDelayTime;
      r.GIFTransparent = w.GIFTransparent;
      r.GIFTranspColor = w.GIFTranspColor;
      r.GIFInterlaced = w.GIFInterlaced;
      r.GIFBackground = w.GIFBackground;
      r.BitsPerSample = w.BitsPerSample;
      break;
    case pgBMP:
      r.BMPCompression = w.BMPCompression;
      r.BitsPerSample = w.BitsPerSample;
      r.SamplesPerPixel = w.SamplesPerPixel;
      break;
    case pgPCX:
      r.PCXCompression = w.PCXCompression;
      r.BitsPerSample = w.BitsPerSample;
      r.SamplesPerPixel = w.SamplesPerPixel;
      break;
    case pgPNG:
      r.BitsPerSample = w.BitsPerSample;
      r.SamplesPerPixel = w.SamplesPerPixel;
      r.PNGBackground = w.PNGBackground;
      r.PNGInterlaced = w.PNGInterlaced;
      r.PNGFilter = w.PNGFilter;
      r.PNGCompression = w.PNGCompression;
      break;
  }
}

// ---- The entry of the I/O components ----

bool ExecuteIOPreviews(TComponent* Owner, uint8_t Pages, TBitmap* Source, TIOParamsVals* Params, bool LockPreview,
                       TMsgLanguage Language, TFont* Font, const TVLIOPreviewEvent& OnIOPreview) {
  if (!Source || !Params) return false;
  auto* dialog = new TfIOPreviews(Owner);
  bool ok = false;
  try {
    dialog->SetDefaultLockPreview(LockPreview);
    dialog->SetParams(Params);
    dialog->SetLanguage(Language);
    dialog->SetPreviewFont(Font);
    VLCopyBitmap(Source, dialog->Vistrel1->Bitmap());
    dialog->Vistrel1->Update();
    if (dialog->SetPages(Pages)) {
      if (OnIOPreview) OnIOPreview(Owner, dialog);
      ok = dialog->ShowModal() == mrOk;
    }
  } catch (...) {
    delete dialog;
    throw;
  }
  delete dialog;
  return ok;
}
