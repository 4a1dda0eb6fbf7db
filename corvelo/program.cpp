#include "corvelo/program.h"

#include "components/printsize.h"
#include "corvelo/aboutform.h"
#include "corvelo/categoryform.h"
#include "corvelo/mainform.h"
#include "corvelo/photoform.h"
#include "corvelo/slideshowform.h"

namespace corvelo {

TMainForm* StartCorvelo() {
  Application->SetHelpFile("Corvelo.hlp");
  Application->SetTitle("Velmora");
  Application->CreateForm(MainForm);
  Application->SetMainForm(MainForm);
  Application->CreateForm(CategoryForm);
  Application->CreateForm(ShowCatPhotoForm);
  Application->CreateForm(AboutBox);
  Application->CreateForm(SlideShowForm);
  Application->CreateForm(OKBottomDlg);
  return MainForm;
}

void StopCorvelo() {
  Application->SetHint("");
  FreeAndNil(CategoryForm);
  FreeAndNil(ShowCatPhotoForm);
  FreeAndNil(AboutBox);
  FreeAndNil(SlideShowForm);
  FreeAndNil(OKBottomDlg);
  FreeAndNil(MainForm);
  Application->SetMainForm(nullptr);
}

int RunCorvelo() {
  StartCorvelo();
  Application->Run();
  return 0;
}

}  // namespace corvelo
