// Effect kernels of the preview dialog: 3x3 convolution with its presets and filter files,
// colour shifts, threshold and levels, automatic equalization, bump map, morphological
// filters, lens and wave. pf24bit only; other formats are left alone. No Qt here.
//
// Rectangle kernels take X1, Y1, X2, Y2 inclusive in bitmap coordinates, cut to the picture
// (an empty intersection does nothing), and report trunc(rows done x 100 / (rows + 0.5))
// after each row. Colours are packed RGB (red in bits 16-23).
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

// A user filter: nine coefficients row by row (row 0 above the pixel, column 0 to its
// left) and a divisor (0 counts as 1).
struct TVLUserFilter {
  std::array<int32_t, 9> Coeffs{};
  int32_t Divisor = 0;
  bool operator==(const TVLUserFilter&) const = default;
};

// The presets, in the order of VLPresetFilterNames.
constexpr int VLPresetFilterCount = 9;
extern const TVLUserFilter VLPresetFilters[VLPresetFilterCount];
extern const char* const VLPresetFilterNames[VLPresetFilterCount];

// Each channel: the sum of the nine coefficients times the values around the pixel (rows
// and columns clamped to the picture) div the divisor, clamped to 0..255.
void VLApplyFilter3x3(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, const TVLUserFilter& Filter,
                      const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);

// Filter files: the bytes 1, 3, 3, then the nine coefficients and the divisor as 32-bit
// little-endian integers (43 bytes). The reader returns false, Filter unchanged, for another
// header; a file that ends early raises EReadError, Filter unchanged. File errors raise the
// stream's exceptions.
bool VLReadFilter(TStream* Stream, TVLUserFilter& Filter);
void VLWriteFilter(TStream* Stream, const TVLUserFilter& Filter);
bool VLLoadFilter(const std::string& FileName, TVLUserFilter& Filter);
void VLSaveFilter(const std::string& FileName, const TVLUserFilter& Filter);

// Hue in degrees, saturation and lightness in percent, added in the real HSL model.
void VLAdjustHSL(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int Hue, int Saturation, int Lightness,
                 const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Offsets on the integer HSV scales (hue 0..359, saturation and value 0..99).
void VLAdjustHSV(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int Hue, int Saturation, int Value,
                 const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
void VLAddRGB(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int Red, int Green, int Blue,
              const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Per channel: at or below Low's channel it takes LowColor's; then above High's it takes
// HighColor's. Low black and High white: nothing.
void VLThreshold(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int32_t Low, int32_t High, int32_t LowColor,
                 int32_t HighColor, const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Levels: Black goes to 0, White to 255, per channel.
void VLEqualizeRange(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int32_t Black, int32_t White,
                     const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Equalization driven by the luminance histogram of the whole picture. A picture of fewer
// than 256 pixels is left as it is.
void VLAutoEqualize(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, const TProgressEvent& OnProgress = nullptr,
                    TObject* Sender = nullptr);
// Relief lit from (LightX, LightY) over LightWidth x LightHeight in LightColor; Kept is the
// percentage of the picture kept. A light width or height of 0 does nothing.
void VLBumpMap(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int LightX, int LightY, int LightWidth, int LightHeight,
               int32_t LightColor, int Kept, const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Type 0 maximum, 1 minimum, 2 opening, 3 closing (others nothing) by luminance over a
// (2 x Size + 1) square window cut to the rectangle.
void VLMorphFilter(TBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int Size, int Type,
                   const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// A lens of Width x Height centred on (X, Y); Refraction is taken as at least 1.
void VLLens(TBitmap* Bitmap, int X, int Y, int Width, int Height, double Refraction,
            const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Ripples round the centre; Phase in degrees. Amplitude or WaveLength 0 does nothing.
void VLWave(TBitmap* Bitmap, int Amplitude, int WaveLength, int Phase, bool Reflective,
            const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
