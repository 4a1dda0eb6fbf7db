// The viewer build's processing component: attachment, background, progress, language, preview
// settings and one level of undo over the editor's component, without the preview event.
#pragma once
#include "corvelo/library/msglanguage.h"
#include "vistrel/proc/vistrelproc.h"

namespace corvelo::lib {

class TVistrelProc : public ::TVistrelProc {
 public:
  explicit TVistrelProc(TComponent* AOwner) : ::TVistrelProc(AOwner) {}

  TMsgLanguage MsgLanguage() const { return FMsgLanguage; }
  void SetMsgLanguage(TMsgLanguage Value) { FMsgLanguage = Value; }

  // The undo copy is cleared first, with or without a bitmap; a picture of at least 1 x 1 is
  // then copied whole. Undo (inherited) restores only a copy of at least 2 x 2.
  void SaveUndo() override;
  // Refreshes the attached view, or flags the bare bitmap as changed.
  void Update() { RefreshTarget(); }

 private:
  using ::TVistrelProc::OnPreview;

  TMsgLanguage FMsgLanguage = msEnglish;
};

// The 1-bit to 24-bit expansion through the shared table (bit set: white). Progress after row
// n of Height: trunc(100 / (Height + 0.5) x n). The other bitmap, integer and colour helpers
// this build carries are the shared ones of vistrel/proc/kernels/pixels.h.
void VLExpand1BitTo24Bit(TBitmap* Source, TBitmap* Dest, const TProgressEvent& OnProgress = nullptr,
                         TObject* Sender = nullptr);

}  // namespace corvelo::lib
