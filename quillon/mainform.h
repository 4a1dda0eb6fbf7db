// The editor's frame window: menus, speed bar, zoom controls, status hints, progress bar,
// and the commands that act on the active document window.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "components/printsize.h"
#include "components/scaler.h"
#include "platform/gui/controls.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/menus.h"
#include "platform/gui/stdctrls.h"
#include "quillon/aboutform.h"
#include "quillon/dialogs.h"
#include "vistrel/io/filedialogs.h"
#include "quillon/mdichild.h"

namespace quillon {

class TMainForm : public TForm {
 public:
  explicit TMainForm(TComponent* AOwner);
  ~TMainForm() override;

  // Controls.
  TPanel* SpeedPanel;
  TSpeedButton *OpenBtn, *SaveBtn, *CutBtn, *CopyBtn, *PasteBtn, *SpeedButton1, *SpeedButton2, *SpeedButton3,
      *SpeedButton4, *SpeedButton7, *AquireBtn, *PrintBtn, *SpeedButtonHelp, *SpeedButton1Close;
  TTrackBar* TrackBar1;
  TComboBox* ComboBox1;
  TLabel* LabelPercent;
  TStatusBar* StatusBar;
  TPanel* Panel1;
  TProgressBar* ProgressBar1;
  TLabel* LabelRight;

  // Tools panel: selection, scroll, drawing and object tools (one group with SpeedButton7),
  // pen width, colour and font of new objects, and the buttons for drawn objects.
  TPanel* PanelTools;
  TLabel *LabelSelect, *LabelDraw, *LabelText, *LabelObject, *LabelPen;
  TSpeedButton *SpeedButton5, *SpeedButton8, *SpeedButton9, *SpeedButton6;
  TSpeedButton *SpeedButtonLine, *SpeedButtonRect, *SpeedButtonEllipse, *SpeedButtonScribble, *SpeedButtonWrite,
      *SpeedButton13;
  TEdit* PenEdit2;
  TUpDown* UpDownPen;
  TPanel* PanelColor;
  TButton *ButtonFont, *WipeBtn, *Paste, *ObjectUndo;
  TColorDialog* ColorDialog1;
  TFontDialog* FontDialog1;

  // Menus.
  TMainMenu* MainMenu1;
  TMenuItem *FileMenu, *FileNewItem, *Selectscanner1, *Acquire1, *FileOpenItem, *FileCloseItem, *FileSaveItem,
      *FileSaveAsItem, *Print1, *FileExitItem;
  TMenuItem *EditMenu, *Undo1, *CutItem, *CopyItem, *PasteItem, *PastetoRect1, *Crop1;
  TMenuItem *ImageMenu, *ColorAdjust1, *Histogram1, *Calccolornumber1, *Negative1, *Grayscale1, *Reducecolors1,
      *ConverttoBW1, *ConverttoTruecolor1, *GetHSVchannels1, *Resample1, *Resize1, *Clear1;
  TMenuItem *ToolsMenu, *Effects1, *Rotate1, *Verticalflip1, *Horizontalflip1, *Merge1, *Zoomproperties1;
  TMenuItem *WindowMenu, *WindowCascadeItem, *WindowTileItem, *WindowArrangeItem, *WindowMinimizeItem;
  TMenuItem *HelpMenu, *HelpAboutItem, *HelpItem;
  TPopupMenu* PopupMenu1;

  TScaler* Scaler1;
  // The about box, made by the program block (or on first use when there is none).
  TAboutBox* AboutBox = nullptr;

  vistrel::TOpenVistrelDialog* OpenVistrelDialog1;
  vistrel::TSaveVistrelDialog* SaveVistrelDialog1;
  // Printing: the system's print dialog, and the print-size dialog made by the program block.
  TPrintDialog* PrintDialog1;
  TOKBottomDlg* OKBottomDlg = nullptr;
  // Set by the first document; the pen width goes to documents from then on.
  bool DocumentCreated = false;

  // Dialogs (created by the program block).
  TfColorSel* fColorSel = nullptr;
  TfRotate* fRotate = nullptr;
  TfMergeDialog* fMergeDialog = nullptr;
  TfHistogram* fHistogram = nullptr;
  TfConvBW* fConvBW = nullptr;
  TfResize* fResize = nullptr;
  TfZProp* fZProp = nullptr;
  TForm1* Form1 = nullptr;  // hidden text

  TMDIChild* ActiveChild() const;
  // Null when the file could not be read: no window stays, and the user is told.
  TMDIChild* CreateMDIChild(const std::string& Name, bool IsNew);

  // Handlers.
  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void ShowHint(TObject* Sender);
  void UpdateMenuItems(TObject* Sender);
  void TrackBar1Change(TObject* Sender);
  void ComboBox1Change(TObject* Sender);
  void WindowCascadeItemClick(TObject* Sender);
  void WindowTileItemClick(TObject* Sender);
  void WindowArrangeItemClick(TObject* Sender);
  void WindowMinimizeItemClick(TObject* Sender);
  void HelpAboutItemClick(TObject* Sender);
  void SpeedButtonHelpClick(TObject* Sender);
  void SpeedButton1CloseClick(TObject* Sender);
  void FileExitItemClick(TObject* Sender);

