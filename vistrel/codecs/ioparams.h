// File parameters shared by every reader and writer, and the codec calling convention.
#pragma once
#include <cstdint>
#include <exception>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/base/progress.h"

// File type codes.
enum TVLFileType : int32_t {
  ftNone = 0,
  ftTIFF = 1,
  ftGIF = 2,
  ftJPEG = 3,
  ftPCX = 4,
  ftBMP = 5,
  ftICO = 6,
  ftCUR = 7,
  ftPNG = 8,
  ftWMF = 9,
  ftEMF = 10,
};

// LZW coder hooks; the product installs none.
using TGIFLZWDecoder = void (*)(TStream* stream, int32_t height, int32_t width, bool interlaced, uint8_t* buffer);
using TGIFLZWEncoder = void (*)(TStream* stream, int32_t height, int32_t width, bool interlaced, uint8_t* buffer,
                                int32_t bitsPerPixel);
using TTIFFLZWDecoder = uint8_t* (*)(const uint8_t* data, int32_t rowBytes, void*& state);
using TTIFFLZWEncoder = void (*)(const uint8_t* data, int32_t count, TStream* stream, void*& state);

extern TGIFLZWDecoder DefaultGIFLZWDecompressor;
extern TGIFLZWEncoder DefaultGIFLZWCompressor;
extern TTIFFLZWDecoder DefaultTIFFLZWDecompressor;
extern TTIFFLZWEncoder DefaultTIFFLZWCompressor;

// What a parameter object asks of the I/O component that owns it.
class TVLIOParamsOwner {
 public:
  virtual ~TVLIOParamsOwner() = default;
  // The owner's bitmap, or null.
  virtual TBitmap* ParamsOwnerBitmap() = 0;
  // The attached view's resolution; false when no view is attached.
  virtual bool ParamsOwnerViewDpi(int32_t& dpiX, int32_t& dpiY) = 0;
};

class TIOParamsVals : public TObject {
 public:
  explicit TIOParamsVals(TVLIOParamsOwner* ioComponent);
  ~TIOParamsVals() override;
  void SetDefaults();
  // Copies every field but IOComponent; the colour map is copied.
  void Assign(const TIOParamsVals* source);
  // Replaces the colour map with a copy of count entries (blue, green, red).
  void SetColorMap(const TRGB* map, int32_t count);
  void FreeColorMap();

  TVLIOParamsOwner* IOComponent = nullptr;
  int32_t BitsPerSample = 8;
  int32_t SamplesPerPixel = 3;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t DpiX = 0;
  int32_t DpiY = 0;
  int32_t FileType = 0;
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
  uint8_t JPEGScale = 1;
  int32_t PCXVersion = 5;
  bool PCXCompression = true;
  uint8_t BMPVersion = 1;
  bool BMPCompression = false;
  int32_t ICOImageIndex = 0;
  int32_t CURImageIndex = 0;
  int32_t CURXHotSpot = 0;
  int32_t CURYHotSpot = 0;
  bool PNGInterlaced = false;
  TRGB PNGBackground;
  uint8_t PNGFilter = 0;
  int32_t PNGCompression = 5;
  std::string FileName;
  TRGB* ColorMap = nullptr;  // owned; ColorMapCount entries
  int32_t ColorMapCount = 0;
};

// Built on the caller's stack for each codec call.
struct TFilterProgress {
  TProgressEvent OnProgress;
  TObject* Sender = nullptr;
  int32_t RowCounter = 0;
  int32_t ReservedCounter = 0;
  double PercentPerRow = 0;
  bool* AbortFlag = nullptr;
  // Why a codec stopped on bad input (empty when it did not, or was aborted by the caller).
  std::string AbortReason;
};

// Reports Trunc(rowsDone x PercentPerRow) when a handler is set; true when the codec
// must stop (the abort flag is set).
bool VLReportProgress(TFilterProgress& progress, int64_t rowsDone);
// Sets the abort flag (when there is one).
void VLSetAbort(TFilterProgress& progress);
// A codec's failure on bad input: records the reason and sets the abort flag.
void VLFail(TFilterProgress& progress, const std::string& reason);
inline bool VLAborting(const TFilterProgress& progress) { return progress.AbortFlag && *progress.AbortFlag; }

// Run a reader's or a writer's core so that nothing it throws leaves the codec: a short read
// fails with "truncated file", lack of memory with "out of memory", the rest with "read error"
// or "write error".
template <class Core>
void VLGuardedRead(TFilterProgress& progress, Core&& core) {
  try {
    core();
  } catch (const EReadError&) {
    VLFail(progress, "truncated file");
  } catch (const std::bad_alloc&) {
    VLFail(progress, "out of memory");
  } catch (const std::exception&) {
    VLFail(progress, "read error");
  }
}
template <class Core>
void VLGuardedWrite(TFilterProgress& progress, Core&& core) {
  try {
    core();
  } catch (const std::bad_alloc&) {
    VLFail(progress, "out of memory");
  } catch (const std::exception&) {
    VLFail(progress, "write error");
  }
}

// The shared record of params-only reads: no handler, an abort flag of its own.
extern TFilterProgress VLEmptyProgress;
extern bool VLEmptyProgressAbort;

// The 12-byte header ahead of one image in a stream.
struct TVLStreamHeader {
  char Tag[4] = {0, 0, 0, 0};
  int32_t Zero = 0;
  int32_t Length = 0;
};
// Tag as text: its four bytes up to the first zero byte.
std::string VLStreamHeaderTag(const TVLStreamHeader& h);
// Reads 12 bytes; false when fewer were there.
bool VLReadStreamHeader(TStream* stream, TVLStreamHeader& h);
// Writing: remember the position and write a placeholder ...
int64_t VLBeginStreamHeader(TStream* stream);
// ... then, after the image, fill it in and return to the end.
void VLEndStreamHeader(TStream* stream, int64_t headerPos, const char tag[4]);
