// The all-in-one image control: a single-image view that owns a processing component and an
// I/O component, both attached to itself. It only forwards; the behaviour is theirs.
#pragma once
#include <string>

#include "vistrel/io/vistrelio.h"
#include "vistrel/proc/vistrelproc.h"
#include "vistrel/view/vistrelview.h"

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
  TVLPreviewEvent OnPreview() const { return FProc->OnPreview; }
  void SetOnPreview(const TVLPreviewEvent& Value) { FProc->OnPreview = Value; }
  TVLIOPreviewEvent OnIOPreview() const { return FIO->OnIOPreview; }
  void SetOnIOPreview(const TVLIOPreviewEvent& Value) { FIO->OnIOPreview = Value; }

  // Undo and geometry of the processing component.
  virtual void SaveUndo() { FProc->SaveUndo(); }
  virtual void Undo() { FProc->Undo(); }
  void Rotate(int Angle, bool AntiAlias) { FProc->Rotate(Angle, AntiAlias); }
  void Flip(uint8_t Direction) { FProc->Flip(Direction); }
  void FtRestore(TVLFtImage* Image) { FProc->FtRestore(Image); }

  // The I/O component's parameters: the same object on every call.
  TIOParamsVals* IOParams() const { return FIO->Params(); }
  // Copies the I/O parameters of another composite view or an I/O component; other objects
  // are ignored.
  void AssignIOParams(TObject* Source);
  // The I/O parameters (see AssignIOParams), then the picture and view state.
  void Assign(TPersistent* Source) override;

  // Loading and saving through the I/O component; failures set its Aborting flag.
  virtual void LoadFromFile(const std::string& FileName) { FIO->LoadFromFile(FileName); }
  virtual void SaveToFile(const std::string& FileName) { FIO->SaveToFile(FileName); }
  virtual void ParamsFromFile(const std::string& FileName) { FIO->ParamsFromFile(FileName); }
  virtual void ParamsFromStream(TStream* Stream) { FIO->ParamsFromStream(Stream); }

 private:
  void FreeComponents();

  TVistrelProc* FProc = nullptr;
  TVistrelIO* FIO = nullptr;
};
