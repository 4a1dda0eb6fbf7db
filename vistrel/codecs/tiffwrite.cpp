// TIFF writer: one little-endian page with one strip, as a new file or inserted into one.
#include <cstring>
#include <memory>
#include <set>

#include "vistrel/base/byteorder.h"
#include "vistrel/codecs/ccitt.h"
#include "vistrel/codecs/tiff.h"
#include "vistrel/proc/kernels/pixels.h"

namespace {

// Group 3 one-dimensional rows begin with an EOL, as fax readers expect.
constexpr bool kG3RowEol = true;

struct TWriteSettings {
  uint16_t Compression = 1;
  bool TwoD = false;
  uint16_t Photometric = 2;
  uint16_t Predictor = 1;
  TTIFFLZWEncoder LZW = nullptr;
};

TTIFFEntry MakeEntry(uint16_t tag, uint16_t type, uint32_t count) {
  TTIFFEntry e;
  e.Tag = tag, e.Type = type, e.Count = count;
  return e;
}

// Data of an entry goes at an even position relative to the file start.
uint32_t AlignedPos(TStream* s, int64_t base) {
  int64_t p = s->Position() - base;
  if (p & 1) {
    s->WriteByte(0);
    ++p;
  }
  return uint32_t(p);
}

void ClearPadding(uint8_t* row, int width) {
  if (width & 7) row[width >> 3] &= uint8_t(0xFF << (8 - (width & 7)));
}

}  // namespace

void TIFFAddLongEntry(std::vector<TTIFFEntry>& Tags, uint16_t Tag, uint32_t Value) {
  TTIFFEntry e = MakeEntry(Tag, 4, 1);
  VLPutLE32(e.Value, Value);
  Tags.push_back(e);
}

void TIFFAddShortEntry(std::vector<TTIFFEntry>& Tags, uint16_t Tag, uint16_t Value) {
  TTIFFEntry e = MakeEntry(Tag, 3, 1);
  VLPutLE16(e.Value, Value);
  Tags.push_back(e);
}

void TIFFAddRationalEntry(std::vector<TTIFFEntry>& Tags, uint16_t Tag, uint32_t Numerator, uint32_t Denominator,
                          TStream* Stream, int64_t Base) {
  TTIFFEntry e = MakeEntry(Tag, 5, 1);
  VLPutLE32(e.Value, AlignedPos(Stream, Base));
  uint8_t b[8];
  VLPutLE32(b, Numerator);
  VLPutLE32(b + 4, Denominator);
  Stream->WriteBuffer(b, 8);
  Tags.push_back(e);
}

void TIFFAddAsciiEntry(std::vector<TTIFFEntry>& Tags, uint16_t Tag, const std::string& Text, TStream* Stream,
                       int64_t Base) {
  if (Text.empty()) return;
  TTIFFEntry e = MakeEntry(Tag, 2, uint32_t(Text.size() + 1));
  if (Text.size() + 1 <= 4) {
    std::memcpy(e.Value, Text.c_str(), Text.size() + 1);
  } else {
    VLPutLE32(e.Value, AlignedPos(Stream, Base));
    Stream->WriteBuffer(Text.c_str(), int64_t(Text.size()) + 1);
  }
  Tags.push_back(e);
}

void TIFFAddLongArrayEntry(std::vector<TTIFFEntry>& Tags, uint16_t Tag, const std::vector<uint32_t>& Items,
                           TStream* Stream, int64_t Base) {
  TTIFFEntry e = MakeEntry(Tag, 4, uint32_t(Items.size()));
  if (Items.size() == 1) {
    VLPutLE32(e.Value, Items[0]);
  } else {
    VLPutLE32(e.Value, AlignedPos(Stream, Base));
    for (uint32_t v : Items) Stream->WriteDWordLE(v);
  }
  Tags.push_back(e);
}

void TIFFAddShortArrayEntry(std::vector<TTIFFEntry>& Tags, uint16_t Tag, const std::vector<uint16_t>& Items,
                            TStream* Stream, int64_t Base) {
  TTIFFEntry e = MakeEntry(Tag, 3, uint32_t(Items.size()));
  if (Items.size() <= 2) {
    if (Items.size() > 0) VLPutLE16(e.Value, Items[0]);
    if (Items.size() > 1) VLPutLE16(e.Value + 2, Items[1]);
  } else {
    VLPutLE32(e.Value, AlignedPos(Stream, Base));
    for (uint16_t v : Items) Stream->WriteWordLE(v);
  }
  Tags.push_back(e);
}

void TIFFRgbToCmyk(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t* Cmyk) {
  int m = Red > Green ? Red : Green;
  if (Blue > m) m = Blue;
  if (m == 0) m = 1;
  const int k = 255 - m;
  Cmyk[0] = uint8_t(255 - Red * 255 / m);
  Cmyk[1] = uint8_t(255 - Green * 255 / m);
  Cmyk[2] = uint8_t(255 - Blue * 255 / m);
  Cmyk[3] = uint8_t(k);
}

