// The form scaler: a form laid out for one screen is resized and rescaled (position, size,
// every control, fonts) by the ratio of the screen widths when it is built, and, when asked,
// again whenever the user resizes it. Grids get their rows and columns corrected.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/core/object.h"
#include "platform/gui/controls.h"

class TScalerHook;

enum THcorrection : uint8_t { CorrectAtLeft, CorrectAtRight, CorrectHCenter, DontHCorrect };
enum TVcorrection : uint8_t { CorrectAtTop, CorrectAtBottom, CorrectVCenter, DontVCorrect };
enum class TScalerLimitScaling { No, NoDownScale, NoUpScale, ScaleNever };

using TOnScale = std::function<void(TObject* Sender, bool Upwards, bool& CancelScaling)>;
using TOnGridScale = std::function<void(TObject* Sender, TComponent* Grid, bool& HasHScrollBar, bool& HasVScrollBar,
                                        bool& HasIndicator, bool& HasTitles, bool& RowLines, bool& ColLines, int& Rows,
                                        int& Columns, THcorrection& HCorrect, TVcorrection& VCorrect)>;

// The system sizes the scaler reads, by their usual indices.
constexpr int SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXVSCROLL = 2, SM_CYHSCROLL = 3, SM_CYCAPTION = 4, SM_CXBORDER = 5,
              SM_CYBORDER = 6, SM_CXDLGFRAME = 7, SM_CYDLGFRAME = 8, SM_CYMENU = 15, SM_CXFRAME = 32, SM_CYFRAME = 33;
// Answers a system size for a form. The default describes this platform: the screen's size,
// 16-pixel scroll bars, the form's own menu bar for SM_CYMENU and 0 for frames and captions,
// which the window manager draws outside the bounds a form is given.
using TScalerMetrics = std::function<int(const TForm* Form, int Index)>;
int DefaultScalerMetric(const TForm* Form, int Index);
// Tests pin the sizes; empty: the default.
void SetScalerMetrics(TScalerMetrics Metrics);
int ScalerMetric(const TForm* Form, int Index);

// What a form records about the screen and font it was laid out for.
struct TScalerDesign {
  int Xdevelop = 800, Ydevelop = 600;
  // Width of "0" and character height of the form's font; 0: not recorded (no font correction).
  int FormFontWidth = 0, FormFontHeight = 0;
  int ScrollWidth = 16, ScrollHeight = 16;
  TScalerLimitScaling LimitScale = TScalerLimitScaling::No;
  bool ScaleRuntime = false;
  bool MaximizeFullscreen = false;
};

class TCustomScaler : public TComponent {
 public:
  // The owner must be a form ("Owner does not inherit from TForm" otherwise). Records the
  // form's client size as its design size and watches the form's window.
  explicit TCustomScaler(TComponent* AOwner);
  ~TCustomScaler() override;
  void BeforeDestruction() override;

  // Sets the recorded values of a design.
  void SetDesign(const TScalerDesign& Design);
  // Scales the form to this screen; run once, after the design values are set.
  virtual void Loaded();
  // Rescales the form and its controls to the form's present width: nothing unless forced or
  // ScaleRuntime is set, or while a rescale runs.
  void Rescale(bool Force);
  // Corrects a grid's bounds for the scaling just done; a descendant may replace it.
  virtual void ScaleGrid(TControl* Grid);

