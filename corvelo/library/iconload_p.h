// Private to the viewer's library, no API: icons and cursors drawn at a size, as the viewer's
// I/O component loads them.
#pragma once
#include "platform/core/core.h"

namespace corvelo::lib {

// Reads the image of the icon (Cursor: cursor) file at the stream's position that has the size
// Width x Height, else the nearest one (the deeper of two as near), and draws it stretched to
// that size as a 24-bit picture over Background: the image's mask (a 32-bit image's alpha
// channel when it has one) says where the background shows. A size of 0 or below takes the
// image's own. False when the stream holds no image the icon reader can read.
bool VLLoadIconAtSize(TStream* Stream, bool Cursor, int Width, int Height, TColor Background, TBitmap* Bitmap);

}  // namespace corvelo::lib
