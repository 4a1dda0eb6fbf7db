// The library's open and save dialogs: a file dialog with a preview panel of the selected file
// and an information strip. Headless, the dialog goes through the modal service: the answerer
// drives it (SelectFiles, ChangeFilterIndex, ChangeFolder) and returns mrOk or mrCancel.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/stdctrls.h"
#include "vistrel/view/language.h"

class TVistrelIO;
class TVistrelMIO;
class TVistrelView;
class TVistrelMView;
class TIOParamsVals;

namespace vistrel {

using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TVLCommonDialog : public TComponent {
 public:
  explicit TVLCommonDialog(TComponent* AOwner) : TComponent(AOwner) {}
  bool Ctl3D = true;
  int HelpContext = 0;
  TNotifyEvent OnClose, OnShow;
  virtual bool Execute() = 0;
  // Language of the dialog's own captions (the word table's row).
  TMsgLanguage MsgLanguage() const { return FMsgLanguage; }
  void SetMsgLanguage(TMsgLanguage Value) { FMsgLanguage = Value; }

 protected:
  virtual void DoClose() {
    if (OnClose) OnClose(this);
  }
  virtual void DoShow() {
    if (OnShow) OnShow(this);
  }
  TMsgLanguage FMsgLanguage = msSystem;
};

class TOpenVistrelDialog : public TVLCommonDialog {
 public:
  explicit TOpenVistrelDialog(TComponent* AOwner);
  ~TOpenVistrelDialog() override;

  // The filter of every format in the registry, then video.
  static std::string BuildFilter();

  bool Execute() override;

  bool AutoSetFilter() const { return FAutoSetFilter; }
  void SetAutoSetFilter(bool Value) { FAutoSetFilter = Value; }
  bool AlwaysAnimate = false;
  std::vector<std::string> Files;
  TOpenOptions Options = ofHideReadOnly;
  // "Description|*.a;*.b|..."
  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& Value) { FFilter = Value; }
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  const std::string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& Value) { FDefaultExt = Value; }
  const std::string& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const std::string& Dir);
  // While the dialog is up: the path selected in it.
  std::string FileName() const;
  void SetFileName(const std::string& Name) { FFileName = Name; }
  // One-based; while the dialog is up, the entry chosen in it.
  int FilterIndex() const { return FShowing ? FCurFilterIndex : FFilterIndex; }
  void SetFilterIndex(int Index) { FFilterIndex = Index; }

  TNotifyEvent OnSelectionChange, OnFolderChange, OnTypeChange;
  TCloseQueryEvent OnCanClose;

  // The dialog's side, for the dialog backend (or a test's answerer) while it is up.
  // Names relative to the folder, or absolute; the typed name is the first.
  void SelectFiles(const std::string& Folder, const std::vector<std::string>& Names);
  void ChangeFolder(const std::string& Folder);
  void ChangeFilterIndex(int Index);
  // Typed text of the name box (without folder).
  const std::string& TypedName() const { return FTyped; }
  bool Showing() const { return FShowing; }

  // Preview panel.
  TPanel* PicturePanel;
  TLabel *PicLabel1, *PicLabel2, *PicLabel3;
  TPanel* InfoPanel;
  TLabel *InfoLabel1, *InfoLabel2;
  TSpeedButton* PreviewButton;
  TSpeedButton* PlayButton;
  TComboBox* ZoomCombo;
  TProgressBar* ProgressBar;
  TButton* AdvancedButton;
  TCheckBox* PreviewCheck;
  // Over the picture when the selected file can't be read.
  TLabel* ReadErrorLabel;
  TVistrelView* View() const { return FView; }
  TVistrelMView* MView() const { return FMView; }
  TVistrelIO* IO() const { return FIO; }
  TVistrelMIO* MIO() const { return FMIO; }
  int FrameCount() const { return FFrameCount; }
  // The modal preview window of the current picture.
  void ShowPreviewWindow();
  void ApplyZoom();

 protected:
  bool RunDialog(bool Save);
  virtual void DoSelectionChange();
  virtual void DoFolderChange() {
    if (OnFolderChange) OnFolderChange(this);
  }
  virtual void DoTypeChange() {
    if (OnTypeChange) OnTypeChange(this);
  }
  virtual bool DoCanClose();
  void DoShow() override;
  void DoClose() override;
  void ShowInfo(const TIOParamsVals* Params);
  // Empties the information lines and says the file can't be read.
  void ShowUnreadable();
  void ShowStartingFile();
  // Captions from the word table in MsgLanguage.
  void ApplyLanguage();
  // Place the panels' controls for the panels' current sizes and the labels' font.
  void LayoutPicturePanel();
  void LayoutInfoPanel();
  int LineHeight();
  std::string PatternOf(int Index) const;
  std::string DescriptionOf(int Index) const;
  void PreviewCheckClick(TObject* Sender);
  void PlayClick(TObject* Sender);

  bool FAutoSetFilter = true;
  std::string FFilter, FTitle, FDefaultExt;
  bool FPreviewEnabled = true;
  bool FShowing = false;
  bool FBusy = false;
  std::string FFileName, FInitialDir, FFolder, FTyped, FCurPattern;
  std::vector<std::string> FSelected;
  int FFilterIndex = 1, FCurFilterIndex = 1;
  int64_t FFileSize = 0;
  int FFrameCount = 1;

 private:
  TVistrelIO* FIO;
  TVistrelMIO* FMIO;
  TVistrelView* FView;
  TVistrelMView* FMView;
};

enum TVLSaveDlgOpt : unsigned { sdShowPreview = 1, sdShowAdvanced = 2 };
using TVLSaveDlgOpts = unsigned;

class TSaveVistrelDialog : public TOpenVistrelDialog {
 public:
  explicit TSaveVistrelDialog(TComponent* AOwner);
  ~TSaveVistrelDialog() override;
  bool Execute() override;
  TVLSaveDlgOpts ExOptions = sdShowPreview | sdShowAdvanced;
  TComponent* AttachedVistrelIO() const { return FAttached; }
  // A TVistrelIO or TVistrelMIO; anything else, nil included, is ignored.
  void SetAttachedVistrelIO(TComponent* Value);
  // Gives the typed name the extension of the chosen type.
  void UpdateExtension();
  void AdvancedClick(TObject* Sender);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void DoTypeChange() override;
  void DoSelectionChange() override;
  void DoShow() override;

 private:
  // The page of the save-parameters dialog for the chosen name and type; 0: none.
  uint8_t AdvancedPage() const;
  TComponent* FAttached = nullptr;
  TIOParamsVals* FSaved;
};

}  // namespace vistrel
