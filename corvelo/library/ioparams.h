// The viewer build's file parameters: the editor's fields without the read scale and the icon
// and cursor indexes, with the sizes at which icons and cursors are loaded instead.
#pragma once
#include <cstdint>
#include <string>

#include "vistrel/codecs/ioparams.h"

namespace corvelo::lib {

class TIOParamsVals : public TObject {
 public:
  explicit TIOParamsVals(TVLIOParamsOwner* IOComponent);
  ~TIOParamsVals() override;
  // The editor's defaults (size and resolution from the owner), icons and cursors at 16 x 16.
  void SetDefaults();
  // Copies every field but IOComponent; the colour map is copied.
  void Assign(const TIOParamsVals* Source);
  // Replaces the colour map with a copy of Count entries (blue, green, red).
  void SetColorMap(const TRGB* Map, int32_t Count);
  void FreeColorMap();

  TVLIOParamsOwner* IOComponent = nullptr;
  int32_t BitsPerSample = 8;
  int32_t SamplesPerPixel = 3;
  int32_t DpiX = 0;
  int32_t DpiY = 0;
  uint8_t FileType = 0;
  uint8_t TIFFCompression = 0;
  int32_t TIFFImageIndex = 0;
  uint8_t TIFFPhotometric = 2;
  int32_t TIFFPlanarConfig = 1;
  int32_t TIFFXPos = 0;
  int32_t TIFFYPos = 0;
  std::string TIFFDocumentName;
  std::string TIFFImageDescription;
  std::string TIFFPageName;
  int32_t TIFFPageNumber = 0;
  int32_t TIFFPageCount = 0;
  TTIFFLZWDecoder TIFFLZWDecompress = nullptr;
  TTIFFLZWEncoder TIFFLZWCompress = nullptr;
  std::string GIFVersion = "GIF89a";
  int32_t GIFImageIndex = 0;
  int32_t GIFXPos = 0;
  int32_t GIFYPos = 0;
  int32_t GIFDelayTime = 0;
  bool GIFTransparent = false;
  TRGB GIFTranspColor;
  bool GIFInterlaced = false;
  int32_t GIFWinWidth = 0;
  int32_t GIFWinHeight = 0;
  TRGB GIFBackground;
  int32_t GIFRatio = 0;
  TGIFLZWDecoder GIFLZWDecompress = nullptr;
  TGIFLZWEncoder GIFLZWCompress = nullptr;
  uint8_t JPEGColorSpace = 2;
  int32_t JPEGQuality = 50;
  uint8_t JPEGDCTMethod = 0;
  bool JPEGOptimalHuffman = false;
  int32_t JPEGSmooth = 0;
  bool JPEGProgressive = false;
  int32_t PCXVersion = 5;
  bool PCXCompression = true;
  uint8_t BMPVersion = 1;
  bool BMPCompression = false;
  int32_t ICOWidth = 16;
  int32_t ICOHeight = 16;
  int32_t CURWidth = 16;
  int32_t CURHeight = 16;
  bool PNGInterlaced = false;
  TRGB PNGBackground;
  uint8_t PNGFilter = 0;
  int32_t PNGCompression = 5;
  std::string FileName;
  int32_t Width = 0;
  int32_t Height = 0;
  TRGB* ColorMap = nullptr;  // owned; ColorMapCount entries
  int32_t ColorMapCount = 0;
};

}  // namespace corvelo::lib
