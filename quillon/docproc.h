// Processing of a document's picture: the operations the editor's commands call, with one
// level of undo. It works on the bitmap of the view it is attached to, inside the view's
// selection when there is one.
#pragma once
#include <string>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"
#include "vistrel/proc/kernels/resample.h"
#include "vistrel/view/vistrelview.h"

namespace quillon {

class TDocProc : public TComponent {
 public:
  explicit TDocProc(TComponent* AOwner);
  ~TDocProc() override;

  TVistrelView* AttachedVistrel() const { return FView; }
  void SetAttachedVistrel(TVistrelView* View);
  TColor Background() const { return FBackground; }
  void SetBackground(TColor Value) { FBackground = Value; }
  TProgressEvent OnProgress;

  // Undo.
  void SaveUndo();
  void Undo();
  void ClearUndo();
  bool CanUndo() const { return FUndo != nullptr; }

  // Operations; without a picture they do nothing.
  void Negative();
  void ConvertToGray();
  void Flip(int Direction);
  void Rotate(int Angle, bool AntiAlias);
  void Resample(int Width, int Height, TResampleFilter Filter);
  void ResizeCanvas(int Width, int Height);
  void ClearImage();
  int CalcColorCount();
  void ReduceColors(int N);
  void ConvertToTrueColor();
  void GetHSVChannels(TBitmap* H, TBitmap* S, TBitmap* V);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TBitmap* Bmp() const;
  // The area to work on: the selection box, else the whole picture.
  void Area(int& X1, int& Y1, int& X2, int& Y2) const;
  void Done();

  TVistrelView* FView = nullptr;
  TBitmap* FUndo = nullptr;
  TColor FBackground = clWhite;
};

}  // namespace quillon
