#include "vistrel/codecs/ico.h"

#include <cstring>
#include <new>
#include <vector>

#include "vistrel/base/byteorder.h"
#include "vistrel/codecs/bmp.h"
#include "vistrel/codecs/png.h"

namespace {

bool IsDirectory(TStream* s, int type) {
  const int64_t keep = s->Position();
  bool ok = false;
  try {
    ok = [&] {
      if (s->Size() - keep <= 22) return false;
      uint8_t h[6];
      if (s->Read(h, 6) != 6 || VLGetLE16(h) != 0 || VLGetLE16(h + 2) != type) return false;
      for (int i = 0, n = VLGetLE16(h + 4); i < n; ++i) {
        uint8_t e[16];
        if (s->Read(e, 16) != 16) return false;
        if (e[3] != 0 || VLGetLE32(e + 8) == 0 || s->Position() - keep > int64_t(VLGetLE32(e + 12))) return false;
      }
      return true;
    }();
  } catch (const std::exception&) {
    ok = false;
  }
  s->SetPosition(keep);
  return ok;
}

int32_t DpiOf(int32_t pelsPerMeter) {
  if (pelsPerMeter >= 1) {
    int64_t d = Round((long double)pelsPerMeter * 0.01L * 2.54L);
    if (d >= 1 && d <= 0x7FFFFFFF) return int32_t(d);
  }
  return ScreenPixelsPerInch();
}

void ReadCore(TStream* stream, TBitmap* bitmap, TIOParamsVals& params, TFilterProgress& progress, bool paramsOnly,
              bool cursor) {
  const int64_t start = stream->Position();
  uint8_t h[6];
  if (stream->Read(h, 6) != 6) VLThrowFail(vcTruncated, "truncated header");
  if (!cursor && h[0] == 'B' && h[1] == 'M') {
    stream->SetPosition(start);
    return ReadBMPStream(stream, bitmap, params, stream->Size() - start, progress, paramsOnly);
  }
  if (VLGetLE16(h) != 0 || (VLGetLE16(h + 2) != 1 && VLGetLE16(h + 2) != 2))
    VLThrowFail(vcNotFormat, "not an icon file");
  const int count = VLGetLE16(h + 4);
  const int32_t index = cursor ? params.CURImageIndex : params.ICOImageIndex;
  if (index < 0 || index >= count) VLThrowFail(vcNoImage, "no image of that index");
  uint8_t e[16];
  stream->SetPosition(start + 6 + int64_t(index) * 16);
  if (stream->Read(e, 16) != 16) VLThrowFail(vcTruncated, "truncated directory");

  const int width = e[0] ? e[0] : 256;
  const int height = e[1] ? e[1] : 256;
  params.Width = width;
  params.Height = height;
  params.SamplesPerPixel = 1;
  if (cursor) {
    params.CURXHotSpot = VLGetLE16(e + 4);
    params.CURYHotSpot = VLGetLE16(e + 6);
  }
  const int64_t data = start + int64_t(VLGetLE32(e + 12));
  if (data + 8 > stream->Size()) VLThrowFail(vcTruncated, "bad image offset");
  stream->SetPosition(data);
  uint8_t sig[8];
  stream->ReadBuffer(sig, 8);
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (std::memcmp(sig, kPng, 8) == 0) {
    stream->SetPosition(data);
    return LoadPngFromStream(stream, bitmap, params, paramsOnly, progress);
  }

  stream->SetPosition(data);
  uint8_t bi[40];
  if (stream->Read(bi, 40) != 40) VLThrowFail(vcTruncated, "truncated info header");
  const uint32_t headerSize = VLGetLE32(bi);
  if (headerSize < 40 || headerSize > 1024) VLThrowFail(vcBadHeader, "bad info header");
  stream->SetPosition(data + headerSize);
  params.DpiX = DpiOf(int32_t(VLGetLE32(bi + 24)));
  params.DpiY = DpiOf(int32_t(VLGetLE32(bi + 28)));

  int bits = VLGetLE16(bi + 14);
  if (bits == 0 && !cursor) bits = VLGetLE16(e + 6);
  if (bits == 0 && e[2] != 0) {
    bits = 1;
    while ((1 << bits) < e[2]) ++bits;
  }
  if (bits == 0) VLThrowFail(vcBadHeader, "no bit count");
  params.BitsPerSample = bits;

  // The palette as the file lays it out; the entry's colour count says how much of it is used.
  std::vector<TRGB> map;
  int colours = 0;
  params.FreeColorMap();
  if (bits <= 8) {
    const uint32_t used = VLGetLE32(bi + 32);
    const int entries = used >= 1 && used <= (1u << bits) ? int(used) : 1 << bits;
    std::vector<uint8_t> raw(size_t(entries) * 4);
    if (stream->Read(raw.data(), int64_t(raw.size())) != int64_t(raw.size()))
      VLThrowFail(vcTruncated, "truncated palette");
    map.resize(size_t(entries));
    for (int i = 0; i < entries; ++i)
      map[size_t(i)] = TRGB{raw[size_t(i) * 4], raw[size_t(i) * 4 + 1], raw[size_t(i) * 4 + 2]};
    colours = e[2] != 0 && e[2] <= entries ? e[2] : entries;
    params.SetColorMap(map.data(), colours);
  }
  if (bits == 24 || bits == 32) {
    // A true-colour picture, as a BMP of that depth reads.
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 3;
  }
  if (paramsOnly) return;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) VLThrowFail(vcUnsupported, "unsupported depth");

