// The viewer's program block.
#pragma once

namespace corvelo {

class TMainForm;
// Sets the help file and the title, then creates the forms once: the main form, the album
// view, the photo view, the about box, the slide show and the print-size dialog.
TMainForm* StartCorvelo();
// Frees what StartCorvelo made, the main form last.
void StopCorvelo();
// StartCorvelo, then the message loop until the main form closes.
int RunCorvelo();

}  // namespace corvelo
