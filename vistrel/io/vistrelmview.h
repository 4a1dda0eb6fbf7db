// The multi-image view: a scrolling control that holds a list of pictures, shows them as a
// grid of thumbnail cells or one at a time, and plays them as an animation by timer. Pictures
// are kept as packed DIBs; only the selected one is expanded into a bitmap (its current
// bitmap). Attached components hear through the bitmap-change registry whenever the items or
// the current bitmap change.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/canvas.h"
#include "platform/gui/controls.h"
#include "vistrel/codecs/ioparams.h"
#include "vistrel/view/vistrelview.h"
#include "vistrel/view/vlview.h"

class TVistrelIO;

enum TVLStoreType : uint8_t { vltNormal, vltThumb };
enum TVLMDisplayMode : uint8_t { mdGrid, mdSingle };

enum TVLMMouseInteractItem : uint8_t { mmiScroll = 1, mmiSelect = 2 };
using TVLMMouseInteract = uint8_t;  // a set of TVLMMouseInteractItem bits
enum TVLMKeyInteractItem : uint8_t { mkiMoveSelected = 1 };
using TVLMKeyInteract = uint8_t;  // a set of TVLMKeyInteractItem bits

// Sender, percentage of the items painted, index of the item about to be painted.
using TVLMProgressEvent = std::function<void(TObject* Sender, int Percent, int Index)>;
// Sender, image ID; the handler sets Bitmap (it keeps the bitmap).
using TVLImageIDRequestEvent = std::function<void(TObject* Sender, int ID, TBitmap*& Bitmap)>;
// Sender, item, top-left of its cell in client pixels, the canvas being painted.
using TVLImageDrawEvent = std::function<void(TObject* Sender, int Index, int Left, int Top, TCanvas* Canvas)>;
using TVLImageSelectEvent = std::function<void(TObject* Sender, int Index)>;

// Kinds of MoveSelection, as the keys give them.
enum TVLMMoveKind : int {
  mmkLeft = 0,
  mmkRight = 1,
  mmkUp = 2,
  mmkDown = 3,
  mmkHome = 4,
  mmkEnd = 5,
  mmkPageDown = 6,
  mmkPageUp = 7
};

class TVistrelMView : public TVLView {
 public:
  explicit TVistrelMView(TComponent* AOwner);
  ~TVistrelMView() override;

  // Does nothing.
  void Assign(TPersistent* Source) override;
  // The selected item's bitmap; nil when nothing is selected or the item has no picture.
  TBitmap* GetBitmap() override;
  void SetBackground(TColor Value) override;

  // ---- Items ----
  int ImageCount() const { return int(FItems.size()); }
  // Stops playback; a new empty item at Index (appended when Index is past the last), which
  // becomes the selected one.
  void InsertImage(int Index);
  // Stops playback and removes the item; the selection stays on the same picture, or moves
  // to the new last item when the selected last one went.
  void DeleteImage(int Index);
  void Clear();
  // Stores a copy of Bitmap (reduced to the cell with vltThumb); the caller keeps Bitmap.
  void SetImage(int Index, TBitmap* Bitmap);
  void SetImageBackground(int Index, TColor Color);
  TColor ImageBackground(int Index) const;
  // Milliseconds the item stays on screen during playback (no repaint).
  void SetImageDelayTime(int Index, int Milliseconds);
  int ImageDelayTime(int Index) const;
  // Sources an item without picture is loaded from when it must be shown: an ID handed to
  // OnImageIDRequest (-1: none), or a file read with the view's own I/O component.
  void SetImageID(int Index, int ID);
  int ImageID(int Index) const;
  void SetImageFileName(int Index, const std::string& FileName);
  std::string ImageFileName(int Index) const;
  // The item holds a picture (packed or expanded).
  bool HasImage(int Index) const;
  // Cell of an item as the last layout placed it: content pixels, grid row and column.
  int64_t ImageX(int Index) const;
  int64_t ImageY(int Index) const;
  int ImageRow(int Index) const;
  int ImageCol(int Index) const;

  // Kind of the last insertion or deletion (0 none, 1 inserted, 2 deleted), cleared by reading.
  int LastChange();
  int LastChangeIndex() const { return FLastChangeIndex; }

  // ---- Selection ----
  int SelectedImage() const { return FSelected; }
  // Ignored while playing; fires OnImageSelect with the selected index.
  void SelectImage(int Index);
  void Deselect();
  // Item whose cell holds the client point; -1 when none.
  int ImageAtPos(int X, int Y) const;
  // Keyboard navigation by TVLMMoveKind.
  void MoveSelection(int Kind);

  // ---- Playback ----
  bool Playing() const { return FPlaying; }
  void SetPlaying(bool On);
  // Index of the frame the next playback step shows.
  int CurrentFrame() const { return FCurrentFrame; }
  // The playback timer (its interval is the delay of the frame on show).
  TTimer* PlayTimer() const { return FTimer; }

  // ---- Geometry ----
  int64_t ViewX() const { return FViewX; }
  int64_t ViewY() const { return FViewY; }
  void SetViewX(int64_t X);
  void SetViewY(int64_t Y);
  void SetViewXY(int64_t X, int64_t Y);
  int64_t ContentWidth() const { return FContentWidth; }
  int64_t ContentHeight() const { return FContentHeight; }
  int64_t MaxViewX() const { return FMaxViewX; }
  int64_t MaxViewY() const { return FMaxViewY; }
  // Columns of the grid: GridWidth, or as many as fit when it is -1.
  int64_t Columns() const;

