#include "quillon/aboutform.h"

namespace quillon {

TAboutBox::TAboutBox(TComponent* AOwner)
    : TVLAboutBox(AOwner, "About", 80, "Quillon", "Image editor of the Velmora photo family",
                  {"Acquires, opens, edits, prints and saves pictures,", "each in a window of its own."}),
      Comments1(Comments[0]),
      Comments2(Comments[1]) {}

}  // namespace quillon
