// The frame of the effects preview dialog: creation, the preview cycle, Lock preview, "<<",
// OK, the frequency-domain page and the language. The pages are in previews_pages.cpp.
#include "vistrel/proc/previews.h"

#include <algorithm>
#include <climits>

#include "vistrel/proc/kernels/color.h"
#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/previews_p.h"

using namespace vlpreviews;

namespace {

// Preview geometry: a source length in the result's pixels, Value x Zoom / 100 - Origin,
// held within the integers.
int Scaled(int Value, int Zoom, int64_t Origin = 0) {
  const int64_t v = int64_t(Value) * Zoom / 100 - Origin;
  return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

int32_t Packed(const TRGB& t) { return VLTripleToPacked(t); }

}  // namespace

TfPreviews::TfPreviews(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Previews");
  SetBorderStyle(bsDialog);
  SetBorderIcons(biSystemMenu);
  SetPosition(poScreenCenter);
  SetClientWidth(521);
  SetClientHeight(390);

  Label1 = MakeLabel(this, this, "Source:", 8, 4);
  Label2 = MakeLabel(this, this, "Result:", 264, 4);
  Vistrel1 = Make<TVistrel>(this, this, 8, 20, 249, 172);
  Vistrel1->SetCenter(true);
  Vistrel1->SetMouseInteract(miZoom | miScroll);
  Vistrel1->SetCursor(crVLHand);
  Vistrel1->OnViewChange = [this](TObject* s, int c) { Vistrel1ViewChange(s, c); };
  Vistrel2 = Make<TVistrel>(this, this, 264, 20, 249, 172);
  Vistrel2->SetCenter(true);
  Vistrel2->SetCursor(crVLCross);
  // Effects on the result must not replace the unprocessed rendering that every re-render
  // starts from (a rotation or a flip would otherwise take a new undo copy).
  Vistrel2->SetAutoUndo(false);
  Vistrel2->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    Vistrel2MouseUp(s, b, sh, x, y);
  };
  Vistrel2->OnMouseUp = Vistrel2->OnMouseDown;
  VistrelProc1 = new TVistrelProc(this);
  VistrelProc1->SetAttachedVistrel(Vistrel1);
  VistrelProc1->SetAutoUndo(false);
  VistrelProc1->SetBackground(clBtnFace);

  PageControl1 = Make<TPageControl>(this, this, 8, 198, 444, 186);
  // The tabs in the dialog's font, so that a set of six fits the width.
  PageControl1->TabBar()->setFont(Font()->QtFont());
  CreatePages();
  VistrelProc2 = new TVistrelProc(this);
  VistrelProc2->SetAttachedVistrel(VistrelView1);
  VistrelProc2->OnProgress = [this](TObject* s, int per) { VistrelProc2Progress(s, per); };

