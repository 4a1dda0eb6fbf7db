#include "vistrel/codecs/bmp.h"

#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "vistrel/base/byteorder.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/kernels/quantizer.h"

namespace {

// ---- RLE decoding

// Compressed bytes, from memory or from a stream a block at a time, so that a long stream
// never has to be held whole.
class TRLESource {
 public:
  TRLESource(const uint8_t* data, int64_t length) : FData(data), FEnd(std::max<int64_t>(length, 0)) {}
  TRLESource(TStream* stream, int64_t length) : FStream(stream), FLeft(std::max<int64_t>(length, 0)) {}
  // The next n bytes, or nil when the data end first.
  const uint8_t* Take(int64_t n) {
    if (FEnd - FPos < n && !Refill(n)) return nullptr;
    const uint8_t* p = FData + FPos;
    FPos += n;
    return p;
  }

 private:
  bool Refill(int64_t n) {
    if (!FStream) return false;
    const int64_t kept = FEnd - FPos;
    const int64_t want = std::min<int64_t>(FLeft, kBlock);
    if (FBlock.size() < size_t(kept + want)) FBlock.resize(size_t(kept + want));
    if (kept > 0) std::memmove(FBlock.data(), FBlock.data() + FPos, size_t(kept));
    const int64_t got = want > 0 ? FStream->Read(FBlock.data() + kept, want) : 0;
    FLeft = got < want ? 0 : FLeft - got;
    FData = FBlock.data();
    FPos = 0;
    FEnd = kept + std::max<int64_t>(got, 0);
    return FEnd >= n;
  }
  static constexpr int64_t kBlock = 64 * 1024;
  const uint8_t* FData = nullptr;
  int64_t FPos = 0, FEnd = 0;
  TStream* FStream = nullptr;
  int64_t FLeft = 0;
  std::vector<uint8_t> FBlock;
};

// Bytes of compressed data that a picture can use: every pixel of a row (and of the padding
// of a stored row, which some writers code) as a run of its own, an end of line per row and
// the end of the bitmap. Anything further can't change the picture.
int64_t RLEBound(int64_t width, int64_t height) { return height * (2 * (width + 8) + 2) + 2; }

// Damage is read through: pixels past the row or the picture are dropped, an index beyond
// the map is black, and data that end early leave the rest of the picture as it was.
template <bool Four>
bool DecodeRLE(TBitmap* bitmap, TRLESource& src, TFilterProgress& progress, const TRGB* map, int mapCount) {
  if (!bitmap || bitmap->PixelFormat() != pf24bit || bitmap->Empty())
    VLThrowFail(vcNoPicture, "no picture to decode into");
  const int64_t w = bitmap->Width(), h = bitmap->Height();
  TRGB pal[256];
  int count = std::clamp(mapCount, 0, 256);
  if (map) std::copy(map, map + count, pal);
  std::fill(pal + count, pal + 256, TRGB{});
  int64_t x = 0, row = 0;
  uint8_t* line = bitmap->ScanLine(int(h - 1));
  for (;;) {
    const uint8_t* c = src.Take(2);
    if (!c) break;
    const int a = c[0], b = c[1];
    if (a > 0) {
      const int64_t draw = std::clamp<int64_t>(w - x, 0, a);
      uint8_t* p = line + std::min(x, w) * 3;
      if (Four) {
        const TRGB two[2] = {pal[b >> 4], pal[b & 15]};
        for (int64_t i = 0; i < draw; ++i, p += 3) std::memcpy(p, &two[i & 1], 3);
      } else {
        for (int64_t i = 0; i < draw; ++i, p += 3) std::memcpy(p, &pal[b], 3);
      }
      x += a;
    } else if (b == 0) {  // end of line
      x = 0;
      if (++row >= h) break;
      line = bitmap->ScanLine(int(h - 1 - row));
      // Counted to the row now entered, as from the first decoded row on.
      if (VLReportProgress(progress, row + 1)) return false;
    } else if (b == 1) {  // end of bitmap
      break;
    } else if (b == 2) {  // delta from the current position
      const uint8_t* d = src.Take(2);
      if (!d) break;
      x += d[0];
      if (d[1]) {
        row += d[1];
        if (row >= h) break;
        line = bitmap->ScanLine(int(h - 1 - row));
      }
    } else {  // literal pixels, padded to an even byte count
      const int64_t bytes = Four ? (b + 1) / 2 : b;
      const uint8_t* d = src.Take(bytes);
      if (!d) break;
      const int64_t draw = std::clamp<int64_t>(w - x, 0, b);
      uint8_t* p = line + std::min(x, w) * 3;
      for (int64_t i = 0; i < draw; ++i, p += 3) {
        const int idx = Four ? ((i & 1) ? d[i / 2] & 15 : d[i / 2] >> 4) : d[i];
        std::memcpy(p, &pal[idx], 3);
      }
      if (bytes & 1) src.Take(1);
      x += b;
    }
  }
  return true;
}

template <bool Four>
bool DecodeRLEPublic(TBitmap* bitmap, const uint8_t* data, int64_t length, TFilterProgress& progress, const TRGB* map,
                     int mapCount) {
  bool ok = false;
  VLGuardCodec(progress, crRead, [&] {
    if (!data) VLThrowFail(vcNoPicture, "no compressed data");
    TRLESource src(data, length);
    ok = DecodeRLE<Four>(bitmap, src, progress, map, mapCount);
  });
  return ok;
}

// ---- RLE encoding

template <bool Four>
int EncodeRLE(const uint8_t* row, int count, uint8_t* out) {
  uint8_t* o = out;
  auto literal = [&](int from, int to) {
    int d = to - from;
    if (d <= 0) return;
    const uint8_t* p = row + from;
    if (d == 1) {
      *o++ = 1;
      *o++ = Four ? uint8_t(p[0] << 4) : p[0];
    } else if (d == 2) {
      if (Four) {
        *o++ = 2;
        *o++ = uint8_t((p[0] << 4) | (p[1] & 15));
      } else {
        *o++ = 1;
        *o++ = p[0];
        *o++ = 1;
        *o++ = p[1];
      }
    } else {
      *o++ = 0;
      *o++ = uint8_t(d);
      int bytes;
      if (Four) {
        bytes = (d + 1) / 2;
        for (int i = 0; i < d; i += 2) *o++ = uint8_t((p[i] << 4) | (i + 1 < d ? (p[i + 1] & 15) : 0));
      } else {
        bytes = d;
        std::memcpy(o, p, size_t(d));
        o += d;
      }
      if (bytes & 1) *o++ = 0;
    }
  };
  int L = 0, i = 0;
  while (i < count) {
    if (i - L == 255) {
      literal(L, i);
      L = i;
    }
    if (i + 1 < count && row[i] == row[i + 1]) {
      literal(L, i);
      int run = 1;
      while (i + run < count && run < 255 && row[i + run] == row[i]) ++run;
      *o++ = uint8_t(run);
      *o++ = Four ? uint8_t((row[i] << 4) | (row[i] & 15)) : row[i];
      i += run;
      L = i;
    } else {
      ++i;
    }
  }
  literal(L, count);
  *o++ = 0;
  *o++ = 0;
  return int(o - out);
}

// ---- reading

struct TReadState {
  TStream* Stream;
  TBitmap* Bitmap;
  TIOParamsVals& Params;
  int64_t DataLength;
  TFilterProgress& Progress;
  bool ParamsOnly;
};

bool SupportedCompression(int bits, uint32_t c) {
  switch (bits) {
    case 1:
    case 24: return c == BMP_RGB;
    case 4: return c == BMP_RGB || c == BMP_RLE4;
    case 8: return c == BMP_RGB || c == BMP_RLE8;
    case 16:
    case 32: return c == BMP_RGB || c == BMP_BITFIELDS;
    default: return false;
  }
}

// True when a bitmap of that size and depth stays within the picture limit.
bool WithinLimit(int64_t width, int64_t height, int bits) {
  const int64_t row = BitmapRowBytes(width, bits), limit = TBitmap::MaxBytes();
  return row > 0 && row <= limit && height <= limit / row;
}

// Reads a file's next bytes into the buffers given, in order; the bytes read.
int64_t ReadScattered(int handle, iovec* iov, int count) {
  int64_t got = 0;
  while (count > 0) {
    const ssize_t n = readv(handle, iov, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += n;
    size_t left = size_t(n);
    for (; count > 0 && left >= iov->iov_len; --count, ++iov) left -= iov->iov_len;
    if (count > 0) {
      iov->iov_base = static_cast<uint8_t*>(iov->iov_base) + left;
      iov->iov_len -= left;
    }
  }
  return got;
}

void ReadBMP(TReadState& s) {
  TStream* st = s.Stream;
  TIOParamsVals& prm = s.Params;
  if (!st) VLThrowFail(vcNoPicture, "no stream");
  const int64_t P = st->Position();
  const int64_t streamEnd = st->Size();
  uint8_t fh[14] = {};
  const int64_t got = st->Read(fh, 14);
  if (got < 2 || fh[0] != 'B' || fh[1] != 'M') VLThrowFail(vcNotFormat, "not a BMP file");
  if (got != 14) VLThrowFail(vcTruncated, "file header cut short");
  int64_t dataLength = s.DataLength;
  const int32_t fileSize = int32_t(VLGetLE32(fh + 2));
  const uint32_t offset = VLGetLE32(fh + 10);
  if (dataLength < 1 && fileSize > 0) dataLength = fileSize;
  // A length past the end of the stream (a damaged size field) is held to the stream.
  if (dataLength > streamEnd - P) dataLength = streamEnd - P;

  TBMPInfoHeader h;
  if (!BMPReadInfoHeader(st, h)) VLThrowFail(vcBadHeader, "bad info header");
  prm.FreeColorMap();
  prm.BMPVersion = BMPVersionOfHeader(h.Size);
  const bool os2v1 = h.Size == 12;
  if (h.Width <= 0) VLThrowFail(vcBadHeader, "bad width");
  if (h.Height == 0 || h.Height == INT32_MIN) VLThrowFail(vcBadHeader, "bad height");
  const bool topDown = h.Height < 0;
  const int w = h.Width, ht = topDown ? -h.Height : h.Height;
  const int bits = h.BitCount;
  prm.Width = w;
  prm.Height = ht;
  if (os2v1) {
    prm.DpiX = prm.DpiY = ScreenPixelsPerInch();
  } else {
    // More than 100000 dots per inch is no resolution but a damaged field: taken as none.
    auto dpi = [](int32_t ppm) { return BMPDpiFromPelsPerMeter(ppm > 3937008 ? 0 : ppm); };
    prm.DpiX = dpi(h.XPelsPerMeter);
    prm.DpiY = dpi(h.YPelsPerMeter);
  }
  prm.BMPCompression = h.Compression == BMP_RLE8 || h.Compression == BMP_RLE4;
  const bool rle = prm.BMPCompression;

  // Channel masks of bit-field files follow a 40-byte header; longer Windows headers hold
  // them (the 64-byte kind holds other fields there).
  uint32_t masks[3] = {0, 0, 0};
  if (!os2v1 && h.Compression == BMP_BITFIELDS && (bits == 16 || bits == 32)) {
    if (h.Size < 52 || h.Size == 64) {
      uint8_t m[12];
      if (st->Read(m, 12) != 12) VLThrowFail(vcTruncated, "bit-field masks cut short");
      masks[0] = VLGetLE32(m);
      masks[1] = VLGetLE32(m + 4);
      masks[2] = VLGetLE32(m + 8);
    } else {
      masks[0] = h.RedMask;
      masks[1] = h.GreenMask;
      masks[2] = h.BlueMask;
    }
  }

  // Colour map: at most 256 entries are read, whatever the header says.
  int64_t colors = 0;
  const int entry = os2v1 ? 3 : 4;
  if (os2v1) {
    if (bits >= 1 && bits <= 8) colors = int64_t(1) << bits;
  } else {
    colors = h.ClrUsed;
    if (colors == 0 && bits >= 1 && bits <= 8) colors = int64_t(1) << bits;
    colors = std::min<int64_t>(colors, 256);
  }
  if (colors > 0 && offset > 0) {
    // A colour map never reaches into the pixel data.
    int64_t room = (P + int64_t(offset) - st->Position()) / entry;
    colors = std::clamp<int64_t>(room, 0, colors);
  }
  std::vector<TRGB> map;
  if (colors > 0) {
    if (!BMPReadPalette(st, int(colors), entry, map)) VLThrowFail(vcTruncated, "colour map cut short");
    prm.SetColorMap(map.data(), int(colors));
  }

  if (!SupportedCompression(bits, h.Compression)) VLThrowFail(vcUnsupported, "unsupported depth or compression");
  if (rle && topDown) VLThrowFail(vcBadHeader, "compressed rows can't run top-down");
  TBMPRowDecoder decoder;
  if (!decoder.Setup(bits, map.data(), int(map.size()), masks[0], masks[1], masks[2]))
    VLThrowFail(vcBadHeader, "bad bit-field masks");
  switch (bits) {
    case 1: prm.BitsPerSample = 1, prm.SamplesPerPixel = 1; break;
    case 4: prm.BitsPerSample = 4, prm.SamplesPerPixel = 1; break;
    case 8: prm.BitsPerSample = 8, prm.SamplesPerPixel = 1; break;
    case 16: prm.BitsPerSample = 5, prm.SamplesPerPixel = 3; break;
    default: prm.BitsPerSample = 8, prm.SamplesPerPixel = 3; break;
  }

  if (s.ParamsOnly) return;

  // Nothing large is allocated for a picture past the limit.
  const TPixelFormat pf = bits == 1 ? pf1bit : pf24bit;
  if (!WithinLimit(w, ht, bits == 1 ? 1 : 24)) VLThrowFail(vcTooLarge, "image too large");

  if (offset > 0) {
    if (int64_t(offset) > streamEnd - P) VLThrowFail(vcTruncated, "pixel data offset beyond the end of the data");
    st->Seek(P + int64_t(offset), soBeginning);
  }
  const int64_t pos = st->Position();
  const int64_t left = streamEnd - pos;
  const int64_t rowLen = VLRowLength(w, bits);
  const int64_t rowData = BMPRowDataBytes(w, bits);
  if (!rle && (int64_t(ht) - 1) * rowLen + rowData > left) VLThrowFail(vcTruncated, "pixel data cut short");

  // Compressed data: no more than the picture can use, taken from the stream as decoding goes.
  int64_t stored = 0;
  if (rle) {
    stored = dataLength > 0 ? dataLength - (pos - P) : int64_t(h.ImageSize);
    if (stored <= 0 || stored > left) stored = left;
    if (stored < 2) VLThrowFail(vcTruncated, "compressed data missing");
  }

  TBitmap* bmp = s.Bitmap;
  if (!bmp) VLThrowFail(vcNoPicture, "no bitmap");
  const bool same = bmp->PixelFormat() == pf && bmp->Width() == w && bmp->Height() == ht && bmp->Bits();
  if (same) {
    if (rle) std::memset(bmp->Bits(), 0, size_t(bmp->ImageSize()));
    bmp->Changed();
  } else if (rle) {
    // The one pixel kept from the old picture is cleared: compressed data may skip it.
    bmp->SetSize(1, 1);
    bmp->SetPixelFormat(pf);
    std::memset(bmp->Bits(), 0, size_t(bmp->ImageSize()));
    bmp->SetSize(w, ht);
  } else {
    bmp->Allocate(w, ht, pf);
  }
  s.Progress.PercentPerRow = 100.0 / ht;

  if (rle) {
    TRLESource src(st, std::min(stored, RLEBound(w, ht)));
    if (bits == 8) DecodeRLE<false>(bmp, src, s.Progress, map.data(), int(map.size()));
    else DecodeRLE<true>(bmp, src, s.Progress, map.data(), int(map.size()));
    // The stream is left after the compressed data, wherever decoding stopped.
    st->Seek(pos + stored, soBeginning);
    return;
  }

  // Uncompressed rows; the last one may lack its padding. Rows not reached (data cut short,
  // an abort) are black in a fresh bitmap.
  int done = 0;
  struct TClearRest {
    TBitmap* Bmp;
    const int& Done;
    bool TopDown, Active;
    ~TClearRest() {
      if (!Active) return;
      const int h = Bmp->Height();
      for (int r = Done; r < h; ++r)
        std::memset(Bmp->Bits() + int64_t(TopDown ? r : h - 1 - r) * Bmp->RowBytes(), 0, size_t(Bmp->RowBytes()));
    }
  } clearRest{bmp, done, topDown, !same};
  int64_t at = pos;
  std::vector<uint8_t> buf;
  const bool direct = bits == 1 || bits == 24;
  const int64_t pad = bmp->RowBytes() - rowData;
  auto* file = dynamic_cast<THandleStream*>(st);
  if (direct && rowLen == bmp->RowBytes() && (file || !dynamic_cast<TCustomMemoryStream*>(st))) {
    // Many rows a read: straight into the bitmap from files (the rows of a bottom-up file
    // scattered to theirs by the one call), through a buffer that stays in the cache from
    // other streams.
    const int64_t chunkRows = std::clamp<int64_t>((file ? int64_t(1) << 20 : int64_t(256) << 10) / rowLen, 1, 1024);
    const bool straight = topDown || chunkRows == 1, scatter = !straight && file;
    std::vector<iovec> rows;
    if (scatter) rows.resize(size_t(chunkRows));
    else if (!straight) buf.resize(size_t(chunkRows * rowLen));
    while (done < ht) {
      const int k = int(std::min<int64_t>(chunkRows, ht - done));
      const int64_t want = std::min(k * rowLen, streamEnd - at);
      uint8_t* into = straight ? bmp->ScanLine(topDown ? done : ht - 1 - done) : buf.data();
      int64_t got = 0;
      if (scatter) {
        int n = 0;
        for (int64_t left = want; n < k && left > 0; ++n, left -= rowLen)
          rows[size_t(n)] = {bmp->ScanLine(ht - 1 - done - n), size_t(std::min(rowLen, left))};
        got = ReadScattered(file->Handle(), rows.data(), n);
      } else {
        got = std::max<int64_t>(st->Read(into, want), 0);
      }
      int64_t used = 0;
      for (int i = 0; i < k; ++i, ++done) {
        if (VLReportProgress(s.Progress, done)) {
          st->Seek(at + used, soBeginning);
          return;
        }
        const int64_t rowWant = std::min(rowLen, want - used);
        if (got - used < rowData) VLThrowFail(vcTruncated, "pixel data cut short");
        uint8_t* dst = bmp->ScanLine(topDown ? done : ht - 1 - done);
        if (!straight && !scatter) std::memcpy(dst, into + used, size_t(rowData));
        if (pad > 0) std::memset(dst + rowData, 0, size_t(pad));
        used += rowWant;
      }
      at += want;
    }
  } else {
    if (!direct) buf.resize(size_t(rowLen));
    for (; done < ht; ++done) {
      const int r = done;
      if (VLReportProgress(s.Progress, r)) return;
      uint8_t* dst = bmp->ScanLine(topDown ? r : ht - 1 - r);
      int64_t want = std::min(rowLen, streamEnd - at);
      if (direct) {
        if (st->Read(dst, want) < rowData) VLThrowFail(vcTruncated, "pixel data cut short");
        if (pad > 0) std::memset(dst + rowData, 0, size_t(pad));
      } else {
        if (st->Read(buf.data(), want) < rowData) VLThrowFail(vcTruncated, "pixel data cut short");
        decoder.DecodeRow(buf.data(), dst, w);
      }
      at += want;
    }
  }
  if (bits == 1 && map.size() == 2 && map[0] == (TRGB{255, 255, 255}) && map[1] == (TRGB{0, 0, 0})) VLInvert1Bit(bmp);
}

// ---- writing

void WriteRowPadded(TStream* st, const uint8_t* row, int64_t dataBytes, int64_t rowLen) {
  static const uint8_t zeros[4] = {0, 0, 0, 0};
  st->WriteBuffer(row, dataBytes);
  if (rowLen > dataBytes) st->WriteBuffer(zeros, rowLen - dataBytes);
}

void WriteBMP(TStream* st, TBitmap* bitmap, TIOParamsVals& prm, TFilterProgress& progress) {
  if (!st) VLThrowFail(vcNoPicture, "no stream");
  if (!bitmap || bitmap->Empty()) VLThrowFail(vcNoPicture, "no picture to write");
  const int w = bitmap->Width(), h = bitmap->Height();
  const int bits =
      (prm.BitsPerSample == 1 || prm.BitsPerSample == 4) ? prm.BitsPerSample : (prm.SamplesPerPixel == 1 ? 8 : 24);
  const uint8_t version = prm.BMPVersion;
  const bool os2v1 = version == 2;
  if (os2v1 && (w > 65535 || h > 65535)) VLThrowFail(vcTooLarge, "picture too large for this header");
  const bool rle = prm.BMPCompression && !os2v1 && (bits == 4 || bits == 8);
  const int headerSize = os2v1 ? 12 : (version == 3 ? 64 : 40);
  const int64_t colors = bits <= 8 ? (int64_t(1) << bits) : 0;

  // The 24-bit source: the bitmap itself or a converted copy.
  std::unique_ptr<TBitmap> owned;
  TBitmap* src24 = bitmap;
  auto need24 = [&] {
    if (src24->PixelFormat() == pf24bit) return;
    owned = std::make_unique<TBitmap>();
    if (bitmap->PixelFormat() == pf1bit) {
      VLExpand1BitTo24Bit(bitmap, owned.get());
    } else {
      owned->Assign(bitmap);
      owned->SetPixelFormat(pf24bit);
    }
    src24 = owned.get();
  };

  // Headers, completed at the end.
  const int64_t P = st->Position();
  uint8_t fh[14] = {'B', 'M'};
  st->WriteBuffer(fh, 14);
  uint8_t ih[64] = {};
  VLPutLE32(ih, uint32_t(headerSize));
  if (os2v1) {
    VLPutLE16(ih + 4, uint32_t(w));
    VLPutLE16(ih + 6, uint32_t(h));
    VLPutLE16(ih + 8, 1);
  } else {
    VLPutLE32(ih + 4, uint32_t(w));
    VLPutLE32(ih + 8, uint32_t(h));
    VLPutLE16(ih + 12, 1);
    VLPutLE32(ih + 16, rle ? (bits == 4 ? BMP_RLE4 : BMP_RLE8) : BMP_RGB);
    VLPutLE32(ih + 24, uint32_t(RoundInt((long double)prm.DpiX * 0.3937007874015748L * 100)));
    VLPutLE32(ih + 28, uint32_t(RoundInt((long double)prm.DpiY * 0.3937007874015748L * 100)));
    VLPutLE32(ih + 32, uint32_t(colors));
    VLPutLE32(ih + 36, uint32_t(int64_t(1) << bits));
  }
  st->WriteBuffer(ih, headerSize);
  const int entry = os2v1 ? 3 : 4;
  progress.PercentPerRow = 100.0 / h;
  int64_t pixelStart = 0;

  if (bits == 1) {
    TRGB pal[2] = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
    std::unique_ptr<TBitmap> mono;
    TBitmap* src1 = bitmap;
    if (bitmap->PixelFormat() != pf1bit) {
      need24();
      mono.reset(VLMake1BitForWrite(src24, pal[0], pal[1]));
      src1 = mono.get();
    }
    prm.SetColorMap(pal, 2);
    BMPWritePalette(st, pal, 2, entry);
    pixelStart = st->Position();
    const int64_t rowLen = VLRowLength(w, 1);
    for (int r = 0; r < h; ++r) {
      if (VLReportProgress(progress, r)) return;
      st->WriteBuffer(src1->ScanLine(h - 1 - r), rowLen);
    }
  } else if (bits == 24) {
    need24();
    pixelStart = st->Position();
    const int64_t rowLen = VLRowLength(w, 24), dataBytes = int64_t(w) * 3;
    for (int r = 0; r < h; ++r) {
      if (VLReportProgress(progress, r)) return;
      WriteRowPadded(st, src24->ScanLine(h - 1 - r), dataBytes, rowLen);
    }
  } else {
    // 4 and 8 bits: a palette chosen for the picture, each pixel its nearest entry.
    need24();
    TRGB pal[256] = {};
    const int n = int(colors);
    TVLQuantizer quantizer(src24, pal, n, n);
    prm.SetColorMap(pal, n);
    BMPWritePalette(st, pal, n, entry);
    pixelStart = st->Position();
    const int64_t rowLen = VLRowLength(w, bits);
    std::vector<uint8_t> index(size_t(w) + 1), out(size_t(std::max<int64_t>(rowLen, 2 * int64_t(w) + 8)));
    for (int r = 0; r < h; ++r) {
      if (VLReportProgress(progress, r)) return;
      const uint8_t* p = src24->ScanLine(h - 1 - r);
      for (int x = 0; x < w; ++x, p += 3) index[size_t(x)] = uint8_t(quantizer.ColorIndex(TRGB{p[0], p[1], p[2]}));
      if (rle) {
        int len = bits == 8 ? BMPEncodeRLE8(index.data(), w, out.data()) : BMPEncodeRLE4(index.data(), w, out.data());
        st->WriteBuffer(out.data(), len);
        continue;
      }
      std::fill(out.begin(), out.begin() + rowLen, 0);
      if (bits == 8) {
        std::copy(index.begin(), index.begin() + w, out.begin());
      } else {
        for (int x = 0; x < w; ++x)
          out[size_t(x / 2)] |= uint8_t((x & 1) ? (index[size_t(x)] & 15) : (index[size_t(x)] << 4));
      }
      st->WriteBuffer(out.data(), rowLen);
    }
    if (rle) {
      static const uint8_t eob[2] = {0, 1};
      st->WriteBuffer(eob, 2);
    }
  }

  if (VLAborting(progress)) return;
  const int64_t E = st->Position();
  VLPutLE32(fh + 2, uint32_t(E - P));
  VLPutLE32(fh + 10, uint32_t(pixelStart - P));
  if (os2v1) {
    VLPutLE16(ih + 10, uint32_t(bits));
  } else {
    VLPutLE16(ih + 14, uint32_t(bits));
    VLPutLE32(ih + 20, uint32_t(E - pixelStart));
  }
  st->Seek(P, soBeginning);
  st->WriteBuffer(fh, 14);
  st->WriteBuffer(ih, headerSize);
  st->Seek(E, soBeginning);
}

}  // namespace

// ---- shared pieces

uint8_t BMPVersionOfHeader(uint32_t Size) {
  switch (Size) {
    case 12: return 2;
    case 40: return 1;
    case 64: return 3;
    default: return 0;
  }
}

int32_t BMPDpiFromPelsPerMeter(int32_t PelsPerMeter) {
  int32_t dpi = PelsPerMeter > 0 ? RoundInt((long double)PelsPerMeter * 0.01L * 2.54L) : 0;
  return dpi > 0 ? dpi : ScreenPixelsPerInch();
}

bool BMPReadInfoHeader(TStream* Stream, TBMPInfoHeader& Header) {
  Header = TBMPInfoHeader{};
  uint8_t b[64] = {};
  if (Stream->Read(b, 4) != 4) return false;
  uint32_t size = VLGetLE32(b);
  Header.Size = size;
  if (size == 12) {
    if (Stream->Read(b + 4, 8) != 8) return false;
    Header.Width = VLGetLE16(b + 4);
    Header.Height = VLGetLE16(b + 6);
    Header.Planes = VLGetLE16(b + 8);
    Header.BitCount = VLGetLE16(b + 10);
    return true;
  }
  // Any size that holds the fields up to the bit count is read as the 40-byte layout: its
  // first 64 bytes at most, the rest skipped.
  if (size < 16) return false;
  int64_t take = std::min<uint32_t>(size, 64);
  if (Stream->Read(b + 4, take - 4) != take - 4) return false;
  if (size > 64) {
    int64_t skip = int64_t(size) - 64;
    int64_t at = Stream->Position();
    if (Stream->Size() - at < skip) return false;
    Stream->Seek(at + skip, soBeginning);
  }
  Header.Width = int32_t(VLGetLE32(b + 4));
  Header.Height = int32_t(VLGetLE32(b + 8));
  Header.Planes = VLGetLE16(b + 12);
  Header.BitCount = VLGetLE16(b + 14);
  Header.Compression = VLGetLE32(b + 16);
  Header.ImageSize = VLGetLE32(b + 20);
  Header.XPelsPerMeter = int32_t(VLGetLE32(b + 24));
  Header.YPelsPerMeter = int32_t(VLGetLE32(b + 28));
  Header.ClrUsed = VLGetLE32(b + 32);
  Header.ClrImportant = VLGetLE32(b + 36);
  if (size >= 52 && size != 64) {
    Header.RedMask = VLGetLE32(b + 40);
    Header.GreenMask = VLGetLE32(b + 44);
    Header.BlueMask = VLGetLE32(b + 48);
  }
  return true;
}

bool BMPReadPalette(TStream* Stream, int Count, int EntrySize, std::vector<TRGB>& Map) {
  Map.clear();
  if (Count <= 0) return true;
  if (Count > 256) Count = 256;
  uint8_t buf[256 * 4];
  int64_t n = int64_t(Count) * EntrySize;
  if (Stream->Read(buf, n) != n) return false;
  Map.resize(size_t(Count));
  for (int i = 0; i < Count; ++i)
    Map[size_t(i)] = TRGB{buf[i * EntrySize], buf[i * EntrySize + 1], buf[i * EntrySize + 2]};
  return true;
}

void BMPWritePalette(TStream* Stream, const TRGB* Map, int Count, int EntrySize) {
  if (Count <= 0) return;
  std::vector<uint8_t> buf(size_t(Count) * size_t(EntrySize), 0);
  for (int i = 0; i < Count; ++i) {
    buf[size_t(i) * EntrySize] = Map[i].B;
    buf[size_t(i) * EntrySize + 1] = Map[i].G;
    buf[size_t(i) * EntrySize + 2] = Map[i].R;
  }
  Stream->WriteBuffer(buf.data(), int64_t(buf.size()));
}

// ---- row decoder

void TBMPRowDecoder::SetChannel(TChannel& c, uint32_t mask) {
  c.Mask = mask;
  c.Shift = 0;
  while (c.Shift < 31 && !(mask & (uint32_t(1) << c.Shift))) ++c.Shift;
  c.Max = mask >> c.Shift;
  int width = 0;
  while (width < 32 && (c.Max >> width)) ++width;
  c.Widen = width <= 8 ? 8 - width : 0;
  c.Narrow = width > 8 ? width - 8 : 0;
}

uint8_t TBMPRowDecoder::Scale(const TChannel& c, uint32_t v) const {
  // The channel's bits become the top bits of the byte: a 5-bit value v gives v x 8.
  return uint8_t((((v & c.Mask) >> c.Shift) >> c.Narrow) << c.Widen);
}

bool TBMPRowDecoder::Setup(int Bits, const TRGB* Map, int MapCount, uint32_t RedMask, uint32_t GreenMask,
                           uint32_t BlueMask) {
  FBits = Bits;
  FBadIndex = false;
  FPlain32 = false;
  FMapCount = Map ? std::clamp(MapCount, 0, 256) : 0;
  for (int i = 0; i < 256; ++i) FMap[i] = i < FMapCount ? Map[i] : TRGB{};
  switch (Bits) {
    case 1:
    case 4:
    case 8:
    case 24: return true;
    case 16:
    case 32: break;
    default: return false;
  }
  if (RedMask == 0 && GreenMask == 0 && BlueMask == 0) {
    if (Bits == 16) RedMask = 0x7C00, GreenMask = 0x03E0, BlueMask = 0x001F;
    else RedMask = 0xFF0000, GreenMask = 0xFF00, BlueMask = 0xFF;
  }
  // Any masks are applied as they stand: a channel without bits is 0, masks that overlap or
  // have gaps give what their bits hold.
  const uint32_t m[3] = {RedMask, GreenMask, BlueMask};
  for (int i = 0; i < 3; ++i) SetChannel(FChannels[i], m[i]);
  FPlain32 = Bits == 32 && RedMask == 0xFF0000 && GreenMask == 0xFF00 && BlueMask == 0xFF;
  return true;
}

void TBMPRowDecoder::DecodeRow(const uint8_t* s, uint8_t* d, int Width) {
  auto put = [&](int idx) {
    if (idx >= FMapCount) FBadIndex = true;
    const TRGB& c = FMap[idx];
    d[0] = c.B;
    d[1] = c.G;
    d[2] = c.R;
    d += 3;
  };
  switch (FBits) {
    case 1:
      for (int x = 0; x < Width; ++x) put((s[x >> 3] >> (7 - (x & 7))) & 1);
      break;
    case 4:
      for (int x = 0; x < Width; ++x) put((x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4));
      break;
    case 8:
      for (int x = 0; x < Width; ++x) put(s[x]);
      break;
    case 16:
      for (int x = 0; x < Width; ++x, s += 2, d += 3) {
        uint32_t v = VLGetLE16(s);
        d[0] = Scale(FChannels[2], v);
        d[1] = Scale(FChannels[1], v);
        d[2] = Scale(FChannels[0], v);
      }
      break;
    case 24: std::memcpy(d, s, size_t(Width) * 3); break;
    case 32:
      if (FPlain32) {
        for (int x = 0; x < Width; ++x, s += 4, d += 3) {
          d[0] = s[0];
          d[1] = s[1];
          d[2] = s[2];
        }
      } else {
        for (int x = 0; x < Width; ++x, s += 4, d += 3) {
          uint32_t v = VLGetLE32(s);
          d[0] = Scale(FChannels[2], v);
          d[1] = Scale(FChannels[1], v);
          d[2] = Scale(FChannels[0], v);
        }
      }
      break;
    default: break;
  }
}

// ---- public entry points

bool BMPDecodeRLE8(TBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, TFilterProgress& Progress,
                   const TRGB* ColorMap, int ColorMapCount) {
  return DecodeRLEPublic<false>(Bitmap, Data, DataLength, Progress, ColorMap, ColorMapCount);
}

bool BMPDecodeRLE4(TBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, TFilterProgress& Progress,
                   const TRGB* ColorMap, int ColorMapCount) {
  return DecodeRLEPublic<true>(Bitmap, Data, DataLength, Progress, ColorMap, ColorMapCount);
}

int BMPEncodeRLE8(const uint8_t* Row, int Count, uint8_t* Out) { return EncodeRLE<false>(Row, Count, Out); }
int BMPEncodeRLE4(const uint8_t* Row, int Count, uint8_t* Out) { return EncodeRLE<true>(Row, Count, Out); }

bool VLIsBMP(const uint8_t* Head, int64_t StreamSize) { return StreamSize > 14 && VLGetLE16(Head) == 0x4D42; }

void ReadBMPStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, int64_t DataLength,
                   TFilterProgress& Progress, bool ParamsOnly) {
  TReadState s{Stream, Bitmap, Params, DataLength, Progress, ParamsOnly};
  VLGuardCodec(Progress, crRead, [&] { ReadBMP(s); });
}

void WriteBMPStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress) {
  VLGuardCodec(Progress, crWrite, [&] { WriteBMP(Stream, Bitmap, Params, Progress); });
}
