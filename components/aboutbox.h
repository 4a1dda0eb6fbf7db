// The about box both programs show: product name, version, a line on what it is, a few lines
// of description and two links to its maker, on a lowered panel with OK below.
#pragma once
#include <string>
#include <vector>

#include "components/hyperlink.h"
#include "components/scaler.h"
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVLAboutBox : public TForm {
 public:
  TPanel* Panel1;
  TLabel* ProductName;
  TLabel* Version;
  TLabel* Copyright;
  std::vector<TLabel*> Comments;
  THyperLink* HyperLink1;
  THyperLink* HyperLink2;
  TButton* OKButton;
  TScaler* Scaler1;

 protected:
  TVLAboutBox(TComponent* AOwner, const std::string& Caption, int HelpContext, const std::string& Product,
              const std::string& Line, const std::vector<std::string>& Description);
};