  Button1 = MakeButton(this, this, "OK", 456, 206, 57, mrOk);
  Button1->SetDefault(true);
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2 = MakeButton(this, this, "Cancel", 456, 237, 57, mrCancel);
  Button2->SetCancel(true);
  Button3 = MakeButton(this, this, "&Preview", 456, 268, 57);
  Button3->OnClick = [this](TObject* s) { Button3Click(s); };
  SpeedButton1 = MakeToggle(this, this, "", 1, 456, 304, 27, 25);
  if (LoadThemeGlyph("changes-prevent", 16, SpeedButton1->Glyph())) SpeedButton1->SetNumGlyphs(4);
  else SpeedButton1->SetCaption("Lock");
  SpeedButton1->SetHint("Lock preview");
  SpeedButton1->SetTabStop(true);
  SpeedButton1->SetShowHint(true);
  SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };
  Button6 = MakeButton(this, this, "<<", 486, 304, 27);
  Button6->SetHint("Copy Result to Source");
  Button6->SetShowHint(true);
  Button6->OnClick = [this](TObject* s) { Button6Click(s); };

  OpenDialog1 = new TOpenDialog(this);
  OpenDialog1->SetTitle("Load filter");
  OpenDialog1->SetFilter("Filter (*.flt)|*.flt");
  OpenDialog1->SetDefaultExt("flt");
  OpenDialog1->SetOptions(ofHideReadOnly | ofPathMustExist | ofFileMustExist);
  SaveDialog1 = new TSaveDialog(this);
  SaveDialog1->SetTitle("Save filter");
  SaveDialog1->SetFilter("Filter (*.flt)|*.flt");
  SaveDialog1->SetDefaultExt("flt");
  SaveDialog1->SetOptions(ofHideReadOnly | ofPathMustExist);

  // The frequency page is the one open when the dialog first activates.
  PageControl1->SetActivePage(TabFFT);
  PageControl1->OnChange = [this](TObject* s) { PageControl1Change(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  DoCreate();
}

TfPreviews::~TfPreviews() = default;

TPreviewPage TfPreviews::ActivePreviewPage() const {
  TTabSheet* a = PageControl1->ActivePage();
  if (!a || !a->TabVisible()) return ppNone;
  return TPreviewPage(a->PageIndex());
}

void TfPreviews::SetDialogFont(TFont* Font) {
  if (!Font) return;
  FFont.Assign(Font);
  PageControl1->TabBar()->setFont(Font->QtFont());
  // Controls that follow their parent's font take it too.
  std::function<void(TWinControl*)> walk = [&](TWinControl* w) {
    for (int i = 0; i < w->ControlCount(); ++i) {
      TControl* c = w->Controls(i);
      if (c->ParentFont()) {
        c->Font()->Assign(Font);
        c->SetParentFont(true);
      }
      if (auto* wc = dynamic_cast<TWinControl*>(c)) walk(wc);
    }
  };
  walk(this);
}

// ---------------------------------------------------------------------------------------------
// Activation and pages

void TfPreviews::FormActivate(TObject*) {
  FApplyingToSource = false;
  FHandlers = true;
  InitPage(true);
  SpeedButton1->SetDown(DefaultLockPreview);
  Button3->SetEnabled(!SpeedButton1->Down());
  TTabSheet* first = nullptr;
  for (int i = 0; i < VLPreviewPageCount; ++i) {
    const bool shown = (Pages & VLPreviewAllPages) || (Pages & VLPreviewPageBit(TPreviewPage(i)));
    FTabs[size_t(i)]->SetTabVisible(shown);
    if (shown && !first) first = FTabs[size_t(i)];
  }
  PageControl1->SetActivePage(first);
  Vistrel1->Fit();
  Application->ProcessMessages();
  PageControl1Change(this);
}

void TfPreviews::InitPage(bool Reset) {
  if (Reset) FPageInit.fill(false);
  TTabSheet* a = PageControl1->ActivePage();
  if (!a) return;
  const int i = a->PageIndex();
  const bool was = FHandlers;
  FHandlers = false;
  if (i >= 0 && i < VLPreviewPageCount && !FPageInit[size_t(i)]) {
    InitPageValues(TPreviewPage(i));
    FPageInit[size_t(i)] = true;
  }
  FHandlers = was;
}

void TfPreviews::PageControl1Change(TObject*) {
  InitPage(false);
  const TPreviewPage page = ActivePreviewPage();
  const intptr_t tag = page != ppNone ? Page(page)->Tag() : 0;
  if ((tag >= 1 && tag <= 8) || tag == 10) {
    Vistrel1->SetMouseInteract(Vistrel1->MouseInteract() | miZoom);
  } else if (tag == 9) {
    Vistrel1->SetMouseInteract(Vistrel1->MouseInteract() & ~miZoom);
    Vistrel1->Fit();
  }
  RenderPreview();
}

// ---------------------------------------------------------------------------------------------
// The preview cycle

void TfPreviews::RenderPreview() {
  Vistrel2->LockUpdate();
  // The part of the source on show, as shown.
  TBitmap* shown = Vistrel2->Bitmap();
  shown->SetPixelFormat(pf24bit);
  shown->SetSize(std::max(0, Vistrel1->DisplayedWidth()), std::max(0, Vistrel1->DisplayedHeight()));
  if (!shown->Empty()) Vistrel1->DrawImageTo(shown->Canvas());
  Vistrel2->SaveUndo();
  if (!FFt) {
    FFt = std::make_unique<TVLFtImage>();
    FFt->OnProgress = VistrelProc2->OnProgress;
  }
  // Only the frequency page shows the transform: the others don't pay for it.
  if (ActivePreviewPage() == ppFFT) BuildThumbnailTransform();
  ApplyEffect(Vistrel2);
  Vistrel2->UnlockUpdate();
  Vistrel2->SurfacePaint();
  if (ActivePreviewPage() == ppEqualization) HistogramBox1->Update();
}

void TfPreviews::RerenderPreview() {
  Vistrel2->Undo();
  ApplyEffect(Vistrel2);
  Vistrel2->Update();
  Vistrel2->SurfacePaint();
}

void TfPreviews::RerenderWhenLocked() {
  if (SpeedButton1->Down()) RerenderPreview();
}

void TfPreviews::BuildThumbnailTransform() {
  TBitmap* source = Vistrel1->Bitmap();
  if (source->Empty() || source->PixelFormat() != pf24bit) return;
  // Longer side 128; the shorter never below 1.
  const int64_t w = source->Width(), h = source->Height();
  int tw = 128, th = 128;
  if (h < w) th = int(std::max<int64_t>(1, h * 128 / w));
  else tw = int(std::max<int64_t>(1, w * 128 / h));
  TBitmap thumb;
  thumb.SetPixelFormat(pf24bit);
  thumb.SetSize(tw, th);
  VLStretchHalftone(source, &thumb);
  FFt->BuildFT(&thumb, CheckBox1->Checked() ? 2 : 1);
  ProgressBar1->SetPosition(0);
}

void TfPreviews::ApplyEffect(TVistrel* View) {
  TBitmap* b = View->Bitmap();
  const TPreviewPage page = ActivePreviewPage();
  const TProgressEvent progress = FApplyingToSource ? FinalProgress : TProgressEvent();
  TObject* sender = FApplyingToSource ? FinalSender : nullptr;
  const int x2 = b->Width() - 1, y2 = b->Height() - 1;
  const bool preview = View == Vistrel2;
  // Bump map, lens and wave geometry in the result's pixels for previews.
  const int z = preview ? Vistrel1->Zoom() : 100;
  const int64_t vx = preview ? Vistrel1->ViewX() : 0, vy = preview ? Vistrel1->ViewY() : 0;
  switch (page) {
    case ppContrast:
      VLContrast(b, P.Contrast, P.AvgRed, P.AvgGreen, P.AvgBlue, 0, 0, x2, y2, progress, sender);
      VLAddRGB(b, 0, 0, x2, y2, P.Brightness, P.Brightness, P.Brightness, progress, sender);
      break;
    case ppHSV: VLAdjustHSV(b, 0, 0, x2, y2, P.HSVHue, P.HSVSat, P.HSVVal, progress, sender); break;
    case ppHSL: VLAdjustHSL(b, 0, 0, x2, y2, P.HSLHue, P.HSLSat, P.HSLLum, progress, sender); break;
    case ppRGB: VLAddRGB(b, 0, 0, x2, y2, P.Red, P.Green, P.Blue, progress, sender); break;
    case ppUserFilter: VLApplyFilter3x3(b, 0, 0, x2, y2, P.UserFilter, progress, sender); break;
    case ppEqualization:
      VLThreshold(b, 0, 0, x2, y2, Packed(P.ThresholdLow), Packed(P.ThresholdHigh), 0x000000, 0xFFFFFF, progress,
                  sender);
      VLEqualizeRange(b, 0, 0, x2, y2, Packed(P.EqualizeLow), Packed(P.EqualizeHigh), progress, sender);
      if (SpeedButton3->Down()) VLAutoEqualize(b, 0, 0, x2, y2, progress, sender);
      break;
    case ppBumpMap:
      VLBumpMap(b, 0, 0, x2, y2, Scaled(P.BumpLeft, z, vx), Scaled(P.BumpTop, z, vy), Scaled(P.BumpWidth, z),
                Scaled(P.BumpHeight, z), P.BumpColor, P.BumpQuantity, progress, sender);
      break;
    case ppLens:
      VLLens(b, Scaled(P.LensLeft, z, vx), Scaled(P.LensTop, z, vy), Scaled(P.LensWidth, z), Scaled(P.LensHeight, z),
             P.Refraction, progress, sender);
      break;
    case ppWave:
      VLWave(b, Scaled(P.Amplitude, z), Scaled(P.WaveLength, z), P.Phase, P.Reflective, progress, sender);
      break;
    case ppMorph: VLMorphFilter(b, 0, 0, x2, y2, P.MorphSize, P.MorphFilter, progress, sender); break;
    case ppRotate:
      if (P.Angle != 0) View->Rotate(P.Angle, true);
      if (View == Vistrel1 || FFlipClicked) {
        if (SpeedButtonFlipHor->Down()) View->Flip(0);
        if (SpeedButtonFlipVer->Down()) View->Flip(1);
      }
      FFlipClicked = false;
      break;
    case ppFFT: ApplyFFT(View); break;
    case ppNone: break;
  }
  if (page == ppFFT) {
    Vistrel1->Fit();
    Vistrel1->SetMouseInteract(0);
  } else {
    Vistrel1->SetMouseInteract(miZoom | miScroll);
  }
}

void TfPreviews::ApplyFFT(TVistrel* View) {
  if (View == Vistrel2) {
    if (!FFt || FFt->Mode() == 0) return;
    // The stored transform stays uncleared: the zone is cleared on it, shown, restored
    // into the result, and the copy taken first goes back.
    TVLFtImage kept;
    kept.Assign(FFt.get());
    if (VistrelView1->Selected())
      FFt->ClearZone(VistrelView1->SelX1(), VistrelView1->SelY1(), VistrelView1->SelX2(), VistrelView1->SelY2());
    VistrelProc2->FtShowSpectrum(FFt.get());
    VistrelView1->Fit();
    Vistrel2->FtRestore(FFt.get());
    ProgressBar1->SetPosition(0);
    FFt->Assign(&kept);
    return;
  }
  if (!FFt) {
    FFt = std::make_unique<TVLFtImage>();
    FFt->OnProgress = VistrelProc2->OnProgress;
  }
  const int n0 = FFt->Side();
  // A picture whose transform would not fit in memory stays as it is.
  if (!FFt->BuildFT(View->Bitmap(), CheckBox1->Checked() ? 2 : 1)) {
    ProgressBar1->SetPosition(0);
    return;
  }
  const int n1 = FFt->Side();
  if (VistrelView1->Selected() && n0 > 0) {
    auto s = [&](int v) { return int(int64_t(v) * n1 / n0); };
    FFt->ClearZone(s(VistrelView1->SelX1()), s(VistrelView1->SelY1()), s(VistrelView1->SelX2()),
                   s(VistrelView1->SelY2()));
  }
  VistrelView1->DeSelect();
  View->FtRestore(FFt.get());
  ProgressBar1->SetPosition(0);
}

void TfPreviews::ApplyToSource() {
  ApplyEffect(Vistrel1);
  Vistrel1->Update();
  Vistrel1->SurfacePaint();
  RenderPreview();
}

// ---------------------------------------------------------------------------------------------
// Buttons and views

void TfPreviews::Button1Click(TObject*) {
  FApplyingToSource = true;
  ApplyEffect(Vistrel1);
  Vistrel1->Update();
}

void TfPreviews::Button3Click(TObject*) { RerenderPreview(); }

void TfPreviews::Button6Click(TObject*) {
  ApplyToSource();
  InitPage(true);
  RenderPreview();
}

void TfPreviews::ClearClick(TObject*) {
  if (FHandlers) RerenderPreview();
}

void TfPreviews::SpeedButton1Click(TObject*) {
  if (SpeedButton1->Down()) RerenderPreview();
  Button3->SetEnabled(!SpeedButton1->Down());
}

void TfPreviews::Vistrel1ViewChange(TObject*, int) {
  if (FHandlers) RenderPreview();
}

void TfPreviews::CheckBox1Click(TObject*) {
  if (FHandlers) RenderPreview();
}

void TfPreviews::Button7Click(TObject*) {
  if (!FHandlers) return;
  VistrelView1->DeSelect();
  RenderPreview();
}

void TfPreviews::VistrelProc2Progress(TObject*, int Per) { ProgressBar1->SetPosition(Per); }

void TfPreviews::Vistrel2MouseUp(TObject*, TMouseButton Button, TShiftState, int X, int Y) {
  const TPreviewPage page = ActivePreviewPage();
  if (page == ppHSV && Button == mbLeft) {
    Vistrel2->SurfacePaint();
    TBitmap* screen = Vistrel2->Surface();
    if (X < 0 || Y < 0 || X >= screen->Width() || Y >= screen->Height()) return;
    const TColor c = screen->Canvas()->Pixels(X, Y);
    const int32_t rgb = int32_t(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
    int h, s, v;
    VLRGBToHSV(h, s, v, rgb);
    HSVBox3->SetHue(h);
    HSVBox3->SetSat(s);
    HSVBox3->SetVal(v);
    HSVBoxChange(HSVBox3);
    return;
  }
  if (page != ppBumpMap && page != ppLens) return;
  // The inverse of the preview mapping: result pixels back to source pixels.
  const int zoom = std::max(1, Vistrel1->Zoom());
  auto back = [&](int at, int offset, int64_t origin) {
    const int64_t v = (int64_t(at) - offset + origin) * 100 / zoom;
    return int(std::clamp<int64_t>(v, 0, 32767));
  };
  const int left = back(X, Vistrel1->ImageOffsetX(), Vistrel1->ViewX());
  const int top = back(Y, Vistrel1->ImageOffsetY(), Vistrel1->ViewY());
  const bool was = FHandlers;
  FHandlers = false;
  if (page == ppBumpMap) {
    P.BumpLeft = left;
    P.BumpTop = top;
    SetEditValue(Edit22, UpDown22, left);
    SetEditValue(Edit23, UpDown23, top);
  } else {
    P.LensLeft = left;
    P.LensTop = top;
    SetEditValue(Edit27, UpDown27, left);
    SetEditValue(Edit28, UpDown28, top);
  }
  FHandlers = was;
  RerenderWhenLocked();
}

// ---------------------------------------------------------------------------------------------
// Language

void TfPreviews::SetLanguage(TMsgLanguage Language) {
  auto w = [Language](int id) { return VLWordGet(id, Language); };
  auto group = [&](int id) { return " " + w(id) + " "; };
  SetCaption(w(0));
  Label1->SetCaption(w(1) + ":");
  Label2->SetCaption(w(2) + ":");
  Button1->SetCaption(w(3));
  Button2->SetCaption(w(4));
  Button3->SetCaption(w(0));
  SpeedButton1->SetHint(w(5));
  Button6->SetHint(w(6));
  TabContrast->SetCaption(w(7));
  Label3->SetCaption(w(7));
  Label22->SetCaption(w(8) + ":");
  Label10->SetCaption(w(9) + " (H):");
  Label11->SetCaption(w(10) + " (S):");
  Label12->SetCaption(w(11) + " (V):");
  Label13->SetCaption(w(12) + ":");
  Label14->SetCaption(w(13) + ":");
  Label4->SetCaption(w(9) + " (H):");
  Label5->SetCaption(w(10) + " (S):");
  Label6->SetCaption(w(14) + " (L):");
  Label7->SetCaption(w(15) + " (R):");
  Label8->SetCaption(w(16) + " (G):");
  Label9->SetCaption(w(17) + " (B):");
  TabUserFilter->SetCaption(w(72));
  GroupBox1->SetCaption(group(18));
  GroupBox3->SetCaption(group(19));
  Label15->SetCaption(w(20));
  Button4->SetCaption(w(21));
  Button5->SetCaption(w(22));
  TabEqualization->SetCaption(w(23));
  Label19->SetCaption(w(23));
  Label18->SetCaption(w(24));
  SpeedButton3->SetCaption(w(25));
  GroupBox4->SetCaption(group(26));
  CheckListBox1->SetItem(0, w(15));
  CheckListBox1->SetItem(1, w(16));
  CheckListBox1->SetItem(2, w(17));
  CheckListBox1->SetItem(3, w(27));
  GroupBox2->SetCaption(group(28));
  Label27->SetCaption(w(29) + ":");
  Label28->SetCaption(w(30) + ":");
  Label23->SetCaption(w(31) + ":");
  Label24->SetCaption(w(32) + ":");
  Label26->SetCaption(w(33) + ":");
  Label25->SetCaption(w(34) + " (%):");
  TabLens->SetCaption(w(35));
  GroupBox5->SetCaption(group(35));
  Label32->SetCaption(w(29) + ":");
  Label33->SetCaption(w(30) + ":");
  Label29->SetCaption(w(31) + ":");
  Label30->SetCaption(w(32) + ":");
  Label31->SetCaption(w(36) + ":");
  TabWave->SetCaption(w(67));
  GroupBox6->SetCaption(group(67));
  Label34->SetCaption(w(68));
  Label35->SetCaption(w(69));
  Label36->SetCaption(w(70));
  CheckBox2->SetCaption(w(71));
  TabMorph->SetCaption(w(73));
  GroupBox7->SetCaption(group(73));
  Label37->SetCaption(w(66) + ":");
  Label38->SetCaption(w(74) + ":");
  const int morph = ListBox2->ItemIndex();
  ListBox2->Items()->Clear();
  for (int id : {75, 76, 77, 78}) ListBox2->Items()->Add(w(id));
  ListBox2->SetItemIndex(morph);
  TabRotate->SetCaption(w(79));
  LabelRotate->SetCaption(w(79) + ":");
  LabelFlip->SetCaption(w(80));
  SpeedButtonFlipHor->SetCaption(w(81));
  SpeedButtonFlipVer->SetCaption(w(82));
  GroupBox8->SetCaption(group(84));
  Clear->SetCaption(w(85));
  Button7->SetCaption(w(86));
  CheckBox1->SetCaption(w(41));
}
