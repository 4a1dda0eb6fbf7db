#include "vistrel/codecs/gif.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/kernels/quantizer.h"

namespace {

// An LZW code of b bits (b <= 12) stands for at most 2^b pixels, so a byte of image data gives
// at most 8 x 4096 / 12 of them; a file cut short still gets four times that before its
// picture is taken as more than its data can fill.
constexpr int64_t kMaxPixelsPerDataByte = 4 * 8 * 4096 / 12;

bool ReadByte(TStream* s, uint8_t& b) { return s->Read(&b, 1) == 1; }

// Skips data sub-blocks up to the zero-length terminator or the end of the stream.
// False when a block runs past the end.
bool SkipSubBlocks(TStream* s, int64_t size) {
  uint8_t len;
  while (ReadByte(s, len) && len != 0) {
    if (s->Seek(len, soCurrent) > size) return false;
  }
  return true;
}

// Bytes of image data in the sub-blocks after the LZW minimum code size byte at the stream's
// position; the position is restored.
int64_t CountImageDataBytes(TStream* s) {
  const int64_t start = s->Position(), size = s->Size();
  int64_t count = 0;
  uint8_t len;
  if (ReadByte(s, len)) {
    while (ReadByte(s, len) && len != 0) {
      const int64_t at = s->Position();
      count += std::min<int64_t>(len, size - at);
      if (at + len >= size) break;
      s->Seek(len, soCurrent);
    }
  }
  s->SetPosition(start);
  return count;
}

void TableFromFile(TRGB* dest, const uint8_t* src, int count) {
  for (int i = 0; i < count; ++i) dest[i] = TRGB{src[i * 3 + 2], src[i * 3 + 1], src[i * 3]};
}

// Reads a colour table of 2^(field+1) entries; false when the stream ends first.
bool ReadTable(TStream* s, TRGB* table, int field) {
  const int n = 2 << field;
  uint8_t raw[768];
  if (s->Read(raw, n * 3) != n * 3) return false;
  TableFromFile(table, raw, n);
  return true;
}

struct TDescriptor {
  int Left, Top, Width, Height, Flags;
};

TGIFLZWDecoder DecoderOf(const TIOParamsVals& p) {
  return p.GIFLZWDecompress ? p.GIFLZWDecompress : DefaultGIFLZWDecompressor;
}
TGIFLZWEncoder EncoderOf(const TIOParamsVals& p) {
  return p.GIFLZWCompress ? p.GIFLZWCompress : DefaultGIFLZWCompressor;
}

// The wanted image; the stream is on its LZW minimum code size byte.
void ReadWanted(TStream* stream, TBitmap* bitmap, TIOParamsVals& params, TFilterProgress& progress, bool paramsOnly,
                const TDescriptor& d, const TRGB* table, int tableField, const uint8_t gce[4]) {
  if (VLReportPercent(progress, 30)) return;
  params.GIFTranspColor = table[gce[3]];
  params.GIFXPos = d.Left;
  params.GIFYPos = d.Top;
  params.Width = d.Width;
  params.Height = d.Height;
  params.GIFDelayTime = gce[1] | (gce[2] << 8);
  params.GIFTransparent = (gce[0] & 1) != 0;
  params.GIFInterlaced = (d.Flags & 0x40) != 0;

  std::vector<uint8_t> index;
  if (paramsOnly) {
    uint8_t minCode;
    if (ReadByte(stream, minCode)) SkipSubBlocks(stream, stream->Size());
  } else {
    if (d.Width < 1 || d.Height < 1) return VLFail(progress, vcBadHeader, "empty image");
    // The frame and the logical screen it is shown on must both fit the limit.
    const int64_t limit = TBitmap::MaxBytes();
    if (BitmapRowBytes(d.Width, 24) * d.Height > limit ||
        BitmapRowBytes(params.GIFWinWidth, 24) * int64_t(params.GIFWinHeight) > limit)
      return VLFail(progress, vcTooLarge, "image too large");
    if (int64_t(d.Width) * d.Height > CountImageDataBytes(stream) * kMaxPixelsPerDataByte)
      return VLFail(progress, vcTruncated, "GIF data too short for its picture");
    TGIFLZWDecoder decoder = DecoderOf(params);
    if (!decoder) return VLFail(progress, vcNoCoder, "no LZW decoder");
    index.assign(size_t(d.Width) * size_t(d.Height), 0);
    const int64_t before = stream->Position();
    decoder(stream, d.Height, d.Width, params.GIFInterlaced, index.data());
    if (stream->Position() == before) return VLFail(progress, vcBadData, "LZW decoder read nothing");
    if (VLReportPercent(progress, 70)) return;
    bitmap->SetSize(1, 1);
  }

  params.BitsPerSample = tableField + 1;
  params.SetColorMap(table, 1 << params.BitsPerSample);
  if (paramsOnly) return;

  const TRGB* map = params.ColorMap;
  const bool bw = params.BitsPerSample == 1 && map[0] == TRGB{0, 0, 0} && map[1] == TRGB{255, 255, 255};
  bitmap->SetPixelFormat(bw ? pf1bit : pf24bit);
  bitmap->SetSize(d.Width, d.Height);
  const uint8_t* src = index.data();
  for (int y = 0; y < d.Height; ++y, src += d.Width) {
    uint8_t* row = bitmap->ScanLine(y);
    if (bw) {
      std::memset(row, 0, size_t(d.Width + 7) / 8);
      for (int x = 0; x < d.Width; ++x)
        if (src[x]) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    } else {
      // The table always has 256 entries, so any index is inside it.
      for (int x = 0; x < d.Width; ++x) std::memcpy(row + x * 3, &table[src[x]], 3);
    }
  }
}

// What every read takes from the header; the background only with the global table read.
void HeaderParams(const uint8_t h[13], const TRGB global[256], bool table, TIOParamsVals& params) {
  params.GIFVersion.assign(reinterpret_cast<const char*>(h), 6);
  params.GIFWinWidth = h[6] | (h[7] << 8);
  params.GIFWinHeight = h[8] | (h[9] << 8);
  params.GIFRatio = h[12];
  params.DpiX = ScreenPixelsPerInch();
  params.DpiY = ScreenPixelsPerInch();
  params.SamplesPerPixel = 1;
  if (table && (h[10] & 0x80)) params.GIFBackground = global[h[11]];
}

void ReadCore(TStream* stream, TBitmap* bitmap, int32_t& imageCount, TIOParamsVals& params, TFilterProgress& progress,
              bool paramsOnly) {
  if (VLReportPercent(progress, 0)) return;
  uint8_t gce[4] = {0, 0, 0, 0};
  const int32_t wanted = params.GIFImageIndex;
  uint8_t h[13];
  const int64_t got = stream->Read(h, 13);
  if (got < 3 || std::memcmp(h, "GIF", 3) != 0) return VLFail(progress, vcNotFormat, "not a GIF file");
  if (got != 13) return VLFail(progress, vcTruncated, "truncated file");
  // Tables missing from the file read as black.
  TRGB global[256] = {};
  HeaderParams(h, global, false, params);
  const int globalField = h[10] & 7;
  if (h[10] & 0x80) {
    if (!ReadTable(stream, global, globalField)) return VLFail(progress, vcTruncated, "truncated colour table");
    params.GIFBackground = global[h[11]];
  }

  const int64_t size = stream->Size();
  bool found = false, trailer = false;
  imageCount = 0;
  while (!VLAborting(progress)) {
    uint8_t b;
    if (!ReadByte(stream, b)) break;
    if (b == 0x3B) {
      trailer = true;
      break;
    }
    if (stream->Position() >= size) break;
    if (b == 0x21) {
      uint8_t label;
      if (!ReadByte(stream, label)) break;
      if (label == 0xF9 && imageCount == wanted) {
        uint8_t block[6];
        if (stream->Read(block, 6) != 6) break;
        std::memcpy(gce, block + 1, 4);
      } else if (!SkipSubBlocks(stream, size)) {
        break;
      }
    } else if (b == 0x2C) {
      uint8_t raw[9];
      if (stream->Read(raw, 9) != 9) break;
      TDescriptor d{raw[0] | (raw[1] << 8), raw[2] | (raw[3] << 8), raw[4] | (raw[5] << 8), raw[6] | (raw[7] << 8),
                    raw[8]};
      TRGB local[256] = {};
      const bool hasLocal = (d.Flags & 0x80) != 0;
      if (hasLocal && !ReadTable(stream, local, d.Flags & 7)) break;
      if (imageCount != wanted) {
        uint8_t minCode;
        if (!ReadByte(stream, minCode) || !SkipSubBlocks(stream, size)) {
          ++imageCount;
          break;
        }
      } else {
        found = true;
        if (hasLocal) ReadWanted(stream, bitmap, params, progress, paramsOnly, d, local, d.Flags & 7, gce);
        else ReadWanted(stream, bitmap, params, progress, paramsOnly, d, global, globalField, gce);
      }
      ++imageCount;
    }
  }
  if (VLAborting(progress)) return;
  if (!found) {
    if (trailer) return VLFail(progress, vcNoImage, "no image of that index");
    return VLFail(progress, vcTruncated, "truncated file");
  }
  VLReportPercent(progress, 100);
}

void WriteCore(TStream* stream, TBitmap* source, TIOParamsVals& params, TFilterProgress& progress) {
  if (VLReportPercent(progress, 0)) return;
  if (!source || source->Empty()) return VLFail(progress, vcNoPicture, "no picture");
  if (source->PixelFormat() != pf1bit && source->PixelFormat() != pf24bit)
    return VLFail(progress, vcUnsupported, "unsupported pixel format");
  const int width = source->Width(), height = source->Height();
  if (width > 65535 || height > 65535) return VLFail(progress, vcTooLarge, "picture too large");

  int depth = 1;
  if (params.BitsPerSample != 1) {
    depth = params.BitsPerSample;
    if (depth < 1 || depth > 8) return VLFail(progress, vcUnsupported, "unsupported depth");
  }
  const TVLWorkingBitmap work = VLWorkingBitmapForWrite(source, depth == 1);
  TBitmap* bmp = work.Bitmap;
  const int n = 1 << depth;

  TRGB table[256] = {};
  std::vector<uint8_t> index(size_t(width) * size_t(height));
  std::unique_ptr<TVLQuantizer> quant;
  int background, transparent;
  if (bmp->PixelFormat() == pf24bit) {
    quant = std::make_unique<TVLQuantizer>(bmp, table, 255, n, -1, 0);
    uint8_t* dst = index.data();
    for (int y = 0; y < height; ++y) {
      const TRGB* row = reinterpret_cast<const TRGB*>(bmp->ScanLine(y));
      for (int x = 0; x < width; ++x) *dst++ = uint8_t(std::min(quant->ColorIndex(row[x]), n - 1));
    }
    background = std::min(quant->ColorIndex(params.GIFBackground), n - 1);
    transparent = std::min(quant->ColorIndex(params.GIFTranspColor), n - 1);
  } else {
    table[1] = TRGB{255, 255, 255};
    uint8_t* dst = index.data();
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = bmp->ScanLine(y);
      for (int x = 0; x < width; ++x) *dst++ = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
    background = VLNearestPaletteIndex(table, n, VLTripleToPacked(params.GIFBackground));
    transparent = VLNearestPaletteIndex(table, n, VLTripleToPacked(params.GIFTranspColor));
  }
  std::vector<uint8_t> fileTable(size_t(n) * 3);
  for (int i = 0; i < n; ++i) {
    fileTable[size_t(i) * 3] = table[i].R;
    fileTable[size_t(i) * 3 + 1] = table[i].G;
    fileTable[size_t(i) * 3 + 2] = table[i].B;
  }
  if (VLReportPercent(progress, 30)) return;

  uint8_t h[13];
  const char* version = "GIF89a";
  for (int i = 0; i < 6; ++i)
    h[i] = i < int(params.GIFVersion.size()) ? uint8_t(params.GIFVersion[size_t(i)]) : uint8_t(version[i]);
  h[6] = uint8_t(width);
  h[7] = uint8_t(width >> 8);
  h[8] = uint8_t(height);
  h[9] = uint8_t(height >> 8);
  h[10] = uint8_t(0x80 | (depth - 1) | ((depth - 1) << 4));
  h[11] = uint8_t(background);
  h[12] = 0;
  stream->WriteBuffer(h, 13);
  stream->WriteBuffer(fileTable.data(), int64_t(fileTable.size()));
  const uint8_t gce[8] = {0x21,
                          0xF9,
                          0x04,
                          uint8_t(0x08 | (params.GIFTransparent ? 1 : 0)),
                          uint8_t(params.GIFDelayTime),
                          uint8_t(params.GIFDelayTime >> 8),
                          uint8_t(transparent),
                          0x00};
  stream->WriteBuffer(gce, 8);
  const uint8_t desc[10] = {0x2C,
                            uint8_t(params.GIFXPos),
                            uint8_t(params.GIFXPos >> 8),
                            uint8_t(params.GIFYPos),
                            uint8_t(params.GIFYPos >> 8),
                            uint8_t(width),
                            uint8_t(width >> 8),
                            uint8_t(height),
                            uint8_t(height >> 8),
                            uint8_t(params.GIFInterlaced ? 0x40 : 0x00)};
  stream->WriteBuffer(desc, 10);
  if (VLReportPercent(progress, 70)) return;

  TGIFLZWEncoder encoder = EncoderOf(params);
  if (!encoder) return VLFail(progress, vcNoCoder, "no LZW encoder");
  encoder(stream, height, width, params.GIFInterlaced, index.data(), depth);
  stream->WriteByte(0x3B);
  VLReportPercent(progress, 100);
}

}  // namespace

