// Colour and tone kernels: rectangle kernels (X1, Y1, X2, Y2 inclusive bitmap coordinates,
// cut to the picture; an empty intersection does nothing) and whole-bitmap kernels.
// Luminance is (R x 21 + G x 71 + B x 7) div 100. No Qt here.
// Progress goes to OnProgress (when set) with Sender.
#pragma once
#include <array>
#include <cstdint>

#include "platform/core/core.h"
#include "vistrel/base/progress.h"

// One histogram bin: counts of red, green, blue and gray values.
struct TVLHistogramEntry {
  uint32_t Red = 0, Green = 0, Blue = 0, Gray = 0;
  bool operator==(const TVLHistogramEntry&) const = default;
};
using TVLHistogram = std::array<TVLHistogramEntry, 256>;

inline int VLLuminance(int R, int G, int B) { return (R * 21 + G * 71 + B * 7) / 100; }

// Rectangle kernels (pf24bit unless said otherwise).
// Each pixel becomes (lum, lum, lum).
void VLGrayRect(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, const TProgressEvent& OnProgress = nullptr,
                TObject* Sender = nullptr);
// Each byte becomes 255 - value; on pf1bit each bit of the area is inverted (no progress).
void VLNegativeRect(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, const TProgressEvent& OnProgress = nullptr,
                    TObject* Sender = nullptr);
// Graphic (any stored format) stretched over the rectangle and blended: Percent is the share
// the picture keeps.
void VLMergeRect(TBitmap* Bitmap, TBitmap* Graphic, int Percent, int X1, int Y1, int X2, int Y2,
                 const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Counts of the rectangle (zeroed first).
void VLCalcHistogram(TBitmap* Bitmap, TVLHistogram& Histogram, int X1, int Y1, int X2, int Y2);
// Distinct colours of the rectangle; 0 for other formats.
int VLCountColors(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2);
// Contrast about the given averages: -100 gives the average colour, 0 changes nothing.
void VLContrast(TBitmap* Bitmap, int Contrast, int AvgRed, int AvgGreen, int AvgBlue, int X1, int Y1, int X2, int Y2,
                const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);

// Whole-bitmap kernels.
// Every pixel replaced by its entry of an N-colour palette (box split up to 256, neural net
// above); Palette (room for N entries) receives it, or a palette of its own is used when it
// is null. N below 1: nothing.
void VLQuantize(TBitmap* Bitmap, int N, TRGB* Palette, const TProgressEvent& OnProgress = nullptr,
                TObject* Sender = nullptr);
// Above 2 colours VLQuantize; 2 colours or fewer: the ordered dither to 1 bit, and Palette
// (when given) gets black and white in the entries it has room for (N of them).
void VLReduceColors(TBitmap* Bitmap, int N, TRGB* Palette, const TProgressEvent& OnProgress = nullptr,
                    TObject* Sender = nullptr);
// Bit 0 where lum < Threshold, else 1; the picture becomes pf1bit. Threshold -1: the
// luminance of the average colour.
void VLThresholdTo1Bit(TBitmap* Bitmap, int Threshold, const TProgressEvent& OnProgress = nullptr,
                       TObject* Sender = nullptr);
// Mean of each channel, truncated; 128 each for a picture without pixels; other formats
// leave R, G, B untouched.
void VLAverageColor(TBitmap* Bitmap, int& R, int& G, int& B);
// Hue, saturation and value of each pixel as three gray pf24bit pictures of the source's size.
void VLSplitHSV(TBitmap* Source, TBitmap* H, TBitmap* S, TBitmap* V, const TProgressEvent& OnProgress = nullptr,
                TObject* Sender = nullptr);
// A pf1bit picture becomes pf24bit black and white (bit 1 white, whatever the palette).
void VLConvertToTrueColor(TBitmap* Bitmap, const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
