// The photo view: one photo of an album as large as the screen allows, with its description;
// a click anywhere returns to the album, a right click or "Print" prints it.
#pragma once
#include <cstdint>

#include "components/printsize.h"
#include "components/scaler.h"
#include "corvelo/library/vistrel.h"
#include "corvelo/viewerunit.h"
#include "platform/gui/controls.h"
#include "platform/gui/menus.h"
#include "platform/gui/printer.h"
#include "platform/gui/stdctrls.h"

namespace corvelo {

// An image control that shows a stretched photo shrunk by area averaging instead of dropping
// pixels, so large photos in small places keep their detail smooth. The shrunk copy is kept
// until the picture or the control's size changes.
class TPhotoImage : public TImage {
 public:
  explicit TPhotoImage(TComponent* AOwner);
  // A ring along the edges, over the photo, so the focus shows on a photo of any size.
  void SetFocusRing(bool v);

 protected:
  void Paint() override;

 private:
  void PaintPhoto();
  TBitmap FShrunk;
  bool FShrunkValid = false;
  bool FFocusRing = false;
};

class TShowCatPhotoForm : public TForm {
 public:
  explicit TShowCatPhotoForm(TComponent* AOwner);

  TPanel* PanelCatHelp = nullptr;
  // Push buttons, so Tab reaches them and Enter presses them; Escape presses Close.
  TButton* SpeedButton1 = nullptr;  // close
  TButton* SpeedButton2 = nullptr;  // "Print"
  TButton* SpeedButton3 = nullptr;  // help
  TPanel* PanelPhotoDescribe = nullptr;
  TPanel* PanelBase1 = nullptr;
  TPanel* Panel1 = nullptr;
  TPhotoImage* Image1 = nullptr;
  TPopupMenu* PopupMenu1 = nullptr;
  lib::TVistrel* Vistrel1 = nullptr;
  TPrintDialog* PrintDialog1 = nullptr;
  TScaler* Scaler1 = nullptr;

  // Fits the photo into the free area and names it in the caption.
  void FormActivate(TObject* Sender);
  void Image1Click(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);
  void SpeedButton3Click(TObject* Sender);
  // Prints the photo: the print dialog, the size dialog, then the page.
  void PopupMenu1Popup(TObject* Sender);
  // Fits the photo again whenever the shown form's size changes.
  void AlignControls() override;

 private:
  void BuildControls();
  void SetImage();
};

}  // namespace corvelo
