#include "vistrel/codecs/ioparams.h"

#include <cstring>

#include "vistrel/base/byteorder.h"

TGIFLZWDecoder DefaultGIFLZWDecompressor = nullptr;
TGIFLZWEncoder DefaultGIFLZWCompressor = nullptr;
TTIFFLZWDecoder DefaultTIFFLZWDecompressor = nullptr;
TTIFFLZWEncoder DefaultTIFFLZWCompressor = nullptr;

thread_local int VLCodecGuardDepth = 0;

bool VLEmptyProgressAbort = false;
TFilterProgress VLEmptyProgress = {nullptr, nullptr, 0, 0, 0, &VLEmptyProgressAbort, {}, vcNone};

TIOParamsVals::TIOParamsVals(TVLIOParamsOwner* ioComponent) : IOComponent(ioComponent) { SetDefaults(); }

TIOParamsVals::~TIOParamsVals() { FreeColorMap(); }

void TIOParamsVals::FreeColorMap() {
  delete[] ColorMap;
  ColorMap = nullptr;
  ColorMapCount = 0;
}

void TIOParamsVals::SetColorMap(const TRGB* map, int32_t count) {
  FreeColorMap();
  if (!map || count <= 0) return;
  ColorMap = new TRGB[size_t(count)];
  std::memcpy(ColorMap, map, size_t(count) * sizeof(TRGB));
  ColorMapCount = count;
}

void TIOParamsVals::SetDefaults() {
  BitsPerSample = 8;
  SamplesPerPixel = 3;
  if (IOComponent) {
    if (TBitmap* b = IOComponent->ParamsOwnerBitmap()) {
      Width = b->Width();
      Height = b->Height();
    }
    int32_t x, y;
    if (IOComponent->ParamsOwnerViewDpi(x, y)) {
      DpiX = x;
      DpiY = y;
    }
  }
  FileType = 0;
  TIFFCompression = 0;
  TIFFImageIndex = 0;
  TIFFPhotometric = 2;
  TIFFPlanarConfig = 1;
  TIFFXPos = 0;
  TIFFYPos = 0;
  TIFFDocumentName.clear();
  TIFFImageDescription.clear();
  TIFFPageName.clear();
  TIFFPageNumber = 0;
  TIFFPageCount = 0;
  TIFFLZWDecompress = DefaultTIFFLZWDecompressor;
  TIFFLZWCompress = DefaultTIFFLZWCompressor;
  GIFVersion = "GIF89a";
  GIFImageIndex = 0;
  GIFXPos = 0;
  GIFYPos = 0;
  GIFDelayTime = 0;
  GIFTransparent = false;
  GIFTranspColor = TRGB{};
  GIFInterlaced = false;
  GIFWinWidth = 0;
  GIFWinHeight = 0;
  GIFBackground = TRGB{};
  GIFRatio = 0;
  GIFLZWDecompress = DefaultGIFLZWDecompressor;
  GIFLZWCompress = DefaultGIFLZWCompressor;
  JPEGColorSpace = 2;
  JPEGQuality = 50;
  JPEGDCTMethod = 0;
  JPEGOptimalHuffman = false;
  JPEGSmooth = 0;
  JPEGProgressive = false;
  JPEGScale = 1;
  PCXVersion = 5;
  PCXCompression = true;
  BMPVersion = 1;
  BMPCompression = false;
  ICOImageIndex = 0;
  CURImageIndex = 0;
  CURXHotSpot = 0;
  CURYHotSpot = 0;
  PNGInterlaced = false;
  PNGBackground = TRGB{};
  PNGFilter = 0;
  PNGCompression = 5;
  FileName.clear();
  FreeColorMap();
}

