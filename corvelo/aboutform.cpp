#include "corvelo/aboutform.h"

namespace corvelo {

TAboutBox::TAboutBox(TComponent* AOwner)
    : TVLAboutBox(AOwner, "About Corvelo", 330, "Corvelo", "Digital photo presentation software",
                  {"Shows the albums and slide shows of this disc:", "pages of thumbnails, single photos with printing",
                   "and slide shows played by timer or by hand."}),
      Comments1(Comments[0]),
      Comments2(Comments[1]),
      Comments3(Comments[2]) {}

}  // namespace corvelo
