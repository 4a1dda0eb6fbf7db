#include "quillon/program.h"

#include "quillon/aboutform.h"
#include "quillon/dialogs.h"
#include "quillon/mainform.h"

namespace quillon {

TMainForm* StartQuillon() {
  TMainForm* MainForm = nullptr;
  Application->CreateForm(MainForm);
  Application->SetMainForm(MainForm);
  Application->SetHelpFile("Velmora.hlp");
  Application->SetTitle("Quillon");
  Application->CreateForm(MainForm->AboutBox);
  Application->CreateForm(MainForm->fColorSel);
  Application->CreateForm(MainForm->fRotate);
  Application->CreateForm(MainForm->fMergeDialog);
  Application->CreateForm(MainForm->fHistogram);
  Application->CreateForm(MainForm->fConvBW);
  Application->CreateForm(MainForm->fResize);
  Application->CreateForm(MainForm->fZProp);
  Application->CreateForm(MainForm->Form1);
  Application->CreateForm(MainForm->OKBottomDlg);
  return MainForm;
}

int RunQuillon() {
  StartQuillon();
  Application->Run();
  return 0;
}

}  // namespace quillon
