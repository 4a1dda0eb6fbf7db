// The editor's about box: what the program is, its version and two links to its maker.
#pragma once
#include "components/aboutbox.h"

namespace quillon {

class TAboutBox : public TVLAboutBox {
 public:
  explicit TAboutBox(TComponent* AOwner);
  TLabel *Comments1, *Comments2;
};

}  // namespace quillon
