// Bytes hidden in the lowest bits of a 24-bit picture. The message is an 8-byte header (bytes
// 0-3 zero, bytes 4-7 the data length, little-endian) followed by the data; each byte goes
// least significant bit first, one bit into bit 0 of each carrier. The carriers are the bytes
// of every row from row 0 down, in memory order, except the last pixel's green and red.
// No Qt here.
#pragma once
#include <cstdint>

#include "platform/core/bitmap.h"

// Data bytes a pf24bit picture can carry after the header; 0 for other formats.
int VLHiddenTextSpace(const TBitmap* Bitmap);
// True when the header and Length data bytes fit in the picture's carriers.
bool VLHiddenTextFits(const TBitmap* Bitmap, int Length);
// Hides Length bytes of Data; every carrier changes by at most 1. False, with nothing
// changed, when the picture isn't pf24bit or the header and data don't fit whole.
bool VLWriteHiddenText(TBitmap* Bitmap, const uint8_t* Data, int Length);
// Copies up to MaxLength hidden bytes into Data and returns the stored length (MaxLength 0
// reads the length alone). 0 for other formats and for a stored length the picture can't
// hold, which means there is no hidden text.
int VLReadHiddenText(const TBitmap* Bitmap, uint8_t* Data, int MaxLength);
