// A colour picker: a square with saturation left to right and value bottom to top for the
// current hue, and a vertical hue bar at its right. Dragging in either picks; the control
// keeps hue, saturation, value, the red, green and blue bytes and the colour.
#pragma once
#include <cstdint>

#include "platform/core/bitmap.h"
#include "platform/gui/controls.h"

class THSVBox : public TCustomControl {
 public:
  explicit THSVBox(TComponent* AOwner);
  ~THSVBox() override;

  // Hue 0..359, saturation and value 0..99; the setters clamp and fire no OnChange.
  int Hue() const { return FHue; }
  void SetHue(int Value);
  int Sat() const { return FSat; }
  void SetSat(int Value);
  int Val() const { return FVal; }
  void SetVal(int Value);
  Byte Red() const { return FRed; }
  Byte Green() const { return FGreen; }
  Byte Blue() const { return FBlue; }
  // The picked colour (not the control's own colour).
  TColor Color() const { return FColor; }
  // Picks Value (system colours resolved); no OnChange.
  void SetColor(TColor Value) override;
  void SetRGB(Byte R, Byte G, Byte B);
  TColor Background() const { return FBackground; }
  void SetBackground(TColor Value);
  // The whole control's image: square, gap, hue bar and indicators.
  TBitmap* Picture() { return &FPicture; }

  // Fired when the user picks.
  TNotifyEvent OnChange;

  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Resize() override;

 protected:
  void Paint() override;

 private:
  // Width of the square and height of the picture.
  int SquareWidth() const { return FPicture.Width() - kBarWidth - kGap; }
  void DrawSVSquare();
  void DrawHueBar();
  // Drawn with an inverting pen: a second call erases them.
  void DrawIndicators();
  void PickAt(int X, int Y);
  void ColorFromHSV();
  void RedrawAll();

  static constexpr int kBarWidth = 20;
  static constexpr int kGap = 5;

  int FHue = 0, FSat = 0, FVal = 0;
  Byte FRed = 0, FGreen = 0, FBlue = 0;
  TBitmap FPicture;
  TColor FBackground = clBtnFace;
  int FDragMode = 0;  // 0 none, 1 in the square, 2 in the hue bar
  TColor FColor = 0;
};
