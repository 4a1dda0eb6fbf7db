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

// Why a codec stopped: set with the abort flag by VLFail (or by the progress report when the
// caller's handler set the flag). Fine enough for the viewer's readers to pick their messages.
enum TVLCause : uint8_t {
  vcNone,          // the codec did not stop early
  vcNotFormat,     // the data don't begin as this format (signature, magic, byte order)
  vcBadHeader,     // the format's header holds values that contradict it or each other
  vcTruncated,     // the data end before a header, table or the picture does
  vcUnsupported,   // a valid variant this codec doesn't handle (depth, compression, tiles)
  vcTooLarge,      // the picture is past the size limit, or memory ran out
  vcBadData,       // picture data that can't be decoded (codes, strips, records)
  vcNoImage,       // no image of the index asked for
  vcNoCoder,       // the LZW coder hook the data need is not installed
  vcLibraryError,  // libjpeg or libpng refused the data
  vcNoPicture,     // nothing to read into or write from (no stream, no bitmap, an empty bitmap)
  vcWriteFailed,   // the stream refused a write
  vcCancelled,     // the caller's progress handler set the abort flag
  vcNoCodec,       // no codec for the file's name or the stream's content
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
  TVLCause AbortCause = vcNone;
};

// Progress inside a codec: calls the handler when one is set (with Trunc(rowsDone x
// PercentPerRow), or the percentage itself); true when the codec must stop. An exception of
// the handler leaves as TVLHandlerRaised, which VLGuardCodec turns back into the original.
bool VLReportProgress(TFilterProgress& progress, int64_t rowsDone);
bool VLReportPercent(TFilterProgress& progress, int percent);
// Sets the abort flag (when there is one).
void VLSetAbort(TFilterProgress& progress);
// A codec's failure: records the cause and the reason (the first ones stay) and sets the abort flag.
void VLFail(TFilterProgress& progress, TVLCause cause, const std::string& reason);
// Clears the flag, the reason and the cause.
void VLResetAbort(TFilterProgress& progress);
inline bool VLAborting(const TFilterProgress& progress) { return progress.AbortFlag && *progress.AbortFlag; }

// The caller's progress handler raised Error inside a codec.
struct TVLHandlerRaised {
  std::exception_ptr Error;
};
// A failure raised inside a codec's core; VLGuardCodec turns it into the abort flag.
struct TVLCodecFailure {
  TVLCause Cause;
  const char* Reason;
};
[[noreturn]] inline void VLThrowFail(TVLCause cause, const char* reason) { throw TVLCodecFailure{cause, reason}; }

enum TVLCodecRole : uint8_t { crRead, crWrite };

// Every reader and writer runs its core through this guard. The handler's own exception
// passes through unchanged; nothing else leaves the codec: a raised failure, a short read,
// lack of memory or a stream that fails become the abort flag with a cause and a reason.
// Guards nest (an icon holding a BMP or a PNG): the outermost one lets the
// handler's exception go.
extern thread_local int VLCodecGuardDepth;
template <class Core>
void VLGuardCodec(TFilterProgress& progress, TVLCodecRole role, Core&& core) {
  const bool reading = role == crRead;
  struct TDepth {
    TDepth() { ++VLCodecGuardDepth; }
    ~TDepth() { --VLCodecGuardDepth; }
  } depth;
  try {
    core();
  } catch (const TVLHandlerRaised& h) {
    if (VLCodecGuardDepth > 1) throw;
    std::rethrow_exception(h.Error);
  } catch (const TVLCodecFailure& f) {
    VLFail(progress, f.Cause, f.Reason);
  } catch (const std::bad_alloc&) {
    VLFail(progress, vcTooLarge, "out of memory");
  } catch (const EOutOfResources&) {
    VLFail(progress, vcTooLarge, "out of memory");
  } catch (const EOutOfMemory&) {
    VLFail(progress, vcTooLarge, "out of memory");
  } catch (const EReadError&) {
    if (reading) VLFail(progress, vcTruncated, "truncated file");
    else VLFail(progress, vcWriteFailed, "write error");
  } catch (...) {
    if (reading) VLFail(progress, vcBadData, "read error");
    else VLFail(progress, vcWriteFailed, "write error");
  }
}

// Lends a record without an abort flag one of its own for the length of a codec call (the
// codecs over libjpeg and libpng stop on the flag).
class TVLAbortFlagScope {
 public:
  explicit TVLAbortFlagScope(TFilterProgress& progress) : FProgress(progress), FSaved(progress.AbortFlag) {
    if (!FSaved) FProgress.AbortFlag = &FOwn;
  }
  ~TVLAbortFlagScope() { FProgress.AbortFlag = FSaved; }
  TVLAbortFlagScope(const TVLAbortFlagScope&) = delete;
  TVLAbortFlagScope& operator=(const TVLAbortFlagScope&) = delete;

 private:
  TFilterProgress& FProgress;
  bool* FSaved;
  bool FOwn = false;
};

// Content sniffers (VLIsBMP and the like, beside each codec) are given the first VLSniffBytes
// bytes at the stream's position (zeros past its end) and the size of the whole stream.
constexpr int VLSniffBytes = 16;
// Four bytes as text up to the first zero byte (stream header tags).
std::string VLTagText(const uint8_t* Bytes);

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
