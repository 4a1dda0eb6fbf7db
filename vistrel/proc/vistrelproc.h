// The processing component: runs image operations in place on the bitmap of an attached
// view, image control or bare bitmap, on the view's selection (rectangle or polygon) or the
// whole picture, with progress, one level of undo and a refresh of whatever shows it.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/core/core.h"
#include "vistrel/base/progress.h"
#include "vistrel/proc/kernels/color.h"
#include "vistrel/proc/kernels/resample.h"
#include "vistrel/view/language.h"

class TVLView;
class TImage;
class TVLFtImage;
class TFont;

enum TPRPreviewsParam : uint8_t { prppDefaultLockPreview = 1 };
using TPRPreviewsParams = uint8_t;  // a set of TPRPreviewsParam bits

// Sender and the preview form, before the form is shown.
using TVLPreviewEvent = std::function<void(TObject* Sender, TObject* Form)>;

class TVistrelProc : public TComponent {
 public:
  explicit TVistrelProc(TComponent* AOwner);
  ~TVistrelProc() override;
  void BeforeDestruction() override;

  // Attachment: one of the three at a time.
  TVLView* AttachedVistrel() const { return FAttachedVistrel; }
  void SetAttachedVistrel(TVLView* View);
  TImage* AttachedTImage() const { return FAttachedTImage; }
  void SetAttachedTImage(TImage* Image);
  TBitmap* AttachedBitmap() const { return FBitmap; }
  void SetAttachedBitmap(TBitmap* Bitmap);
  // Registered with the attached view: fetches its bitmap again.
  void BitmapChanged(TObject* Sender);

  bool AutoUndo() const { return FAutoUndo; }
  void SetAutoUndo(bool Value) { FAutoUndo = Value; }
  TColor Background() const;
  void SetBackground(TColor Value);
  TMsgLanguage MsgLanguage() const { return FMsgLanguage; }
  void SetMsgLanguage(TMsgLanguage Value) { FMsgLanguage = Value; }
  TPRPreviewsParams PreviewsParams() const { return FPreviewsParams; }
  void SetPreviewsParams(TPRPreviewsParams Value) { FPreviewsParams = Value; }
  TFont* PreviewFont() const { return FPreviewFont; }
  // Copies the font.
  void SetPreviewFont(TFont* Font);

  TProgressEvent OnProgress;
  TVLPreviewEvent OnPreview;

  // Undo: one saved state.
  virtual void SaveUndo();
  virtual void Undo();
  void ClearUndo();
  bool CanUndo() const;
  TBitmap* UndoBitmap() const { return FUndo; }

  // The area operations work on: the selection of an attached single-image view (its
  // inclusive box and its vertices), else the component's own rectangle. True when there
  // is one; else the whole bitmap and false. The box may reach outside the picture.
  bool GetSelectionArea(int& X1, int& Y1, int& X2, int& Y2, const TPoint*& Points, int& PointCount);
  // Repaints the view (and fires its image change), or flags the bitmap as changed.
  void RefreshTarget();

  // Clipboard and hidden text (defined in cliptransfer.cpp). The copies put the picture or
  // the area (its box; a polygon's part of it) on the clipboard as a packed DIB; a cut clears
  // the selection only once it is there. A paste changes the picture, and takes the undo
  // copy, only when the clipboard holds a picture that reads.
  void CopyToClipboard();
  void CopySelectionToClipboard();
  void CutSelectionToClipboard();
  void ClearImage();
  void PasteFromClipboard();
  // The clipboard's picture stretched into the selection's box; without one as
  // PasteFromClipboard.
  void PasteToSelection();
  // Data bytes the pf24bit picture can hide; 0 for other formats.
  int GetHiddenTextSpace();
  // Hides Length bytes and returns Length; 0, with nothing changed, for other formats, for
  // data longer than GetHiddenTextSpace and on a picture too small for the header.
  int WriteHiddenText(const void* Data, int Length);
  // Copies up to MaxLength hidden bytes into Data; returns the stored length (0 when the
  // picture holds none that fits it).
  int ReadHiddenText(void* Data, int MaxLength);

  // Geometry, on the whole picture.
  void ResizeCanvas(int Width, int Height);
  void Resample(int Width, int Height, TResampleFilter Filter);
  void Rotate(int Angle, bool AntiAlias);
  void Flip(uint8_t Direction);

  // Colour and tone: on the area.
  void ConvertToGray();
  void Negative();
  // Graphic stretched over the area and blended; Percent is the share the picture keeps.
  void Merge(TBitmap* Graphic, int Percent);
  void GetHistogram(TVLHistogram& Histogram);
  int CalcColorCount();
  // On the whole picture.
  void ReduceColors(int N);
  // Palette has room for N entries.
  void ReduceColorsToPalette(int N, TRGB* Palette);
  void ConvertToBWOrdered();
  void ConvertToBWThreshold(int Threshold);
  void ConvertToTrueColor();
  void GetHSVChannels(TBitmap* H, TBitmap* S, TBitmap* V);

  // Effects: opens the preview dialog on the area with the given pages (the page-set bits
  // of TfPreviews); true when its result was taken. False without showing it for a picture
  // that is not pf24bit or is narrower or lower than 2 pixels.
  bool DoPreviews(uint16_t Pages);
  // Fourier images: the spectrum, or the inverse transform, into the bitmap.
  void FtShowSpectrum(TVLFtImage* Image);
  void FtRestore(TVLFtImage* Image);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  // The area cut to the picture; false when nothing of it lies inside.
  struct TArea {
    int X1 = 0, Y1 = 0, X2 = -1, Y2 = -1;
    const TPoint* Points = nullptr;
    int Count = 0;
    bool Polygon = false;
  };
  bool GetArea(TArea& Area);
  // Runs Kernel on the area: directly on a rectangle, or on a copy of a polygon's box
  // drawn back through the polygon.
  void ApplyToArea(const TArea& Area, const std::function<void(TBitmap*, int, int, int, int)>& Kernel);
  // Steps 1-2 of a changing operation: false (nothing done) without a bitmap or in a format
  // not handled; else the undo copy is taken when AutoUndo is set.
  bool Begin(bool Handled);
  bool Has(TPixelFormat pf) {
    SyncImage();
    return FBitmap && FBitmap->PixelFormat() == pf;
  }
  // An image control may drop or replace its picture's bitmap: take the one it holds now.
  void SyncImage();
  void RemoveViewCallback();
  void DropFreeNotifications();

  bool FAutoUndo = true;
  TVLView* FAttachedVistrel = nullptr;
  int FAreaX1 = -1, FAreaY1 = -1, FAreaX2 = -1, FAreaY2 = -1;
  TColor FBackground = 0;
  TMsgLanguage FMsgLanguage = msSystem;
  TPRPreviewsParams FPreviewsParams = 0;
  TFont* FPreviewFont = nullptr;
  TImage* FAttachedTImage = nullptr;
  TBitmap* FUndo = nullptr;
  TBitmap* FBitmap = nullptr;
};