  TForm* Form() const { return FForm; }
  THcorrection GridScaleWidth() const { return FGridScaleWidth; }
  void SetGridScaleWidth(THcorrection v) { FGridScaleWidth = v; }
  TVcorrection GridScaleHeight() const { return FGridScaleHeight; }
  void SetGridScaleHeight(TVcorrection v) { FGridScaleHeight = v; }
  int FormFontHeight() const { return FFormFontHeight; }
  void SetFormFontHeight(int v) { FFormFontHeight = v; }
  int FormFontWidth() const { return FFormFontWidth; }
  void SetFormFontWidth(int v) { FFormFontWidth = v; }
  int Xdevelop() const { return FXdevelop; }
  void SetXdevelop(int v) { FXdevelop = v; }
  int Ydevelop() const { return FYdevelop; }
  void SetYdevelop(int v) { FYdevelop = v; }
  int ScrollHeight() const { return FScrollHeight; }
  void SetScrollHeight(int v) { FScrollHeight = v; }
  int ScrollWidth() const { return FScrollWidth; }
  void SetScrollWidth(int v) { FScrollWidth = v; }
  int ClientHeight() const { return FClientHeight; }
  void SetClientHeight(int v) { FClientHeight = v; }
  int ClientWidth() const { return FClientWidth; }
  void SetClientWidth(int v) { FClientWidth = v; }
  TScalerLimitScaling LimitScale() const { return FLimitScale; }
  void SetLimitScale(TScalerLimitScaling v) { FLimitScale = v; }
  bool MaximizeFullscreen() const { return FMaximizeFullscreen; }
  void SetMaximizeFullscreen(bool v) { FMaximizeFullscreen = v; }
  bool ScaleRuntime() const { return FScaleRuntime; }
  void SetScaleRuntime(bool v) { FScaleRuntime = v; }
  // The screen width the form was last scaled for, and the outer size that scaling gave.
  int TargetWidth() const { return FTargetWidth; }
  int FullWidth() const { return FFullWidth; }
  int FullHeight() const { return FFullHeight; }
  int BorderWidth() const { return FBorderWidth; }
  int BorderHeight() const { return FBorderHeight; }
  // (old size / new size) - 1 of the last scaling.
  double InverseFactorMinusOne() const { return double(FInvFactorMinusOne); }

  TOnScale OnScale;

  // The form's window events, as the platform hook delivers them (tests may call them).
  // A size change: Maximized says whether the form is maximised now.
  void SizeMessage(bool Maximized);
  // The end of a user's move or resize.
  void ExitSizeMove();
  // Stands in for the end of a drag: restarted by each size change the user makes, it ends
  // the drag when the sizes stop coming.
  TTimer* SizeMoveTimer() const { return FSizeMoveTimer; }
  static constexpr unsigned kSizeMoveDelay = 300;

 protected:
  TOnGridScale OnGridScale;

 private:
  friend class TScalerHook;
  void ComputeBorders();
  void ReadTextMetrics();
  void Request();
  void CorrectComponents(TComponent* Parent);
  void UserSized();

  TForm* FForm = nullptr;
  THcorrection FGridScaleWidth = CorrectAtRight;
  TVcorrection FGridScaleHeight = CorrectAtBottom;
  int FFullWidth = 0, FFullHeight = 0;
  int FBorderWidth = 0, FBorderHeight = 0;
  int FFormFontHeight = 0, FFormFontWidth = 0;
  int FXdevelop = 0, FYdevelop = 0;
  int FScrollHeight = 0, FScrollWidth = 0;
  int FClientHeight = 0, FClientWidth = 0;
  TScalerLimitScaling FLimitScale = TScalerLimitScaling::No;
  bool FMaximizeFullscreen = false;
  bool FWasMaximized = false;
  bool FScaleRuntime = false;
  bool FRescaling = false;
  long double FInvFactorMinusOne = 0;
  int FTargetWidth = 0;
  // Text metrics of the form's font: character height and the width of "0".
  int FTextHeight = 0, FZeroWidth = 0;
  TScalerHook* FHook = nullptr;
  TTimer* FSizeMoveTimer = nullptr;
};

class TScaler : public TCustomScaler {
 public:
  using TCustomScaler::OnGridScale;
  using TCustomScaler::TCustomScaler;
  // Puts a scaler on a form built for Design and scales the form now: the last line of the
  // form's constructor, after its controls.
  static TScaler* Attach(TForm* Form, const TScalerDesign& Design = {});
};
