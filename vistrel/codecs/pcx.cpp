#include "vistrel/codecs/pcx.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "vistrel/base/byteorder.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/kernels/quantizer.h"

namespace {

constexpr int kHeaderSize = 128;
constexpr int kPaletteBytes = 768;

// File palettes are red, green, blue; ours blue, green, red.
void PaletteFromFile(TRGB* dest, const uint8_t* src, int count) {
  for (int i = 0; i < count; ++i) dest[i] = TRGB{src[i * 3 + 2], src[i * 3 + 1], src[i * 3]};
}
void PaletteToFile(uint8_t* dest, const TRGB* src, int count) {
  for (int i = 0; i < count; ++i) {
    dest[i * 3] = src[i].R;
    dest[i * 3 + 1] = src[i].G;
    dest[i * 3 + 2] = src[i].B;
  }
}

// Row progress, before the row: Trunc(row x 100 / height).
bool RowProgress(TFilterProgress& progress, int row, int height) {
  return VLReportPercent(progress, int(int64_t(row) * 100 / height));
}

void ReadCore(TStream* stream, TBitmap* bitmap, TIOParamsVals& params, int64_t dataSize, TFilterProgress& progress,
              bool paramsOnly) {
  const int64_t start = stream->Position();
  const int64_t avail = stream->Size() - start;
  uint8_t h[kHeaderSize] = {};
  const int64_t got = avail > 0 ? stream->Read(h, std::min<int64_t>(avail, kHeaderSize)) : 0;
  if (got < 1 || h[0] != 10) return VLFail(progress, vcNotFormat, "not a PCX image");
  if (got < kHeaderSize) return VLFail(progress, vcTruncated, "truncated header");
  const int encoding = h[2];
  const int bits = h[3];
  if (bits > 8) return VLFail(progress, vcBadHeader, "unsupported depth");
  if (encoding > 1) return VLFail(progress, vcBadHeader, "unknown encoding");
  // The data can't run past the stream, whatever the caller or the file says.
  if (dataSize <= 0 || dataSize > avail) dataSize = avail;

  params.DpiX = VLGetLE16(h + 12);
  params.DpiY = VLGetLE16(h + 14);
  if (params.DpiX == 0 || params.DpiY == 0) {
    params.DpiX = ScreenPixelsPerInch();
    params.DpiY = ScreenPixelsPerInch();
  }
  const int planes = h[65];
  const int lineBytes = VLGetLE16(h + 66);
  const int width = int(VLGetLE16(h + 8)) - int(VLGetLE16(h + 4)) + 1;
  const int height = int(VLGetLE16(h + 10)) - int(VLGetLE16(h + 6)) + 1;

  TRGB small[16];
  PaletteFromFile(small, h + 16, 16);
  std::vector<TRGB> large(256);
  if (planes == 1 && bits > 4) {
    if (dataSize < kHeaderSize + kPaletteBytes) return VLFail(progress, vcTruncated, "missing palette");
    uint8_t p[kPaletteBytes];
    stream->SetPosition(start + dataSize - kPaletteBytes);
    stream->ReadBuffer(p, kPaletteBytes);
    PaletteFromFile(large.data(), p, 256);
    stream->SetPosition(start + kHeaderSize);
  }

  params.BitsPerSample = bits;
  params.SamplesPerPixel = planes;
  params.Width = width;
  params.Height = height;
  params.PCXVersion = h[1];
  params.PCXCompression = encoding == 1;
  if (bits == 8) {
    params.SetColorMap(large.data(), 256);
  } else if (bits == 1 && planes == 4) {
    params.SetColorMap(small, 16);
    params.BitsPerSample = 4;
    params.SamplesPerPixel = 1;
  } else if (bits > 0) {
    std::vector<TRGB> map(size_t(1) << bits);
    std::copy(small, small + std::min<size_t>(16, map.size()), map.begin());
    params.SetColorMap(map.data(), int(map.size()));
  } else {
    params.FreeColorMap();
  }
  if (paramsOnly) return;

  if (width < 1 || height < 1) return VLFail(progress, vcBadHeader, "bad image size");
  // Bytes of pixel data in one plane line.
  int64_t needed;
  TPixelFormat pf = pf24bit;
  if (planes == 1 && bits == 8) needed = width;
  else if (planes == 1 && bits == 4) needed = (int64_t(width) + 1) / 2;
  else if (planes == 1 && bits == 1) needed = (int64_t(width) + 7) / 8, pf = pf1bit;
  else if (planes == 3 && bits == 8) needed = width;
  else if (planes == 4 && bits == 1) needed = (int64_t(width) + 7) / 8;
  else return VLFail(progress, vcUnsupported, "unsupported depth");
  if (lineBytes < needed) return VLFail(progress, vcBadHeader, "bad bytes per line");
  if (BitmapRowBytes(width, pf == pf1bit ? 1 : 24) * height > TBitmap::MaxBytes())
    return VLFail(progress, vcTooLarge, "image too large");

  // The lines take no more than their decoded bytes, twice that when run-length coded (each
  // byte a run of its own); the image data are read as decoding goes, never past that.
  const int64_t decoded = int64_t(lineBytes) * planes * height;
  const int64_t dataLen = std::min(dataSize - kHeaderSize, encoding == 1 ? 2 * decoded + 2 : decoded);
  // Data that can't fill the picture (a run gives at most 63 bytes for 2) end it early:
  // nothing is allocated for them.
  if (decoded > (encoding == 1 ? dataLen / 2 * 63 + 63 : dataLen))
    return VLFail(progress, vcTruncated, "truncated image data");

  bitmap->SetSize(1, 1);
  bitmap->SetPixelFormat(pf);
  bitmap->SetSize(width, height);

  TPCXLineDecoder dec;
  dec.SetSource(stream, dataLen);
  dec.Compressed = encoding == 1;
  std::vector<uint8_t> line(size_t(lineBytes) * 4 + 8);
  uint8_t* l0 = line.data();
  uint8_t* l1 = l0 + lineBytes;
  uint8_t* l2 = l1 + lineBytes;
  uint8_t* l3 = l2 + lineBytes;
  // One row from its plane lines; false when the data ended first.
  auto decodeRow = [&](uint8_t* row) {
    bool ok = dec.DecodeLine(l0, lineBytes);
    if (planes == 1 && bits == 8) {
      for (int x = 0; x < width; ++x) std::memcpy(row + x * 3, &large[l0[x]], 3);
    } else if (planes == 1 && bits == 4) {
      for (int x = 0; x < width; ++x) {
        int v = (x & 1) ? (l0[x >> 1] & 15) : (l0[x >> 1] >> 4);
        std::memcpy(row + x * 3, &small[v], 3);
      }
    } else if (planes == 1) {
      std::memcpy(row, l0, size_t(needed));
    } else if (planes == 3) {
      ok = dec.DecodeLine(l1, lineBytes) && ok;
      ok = dec.DecodeLine(l2, lineBytes) && ok;
      for (int x = 0; x < width; ++x) {
        row[x * 3] = l2[x];
        row[x * 3 + 1] = l1[x];
        row[x * 3 + 2] = l0[x];
      }
    } else {
      ok = dec.DecodeLine(l1, lineBytes) && ok;
      ok = dec.DecodeLine(l2, lineBytes) && ok;
      ok = dec.DecodeLine(l3, lineBytes) && ok;
      for (int x = 0; x < width; ++x) {
        const int byte = x >> 3, shift = 7 - (x & 7);
        int v = ((l0[byte] >> shift) & 1) | (((l1[byte] >> shift) & 1) << 1) | (((l2[byte] >> shift) & 1) << 2) |
                (((l3[byte] >> shift) & 1) << 3);
        std::memcpy(row + x * 3, &small[v], 3);
      }
    }
    return ok;
  };
  // The stream is left after the image data, wherever decoding stopped.
  const bool complete = [&] {
    for (int y = 0; y < height; ++y) {
      if (RowProgress(progress, y, height)) return true;
      if (!decodeRow(bitmap->ScanLine(y))) return false;
    }
    return true;
  }();
  stream->SetPosition(start + dataSize);
  if (!complete) VLFail(progress, vcTruncated, "truncated image data");
}

void WriteCore(TStream* stream, TBitmap* source, TIOParamsVals& params, TFilterProgress& progress) {
  if (!source || source->Empty()) return VLFail(progress, vcNoPicture, "no picture");
  if (source->PixelFormat() != pf1bit && source->PixelFormat() != pf24bit)
    return VLFail(progress, vcUnsupported, "unsupported pixel format");
  const int width = source->Width(), height = source->Height();
  if (width > 65534 || height > 65535) return VLFail(progress, vcTooLarge, "picture too large");

  int depth = 1;
  if (params.BitsPerSample != 1) {
    depth = params.BitsPerSample * params.SamplesPerPixel;
    if (depth != 4 && depth != 8 && depth != 24) return VLFail(progress, vcUnsupported, "unsupported depth");
  }
  const TVLWorkingBitmap work = VLWorkingBitmapForWrite(source, depth == 1);
  TBitmap* bmp = work.Bitmap;

  int bits, planes, lineBytes, paletteInfo = 1;
  TRGB pal[256] = {};
  std::unique_ptr<TVLQuantizer> quant;
  switch (depth) {
    case 1:
      bits = 1, planes = 1, lineBytes = (width + 7) / 8;
      // A 1-bit file is black and white, whatever colours the picture had.
      pal[1] = TRGB{255, 255, 255};
      break;
    case 4:
      bits = 4, planes = 1, lineBytes = (width + 1) / 2;
      quant = std::make_unique<TVLQuantizer>(bmp, pal, 15, 16, -1, 0);
      break;
    case 8:
      bits = 8, planes = 1, lineBytes = width;
      quant = std::make_unique<TVLQuantizer>(bmp, pal, 255, 256, -1, 0);
      break;
    default: bits = 8, planes = 3, lineBytes = width, paletteInfo = 0; break;
  }
  if (lineBytes & 1) ++lineBytes;

  uint8_t h[kHeaderSize] = {};
  h[0] = 10;
  h[1] = uint8_t(params.PCXVersion);
  h[2] = params.PCXCompression ? 1 : 0;
  h[3] = uint8_t(bits);
  VLPutLE16(h + 8, width - 1);
  VLPutLE16(h + 10, height - 1);
  VLPutLE16(h + 12, params.DpiX);
  VLPutLE16(h + 14, params.DpiY);
  if (depth <= 4) PaletteToFile(h + 16, pal, 16);
  h[65] = uint8_t(planes);
  VLPutLE16(h + 66, lineBytes);
  VLPutLE16(h + 68, paletteInfo);
  stream->WriteBuffer(h, kHeaderSize);

  std::vector<uint8_t> enc(size_t(lineBytes) * 2 + 8);
  std::vector<uint8_t> idx(size_t(lineBytes) + 8);
  auto put = [&](const uint8_t* src, int count, int stride, int startAt) {
    if (params.PCXCompression) {
      int n = PCXEncodeLine(enc.data(), src, count, stride, startAt);
      stream->WriteBuffer(enc.data(), n);
    } else {
      std::fill(idx.begin(), idx.end(), 0);
      for (int i = 0; i < count; ++i) idx[size_t(i)] = src[int64_t(startAt) + int64_t(i) * stride];
      stream->WriteBuffer(idx.data(), lineBytes);
    }
  };
  for (int y = 0; y < height; ++y) {
    if (RowProgress(progress, y, height)) return;
    const uint8_t* row = bmp->ScanLine(y);
    switch (depth) {
      case 1: put(row, (width + 7) / 8, 1, 0); break;
      case 4: {
        std::vector<uint8_t> packed(size_t(lineBytes), 0);
        for (int x = 0; x < width; ++x) {
          int i = quant->ColorIndex(*reinterpret_cast<const TRGB*>(row + x * 3)) & 15;
          packed[size_t(x >> 1)] |= uint8_t((x & 1) ? i : i << 4);
        }
        put(packed.data(), (width + 1) / 2, 1, 0);
        break;
      }
      case 8: {
        std::vector<uint8_t> line(static_cast<size_t>(width));
        for (int x = 0; x < width; ++x)
          line[size_t(x)] = uint8_t(quant->ColorIndex(*reinterpret_cast<const TRGB*>(row + x * 3)));
        put(line.data(), width, 1, 0);
        break;
      }
      default:
        put(row, width, 3, 2);
        put(row, width, 3, 1);
        put(row, width, 3, 0);
        break;
    }
  }
  if (depth == 8 && !VLAborting(progress)) {
    // The marker byte ahead of the palette is what other readers look for.
    uint8_t p[kPaletteBytes + 1];
    p[0] = 12;
    PaletteToFile(p + 1, pal, 256);
    stream->WriteBuffer(p, sizeof p);
  }
}

}  // namespace

