// Packed device-independent bitmaps: a BITMAPINFOHEADER, its colour table, then the pixel
// rows, as the clipboard and the TWAIN native transfer hand them over. No Qt here.
#pragma once
#include <cstdint>

#include "platform/core/bitmap.h"

// Reads a packed DIB into Bitmap: pf1bit for 1 bit per pixel, else pf24bit. Header is a memory
// handle (HeaderIsPointer false; the handle's block size bounds every read) or the address of
// a block of HeaderSize bytes. Bits, when not null, holds the rows (BitsSize bytes) instead of
// the data after the colour table. Uncompressed 1, 4, 8 and 24-bit pictures, bottom-up or
// top-down, are read; the result is the bit count. Any other format, a header that doesn't fit
// its block, or rows the block doesn't hold give 0 and leave Bitmap as it was.
int VLPackedDIBToBitmap(const void* Header, TBitmap* Bitmap, const void* Bits, bool HeaderIsPointer,
                        int64_t HeaderSize = 0, int64_t BitsSize = 0);
