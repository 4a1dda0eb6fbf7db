// The editor's program block.
#pragma once

namespace quillon {

class TMainForm;
// Creates the main form, sets the help file and title and creates the dialogs.
TMainForm* StartQuillon();
// Frees the document windows, the main form and the dialogs StartQuillon made, and unhooks
// the main form from the application (the end of the program, and of each test).
void StopQuillon(TMainForm* MainForm);
// StartQuillon, then the message loop until the main form closes.
int RunQuillon();

}  // namespace quillon