void TPCXLineDecoder::SetSource(TStream* Stream, int64_t Left) {
  FSource = Stream;
  FLeft = std::max<int64_t>(Left, 0);
  Data = nullptr;
  Size = Pos = 0;
}

bool TPCXLineDecoder::More() {
  if (Pos < Size) return true;
  if (!FSource || FLeft <= 0) return false;
  constexpr int64_t kBlock = 64 * 1024;
  const int64_t want = std::min(FLeft, kBlock);
  FBlock.resize(size_t(want));
  const int64_t got = FSource->Read(FBlock.data(), want);
  FLeft = got < want ? 0 : FLeft - got;
  Data = FBlock.data();
  Size = std::max<int64_t>(got, 0);
  Pos = 0;
  return Size > 0;
}

bool TPCXLineDecoder::DecodeLine(uint8_t* Line, int Count) {
  int n = 0;
  if (!Compressed) {
    while (n < Count && More()) {
      const int64_t take = std::min<int64_t>(Count - n, Size - Pos);
      std::memcpy(Line + n, Data + Pos, size_t(take));
      Pos += take;
      n += int(take);
    }
  } else {
    if (RunCount > 0) {
      int k = std::min(RunCount, Count);
      std::memset(Line, RunValue, size_t(k));
      n = k;
      RunCount -= k;
    }
    while (n < Count && More()) {
      uint8_t b = Data[Pos++];
      if (b < 0xC0) {
        Line[n++] = b;
        continue;
      }
      if (!More()) break;
      int count = b & 0x3F;
      uint8_t v = Data[Pos++];
      int k = std::min(count, Count - n);
      std::memset(Line + n, v, size_t(k));
      n += k;
      RunCount = count - k;
      RunValue = v;
    }
  }
  if (n < Count) {
    std::memset(Line + n, 0, size_t(Count - n));
    return false;
  }
  return true;
}