  // ---- Properties ----
  TScrollStyle ScrollBars() const { return FScrollBars; }
  virtual void SetScrollBars(TScrollStyle Value);
  TVLStoreType StoreType() const { return FStoreType; }
  void SetStoreType(TVLStoreType Value) { FStoreType = Value; }
  int ThumbWidth() const { return FThumbWidth; }
  void SetThumbWidth(int Value);
  int ThumbHeight() const { return FThumbHeight; }
  void SetThumbHeight(int Value);
  int HorizBorder() const { return FHorizBorder; }
  void SetHorizBorder(int Value);
  int VertBorder() const { return FVertBorder; }
  void SetVertBorder(int Value);
  int BottomGap() const { return FBottomGap; }
  void SetBottomGap(int Value);
  int UpperGap() const { return FUpperGap; }
  void SetUpperGap(int Value);
  // While playing, the value waits for the end of playback.
  TVLMDisplayMode DisplayMode() const { return FDisplayMode; }
  void SetDisplayMode(TVLMDisplayMode Value);
  int GridWidth() const { return FGridWidth; }
  void SetGridWidth(int Value);
  bool VisibleSelection() const { return FVisibleSelection; }
  void SetVisibleSelection(bool Value);
  int SelectionWidth() const { return FSelectionWidth; }
  void SetSelectionWidth(int Value);
  TColor SelectionColor() const { return FSelectionColor; }
  void SetSelectionColor(TColor Value);
  TVLMMouseInteract MouseInteract() const { return FMouseInteract; }
  virtual void SetMouseInteract(TVLMMouseInteract Value) { FMouseInteract = Value; }
  // Stored only: the keys move the selection whatever it holds.
  TVLMKeyInteract KeyInteract() const { return FKeyInteract; }
  virtual void SetKeyInteract(TVLMKeyInteract Value) { FKeyInteract = Value; }

  TViewChangeEvent OnViewChange;
  TVLMProgressEvent OnDrawProgress;
  TVLImageIDRequestEvent OnImageIDRequest;
  TVLImageDrawEvent OnImageDraw;
  TProgressEvent OnIOProgress;
  TVLImageSelectEvent OnImageSelect;

  // ---- Painting and window events ----
  void Update() override;
  // Update waits until the matching EndUpdate, which runs it once: items inserted in between
  // are laid out together, not each time.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  void Paint() override;
  virtual void PaintTo(TCanvas* Canvas);
  void Resize() override;
  void WMHScroll(int code, int pos) override;
  void WMVScroll(int code, int pos) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void DoEnter() override;
  void DoExit() override;

 protected:
  virtual void DoViewChange(int Change);

 private:
  struct TItem {
    std::vector<uint8_t> DIB;         // packed DIB; empty while locked or without picture
    std::unique_ptr<TBitmap> Bitmap;  // the expanded picture while locked
    int LockCount = 0;
    int64_t X = 0, Y = 0;
    int Row = 0, Col = 0;
    TColor Background = clBtnFace;
    std::string FileName;
    int ImageID = -1;
    int DelayTime = 0;
  };

  bool Valid(int Index) const { return Index >= 0 && Index < int(FItems.size()); }
  // The picture of an item from Bitmap, reduced for vltThumb.
  void StorePicture(int Index, TBitmap* Bitmap);
  TBitmap* Lock(int Index);
  void Unlock(int Index);
  void Select(int Index);
  void LoadOnDemand(int Index);
  void Layout();
  // Steps through the registry; the current bitmap is noted as told.
  void CallRegistry();
  // Calls the registry when the current bitmap object is not the one last told.
  void NotifyBitmapChange();
  void PlayStep();
  void ScrollMessage(bool Horizontal, int Code, int Pos);
  // The item single display shows.
  int ShownItem() const;
  bool CellWhollyVisible(int Index) const;
  void ShowTop();
  void ShowBottom();
  void DrawPicture(TCanvas* Canvas, TItem& Item, int X, int Y, int W, int H);

  std::vector<std::unique_ptr<TItem>> FItems;
  int64_t FPressViewX = 0, FPressViewY = 0;
  TPoint FPressPoint;
  TScrollStyle FScrollBars = ssNone;
  int64_t FViewX = 0, FViewY = 0;
  TVLStoreType FStoreType = vltNormal;
  int FThumbWidth = 100, FThumbHeight = 100;
  int FHorizBorder = 4, FVertBorder = 4;
  int64_t FContentWidth = 0, FContentHeight = 0;
  int64_t FMaxViewX = 0, FMaxViewY = 0;
  int FBottomGap = 0, FUpperGap = 0;
  TVLMDisplayMode FDisplayMode = mdGrid;
  int FGridWidth = 0;
  TVistrelIO* FIO = nullptr;
  int FSelected = -1;
  bool FVisibleSelection = true;
  int FSelectionWidth = 3;
  TColor FSelectionColor = clRed;
  TVLMMouseInteract FMouseInteract = mmiSelect;
  TVLMKeyInteract FKeyInteract = mkiMoveSelected;
  bool FPlaying = false;
  bool FStepping = false;
  int FCurrentFrame = 0;
  TVLMDisplayMode FSavedDisplayMode = mdGrid;
  int FSavedSelected = -1;
  int FLastChange = 0;
  int FLastChangeIndex = 0;
  int FUpdateCount = 0;
  TTimer* FTimer = nullptr;
  TBitmap* FNotifiedBitmap = nullptr;
};