void TIOParamsVals::Assign(const TIOParamsVals* s) {
  if (!s || s == this) return;
  TVLIOParamsOwner* owner = IOComponent;
  TRGB* map = ColorMap;
  int32_t mapCount = ColorMapCount;
  ColorMap = nullptr;
  ColorMapCount = 0;
  // Field by field copy of the plain members, then the owned map.
  BitsPerSample = s->BitsPerSample;
  SamplesPerPixel = s->SamplesPerPixel;
  Width = s->Width;
  Height = s->Height;
  DpiX = s->DpiX;
  DpiY = s->DpiY;
  FileType = s->FileType;
  TIFFCompression = s->TIFFCompression;
  TIFFImageIndex = s->TIFFImageIndex;
  TIFFPhotometric = s->TIFFPhotometric;
  TIFFPlanarConfig = s->TIFFPlanarConfig;
  TIFFXPos = s->TIFFXPos;
  TIFFYPos = s->TIFFYPos;
  TIFFDocumentName = s->TIFFDocumentName;
  TIFFImageDescription = s->TIFFImageDescription;
  TIFFPageName = s->TIFFPageName;
  TIFFPageNumber = s->TIFFPageNumber;
  TIFFPageCount = s->TIFFPageCount;
  TIFFLZWDecompress = s->TIFFLZWDecompress;
  TIFFLZWCompress = s->TIFFLZWCompress;
  GIFVersion = s->GIFVersion;
  GIFImageIndex = s->GIFImageIndex;
  GIFXPos = s->GIFXPos;
  GIFYPos = s->GIFYPos;
  GIFDelayTime = s->GIFDelayTime;
  GIFTransparent = s->GIFTransparent;
  GIFTranspColor = s->GIFTranspColor;
  GIFInterlaced = s->GIFInterlaced;
  GIFWinWidth = s->GIFWinWidth;
  GIFWinHeight = s->GIFWinHeight;
  GIFBackground = s->GIFBackground;
  GIFRatio = s->GIFRatio;
  GIFLZWDecompress = s->GIFLZWDecompress;
  GIFLZWCompress = s->GIFLZWCompress;
  JPEGColorSpace = s->JPEGColorSpace;
  JPEGQuality = s->JPEGQuality;
  JPEGDCTMethod = s->JPEGDCTMethod;
  JPEGOptimalHuffman = s->JPEGOptimalHuffman;
  JPEGSmooth = s->JPEGSmooth;
  JPEGProgressive = s->JPEGProgressive;
  JPEGScale = s->JPEGScale;
  PCXVersion = s->PCXVersion;
  PCXCompression = s->PCXCompression;
  BMPVersion = s->BMPVersion;
  BMPCompression = s->BMPCompression;
  ICOImageIndex = s->ICOImageIndex;
  CURImageIndex = s->CURImageIndex;
  CURXHotSpot = s->CURXHotSpot;
  CURYHotSpot = s->CURYHotSpot;
  PNGInterlaced = s->PNGInterlaced;
  PNGBackground = s->PNGBackground;
  PNGFilter = s->PNGFilter;
  PNGCompression = s->PNGCompression;
  FileName = s->FileName;
  IOComponent = owner;
  delete[] map;
  (void)mapCount;
  SetColorMap(s->ColorMap, s->ColorMapCount);
}

namespace {

bool Report(TFilterProgress& progress, int percent) {
  if (progress.OnProgress) {
    try {
      progress.OnProgress(progress.Sender, percent);
    } catch (...) {
      throw TVLHandlerRaised{std::current_exception()};
    }
  }
  if (!VLAborting(progress)) return false;
  if (progress.AbortCause == vcNone) progress.AbortCause = vcCancelled;
  return true;
}

}  // namespace

bool VLReportProgress(TFilterProgress& progress, int64_t rowsDone) {
  return Report(progress, int(Trunc((long double)rowsDone * progress.PercentPerRow)));
}

bool VLReportPercent(TFilterProgress& progress, int percent) { return Report(progress, percent); }

void VLSetAbort(TFilterProgress& progress) {
  if (progress.AbortFlag) *progress.AbortFlag = true;
}

void VLFail(TFilterProgress& progress, TVLCause cause, const std::string& reason) {
  if (progress.AbortCause == vcNone) progress.AbortCause = cause;
  if (progress.AbortReason.empty()) progress.AbortReason = reason;
  VLSetAbort(progress);
}

void VLResetAbort(TFilterProgress& progress) {
  if (progress.AbortFlag) *progress.AbortFlag = false;
  progress.AbortReason.clear();
  progress.AbortCause = vcNone;
}

std::string VLTagText(const uint8_t* Bytes) {
  size_t n = 0;
  while (n < 4 && Bytes[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(Bytes), n);
}

std::string VLStreamHeaderTag(const TVLStreamHeader& h) { return VLTagText(reinterpret_cast<const uint8_t*>(h.Tag)); }

bool VLReadStreamHeader(TStream* stream, TVLStreamHeader& h) {
  uint8_t b[12];
  if (stream->Read(b, 12) != 12) return false;
  std::memcpy(h.Tag, b, 4);
  h.Zero = int32_t(VLGetLE32(b + 4));
  h.Length = int32_t(VLGetLE32(b + 8));
  return true;
}

int64_t VLBeginStreamHeader(TStream* stream) {
  int64_t p = stream->Position();
  uint8_t zero[12] = {};
  stream->WriteBuffer(zero, 12);
  return p;
}

void VLEndStreamHeader(TStream* stream, int64_t headerPos, const char tag[4]) {
  int64_t e = stream->Position();
  stream->SetPosition(headerPos);
  stream->WriteBuffer(tag, 4);
  stream->WriteDWordLE(0);
  stream->WriteDWordLE(uint32_t(e - headerPos - 12));
  stream->SetPosition(e);
}
