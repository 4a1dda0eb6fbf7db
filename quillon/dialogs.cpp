#include "quillon/dialogs.h"

#include "components/scaler.h"

#include <algorithm>
#include <cctype>

namespace quillon {

namespace {
const char* const kHelpFile = "Velmora.hlp";
const char* const kFilterNames[] = {"None", "Triangle", "Hermite", "Bell", "BSpline", "Lanczos3", "Mitchell"};

template <class T>
T* Make(TWinControl* parent, int l, int t, int w, int h) {
  auto* c = new T(parent);
  c->SetParent(parent);
  c->SetBounds(l, t, w, h);
  return c;
}

TButton* MakeButton(TWinControl* parent, const std::string& caption, int l, int t, int w, TModalResult r) {
  auto* b = Make<TButton>(parent, l, t, w, 25);
  b->SetCaption(caption);
  b->SetModalResult(r);
  return b;
}

TLabel* MakeLabel(TWinControl* parent, const std::string& caption, int l, int t) {
  auto* lab = Make<TLabel>(parent, l, t, 100, 16);
  lab->SetCaption(caption);
  return lab;
}

// OK (default) and Cancel side by side, the first at x.
void MakeOkCancel(TForm* form, int x, int y, TButton*& ok, TButton*& cancel, const std::string& okCaption = "OK") {
  ok = MakeButton(form, okCaption, x, y, 80, mrOk);
  ok->SetDefault(true);
  cancel = MakeButton(form, "Cancel", x + 88, y, 80, mrCancel);
  cancel->SetCancel(true);
}

void DialogForm(TForm* form, const std::string& caption, int helpContext, int clientWidth, int clientHeight) {
  form->SetCaption(caption);
  form->SetHelpContext(helpContext);
  form->SetHelpFile(kHelpFile);
  form->SetBorderStyle(bsDialog);
  form->SetPosition(poScreenCenter);
  form->SetClientWidth(clientWidth);
  form->SetClientHeight(clientHeight);
}

enum class TTyped { None, Number, Clamped };

// A typed whole number (blanks around it allowed), held within Lo..Hi however many digits
// it has.
TTyped TypedNumber(const std::string& Text, int Lo, int Hi, int& Value) {
  size_t i = 0, n = Text.size();
  while (i < n && std::isspace((unsigned char)Text[i])) ++i;
  while (n > i && std::isspace((unsigned char)Text[n - 1])) --n;
  bool negative = false;
  if (i < n && (Text[i] == '-' || Text[i] == '+')) negative = Text[i++] == '-';
  if (i == n) return TTyped::None;
  int64_t v = 0;
  for (; i < n; ++i) {
    if (!std::isdigit((unsigned char)Text[i])) return TTyped::None;
    v = std::min<int64_t>(v * 10 + (Text[i] - '0'), int64_t(1) << 40);
  }
  if (negative) v = -v;
  Value = int(std::clamp<int64_t>(v, Lo, Hi));
  return Value == v ? TTyped::Number : TTyped::Clamped;
}

// An up-down beside its edit; its arrows write the position into the edit (whose change
// handler keeps the two in step).
void PairUpDown(TEdit* Edit, TUpDown* UpDown, int Min, int Max) {
  UpDown->SetMin(Min);
  UpDown->SetMax(Max);
  UpDown->SetPosition(0);
  UpDown->SetWrap(false);
  UpDown->SetBounds(Edit->Left() + Edit->Width(), Edit->Top(), 16, Edit->Height());
  UpDown->OnClick = [Edit, UpDown](TObject*, TUDBtnType) { Edit->SetText(std::to_string(UpDown->Position())); };
}
}  // namespace

// ---------------------------------------------------------------------------------------------

TfRotate::TfRotate(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Rotate preview");
  SetHelpContext(150);
  SetHelpFile(kHelpFile);
  SetBorderIcons(biSystemMenu);
  SetPosition(poScreenCenter);
  SetClientWidth(470);
  SetClientHeight(340);
  Label1 = MakeLabel(this, "Angle:", 10, 14);
  Edit1 = Make<TEdit>(this, 56, 10, 50, 22);
  Edit1->SetText("0");
  UpDown1 = Make<TUpDown>(this, 0, 0, 16, 22);
  PairUpDown(Edit1, UpDown1, -359, 359);
  Edit1->OnChange = [this](TObject* s) { Edit1Change(s); };
  CheckBox1 = Make<TCheckBox>(this, 140, 12, 100, 20);
  CheckBox1->SetCaption("Antialiasing");
  CheckBox1->SetAlignment(taLeftJustify);
  VistrelView1 = Make<TVistrelView>(this, 10, 42, 300, 240);
  VistrelView1->SetCenter(true);
  VistrelView1->SetAutoFit(true);
  VistrelView1->SetCursor(1785);
  Button3 = MakeButton(this, "Rotate now !", 0, 42, 140, mrNone);
  Button3->OnClick = [this](TObject* s) { Button3Click(s); };
  Panel1 = Make<TPanel>(this, 0, 78, 140, 150);
  Label2 = MakeLabel(Panel1, "Quick rotate (clockwise)", 6, 6);
  Button4 = MakeButton(Panel1, "270", 20, 28, 100, mrNone);
  Button5 = MakeButton(Panel1, "90", 20, 58, 100, mrNone);
  Button6 = MakeButton(Panel1, "180", 20, 88, 100, mrNone);
  Button7 = MakeButton(Panel1, "0", 20, 118, 100, mrNone);
  Button4->OnClick = [this](TObject*) { QuickClick("270"); };
  Button5->OnClick = [this](TObject*) { QuickClick("90"); };
  Button6->OnClick = [this](TObject*) { QuickClick("180"); };
  Button7->OnClick = [this](TObject*) { QuickClick("0"); };
  Button1 = MakeButton(this, "OK", 0, 0, 110, mrOk);
  Button1->SetDefault(true);
  Button2 = MakeButton(this, "Cancel", 0, 0, 110, mrCancel);
  Button2->SetCancel(true);
  VistrelProc1 = new TVistrelProc(this);
  VistrelProc1->SetAttachedVistrel(VistrelView1);
  VistrelProc1->SetBackground(clBtnFace);
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnResize = [this](TObject* s) { FormResize(s); };
  FormResize(this);
  TScaler::Attach(this);
}

void TfRotate::FormResize(TObject*) {
  // Measured from the controls themselves, so the layout holds at any scale: the preview
  // takes what the button column at the right and the angle row above leave.
  const int w = ClientWidth(), h = ClientHeight(), m = Label1->Left();
  const int col = std::max({Panel1->Width(), Button3->Width(), Button1->Width()});
  const int right = w - m - col;
  const int top = std::max({Edit1->Top() + Edit1->Height(), CheckBox1->Top() + CheckBox1->Height(),
                            Label1->Top() + Label1->Height()}) + m;
  VistrelView1->SetBounds(m, top, std::max(right - 2 * m, 40), std::max(h - top - m, 40));
  Button3->SetBounds(right, top, col, Button3->Height());
  Panel1->SetBounds(right, Button3->Top() + Button3->Height() + m, col, Panel1->Height());
  Button2->SetBounds(w - m - Button2->Width(), h - m - Button2->Height(), Button2->Width(), Button2->Height());
  Button1->SetBounds(w - m - Button1->Width(), Button2->Top() - m / 2 - Button1->Height(), Button1->Width(),
                     Button1->Height());
  // The window can't be made smaller than the angle row, or than the button column over
  // OK and Cancel beside the least preview.
  QWidget* window = Widget();
  if (!window || !window->isWindow()) return;
  const int row = std::max({Edit1->Left() + Edit1->Width(), UpDown1->Left() + UpDown1->Width(),
                            CheckBox1->Left() + CheckBox1->Width()}) + m;
  const int leastW = std::max(row, 3 * m + 40 + col);
  const int leastH = std::max(top + 40 + m, Panel1->Top() + Panel1->Height() + m + Button1->Height() + m / 2 +
                                                Button2->Height() + m);
  window->setMinimumSize(leastW + Width() - w, leastH + Height() - h);
}

void TfRotate::FormActivate(TObject*) {
  UpDown1->SetPosition(0);
  Edit1->SetText("0");
  CheckBox1->SetChecked(false);
  VistrelProc1->SaveUndo();
}

int TfRotate::Angle() const {
  int v = 0;
  if (TypedNumber(Edit1->Text(), UpDown1->Min(), UpDown1->Max(), v) == TTyped::None) v = 0;
  return v;
}

void TfRotate::Edit1Change(TObject*) {
  if (FBusy) return;
  int v = 0;
  const TTyped typed = TypedNumber(Edit1->Text(), UpDown1->Min(), UpDown1->Max(), v);
  UpDown1->SetPosition(typed == TTyped::None ? 0 : v);
  if (typed != TTyped::Clamped) return;
  FBusy = true;
  Edit1->SetText(std::to_string(v));
  FBusy = false;
}

void TfRotate::Button3Click(TObject*) {
  VistrelProc1->Undo();
  VistrelProc1->Rotate(360 - Angle(), CheckBox1->Checked());
  VistrelView1->Fit();
}

void TfRotate::QuickClick(const char* Angle) {
  Edit1->SetText(Angle);
  Button3Click(this);
}

// ---------------------------------------------------------------------------------------------

TfResize::TfResize(TComponent* AOwner) : TForm(AOwner) {
  DialogForm(this, "Resize/resample", 580, 300, 150);
  Label1 = MakeLabel(this, "Width (pixels)", 10, 14);
  Label2 = MakeLabel(this, "Height (pixels)", 10, 44);
  Edit1 = Make<TEdit>(this, 110, 10, 70, 22);
  Edit2 = Make<TEdit>(this, 110, 40, 70, 22);
  Edit1->SetText("0");
  Edit2->SetText("0");
  CheckBox1 = Make<TCheckBox>(this, 192, 26, 100, 20);
  CheckBox1->SetCaption("Aspect ratio");
  CheckBox1->SetChecked(true);
  Label3 = MakeLabel(this, "Filter", 10, 78);
  ComboBox1 = Make<TComboBox>(this, 110, 74, 110, 22);
  ComboBox1->SetStyle(csDropDownList);
  for (const char* s : kFilterNames) ComboBox1->Items()->Add(s);
  ComboBox1->SetItemIndex(0);
  MakeOkCancel(this, 124, 114, Button1, Button2);
  Edit1->OnChange = [this](TObject* s) { Edit1Change(s); };
  Edit2->OnChange = [this](TObject* s) { Edit2Change(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  TScaler::Attach(this);
}

void TfResize::FormActivate(TObject*) {
  FBusy = true;
  Edit1->SetText(std::to_string(StartWidth));
  Edit2->SetText(std::to_string(StartHeight));
  FBusy = false;
  ComboBox1->SetItemIndex(0);
  if (Edit1->CanFocus()) Edit1->SetFocus();
}

// A starting side of 0 has no proportion to keep: the other edit stays as it is.
void TfResize::Edit1Change(TObject*) {
  if (!CheckBox1->Checked() || FBusy || StartWidth == 0) return;
  FBusy = true;
  const long double w = StrToIntDef(Edit1->Text(), 0);
  Edit2->SetText(std::to_string(Round(w * StartHeight / StartWidth)));
  FBusy = false;
}

void TfResize::Edit2Change(TObject*) {
  if (!CheckBox1->Checked() || FBusy || StartHeight == 0) return;
  FBusy = true;
  const long double h = StrToIntDef(Edit2->Text(), 0);
  Edit1->SetText(std::to_string(Round(h * StartWidth / StartHeight)));
  FBusy = false;
}

// ---------------------------------------------------------------------------------------------

TfMergeDialog::TfMergeDialog(TComponent* AOwner) : TForm(AOwner) {
  DialogForm(this, "Merge...", 550, 330, 236);
  GroupBox1 = Make<TGroupBox>(this, 8, 8, 218, 184);
  GroupBox1->SetCaption(" Source image ");
  ListBox1 = Make<TListBox>(GroupBox1, 10, 22, 198, 152);
  ListBox1->SetColor(clBtnFace);
  GroupBox2 = Make<TGroupBox>(this, 234, 8, 88, 184);
  GroupBox2->SetCaption(" Merge 50% ");
  TrackBar1 = Make<TTrackBar>(GroupBox2, 24, 22, 40, 152);
  TrackBar1->SetOrientation(trVertical);
  TrackBar1->SetMin(0);
  TrackBar1->SetMax(100);
  TrackBar1->SetPosition(50);
  TrackBar1->SetFrequency(5);
  TrackBar1->SetTickMarks(tmBoth);
  TrackBar1->OnChange = [this](TObject* s) { TrackBar1Change(s); };
  MakeOkCancel(this, 154, 202, Button1, Button2, "Merge");
  OnActivate = [this](TObject* s) { FormActivate(s); };
  TScaler::Attach(this);
}

void TfMergeDialog::FormActivate(TObject*) {
  ListBox1->Items()->Clear();
  TForm* frame = Application ? Application->MainForm() : nullptr;
  if (!frame) return;
  for (int i = 0; i < frame->MDIChildCount(); ++i)
    if (TForm* f = frame->MDIChildren(i)) ListBox1->Items()->Add(ExtractFileName(f->Caption()));
}

void TfMergeDialog::TrackBar1Change(TObject*) {
  GroupBox2->SetCaption(" Merge " + std::to_string(100 - TrackBar1->Position()) + "%");
}

// ---------------------------------------------------------------------------------------------

TfHistogram::TfHistogram(TComponent* AOwner) : TForm(AOwner) {
  DialogForm(this, "Histogram", 560, 300, 226);
  Panel1 = Make<TPanel>(this, 8, 8, 284, 140);
  Panel1->SetBevelOuter(bvLowered);
  // Within the panel's lowered edge.
  HistogramBox1 = Make<THistogramBox>(Panel1, 1, 1, Panel1->Width() - 2, Panel1->Height() - 2);
  HistogramBox1->SetBackground(clSilver);
  Label1 = MakeLabel(this, "Channel:", 8, 162);
  ComboBox1 = Make<TComboBox>(this, 62, 158, 94, 22);
  ComboBox1->SetStyle(csDropDownList);
  for (const char* s : {"RGB (Gray)", "Red", "Green", "Blue"}) ComboBox1->Items()->Add(s);
  ComboBox1->OnChange = [this](TObject* s) { ComboBox1Change(s); };
  Label2 = MakeLabel(this, "Style:", 172, 162);
  ComboBox2 = Make<TComboBox>(this, 212, 158, 80, 22);
  ComboBox2->SetStyle(csDropDownList);
  for (const char* s : {"Bars", "Lines"}) ComboBox2->Items()->Add(s);
  ComboBox2->OnChange = [this](TObject* s) { ComboBox2Change(s); };
  Button1 = MakeButton(this, "&Close", 110, 194, 80, mrOk);
  Button1->SetDefault(true);
  // Escape closes the box too.
  Button1->SetCancel(true);
  VistrelProc1 = new TVistrelProc(this);
  HistogramBox1->SetAttachedVistrelProc(VistrelProc1);
  OnCreate = [this](TObject* s) { FormCreate(s); };
  DoCreate();
  TScaler::Attach(this);
}

void TfHistogram::FormCreate(TObject*) {
  ComboBox1->SetItemIndex(0);
  ComboBox2->SetItemIndex(0);
}

void TfHistogram::ComboBox1Change(TObject*) {
  static const THistogramKind kinds[] = {hkGray, hkRed, hkGreen, hkBlue};
  const int i = ComboBox1->ItemIndex();
  if (i >= 0 && i < 4) HistogramBox1->SetHistogramKind(kinds[i]);
}

void TfHistogram::ComboBox2Change(TObject*) {
  HistogramBox1->SetHistogramStyle(ComboBox2->ItemIndex() == 0 ? hsBars : hsLines);
}

// ---------------------------------------------------------------------------------------------

TfConvBW::TfConvBW(TComponent* AOwner) : TForm(AOwner) {
  DialogForm(this, "Convert to Black/White", 570, 262, 196);
  RadioGroup1 = Make<TRadioGroup>(this, 8, 8, 246, 68);
  RadioGroup1->SetCaption(" Dithering ");
  RadioGroup1->Items()->Add("Threshold");
  RadioGroup1->Items()->Add("Ordered");
  RadioGroup1->SetItemIndex(0);
  RadioGroup1->OnClick = [this](TObject* s) { RadioGroup1Click(s); };
  GroupBox1 = Make<TGroupBox>(this, 8, 84, 246, 64);
  GroupBox1->SetCaption(" Threshold parameters ");
  Label1 = MakeLabel(GroupBox1, "Threshold value", 10, 30);
  Edit1 = Make<TEdit>(GroupBox1, 112, 26, 56, 22);
  SpeedButton1 = Make<TSpeedButton>(GroupBox1, 178, 25, 56, 24);
  SpeedButton1->SetCaption("Auto");
  SpeedButton1->SetTabStop(true);
  SpeedButton1->SetGroupIndex(1);
  SpeedButton1->SetAllowAllUp(true);
  SpeedButton1->SetDown(true);
  SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };
  SpeedButton1Click(this);
  MakeOkCancel(this, 86, 160, Button1, Button2);
  TScaler::Attach(this);
}

// The controls of a disabled group look disabled too.
void TfConvBW::RadioGroup1Click(TObject*) {
  const bool threshold = RadioGroup1->ItemIndex() == 0;
  GroupBox1->SetEnabled(threshold);
  SpeedButton1->SetEnabled(threshold);
  SpeedButton1Click(this);
}

void TfConvBW::SpeedButton1Click(TObject*) {
  const bool typed = !SpeedButton1->Down() && GroupBox1->Enabled();
  Edit1->SetEnabled(typed);
  Label1->SetEnabled(typed);
}

// ---------------------------------------------------------------------------------------------

TfZProp::TfZProp(TComponent* AOwner) : TForm(AOwner) {
  DialogForm(this, "Zoom properties", 530, 260, 118);
  Label1 = MakeLabel(this, "Zoom filter", 10, 14);
  ComboBox1 = Make<TComboBox>(this, 94, 10, 156, 22);
  ComboBox1->SetStyle(csDropDownList);
  for (const char* s : kFilterNames) ComboBox1->Items()->Add(s);
  ComboBox1->SetItemIndex(0);
  CheckBox1 = Make<TCheckBox>(this, 10, 44, 160, 20);
  CheckBox1->SetCaption("Delayed filtering");
  MakeOkCancel(this, 82, 82, Button1, Button2);
  TScaler::Attach(this);
}

// ---------------------------------------------------------------------------------------------

TfColorSel::TfColorSel(TComponent* AOwner) : TForm(AOwner) {
  DialogForm(this, "Color select", 540, 376, 240);
  HSVBox1 = Make<THSVBox>(this, 8, 8, 200, 184);
  HSVBox1->OnChange = [this](TObject* s) { HSVBox1Change(s); };
  struct Row {
    const char* caption;
    TLabel** label;
    TEdit** edit;
    TUpDown** updown;
    int max;
    bool rgb;
    int below;  // room to the next row
  };
  const Row rows[] = {{"Red", &LabelRed, &EditRed, &UpDownRed, 255, true, 28},
                      {"Green", &LabelGreen, &EditGreen, &UpDownGreen, 255, true, 28},
                      {"Blue", &LabelBlue, &EditBlue, &UpDownBlue, 255, true, 40},
                      {"Hue", &LabelHue, &EditHue, &UpDownHue, 359, false, 28},
                      {"Saturation", &LabelSat, &EditSat, &UpDownSat, 99, false, 28},
                      {"Value", &LabelVal, &EditVal, &UpDownVal, 99, false, 28}};
  int y = 8;
  for (const Row& r : rows) {
    *r.label = MakeLabel(this, r.caption, 222, y + 4);
    *r.edit = Make<TEdit>(this, 298, y, 50, 22);
    (*r.edit)->SetText("0");
    *r.updown = Make<TUpDown>(this, 0, 0, 16, 22);
    PairUpDown(*r.edit, *r.updown, 0, r.max);
    if (r.rgb) (*r.edit)->OnChange = [this](TObject* s) { RGBChange(s); };
    else (*r.edit)->OnChange = [this](TObject* s) { HSVChange(s); };
    y += r.below;
  }
  MakeOkCancel(this, 204, 204, Button1, Button2);
  TScaler::Attach(this);
}

void TfColorSel::ShowValues(TEdit* Typed) {
  const bool busy = FBusy;
  FBusy = true;
  const std::pair<TEdit*, int> values[] = {{EditRed, HSVBox1->Red()},   {EditGreen, HSVBox1->Green()},
                                           {EditBlue, HSVBox1->Blue()}, {EditHue, HSVBox1->Hue()},
                                           {EditSat, HSVBox1->Sat()},   {EditVal, HSVBox1->Val()}};
  const std::pair<TEdit*, TUpDown*> pairs[] = {{EditRed, UpDownRed}, {EditGreen, UpDownGreen}, {EditBlue, UpDownBlue},
                                               {EditHue, UpDownHue}, {EditSat, UpDownSat},     {EditVal, UpDownVal}};
  for (int i = 0; i < 6; ++i) {
    pairs[i].second->SetPosition(values[i].second);
    const std::string text = std::to_string(values[i].second);
    if (values[i].first != Typed && values[i].first->Text() != text) values[i].first->SetText(text);
  }
  FBusy = busy;
}

void TfColorSel::HSVBox1Change(TObject*) {
  if (!FBusy) ShowValues();
}

void TfColorSel::RGBChange(TObject* Sender) {
  if (FBusy) return;
  TEdit* e = static_cast<TEdit*>(Sender);
  int v = 0;
  const TTyped typed = TypedNumber(e->Text(), 0, 255, v);
  if (typed == TTyped::None) return;  // half typed: wait for a number
  FBusy = true;
  if (typed == TTyped::Clamped) e->SetText(std::to_string(v));
  int rgb[3];
  const TEdit* edits[3] = {EditRed, EditGreen, EditBlue};
  for (int i = 0; i < 3; ++i) {
    if (edits[i] == e) rgb[i] = v;
    else if (TypedNumber(edits[i]->Text(), 0, 255, rgb[i]) == TTyped::None)
      rgb[i] = i == 0 ? HSVBox1->Red() : i == 1 ? HSVBox1->Green() : HSVBox1->Blue();
  }
  HSVBox1->SetRGB(Byte(rgb[0]), Byte(rgb[1]), Byte(rgb[2]));
  FBusy = false;
  ShowValues(e);
}

void TfColorSel::HSVChange(TObject* Sender) {
  if (FBusy) return;
  TEdit* e = static_cast<TEdit*>(Sender);
  const int max = e == EditHue ? 359 : 99;
  int v = 0;
  const TTyped typed = TypedNumber(e->Text(), 0, max, v);
  if (typed == TTyped::None) return;
  FBusy = true;
  if (typed == TTyped::Clamped) e->SetText(std::to_string(v));
  if (e == EditHue) HSVBox1->SetHue(v);
  else if (e == EditSat) HSVBox1->SetSat(v);
  else HSVBox1->SetVal(v);
  FBusy = false;
  ShowValues(e);
}

// ---------------------------------------------------------------------------------------------

TForm1::TForm1(TComponent* AOwner) : TForm(AOwner) {
  DialogForm(this, "Hidden text", 310, 420, 260);
  Memo1 = Make<TMemo>(this, 8, 8, 404, 150);
  Label1 = MakeLabel(this, "Note: if you save in Jpeg format or subsample colors hidden text will be lost.", 8, 166);
  Label2 = MakeLabel(this, "Hidden text space:", 8, 190);
  // As wide as the note, with the memo across it.
  SetClientWidth(std::max(ClientWidth(), Label1->Left() + Label1->Width() + 8));
  Memo1->SetWidth(ClientWidth() - 16);
  Button1 = MakeButton(this, "Read", 8, 224, 80, mrNone);
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2 = MakeButton(this, "Write", 96, 224, 80, mrNone);
  Button2->OnClick = [this](TObject* s) { Button2Click(s); };
  VistrelProc1 = new TVistrelProc(this);
  OnActivate = [this](TObject* s) { FormActivate(s); };
  TScaler::Attach(this);
}

void TForm1::ShowSpace() {
  Label2->SetCaption("Hidden text space: " + std::to_string(std::max(VistrelProc1->GetHiddenTextSpace(), 0)));
}

void TForm1::FormActivate(TObject*) { ShowSpace(); }

void TForm1::Button1Click(TObject*) {
  const int space = VistrelProc1->GetHiddenTextSpace();
  std::string text;
  if (space > 0) {
    text.resize(size_t(space));
    text.resize(size_t(std::max(VistrelProc1->ReadHiddenText(text.data(), space), 0)));
  }
  Memo1->SetText(text);
  ShowSpace();
}

void TForm1::Button2Click(TObject*) {
  const std::string text = Memo1->Text();
  if (VistrelProc1->WriteHiddenText(text.data(), int(std::min<size_t>(text.size(), INT32_MAX))) != int(text.size()))
    MessageDlg("The text is longer than the hidden text space.", mtError, mbOK, 0);
  ShowSpace();
}

}  // namespace quillon
