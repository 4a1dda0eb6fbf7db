// Geometry kernels over a whole bitmap: canvas size, scaling, rotation, quarter turns and
// flips. No Qt here; the processing component frames them (undo, refresh).
// Progress goes to OnProgress (when set) with Sender.
#pragma once
#include <cstdint>

#include "platform/core/core.h"
#include "vistrel/base/progress.h"
#include "vistrel/proc/kernels/resample.h"

// New size without scaling: the top-left part stays, the added area takes Background.
// Any stored format. Does nothing when Width or Height is below 1.
void VLResizeCanvas(TBitmap* Bitmap, int Width, int Height, TColor Background);

// New size with scaling. A negative Width or Height follows from the other so that the
// aspect ratio stays (integer arithmetic); both negative, a size that comes out below 1 or
// an empty picture: nothing. pf24bit with a Filter other than rfNone goes through
// VLResampleBitmap; otherwise an area-averaging stretch.
void VLResampleToSize(TBitmap* Bitmap, int Width, int Height, TResampleFilter Filter,
                      const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);

// Area-averaging stretch of Source over the whole of Dest (both pf24bit, or both pf1bit,
// where the mean decides black or white). Other formats: nothing.
void VLStretchHalftone(TBitmap* Source, TBitmap* Dest);

// Quarter turns of a pf24bit Source into Dest (H x W): clockwise moves (x, y) to
// (H - 1 - y, x), counter-clockwise to (y, W - 1 - x). Other formats: nothing.
void VLRotate90CW(TBitmap* Source, TBitmap* Dest);
void VLRotate90CCW(TBitmap* Source, TBitmap* Dest);

// Rotation by Angle degrees, positive counter-clockwise: quarter turns, then three shears
// (with AntiAlias the shears blend neighbours in 4096ths). The picture grows to hold the
// rotated one; the uncovered area takes Background. pf24bit; pf1bit goes to VLRotate1Bit
// with the background bit 1 unless Background is 0. Other formats: nothing.
void VLRotateBitmap(TBitmap* Bitmap, int Angle, bool AntiAlias, TColor Background,
                    const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);

// Rotation of a pf1bit picture by sampling each target pixel (four-decimal sine and cosine).
void VLRotate1Bit(TBitmap* Bitmap, int BackgroundBit, const TProgressEvent& OnProgress, TObject* Sender, int Angle);

// Mirrors a pf24bit or pf1bit picture: Direction 0 left-right, 1 top-bottom (any format).
// Other directions: nothing.
void VLFlip(TBitmap* Bitmap, int Direction);
