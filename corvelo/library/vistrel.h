// The viewer build's all-in-one image control: its view with its processing component and its
// I/O component, both attached to itself. It only forwards; the behaviour is theirs.
#pragma once
#include <string>

#include "corvelo/library/vistrelio.h"
#include "corvelo/library/vistrelproc.h"
#include "corvelo/library/vistrelview.h"

namespace corvelo::lib {

enum TNColors : uint8_t { nc8bit, nc24bit };

class TVistrel : public TVistrelView {
 public:
  explicit TVistrel(TComponent* AOwner);
  ~TVistrel() override;
  // Frees the processing component, then the I/O component, while the view is whole.
  void BeforeDestruction() override;

  bool AutoUndo() const { return FProc->AutoUndo(); }
  void SetAutoUndo(bool Value) { FProc->SetAutoUndo(Value); }
  // Read from the processing component; written to both.
  TProgressEvent OnProgress() const { return FProc->OnProgress; }
  void SetOnProgress(const TProgressEvent& Value);
  TMsgLanguage MsgLanguage() const { return FProc->MsgLanguage(); }
  void SetMsgLanguage(TMsgLanguage Value);
  TPRPreviewsParams ProcPreviewsParams() const { return FProc->PreviewsParams(); }
  void SetProcPreviewsParams(TPRPreviewsParams Value) { FProc->SetPreviewsParams(Value); }
  TIOPreviewsParams IOPreviewsParams() const { return FIO->PreviewsParams(); }
  void SetIOPreviewsParams(TIOPreviewsParams Value) { FIO->SetPreviewsParams(Value); }
  // Read from the I/O component; copied into both.
  TFont* PreviewFont() const { return FIO->PreviewFont(); }
  void SetPreviewFont(TFont* Value);
  bool StreamHeaders() const { return FIO->StreamHeaders(); }
  void SetStreamHeaders(bool Value) { FIO->SetStreamHeaders(Value); }
  // Whatever is asked, the picture becomes 24 bits per pixel and this reads nc24bit.
  TNColors NColors() const { return nc24bit; }
  void SetNColors(TNColors Value);

  // The I/O component's parameters: the same object on every call.
  TIOParamsVals* IOParams() const { return FIO->Params(); }
  // Copies the I/O parameters of another control or I/O component of this build; other
  // objects are ignored.
  void AssignIOParams(TObject* Source);
  // The I/O parameters (see AssignIOParams), then the picture and view state.
  void Assign(TPersistent* Source) override;

  // Through the I/O component: raises EInvalidGraphic for a file it can't read.
  void LoadFromFile(const std::string& FileName) { FIO->LoadFromFile(FileName); }

 private:
  void FreeComponents();

  TVistrelProc* FProc = nullptr;
  TVistrelIO* FIO = nullptr;
};

}  // namespace corvelo::lib
