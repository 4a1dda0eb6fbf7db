// Private to the viewer's library, no API: the fields its parameter object shares with the
// editor's, which its readers hand to the editor's codecs.
#pragma once
#include "corvelo/library/ioparams.h"

// Every field the two parameter objects share, but the colour map.
#define VL_VIEWER_SHARED_PARAMS(X)                                                                                     \
  X(BitsPerSample)                                                                                                     \
  X(SamplesPerPixel) X(DpiX) X(DpiY) X(TIFFCompression) X(TIFFImageIndex) X(TIFFPhotometric) X(TIFFPlanarConfig)       \
      X(TIFFXPos) X(TIFFYPos) X(TIFFDocumentName) X(TIFFImageDescription) X(TIFFPageName) X(TIFFPageNumber)            \
          X(TIFFPageCount) X(TIFFLZWDecompress) X(TIFFLZWCompress) X(GIFVersion) X(GIFImageIndex) X(GIFXPos)           \
              X(GIFYPos) X(GIFDelayTime) X(GIFTransparent) X(GIFTranspColor) X(GIFInterlaced) X(GIFWinWidth)           \
                  X(GIFWinHeight) X(GIFBackground) X(GIFRatio) X(GIFLZWDecompress) X(GIFLZWCompress) X(JPEGColorSpace) \
                      X(JPEGQuality) X(JPEGDCTMethod) X(JPEGOptimalHuffman) X(JPEGSmooth) X(JPEGProgressive)           \
                          X(PCXVersion) X(PCXCompression) X(BMPVersion) X(BMPCompression) X(PNGInterlaced)             \
                              X(PNGBackground) X(PNGFilter) X(PNGCompression) X(FileName) X(Width) X(Height)

namespace corvelo::lib {

// Copies the shared fields and the colour map from one kind of parameter object to the other
// (or between two of the same kind).
template <class Dest, class Source>
void VLCopySharedParams(const Source& S, Dest& D) {
#define VL_COPY_FIELD(f) D.f = S.f;
  VL_VIEWER_SHARED_PARAMS(VL_COPY_FIELD)
#undef VL_COPY_FIELD
  D.SetColorMap(S.ColorMap, S.ColorMapCount);
}

}  // namespace corvelo::lib
