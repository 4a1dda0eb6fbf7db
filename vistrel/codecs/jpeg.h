// JPEG reading and writing (JFIF and Adobe CMYK) over libjpeg, with stream source and
// destination managers of our own.
#pragma once
#include <cstdint>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

struct jpeg_common_struct;

// Content sniffer: FF D8 FF, or a "JFIF" stream header in a stream of more than 12 bytes.
bool VLIsJPEG(const uint8_t* Head, int64_t StreamSize);
// True when the next three bytes are FF D8 FF; the position is restored.
bool HasJpegSignature(TStream* Stream);

void LoadJpegFromStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                        TFilterProgress& Progress);
void SaveJpegToStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);

// What the decode core is asked to do beyond the parameters, and what it found.
struct TJpegReadOptions {
  bool TestSignature = true;  // stop at once without FF D8 FF
  bool UseScale = true;       // honour JPEGScale (else full size)
  int LastMessageCode = 0;    // out: the library's last message code when it failed
};
// The decode core shared by every JPEG reader: failures set the abort flag through VLFail
// with a short reason; exceptions of the progress handler pass on after the clean-up.
void LoadJpegCore(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly, TFilterProgress& Progress,
                  TJpegReadOptions& Options);

// One decoded pixel of four bytes (cyan, magenta, yellow stored inverted, and black) to
// blue, green, red.
inline void CmykToBgr(const uint8_t* Cmyk, uint8_t* Bgr) {
  const int k = Cmyk[3];
  Bgr[2] = uint8_t(Cmyk[0] * k / 255);
  Bgr[1] = uint8_t(Cmyk[1] * k / 255);
  Bgr[0] = uint8_t(Cmyk[2] * k / 255);
}
// Blue, green, red to the four bytes written in a CMYK file.
inline void BgrToCmyk(const uint8_t* Bgr, uint8_t* Cmyk) {
  const int b = Bgr[0], g = Bgr[1], r = Bgr[2];
  int k = r > g ? r : g;
  if (b > k) k = b;
  if (k == 0) k = 1;
  Cmyk[0] = uint8_t(r * 255 / k);
  Cmyk[1] = uint8_t(g * 255 / k);
  Cmyk[2] = uint8_t(b * 255 / k);
  Cmyk[3] = uint8_t(k);
}

// Operations of the error manager.
void JpegErrorExit(jpeg_common_struct* cinfo);
void JpegEmitMessage(jpeg_common_struct* cinfo, int msgLevel);
void JpegOutputMessage(jpeg_common_struct* cinfo);
void JpegFormatMessage(jpeg_common_struct* cinfo, char* buffer);
void JpegResetErrorMgr(jpeg_common_struct* cinfo);
