// The viewer's about box: what the viewer does, its version and two links to its maker.
#pragma once
#include "components/aboutbox.h"

namespace corvelo {

class TAboutBox : public TVLAboutBox {
 public:
  explicit TAboutBox(TComponent* AOwner);
  TLabel *Comments1, *Comments2, *Comments3;
};

}  // namespace corvelo
