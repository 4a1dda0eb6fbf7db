// Drawing surface of bitmaps and controls: pens, brushes, fonts and the drawing calls,
// with the pixel rules of the class library (line end points and the right and bottom edges
// of rectangles and ellipses are not drawn; polygon regions fill alternately).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/bitmap.h"
#include "platform/core/object.h"
#include "platform/core/types.h"

class QFont;

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
// Raster operations of the pen (and of brush fills), as the class library numbers them.
enum TPenMode {
  pmBlack,
  pmWhite,
  pmNop,
  pmNot,
  pmCopy,
  pmNotCopy,
  pmMergePenNot,
  pmMaskPenNot,
  pmMergeNotPen,
  pmMaskNotPen,
  pmMerge,
  pmNotMerge,
  pmMask,
  pmNotMask,
  pmXor,
  pmNotXor
};
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;  // a set of TFontStyle bits
enum TFillMode { fmAlternate, fmWinding };
// Block transfer modes of CopyRect.
enum TCopyMode { cmSrcCopy, cmSrcInvert, cmSrcAnd, cmSrcPaint, cmNotSrcCopy, cmDstInvert, cmBlackness, cmWhiteness };

class TGraphicsObject : public TPersistent {
 public:
  TNotifyEvent OnChange;

 protected:
  void Changed() {
    if (OnChange) OnChange(this);
  }
};

class TPen : public TGraphicsObject {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor c);
  int Width() const { return FWidth; }
  void SetWidth(int w);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle s);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode m);
  void Assign(TPersistent* source) override;

 private:
  TColor FColor = clBlack;
  int FWidth = 1;
  TPenStyle FStyle = psSolid;
  TPenMode FMode = pmCopy;
};

class TBrush : public TGraphicsObject {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor c);  // a clear brush becomes solid, as the class library does
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle s);
  void Assign(TPersistent* source) override;

 private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
};

class TFont : public TGraphicsObject {
 public:
  TFont();
  ~TFont() override;
  const std::string& Name() const { return FName; }
  void SetName(const std::string& n);
  // Negative: character height in pixels; positive: cell height (with internal leading).
  int Height() const { return FHeight; }
  void SetHeight(int h);
  // Points at PixelsPerInch.
  int Size() const;
  void SetSize(int points);
  int PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int ppi) { FPixelsPerInch = ppi > 0 ? ppi : 96; }
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles s);
  TColor Color() const { return FColor; }
  void SetColor(TColor c);
  // Angle of the text base line in tenths of a degree, counter-clockwise.
  int Orientation() const { return FOrientation; }
  void SetOrientation(int tenths);
  void Assign(TPersistent* source) override;
  // The Qt font this font draws with (built on demand).
  const QFont& QtFont() const;

 private:
  std::string FName;
  int FHeight = -11;
  int FPixelsPerInch;
  TFontStyles FStyle = 0;
  TColor FColor = clWindowText;
  int FOrientation = 0;
  mutable std::unique_ptr<QFont> FQFont;
  mutable int FQFontHeight = 0;
};

// Rows of clipped spans: row y holds sorted, disjoint half-open [x0, x1) runs.
class TClipRegion {
 public:
  TClipRegion() = default;
  static TClipRegion FromRect(const TRect& r);
  // Pixels whose centres lie inside the polygon, built only within bounds (the surface it
  // is used on), so its cost follows what can show, not the polygon's size.
  static TClipRegion FromPolygon(const TPoint* pts, int count, TFillMode mode, const TRect& bounds);
  // The whole polygon: for outlines known to be small.
  static TClipRegion FromPolygon(const TPoint* pts, int count, TFillMode mode);
  // Row top + i holds rows[i] (sorted, disjoint runs).
  static TClipRegion FromRows(int top, std::vector<std::vector<std::pair<int, int>>> rows);
  // The given pixels, in any order, repeats allowed.
  static TClipRegion FromPixels(std::vector<TPoint> pts);
  bool Empty() const;
  TRect Bounds() const;
  bool Contains(int x, int y) const;
  void Intersect(const TClipRegion& other);
  void Exclude(const TRect& r);
  void Subtract(const TClipRegion& other);
  void Offset(int dx, int dy);
  int Top() const { return FTop; }
  int RowCount() const { return int(FRows.size()); }
  const std::vector<std::pair<int, int>>* Row(int y) const;

 private:
  int FTop = 0;
  std::vector<std::vector<std::pair<int, int>>> FRows;
};

class TCanvas : public TPersistent {
 public:
  // A canvas on a bitmap follows the bitmap's pixels when they move.
  explicit TCanvas(TBitmap* bitmap);
  ~TCanvas() override;

