// Pictures to and from the clipboard as packed DIBs, for the processing component's clipboard
// operations (declared with the component, defined beside these).
#pragma once
#include <cstdint>
#include <vector>

#include "platform/core/core.h"
#include "platform/core/library.h"

// The packed DIB of the part of Bitmap inside the polygon, in a new memory handle the caller
// owns: a bitmap of Bitmap's format and size (X2 - X1) x (Y2 - Y1) takes the rectangle X1, Y1,
// X2, Y2 through the polygon moved by (-X1, -Y1); pixels outside the polygon are black.
HGLOBAL VLPolygonToPackedDIB(TBitmap* Bitmap, int X1, int Y1, const TPoint* Points, int Count, int Y2, int X2);
// The same as bytes; empty when the rectangle is empty or Bitmap is neither pf24bit nor pf1bit.
std::vector<uint8_t> VLPolygonDIBBytes(TBitmap* Bitmap, int X1, int Y1, const TPoint* Points, int Count, int Y2,
                                       int X2);

// Puts a packed DIB on the clipboard, with its picture for other programs; false (the
// clipboard unchanged) when it is empty or the clipboard can't be opened.
bool VLPutDIBOnClipboard(std::vector<uint8_t> Dib);
// The packed DIB on the clipboard; empty when there is none or it can't be opened.
std::vector<uint8_t> VLTakeDIBFromClipboard();
