#include "quillon/mainform.h"

#include <algorithm>
#include <vector>

#include "platform/core/stream.h"
#include "platform/gui/clipboard.h"
#include "quillon/failures.h"
#include "vistrel/io/twain.h"
#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/kernels/pixels.h"

namespace quillon {

namespace {
const char* const kOpenFilter =
    "All graphics|*.jpg;*.jpeg;*.pcx;*.png;*.bmp;*.wmf;*.emf;*.ico;*.cur|JPEG Bitmap (JPG;JPEG; "
    "JPE)|*.jpg;*.jpeg;*.jpe|"
    "PaintBrush (PCX)|*.pcx|Portable Network Graphics (PNG)|*.png|Windows Bitmap (BMP)|*.bmp|OS/2 Bitmap "
    "(BMP)|*.bmp|Enhanced Windows Metafile (EMF)|*.emf|Windows Metafile (WMF)|*.wmf|Icon resource (ICO)|*.ico|Cursor "
    "Resource (CUR)|*.cur";
const char* const kSaveFilter =
    "JPEG Bitmap (JPG)|*.jpg|PaintBrush (PCX)|*.pcx|Portable Network Graphics (PNG)|*.png|Windows Bitmap "
    "(BMP)|*.bmp|OS/2 Bitmap (BMP)|*.bmp";
}  // namespace

TMainForm::TMainForm(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Aquire and Edit utility for Velmora");
  SetFormStyle(fsMDIForm);
  SetPosition(poScreenCenter);
  SetClientWidth(791);
  SetClientHeight(543);
  SetColor(clAppWorkSpace);
  Font()->SetColor(clBlack);
  SetBorderIcons(biSystemMenu | biMinimize | biMaximize | biHelp);
  SetHelpContext(310);
  SetHelpFile("Velmora.hlp");
  OpenVistrelDialog1 = new vistrel::TOpenVistrelDialog(this);
  OpenVistrelDialog1->SetFilter(kOpenFilter);
  SaveVistrelDialog1 = new vistrel::TSaveVistrelDialog(this);
  SaveVistrelDialog1->SetFilter(kSaveFilter);
  PrintDialog1 = new TPrintDialog(this);
  PrintDialog1->SetHelpContext(210);
  BuildMenus();
  BuildControls();
  SetWindowState(wsMaximized);
  Scaler1 = TScaler::Attach(this, {.FormFontWidth = 7, .FormFontHeight = 16});
  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnDestroy = [this](TObject* s) { FormDestroy(s); };
  DoCreate();
}

TMainForm::~TMainForm() {
  if (Screen) Screen->OnActiveFormChange = nullptr;
  if (Application && FHintInstalled) Application->OnHint = nullptr;
}

TSpeedButton* TMainForm::AddSpeedButton(TWinControl* Parent, int& X, const std::string& Caption,
                                        const std::string& Icon, const std::string& Hint, TNotifyEvent OnClick) {
  auto* b = new TSpeedButton(this);
  b->SetParent(Parent);
  // The picture from the desktop's icon theme; the word when the theme has none.
  int w;
  if (LoadThemeGlyph(Icon, kSpeedIconSize, b->Glyph())) {
    b->SetNumGlyphs(4);
    w = kSpeedIconSize + 5;
  } else {
    b->SetCaption(Caption);
    w = std::max(26, int(Caption.size()) * 7 + 10);
  }
  b->SetBounds(X, 2, w, kSpeedIconSize + 5);
  X += w + 1;
  b->SetHint(Hint);
  b->SetShowHint(true);
  b->SetFlat(true);
  b->OnClick = std::move(OnClick);
  return b;
}

void TMainForm::BuildControls() {
  SpeedPanel = new TPanel(this);
  SpeedPanel->SetParent(this);
  SpeedPanel->SetAlign(alTop);
  SpeedPanel->SetHeight(31);
  SpeedPanel->SetShowHint(true);
  int x = 4;
  auto on = [this](void (TMainForm::*m)(TObject*)) { return [this, m](TObject* s) { (this->*m)(s); }; };
  OpenBtn = AddSpeedButton(SpeedPanel, x, "Open", "document-open", "Open|", on(&TMainForm::FileOpenItemClick));
  SaveBtn =
      AddSpeedButton(SpeedPanel, x, "Save", "document-save", "Save|", [this](TObject* s) { FileSaveItemClick(s); });
  SaveBtn->SetEnabled(false);
  x += 6;
  CutBtn = AddSpeedButton(SpeedPanel, x, "Cut", "edit-cut", "Cut|", on(&TMainForm::CutItemClick));
  CutBtn->SetEnabled(false);
  CopyBtn = AddSpeedButton(SpeedPanel, x, "Copy", "edit-copy", "Copy|", on(&TMainForm::CopyItemClick));
  CopyBtn->SetEnabled(false);
  PasteBtn = AddSpeedButton(SpeedPanel, x, "Paste", "edit-paste", "Paste|", on(&TMainForm::PasteItemClick));
  PasteBtn->SetEnabled(false);
  x += 6;
  SpeedButton1 = AddSpeedButton(SpeedPanel, x, "New", "document-new", "New|", on(&TMainForm::FileNewItemClick));
  SpeedButton2 =
      AddSpeedButton(SpeedPanel, x, "Fx", "applications-graphics", "Effects|", on(&TMainForm::Effects1Click));
  SpeedButton3 = AddSpeedButton(SpeedPanel, x, "Undo", "edit-undo", "Undo|", on(&TMainForm::Undo1Click));
  SpeedButton4 = AddSpeedButton(SpeedPanel, x, "Adj", "preferences-desktop-theme", "Color Adjust|",
                                on(&TMainForm::ColorAdjust1Click));
  SpeedButton7 = AddSpeedButton(SpeedPanel, x, "Zoom", "edit-find", "Zoom - left click=Up, right click=Down|", nullptr);
  SpeedButton7->SetGroupIndex(1);
  SpeedButton7->SetAllowAllUp(true);
  x += 6;
  AquireBtn =
      AddSpeedButton(SpeedPanel, x, "Scan", "scanner", "Aquire from selected source (select under File/select source)",
                     on(&TMainForm::AquireBtnClick));
  PrintBtn =
      AddSpeedButton(SpeedPanel, x, "Print", "document-print", "Print this photo", on(&TMainForm::PrintBtnClick));
  // These two have no status line text; their words stay as tool tips.
  SpeedButtonHelp = AddSpeedButton(SpeedPanel, x, "?", "help-browser", "Help|", on(&TMainForm::SpeedButtonHelpClick));
  SpeedButton1Close =
      AddSpeedButton(SpeedPanel, x, "Exit", "application-exit", "Exit|", on(&TMainForm::SpeedButton1CloseClick));
  x += 6;
  TrackBar1 = new TTrackBar(this);
  TrackBar1->SetParent(SpeedPanel);
  TrackBar1->SetBounds(x, 2, 150, 27);
  TrackBar1->SetMin(1);
  TrackBar1->SetMax(2000);
  TrackBar1->SetFrequency(100);
  TrackBar1->SetPosition(1);
  TrackBar1->SetHint("Zoom|");
  TrackBar1->SetShowHint(true);
  TrackBar1->OnChange = on(&TMainForm::TrackBar1Change);
  x += 154;
  ComboBox1 = new TComboBox(this);
  ComboBox1->SetParent(SpeedPanel);
  ComboBox1->SetBounds(x, 4, 64, 22);
  for (const char* s :
       {"Fit", "25", "33", "50", "60", "70", "80", "90", "100", "150", "200", "300", "400", "600", "1600"})
    ComboBox1->Items()->Add(s);
  ComboBox1->SetHint("Zoom|");
  ComboBox1->SetShowHint(true);
  // A typed zoom applies on Enter, a chosen one at once; nothing is completed while typing.
  ComboBox1->SetAutoComplete(false);
  ComboBox1->OnClick = on(&TMainForm::ComboBox1Change);
  ComboBox1->OnKeyDown = [this](TObject* s, Word& key, TShiftState) {
    if (key != VK_RETURN) return;
    key = 0;
    ComboBox1Change(s);
  };
  x += 66;
  LabelPercent = new TLabel(this);
  LabelPercent->SetParent(SpeedPanel);
  LabelPercent->SetBounds(x, 8, 12, 16);
  LabelPercent->SetCaption("%");

  Panel1 = new TPanel(this);
  Panel1->SetParent(this);
  Panel1->SetAlign(alBottom);
  Panel1->SetHeight(16);
  Panel1->SetBevelOuter(bvNone);
  LabelRight = new TLabel(this);
  LabelRight->SetParent(Panel1);
  LabelRight->SetAlign(alRight);
  LabelRight->SetWidth(100);
  ProgressBar1 = new TProgressBar(this);
  ProgressBar1->SetParent(Panel1);
  ProgressBar1->SetAlign(alClient);
  ProgressBar1->SetMin(0);
  ProgressBar1->SetMax(100);

  StatusBar = new TStatusBar(this);
  StatusBar->SetParent(this);
  StatusBar->SetAlign(alBottom);
  StatusBar->SetHeight(19);
  StatusBar->SetSimplePanel(true);
  StatusBar->Font()->SetColor(clNavy);

  BuildToolsPanel();

  PopupMenu1 = new TPopupMenu(this);
  PopupMenu1->SetAutoPopup(false);
  PopupMenu1->Items()->AddItem("&Unselect", on(&TMainForm::Unselect1Click));
  PopupMenu1->Items()->AddItem("-");
  PopupMenu1->Items()->AddItem("Cu&t", on(&TMainForm::CutItemClick));
  PopupMenu1->Items()->AddItem("&Copy", on(&TMainForm::CopyItemClick));
  PopupMenu1->Items()->AddItem("&Paste", on(&TMainForm::PasteItemClick));
  PopupMenu1->Items()->AddItem("P&aste Rect", on(&TMainForm::PastetoRect1Click));
}

void TMainForm::BuildMenus() {
  MainMenu1 = new TMainMenu(this);
  TMenuItem* root = MainMenu1->Items();
  auto on = [this](void (TMainForm::*m)(TObject*)) -> TNotifyEvent { return [this, m](TObject* s) { (this->*m)(s); }; };
  auto sub = [&](const std::string& caption, const std::string& hint) {
    TMenuItem* m = root->AddItem(caption);
    m->SetHint(hint);
    return m;
  };
  FileMenu = sub("&File", "File related commands");
  FileNewItem = FileMenu->AddItem("&New", on(&TMainForm::FileNewItemClick), scCtrl | 'N', "Create a new file");
  FileMenu->AddItem("-");
  Selectscanner1 = FileMenu->AddItem("&Select source", on(&TMainForm::Selectscanner1Click));
  Acquire1 = FileMenu->AddItem("&Acquire", on(&TMainForm::Acquire1Click));
  FileMenu->AddItem("-");
  FileOpenItem = FileMenu->AddItem("&Open", on(&TMainForm::FileOpenItemClick), scCtrl | 'O', "Open an existing file");
  FileCloseItem = FileMenu->AddItem("&Close", on(&TMainForm::FileCloseItemClick), 0, "Close current file");
  FileSaveItem = FileMenu->AddItem(
      "&Save", [this](TObject* s) { FileSaveItemClick(s); }, scCtrl | 'S', "Save current file");
  FileSaveItem->SetEnabled(false);
  FileSaveAsItem = FileMenu->AddItem("Save &As...", on(&TMainForm::FileSaveAsItemClick), 0, "Save current file as...");
  FileSaveAsItem->SetEnabled(false);
  Print1 = FileMenu->AddItem("&Print", on(&TMainForm::PrintBtnClick));
  FileMenu->AddItem("-");
  FileExitItem =
      FileMenu->AddItem("E&xit", on(&TMainForm::FileExitItemClick), scAlt | (VK_F1 + 3), "Exit the application");

  EditMenu = sub("&Edit", "");
  Undo1 = EditMenu->AddItem("&Undo", on(&TMainForm::Undo1Click));
  EditMenu->AddItem("-");
  CutItem = EditMenu->AddItem("Cu&t", on(&TMainForm::CutItemClick), scCtrl | 'X', "Cut to clipboard");
  CopyItem = EditMenu->AddItem("&Copy", on(&TMainForm::CopyItemClick), scCtrl | 'C', "Copy to clipboard");
  PasteItem = EditMenu->AddItem("&Paste to new", on(&TMainForm::PasteItemClick), scCtrl | 'V', "Paste from clipboard");
  PastetoRect1 = EditMenu->AddItem("P&aste to Rectangle (stretched)", on(&TMainForm::PastetoRect1Click));
  for (TMenuItem* m : {CutItem, CopyItem, PasteItem, PastetoRect1}) m->SetEnabled(false);
  EditMenu->AddItem("-");
  Crop1 = EditMenu->AddItem("Crop (paste to new)", on(&TMainForm::Crop1Click));

  ImageMenu = sub("&Image", "");
  ColorAdjust1 = ImageMenu->AddItem("Color &Adjust...", on(&TMainForm::ColorAdjust1Click));
  Histogram1 = ImageMenu->AddItem("&Histogram", on(&TMainForm::Histogram1Click));
  Calccolornumber1 = ImageMenu->AddItem("Calc Image colors", on(&TMainForm::Calccolornumber1Click));
  ImageMenu->AddItem("-");
  Negative1 = ImageMenu->AddItem("&Negative", on(&TMainForm::Negative1Click));
  Grayscale1 = ImageMenu->AddItem("&Gray scale (B+W)", on(&TMainForm::Grayscale1Click));
  Reducecolors1 = ImageMenu->AddItem("Reduce colors", on(&TMainForm::Reducecolors1Click));
  ConverttoBW1 = ImageMenu->AddItem("Convert to BW (No grays)", on(&TMainForm::ConverttoBW1Click));
  ConverttoTruecolor1 = ImageMenu->AddItem("Convert to True color", on(&TMainForm::ConverttoTruecolor1Click));
  GetHSVchannels1 = ImageMenu->AddItem("Get HSV channels", on(&TMainForm::GetHSVchannels1Click));
  ImageMenu->AddItem("-");
  Resample1 = ImageMenu->AddItem("&Resize Image", on(&TMainForm::Resample1Click));
  Resize1 = ImageMenu->AddItem("Resize borders", on(&TMainForm::Resize1Click));
  Clear1 = ImageMenu->AddItem("&Clear", on(&TMainForm::Clear1Click));

  ToolsMenu = sub("&Tools", "");
  Effects1 = ToolsMenu->AddItem("&Effects...", on(&TMainForm::Effects1Click));
  ToolsMenu->AddItem("-");
  Rotate1 = ToolsMenu->AddItem("&Rotate", on(&TMainForm::Rotate1Click));
  Verticalflip1 = ToolsMenu->AddItem("&Vertical flip", on(&TMainForm::Verticalflip1Click));
  Horizontalflip1 = ToolsMenu->AddItem("&Horizontal flip", on(&TMainForm::Horizontalflip1Click));
  Merge1 = ToolsMenu->AddItem("&Merge...", on(&TMainForm::Merge1Click));
  ToolsMenu->AddItem("-");
  Zoomproperties1 = ToolsMenu->AddItem("Zoom properties...", on(&TMainForm::Zoomproperties1Click));

  WindowMenu = sub("&Window", "Window related commands such as Tile and Cascade");
  WindowCascadeItem =
      WindowMenu->AddItem("&Cascade", on(&TMainForm::WindowCascadeItemClick), 0, "Arrange windows to overlap");
  WindowTileItem =
      WindowMenu->AddItem("&Tile", on(&TMainForm::WindowTileItemClick), 0, "Arrange windows without overlap");
  WindowArrangeItem = WindowMenu->AddItem("&Arrange Icons", on(&TMainForm::WindowArrangeItemClick), 0,
                                          "Arrange window icons at bottom of main window");
  WindowMinimizeItem =
      WindowMenu->AddItem("&Minimize All", on(&TMainForm::WindowMinimizeItemClick), 0, "Minimize all windows");

  HelpMenu = sub("&About", "Help topics");
  HelpAboutItem = HelpMenu->AddItem("&About", on(&TMainForm::HelpAboutItemClick));
  HelpItem = HelpMenu->AddItem("&Help", on(&TMainForm::SpeedButtonHelpClick));
  SetMenu(MainMenu1);
  SetWindowMenu(WindowMenu);
}

// ---------------------------------------------------------------------------------------------
// Frame handlers

void TMainForm::FormCreate(TObject*) {
  Application->OnHint = [this](TObject* s) { ShowHint(s); };
  FHintInstalled = true;
  Screen->OnActiveFormChange = [this](TObject* s) { UpdateMenuItems(s); };
  DocumentCreated = false;
}

void TMainForm::FormDestroy(TObject*) { Screen->OnActiveFormChange = nullptr; }

void TMainForm::ShowHint(TObject*) { StatusBar->SetSimpleText(Application->Hint()); }

TMDIChild* TMainForm::ActiveChild() const { return dynamic_cast<TMDIChild*>(ActiveMDIChild()); }

void TMainForm::UpdateMenuItems(TObject*) {
  const bool has = MDIChildCount() > 0;
  for (TMenuItem* m : {FileCloseItem, FileSaveItem, FileSaveAsItem, CutItem, CopyItem, PasteItem, PastetoRect1})
    m->SetEnabled(has);
  for (TControl* c : std::initializer_list<TControl*>{SaveBtn, CutBtn, CopyBtn, PasteBtn}) c->SetEnabled(has);
  for (TMenuItem* m : {WindowCascadeItem, WindowTileItem, WindowArrangeItem, WindowMinimizeItem}) m->SetEnabled(has);
  ComboBox1->SetEnabled(has);
  TrackBar1->SetEnabled(has);
  Effects1->SetEnabled(has);
  SpeedButton2->SetEnabled(has);
  for (TMenuItem* m : {Negative1, Grayscale1, Rotate1, Verticalflip1, Horizontalflip1, Undo1}) m->SetEnabled(has);
  PrintBtn->SetEnabled(has);
  Resample1->SetEnabled(has);
  Clear1->SetEnabled(has);
  for (TControl* c : std::initializer_list<TControl*>{SpeedButton3, SpeedButton4}) c->SetEnabled(has);
  EnableToolsPanel(has);
  // Their handlers enable them while a document has objects; with none they are off.
  if (!has) for (TControl* c : std::initializer_list<TControl*>{Paste, ObjectUndo}) c->SetEnabled(false);
  Merge1->SetEnabled(has);
  for (TMenuItem* m : {Selectscanner1, Acquire1, ColorAdjust1, Print1, Histogram1, Calccolornumber1, ConverttoBW1,
                       Reducecolors1, GetHSVchannels1})
    m->SetEnabled(has);
  // They too work on a document.
  for (TMenuItem* m : {Crop1, ConverttoTruecolor1, Resize1, Zoomproperties1}) m->SetEnabled(has);
  SpeedButton5Click(this);
  if (has) {
    if (TMDIChild* c = ActiveChild()) {
      ComboBox1->SetText(std::to_string(c->VistrelVect1->Zoom()));
      TrackBar1->SetPosition(c->VistrelVect1->Zoom());
      Undo1->SetEnabled(c->VistrelProc1->CanUndo());
    }
  }
}

void TMainForm::TrackBar1Change(TObject* Sender) {
  TMDIChild* c = CommandTarget(Sender);
  if (!c) return;
  c->VistrelVect1->SetZoom(TrackBar1->Position());
  ComboBox1->SetText(std::to_string(c->VistrelVect1->Zoom()));
}

void TMainForm::ComboBox1Change(TObject* Sender) {
  TMDIChild* c = CommandTarget(Sender);
  if (!c) return;
  if (ComboBox1->Text() != "Fit") {
    TrackBar1->SetPosition(StrToIntDef(ComboBox1->Text(), 100));
    c->VistrelVect1->SetZoom(TrackBar1->Position());
    // The zoom the view took, not the words typed.
    ComboBox1->SetText(std::to_string(c->VistrelVect1->Zoom()));
  } else {
    c->VistrelVect1->Fit();
    TrackBar1->SetPosition(c->VistrelVect1->Zoom());
  }
}

void TMainForm::WindowCascadeItemClick(TObject*) { Cascade(); }
void TMainForm::WindowTileItemClick(TObject*) { Tile(); }
void TMainForm::WindowArrangeItemClick(TObject*) { ArrangeIcons(); }

void TMainForm::WindowMinimizeItemClick(TObject*) {
  // Each minimised window changes the order of the rest: take the list first.
  std::vector<TForm*> children;
  for (int i = MDIChildCount() - 1; i >= 0; --i)
    if (TForm* f = MDIChildren(i)) children.push_back(f);
  for (TForm* f : children) f->SetWindowState(wsMinimized);
}

void TMainForm::HelpAboutItemClick(TObject*) {
  if (!AboutBox) AboutBox = new TAboutBox(this);
  AboutBox->ShowModal();
}

void TMainForm::SpeedButtonHelpClick(TObject*) {
  Application->SetHelpFile("Velmora.hlp");
  Application->HelpContext(310);
}

void TMainForm::SpeedButton1CloseClick(TObject*) { Close(); }
void TMainForm::FileExitItemClick(TObject*) { Close(); }

void TMainForm::ResetProgress() { ProgressBar1->SetPosition(0); }

TMDIChild* TMainForm::CommandTarget(TObject* Sender) {
  TMDIChild* c = ActiveChild();
  if (c) PasteClick(Sender);
  return c;
}

void TMainForm::RunProcess(TObject* Sender, const std::function<void(TVistrelProc*)>& Op) {
  TMDIChild* c = CommandTarget(Sender);
  if (!c) return;
  Refitting(c, [&] { Op(c->VistrelProc1); });
  ResetProgress();
}

void TMainForm::Refitting(TMDIChild* Child, const std::function<void()>& Op) {
  const int w = Child->VistrelVect1->Bitmap()->Width(), h = Child->VistrelVect1->Bitmap()->Height();
  Op();
  if (Child->VistrelVect1->Bitmap()->Width() != w || Child->VistrelVect1->Bitmap()->Height() != h)
    Child->FitToPicture();
}

bool TMainForm::AskNewSize(TMDIChild* Child, const std::string& Caption, int& Width, int& Height) {
  TBitmap* b = Child->VistrelVect1->Bitmap();
  fResize->StartWidth = b->Width();
  fResize->StartHeight = b->Height();
  fResize->SetCaption(Caption);
  if (fResize->ShowModal() != mrOk) return false;
  Width = StrToIntDef(fResize->Edit1->Text(), 0);
  Height = StrToIntDef(fResize->Edit2->Text(), 0);
  if (Width <= 0 || Height <= 0) {
    ShowMessage("The width and height must be whole numbers above 0.");
    return false;
  }
  // Said in the picture's own terms, before any work, rather than as a failed allocation.
  if (BitmapRowBytes(Width, b->BitsPerPixel()) > TBitmap::MaxBytes() / Height) {
    ShowMessage("A picture of " + std::to_string(Width) + " x " + std::to_string(Height) +
                " pixels is too large to make.");
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Documents

TMDIChild* TMainForm::CreateMDIChild(const std::string& Name, bool IsNew) {
  auto* child = new TMDIChild(Application);
  child->SetCaption(Name);
  if (!IsNew && FileExists(Name)) {
    bool loaded = false;
    int error = 0;
    try {
      child->VistrelIO1->LoadFromFile(Name);
      loaded = !child->VistrelIO1->Aborting();
    } catch (const EStreamError& e) {
      error = e.ErrorCode();
    } catch (const std::exception&) {
      loaded = false;
    }
    ProgressBar1->SetPosition(0);
    if (!loaded) {
      // A file that can't be read opens no window.
      const std::string why = OpenFailureReason(child->VistrelIO1, Name, error);
      child->Free();
      MessageDlg("Could not open " + Name + ".\n" + why, mtError, mbOK, 0);
      return nullptr;
    }
    child->HasFile = true;
    // As large as the picture, frame and title bar inside the workspace.
    child->FitToPicture();
  } else {
    child->VistrelProc1->ResizeCanvas(child->ClientWidth(), child->ClientHeight());
    child->VistrelProc1->ClearUndo();
    Undo1->SetEnabled(false);
  }
  child->Modified = false;
  TVistrelVect* v = child->VistrelVect1;
  v->SetObjFont(VL_OBJ_TEMPLATE, FontDialog1->Font());
  v->SetObjPenColor(VL_OBJ_TEMPLATE, PanelColor->Color());
  v->SetObjPenStyle(VL_OBJ_TEMPLATE, psSolid);
  v->SetObjPenWidth(VL_OBJ_TEMPLATE, StrToIntDef(PenEdit2->Text(), 1));
  DocumentCreated = true;
  SetToolDown(SpeedButton5, true);
  SpeedButton5Click(this);
  child->VistrelIO1->Params()->JPEGQuality = 100;
  return child;
}

// ---------------------------------------------------------------------------------------------
// File commands

void TMainForm::FileNewItemClick(TObject* Sender) {
  CreateMDIChild("Velmora-New" + std::to_string(MDIChildCount() + 1) + ".jpg", true);
  PasteClick(Sender);
  WipeBtnClick(Sender);
  for (TControl* b : std::initializer_list<TControl*>{ObjectUndo, Paste, WipeBtn}) b->SetEnabled(false);
}

void TMainForm::FileOpenItemClick(TObject*) {
  OpenVistrelDialog1->SetAutoSetFilter(false);
  if (OpenVistrelDialog1->Execute() && !CreateMDIChild(OpenVistrelDialog1->FileName(), false)) return;
  TMDIChild* c = ActiveChild();
  if (!c) return;
  c->Image1->Picture()->Bitmap()->Assign(c->VistrelVect1->Bitmap());
  TBitmap* pic = c->Image1->Picture()->Bitmap();
  if (c->ClientWidth() < pic->Width() || c->ClientHeight() < pic->Height()) SetToolDown(SpeedButton6, true);
  SpeedButton5Click(this);
}

void TMainForm::FileCloseItemClick(TObject* Sender) {
  PasteClick(Sender);
  if (TMDIChild* c = ActiveChild()) c->Close();
}

bool TMainForm::SaveDocument(TMDIChild* Child) {
  if (!Child) return false;
  // A document with no file yet asks where it goes.
  if (!Child->HasFile) return SaveDocumentAs(Child);
  return SaveDocument(Child, Child->Caption(), true);
}

bool TMainForm::SaveDocumentAs(TMDIChild* Child) {
  SaveVistrelDialog1->SetAutoSetFilter(false);
  SaveVistrelDialog1->SetFileName(Child->Caption());
  SaveVistrelDialog1->SetAttachedVistrelIO(Child->VistrelIO1);
  // The dialog asked about replacing the file it returns; the caption takes the new name
  // once the picture is saved under it.
  return SaveVistrelDialog1->Execute() && SaveDocument(Child, SaveVistrelDialog1->FileName(), true);
}

bool TMainForm::SaveDocument(TMDIChild* Child, const std::string& Name, bool Asked) {
  // The window that is saved, active or not, keeps its drawn objects in the file.
  CommitObjects(Child);
  if (!Asked && FileExists(Name) &&
      MessageDlg(Name + " already exists.\nDo you want to replace it?", mtConfirmation, mbYes | mbNo, 0) != mrYes)
    return false;
  bool ok = false;
  int error = 0;
  try {
    Child->VistrelIO1->SaveToFile(Name);
    ok = !Child->VistrelIO1->Aborting();
  } catch (const EStreamError& e) {
    error = e.ErrorCode();
  } catch (const std::exception&) {
    ok = false;
  }
  ResetProgress();
  if (!ok) {
    MessageDlg("Could not save " + Name + ".\n" + SaveFailureReason(Child->VistrelIO1, Name, error), mtError, mbOK,
               0);
    return false;
  }
  Child->SetCaption(Name);
  Child->Modified = false;
  Child->HasFile = true;
  return true;
}

bool TMainForm::FileSaveItemClick(TObject* Sender) {
  PasteClick(Sender);
  return SaveDocument(ActiveChild());
}

void TMainForm::FileSaveAsItemClick(TObject* Sender) {
  TMDIChild* c = ActiveChild();
  if (!c) return;
  PasteClick(Sender);
  SaveDocumentAs(c);
}

namespace {
const char* const kAcquireProblemText = "The device you Acquire from has a problem!  Check it and try again.";

// Tells the user when there is no source manager to talk to.
bool ScannerInterfaceInstalled() {
  if (TwainSourceManagerInstalled()) return true;
  ShowMessage("No scanner interface is installed: the TWAIN source manager " + TwainSourceManagerName() +
              " was not found.");
  return false;
}
}  // namespace

void TMainForm::Selectscanner1Click(TObject*) {
  TMDIChild* c = ActiveChild();
  if (!c || !ScannerInterfaceInstalled()) return;
  c->VistrelIO1->SelectAcquireSource();
}

void TMainForm::Acquire1Click(TObject*) { AcquireInto(ActiveChild()); }

bool TMainForm::AcquireInto(TMDIChild* Child) {
  if (!Child || !ScannerInterfaceInstalled()) return false;
  try {
    bool got = false;
    Refitting(Child, [&] { got = Child->VistrelIO1->Acquire(); });
    return got;
  } catch (...) {
    ShowMessage(kAcquireProblemText);
  }
  return false;
}

void TMainForm::AquireBtnClick(TObject* Sender) {
  FileNewItemClick(Sender);
  TMDIChild* c = ActiveChild();
  // An acquisition that failed or was cancelled leaves no empty document behind.
  if (c && !AcquireInto(c)) c->Free();
}

void TMainForm::PrintBtnClick(TObject* Sender) {
  TMDIChild* c = CommandTarget(Sender);
  if (!c || !OKBottomDlg) return;
  TBitmap* picture = c->Image1->Picture()->Bitmap();
  picture->Assign(c->VistrelVect1->Bitmap());
  PrintPicture(PrintDialog1, OKBottomDlg, picture, kPostCardInches);
}

// ---------------------------------------------------------------------------------------------
// Edit commands

void TMainForm::Undo1Click(TObject*) {
  TMDIChild* c = ActiveChild();
  if (!c) return;
  // A window that grew with its picture shrinks back with it.
  Refitting(c, [c] {
    c->VistrelProc1->Undo();
    c->VistrelProc1->ClearUndo();
  });
  Undo1->SetEnabled(false);
}

// The clipboard commands leave the drawn objects where they are.
void TMainForm::CutItemClick(TObject*) {
  if (TMDIChild* c = ActiveChild()) c->VistrelProc1->CutSelectionToClipboard();
}

void TMainForm::CopyItemClick(TObject*) {
  if (TMDIChild* c = ActiveChild()) c->VistrelProc1->CopySelectionToClipboard();
}

namespace {
// True when the clipboard holds a picture; else the user is told.
bool ClipboardPictureOrSay() {
  if (Clipboard()->HasFormat(CF_DIB)) return true;
  ShowMessage("The clipboard holds no picture: copy one first.");
  return false;
}
}  // namespace

void TMainForm::PasteItemClick(TObject*) {
  if (!ClipboardPictureOrSay()) return;
  TMDIChild* c = CreateMDIChild("Velmora-New" + std::to_string(MDIChildCount() + 1) + ".jpg", true);
  c->VistrelProc1->PasteFromClipboard();
  // A picture that could not be read leaves no empty document; one that could takes a window
  // of its size.
  if (!c->Modified) c->Free();
  else c->FitToPicture();
}

void TMainForm::PastetoRect1Click(TObject*) {
  TMDIChild* c = ActiveChild();
  if (c && ClipboardPictureOrSay()) c->VistrelProc1->PasteToSelection();
}

void TMainForm::Unselect1Click(TObject*) {
  if (TMDIChild* c = ActiveChild()) c->VistrelVect1->DeSelect();
}

void TMainForm::Crop1Click(TObject*) {
  TMDIChild* src = ActiveChild();
  if (!src) return;
  int x1, y1, x2, y2;
  if (!src->VistrelVect1->SelectionBox(x1, y1, x2, y2)) {
    ShowMessage("Select an area of the picture first.");
    return;
  }
  auto* child = new TMDIChild(Application);
  child->SetCaption(std::to_string(MDIChildCount()) + ".jpg");
  src->VistrelVect1->CopySelectionTo(child->VistrelVect1);
  child->VistrelVect1->Update();
  child->FitToPicture();
}

// ---------------------------------------------------------------------------------------------
// Image commands

// The effects preview dialog with the colour pages (Contrast, HSV, HSL, RGB, Equalization,
// FFT), and with the filter and distortion pages (User filter, Bump map, Lens, Wave, Morph
// filters, Rotate).
void TMainForm::ColorAdjust1Click(TObject* Sender) { RunPreviews(Sender, 4190); }

void TMainForm::Effects1Click(TObject* Sender) { RunPreviews(Sender, 4000); }

namespace {
// True for a document with a true-colour picture; else the user is told that the command
// (Says: "Effects work", "Merge works") needs one.
bool TrueColorOrSay(TMDIChild* Child, const std::string& Says) {
  if (!Child) return false;
  if (Child->VistrelVect1->Bitmap()->PixelFormat() == pf24bit) return true;
  ShowMessage(Says + " on true-colour pictures: use Image > Convert to True color first.");
  return false;
}
}  // namespace

void TMainForm::RunPreviews(TObject* Sender, uint16_t Pages) {
  TMDIChild* c = ActiveChild();
  // The dialog works on true-colour pictures of at least 2 x 2 pixels only.
  if (!TrueColorOrSay(c, "Effects work")) return;
  TBitmap* b = c->VistrelVect1->Bitmap();
  if (b->Width() < 2 || b->Height() < 2) {
    ShowMessage("Effects need a picture of at least 2 x 2 pixels.");
    return;
  }
  RunProcess(Sender, [Pages](TVistrelProc* p) { p->DoPreviews(Pages); });
}
void TMainForm::Histogram1Click(TObject* Sender) {
  if (!fHistogram || !TrueColorOrSay(ActiveChild(), "Histogram works")) return;
  TMDIChild* c = CommandTarget(Sender);
  fHistogram->VistrelProc1->SetAttachedVistrel(c->VistrelVect1);
  fHistogram->HistogramBox1->Update();
  fHistogram->ShowModal();
}

void TMainForm::Calccolornumber1Click(TObject* Sender) {
  TMDIChild* c = CommandTarget(Sender);
  if (!c) return;
  const int n = c->VistrelProc1->CalcColorCount();
  ShowMessage("The active images has " + std::to_string(n) + " colors.");
}

void TMainForm::Negative1Click(TObject* Sender) {
  RunProcess(Sender, [](TVistrelProc* p) { p->Negative(); });
}

void TMainForm::Grayscale1Click(TObject* Sender) {
  if (!TrueColorOrSay(ActiveChild(), "Gray scale works")) return;
  RunProcess(Sender, [](TVistrelProc* p) { p->ConvertToGray(); });
}

void TMainForm::Reducecolors1Click(TObject* Sender) {
  if (!TrueColorOrSay(ActiveChild(), "Reduce colors works")) return;
  std::string answer;
  // Cancelled, or answered with something that is not a number: the picture and its drawn
  // objects stay as they are.
  if (!InputQuery("Reduce Colors", "Insert colors of image:", answer)) return;
  int colors = 0;
  try {
    colors = StrToInt(Trim(answer));
  } catch (const EConvertError&) {
    return;
  }
  RunProcess(Sender, [colors](TVistrelProc* p) { p->ReduceColors(colors); });
}

void TMainForm::ConverttoBW1Click(TObject* Sender) {
  TMDIChild* c = ActiveChild();
  if (!c || !fConvBW) return;
  if (c->VistrelVect1->Bitmap()->PixelFormat() == pf1bit) {
    ShowMessage("The picture is already black and white.");
    return;
  }
  // The drawn objects are painted in first, as for every picture command.
  PasteClick(Sender);
  if (fConvBW->ShowModal() == mrOk) {
    if (fConvBW->RadioGroup1->ItemIndex() == 0)
      c->VistrelProc1->ConvertToBWThreshold(fConvBW->SpeedButton1->Down() ? -1
                                                                          : StrToIntDef(fConvBW->Edit1->Text(), 0));
    else if (fConvBW->RadioGroup1->ItemIndex() == 1) c->VistrelProc1->ConvertToBWOrdered();
  }
  ResetProgress();
}

void TMainForm::ConverttoTruecolor1Click(TObject* Sender) {
  if (TMDIChild* c = ActiveChild(); c && c->VistrelVect1->Bitmap()->PixelFormat() == pf24bit) {
    ShowMessage("The picture is already true colour.");
    return;
  }
  RunProcess(Sender, [](TVistrelProc* p) { p->ConvertToTrueColor(); });
}

void TMainForm::GetHSVchannels1Click(TObject* Sender) {
  TMDIChild* c = CommandTarget(Sender);
  if (!c) return;
  const std::string base = c->Name();
  TMDIChild* w[3];
  const char* suffix[3] = {" Hue", " Saturation", " Value"};
  for (int i = 0; i < 3; ++i) {
    w[i] = new TMDIChild(Application);
    w[i]->SetCaption(base + suffix[i]);
  }
  TBitmap* source = c->VistrelVect1->Bitmap();
  if (source && source->PixelFormat() != pf24bit && !source->Empty()) {
    // A black-and-white picture is split as the colours it shows.
    TBitmap colours;
    VLCopyBitmap(source, &colours);
    colours.SetPixelFormat(pf24bit);
    TVistrelProc proc(nullptr);
    proc.OnProgress = c->VistrelProc1->OnProgress;
    proc.SetAttachedBitmap(&colours);
    proc.GetHSVChannels(w[0]->VistrelVect1->Bitmap(), w[1]->VistrelVect1->Bitmap(), w[2]->VistrelVect1->Bitmap());
  } else {
    c->VistrelProc1->GetHSVChannels(w[0]->VistrelVect1->Bitmap(), w[1]->VistrelVect1->Bitmap(),
                                    w[2]->VistrelVect1->Bitmap());
  }
  // Each window as large as its picture, within the workspace.
  for (TMDIChild* x : w) {
    x->VistrelVect1->Update();
    x->FitToPicture();
    x->Update();
  }
  ResetProgress();
}

void TMainForm::Resample1Click(TObject* Sender) {
  if (!fResize) return;
  TMDIChild* c = CommandTarget(Sender);
  int w, h;
  if (!c || !AskNewSize(c, "Resize photo - scaling used", w, h)) return;
  const int f = fResize->ComboBox1->ItemIndex();
  Refitting(c, [&] { c->VistrelProc1->Resample(w, h, TResampleFilter(std::clamp(f, 0, int(rfMitchell)))); });
  ResetProgress();
}

void TMainForm::Resize1Click(TObject* Sender) {
  if (!fResize) return;
  TMDIChild* c = CommandTarget(Sender);
  int w, h;
  if (!c || !AskNewSize(c, "Resize border - no scaling", w, h)) return;
  c->VistrelProc1->ResizeCanvas(w, h);
  c->FitToPicture();
}

void TMainForm::Clear1Click(TObject* Sender) {
  if (TMDIChild* c = CommandTarget(Sender)) c->VistrelProc1->ClearImage();
}

// ---------------------------------------------------------------------------------------------
// Tools commands

void TMainForm::Rotate1Click(TObject* Sender) {
  if (!fRotate) return;
  TMDIChild* c = CommandTarget(Sender);
  if (!c) return;
  // The preview works on a copy reduced to the preview's width, its proportions kept. A
  // picture taller than wide goes to that height instead, and neither side goes below a
  // pixel, so a long thin picture can't make the copy (or its turns) huge.
  TVistrelView* preview = fRotate->VistrelView1;
  TBitmap* pic = c->VistrelVect1->Bitmap();
  const int64_t w = pic->Width(), h = pic->Height(), side = preview->Width();
  int rw = 0, rh = 0;
  if (w > 0 && h > 0 && side > 0) {
    rw = int(h > w ? std::max<int64_t>(1, w * side / h) : side);
    rh = int(h > w ? side : std::max<int64_t>(1, h * side / w));
  }
  if (rw > 0 && pic->PixelFormat() == pf24bit) {
    // A 24-bit picture is reduced straight from the document: the same pixels as a whole
    // copy reduced afterwards, without copying the picture (and the preview's undo copy of
    // it, which showing the dialog replaces) at full size first.
    TBitmap reduced;
    reduced.SetPixelFormat(pf24bit);
    reduced.SetSize(rw, rh);
    VLStretchHalftone(pic, &reduced);
    preview->TVLView::SetBackground(c->VistrelVect1->Background());
    preview->SetDpi(c->VistrelVect1->DpiX(), c->VistrelVect1->DpiY());
    preview->Assign(&reduced);
  } else {
    preview->Assign(c->VistrelVect1);
    if (rw > 0) fRotate->VistrelProc1->Resample(rw, rh, rfNone);
  }
  preview->Fit();
  if (fRotate->ShowModal() == mrOk)
    Refitting(c, [&] { c->VistrelProc1->Rotate(360 - fRotate->UpDown1->Position(), fRotate->CheckBox1->Checked()); });
  ResetProgress();
}

void TMainForm::Verticalflip1Click(TObject* Sender) {
  TMDIChild* c = CommandTarget(Sender);
  if (!c) return;
  c->VistrelProc1->Flip(1);
}

void TMainForm::Horizontalflip1Click(TObject* Sender) {
  TMDIChild* c = CommandTarget(Sender);
  if (!c) return;
  c->VistrelProc1->Flip(0);
}

void TMainForm::Merge1Click(TObject* Sender) {
  if (!fMergeDialog || !TrueColorOrSay(ActiveChild(), "Merge works")) return;
  TMDIChild* c = CommandTarget(Sender);
  if (fMergeDialog->ShowModal() == mrOk) {
    const int i = fMergeDialog->ListBox1->ItemIndex();
    if (i < 0) ShowMessage("No source image was chosen, so nothing was merged.");
    if (i >= 0 && i < MDIChildCount())
      if (auto* source = dynamic_cast<TMDIChild*>(MDIChildren(i)))
        c->VistrelProc1->Merge(source->VistrelVect1->Bitmap(), 100 - fMergeDialog->TrackBar1->Position());
  }
  ResetProgress();
}

void TMainForm::Zoomproperties1Click(TObject* Sender) {
  TMDIChild* c = CommandTarget(Sender);
  if (!c || !fZProp) return;
  TVistrelVect* v = c->VistrelVect1;
  fZProp->ComboBox1->SetItemIndex(v->ZoomFilter());
  if (fZProp->ShowModal() != mrOk) return;
  v->SetZoomFilter(TResampleFilter(std::clamp(fZProp->ComboBox1->ItemIndex(), 0, int(rfMitchell))));
  v->SetDelayZoomFilter(fZProp->CheckBox1->Checked());
}

}  // namespace quillon