  void FileNewItemClick(TObject* Sender);
  void FileOpenItemClick(TObject* Sender);
  void FileCloseItemClick(TObject* Sender);
  // True when the picture was written.
  bool FileSaveItemClick(TObject* Sender);
  // Commits and saves a document under its caption, or through Save As when it has no file
  // yet; tells the user when that failed. False when nothing was written.
  bool SaveDocument(TMDIChild* Child);
  // Asks for a name, starting on the caption, and saves there; false when cancelled or failed.
  bool SaveDocumentAs(TMDIChild* Child);
  // The same under Name (Asked: replacing a file of that name was already agreed to); the
  // caption becomes Name only when the picture was written.
  bool SaveDocument(TMDIChild* Child, const std::string& Name, bool Asked);
  void FileSaveAsItemClick(TObject* Sender);
  void Selectscanner1Click(TObject* Sender);
  void Acquire1Click(TObject* Sender);
  void AquireBtnClick(TObject* Sender);
  // Acquires a page into a document; false when nothing came (failure or cancel).
  bool AcquireInto(TMDIChild* Child);
  void PrintBtnClick(TObject* Sender);

  void Undo1Click(TObject* Sender);
  void CutItemClick(TObject* Sender);
  void CopyItemClick(TObject* Sender);
  void PasteItemClick(TObject* Sender);
  void PastetoRect1Click(TObject* Sender);
  void Unselect1Click(TObject* Sender);
  void Crop1Click(TObject* Sender);

  void ColorAdjust1Click(TObject* Sender);
  void Effects1Click(TObject* Sender);
  void Histogram1Click(TObject* Sender);
  void Calccolornumber1Click(TObject* Sender);
  void Negative1Click(TObject* Sender);
  void Grayscale1Click(TObject* Sender);
  void Reducecolors1Click(TObject* Sender);
  void ConverttoBW1Click(TObject* Sender);
  void ConverttoTruecolor1Click(TObject* Sender);
  void GetHSVchannels1Click(TObject* Sender);
  void Resample1Click(TObject* Sender);
  void Resize1Click(TObject* Sender);
  void Clear1Click(TObject* Sender);

  void Rotate1Click(TObject* Sender);
  void Verticalflip1Click(TObject* Sender);
  void Horizontalflip1Click(TObject* Sender);
  void Merge1Click(TObject* Sender);
  void Zoomproperties1Click(TObject* Sender);

  // Tools panel (toolspanel.cpp).
  // Applies the chosen selection, scroll or zoom tool to the active document.
  void SpeedButton5Click(TObject* Sender);
  // Applies the chosen drawing or object tool to the active document.
  void ToolButtonsClick(TObject* Sender);
  void PenEdit2Change(TObject* Sender);
  void PanelColorClick(TObject* Sender);
  void ButtonFontClick(TObject* Sender);
  // "Paste": commits the selected drawn objects of the active document into its picture.
  void PasteClick(TObject* Sender);
  // "Undo": back to the picture kept by the last commit or by "&Open".
  void ObjectUndoClick(TObject* Sender);
  // "Wipe": removes the drawn objects without painting them.
  void WipeBtnClick(TObject* Sender);
  // Paints the selected drawn objects of a document into its picture, keeping the picture
  // before them for "Undo"; false when none is selected.
  bool CommitObjects(TMDIChild* Child);
  // Puts a tool of the group down (every other one up) or up.
  void SetToolDown(TSpeedButton* Button, bool Down);

 private:
  bool FHintInstalled = false;  // the application's hint handler is this form's
  void ResetProgress();
  // The active document with its drawn objects committed, ready for a command; null when none.
  TMDIChild* CommandTarget(TObject* Sender);
  // Runs Op on the active document's processing component, then clears the progress bar.
  void RunProcess(TObject* Sender, const std::function<void(TVistrelProc*)>& Op);
  // Runs Op on a document; a picture whose size it changed gets a window that fits it.
  void Refitting(TMDIChild* Child, const std::function<void()>& Op);
  // The effects dialog with the given pages on the active document; says why when the
  // picture is not one it works on.
  void RunPreviews(TObject* Sender, uint16_t Pages);
  // Shows the size dialog for the active document's picture; false unless confirmed with a
  // width and height above 0 (the user is told otherwise).
  bool AskNewSize(TMDIChild* Child, const std::string& Caption, int& Width, int& Height);
  void BuildControls();
  void BuildMenus();
  void BuildToolsPanel();
  TSpeedButton* AddTool(int X, int Y, const std::string& Hint, TNotifyEvent OnClick,
                        const std::function<void(TCanvas*, TColor)>& Draw);
  std::vector<TSpeedButton*> ToolGroup() const;
  void EnableToolsPanel(bool Enabled);
  void SetPanelColor(TColor Color);
  TSpeedButton* AddSpeedButton(TWinControl* Parent, int& X, const std::string& Caption, const std::string& Icon,
                               const std::string& Hint, TNotifyEvent OnClick);
};

// Pixels of the speed bar's pictures.
constexpr int kSpeedIconSize = 22;

}  // namespace quillon
