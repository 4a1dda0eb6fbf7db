#include "quillon/dialogs.h"

namespace quillon {

namespace {
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
}  // namespace

// ---------------------------------------------------------------------------------------------

TfRotate::TfRotate(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Rotate preview");
  SetHelpContext(150);
  SetHelpFile("Velmora.hlp");
  SetBorderIcons(biSystemMenu);
  SetPosition(poScreenCenter);
  SetClientWidth(440);
  SetClientHeight(330);
  Label1 = MakeLabel(this, "Angle:", 10, 14);
  Edit1 = Make<TEdit>(this, 60, 10, 60, 22);
  Edit1->SetText("0");
  UpDown1 = Make<TUpDown>(this, 120, 10, 16, 22);
  UpDown1->SetMin(-359);
  UpDown1->SetMax(359);
  UpDown1->SetPosition(0);
  UpDown1->SetWrap(false);
  UpDown1->OnClick = [this](TObject*, TUDBtnType) { Edit1->SetText(std::to_string(UpDown1->Position())); };
  Edit1->OnChange = [this](TObject*) { UpDown1->SetPosition(StrToIntDef(Edit1->Text(), UpDown1->Position())); };
  CheckBox1 = Make<TCheckBox>(this, 150, 12, 110, 20);
  CheckBox1->SetCaption("Antialiasing");
  VistrelView1 = Make<TVistrelView>(this, 10, 40, 300, 240);
  VistrelView1->SetCenter(true);
  VistrelView1->SetAutoFit(true);
  VistrelView1->SetCursor(1785);
  Button3 = MakeButton(this, "Rotate now !", 320, 40, 110, mrNone);
  Button3->OnClick = [this](TObject* s) { Button3Click(s); };
  Panel1 = Make<TPanel>(this, 320, 75, 110, 140);
  Label2 = MakeLabel(Panel1, "Quick rotate (clockwise)", 4, 4);
  Button4 = MakeButton(Panel1, "270", 10, 24, 90, mrNone);
  Button5 = MakeButton(Panel1, "90", 10, 52, 90, mrNone);
  Button6 = MakeButton(Panel1, "180", 10, 80, 90, mrNone);
  Button7 = MakeButton(Panel1, "0", 10, 108, 90, mrNone);
  Button4->OnClick = [this](TObject*) { QuickClick("270"); };
  Button5->OnClick = [this](TObject*) { QuickClick("90"); };
  Button6->OnClick = [this](TObject*) { QuickClick("180"); };
  Button7->OnClick = [this](TObject*) { QuickClick("0"); };
  Button1 = MakeButton(this, "OK", 250, 295, 80, mrOk);
  Button1->SetDefault(true);
  Button2 = MakeButton(this, "Cancel", 340, 295, 80, mrCancel);
  Button2->SetCancel(true);
  VistrelProc1 = new TVistrelProc(this);
  VistrelProc1->SetAttachedVistrel(VistrelView1);
  VistrelProc1->SetBackground(clBtnFace);
  OnActivate = [this](TObject* s) { FormActivate(s); };
}

void TfRotate::FormActivate(TObject*) {
  UpDown1->SetPosition(0);
  Edit1->SetText("0");
  CheckBox1->SetChecked(false);
  VistrelProc1->SaveUndo();
}

void TfRotate::Button3Click(TObject*) {
  VistrelProc1->Undo();
  const int angle = StrToIntDef(Edit1->Text(), 0);
  VistrelProc1->Rotate(360 - angle, CheckBox1->Checked());
  VistrelView1->Fit();
}

void TfRotate::QuickClick(const char* Angle) {
  Edit1->SetText(Angle);
  Button3Click(this);
}

// ---------------------------------------------------------------------------------------------

TfResize::TfResize(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Resize/resample");
  SetHelpContext(580);
  SetHelpFile("Velmora.hlp");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(300);
  SetClientHeight(170);
  Label1 = MakeLabel(this, "Width (pixels)", 10, 14);
  Label2 = MakeLabel(this, "Height (pixels)", 10, 44);
  Edit1 = Make<TEdit>(this, 120, 10, 80, 22);
  Edit2 = Make<TEdit>(this, 120, 40, 80, 22);
  Edit1->SetText("0");
  Edit2->SetText("0");
  Label3 = MakeLabel(this, "Filter", 10, 80);
  CheckBox1 = Make<TCheckBox>(this, 210, 25, 90, 20);
  CheckBox1->SetCaption("Aspect ratio");
  CheckBox1->SetChecked(true);
  ComboBox1 = Make<TComboBox>(this, 120, 76, 120, 22);
  ComboBox1->SetStyle(csDropDownList);
  for (const char* s : {"None", "Triangle", "Hermite", "Bell", "BSpline", "Lanczos3", "Mitchell"})
    ComboBox1->Items()->Add(s);
  ComboBox1->SetItemIndex(0);
  Button1 = MakeButton(this, "OK", 120, 130, 80, mrOk);
  Button1->SetDefault(true);
  Button2 = MakeButton(this, "Cancel", 210, 130, 80, mrCancel);
  Button2->SetCancel(true);
  Edit1->OnChange = [this](TObject* s) { Edit1Change(s); };
  Edit2->OnChange = [this](TObject* s) { Edit2Change(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
}

void TfResize::FormActivate(TObject*) {
  FBusy = true;
  Edit1->SetText(std::to_string(StartWidth));
  Edit2->SetText(std::to_string(StartHeight));
  FBusy = false;
  ComboBox1->SetItemIndex(0);
  if (Edit1->CanFocus()) Edit1->SetFocus();
}

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

}  // namespace quillon
