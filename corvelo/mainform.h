// The viewer's main window: the headline from the settings list, the albums and slide shows of
// the disc to choose from, and the hint line that every form of the viewer shares.
#pragma once
#include <string>

#include "components/scaler.h"
#include "corvelo/viewerunit.h"
#include "platform/gui/controls.h"
#include "platform/gui/menus.h"
#include "platform/gui/stdctrls.h"

namespace corvelo {

namespace lib {
class TVistrel;
}

class TMainForm : public TForm {
 public:
  explicit TMainForm(TComponent* AOwner);
  ~TMainForm() override;

  // Headline text and picture (settings lines 0 to 2).
  TPanel* Headline;
  TPanel* PanelBase1;
  TPanel* Panel1;
  TImage* Image1;
  // The hint line with help, about and close.
  TPanel* PanelHelp;
  TSpeedButton *HelpMainCat, *Aboutbutton, *SpeedButtonClose;
  // Albums.
  TPanel* CatPanel;
  TImage* Image3;
  TRadioGroup* RC;
  TPanel* Panel3;
  TSpeedButton* ShowCat;
  // Slide shows.
  TPanel* SlidePanel;
  TImage* Image2;
  TRadioGroup* RS;
  TPanel* Panel4;
  TSpeedButton* ButtonGoToSlide1;
  // Hidden: the hint, the lines of "Admin.lst", of the chosen album, a list nothing fills,
  // and the decoder.
  TEdit* HelpPanel;
  TListBox *AdminList, *CatList, *SlideList;
  lib::TVistrel* Vistrel1;
  TScaler* Scaler1;

  TMainMenu* MainMenu1;
  TMenuItem *File1, *Exit1, *Tools1, *ShowAlbum1, *Showslides1, *Help1, *About1, *Help2;

  // Start-up: settings, headline picture, albums and slide shows, hint routing.
  void FormCreate(TObject* Sender);
  // Reads CurrentListFile into the list ListKind names. Lines may end in CR LF. A missing file
  // leaves that list empty; a file that can't be read raises EInOutError.
  void LoadList();
  // Opens the selected album in the album view.
  void ShowCatClick(TObject* Sender);
  // Opens the selected slide show.
  void ButtonGoToSlide1Click(TObject* Sender);
  void AboutbuttonClick(TObject* Sender);
  void Exit1Click(TObject* Sender);
  void HelpMainCatClick(TObject* Sender);
  // The application's hint goes to HelpPanel; its change goes to every form's hint line.
  void ShowHint(TObject* Sender);
  void HelpPanelChange(TObject* Sender);

  // The picture rule on this form: CurrentImageFile into Image1, fitted into PanelBase1.
  TLoadResult LoadImage();
  bool SetImage();

 private:
  bool FHintInstalled = false;  // the application's hint handler is this form's
  void BuildControls();
  void BuildMenus();
  // Applies the settings lines 1 to 6 that hold a sound value.
  void ApplySettings();
};

}  // namespace corvelo
