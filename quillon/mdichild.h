// The document window: one picture in a vector object view, with the processing and I/O
// components attached to it.
#pragma once
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "vistrel/proc/vistrelproc.h"
#include "vistrel/io/vistrelio.h"
#include "vistrel/view/vistrelvect.h"

namespace quillon {

class TMDIChild : public TForm {
 public:
  explicit TMDIChild(TComponent* AOwner);
  ~TMDIChild() override;

  TVistrelView* VistrelView1;
  TVistrelVect* VistrelVect1;
  TImage* Image1;
  TVistrelProc* VistrelProc1;
  TVistrelIO* VistrelIO1;

  // True once the picture changed since it was created, loaded or saved.
  bool Modified = false;
  // The caption names a file this document was loaded from or saved to.
  bool HasFile = false;

  // Shrinks the window, frame and all, to the frame's workspace when it is larger, and moves
  // it back inside.
  void FitInWorkspace();
  // The window as large as its picture, within the workspace; the first time at the place
  // the window was given when it was made.
  void FitToPicture();

  void FormClose(TObject* Sender, TCloseAction& Action);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void Vistrel1ImageChange(TObject* Sender);
  void Vistrel1Progress(TObject* Sender, int Value);
  void VistrelVect1MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void VistrelVect1MouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
  void VistrelVect1MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
 private:
  // Where the window was placed before the design size pushed it into the workspace's corner.
  int FPlaceLeft = 0, FPlaceTop = 0, FFitLeft = 0, FFitTop = 0;
  bool FPlacePending = false;
};

// Mouse state shared by every document window.
struct TChildMouse {
  bool Pressed = false;
  int PressX = 0, PressY = 0;
  int LastX = 0, LastY = 0;
};
TChildMouse& ChildMouse();

}  // namespace quillon
