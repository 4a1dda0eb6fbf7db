// Packed device-independent bitmaps: a BITMAPINFOHEADER, its colour table or masks, then the
// pixel rows, as the clipboard, the TWAIN native transfer and video frames hand them over;
// and the YUV layouts of video frames. No Qt here.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/core/bitmap.h"
#include "platform/core/library.h"
#include "platform/core/types.h"

// The packed DIB of the inclusive rectangle X1..X2, Y1..Y2 of Bitmap, cut to the bitmap: the
// 40-byte header, for pf1bit a black-then-white colour table, the rows bottom row first, then
// 4 zero bytes. A format other than pf24bit or pf1bit gives the header alone (bit count 0).
// Empty when no pixel of the rectangle lies in the bitmap.
std::vector<uint8_t> VLPackedDIBBytes(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2);
// The same in a new memory handle that the caller owns; an X2 or Y2 of 0 means the last column
// or row, so (0, 0, 0, 0) takes the whole bitmap. Null when nothing lies inside.
HGLOBAL VLBitmapToPackedDIB(TBitmap* Bitmap, int X1, int Y1, int Y2, int X2);

// Reads a packed DIB into Bitmap: pf1bit for 1 bit per pixel, else pf24bit. Header is a memory
// handle (HeaderIsPointer false; the handle's block size bounds every read) or the address of
// a block of HeaderSize bytes. Bits, when not null, holds the pixel data (BitsSize bytes)
// instead of the data after the header, masks and colour table. Read: uncompressed 1, 4, 8,
// 16, 24 and 32 bits, bottom-up or top-down; 16 and 32 bits with bit-field masks; the YUV
// layouts I420, IYUV, YV12, YVU9, IYU1, IYU2, YUY2, YUNV, YVYU, UYVY, UYNV, cyuv, Y211, Y41P
// and CLJR. The result is the bit count (for a YUV frame the header's, else its layout's).
// Any other format, a header that doesn't fit its block, or data the block doesn't hold give
// 0 and leave Bitmap as it was.
int VLPackedDIBToBitmap(const void* Header, TBitmap* Bitmap, const void* Bits, bool HeaderIsPointer,
                        int64_t HeaderSize = 0, int64_t BitsSize = 0);

// One pixel of BT.601 video levels to blue, green, red (rounded, halves to even, clamped).
void VLYCbCrToRGB(int Y, int Cb, int Cr, TRGB& Triple);
