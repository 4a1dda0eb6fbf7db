// The editor's about box: what the program is, its version and two links to its maker.
#pragma once
#include "components/hyperlink.h"
#include "components/scaler.h"
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

namespace quillon {

class TAboutBox : public TForm {
 public:
  explicit TAboutBox(TComponent* AOwner);
  TPanel* Panel1;
  TLabel* ProductName;
  TLabel* Version;
  TLabel* Copyright;
  TLabel *Comments1, *Comments2;
  THyperLink* HyperLink1;
  THyperLink* HyperLink2;
  TButton* OKButton;
  TScaler* Scaler1;
};

}  // namespace quillon
