// A linear scale (ticks and labels over a range of real values) with any number of grips
// that the user drags, each at a real position with its own colour, shape and limits.
// Drawn off screen whenever a setting changes, and copied to the screen.
#pragma once
#include <functional>
#include <vector>

#include "platform/core/bitmap.h"
#include "platform/gui/controls.h"

class TTimer;

// gdUp: grips below a ruler band at the top (left) pointing up at it; gdDown: grips above a
// band at the bottom (right).
enum TGripsDir { gdUp, gdDown };
enum TRulerDir { rdHorizontal, rdVertical };

using TRulerPosChangeEvent = std::function<void(TObject* Sender, int Grip)>;
using TRulerGripClickEvent = std::function<void(TObject* Sender, int Grip)>;
using TRulerGripDblClickEvent = std::function<void(TObject* Sender, int Grip)>;
using TRulerClickEvent = std::function<void(TObject* Sender, double Value)>;

class TRulerBox : public TCustomControl {
 public:
  explicit TRulerBox(TComponent* AOwner);
  ~TRulerBox() override;

  // The grip area's colour.
  TColor Background() const { return FBackground; }
  void SetBackground(TColor Value);
  // Width of a grip's base in pixels.
  int GripBaseDim() const { return FGripBaseDim; }
  void SetGripBaseDim(int Value);
  TGripsDir GripsDir() const { return FGripsDir; }
  void SetGripsDir(TGripsDir Value);
  // Draw the ruler band.
  bool Ruler() const { return FRuler; }
  void SetRuler(bool Value);
  // The value at the left (top) edge; kept within the view range.
  double ViewPos() const { return FViewPos; }
  void SetViewPos(double Value);
  double DotPerUnit() const { return FDotPerUnit; }
  void SetDotPerUnit(double Value);
  // Units between ticks and between labels.
  double Frequency() const { return FFrequency; }
  void SetFrequency(double Value);
  double LabelFreq() const { return FLabelFreq; }
  void SetLabelFreq(double Value);
  TColor RulerColor() const { return FRulerColor; }
  void SetRulerColor(TColor Value);
  TRulerDir RulerDir() const { return FRulerDir; }
  void SetRulerDir(TRulerDir Value);
  // The scrollable range; not limited while ViewMin is not below ViewMax. Setting either
  // resets every grip's limits to the range.
  double ViewMin() const { return FViewMin; }
  void SetViewMin(double Value);
  double ViewMax() const { return FViewMax; }
  void SetViewMax(double Value);
  // DotPerUnit follows the length so that ViewMin..ViewMax fills it.
  bool FitInView() const { return FFitInView; }
  void SetFitInView(bool Value);
  bool HexLabels() const { return FHexLabels; }
  void SetHexLabels(bool Value);

  int GripsCount() const { return int(FGrips.size()); }
  // New grips stand at 0 in the background colour, shape 0, limited to the view range.
  void SetGripsCount(int Value);
  // Out-of-range indices: the setters do nothing, the getters give 0.
  void SetGripPos(int Index, double Value);
  double GetGripPos(int Index) const;
  void SetGripColor(int Index, TColor Value);
  TColor GetGripColor(int Index) const;
  // The low 7 bits pick the shape (0..4).
  void SetGripKind(int Index, Byte Value);
  Byte GetGripKind(int Index) const;

  TRulerPosChangeEvent OnRulerPosChange;
  TRulerGripClickEvent OnRulerGripClick;
  TRulerGripDblClickEvent OnRulerGripDblClick;
  TRulerClickEvent OnRulerClick;

  // Draws the scale and the grips off screen, then invalidates.
  void Update() override;
  // The drawn picture (client size).
  TBitmap* Picture() { return &FBitmap; }

  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Resize() override;

 protected:
  void Paint() override;
  void ApplyFont() override;

 private:
  struct TGrip {
    double Pos = 0;
    TColor Color = clBtnFace;
    Byte Kind = 0;
    double Lower = 0, Upper = 0;
  };
  // Thickness of the ruler band.
  int BandThickness();
  // Length along the scale: the width, or the height of a vertical ruler.
  int ScaleLength() const;
  // Pixel of a value along the scale.
  int PixelOf(double Value) const;
  int GripPixel(int Index) const;
  std::vector<TPoint> GripPoints(int Index, int Band) const;
  int GripAt(int X, int Y);
  void HoldGrip(int Index);
  void LimitView();
  void DrawScale(int Band, double Step, bool Labels);
  std::string LabelText(long double Value) const;
  // One step of scrolling while a grip is dragged past an edge (Dir -1 left, +1 right).
  void EdgeStep(int Dir);
  void ScrollTimer(TObject* Sender);
  void Redraw();

  TBitmap FBitmap;
  TColor FBackground = clBtnFace;
  std::vector<TGrip> FGrips;
  int FGripBaseDim = 12;
  int FDragged = -1;
  int FGrabOffset = 0;
  TPoint FDownPoint{};
  TGripsDir FGripsDir = gdUp;
  bool FRuler = true;
  double FViewPos = 0;
  double FDotPerUnit = 1.0;
  double FFrequency = 10.0;
  double FLabelFreq = 40.0;
  TColor FRulerColor = clBtnFace;
  TRulerDir FRulerDir = rdHorizontal;
  double FViewMin = 0, FViewMax = 0;
  bool FFitInView = false;
  bool FHexLabels = false;
  // Scrolling past an edge: the last mouse point along the scale, and the timer that steps.
  int FLastMouse = 0;
  TTimer* FScrollTimer = nullptr;
  bool FBuilt = false;
};