void TIFFPackBitsEncode(const uint8_t* Data, int Size, TStream* Stream) {
  if (!Data || Size <= 0) return;
  std::vector<uint8_t> out;
  out.reserve(size_t(Size) + size_t(Size) / 128 + 2);
  int litStart = 0, litCount = 0;
  auto flush = [&] {
    if (litCount == 0) return;
    out.push_back(uint8_t(litCount - 1));
    out.insert(out.end(), Data + litStart, Data + litStart + litCount);
    litCount = 0;
  };
  int i = 0;
  while (i < Size) {
    int run = 1;
    while (i + run < Size && run < 128 && Data[i + run] == Data[i]) ++run;
    if (run >= 4) {
      flush();
      out.push_back(uint8_t(1 - run));
      out.push_back(Data[i]);
      i += run;
    } else {
      if (litCount == 128) flush();
      if (litCount == 0) litStart = i;
      ++litCount;
      ++i;
    }
  }
  flush();
  Stream->WriteBuffer(out.data(), int64_t(out.size()));
}

namespace {

// Pixel data of one strip; false when the abort flag ended it.
bool TIFFWritePixels(TStream* s, TBitmap* bmp, const TWriteSettings& ws, TFilterProgress& progress) {
  const int w = bmp->Width(), h = bmp->Height();
  // Before each row; the row is written even when the handler asks to stop.
  auto report = [&](int row) { VLReportPercent(progress, int(int64_t(row) * 100 / h)); };
  void* lzw = nullptr;
  if (bmp->PixelFormat() == pf1bit) {
    const int rowBytes = (w + 7) / 8;
    std::vector<uint8_t> row(size_t(rowBytes) + 1);
    const uint8_t* ref = nullptr;
    int pendingBits = 0;
    uint8_t pendingByte = 0;
    for (int y = 0; y < h; ++y) {
      report(y);
      const uint8_t* line = bmp->ScanLine(y);
      switch (ws.Compression) {
        case tcCCITTHuffman: CCITTEncodeMHRow(line, w, s); break;
        case tcCCITTGroup3:
          if (ws.TwoD) CCITTEncodeG3Row2D(line, w, s, ref, pendingBits, pendingByte);
          else CCITTEncodeG3Row(line, w, s, pendingBits, pendingByte, kG3RowEol);
          break;
        case tcCCITTGroup4: CCITTEncodeG4Row(line, w, s, ref, pendingBits, pendingByte); break;
        default:
          std::memcpy(row.data(), line, size_t(rowBytes));
          ClearPadding(row.data(), w);
          if (ws.Compression == tcLZW) ws.LZW(row.data(), rowBytes, s, lzw);
          else if (ws.Compression == tcPackBits) TIFFPackBitsEncode(row.data(), rowBytes, s);
          else s->WriteBuffer(row.data(), rowBytes);
      }
      if (VLAborting(progress)) break;
    }
    switch (ws.Compression) {
      case tcCCITTGroup3:
        if (ws.TwoD) CCITTEncodeG3Row2D(nullptr, 0, s, ref, pendingBits, pendingByte);
        else CCITTEncodeG3Row(nullptr, 0, s, pendingBits, pendingByte);
        break;
      case tcCCITTGroup4: CCITTEncodeG4Row(nullptr, 0, s, ref, pendingBits, pendingByte); break;
      case tcLZW: ws.LZW(nullptr, 0, s, lzw); break;
      default: break;
    }
    return !VLAborting(progress);
  }
  const bool cmyk = ws.Photometric == tpSeparated;
  const int step = cmyk ? 4 : 3;
  const int rowBytes = w * step;
  std::vector<uint8_t> buf(static_cast<size_t>(rowBytes));
  for (int y = 0; y < h; ++y) {
    report(y);
    const uint8_t* src = bmp->ScanLine(y);
    uint8_t* d = buf.data();
    if (cmyk) {
      for (int x = 0; x < w; ++x, src += 3, d += 4) TIFFRgbToCmyk(src[2], src[1], src[0], d);
    } else {
      for (int x = 0; x < w; ++x, src += 3, d += 3) d[0] = src[2], d[1] = src[1], d[2] = src[0];
      if (ws.Predictor == 2)
        for (int i = rowBytes - 1; i >= 3; --i) buf[size_t(i)] = uint8_t(buf[size_t(i)] - buf[size_t(i) - 3]);
    }
    if (ws.Compression == tcLZW) ws.LZW(buf.data(), rowBytes, s, lzw);
    else if (ws.Compression == tcPackBits) TIFFPackBitsEncode(buf.data(), rowBytes, s);
    else s->WriteBuffer(buf.data(), rowBytes);
    if (VLAborting(progress)) break;
  }
  if (ws.Compression == tcLZW) ws.LZW(nullptr, 0, s, lzw);
  return !VLAborting(progress);
}

int WriteImage(TStream* s, bool insert, TBitmap* bitmap, TIOParamsVals& params, TFilterProgress& progress) {
  // Working bitmap.
  std::unique_ptr<TBitmap> own;
  TBitmap* bmp = bitmap;
  if (bmp->PixelFormat() != pf1bit && bmp->PixelFormat() != pf24bit) {
    own = std::make_unique<TBitmap>();
    own->Assign(bitmap);
    own->SetPixelFormat(pf24bit);
    bmp = own.get();
  }
  if (params.BitsPerSample == 1 && params.SamplesPerPixel == 1) {
    if (bmp->PixelFormat() == pf24bit) {
      TRGB c0, c1;
      own.reset(VLMake1BitForWrite(bmp, c0, c1));
      bmp = own.get();
    }
  } else if (bmp->PixelFormat() == pf1bit) {
    auto wide = std::make_unique<TBitmap>();
    VLExpand1BitTo24Bit(bmp, wide.get());
    own = std::move(wide);
    bmp = own.get();
  }
  const bool oneBit = bmp->PixelFormat() == pf1bit;
  const int w = bmp->Width(), h = bmp->Height();
  if (w <= 0 || h <= 0) VLThrowFail(vcNoPicture, "empty bitmap");

  TWriteSettings ws;
  const uint8_t photometric = params.TIFFPhotometric;
  ws.Photometric = (photometric == tpWhiteIsZero || photometric == tpBlackIsZero) ? tpBlackIsZero
                   : photometric == tpSeparated                                   ? tpSeparated
                                                                                  : tpRGB;
  switch (params.TIFFCompression) {
    case tpcHuffman: ws.Compression = tcCCITTHuffman; break;
    case tpcGroup3: ws.Compression = tcCCITTGroup3; break;
    case tpcGroup3TwoD: ws.Compression = tcCCITTGroup3, ws.TwoD = true; break;
    case tpcGroup4: ws.Compression = tcCCITTGroup4; break;
    case tpcLZW:
      ws.LZW = params.TIFFLZWCompress ? params.TIFFLZWCompress : DefaultTIFFLZWCompressor;
      ws.Compression = ws.LZW ? tcLZW : tcNone;
      break;
    case tpcPackBits: ws.Compression = tcPackBits; break;
    default: ws.Compression = tcNone; break;
  }
  if (TIFFIsFaxCompression(ws.Compression) && !oneBit) ws.Compression = tcNone, ws.TwoD = false;
  // Differencing applies to RGB rows only; CMYK rows are written as they are.
  if (ws.Compression == tcLZW && params.BitsPerSample == 8 &&
      (params.SamplesPerPixel == 1 || params.SamplesPerPixel == 3) && !oneBit && ws.Photometric != tpSeparated)
    ws.Predictor = 2;
  const bool cmyk = !oneBit && ws.Photometric == tpSeparated;

  // Start of the file.
  int64_t base = s->Position();
  int result = 1;
  int64_t linkPos = 0;
  uint32_t oldLink = 0;
  if (!insert) {
    uint8_t zero[8] = {};
    s->WriteBuffer(zero, 8);
  } else {
    uint8_t h4[4];
    if (s->Read(h4, 4) != 4 || h4[0] != 'I' || h4[1] != 'I') VLThrowFail(vcNotFormat, "not a little-endian TIFF file");
    int64_t size = s->Size() - base;
    int64_t want = params.TIFFImageIndex < 0 ? 0 : params.TIFFImageIndex;
    int64_t i = 0;
    int64_t pos = 4;
    std::set<uint32_t> seen;
    bool remembered = false;
    for (;;) {
      uint8_t b[4];
      s->Seek(base + pos, soBeginning);
      if (pos + 4 > size || s->Read(b, 4) != 4) VLThrowFail(vcBadHeader, "broken IFD chain");
      uint32_t link = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
      if (!remembered && (i == want || (link == 0 && i < want))) {
        linkPos = pos, oldLink = link, remembered = true;
      }
      if (link == 0) break;
      if (!seen.insert(link).second || int64_t(link) + 2 > size) VLThrowFail(vcBadHeader, "broken IFD chain");
      s->Seek(base + link, soBeginning);
      if (s->Read(b, 2) != 2) VLThrowFail(vcBadHeader, "broken IFD chain");
      pos = int64_t(link) + 2 + 12 * int64_t(uint32_t(b[0]) | uint32_t(b[1]) << 8);
      ++i;
    }
    if (i + 1 > 0x7FFFFFFF) VLThrowFail(vcTooLarge, "too many pages");
    result = int(i + 1);
    s->Seek(0, soEnd);
    if (s->Position() - base > 0xFFFFFFF0LL) VLThrowFail(vcTooLarge, "file too large");
  }

  std::vector<TTIFFEntry> tags;
  TIFFAddLongEntry(tags, 256, uint32_t(w));
  TIFFAddLongEntry(tags, 257, uint32_t(h));
  if (oneBit) TIFFAddShortEntry(tags, 258, 1);
  else TIFFAddLongArrayEntry(tags, 258, std::vector<uint32_t>(cmyk ? 4 : 3, 8), s, base);
  TIFFAddShortEntry(tags, 259, ws.Compression);
  TIFFAddShortEntry(tags, 262, oneBit ? tpBlackIsZero : cmyk ? tpSeparated : tpRGB);
  TIFFAddAsciiEntry(tags, 269, params.TIFFDocumentName, s, base);
  TIFFAddAsciiEntry(tags, 270, params.TIFFImageDescription, s, base);
  const uint32_t stripPos = AlignedPos(s, base);
  TIFFAddLongEntry(tags, 273, stripPos);
  ws.Photometric = oneBit ? tpBlackIsZero : cmyk ? tpSeparated : tpRGB;
  progress.PercentPerRow = 100.0 / h;
  if (!TIFFWritePixels(s, bmp, ws, progress)) return 0;
  const int64_t stripBytes = s->Position() - base - stripPos;
  if (s->Position() - base > 0xFFFFFFF0LL) VLThrowFail(vcTooLarge, "file too large");
  TIFFAddShortEntry(tags, 277, oneBit ? 1 : cmyk ? 4 : 3);
  TIFFAddLongEntry(tags, 278, uint32_t(h));
  TIFFAddLongEntry(tags, 279, uint32_t(stripBytes));
  TIFFAddRationalEntry(tags, 282, uint32_t(params.DpiX < 0 ? 0 : params.DpiX), 1, s, base);
  TIFFAddRationalEntry(tags, 283, uint32_t(params.DpiY < 0 ? 0 : params.DpiY), 1, s, base);
  TIFFAddAsciiEntry(tags, 285, params.TIFFPageName, s, base);
  auto pos10000 = [](int32_t v) { return uint32_t(Round((long double)(v < 0 ? 0 : v) * 10000)); };
  TIFFAddRationalEntry(tags, 286, pos10000(params.TIFFXPos), 10000, s, base);
  TIFFAddRationalEntry(tags, 287, pos10000(params.TIFFYPos), 10000, s, base);
  if (ws.Compression == tcCCITTGroup3) TIFFAddLongEntry(tags, 292, ws.TwoD ? 1 : 0);
  TIFFAddShortEntry(tags, 296, 2);
  if (params.TIFFPageNumber != 0 || params.TIFFPageCount != 0)
    TIFFAddShortArrayEntry(tags, 297, {uint16_t(params.TIFFPageNumber), uint16_t(params.TIFFPageCount)}, s, base);
  if (ws.Predictor == 2) TIFFAddShortEntry(tags, 317, 2);

  // The IFD.
  const uint32_t ifd = AlignedPos(s, base);
  if (!insert) {
    uint8_t hd[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    VLPutLE32(hd + 4, ifd);
    s->Seek(base, soBeginning);
    s->WriteBuffer(hd, 8);
  } else {
    uint8_t b[4];
    VLPutLE32(b, ifd);
    s->Seek(base + linkPos, soBeginning);
    s->WriteBuffer(b, 4);
  }
  std::vector<uint8_t> out(2 + tags.size() * 12 + 4);
  VLPutLE16(out.data(), uint32_t(tags.size()));
  for (size_t i = 0; i < tags.size(); ++i) {
    uint8_t* p = out.data() + 2 + i * 12;
    VLPutLE16(p, tags[i].Tag);
    VLPutLE16(p + 2, tags[i].Type);
    VLPutLE32(p + 4, tags[i].Count);
    std::memcpy(p + 8, tags[i].Value, 4);
  }
  VLPutLE32(out.data() + out.size() - 4, insert ? oldLink : 0);
  s->Seek(base + ifd, soBeginning);
  s->WriteBuffer(out.data(), int64_t(out.size()));
  return result;
}

}  // namespace

int WriteTIFFStream(TStream* Stream, bool Insert, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress) {
  int pages = 0;
  VLGuardCodec(Progress, crWrite, [&] {
    if (!Stream || !Bitmap) VLThrowFail(vcNoPicture, "nothing to write");
    pages = WriteImage(Stream, Insert, Bitmap, Params, Progress);
  });
  return VLAborting(Progress) ? 0 : pages;
}
