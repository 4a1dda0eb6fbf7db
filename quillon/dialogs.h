// The editor's rotate and resize dialogs, created once and reused by the commands.
#pragma once
#include <cstdint>

#include "platform/core/stream.h"
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "vistrel/proc/vistrelproc.h"
#include "vistrel/view/vistrelview.h"

namespace quillon {

class TfRotate : public TForm {
 public:
  explicit TfRotate(TComponent* AOwner);
  TLabel* Label1;
  TEdit* Edit1;
  TUpDown* UpDown1;
  TCheckBox* CheckBox1;
  TVistrelView* VistrelView1;
  TButton* Button3;
  TPanel* Panel1;
  TLabel* Label2;
  TButton *Button4, *Button5, *Button6, *Button7;
  TButton* Button1;
  TButton* Button2;
  TVistrelProc* VistrelProc1;

  void FormActivate(TObject* Sender);
  void Button3Click(TObject* Sender);
  void QuickClick(const char* Angle);
};

class TfResize : public TForm {
 public:
  explicit TfResize(TComponent* AOwner);
  TLabel *Label1, *Label2, *Label3;
  TEdit* Edit1;
  TEdit* Edit2;
  TCheckBox* CheckBox1;
  TComboBox* ComboBox1;
  TButton* Button1;
  TButton* Button2;
  int32_t StartWidth = 0;
  int32_t StartHeight = 0;

  void FormActivate(TObject* Sender);
  void Edit1Change(TObject* Sender);
  void Edit2Change(TObject* Sender);

 private:
  bool FBusy = false;
};

}  // namespace quillon