bool VLIsGIF(const uint8_t* Head, int64_t StreamSize) { return StreamSize > 13 && std::memcmp(Head, "GIF", 3) == 0; }

void ReadGIFStream(TStream* Stream, TBitmap* Bitmap, int32_t& ImageCount, TIOParamsVals& Params,
                   TFilterProgress& Progress, bool ParamsOnly) {
  VLGuardCodec(Progress, crRead, [&] { ReadCore(Stream, Bitmap, ImageCount, Params, Progress, ParamsOnly); });
}

void ReadGIFFile(const std::string& FileName, TBitmap* Bitmap, int32_t& ImageCount, TIOParamsVals& Params,
                 TFilterProgress& Progress) {
  std::unique_ptr<TFileStream> fs;
  try {
    fs = std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
  } catch (const std::exception&) {
    return VLFail(Progress, vcNoPicture, "cannot open file");
  }
  ReadGIFStream(fs.get(), Bitmap, ImageCount, Params, Progress, false);
}

void WriteGIFStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress) {
  VLGuardCodec(Progress, crWrite, [&] { WriteCore(Stream, Bitmap, Params, Progress); });
}

void WriteGIFFile(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress) {
  // Only the handler's exception leaves WriteGIFStream, and it goes on from here.
  bool writing = false;
  try {
    bool ok = SaveFileAtomically(FileName, [&](TStream* s) {
      writing = true;
      WriteGIFStream(s, Bitmap, Params, Progress);
      writing = false;
      return !VLAborting(Progress);
    });
    if (!ok && !VLAborting(Progress)) VLFail(Progress, vcWriteFailed, "cannot write file");
  } catch (...) {
    if (writing) throw;
    VLFail(Progress, vcWriteFailed, "cannot create file");
  }
}

