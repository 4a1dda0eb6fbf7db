#include "quillon/program.h"

#include "quillon/aboutform.h"
#include "quillon/dialogs.h"
#include "quillon/mainform.h"
#include "quillon/mdichild.h"

#include <QCoreApplication>

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

void StopQuillon(TMainForm* MainForm) {
  if (!MainForm) return;
  for (int i = Screen->FormCount() - 1; i >= 0; --i)
    if (auto* c = dynamic_cast<TMDIChild*>(Screen->Forms(i))) c->Free();
  Screen->OnActiveFormChange = nullptr;
  Application->OnHint = nullptr;
  TForm* dialogs[] = {MainForm->AboutBox,   MainForm->fColorSel,  MainForm->fRotate, MainForm->fMergeDialog,
                      MainForm->fHistogram, MainForm->fConvBW,    MainForm->fResize, MainForm->fZProp,
                      MainForm->Form1,      MainForm->OKBottomDlg};
  MainForm->Free();
  for (TForm* f : dialogs)
    if (f) f->Free();
  Application->SetMainForm(nullptr);
  QCoreApplication::processEvents();
}

int RunQuillon() {
  StartQuillon();
  Application->Run();
  return 0;
}

}  // namespace quillon