  TBitmap* Bitmap() const { return FBitmap; }
  TPen* Pen() { return &FPen; }
  TBrush* Brush() { return &FBrush; }
  TFont* Font() { return &FFont; }
  void SetPen(TPen* p) { FPen.Assign(p); }
  void SetBrush(TBrush* b) { FBrush.Assign(b); }
  void SetFont(TFont* f) { FFont.Assign(f); }
  TCopyMode CopyMode() const { return FCopyMode; }
  void SetCopyMode(TCopyMode m) { FCopyMode = m; }

  TPoint PenPos() const { return FPenPos; }
  void SetPenPos(TPoint p) { FPenPos = p; }
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void FillRect(const TRect& r);
  void FrameRect(const TRect& r);
  void Ellipse(int x1, int y1, int x2, int y2);
  void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
  // Counter-clockwise from the radial through (x3, y3) to the radial through (x4, y4).
  void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
  void Polygon(const TPoint* pts, int count);
  void Polygon(const std::vector<TPoint>& pts) { Polygon(pts.data(), int(pts.size())); }
  void Polyline(const TPoint* pts, int count);
  void Polyline(const std::vector<TPoint>& pts) { Polyline(pts.data(), int(pts.size())); }
  TFillMode PolyFillMode() const { return FFillMode; }
  void SetPolyFillMode(TFillMode m) { FFillMode = m; }

  void TextOut(int x, int y, const std::string& text);
  // Text at (x, y) clipped to r; a non-clear brush fills r first.
  void TextRect(const TRect& r, int x, int y, const std::string& text);
  int TextWidth(const std::string& text) { return TextExtent(text).cx; }
  int TextHeight(const std::string& text) { return TextExtent(text).cy; }
  TSize TextExtent(const std::string& text);

  void Draw(int x, int y, TBitmap* source);
  void StretchDraw(const TRect& dest, TBitmap* source);
  // Stretches the source rectangle of a bitmap into dest (nearest pixel, mirrored when a
  // rectangle is reversed).
  void StretchDraw(const TRect& dest, TBitmap* source, const TRect& sourceRect);
  void CopyRect(const TRect& dest, TCanvas* source, const TRect& sourceRect);

  // -1 outside the surface or the clip region.
  TColor Pixels(int x, int y);
  void SetPixels(int x, int y, TColor c);

  // Clipping: the region is kept in surface pixels; none means the whole surface.
  TRect ClipRect() const;
  bool HasClipRegion() const { return FHasClip; }
  const TClipRegion& ClipRegion() const { return FClip; }
  void SetClipRegion(const TClipRegion& r);
  void SetClipRect(const TRect& r) { SetClipRegion(TClipRegion::FromRect(Clamped(r))); }
  void SetClipPolygon(const TPoint* pts, int count, TFillMode mode = fmAlternate);
  void IntersectClipRect(const TRect& r);
  void ExcludeClipRect(int x1, int y1, int x2, int y2);
  void ResetClipRegion();

  // Nested locks (the selection outline skips a locked canvas).
  void Lock() { ++FLockCount; }
  void Unlock() {
    if (FLockCount > 0) --FLockCount;
  }
  int LockCount() const { return FLockCount; }

  // Called after every drawing call (controls show their surface again).
  TNotifyEvent OnChange;

  // Internal: a run of pixels written with a raster operation.
  struct TPaint;

 private:
  bool Ready();
  void Changed();
  // Ordered, and cut to the surface with a margin that keeps outside edges outside.
  TRect Clamped(const TRect& r) const;
  void PaintSpan(int y, int x0, int x1, const TPaint& p);
  void PaintPixel(int x, int y, const TPaint& p);
  TPaint PenPaint(TColor c) const;
  TPaint BrushPaint() const;
  void ThinLine(int x1, int y1, int x2, int y2, bool last);
  void FillSpans(const TClipRegion& r, const TPaint& p);
  void Blit(const TRect& dest, TBitmap* source, const TRect& sourceRect, TCopyMode mode);
  void DrawTextAt(int x, int y, const std::string& text, const TRect* clip, bool opaqueRect);

  TBitmap* FBitmap;
  TPen FPen;
  TBrush FBrush;
  TFont FFont;
  TPoint FPenPos;
  TCopyMode FCopyMode = cmSrcCopy;
  TFillMode FFillMode = fmAlternate;
  bool FHasClip = false;
  TClipRegion FClip;
  int FLockCount = 0;
  int FDashPhase = 0;
};

// Walks the pixels of a line from (x1, y1) to (x2, y2), the end point excluded.
void LineDDA(int x1, int y1, int x2, int y2, const std::function<void(int x, int y)>& proc);

// Text measuring that tests may pin: when set, TextExtent answers from it.
using TTextMeasure = std::function<TSize(const TFont& font, const std::string& text)>;
void SetTextMeasure(TTextMeasure measure);

// Nearest colour index of a palette (the 1-bit formats draw through it).
int NearestPaletteIndex(const std::vector<TRGBQuad>& pal, TColor rgb);
