// Small routines and classes the views, the processing component, the codecs and the
// library's dialogs share: bit reversal, hit tests, line snapping, a counting stream, the
// measuring hint and the palette swatch dialog.
#pragma once
#include <cstdint>
#include <string>

#include "platform/core/stream.h"
#include "platform/core/types.h"
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"  // TButton: the palette dialog hands out its Cancel button

class QWidget;

// Bits.
void VLReverseBits32(uint32_t& Value);
void VLReverseBits8(uint8_t& Value);
int VLFloor(long double X);

// Geometry (edges included).
bool VLPointInRect(int X, int Y, int X1, int Y1, int X2, int Y2);
int VLRectsOverlap(int AX1, int AY1, int AX2, int AY2, int BX1, int BY1, int BX2, int BY2);
int VLRectVisibility(int AX1, int AY1, int AX2, int AY2, int BX1, int BY1, int BX2, int BY2);
double VLPointLineDistance(int PX, int PY, int X1, int Y1, int X2, int Y2);
double VLPointSegmentDistance(int PX, int PY, int X1, int Y1, int X2, int Y2);
bool VLIsRectPolygon(const TPoint* Points, int Count);
void VLSnapLine(int RefX, int RefY, int& X, int& Y);
void VLSetScrollPage(TWinControl* Window, int Bar, int Page, bool Redraw);

// A real in the class library's fixed format (FloatToStrF, ffFixed): rounded to Precision
// significant digits, Digits decimals, the locale's decimal separator; the exponent form when
// the integer part has more than Precision digits.
std::string VLFloatToStrF(long double Value, int Precision, int Digits);

// System.
// Size of a file in bytes; -1 when it cannot be opened.
int64_t VLFileSize(const std::string& FileName);
// The window of the first windowed control among the component and its owners; null when none.
QWidget* VLOwnerWindow(TComponent* Component);

// A stream that stores nothing and only counts.
class TNulStream : public TStream {
 public:
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, int Origin) override;
  int64_t Size() override { return FSize; }

 private:
  int64_t FPosition = 0;
  int64_t FSize = 0;
};

// A pale yellow popup with one line of text; the mouse passes through it.
class TVLHint : public TCustomControl {
 public:
  explicit TVLHint(TComponent* AOwner);
  ~TVLHint() override;
  const std::string& Text() const override { return FHintText; }
  void SetText(const std::string& Text) override;
  void SetVisible(bool v) override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;

 private:
  std::string FHintText;
  TFont FHintFont;
};

// Shows up to 256 swatches of a palette, 32 to a row; a click chooses one.
class TVistrelPaletteDialog : public TForm {
 public:
  explicit TVistrelPaletteDialog(TComponent* AOwner);
  // Blue, green, red triples; the dialog keeps the pointer.
  void SetPalette(const uint8_t* Palette, int Count);
  bool Execute();
  TColor SelectedColor() const { return FSelectedColor; }
  int HighlightedIndex() const { return FHighlighted; }
  TButton* CancelButton() const { return FCancel; }

  // The form's handlers (the mouse arrives at the form's client area).
  void FormPaint(TObject* Sender);
  void FormMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
  void FormClick(TObject* Sender);

 private:
  void DrawSwatches();
  const uint8_t* FPalette = nullptr;
  int FCount = 0;
  int FHighlighted = -1;
  TColor FSelectedColor = clBlack;
  TButton* FCancel = nullptr;
};