int PCXEncodeLine(uint8_t* Dest, const uint8_t* Source, int Count, int Stride, int Start) {
  int out = 0;
  int i = 0;
  while (i < Count) {
    const uint8_t v = Source[int64_t(Start) + int64_t(i) * Stride];
    int run = 1;
    while (run < 63 && i + run < Count && Source[int64_t(Start) + int64_t(i + run) * Stride] == v) ++run;
    if (run > 1 || v >= 0xC0) {
      Dest[out++] = uint8_t(0xC0 | run);
      Dest[out++] = v;
    } else {
      Dest[out++] = v;
    }
    i += run;
  }
  if (Count & 1) Dest[out++] = 0;
  return out;
}

bool VLIsPCX(const uint8_t* Head, int64_t StreamSize) {
  const std::string tag = VLTagText(Head);
  return (StreamSize > 12 && tag == "PCX2") || (StreamSize > 4 && tag == "PCX") ||
         (StreamSize > kHeaderSize && Head[0] == 10 && Head[1] <= 5);
}

void ReadPCXStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, int64_t DataSize, TFilterProgress& Progress,
                   bool ParamsOnly) {
  VLGuardCodec(Progress, crRead, [&] { ReadCore(Stream, Bitmap, Params, DataSize, Progress, ParamsOnly); });
}

void ReadPCXFile(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress) {
  std::unique_ptr<TFileStream> fs;
  try {
    fs = std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
  } catch (const std::exception&) {
    return VLFail(Progress, vcNoPicture, "cannot open file");
  }
  ReadPCXStream(fs.get(), Bitmap, Params, fs->Size(), Progress, false);
}

void WritePCXStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress) {
  VLGuardCodec(Progress, crWrite, [&] { WriteCore(Stream, Bitmap, Params, Progress); });
}
