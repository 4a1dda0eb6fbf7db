// The viewer's GIF, PCX and TIFF readers over the editor's codecs.
#include <cstring>
#include <memory>
#include <vector>

#include "corvelo/library/readers.h"
#include "corvelo/library/readers_p.h"
#include "vistrel/codecs/gif.h"
#include "vistrel/codecs/pcx.h"
#include "vistrel/codecs/tiff.h"

namespace corvelo::lib {

namespace {

// The GIF coder hook is a plain function, so the indices it leaves are kept through this
// stand-in, which calls the coder the read would have used.
struct TIndexKeeper {
  TGIFLZWDecoder Coder = nullptr;
  std::vector<uint8_t>* Indices = nullptr;
};
thread_local TIndexKeeper gKeeper;

void KeepIndices(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Buffer) {
  const TIndexKeeper k = gKeeper;
  k.Coder(Stream, Height, Width, Interlaced, Buffer);
  k.Indices->assign(Buffer, Buffer + size_t(Width) * size_t(Height));
}

class TIndexKeeperScope {
 public:
  TIndexKeeperScope(TGIFLZWDecoder Coder, std::vector<uint8_t>* Indices) : FSaved(gKeeper) {
    gKeeper = TIndexKeeper{Coder, Indices};
  }
  ~TIndexKeeperScope() { gKeeper = FSaved; }
  TIndexKeeperScope(const TIndexKeeperScope&) = delete;
  TIndexKeeperScope& operator=(const TIndexKeeperScope&) = delete;

 private:
  TIndexKeeper FSaved;
};

// A two-colour picture as 1 bit whatever its colours: 1 where the index is not 0.
void IndicesTo1Bit(TBitmap* Bitmap, const std::vector<uint8_t>& Indices) {
  const int w = Bitmap->Width(), h = Bitmap->Height();
  if (int64_t(Indices.size()) != int64_t(w) * h) return;
  Bitmap->SetSize(0, 0);
  Bitmap->SetPixelFormat(pf1bit);
  Bitmap->SetSize(w, h);
  const uint8_t* src = Indices.data();
  for (int y = 0; y < h; ++y, src += w) {
    uint8_t* row = Bitmap->ScanLine(y);
    for (int x = 0; x < w; ++x)
      if (src[x]) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
}

}  // namespace

void ReadGIFStream(TStream* Stream, TBitmap* Bitmap, int32_t& ImageCount, TIOParamsVals& Params,
                   TFilterProgress& Progress) {
  const TGIFLZWDecoder coder = Params.GIFLZWDecompress ? Params.GIFLZWDecompress : DefaultGIFLZWDecompressor;
  if (!coder) {
    // Without a coder the read ends at the wanted image, before anything is decoded: a walk
    // that fills the parameters tells whether it is there.
    const TVLCause cause = VLRunViewerCodec(
        Params, Progress, [&](::TIOParamsVals& p) { ::ReadGIFStream(Stream, Bitmap, ImageCount, p, Progress, true); });
    if (cause == vcCancelled) return;
    throw EInvalidGraphic(cause == vcNone ? "LZW decompressor not found" : "unrecognized GIF");
  }
  std::vector<uint8_t> indices;
  TIndexKeeperScope keeper(coder, &indices);
  const TVLCause cause = VLRunViewerCodec(Params, Progress, [&](::TIOParamsVals& p) {
    p.GIFLZWDecompress = KeepIndices;
    ::ReadGIFStream(Stream, Bitmap, ImageCount, p, Progress, false);
    p.GIFLZWDecompress = Params.GIFLZWDecompress;
  });
  if (VLViewerReadFailed(cause)) throw EInvalidGraphic("unrecognized GIF");
  if (cause == vcNone && Params.BitsPerSample == 1 && Bitmap->PixelFormat() != pf1bit) IndicesTo1Bit(Bitmap, indices);
}

void ReadGIFFile(const std::string& FileName, TBitmap* Bitmap, int32_t& ImageCount, TIOParamsVals& Params,
                 TFilterProgress& Progress) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  ReadGIFStream(&f, Bitmap, ImageCount, Params, Progress);
}

void ReadPCXStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, int64_t DataSize,
                   TFilterProgress& Progress) {
  // The header's kinds this build takes: one or three planes, no more than 8 bits a plane.
  uint8_t h[128] = {};
  const int64_t at = Stream->Position();
  const int64_t got = Stream->Read(h, sizeof h);
  Stream->SetPosition(at);
  const int planes = h[65];
  if (got < int64_t(sizeof h) || h[0] != 10 || h[3] > 8 || (planes != 1 && planes != 3) || h[2] > 1)
    throw EInvalidGraphic("unrecognized PCX");
  const TVLCause cause = VLRunViewerCodec(
      Params, Progress, [&](::TIOParamsVals& p) { ::ReadPCXStream(Stream, Bitmap, p, DataSize, Progress, false); });
  if (VLViewerReadFailed(cause)) throw EInvalidGraphic("unrecognized PCX");
}

void ReadPCXFile(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  ReadPCXStream(&f, Bitmap, Params, f.Size(), Progress);
}

void ReadTIFFStream(TBitmap* Bitmap, TStream* Stream, int& ImageCount, TIOParamsVals& Params,
                    TFilterProgress& Progress) {
  const TVLCause cause = VLRunViewerCodec(
      Params, Progress, [&](::TIOParamsVals& p) { ::ReadTIFFStream(Bitmap, Stream, ImageCount, p, Progress, false); });
  switch (cause) {
    case vcNone:
    case vcCancelled: return;
    case vcNotFormat: throw EInvalidGraphic("unrecognized TIFF");
    case vcNoCoder: throw EInvalidGraphic("LZW Decompressor not found");
    default: throw EInvalidGraphic("Invalid TIFF stream");
  }
}

}  // namespace corvelo::lib
