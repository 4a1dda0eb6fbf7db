// Zoom, scrolling and selection arithmetic of the single-image view. Plain functions, so
// the numbers can be checked without a window. Reals are long double in the view's own
// operand order; nearest is halves to even.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/core/types.h"

// Zoomed extent: nearest(size x 0.01 x zoom).
int64_t VLZoomedExtent(int64_t size, int zoom);
// Largest view origin of one axis pair. Both are 0 when a zoomed extent is 0 or less, or when
// the whole control (width x height, borders and bars included) holds the zoomed picture.
void VLMaxViewOrigin(int64_t zoomedW, int64_t zoomedH, int clientW, int clientH, int width, int height, int64_t& maxX,
                     int64_t& maxY);
// Client to bitmap: nearest(100 / zoom x (x + view - offset)).
int VLScrToBmp(int x, int64_t view, int offset, int zoom);
// Bitmap to client: nearest(x x (zoom x 0.01) + (offset - view)).
int VLBmpToScr(int x, int64_t view, int offset, int zoom);
// trunc(size x 0.01 x zoom) + 1.
int64_t VLIdealExtent(int64_t size, int zoom);
// The zoom that fits a picture of bw x bh into w x h (0 when the picture is empty).
int VLFitZoom(int w, int h, int64_t bw, int64_t bh);
// Click zoom: the next step up (left button) and down (right button).
int VLZoomStepIn(int zoom);
int VLZoomStepOut(int zoom);

// Source span in bitmap pixels of the displayed part of one axis:
// start = nearest(view x size / zoomed), count = nearest(displayed x size / zoomed), and with
// correctEdge the count is lowered by 1 when start + count exceeds size. A zoomed extent of 0
// gives 0, 0.
void VLSourceSpan(int64_t view, int64_t displayed, int64_t size, int64_t zoomed, bool correctEdge, int64_t& start,
                  int64_t& count);

// Mouse interaction sets: the combination rule of SetMouseInteract.
enum TVLMouseInteractItems : uint8_t {
  miZoom = 1,
  miScroll = 2,
  miSelect = 4,
  miSelectPolygon = 8,
  miSelectCircle = 16,
  miSelectZoom = 32,
};
using TVLMouseInteract = uint8_t;
TVLMouseInteract VLCombineMouseInteract(TVLMouseInteract current, TVLMouseInteract value);

// Resizing a box (bitmap pixels, left <= right, top <= bottom) by a grip: 0-3 corners
// (top-left, top-right, bottom-right, bottom-left), 4 left, 5 right, 6 top, 7 bottom.
// Returns the grip that goes on (mirrored when a side crossed the opposite one); the box is
// returned ordered.
int VLResizeBoxByGrip(int grip, int bx, int by, int& left, int& top, int& right, int& bottom);

// Vertices (client pixels, before conversion) of the ellipse centred on (cx, cy) with radii
// rx, ry: none when trunc(min(rx, ry) x 2 pi) <= 3.
std::vector<TPoint> VLEllipseVertices(int cx, int cy, int rx, int ry);

// Cursor ids of the view and the editor's tools.
enum : int {
  crVLZoomOut = 1778,  // "ZOOMMENO"
  crVLZoomIn,          // "ZOOMPIU"
  crVLCross,           // "CROCE"
  crVLEraser,          // "GOMMA"
  crVLHand,            // "MANO"
  crVLPen,             // "PENNA"
  crVLCross1,          // "CROCE1"
  crVLCross2,          // "CROCE2"
  crVLMove2,           // "MOVE2"
  crVLMoveY,           // "MOVEY"
  crVLMove1,           // "MOVE1"
  crVLMoveX,           // "MOVEX"
  crVLMove             // "MOVE"
};
// Grips' cursor ids by grip number (-1: none).
int VLGripCursor(int grip);
