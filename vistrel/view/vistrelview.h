// The single-image view: one owned picture shown at a zoom percentage with a view origin,
// its own scroll bars, optional centring, a background pattern, plain or filtered zoom, a
// back buffer, selections (rectangle, polygon, ellipse) drawn as marching dots with grips,
// and mouse gestures for zooming, scrolling and selecting.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/gui/canvas.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/kernels/resample.h"
#include "vistrel/view/vistrelview_geom.h"
#include "vistrel/view/vlview.h"

enum TVLBackgroundStyle : uint8_t {
  vlbsSolid,
  vlbsHorizontal,
  vlbsVertical,
  vlbsFDiagonal,
  vlbsBDiagonal,
  vlbsCross,
  vlbsDiagCross,
  vlbsChessboard,
  vlbsDiagonals
};

enum TVLSelectionBase : uint8_t { vlsbClientArea, vlsbBitmap };

enum TVLSelectionOptionsItems : uint8_t { vlsoAnimated = 1, vlsoSizeable = 2, vlsoMoveable = 4 };
using TVLSelectionOptions = uint8_t;

using TViewChangeEvent = std::function<void(TObject* sender, int change)>;

// Puts the thirteen view cursors (crVLZoomOut .. crVLMove) into the screen's cursor table.
void VLLoadCursors();

// One outline: vertices in bitmap pixels and how they are drawn.
struct TVLSelectionOutline {
  std::vector<TPoint> Points;
  TColor Color1 = clBlack;  // dots and grip border
  TColor Color2 = clWhite;  // dots and grip fill
  bool Animated = true;
  int Phase = 0;
  int DotCounter = 0;
  TCanvas* Canvas = nullptr;
  int Left = 0, Top = 0, Right = 0, Bottom = 0;  // bounding box
  bool Visible = true;
  bool Sizeable = true;

  int Count() const { return int(Points.size()); }
  // Appends a vertex and widens the bounding box.
  void AddPolyPoint(int x, int y);
};

class TVistrelView : public TVLView {
 public:
  explicit TVistrelView(TComponent* AOwner);
  ~TVistrelView() override;

  // Picture.
  TBitmap* Bitmap() const { return FBitmap; }
  TBitmap* GetBitmap() override { return FBitmap; }
  void Assign(TPersistent* Source) override;
  void Clear();
  void Blank();
  void SetBackground(TColor Value) override;
  void ImageChange() override;

  // Zoom and origin.
  int Zoom() const { return FZoom; }
  virtual void SetZoom(int Value);
  int64_t ViewX() const { return FViewX; }
  int64_t ViewY() const { return FViewY; }
  void SetViewX(int64_t X);
  void SetViewY(int64_t Y);
  void SetViewXY(int64_t X, int64_t Y);
  void Fit();
  void ZoomAt(int X, int Y, int NewZoom);
  void ZoomSelection();
  int64_t IdealWidth();
  int64_t IdealHeight();
  int XScr2Bmp(int x) const;
  int YScr2Bmp(int y) const;
  int XBmp2Scr(int x) const;
  int YBmp2Scr(int y) const;
  // Largest view origin for the current zoom and client size.
  void GetMaxViewXY(int64_t& MaxX, int64_t& MaxY);

  // Geometry of the last Update.
  int64_t ZoomedWidth() const { return FZoomedWidth; }
  int64_t ZoomedHeight() const { return FZoomedHeight; }
  int DisplayedWidth() const { return FDisplayedWidth; }
  int DisplayedHeight() const { return FDisplayedHeight; }
  int ImageOffsetX() const { return FOffsetX; }
  int ImageOffsetY() const { return FOffsetY; }

  // Update lock: painting is suppressed while it is above 0.
  void LockUpdate() { ++FUpdateLock; }
  int UnlockUpdate();
  int UnlockUpdateNoRefresh();
  int UpdateLockCount() const { return FUpdateLock; }
  void Update() override;