int32_t GIFImageCountStream(TStream* stream, int32_t skipIndex, TStream* copy, bool& completed) {
  completed = false;
  const int64_t size = stream->Size();
  uint8_t h[13];
  if (stream->Read(h, 13) != 13 || std::memcmp(h, "GIF", 3) != 0) return 0;
  std::memcpy(h + 3, "89a", 3);
  copy->WriteBuffer(h, 13);
  if (h[10] & 0x80) {
    const int n = 3 * (2 << (h[10] & 7));
    uint8_t raw[768];
    if (stream->Read(raw, n) != n) return 0;
    copy->WriteBuffer(raw, n);
  }
  // Copies the sub-blocks up to their terminator; false when one runs past the end.
  auto copyBlocks = [&](std::vector<uint8_t>& out) {
    uint8_t len;
    uint8_t buf[255];
    for (;;) {
      if (!ReadByte(stream, len)) return true;
      out.push_back(len);
      if (len == 0) return true;
      if (stream->Read(buf, len) != len) return false;
      out.insert(out.end(), buf, buf + len);
    }
  };
  std::vector<uint8_t> pendingGce;
  int32_t count = 0, number = 0;
  for (;;) {
    uint8_t b;
    if (!ReadByte(stream, b) || stream->Position() >= size) break;
    if (b == 0x21) {
      uint8_t label;
      if (!ReadByte(stream, label)) break;
      std::vector<uint8_t> block{0x21, label};
      if (!copyBlocks(block)) return count;
      if (label == 0xF9) {
        if (!pendingGce.empty()) copy->WriteBuffer(pendingGce.data(), int64_t(pendingGce.size()));
        pendingGce = std::move(block);
      } else {
        copy->WriteBuffer(block.data(), int64_t(block.size()));
      }
    } else if (b == 0x2C) {
      std::vector<uint8_t> block(10);
      block[0] = 0x2C;
      if (stream->Read(block.data() + 1, 9) != 9) return count;
      if (block[9] & 0x80) {
        const int n = 3 * (2 << (block[9] & 7));
        block.resize(10 + size_t(n));
        if (stream->Read(block.data() + 10, n) != n) return count;
      }
      uint8_t minCode;
      if (!ReadByte(stream, minCode)) return count;
      block.push_back(minCode);
      if (!copyBlocks(block)) return count;
      if (number != skipIndex) {
        if (!pendingGce.empty()) copy->WriteBuffer(pendingGce.data(), int64_t(pendingGce.size()));
        copy->WriteBuffer(block.data(), int64_t(block.size()));
        ++count;
      }
      pendingGce.clear();
      ++number;
    } else if (b == 0x3B) {
      break;
    }
  }
  if (!pendingGce.empty()) copy->WriteBuffer(pendingGce.data(), int64_t(pendingGce.size()));
  copy->WriteByte(0x3B);
  completed = true;
  return count;
}

