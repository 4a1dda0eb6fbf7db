// Stretching a rectangle of a picture onto a 24-bit surface, nearest pixel: the view's
// plain zoom path. 1-bit pictures come out black and white whatever their palette.
#pragma once
#include <cstdint>

#include "platform/core/bitmap.h"

class TClipRegion;

// Draws the source rectangle (sx, sy, sw, sh) of src (1, 24 or 32 bits per pixel) into the
// rectangle (dx, dy, dw, dh) of dst, which must be pf24bit. Source coordinates are cut to the
// picture and destination pixels to dst and to clip (surface pixels) when given. Returns false
// when it could not draw (dst not pf24bit, or another source format).
bool VLStretchBlit(const TBitmap* src, int64_t sx, int64_t sy, int64_t sw, int64_t sh, TBitmap* dst, int dx, int dy,
                   int dw, int dh, const TClipRegion* clip);
