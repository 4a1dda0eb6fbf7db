// The histogram of the picture of an attached processing component: 256 bins of red,
// green, blue and gray, as bars or lines, with optional value labels and a colour bar
// along the bottom. Drawn off screen by Update and whenever a setting changes.
#pragma once
#include <cstdint>

#include "platform/core/bitmap.h"
#include "platform/gui/controls.h"

class TVistrelProc;

enum THistogramKindItem : uint8_t { hkRed = 1, hkGreen = 2, hkBlue = 4, hkGray = 8 };
using THistogramKind = uint8_t;  // a set of THistogramKindItem bits
enum THistogramLabel : uint8_t { hlVertical = 1, hlHorizontal = 2 };
using THistogramLabels = uint8_t;  // a set of THistogramLabel bits
enum THistogramStyle { hsBars, hsLines };

class THistogramBox : public TCustomControl {
 public:
  explicit THistogramBox(TComponent* AOwner);
  ~THistogramBox() override;

  TVistrelProc* AttachedVistrelProc() const { return FAttachedVistrelProc; }
  // Does not redraw; call Update.
  void SetAttachedVistrelProc(TVistrelProc* Value);
  TColor Background() const { return FBackground; }
  void SetBackground(TColor Value);
  THistogramKind HistogramKind() const { return FHistogramKind; }
  void SetHistogramKind(THistogramKind Value);
  THistogramLabels Labels() const { return FLabels; }
  void SetLabels(THistogramLabels Value);
  bool CompBar() const { return FCompBar; }
  void SetCompBar(bool Value);
  THistogramStyle HistogramStyle() const { return FHistogramStyle; }
  void SetHistogramStyle(THistogramStyle Value);
  // Where bin 0 is drawn, in the parent's coordinates (set by each drawing).
  int HistogramXPos() const { return FHistogramXPos; }
  // The drawn histogram.
  TBitmap* Picture() { return &FPicture; }

  // Draws the histogram, then invalidates.
  void Update() override;
  void Resize() override;

 protected:
  void Paint() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void DrawHistogram();

  TBitmap FPicture;
  TColor FBackground = clWhite;
  TVistrelProc* FAttachedVistrelProc = nullptr;
  THistogramKind FHistogramKind = hkGray;
  THistogramLabels FLabels = hlVertical | hlHorizontal;
  bool FCompBar = true;
  THistogramStyle FHistogramStyle = hsBars;
  int FHistogramXPos = 0;
};
