// The viewer's JPEG, BMP and PNG readers over the editor's codecs.
#include "corvelo/library/readers.h"
#include "corvelo/library/readers_p.h"
#include "vistrel/codecs/bmp.h"
#include "vistrel/codecs/jpeg.h"
#include "vistrel/codecs/png.h"
#include "vistrel/proc/kernels/pixels.h"

namespace corvelo::lib {

void LoadJpegFromStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress) {
  // The library's header reading decides what is a JPEG.
  TJpegReadOptions options;
  options.TestSignature = false;
  options.UseScale = false;
  const TVLCause cause = VLRunViewerCodec(
      Params, Progress, [&](::TIOParamsVals& p) { LoadJpegCore(Stream, Bitmap, p, false, Progress, options); });
  if (!VLViewerReadFailed(cause)) return;
  // Our own refusals (a picture past the size limit) have no library message number.
  const std::string what =
      options.LastMessageCode != 0 ? Format("JPEG error #%d", options.LastMessageCode) : Progress.AbortReason;
  throw EInvalidGraphic("Unrecognized JPeg - " + what);
}

void ReadBMPStream(TStream* Stream, TBitmap* Bitmap, int64_t DataLength, TFilterProgress& Progress,
                   TIOParamsVals& Params) {
  const TVLCause cause = VLRunViewerCodec(
      Params, Progress, [&](::TIOParamsVals& p) { ::ReadBMPStream(Stream, Bitmap, p, DataLength, Progress, false); });
  if (VLViewerReadFailed(cause)) throw EInvalidGraphic("unrecognized BMP");
  // The codec turns a white, black palette into 0 black bits once the picture is read;
  // this build takes the bits as stored.
  const TRGB white{255, 255, 255}, black{0, 0, 0};
  if (cause == vcNone && Bitmap && Bitmap->PixelFormat() == pf1bit && Params.ColorMapCount == 2 &&
      Params.ColorMap[0] == white && Params.ColorMap[1] == black)
    VLInvert1Bit(Bitmap);
}

void LoadPngFromStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress) {
  const TVLCause cause =
      VLRunViewerCodec(Params, Progress, [&](::TIOParamsVals& p) { LoadPngCore(Stream, Bitmap, p, false, Progress); });
  if (VLViewerReadFailed(cause)) throw EInvalidGraphic("Unrecognized PNG");
}

}  // namespace corvelo::lib