int32_t GIFImageCount(const std::string& FileName, int32_t SkipIndex, bool Save) {
  try {
    TMemoryStream copy;
    bool completed = false;
    int32_t count;
    {
      TFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
      count = GIFImageCountStream(&fs, SkipIndex, &copy, completed);
    }
    if (Save && completed) {
      SaveFileAtomically(FileName, [&](TStream* s) {
        copy.SaveToStream(s);
        return true;
      });
    }
    return count;
  } catch (const std::exception&) {
    return 0;
  }
}

void GIFIndexStream(TStream* Stream, TGIFImageIndex& Index) {
  Index = TGIFImageIndex();
  bool abort = false;
  TFilterProgress progress;
  progress.AbortFlag = &abort;
  VLGuardCodec(progress, crRead, [&] {
    if (!Stream) return VLFail(progress, vcNoPicture, "no stream");
    uint8_t* h = Index.Header;
    const int64_t got = Stream->Read(h, 13);
    if (got < 3 || std::memcmp(h, "GIF", 3) != 0) return VLFail(progress, vcNotFormat, "not a GIF file");
    if (got != 13) return VLFail(progress, vcTruncated, "truncated file");
    Index.HeaderRead = 1;
    if ((h[10] & 0x80) && !ReadTable(Stream, Index.Global, h[10] & 7))
      return VLFail(progress, vcTruncated, "truncated colour table");
    Index.HeaderRead = 2;
    const int64_t size = Stream->Size();
    int64_t gce = -1;
    for (;;) {
      uint8_t b;
      if (!ReadByte(Stream, b)) break;
      if (b == 0x3B) {
        Index.Trailer = true;
        break;
      }
      if (Stream->Position() >= size) break;
      if (b == 0x21) {
        uint8_t label;
        if (!ReadByte(Stream, label)) break;
        if (label == 0xF9) gce = Stream->Position();
        if (!SkipSubBlocks(Stream, size)) break;
      } else if (b == 0x2C) {
        const int64_t at = Stream->Position();
        uint8_t raw[9];
        if (Stream->Read(raw, 9) != 9) break;
        if ((raw[8] & 0x80) && Stream->Seek(3 * (2 << (raw[8] & 7)), soCurrent) > size) break;
        // The graphic control extension met since the last image belongs to this one.
        Index.Images.push_back(TGIFImageIndex::TImage{at, gce});
        gce = -1;
        uint8_t minCode;
        if (!ReadByte(Stream, minCode) || !SkipSubBlocks(Stream, size)) break;
      }
    }
  });
  Index.Failed = abort;
  Index.Cause = progress.AbortCause;
  Index.Reason = progress.AbortReason;
}

