// Drawing, filling and copying through a polygon clip region of a bitmap's canvas.
#pragma once
#include "platform/core/core.h"

// Draws Source at (X, Y) on Dest, only inside the polygon (alternate fill).
void VLDrawClippedToPolygon(TBitmap* Dest, TBitmap* Source, int X, int Y, const TPoint* Points, int Count);
// Fills the inside of the polygon with a solid brush of Color.
void VLFillPolygon(TBitmap* Bitmap, const TPoint* Points, int Count, TColor Color);
// Dest takes Source's format and the size (X2 - X1) x (Y2 - Y1); the rectangle X1, Y1, X2, Y2 of
// Source is copied to Dest at (0, 0) inside the polygon moved by (-X1, -Y1). Pixels outside
// the polygon keep what the new bitmap holds.
void VLCopyPolygonRect(TBitmap* Source, TBitmap* Dest, int X1, int Y1, int X2, int Y2, const TPoint* Points, int Count);