  // Properties.
  TResampleFilter ZoomFilter() const { return FZoomFilter; }
  void SetZoomFilter(TResampleFilter Value);
  bool DelayZoomFilter() const { return FDelayZoomFilter; }
  void SetDelayZoomFilter(bool Value) { FDelayZoomFilter = Value; }
  int DelayedRefreshCount() const { return FDelayedRefresh; }
  TScrollStyle ScrollBars() const { return FScrollBars; }
  virtual void SetScrollBars(TScrollStyle Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  bool DoubleBuffer() const { return FDoubleBuffer; }
  void SetDoubleBuffer(bool Value) { FDoubleBuffer = Value; }
  bool AutoFit() const { return FAutoFit; }
  void SetAutoFit(bool Value) { FAutoFit = Value; }
  TVLBackgroundStyle BackgroundStyle() const { return FBackgroundStyle; }
  void SetBackgroundStyle(TVLBackgroundStyle Value);
  TVLSelectionBase SelectionBase() const { return FSelectionBase; }
  void SetSelectionBase(TVLSelectionBase Value) { FSelectionBase = Value; }
  TVLSelectionOptions SelectionOptions() const { return FSelectionOptions; }
  void SetSelectionOptions(TVLSelectionOptions Value);
  TVLMouseInteract MouseInteract() const { return FMouseInteract; }
  virtual void SetMouseInteract(TVLMouseInteract Value);
  // The cursor chosen by the user of the control (the grips show others).
  TCursor Cursor() const { return FUserCursor; }
  void SetCursor(TCursor Value) override;

  TViewChangeEvent OnViewChange;
  TNotifyEvent OnImageChange;
  TNotifyEvent OnSelectionChanging;
  TNotifyEvent OnSelectionChange;

  // Painting.
  void Paint() override;
  virtual void PaintTo(TCanvas* Canvas);
  void DrawImageTo(TCanvas* Canvas);
  void PaintBackground(TCanvas* Canvas);
  // The back buffer (the client size) used with DoubleBuffer.
  TBitmap* BackBuffer() const { return FBackBuffer; }

  // Selection.
  virtual void Select(int X1, int Y1, int X2, int Y2);
  virtual void AddSelPoint(int X, int Y);
  void DeSelect();
  void ShowSelection(bool DrawNow);
  void HideSelection(bool Repaint);
  bool Selected() const { return FSelected; }
  const TPoint* PolySelPoints() const { return FOutline->Points.data(); }
  int PolySelCount() const { return FOutline->Count(); }
  int SelX1() const { return FOutline->Left; }
  int SelY1() const { return FOutline->Top; }
  int SelX2() const { return FOutline->Right; }
  int SelY2() const { return FOutline->Bottom; }
  TVLSelectionOutline* SelectionOutline() const { return FOutline; }
  bool PolygonInProgress() const { return FPolyInProgress; }
  // Copies the selection (clipped to the picture) into a view or a bitmap.
  void CopySelectionTo(TPersistent* Target);
  // The area a copy of the selection covers, intersected with the picture (inclusive): a
  // rectangle's box with its edges, a polygon's SelX1..SelX2 - 1 by SelY1..SelY2 - 1; false
  // when nothing is left.
  bool SelectionBox(int& X1, int& Y1, int& X2, int& Y2) const;

  // One run of the outline animation; Sender is the timer for a real tick.
  void SelectionTimer(TObject* Sender);
  TTimer* OutlineTimer() const { return FTimer; }
  // Grip (0-7) under a client point, -1 when none.
  int GripAt(int X, int Y);

  // Scrolling as the scroll bars ask for it (SB_LINEUP .. SB_ENDSCROLL).
  void ScrollMessage(bool Horizontal, int Code, int64_t Pos);
  void WMHScroll(int code, int pos) override;
  void WMVScroll(int code, int pos) override;
  bool ViewScrollBarVisible(bool Horizontal) const;
  // Range maximum, page and position of a scroll bar as last set.
  void ScrollBarInfo(bool Horizontal, int& Max, int& Page, int& Pos) const;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void Resize() override;

  // Mouse.
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WMLButtonDblClk(TShiftState Shift, int X, int Y) override;

 protected:
  virtual void DoViewChange(int Change);
  virtual void OffsetDragOrigin(int DX, int DY);
  void DoSelectionChanging();
  void DoSelectionChange();

  void DrawOutline(TVLSelectionOutline* O);
  void DrawPolyRubberLine();
  // Client position at which an outline vertex is drawn; outlines hold bitmap pixels.
  virtual TPoint OutlineToClient(const TPoint& P) const { return Point(XBmp2Scr(P.X), YBmp2Scr(P.Y)); }
  void AutoScrollDrag();
  int ResizeSelectionByGrip(int Grip, int X, int Y);
  void MoveSelection(int DX, int DY);
  bool InsideSelection(int X, int Y);
  void ClampToPicture(int& X, int& Y) const;

  // State.
  TCursor FUserCursor = crVLCross2;
  bool FCenter = false;
  bool FBackDirty = true;
  TResampleFilter FZoomFilter = rfNone;
  TResampleFilter FSavedZoomFilter = rfNone;
  int FDelayedRefresh = 0;
  bool FDelayZoomFilter = false;
  TVLBackgroundStyle FBackgroundStyle = vlbsSolid;
  int64_t FDragViewX = 0, FDragViewY = 0;
  TBitmap* FBackBuffer = nullptr;
  int FKnownWidth = 0, FKnownHeight = 0;
  int64_t FViewX = 0, FViewY = 0;
  int FZoom = 100;
  TScrollStyle FScrollBars = ssNone;
  int FUpdateLock = 0;
  int FOffsetX = 0, FOffsetY = 0;
  int FDisplayedWidth = 0, FDisplayedHeight = 0;
  int64_t FZoomedWidth = 0, FZoomedHeight = 0;
  TBitmap* FBitmap = nullptr;
  bool FDoubleBuffer = false;
  bool FAutoFit = false;
  bool FAutoInvalidate = true;
  int FUpdateDepth = 0;

  bool FSelected = false;
  bool FPolyInProgress = false;
  bool FRectDrawing = false;
  bool FCircleDrawing = false;
  int FGrip = -1;
  int FMove = -1;
  TPoint FLastMouse, FDragOrigin, FLastPos;
  int FDownX1 = 0, FDownY1 = 0, FDownX2 = 0, FDownY2 = 0;
  TVLSelectionOutline* FOutline = nullptr;
  TVLSelectionBase FSelectionBase = vlsbClientArea;
  TVLSelectionOptions FSelectionOptions = vlsoAnimated | vlsoSizeable | vlsoMoveable;
  std::vector<TVLSelectionOutline*> FOutlines;
  TTimer* FTimer = nullptr;
  TVLMouseInteract FMouseInteract = 0;
  bool FButtonDown = false;
  TPoint FPointer;  // the pointer as the last mouse event saw it (client pixels)
};
