// The editor's program block.
#pragma once

namespace quillon {

class TMainForm;
// Creates the main form, sets the help file and title and creates the dialogs.
TMainForm* StartQuillon();
// StartQuillon, then the message loop until the main form closes.
int RunQuillon();

}  // namespace quillon