  const int64_t rowLen = (int64_t(width) * bits + 31) / 32 * 4;
  std::vector<uint8_t> rows(size_t(rowLen * height));
  if (stream->Read(rows.data(), int64_t(rows.size())) != int64_t(rows.size()))
    VLThrowFail(vcTruncated, "truncated image data");

  // A black and white 1-bit image stays 1 bit (white, black is inverted); other pairs go
  // through their palette.
  const TRGB black{0, 0, 0}, white{255, 255, 255};
  const bool bw = bits == 1 && colours == 2 && map[0] == black && map[1] == white;
  const bool wb = bits == 1 && colours == 2 && map[0] == white && map[1] == black;
  bitmap->SetSize(1, 1);
  bitmap->SetPixelFormat(bw || wb ? pf1bit : pf24bit);
  bitmap->SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = rows.data() + (height - 1 - y) * rowLen;
    uint8_t* dst = bitmap->ScanLine(y);
    if (bw || wb) {
      const int n = (width + 7) / 8;
      for (int i = 0; i < n; ++i) dst[i] = wb ? uint8_t(~src[i]) : src[i];
      continue;
    }
    for (int x = 0; x < width; ++x) {
      TRGB c;
      if (bits <= 8) {
        int v;
        if (bits == 1) v = (src[x >> 3] >> (7 - (x & 7))) & 1;
        else if (bits == 4) v = (x & 1) ? (src[x >> 1] & 15) : (src[x >> 1] >> 4);
        else v = src[x];
        c = v < colours ? map[size_t(v)] : black;
      } else {
        const uint8_t* p = src + x * (bits / 8);
        c = TRGB{p[0], p[1], p[2]};
      }
      std::memcpy(dst + x * 3, &c, 3);
    }
  }
}

void Read(TStream* stream, TBitmap* bitmap, TIOParamsVals& params, TFilterProgress& progress, bool paramsOnly,
          bool cursor) {
  VLGuardCodec(progress, crRead, [&] { ReadCore(stream, bitmap, params, progress, paramsOnly, cursor); });
}

}  // namespace

bool IsICOStream(TStream* Stream) { return IsDirectory(Stream, 1); }
bool IsCURStream(TStream* Stream) { return IsDirectory(Stream, 2); }

void ReadICOStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress,
                   bool ParamsOnly) {
  Read(Stream, Bitmap, Params, Progress, ParamsOnly, false);
}

void ReadCURStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress,
                   bool ParamsOnly) {
  Read(Stream, Bitmap, Params, Progress, ParamsOnly, true);
}
