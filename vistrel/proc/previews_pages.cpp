// The pages of the effects preview dialog: their controls, initial values and the handlers
// that keep controls and parameters in step.
#include <algorithm>

#include "platform/core/types.h"
#include "vistrel/proc/kernels/color.h"
#include "vistrel/proc/previews.h"
#include "vistrel/proc/previews_p.h"

using namespace vlpreviews;

namespace {

std::string Str(int v) { return std::to_string(v); }

// The integer an edit shows, if it shows one.
bool EditInt(TEdit* Edit, int& Value) {
  try {
    Value = StrToInt(Edit->Text());
    return true;
  } catch (const EConvertError&) {
    return false;
  }
}

// Writes an edit only when it doesn't show the value already, so what the user typed and
// the caret stay as they are.
void ShowValue(TEdit* Edit, int Value) {
  int shown;
  if (EditInt(Edit, shown) && shown == Value) return;
  Edit->SetText(Str(Value));
}

// Grip labels and values are whole levels.
int Level(double Pos) { return int(Trunc(Pos)); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Building the pages

void TfPreviews::CreatePages() {
  struct {
    TTabSheet** Sheet;
    const char* Caption;
    int Tag;
  } pages[VLPreviewPageCount] = {
      {&TabContrast, "Contrast", 1},
      {&TabHSV, "HSV", 5},
      {&TabHSL, "HSL", 2},
      {&TabRGB, "RGB", 3},
      {&TabUserFilter, "User filter", 4},
      {&TabEqualization, "Equalization", 6},
      {&TabBumpMap, "Bump map", 7},
      {&TabLens, "Lens", 8},
      {&TabWave, "Wave", 9},
      {&TabMorph, "Morph filters", 10},
      {&TabRotate, "Rotate", 0},
      {&TabFFT, "FFT", 0},
  };
  for (int i = 0; i < VLPreviewPageCount; ++i) {
    auto* t = new TTabSheet(this);
    t->SetPageControl(PageControl1);
    t->SetCaption(pages[i].Caption);
    t->SetTag(pages[i].Tag);
    *pages[i].Sheet = t;
    FTabs[size_t(i)] = t;
  }
  CreateColorPages();
  CreateFilterPages();
  CreateGeometryPages();
}

void TfPreviews::CreateColorPages() {
  // Rows of a label, an edit and a track bar.
  auto row = [this](TTabSheet* sheet, int y, int lx, int ex, int tx, int tw, const char* caption, int min, int max,
                    int freq, TLabel*& label, TEdit*& edit, TTrackBar*& bar, TPreviewPage page) {
    label = MakeLabel(sheet, this, caption, lx, y + 4);
    edit = Make<TEdit>(sheet, this, ex, y, 44, 22);
    edit->SetText("0");
    bar = MakeTrackBar(sheet, this, tx, y - 4, tw, min, max, freq);
    edit->OnChange = [this, page](TObject*) { EditsChange(page); };
    bar->OnChange = [this, page](TObject*) { TrackBarsChange(page); };
  };
  row(TabContrast, 12, 8, 120, 170, 234, "Contrast", -100, 100, 10, Label3, Edit1, TrackBar1, ppContrast);
  row(TabContrast, 62, 8, 120, 170, 234, "Brightness:", -100, 100, 10, Label22, Edit21, TrackBar12, ppContrast);

  row(TabHSV, 8, 4, 90, 136, 150, "Hue (H):", -180, 180, 30, Label10, Edit19, TrackBar9, ppHSV);
  row(TabHSV, 52, 4, 90, 136, 150, "Saturation (S):", -100, 100, 10, Label11, Edit18, TrackBar10, ppHSV);
  row(TabHSV, 96, 4, 90, 136, 150, "Value (V):", -100, 100, 10, Label12, Edit17, TrackBar11, ppHSV);
  Label13 = MakeLabel(TabHSV, this, "Base color:", 292, 0);
  HSVBox3 = Make<THSVBox>(TabHSV, this, 292, 15, 116, 56);
  Label14 = MakeLabel(TabHSV, this, "New color:", 292, 74);
  HSVBox1 = Make<THSVBox>(TabHSV, this, 292, 89, 116, 56);
  HSVBox3->OnChange = [this](TObject* s) { HSVBoxChange(s); };
  HSVBox1->OnChange = [this](TObject* s) { HSVBoxChange(s); };

  row(TabHSL, 12, 8, 120, 170, 234, "Hue (H):", -180, 180, 30, Label4, Edit4, TrackBar2, ppHSL);
  row(TabHSL, 56, 8, 120, 170, 234, "Saturation (S):", -100, 100, 10, Label5, Edit2, TrackBar3, ppHSL);
  row(TabHSL, 100, 8, 120, 170, 234, "Luminosity (L):", -100, 100, 10, Label6, Edit3, TrackBar5, ppHSL);

  row(TabRGB, 12, 8, 120, 170, 234, "Red (R):", -255, 255, 32, Label7, Edit7, TrackBar6, ppRGB);
  row(TabRGB, 56, 8, 120, 170, 234, "Green (G):", -255, 255, 32, Label8, Edit6, TrackBar7, ppRGB);
  row(TabRGB, 100, 8, 120, 170, 234, "Blue (B):", -255, 255, 32, Label9, Edit5, TrackBar8, ppRGB);

  // Equalization: the histogram with the threshold ruler along its bottom, the
  // equalization ruler below, the channels and "Equalize" at the right.
  // Each ruler's two values stand under its grips (PlaceGripLabels); the names of the
  // rulers at the right, on their rows.
  GroupBox4 = MakeGroup(TabEqualization, this, " Histogram ", 2, 0, 306, 100);
  HistogramBox1 = Make<THistogramBox>(GroupBox4, this, 8, 16, 290, 44);
  HistogramBox1->SetAttachedVistrelProc(VistrelProc1);
  HistogramBox1->SetBackground(clSilver);
  HistogramBox1->SetLabels(0);
  Label18 = MakeLabel(TabEqualization, this, "Threshold", 316, 100);
  Label16 = MakeLabel(TabEqualization, this, "0", 2, 100);
  Label17 = MakeLabel(TabEqualization, this, "255", 2, 100);
  Label19 = MakeLabel(TabEqualization, this, "Equalization", 316, 118);
  Label20 = MakeLabel(TabEqualization, this, "0", 2, 134);
  Label21 = MakeLabel(TabEqualization, this, "255", 2, 134);
  CheckListBox1 = Make<TVLCheckListBox>(TabEqualization, this, 316, 4, 92, 70);
  for (const char* s : {"Red", "Green", "Blue", "Gray"}) CheckListBox1->Add(s);
  CheckListBox1->OnClick = [this](TObject* s) { CheckListBox1Click(s); };
  SpeedButton3 = MakeToggle(TabEqualization, this, "Equalize", 2, 316, 76, 92, 22);
  SpeedButton3->OnClick = [this](TObject* s) { SpeedButton3Click(s); };
  CreateRulers();
}

void TfPreviews::CreateFilterPages() {
  // User filter: three rows of three coefficients, the divisor, the presets.
  GroupBox1 = MakeGroup(TabUserFilter, this, " Filter values ", 2, 0, 204, 146);
  TEdit** byIndex[9] = {&Edit8, &Edit11, &Edit14, &Edit9, &Edit12, &Edit15, &Edit10, &Edit13, &Edit16};
  for (int i = 0; i < 9; ++i) {
    const int r = i / 3, c = i % 3;
    *byIndex[i] = MakeUpDownEdit(GroupBox1, this, 10 + c * 64, 20 + r * 30, 40, -100, 100, 1, FilterUpDown[size_t(i)]);
    FilterEdit[size_t(i)] = *byIndex[i];
  }
  Label15 = MakeLabel(GroupBox1, this, "Divisor", 10, 116);
  Edit20 = MakeUpDownEdit(GroupBox1, this, 74, 112, 40, -100, 100, 1, FilterUpDown[9]);
  FilterEdit[9] = Edit20;
  for (int i = 0; i < 10; ++i) {
    FilterEdit[size_t(i)]->SetTag(i);
    FilterEdit[size_t(i)]->OnChange = [this](TObject* s) { FilterEditChange(s); };
  }
  GroupBox3 = MakeGroup(TabUserFilter, this, " Presets ", 212, 0, 112, 146);
  ListBox1 = Make<TListBox>(GroupBox3, this, 8, 18, 96, 120);
  for (const char* n : VLPresetFilterNames) ListBox1->Items()->Add(n);
  ListBox1->OnClick = [this](TObject* s) { ListBox1Click(s); };
  Button4 = MakeButton(TabUserFilter, this, "&Load", 332, 8, 76);
  Button4->OnClick = [this](TObject* s) { Button4Click(s); };
  Button5 = MakeButton(TabUserFilter, this, "&Save", 332, 40, 76);
  Button5->OnClick = [this](TObject* s) { Button5Click(s); };

  // Morph filters.
  GroupBox7 = MakeGroup(TabMorph, this, " Morph filters ", 2, 0, 406, 146);
  Label37 = MakeLabel(GroupBox7, this, "Filter:", 10, 20);
  ListBox2 = Make<TListBox>(GroupBox7, this, 10, 38, 130, 98);
  for (const char* n : {"Maximum", "Minimum", "Opening", "Closing"}) ListBox2->Items()->Add(n);
  ListBox2->OnClick = [this](TObject* s) { MorphChange(s); };
  Label38 = MakeLabel(GroupBox7, this, "Window size:", 160, 20);
  Edit35 = MakeUpDownEdit(GroupBox7, this, 160, 38, 50, 1, 64, 1, UpDown35);
  Edit35->OnChange = [this](TObject* s) { MorphChange(s); };
}

void TfPreviews::CreateGeometryPages() {
  // A labelled edit with an up-down in a group.
  auto field = [this](TWinControl* group, int x, int y, const char* caption, int min, int max, int step, TLabel*& label,
                      TUpDown*& updown, TNotifyEvent change) {
    label = MakeLabel(group, this, caption, x, y + 4);
    TEdit* e = MakeUpDownEdit(group, this, x + 90, y, 56, min, max, step, updown);
    e->OnChange = std::move(change);
    return e;
  };
  auto bump = [this](TObject* s) { BumpChange(s); };
  GroupBox2 = MakeGroup(TabBumpMap, this, " Light ", 2, 0, 406, 146);
  Edit22 = field(GroupBox2, 10, 20, "Left:", 0, 32767, 10, Label27, UpDown22, bump);
  Edit23 = field(GroupBox2, 10, 50, "Top:", 0, 32767, 10, Label28, UpDown23, bump);
  Edit24 = field(GroupBox2, 10, 80, "Width:", 0, 32767, 10, Label23, UpDown24, bump);
  Edit25 = field(GroupBox2, 10, 110, "Height:", 0, 32767, 10, Label24, UpDown25, bump);
  Label26 = MakeLabel(GroupBox2, this, "Color:", 190, 18);
  HSVBox2 = Make<THSVBox>(GroupBox2, this, 190, 34, 120, 70);
  HSVBox2->OnChange = [this](TObject* s) { HSVBox2Change(s); };
  Label25 = MakeLabel(GroupBox2, this, "Source image quantity (%):", 190, 116);
  Edit26 = MakeUpDownEdit(GroupBox2, this, 336, 112, 46, 0, 100, 10, UpDown26);
  Edit26->OnChange = bump;

  auto lens = [this](TObject* s) { LensChange(s); };
  GroupBox5 = MakeGroup(TabLens, this, " Lens ", 2, 0, 406, 146);
  Edit27 = field(GroupBox5, 10, 20, "Left:", 0, 32767, 10, Label32, UpDown27, lens);
  Edit28 = field(GroupBox5, 10, 50, "Top:", 0, 32767, 10, Label33, UpDown28, lens);
  Edit29 = field(GroupBox5, 10, 80, "Width:", 0, 32767, 10, Label29, UpDown29, lens);
  Edit30 = field(GroupBox5, 10, 110, "Height:", 0, 32767, 10, Label30, UpDown30, lens);
  Edit31 = field(GroupBox5, 200, 20, "Refraction:", 0, 32767, 1, Label31, UpDown31, lens);

  auto wave = [this](TObject* s) { WaveChange(s); };
  GroupBox6 = MakeGroup(TabWave, this, " Wave ", 2, 0, 406, 146);
  Edit32 = field(GroupBox6, 10, 20, "Amplitude", 0, 32767, 1, Label34, UpDown32, wave);
  Edit33 = field(GroupBox6, 10, 50, "Wave length", 0, 32767, 1, Label35, UpDown33, wave);
  Edit34 = field(GroupBox6, 10, 80, "Phase", 0, 359, 1, Label36, UpDown34, wave);
  CheckBox2 = Make<TCheckBox>(GroupBox6, this, 10, 114, 140, 20);
  CheckBox2->SetCaption("Reflective");
  CheckBox2->OnClick = wave;

  // Rotate.
  LabelRotate = MakeLabel(TabRotate, this, "Rotate:", 8, 16);
  EditRotate = Make<TEdit>(TabRotate, this, 80, 12, 44, 22);
  EditRotate->SetText("0");
  EditRotate->OnChange = [this](TObject*) { EditsChange(ppRotate); };
  TrackBarRotate = MakeTrackBar(TabRotate, this, 130, 8, 274, -180, 180, 30);
  TrackBarRotate->OnChange = [this](TObject*) { TrackBarsChange(ppRotate); };
  LabelFlip = MakeLabel(TabRotate, this, "Flip", 8, 66);
  SpeedButtonFlipHor = MakeToggle(TabRotate, this, "Horizontally", 3, 80, 60, 110, 26);
  SpeedButtonFlipVer = MakeToggle(TabRotate, this, "Vertically", 4, 196, 60, 110, 26);
  SpeedButtonFlipHor->OnClick = [this](TObject* s) { FlipClick(s); };
  SpeedButtonFlipVer->OnClick = [this](TObject* s) { FlipClick(s); };

  // FFT: the spectrum, where the user selects the frequencies to clean.
  GroupBox8 = MakeGroup(TabFFT, this, " Frequency domain image ", 2, 0, 300, 146);
  VistrelView1 = Make<TVistrelView>(GroupBox8, this, 8, 16, 132, 124);
  VistrelView1->SetScrollBars(ssBoth);
  VistrelView1->SetCenter(true);
  VistrelView1->SetMouseInteract(miZoom | miSelect);
  VistrelView1->SetSelectionBase(vlsbBitmap);
  Clear = MakeButton(GroupBox8, this, "Clear", 150, 20, 90);
  Clear->OnClick = [this](TObject* s) { ClearClick(s); };
  Button7 = MakeButton(GroupBox8, this, "Reset", 150, 52, 90);
  Button7->OnClick = [this](TObject* s) { Button7Click(s); };
  CheckBox1 = Make<TCheckBox>(GroupBox8, this, 150, 88, 140, 20);
  CheckBox1->SetCaption("Gray scale");
  CheckBox1->OnClick = [this](TObject* s) { CheckBox1Click(s); };
  ProgressBar1 = Make<TProgressBar>(TabFFT, this, 310, 128, 98, 14);
}

// ---------------------------------------------------------------------------------------------
// Initial values

void TfPreviews::SetEditValue(TEdit* Edit, TUpDown* UpDown, int Value) {
  const bool was = FHandlers;
  FHandlers = false;
  if (UpDown) UpDown->SetPosition(Value);
  ShowValue(Edit, Value);
  FHandlers = was;
}

int TfPreviews::ReadEdit(TEdit* Edit, TUpDown* UpDown, int Default) {
  int v;
  if (!EditInt(Edit, v)) return Default;
  if (UpDown) {
    const int held = std::clamp(v, UpDown->Min(), UpDown->Max());
    if (held != v) SetEditValue(Edit, UpDown, held);
    v = held;
  }
  return v;
}

void TfPreviews::ShowFilterValues() {
  FFilterEdits = false;
  for (int i = 0; i < 9; ++i)
    SetEditValue(FilterEdit[size_t(i)], FilterUpDown[size_t(i)], P.UserFilter.Coeffs[size_t(i)]);
  SetEditValue(Edit20, FilterUpDown[9], P.UserFilter.Divisor);
  FFilterEdits = true;
}

void TfPreviews::InitPageValues(TPreviewPage Page) {
  TBitmap* source = Vistrel1->Bitmap();
  const int sw = source->Width(), sh = source->Height();
  auto bar = [](TTrackBar* t, TEdit* e, int v) {
    t->SetPosition(v);
    e->SetText(Str(v));
  };
  switch (Page) {
    case ppContrast:
      P.Contrast = P.Brightness = 0;
      P.AvgRed = P.AvgGreen = P.AvgBlue = 0;
      VLAverageColor(source, P.AvgRed, P.AvgGreen, P.AvgBlue);
      bar(TrackBar1, Edit1, 0);
      bar(TrackBar12, Edit21, 0);
      break;
    case ppHSV:
      P.HSVHue = P.HSVSat = P.HSVVal = 0;
      bar(TrackBar9, Edit19, 0);
      bar(TrackBar10, Edit18, 0);
      bar(TrackBar11, Edit17, 0);
      break;
    case ppHSL:
      P.HSLHue = P.HSLSat = P.HSLLum = 0;
      bar(TrackBar2, Edit4, 0);
      bar(TrackBar3, Edit2, 0);
      bar(TrackBar5, Edit3, 0);
      break;
    case ppRGB:
      P.Red = P.Green = P.Blue = 0;
      bar(TrackBar6, Edit7, 0);
      bar(TrackBar7, Edit6, 0);
      bar(TrackBar8, Edit5, 0);
      break;
    case ppUserFilter:
      P.UserFilter = VLPresetFilters[0];
      ListBox1->SetItemIndex(0);
      ShowFilterValues();
      break;
    case ppEqualization:
      P.ThresholdLow = P.EqualizeLow = TRGB{0, 0, 0};
      P.ThresholdHigh = P.EqualizeHigh = TRGB{255, 255, 255};
      for (int i = 0; i < 4; ++i) CheckListBox1->SetChecked(i, i == 3);
      HistogramBox1->SetHistogramKind(hkGray);
      SpeedButton3->SetDown(false);
      InitRulers();
      for (int r = 0; r < 2; ++r)
        for (int g = 0; g < 2; ++g) ShowGripLabel(r, g);
      PlaceRulers();
      break;
    case ppBumpMap:
      P.BumpLeft = sw / 2;
      P.BumpTop = sh / 2;
      P.BumpWidth = P.BumpHeight = std::max(sw, sh) / 2;
      P.BumpColor = 0xFFFFFF;
      P.BumpQuantity = 0;
      SetEditValue(Edit22, UpDown22, P.BumpLeft);
      SetEditValue(Edit23, UpDown23, P.BumpTop);
      SetEditValue(Edit24, UpDown24, P.BumpWidth);
      SetEditValue(Edit25, UpDown25, P.BumpHeight);
      SetEditValue(Edit26, UpDown26, P.BumpQuantity);
      HSVBox2->SetRGB(255, 255, 255);
      break;
    case ppLens:
      P.LensLeft = sw / 2;
      P.LensTop = sh / 2;
      P.LensWidth = P.LensHeight = std::max(sw, sh) / 2;
      P.Refraction = 1.7;
      SetEditValue(Edit27, UpDown27, P.LensLeft);
      SetEditValue(Edit28, UpDown28, P.LensTop);
      SetEditValue(Edit29, UpDown29, P.LensWidth);
      SetEditValue(Edit30, UpDown30, P.LensHeight);
      SetEditValue(Edit31, UpDown31, int(Round((P.Refraction - 1) * 10)));
      break;
    case ppWave:
      P.Amplitude = 10;
      P.WaveLength = 10;
      P.Phase = 0;
      P.Reflective = false;
      SetEditValue(Edit32, UpDown32, P.Amplitude);
      SetEditValue(Edit33, UpDown33, P.WaveLength);
      SetEditValue(Edit34, UpDown34, P.Phase);
      CheckBox2->SetChecked(false);
      break;
    case ppMorph:
      P.MorphFilter = 0;
      P.MorphSize = 1;
      ListBox2->SetItemIndex(0);
      SetEditValue(Edit35, UpDown35, 1);
      break;
    case ppRotate:
      P.Angle = 0;
      bar(TrackBarRotate, EditRotate, 0);
      SpeedButtonFlipHor->SetDown(false);
      SpeedButtonFlipVer->SetDown(false);
      break;
    case ppFFT: CheckBox1->SetChecked(true); break;
    case ppNone: break;
  }
}

// ---------------------------------------------------------------------------------------------
// Track bars and their edits

void TfPreviews::TrackBarsChange(TPreviewPage Page) {
  if (!FHandlers) return;
  TTrackBar* bars[3] = {};
  TEdit* edits[3] = {};
  int* values[3] = {};
  int n = 3;
  switch (Page) {
    case ppContrast:
      n = 2;
      bars[0] = TrackBar1, edits[0] = Edit1, values[0] = &P.Contrast;
      bars[1] = TrackBar12, edits[1] = Edit21, values[1] = &P.Brightness;
      break;
    case ppHSV:
      bars[0] = TrackBar9, edits[0] = Edit19, values[0] = &P.HSVHue;
      bars[1] = TrackBar10, edits[1] = Edit18, values[1] = &P.HSVSat;
      bars[2] = TrackBar11, edits[2] = Edit17, values[2] = &P.HSVVal;
      break;
    case ppHSL:
      bars[0] = TrackBar2, edits[0] = Edit4, values[0] = &P.HSLHue;
      bars[1] = TrackBar3, edits[1] = Edit2, values[1] = &P.HSLSat;
      bars[2] = TrackBar5, edits[2] = Edit3, values[2] = &P.HSLLum;
      break;
    case ppRGB:
      bars[0] = TrackBar6, edits[0] = Edit7, values[0] = &P.Red;
      bars[1] = TrackBar7, edits[1] = Edit6, values[1] = &P.Green;
      bars[2] = TrackBar8, edits[2] = Edit5, values[2] = &P.Blue;
      break;
    case ppRotate:
      n = 1;
      bars[0] = TrackBarRotate, edits[0] = EditRotate, values[0] = &P.Angle;
      break;
    default: return;
  }
  bool differs = false;
  for (int i = 0; i < n; ++i) differs = differs || bars[i]->Position() != *values[i];
  if (!differs) return;
  for (int i = 0; i < n; ++i) *values[i] = bars[i]->Position();
  // The edits are written with the handlers off: a half-written set must not be read back.
  FHandlers = false;
  for (int i = 0; i < n; ++i) ShowValue(edits[i], *values[i]);
  FHandlers = true;
  RerenderWhenLocked();
}

void TfPreviews::EditsChange(TPreviewPage Page) {
  if (!FHandlers) return;
  TTrackBar* bars[3] = {};
  TEdit* edits[3] = {};
  const int* values[3] = {};
  int n = 3;
  switch (Page) {
    case ppContrast:
      n = 2;
      bars[0] = TrackBar1, edits[0] = Edit1, values[0] = &P.Contrast;
      bars[1] = TrackBar12, edits[1] = Edit21, values[1] = &P.Brightness;
      break;
    case ppHSV:
      bars[0] = TrackBar9, edits[0] = Edit19, values[0] = &P.HSVHue;
      bars[1] = TrackBar10, edits[1] = Edit18, values[1] = &P.HSVSat;
      bars[2] = TrackBar11, edits[2] = Edit17, values[2] = &P.HSVVal;
      break;
    case ppHSL:
      bars[0] = TrackBar2, edits[0] = Edit4, values[0] = &P.HSLHue;
      bars[1] = TrackBar3, edits[1] = Edit2, values[1] = &P.HSLSat;
      bars[2] = TrackBar5, edits[2] = Edit3, values[2] = &P.HSLLum;
      break;
    case ppRGB:
      bars[0] = TrackBar6, edits[0] = Edit7, values[0] = &P.Red;
      bars[1] = TrackBar7, edits[1] = Edit6, values[1] = &P.Green;
      bars[2] = TrackBar8, edits[2] = Edit5, values[2] = &P.Blue;
      break;
    case ppRotate:
      n = 1;
      bars[0] = TrackBarRotate, edits[0] = EditRotate, values[0] = &P.Angle;
      break;
    default: return;
  }
  int read[3] = {};
  bool differs = false;
  for (int i = 0; i < n; ++i) {
    // A half-typed number ("-", "") keeps the value until it parses.
    read[i] = StrToIntDef(edits[i]->Text(), *values[i]);
    differs = differs || read[i] != *values[i];
  }
  if (!differs) return;
  // The track bars hold the values within their ranges.
  for (int i = 0; i < n; ++i) bars[i]->SetPosition(read[i]);
  TrackBarsChange(Page);
}

void TfPreviews::HSVBoxChange(TObject*) {
  TrackBar9->SetPosition(HSVBox1->Hue() - HSVBox3->Hue());
  TrackBar10->SetPosition(HSVBox1->Sat() - HSVBox3->Sat());
  TrackBar11->SetPosition(HSVBox1->Val() - HSVBox3->Val());
  TrackBarsChange(ppHSV);
}

// ---------------------------------------------------------------------------------------------
// User filter

void TfPreviews::FilterEditChange(TObject* Sender) {
  if (!FHandlers || !FFilterEdits) return;
  auto* edit = dynamic_cast<TEdit*>(Sender);
  if (!edit) return;
  // A half-typed number keeps the value it had.
  P.UserFilter.Divisor = ReadEdit(Edit20, FilterUpDown[9], P.UserFilter.Divisor);
  const intptr_t k = edit->Tag();
  if (k >= 0 && k < 9)
    P.UserFilter.Coeffs[size_t(k)] = ReadEdit(edit, FilterUpDown[size_t(k)], P.UserFilter.Coeffs[size_t(k)]);
  RerenderWhenLocked();
}

void TfPreviews::ListBox1Click(TObject*) {
  if (!FHandlers) return;
  const int i = ListBox1->ItemIndex();
  if (i < 0 || i >= VLPresetFilterCount) return;
  P.UserFilter = VLPresetFilters[i];
  ShowFilterValues();
  RerenderWhenLocked();
}

void TfPreviews::Button4Click(TObject*) {
  if (!OpenDialog1->Execute()) return;
  VLLoadFilter(OpenDialog1->FileName(), P.UserFilter);
  ShowFilterValues();
  RerenderWhenLocked();
}

void TfPreviews::Button5Click(TObject*) {
  if (!SaveDialog1->Execute()) return;
  VLSaveFilter(SaveDialog1->FileName(), P.UserFilter);
}

// ---------------------------------------------------------------------------------------------
// Equalization

void TfPreviews::CheckListBox1Click(TObject*) {
  if (!FHandlers) return;
  THistogramKind kind = 0;
  const THistogramKindItem items[4] = {hkRed, hkGreen, hkBlue, hkGray};
  for (int i = 0; i < 4; ++i)
    if (CheckListBox1->Checked(i)) kind |= items[i];
  HistogramBox1->SetHistogramKind(kind);
  PlaceRulers();
}

void TfPreviews::SpeedButton3Click(TObject*) {
  if (FHandlers) RerenderWhenLocked();
}

void TfPreviews::RulerPosChange(int Ruler, int Grip) {
  if (!FHandlers || Ruler < 0 || Ruler > 1 || Grip < 0 || Grip > 1) return;
  // The grips never cross: the other one follows.
  if (GripPos(Ruler, 1) < GripPos(Ruler, 0)) {
    if (Grip == 1) SetGripPos(Ruler, 0, GripPos(Ruler, 1));
    else SetGripPos(Ruler, 1, GripPos(Ruler, 0));
  }
  ShowGripLabel(Ruler, Grip);
  const Byte low = Byte(std::clamp(Level(GripPos(Ruler, 0)), 0, 255));
  const Byte high = Byte(std::clamp(Level(GripPos(Ruler, 1)), 0, 255));
  TRGB& l = Ruler == 0 ? P.ThresholdLow : P.EqualizeLow;
  TRGB& h = Ruler == 0 ? P.ThresholdHigh : P.EqualizeHigh;
  const bool gray = CheckListBox1->Checked(3);
  if (gray || CheckListBox1->Checked(0)) l.R = low, h.R = high;
  if (gray || CheckListBox1->Checked(1)) l.G = low, h.G = high;
  if (gray || CheckListBox1->Checked(2)) l.B = low, h.B = high;
  RerenderWhenLocked();
}

void TfPreviews::ShowGripLabel(int Ruler, int Grip) {
  TLabel* labels[2][2] = {{Label16, Label17}, {Label20, Label21}};
  labels[Ruler][Grip]->SetCaption(Str(Level(GripPos(Ruler, Grip))));
  PlaceGripLabels(Ruler);
}

void TfPreviews::PlaceGripLabels(int Ruler) {
  TRulerBox* r = Ruler == 0 ? RulerBox1 : RulerBox2;
  TLabel* l[2] = {Ruler == 0 ? Label16 : Label20, Ruler == 0 ? Label17 : Label21};
  // Centred under the grip, kept within the histogram group's width and clear of each other.
  TPoint origin = TabEqualization->ScreenToClient(r->ClientToScreen(Point(0, r->Height())));
  // Below the histogram's frame, for the ruler inside it.
  if (r->Parent() == GroupBox4) origin.Y = std::max(origin.Y, GroupBox4->Top() + GroupBox4->Height());
  const int lo = GroupBox4->Left(), hi = GroupBox4->Left() + GroupBox4->Width(), gap = 4;
  int x[2];
  for (int g = 0; g < 2; ++g) {
    const int px = RoundInt((GripPos(Ruler, g) - r->ViewPos()) * r->DotPerUnit());
    x[g] = std::clamp(origin.X + px - l[g]->Width() / 2, lo, std::max(lo, hi - l[g]->Width()));
  }
  const int overlap = x[0] + l[0]->Width() + gap - x[1];
  if (overlap > 0) {
    x[0] -= overlap / 2;
    x[1] = x[0] + l[0]->Width() + gap;
    if (x[0] < lo) x[0] = lo, x[1] = lo + l[0]->Width() + gap;
    if (x[1] + l[1]->Width() > hi) x[1] = hi - l[1]->Width(), x[0] = x[1] - gap - l[0]->Width();
  }
  for (int g = 0; g < 2; ++g) l[g]->SetBounds(x[g], origin.Y, l[g]->Width(), l[g]->Height());
}

// ---- The ruler controls ----------------------------------------------------------------------
// RulerBox1 (threshold) lies along the bottom of the histogram, RulerBox2 (equalization)
// under the histogram group; both run over 0..255 with two grips.

void TfPreviews::CreateRulers() {
  auto setup = [this](TRulerBox* r, int index) {
    r->SetDotPerUnit(289.0 / 255);
    r->SetFrequency(16);
    r->SetLabelFreq(32);
    r->SetViewMax(255);
    r->SetGripsCount(2);
    r->OnRulerPosChange = [this, index](TObject*, int grip) { RulerPosChange(index, grip); };
  };
  // Under its scale RulerBox1 keeps room for its grips; RulerBox2 is all grips.
  RulerBox1 = Make<TRulerBox>(GroupBox4, this, 8, 60, 290, 36);
  setup(RulerBox1, 0);
  RulerBox2 = Make<TRulerBox>(TabEqualization, this, 2, 116, 306, 18);
  setup(RulerBox2, 1);
  RulerBox2->SetGripsDir(gdDown);
  RulerBox2->SetRuler(false);
  RulerBox2->SetFitInView(true);
}

void TfPreviews::InitRulers() {
  for (TRulerBox* r : {RulerBox1, RulerBox2}) {
    auto handler = std::move(r->OnRulerPosChange);
    r->SetGripPos(0, 0);
    r->SetGripPos(1, 255);
    r->OnRulerPosChange = std::move(handler);
    for (int g = 0; g < 2; ++g) r->SetGripColor(g, TColor(RGB(128, 128, 128)));
  }
  for (int g = 0; g < 2; ++g) RulerBox1->SetGripKind(g, 4);
}

void TfPreviews::PlaceRulers() {
  const int left = HistogramBox1->Left() + HistogramBox1->HistogramXPos();
  const int right = HistogramBox1->Left() + HistogramBox1->Width();
  if (right > left) RulerBox1->SetBounds(left, RulerBox1->Top(), right - left, RulerBox1->Height());
  PlaceGripLabels(0);
}

double TfPreviews::GripPos(int Ruler, int Grip) const {
  if (Ruler < 0 || Ruler > 1 || Grip < 0 || Grip > 1) return 0;
  return (Ruler == 0 ? RulerBox1 : RulerBox2)->GetGripPos(Grip);
}

void TfPreviews::SetGripPos(int Ruler, int Grip, double Value) {
  if (Ruler < 0 || Ruler > 1 || Grip < 0 || Grip > 1) return;
  (Ruler == 0 ? RulerBox1 : RulerBox2)->SetGripPos(Grip, std::clamp(Value, 0.0, 255.0));
}

// ---------------------------------------------------------------------------------------------
// Bump map, lens, wave, morph filters, flips

void TfPreviews::BumpChange(TObject*) {
  if (!FHandlers) return;
  const int v[5] = {ReadEdit(Edit22, UpDown22, P.BumpLeft), ReadEdit(Edit23, UpDown23, P.BumpTop),
                    ReadEdit(Edit24, UpDown24, P.BumpWidth), ReadEdit(Edit25, UpDown25, P.BumpHeight),
                    ReadEdit(Edit26, UpDown26, P.BumpQuantity)};
  if (v[0] == P.BumpLeft && v[1] == P.BumpTop && v[2] == P.BumpWidth && v[3] == P.BumpHeight && v[4] == P.BumpQuantity)
    return;
  P.BumpLeft = v[0];
  P.BumpTop = v[1];
  P.BumpWidth = v[2];
  P.BumpHeight = v[3];
  P.BumpQuantity = v[4];
  RerenderWhenLocked();
}

void TfPreviews::HSVBox2Change(TObject*) {
  if (!FHandlers) return;
  P.BumpColor = (int32_t(HSVBox2->Red()) << 16) | (int32_t(HSVBox2->Green()) << 8) | HSVBox2->Blue();
  RerenderWhenLocked();
}

void TfPreviews::LensChange(TObject*) {
  if (!FHandlers) return;
  const int v[4] = {ReadEdit(Edit27, UpDown27, P.LensLeft), ReadEdit(Edit28, UpDown28, P.LensTop),
                    ReadEdit(Edit29, UpDown29, P.LensWidth), ReadEdit(Edit30, UpDown30, P.LensHeight)};
  int tenths;
  const double refraction = EditInt(Edit31, tenths) ? ReadEdit(Edit31, UpDown31, 0) * 0.1 + 1 : P.Refraction;
  if (v[0] == P.LensLeft && v[1] == P.LensTop && v[2] == P.LensWidth && v[3] == P.LensHeight &&
      refraction == P.Refraction)
    return;
  P.LensLeft = v[0];
  P.LensTop = v[1];
  P.LensWidth = v[2];
  P.LensHeight = v[3];
  P.Refraction = refraction;
  RerenderWhenLocked();
}

void TfPreviews::WaveChange(TObject*) {
  if (!FHandlers) return;
  const int a = ReadEdit(Edit32, UpDown32, P.Amplitude), l = ReadEdit(Edit33, UpDown33, P.WaveLength),
            p = ReadEdit(Edit34, UpDown34, P.Phase);
  const bool r = CheckBox2->Checked();
  if (a == P.Amplitude && l == P.WaveLength && p == P.Phase && r == P.Reflective) return;
  P.Amplitude = a;
  P.WaveLength = l;
  P.Phase = p;
  P.Reflective = r;
  RerenderWhenLocked();
}

void TfPreviews::MorphChange(TObject*) {
  if (!FHandlers) return;
  const int f = ListBox2->ItemIndex(), s = ReadEdit(Edit35, UpDown35, P.MorphSize);
  if (f == P.MorphFilter && s == P.MorphSize) return;
  P.MorphFilter = f;
  P.MorphSize = s;
  RerenderWhenLocked();
}

void TfPreviews::FlipClick(TObject*) {
  if (!FHandlers || !SpeedButton1->Down()) return;
  Vistrel2->Undo();
  FFlipClicked = true;
  ApplyEffect(Vistrel2);
  Vistrel2->Update();
  Vistrel2->SurfacePaint();
}
