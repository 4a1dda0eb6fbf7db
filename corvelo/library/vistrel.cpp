#include "corvelo/library/vistrel.h"

namespace corvelo::lib {

TVistrel::TVistrel(TComponent* AOwner) : TVistrelView(AOwner) {
  FProc = new TVistrelProc(this);
  FProc->SetAttachedVistrel(this);
  FProc->SetAutoUndo(true);
  FIO = new TVistrelIO(this);
  FIO->SetAttachedVistrel(this);
}

TVistrel::~TVistrel() { FreeComponents(); }

void TVistrel::BeforeDestruction() {
  // Each component takes its callback out of the registry before the view says it is going.
  FreeComponents();
  TVistrelView::BeforeDestruction();
}

void TVistrel::FreeComponents() {
  FreeAndNil(FProc);
  FreeAndNil(FIO);
}

void TVistrel::SetOnProgress(const TProgressEvent& Value) {
  FProc->OnProgress = Value;
  FIO->OnProgress = Value;
}

void TVistrel::SetMsgLanguage(TMsgLanguage Value) {
  FProc->SetMsgLanguage(Value);
  FIO->SetMsgLanguage(Value);
}

void TVistrel::SetPreviewFont(TFont* Value) {
  FIO->SetPreviewFont(Value);
  FProc->SetPreviewFont(Value);
}

void TVistrel::SetNColors(TNColors) {
  if (Bitmap()) Bitmap()->SetPixelFormat(pf24bit);
}

void TVistrel::AssignIOParams(TObject* Source) {
  if (auto* v = dynamic_cast<TVistrel*>(Source)) FIO->AssignParams(v->IOParams());
  else if (auto* io = dynamic_cast<TVistrelIO*>(Source)) FIO->AssignParams(io->Params());
}

void TVistrel::Assign(TPersistent* Source) {
  AssignIOParams(Source);
  TVistrelView::Assign(Source);
}

}  // namespace corvelo::lib