void ReadGIFImage(TStream* Stream, const TGIFImageIndex& Index, int32_t Image, TBitmap* Bitmap, TIOParamsVals& Params,
                  TFilterProgress& Progress) {
  VLGuardCodec(Progress, crRead, [&] {
    if (VLReportPercent(Progress, 0)) return;
    if (!Stream) return VLFail(Progress, vcNoPicture, "no stream");
    if (Index.HeaderRead > 0) HeaderParams(Index.Header, Index.Global, Index.HeaderRead == 2, Params);
    if (Index.Failed) return VLFail(Progress, Index.Cause, Index.Reason);
    if (Image < 0 || size_t(Image) >= Index.Images.size()) {
      if (Index.Trailer) return VLFail(Progress, vcNoImage, "no image of that index");
      return VLFail(Progress, vcTruncated, "truncated file");
    }
    const TGIFImageIndex::TImage& at = Index.Images[size_t(Image)];
    uint8_t gce[4] = {0, 0, 0, 0};
    if (at.Control >= 0) {
      uint8_t block[6];
      Stream->Seek(at.Control, soBeginning);
      if (Stream->Read(block, 6) != 6) return VLFail(Progress, vcTruncated, "truncated file");
      std::memcpy(gce, block + 1, 4);
    }
    Stream->Seek(at.Descriptor, soBeginning);
    uint8_t raw[9];
    if (Stream->Read(raw, 9) != 9) return VLFail(Progress, vcTruncated, "truncated file");
    TDescriptor d{raw[0] | (raw[1] << 8), raw[2] | (raw[3] << 8), raw[4] | (raw[5] << 8), raw[6] | (raw[7] << 8),
                  raw[8]};
    TRGB local[256] = {};
    if (d.Flags & 0x80) {
      if (!ReadTable(Stream, local, d.Flags & 7)) return VLFail(Progress, vcTruncated, "truncated file");
      ReadWanted(Stream, Bitmap, Params, Progress, false, d, local, d.Flags & 7, gce);
    } else {
      ReadWanted(Stream, Bitmap, Params, Progress, false, d, Index.Global, Index.Header[10] & 7, gce);
    }
    if (VLAborting(Progress)) return;
    VLReportPercent(Progress, 100);
  });
}
