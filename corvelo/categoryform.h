// The album view: one page of up to 15 thumbnails in three rows of five, loaded on the first
// timer tick after the main form asks for them; a click on a thumbnail opens the photo view.
#pragma once
#include "components/scaler.h"
#include "corvelo/library/vistrel.h"
#include "corvelo/photoform.h"
#include "corvelo/viewerunit.h"
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

namespace corvelo {

constexpr int kThumbCount = 15;

// 1 when frame i + 1 holds a photo.
extern int ThumbFilled[kThumbCount];

class TCategoryForm : public TForm {
 public:
  explicit TCategoryForm(TComponent* AOwner);

  // Frame i + 1 (PanelBase1 .. PanelBase15) holds the inner panel Panel[i] (Panel1 ..), which
  // holds the thumbnail Image[i] (Image1 ..).
  TPanel* PanelBase[kThumbCount] = {};
  TPanel* Panel[kThumbCount] = {};
  TPhotoImage* Image[kThumbCount] = {};
  // The hidden work frame each photo is loaded and fitted into first.
  TPanel* PanelBase16 = nullptr;
  TPanel* Panel16 = nullptr;
  TImage* Image16 = nullptr;
  // The placeholder every thumbnail gets before loading.
  TImage* Image17 = nullptr;
  TPanel* PanelCatName = nullptr;
  TPanel* PanelcatHelp = nullptr;
  // Push buttons, so Tab reaches them and Enter presses them; Escape presses Close.
  TButton* SpeedButton1 = nullptr;  // help
  TButton* BitBtn1 = nullptr;       // close
  lib::TVistrel* Vistrel1 = nullptr;
  TTimer* Timer1 = nullptr;
  TScaler* Scaler1 = nullptr;

  void FormCreate(TObject* Sender);
  // Clears the frames for a new album when the thumbnails are pending.
  void FormActivate(TObject* Sender);
  void Timer1Timer(TObject* Sender);
  // Loads the album's photos (CatListLines(): file and description by turns) into the frames.
  void ShowThumbs();
  // Image1Click .. Image15Click: opens the photo view on a filled frame.
  void ImageClick(TObject* Sender);
  void BitBtnCloseClick(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);
  // True while the form is up with its thumbnails asked for or being filled: the wait text
  // stays.
  bool Loading() const { return Visible() && (ThumbsPending == 1 || FFilling); }
  // True once the fill is not wanted any more: the form was closed or is being closed.
  bool Leaving() const;
  // Lays the title and the frames out again whenever the form's size changes.
  void AlignControls() override;

 private:
  void BuildControls();
  // The title and the grid at the design's proportions, as large as the room under the hint
  // line allows and centred across, so a wide screen shows all three rows.
  void ArrangeFrames();
  // Lets go of the album's decoded photos (thumbnails, work copy, decoder, photo view).
  void FreePhotos();
  bool FBuilt = false;
  bool FFilling = false;
};

}  // namespace corvelo
