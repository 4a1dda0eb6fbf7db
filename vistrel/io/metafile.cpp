#include "vistrel/io/metafile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <set>

#include "platform/gui/canvas.h"
#include "vistrel/base/byteorder.h"

namespace {

// Bounds-checked little-endian reads over one block; out-of-range reads give 0 and mark
// the reader as failed.
class TBytes {
 public:
  TBytes(const uint8_t* data, int64_t size) : FData(data), FSize(size < 0 ? 0 : size) {}
  int64_t Size() const { return FSize; }
  const uint8_t* Data() const { return FData; }
  bool Has(int64_t offset, int64_t count) const {
    return offset >= 0 && count >= 0 && offset <= FSize && count <= FSize - offset;
  }
  uint8_t U8(int64_t o) {
    if (!Has(o, 1)) return Bad();
    return FData[o];
  }
  uint16_t U16(int64_t o) {
    if (!Has(o, 2)) return Bad();
    return uint16_t(FData[o] | (FData[o + 1] << 8));
  }
  int16_t I16(int64_t o) { return int16_t(U16(o)); }
  uint32_t U32(int64_t o) {
    if (!Has(o, 4)) return Bad();
    return uint32_t(FData[o]) | (uint32_t(FData[o + 1]) << 8) | (uint32_t(FData[o + 2]) << 16) |
           (uint32_t(FData[o + 3]) << 24);
  }
  int32_t I32(int64_t o) { return int32_t(U32(o)); }
  bool Failed() const { return FFailed; }
  TBytes Sub(int64_t offset, int64_t count) const {
    if (!Has(offset, count)) return TBytes(nullptr, 0);
    return TBytes(FData + offset, count);
  }

 private:
  uint8_t Bad() {
    FFailed = true;
    return 0;
  }
  const uint8_t* FData;
  int64_t FSize;
  bool FFailed = false;
};

// Appends count points at o, pairs of 16-bit coordinates or (Wide) 32-bit ones; false when
// they run past the block.
bool ReadPoints(TBytes& r, int64_t o, int64_t count, bool Wide, std::vector<TPoint>& points) {
  const int64_t size = Wide ? 8 : 4;
  if (count < 0 || !r.Has(o, count * size)) return false;
  points.reserve(size_t(count));
  for (int64_t i = 0; i < count; ++i) {
    const int64_t at = o + i * size;
    points.push_back(Wide ? Point(r.I32(at), r.I32(at + 4)) : Point(r.I16(at), r.I16(at + 2)));
  }
  return true;
}

int32_t MulDivRound(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  long double r = (long double)a * b / c;
  return RoundInt(r);
}

TColor ColorRef(uint32_t c) { return TColor(c & 0xFFFFFF); }

// Windows-1252 (as Latin-1) to UTF-8.
std::string AnsiToUtf8(const uint8_t* s, int64_t n) {
  std::string out;
  for (int64_t i = 0; i < n; ++i) {
    uint8_t c = s[i];
    if (c == 0) break;
    if (c < 0x80) {
      out += char(c);
    } else {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// UTF-16LE to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(TBytes& b, int64_t offset, int64_t chars) {
  std::string out;
  auto put = [&out](uint32_t cp) {
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | (cp >> 6));
      out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += char(0xE0 | (cp >> 12));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xF0 | (cp >> 18));
      out += char(0x80 | ((cp >> 12) & 0x3F));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  };
  for (int64_t i = 0; i < chars; ++i) {
    if (!b.Has(offset + i * 2, 2)) break;
    uint32_t c = b.U16(offset + i * 2);
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < chars && b.Has(offset + (i + 1) * 2, 2)) {
      uint32_t d = b.U16(offset + (i + 1) * 2);
      if (d >= 0xDC00 && d < 0xE000) {
        put(0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00));
        ++i;
        continue;
      }
    }
    if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
    put(c);
  }
  return out;
}

constexpr int64_t kMaxDIBPixels = int64_t(1) << 24;

int MaskShift(uint32_t m) {
  int s = 0;
  if (!m) return 0;
  while (!(m & 1)) m >>= 1, ++s;
  return s;
}
int MaskBits(uint32_t m) {
  int n = 0;
  for (m >>= MaskShift(m); m & 1; m >>= 1) ++n;
  return n;
}
uint8_t MaskValue(uint32_t v, uint32_t m) {
  if (!m) return 0;
  int bits = MaskBits(m);
  uint32_t x = (v & m) >> MaskShift(m);
  if (bits >= 8) return uint8_t(x >> (bits - 8));
  uint32_t max = (1u << bits) - 1;
  return uint8_t(x * 255 / max);
}

}  // namespace

namespace {

// The decoder behind VLDecodePackedDIB; a picture of more than MaxBytes sets TooLarge.
std::shared_ptr<TBitmap> DecodeDIB(const uint8_t* Header, int64_t HeaderSize, const uint8_t* Bits, int64_t BitsSize,
                                   int64_t MaxBytes, bool& TooLarge) {
  TooLarge = false;
  TBytes h(Header, HeaderSize);
  TBytes bits(Bits, BitsSize);
  const uint32_t hsize = h.U32(0);
  int64_t w, hgt;
  int bpp;
  uint32_t compression = 0, clrUsed = 0;
  int entrySize;
  if (hsize == 12) {
    w = h.U16(4);
    hgt = h.U16(6);
    bpp = h.U16(10);
    entrySize = 3;
  } else if (hsize >= 40) {
    w = h.I32(4);
    hgt = h.I32(8);
    bpp = h.U16(14);
    compression = h.U32(16);
    clrUsed = h.U32(32);
    entrySize = 4;
  } else {
    return nullptr;
  }
  if (h.Failed() || w <= 0 || hgt == 0) return nullptr;
  const bool topDown = hgt < 0;
  if (topDown) hgt = -hgt;
  if (w * hgt > kMaxDIBPixels) return nullptr;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
  if (compression != 0 && !(compression == 3 && (bpp == 16 || bpp == 32))) return nullptr;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bpp == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  int64_t tableAt = hsize;
  if (compression == 3) {
    if (hsize >= 52) {
      for (int i = 0; i < 3; ++i) masks[i] = h.U32(40 + 4 * i);
    } else {
      for (int i = 0; i < 3; ++i) masks[i] = h.U32(hsize + 4 * i);
      tableAt += 12;
    }
    if (h.Failed()) return nullptr;
  }
  std::vector<TRGB> palette;
  if (bpp <= 8) {
    int64_t count = clrUsed ? std::min<int64_t>(clrUsed, int64_t(1) << bpp) : int64_t(1) << bpp;
    for (int64_t i = 0; i < count; ++i) {
      int64_t o = tableAt + i * entrySize;
      if (!h.Has(o, 3)) break;  // a short table: the rest stays black
      palette.push_back(TRGB{h.U8(o), h.U8(o + 1), h.U8(o + 2)});
    }
    palette.resize(size_t(int64_t(1) << bpp));
  }
  const int64_t rowBytes = (w * bpp + 31) / 32 * 4;
  if (!bits.Has(0, rowBytes * hgt)) return nullptr;
  if (BitmapRowBytes(w, 24) * hgt > std::min(MaxBytes, TBitmap::MaxBytes())) {
    TooLarge = true;
    return nullptr;
  }
  auto pic = std::make_shared<TBitmap>();
  pic->SetPixelFormat(pf24bit);
  pic->SetSize(int(w), int(hgt));
  for (int64_t y = 0; y < hgt; ++y) {
    const uint8_t* src = Bits + (topDown ? y : hgt - 1 - y) * rowBytes;
    uint8_t* d = pic->ScanLine(int(y));
    for (int64_t x = 0; x < w; ++x) {
      TRGB p;
      switch (bpp) {
        case 1: p = palette[(src[x >> 3] >> (7 - (x & 7))) & 1]; break;
        case 4: p = palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15]; break;
        case 8: p = palette[src[x]]; break;
        case 16: {
          uint32_t v = uint32_t(src[x * 2] | (src[x * 2 + 1] << 8));
          p = TRGB{MaskValue(v, masks[2]), MaskValue(v, masks[1]), MaskValue(v, masks[0])};
          break;
        }
        case 24: p = TRGB{src[x * 3], src[x * 3 + 1], src[x * 3 + 2]}; break;
        default: {
          const uint8_t* q = src + x * 4;
          uint32_t v = uint32_t(q[0]) | (uint32_t(q[1]) << 8) | (uint32_t(q[2]) << 16) | (uint32_t(q[3]) << 24);
          p = TRGB{MaskValue(v, masks[2]), MaskValue(v, masks[1]), MaskValue(v, masks[0])};
          break;
        }
      }
      d[x * 3] = p.B;
      d[x * 3 + 1] = p.G;
      d[x * 3 + 2] = p.R;
    }
  }
  return pic;
}

}  // namespace

std::shared_ptr<TBitmap> VLDecodePackedDIB(const uint8_t* Header, int64_t HeaderSize, const uint8_t* Bits,
                                           int64_t BitsSize) {
  bool tooLarge;
  return DecodeDIB(Header, HeaderSize, Bits, BitsSize, TBitmap::MaxBytes(), tooLarge);
}

namespace {

// Byte length of a packed DIB's header and colour table (where its rows start); -1 if bad.
int64_t PackedDIBHeaderBytes(TBytes& b) {
  uint32_t hsize = b.U32(0);
  if (b.Failed()) return -1;
  if (hsize == 12) {
    int bpp = b.U16(10);
    return 12 + (bpp <= 8 ? (int64_t(1) << bpp) * 3 : 0);
  }
  if (hsize < 40 || hsize > 1024) return -1;
  int bpp = b.U16(14);
  uint32_t compression = b.U32(16);
  uint32_t clrUsed = b.U32(32);
  if (b.Failed() || bpp > 32) return -1;
  int64_t n = hsize;
  if (compression == 3 && hsize < 52) n += 12;
  if (bpp <= 8) n += (clrUsed ? std::min<int64_t>(clrUsed, int64_t(1) << bpp) : int64_t(1) << bpp) * 4;
  else if (clrUsed) n += std::min<int64_t>(clrUsed, 1 << 16) * 4;
  return n;
}

std::shared_ptr<TBitmap> DecodeContiguousDIB(TBytes b, int64_t maxBytes, bool& tooLarge) {
  tooLarge = false;
  int64_t n = PackedDIBHeaderBytes(b);
  if (n < 0 || !b.Has(0, n)) return nullptr;
  return DecodeDIB(b.Data(), n, b.Data() + n, b.Size() - n, maxBytes, tooLarge);
}

// What the parsed records may take: the picture limit, checked before each allocation. The
// record list grows by doubling, and both lists count while it moves. A shape's points are
// also checked at what playing it costs (mapped, cut and filled whole).
constexpr int64_t kPlayBytesPerPoint = 160;

class TRecordStore {
 public:
  explicit TRecordStore(TVLMetafile& m) : FMeta(m), FLimit(TBitmap::MaxBytes()) {}
  int64_t Left() const { return FLimit - FUsed; }
  // Points one shape may have; more set TooMany.
  bool PointsFit(int64_t count) {
    if (count <= FLimit / kPlayBytesPerPoint) return true;
    TooMany = true;
    return false;
  }
  bool TooMany = false;
  // False when the record would take the list past the limit.
  bool Add(TVLMetaRecord&& rec) {
    constexpr int64_t size = int64_t(sizeof(TVLMetaRecord));
    const int64_t heap = int64_t(rec.Points.capacity() * sizeof(TPoint) + rec.Counts.capacity() * sizeof(int32_t) +
                                 rec.Text.capacity() + rec.FontName.capacity()) +
                         (rec.Picture ? rec.Picture->ImageSize() : 0);
    std::vector<TVLMetaRecord>& list = FMeta.Records;
    if (list.size() == list.capacity()) {
      const int64_t old = int64_t(list.capacity()), grown = std::max<int64_t>(64, old * 2);
      if (grown * size > Left()) return false;
      list.reserve(size_t(grown));
      FUsed += (grown - old) * size;
    }
    if (heap > Left()) return false;
    FUsed += heap;
    list.push_back(std::move(rec));
    return true;
  }

 private:
  TVLMetafile& FMeta;
  const int64_t FLimit;
  int64_t FUsed = 0;
};

// The source rectangle (in bottom-up DIB terms) as top-down rows.
TRect DIBSource(const TBitmap& pic, int32_t xSrc, int32_t ySrc, int32_t cx, int32_t cy, bool bottomUp) {
  auto lim = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, -1000000, 1000000)); };
  int64_t top = bottomUp ? int64_t(pic.Height()) - ySrc - cy : ySrc;
  return Rect(lim(xSrc), lim(top), lim(cx), lim(cy));
}

bool HeightIsBottomUp(TBytes b) {
  uint32_t hsize = b.U32(0);
  if (hsize == 12) return true;
  return b.I32(8) > 0;
}

// ---- WMF ----

bool ParseWMF(TBytes& f, TVLMetafile& m, std::string& reason) {
  TRecordStore store(m);
  // Placeable header.
  const int16_t left = f.I16(6), top = f.I16(8), right = f.I16(10), bottom = f.I16(12);
  const uint16_t inch = f.U16(14);
  if (f.Failed()) return reason = "short header", false;
  if (inch == 0 || right == left || bottom == top) return reason = "empty frame", false;
  m.Enhanced = false;
  m.Frame = Rect(std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom));
  const int ppi = ScreenPixelsPerInch();
  m.Width = MulDivRound(m.Frame.Width(), ppi, inch);
  m.Height = MulDivRound(m.Frame.Height(), ppi, inch);
  if (m.Width <= 0 || m.Height <= 0) return reason = "empty frame", false;
  // Standard header.
  const int64_t h = 22;
  const uint16_t type = f.U16(h), headerWords = f.U16(h + 2);
  if (f.Failed() || (type != 1 && type != 2) || headerWords != 9) return reason = "bad metafile header", false;
  int64_t pos = h + 18;
  for (;;) {
    if (!f.Has(pos, 6)) return reason = "truncated", false;
    const int64_t words = f.U32(pos);
    const uint16_t fn = f.U16(pos + 4);
    if (words < 3) return reason = "bad record size", false;
    if (!f.Has(pos, words * 2)) return reason = "truncated", false;
    TBytes r = f.Sub(pos + 6, words * 2 - 6);  // the parameters
    pos += words * 2;
    if (fn == 0x0000) break;  // end of file
    TVLMetaRecord rec;
    bool keep = true;
    auto pointsAt = [&r, &rec, &store](int64_t o, int64_t count) {
      return count >= 0 && r.Has(o, count * 4) && store.PointsFit(count) && ReadPoints(r, o, count, false, rec.Points);
    };
    switch (fn) {
      case 0x0201:
        rec.Op = moSetBkColor;
        rec.Color = ColorRef(r.U32(0));
        break;
      case 0x0209:
        rec.Op = moSetTextColor;
        rec.Color = ColorRef(r.U32(0));
        break;
      case 0x0102:
        rec.Op = moSetBkMode;
        rec.Style = r.U16(0);
        break;
      case 0x0106:
        rec.Op = moSetPolyFillMode;
        rec.Style = r.U16(0);
        break;
      case 0x012E:
        rec.Op = moSetTextAlign;
        rec.Style = r.U16(0);
        break;
      case 0x020B:
        rec.Op = moSetWindowOrg;
        rec.Points = {Point(r.I16(2), r.I16(0))};
        break;
      case 0x020C:
        rec.Op = moSetWindowExt;
        rec.Points = {Point(r.I16(2), r.I16(0))};
        break;
      case 0x020D:
        rec.Op = moSetViewportOrg;
        rec.Points = {Point(r.I16(2), r.I16(0))};
        break;
      case 0x020E:
        rec.Op = moSetViewportExt;
        rec.Points = {Point(r.I16(2), r.I16(0))};
        break;
      case 0x0213:
        rec.Op = moLineTo;
        rec.Points = {Point(r.I16(2), r.I16(0))};
        break;
      case 0x0214:
        rec.Op = moMoveTo;
        rec.Points = {Point(r.I16(2), r.I16(0))};
        break;
      case 0x041B:
      case 0x0418:
        rec.Op = fn == 0x041B ? moRectangle : moEllipse;
        rec.Box = Rect(r.I16(6), r.I16(4), r.I16(2), r.I16(0));
        break;
      case 0x0324:
      case 0x0325:
        rec.Op = fn == 0x0324 ? moPolygon : moPolyline;
        keep = pointsAt(2, r.I16(0));
        break;
      case 0x0538: {
        rec.Op = moPolyPolygon;
        const int64_t polys = r.U16(0);
        int64_t total = 0;
        for (int64_t i = 0; i < polys && !r.Failed(); ++i) {
          int32_t c = r.U16(2 + i * 2);
          rec.Counts.push_back(c);
          total += c;
        }
        keep = !r.Failed() && pointsAt(2 + polys * 2, total);
        break;
      }
      case 0x0521: {
        rec.Op = moText;
        const int64_t n = r.I16(0);
        const int64_t padded = (n + 1) & ~int64_t(1);
        if (n < 0 || !r.Has(2, padded + 4)) {
          keep = false;
          break;
        }
        rec.Text = AnsiToUtf8(r.Data() + 2, n);
        rec.Points = {Point(r.I16(2 + padded + 2), r.I16(2 + padded))};
        break;
      }
      case 0x0A32: {
        rec.Op = moText;
        const int16_t y = r.I16(0), x = r.I16(2);
        const int64_t n = r.I16(4);
        const uint16_t options = r.U16(6);
        int64_t o = 8;
        if (options & 0x0006) {
          rec.Box = Rect(r.I16(8), r.I16(10), r.I16(12), r.I16(14));
          o += 8;
        }
        rec.Width = options;
        if (n < 0 || !r.Has(o, n)) {
          keep = false;
          break;
        }
        rec.Text = AnsiToUtf8(r.Data() + o, n);
        rec.Points = {Point(x, y)};
        break;
      }
      case 0x02FA:
        rec.Op = moCreatePen;
        rec.Style = r.U16(0);
        rec.Width = r.I16(2);
        rec.Color = ColorRef(r.U32(6));
        break;
      case 0x02FC:
        rec.Op = moCreateBrush;
        rec.Style = r.U16(0);
        rec.Color = ColorRef(r.U32(2));
        rec.Width = r.U16(6);
        break;
      case 0x02FB: {
        rec.Op = moCreateFont;
        rec.FontHeight = r.I16(0);
        rec.FontEscapement = r.I16(4);
        rec.FontWeight = r.I16(8);
        rec.FontItalic = r.U8(10) != 0;
        rec.FontUnderline = r.U8(11) != 0;
        rec.FontStrikeOut = r.U8(12) != 0;
        const int64_t nameAt = 18;
        if (r.Has(nameAt, 1)) rec.FontName = AnsiToUtf8(r.Data() + nameAt, std::min<int64_t>(32, r.Size() - nameAt));
        break;
      }
      case 0x00F7:  // palette
      case 0x01F9:  // pattern brush
      case 0x0142:  // DIB pattern brush
      case 0x06FF:  // region
        rec.Op = moCreateOther;
        break;
      case 0x012D:
        rec.Op = moSelectObject;
        rec.Index = r.U16(0);
        break;
      case 0x01F0:
        rec.Op = moDeleteObject;
        rec.Index = r.U16(0);
        break;
      case 0x001E: rec.Op = moSaveDC; break;
      case 0x0127:
        rec.Op = moRestoreDC;
        rec.Style = r.I16(0);
        break;
      case 0x0F43:    // StretchDIBits
      case 0x0B41:    // DIBStretchBlt
      case 0x0940: {  // DIBBitBlt
        rec.Op = moStretchDIB;
        int64_t dibAt;
        int32_t srcH, srcW, ySrc, xSrc, dstH, dstW, yDst, xDst;
        if (fn == 0x0F43) {
          srcH = r.I16(6), srcW = r.I16(8), ySrc = r.I16(10), xSrc = r.I16(12);
          dstH = r.I16(14), dstW = r.I16(16), yDst = r.I16(18), xDst = r.I16(20);
          dibAt = 22;
        } else if (fn == 0x0B41) {
          srcH = r.I16(4), srcW = r.I16(6), ySrc = r.I16(8), xSrc = r.I16(10);
          dstH = r.I16(12), dstW = r.I16(14), yDst = r.I16(16), xDst = r.I16(18);
          dibAt = 20;
        } else {
          ySrc = r.I16(4), xSrc = r.I16(6), dstH = r.I16(8), dstW = r.I16(10), yDst = r.I16(12), xDst = r.I16(14);
          srcH = dstH, srcW = dstW;
          dibAt = 16;
        }
        if (!r.Has(dibAt, 40)) {
          keep = false;
          break;
        }
        TBytes dib = r.Sub(dibAt, r.Size() - dibAt);
        bool tooLarge;
        rec.Picture = DecodeContiguousDIB(dib, store.Left(), tooLarge);
        if (tooLarge) return reason = "too large", false;
        if (!rec.Picture) {
          keep = false;
          break;
        }
        rec.Box = Rect(xDst, yDst, dstW, dstH);
        rec.Source = DIBSource(*rec.Picture, xSrc, ySrc, srcW, srcH, HeightIsBottomUp(dib));
        break;
      }
      default:
        keep = false;  // a record we don't play
        break;
    }
    if (r.Failed()) keep = false;
    // A create that we could not read still takes its slot.
    if (!keep && (fn == 0x02FA || fn == 0x02FC || fn == 0x02FB)) {
      rec = TVLMetaRecord();
      rec.Op = moCreateOther;
      keep = true;
    }
    if (store.TooMany || (keep && !store.Add(std::move(rec)))) return reason = "too large", false;
  }
  return true;
}

// ---- EMF ----

bool ParseEMF(TBytes& f, TVLMetafile& m, std::string& reason) {
  TRecordStore store(m);
  const int64_t headerSize = f.U32(4);
  const int32_t bl = f.I32(8), bt = f.I32(12), br = f.I32(16), bb = f.I32(20);
  const int32_t fl = f.I32(24), ft = f.I32(28), fr = f.I32(32), fb = f.I32(36);
  const int32_t devCx = f.I32(72), devCy = f.I32(76), mmCx = f.I32(80), mmCy = f.I32(84);
  if (f.Failed() || headerSize < 88) return reason = "short header", false;
  m.Enhanced = true;
  const int ppi = ScreenPixelsPerInch();
  m.Width = MulDivRound(int64_t(fr) - fl, ppi, 2540);
  m.Height = MulDivRound(int64_t(fb) - ft, ppi, 2540);
  if (m.Width <= 0 || m.Height <= 0) return reason = "empty frame", false;
  if (devCx > 0 && devCy > 0 && mmCx > 0 && mmCy > 0) {
    auto px = [](int64_t hmm, int64_t dev, int64_t mm) { return MulDivRound(hmm, dev, mm * 100); };
    m.Frame = Rect(px(fl, devCx, mmCx), px(ft, devCy, mmCy), px(fr, devCx, mmCx), px(fb, devCy, mmCy));
  } else {
    m.Frame = Rect(bl, bt, br, bb);
  }
  auto lim = [](int32_t v) { return std::clamp(v, -100000000, 100000000); };
  m.Frame = Rect(lim(m.Frame.Left), lim(m.Frame.Top), lim(m.Frame.Right), lim(m.Frame.Bottom));
  if (m.Frame.Width() == 0 || m.Frame.Height() == 0) m.Frame = Rect(0, 0, m.Width, m.Height);
  int64_t pos = 0;
  for (;;) {
    if (!f.Has(pos, 8)) return reason = "truncated", false;
    const uint32_t type = f.U32(pos);
    const int64_t size = f.U32(pos + 4);
    if (size < 8 || (size & 3)) return reason = "bad record size", false;
    if (!f.Has(pos, size)) return reason = "truncated", false;
    TBytes r = f.Sub(pos, size);  // the whole record, offsets as the format gives them
    pos += size;
    if (type == 14) break;  // end of file
    TVLMetaRecord rec;
    bool keep = true;
    // Points whose bytes are there, and that the limit lets the shape have.
    auto points32 = [&r, &rec, &store](int64_t o, int64_t count) {
      return count >= 0 && r.Has(o, count * 8) && store.PointsFit(count) && ReadPoints(r, o, count, true, rec.Points);
    };
    auto points16 = [&r, &rec, &store](int64_t o, int64_t count) {
      return count >= 0 && r.Has(o, count * 4) && store.PointsFit(count) && ReadPoints(r, o, count, false, rec.Points);
    };
    auto polyCounts = [&r, &rec](int64_t& total) {
      const int64_t polys = r.U32(24);
      total = 0;
      if (!r.Has(32, polys * 4)) return false;
      for (int64_t i = 0; i < polys; ++i) {
        int64_t c = r.U32(32 + i * 4);
        if (c > r.Size()) return false;
        rec.Counts.push_back(int32_t(c));
        total += c;
      }
      return true;
    };
    switch (type) {
      case 1: keep = false; break;  // the header
      case 3:
        rec.Op = moPolygon;
        keep = points32(28, r.U32(24));
        break;
      case 4:
        rec.Op = moPolyline;
        keep = points32(28, r.U32(24));
        break;
      case 6:
        rec.Op = moPolylineTo;
        keep = points32(28, r.U32(24));
        break;
      case 86:
        rec.Op = moPolygon;
        keep = points16(28, r.U32(24));
        break;
      case 87:
        rec.Op = moPolyline;
        keep = points16(28, r.U32(24));
        break;
      case 89:
        rec.Op = moPolylineTo;
        keep = points16(28, r.U32(24));
        break;
      case 7:
      case 8:
      case 90:
      case 91: {
        rec.Op = (type == 7 || type == 90) ? moPolyPolyline : moPolyPolygon;
        int64_t total;
        const int64_t polys = r.U32(24);
        keep = polyCounts(total);
        if (keep) keep = type < 90 ? points32(32 + polys * 4, total) : points16(32 + polys * 4, total);
        break;
      }
      case 9:
        rec.Op = moSetWindowExt;
        rec.Points = {Point(r.I32(8), r.I32(12))};
        break;
      case 10:
        rec.Op = moSetWindowOrg;
        rec.Points = {Point(r.I32(8), r.I32(12))};
        break;
      case 11:
        rec.Op = moSetViewportExt;
        rec.Points = {Point(r.I32(8), r.I32(12))};
        break;
      case 12:
        rec.Op = moSetViewportOrg;
        rec.Points = {Point(r.I32(8), r.I32(12))};
        break;
      case 18:
        rec.Op = moSetBkMode;
        rec.Style = r.I32(8);
        break;
      case 19:
        rec.Op = moSetPolyFillMode;
        rec.Style = r.I32(8);
        break;
      case 22:
        rec.Op = moSetTextAlign;
        rec.Style = r.I32(8);
        break;
      case 24:
        rec.Op = moSetTextColor;
        rec.Color = ColorRef(r.U32(8));
        break;
      case 25:
        rec.Op = moSetBkColor;
        rec.Color = ColorRef(r.U32(8));
        break;
      case 27:
        rec.Op = moMoveTo;
        rec.Points = {Point(r.I32(8), r.I32(12))};
        break;
      case 54:
        rec.Op = moLineTo;
        rec.Points = {Point(r.I32(8), r.I32(12))};
        break;
      case 33: rec.Op = moSaveDC; break;
      case 34:
        rec.Op = moRestoreDC;
        rec.Style = r.I32(8);
        break;
      case 37:
        rec.Op = moSelectObject;
        rec.Index = r.U32(8);
        break;
      case 40:
        rec.Op = moDeleteObject;
        rec.Index = r.U32(8);
        break;
      case 38:
        rec.Op = moCreatePen;
        rec.Index = r.U32(8);
        rec.Style = r.I32(12);
        rec.Width = r.I32(16);
        rec.Color = ColorRef(r.U32(24));
        break;
      case 95:
        rec.Op = moCreatePen;
        rec.Index = r.U32(8);
        rec.Style = r.I32(28) & 0x0F;
        rec.Width = r.I32(32);
        rec.Color = ColorRef(r.U32(40));
        break;
      case 39:
        rec.Op = moCreateBrush;
        rec.Index = r.U32(8);
        rec.Style = r.I32(12);
        rec.Color = ColorRef(r.U32(16));
        rec.Width = r.I32(20);
        break;
      case 82:
        rec.Op = moCreateFont;
        rec.Index = r.U32(8);
        rec.FontHeight = r.I32(12);
        rec.FontEscapement = r.I32(20);
        rec.FontWeight = r.I32(28);
        rec.FontItalic = r.U8(32) != 0;
        rec.FontUnderline = r.U8(33) != 0;
        rec.FontStrikeOut = r.U8(34) != 0;
        rec.FontName = Utf16ToUtf8(r, 40, 32);
        break;
      case 42:
      case 43:
        rec.Op = type == 43 ? moRectangle : moEllipse;
        rec.Box = Rect(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
        break;
      case 83:
      case 84: {
        rec.Op = moText;
        const int32_t x = r.I32(36), y = r.I32(40);
        const int64_t n = r.U32(44), off = r.U32(48);
        rec.Width = int32_t(r.U32(52));
        rec.Box = Rect(r.I32(56), r.I32(60), r.I32(64), r.I32(68));
        if (r.Failed() || n > r.Size()) {
          keep = false;
          break;
        }
        if (type == 84) {
          if (!r.Has(off, n * 2)) {
            keep = false;
            break;
          }
          rec.Text = Utf16ToUtf8(r, off, n);
        } else {
          if (!r.Has(off, n)) {
            keep = false;
            break;
          }
          rec.Text = AnsiToUtf8(r.Data() + off, n);
        }
        rec.Points = {Point(x, y)};
        break;
      }
      case 81: {
        rec.Op = moStretchDIB;
        const int32_t xDst = r.I32(24), yDst = r.I32(28), xSrc = r.I32(32), ySrc = r.I32(36);
        const int32_t cxSrc = r.I32(40), cySrc = r.I32(44);
        const int64_t offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60);
        const int32_t cxDst = r.I32(72), cyDst = r.I32(76);
        if (r.Failed() || !r.Has(offBmi, cbBmi) || !r.Has(offBits, cbBits) || cbBmi < 12) {
          keep = false;
          break;
        }
        bool tooLarge;
        rec.Picture = DecodeDIB(r.Data() + offBmi, cbBmi, r.Data() + offBits, cbBits, store.Left(), tooLarge);
        if (tooLarge) return reason = "too large", false;
        if (!rec.Picture) {
          keep = false;
          break;
        }
        rec.Box = Rect(xDst, yDst, cxDst, cyDst);
        rec.Source = DIBSource(*rec.Picture, xSrc, ySrc, cxSrc, cySrc, HeightIsBottomUp(r.Sub(offBmi, cbBmi)));
        break;
      }
      default: keep = false; break;
    }
    if (r.Failed()) keep = false;
    if (store.TooMany || (keep && !store.Add(std::move(rec)))) return reason = "too large", false;
  }
  return true;
}

}  // namespace

bool VLIsWMF(const uint8_t* Data, int64_t Size) { return Size >= 4 && VLGetLE32(Data) == 0x9AC6CDD7u; }

bool VLIsEMF(const uint8_t* Data, int64_t Size) {
  return Size >= 44 && VLGetLE32(Data) == 1 && VLGetLE32(Data + 40) == 0x464D4520u;  // " EMF"
}

TVLCause VLMetafileCause(const std::string& Reason) {
  static const struct {
    const char* Reason;
    TVLCause Cause;
  } kCauses[] = {{"empty", vcNotFormat},         {"not a metafile", vcNotFormat}, {"short header", vcTruncated},
                 {"truncated", vcTruncated},     {"empty frame", vcBadHeader},    {"bad metafile header", vcBadHeader},
                 {"bad record size", vcBadData}, {"too large", vcTooLarge}};
  for (const auto& c : kCauses)
    if (Reason == c.Reason) return c.Cause;
  return vcBadData;
}

bool VLParseMetafile(const uint8_t* Data, int64_t Size, TVLMetafile& Meta, std::string& Reason) {
  Meta = TVLMetafile();
  Reason.clear();
  if (!Data || Size <= 0) return Reason = "empty", false;
  if (Size > VLMaxMetafileBytes) return Reason = "too large", false;
  TBytes f(Data, Size);
  bool ok;
  try {
    if (VLIsWMF(Data, Size)) ok = ParseWMF(f, Meta, Reason);
    else if (VLIsEMF(Data, Size)) ok = ParseEMF(f, Meta, Reason);
    else return Reason = "not a metafile", false;
  } catch (const EOutOfResources&) {
    ok = false;
    Reason = "too large";
  } catch (const std::bad_alloc&) {
    ok = false;
    Reason = "too large";
  }
  if (!ok) Meta.Records.clear();
  return ok;
}

bool VLReadMetafile(TStream* Stream, TVLMetafile& Meta, TFilterProgress& Progress) {
  bool ok = false;
  VLGuardCodec(Progress, crRead, [&] {
    if (!Stream) VLThrowFail(vcNoPicture, "no stream");
    const int64_t size = Stream->Size() - Stream->Position();
    if (size <= 0) VLThrowFail(vcNotFormat, "empty");
    if (size > VLMaxMetafileBytes) VLThrowFail(vcTooLarge, "too large");
    std::vector<uint8_t> data(static_cast<size_t>(size));
    Stream->ReadBuffer(data.data(), size);
    std::string reason;
    ok = VLParseMetafile(data.data(), int64_t(data.size()), Meta, reason);
    if (!ok) VLFail(Progress, VLMetafileCause(reason), reason);
  });
  return ok && !VLAborting(Progress);
}

// ---- Playing ----

namespace {

struct TObjectRef {
  const TVLMetaRecord* Rec = nullptr;  // nullptr: a stock object, see Stock
  int Stock = -1;
};

using TPt = std::pair<long double, long double>;

struct TDCState {
  TObjectRef Pen, Brush, Font;
  TColor TextColor = clBlack, BkColor = clWhite;
  int BkMode = 2;  // opaque
  int FillMode = 1;
  int TextAlign = 0;
  TPoint WinOrg, WinExt, VpOrg, VpExt;
  bool HasWinExt = false, HasVpExt = false;
  TPt Pos{0, 0};
};

class TPlayer {
 public:
  TPlayer(const TVLMetafile& m, TCanvas* c, const TRect& dest) : FMeta(m), FCanvas(c), FDest(dest) {
    S.Pen.Stock = 7;    // black pen
    S.Brush.Stock = 0;  // white brush
    S.Font.Stock = 13;  // system font
    if (!m.Enhanced) {
      S.WinOrg = m.Frame.TopLeft();
      S.WinExt = Point(m.Frame.Width(), m.Frame.Height());
      S.HasWinExt = true;
    }
  }

  void Play() {
    for (const TVLMetaRecord& r : FMeta.Records) Do(r);
  }

 private:
  // Logical to destination pixels, along X or (Vertical) along Y.
  long double MapAxis(long double v, bool Vertical) const {
    auto along = [Vertical](TPoint p) { return Vertical ? p.Y : p.X; };
    const auto destStart = Vertical ? FDest.Top : FDest.Left;
    const auto destExtent = Vertical ? FDest.Height() : FDest.Width();
    if (!FMeta.Enhanced) {
      long double ext = along(S.WinExt) ? along(S.WinExt) : 1;
      return destStart + (v - along(S.WinOrg)) * destExtent / ext;
    }
    long double r = v;
    if (S.HasWinExt && S.HasVpExt && along(S.WinExt))
      r = (v - along(S.WinOrg)) * along(S.VpExt) / (long double)along(S.WinExt) + along(S.VpOrg);
    else r = v - along(S.WinOrg) + along(S.VpOrg);
    const auto frameStart = Vertical ? FMeta.Frame.Top : FMeta.Frame.Left;
    const auto frameExtent = Vertical ? FMeta.Frame.Height() : FMeta.Frame.Width();
    long double f = frameExtent ? frameExtent : 1;
    return destStart + (r - frameStart) * destExtent / f;
  }
  long double MapX(long double x) const { return MapAxis(x, false); }
  long double MapY(long double y) const { return MapAxis(y, true); }
  static int Clamp(long double v) { return int(std::clamp<long double>(std::nearbyint(v), -1000000, 1000000)); }
  TPoint Map(TPoint p) const { return Point(Clamp(MapX(p.X)), Clamp(MapY(p.Y))); }
  long double ScaleX() const { return std::fabs(MapX(1) - MapX(0)); }
  long double ScaleY() const { return std::fabs(MapY(1) - MapY(0)); }
  TPt MapF(TPoint p) const { return TPt{MapX(p.X), MapY(p.Y)}; }
  static TPoint Snap(const TPt& p) { return Point(Clamp(p.first), Clamp(p.second)); }
  std::vector<TPt> MapAll(const std::vector<TPoint>& pts, size_t from = 0, size_t count = SIZE_MAX) const {
    std::vector<TPt> out;
    const size_t end = std::min(pts.size(), count == SIZE_MAX ? pts.size() : from + count);
    for (size_t i = from; i < end; ++i) out.push_back(MapF(pts[i]));
    return out;
  }

  // Drawing far outside the picture is cut at a margin around the destination first, so
  // shapes with huge coordinates cost no more than ones that fit. The margin is wider than
  // the pen, so nothing cut away could have reached the picture.
  TRect Margin() const {
    const int64_t l = std::min(FDest.Left, FDest.Right), r = std::max(FDest.Left, FDest.Right);
    const int64_t t = std::min(FDest.Top, FDest.Bottom), b = std::max(FDest.Top, FDest.Bottom);
    const int64_t m = std::max(r - l, b - t) + 16 + FCanvas->Pen()->Width();
    auto c = [](int64_t v) { return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    return Rect(c(l - m), c(t - m), c(r + m), c(b + m));
  }

  // Sutherland-Hodgman against the margin; inside it the fill is unchanged for both rules.
  void DrawPolygon(std::vector<TPt> pts) {
    if (pts.size() < 2) return;
    using P = TPt;
    std::vector<P> poly = std::move(pts);
    const TRect m = Margin();
    for (int edge = 0; edge < 4 && !poly.empty(); ++edge) {
      auto inside = [&](const P& p) {
        switch (edge) {
          case 0: return p.first >= m.Left;
          case 1: return p.first <= m.Right;
          case 2: return p.second >= m.Top;
          default: return p.second <= m.Bottom;
        }
      };
      auto cross = [&](const P& a, const P& b) {
        long double t;
        if (edge < 2) {
          long double x = edge == 0 ? m.Left : m.Right;
          t = (x - a.first) / (b.first - a.first);
          return P{x, a.second + t * (b.second - a.second)};
        }
        long double y = edge == 2 ? m.Top : m.Bottom;
        t = (y - a.second) / (b.second - a.second);
        return P{a.first + t * (b.first - a.first), y};
      };
      std::vector<P> out;
      for (size_t i = 0; i < poly.size(); ++i) {
        const P& cur = poly[i];
        const P& prev = poly[(i + poly.size() - 1) % poly.size()];
        const bool ci = inside(cur), pi = inside(prev);
        if (ci) {
          if (!pi) out.push_back(cross(prev, cur));
          out.push_back(cur);
        } else if (pi) {
          out.push_back(cross(prev, cur));
        }
      }
      poly.swap(out);
    }
    if (poly.size() < 2) return;
    std::vector<TPoint> res;
    res.reserve(poly.size() + 1);
    for (const P& p : poly) res.push_back(Point(Clamp(p.first), Clamp(p.second)));
    std::vector<P>().swap(poly);
    TPen* pen = FCanvas->Pen();
    if (pen->Width() > 1 || pen->Style() == psClear) {
      FCanvas->Polygon(res);
      return;
    }
    // A one-pixel outline is drawn as lines after the fill (the same pixels, the pen being a
    // copy), so its cost is not held as a region of every pixel on every edge.
    const TPenStyle style = pen->Style();
    pen->SetStyle(psClear);
    FCanvas->Polygon(res);
    pen->SetStyle(style);
    res.push_back(res.front());
    FCanvas->Polyline(res);
  }

  // Liang-Barsky per segment; unbroken runs are drawn as one polyline.
  void DrawPolyline(const std::vector<TPt>& pts) {
    const TRect m = Margin();
    std::vector<TPoint> run;
    auto flush = [&] {
      if (run.size() >= 2) FCanvas->Polyline(run);
      run.clear();
    };
    for (size_t i = 1; i < pts.size(); ++i) {
      const long double x0 = pts[i - 1].first, y0 = pts[i - 1].second;
      const long double dx = pts[i].first - x0, dy = pts[i].second - y0;
      long double t0 = 0, t1 = 1;
      bool visible = true;
      const long double p[4] = {-dx, dx, -dy, dy};
      const long double q[4] = {x0 - m.Left, m.Right - x0, y0 - m.Top, m.Bottom - y0};
      for (int k = 0; k < 4 && visible; ++k) {
        if (p[k] == 0) {
          if (q[k] < 0) visible = false;
        } else {
          long double r = q[k] / p[k];
          if (p[k] < 0) t0 = std::max(t0, r);
          else t1 = std::min(t1, r);
          if (t0 > t1) visible = false;
        }
      }
      if (!visible) {
        flush();
        continue;
      }
      const TPoint a = Point(Clamp(x0 + t0 * dx), Clamp(y0 + t0 * dy));
      const TPoint b = Point(Clamp(x0 + t1 * dx), Clamp(y0 + t1 * dy));
      if (run.empty() || !(run.back() == a) || t0 != 0) {
        flush();
        run.push_back(a);
      }
      run.push_back(b);
      if (t1 != 1) flush();
    }
    flush();
  }

  void DrawEllipse(const TPt& a, const TPt& z) {
    const TRect m = Margin();
    const long double l = std::min(a.first, z.first), r = std::max(a.first, z.first);
    const long double t = std::min(a.second, z.second), b = std::max(a.second, z.second);
    if (l >= m.Left && r <= m.Right && t >= m.Top && b <= m.Bottom) {
      const TPoint pa = Snap(a), pz = Snap(z);
      FCanvas->Ellipse(pa.X, pa.Y, pz.X, pz.Y);
      return;
    }
    // Too large to draw as it is: the part inside the margin as a polygon with a corner on
    // each row, left edge down and right edge up.
    const long double cx = (l + r) / 2, cy = (t + b) / 2, rx = (r - l) / 2, ry = (b - t) / 2;
    // Rows are clamped to the margin before they become integers: t and b may be far beyond it.
    const int ya = int(std::clamp<long double>(std::ceil(t), m.Top, (long double)m.Bottom + 1));
    const int yb = int(std::clamp<long double>(std::floor(b), (long double)m.Top - 1, m.Bottom));
    if (ya > yb || ry <= 0) return;
    std::vector<TPt> pts, right;
    for (int y = ya; y <= yb; ++y) {
      const long double d = (y - cy) / ry;
      const long double w = rx * std::sqrt(std::max<long double>(0, 1 - d * d));
      pts.push_back(TPt{cx - w, y});
      right.push_back(TPt{cx + w, y});
    }
    pts.insert(pts.end(), right.rbegin(), right.rend());
    DrawPolygon(pts);
  }

  void ApplyPen() {
    TPen* p = FCanvas->Pen();
    p->SetMode(pmCopy);
    if (S.Pen.Rec) {
      const TVLMetaRecord& r = *S.Pen.Rec;
      static const TPenStyle styles[] = {psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame};
      int st = r.Style & 0x0F;
      p->SetStyle(st >= 0 && st <= 6 ? styles[st] : psSolid);
      p->SetColor(r.Color);
      // At most twice the picture's diagonal: from any point on the picture such a pen
      // already covers all of it.
      const long double most = 2 * std::ceil(std::hypot((long double)FDest.Width(), (long double)FDest.Height()));
      p->SetWidth(std::clamp(Clamp(std::fabs((long double)r.Width) * ScaleX()), 1, std::max(1, Clamp(most))));
    } else {
      p->SetWidth(1);
      p->SetStyle(S.Pen.Stock == 8 ? psClear : psSolid);
      p->SetColor(S.Pen.Stock == 6 ? clWhite : clBlack);
    }
  }
  void ApplyBrush() {
    TBrush* b = FCanvas->Brush();
    if (S.Brush.Rec) {
      const TVLMetaRecord& r = *S.Brush.Rec;
      b->SetColor(r.Color);
      if (r.Style == 1) {
        b->SetStyle(bsClear);
      } else if (r.Style == 2) {
        static const TBrushStyle hatches[] = {bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross};
        b->SetStyle(r.Width >= 0 && r.Width <= 5 ? hatches[r.Width] : bsSolid);
      } else {
        b->SetStyle(bsSolid);
      }
    } else {
      static const TColor stock[] = {clWhite, clSilver, clGray, RGB(64, 64, 64), clBlack};
      if (S.Brush.Stock >= 0 && S.Brush.Stock <= 4) {
        b->SetColor(stock[S.Brush.Stock]);
        b->SetStyle(bsSolid);
      } else {
        b->SetStyle(bsClear);
      }
    }
  }
  void ApplyFont() {
    TFont* f = FCanvas->Font();
    if (S.Font.Rec) {
      const TVLMetaRecord& r = *S.Font.Rec;
      if (!r.FontName.empty()) f->SetName(r.FontName);
      int h = Clamp(std::abs((long double)r.FontHeight) * ScaleY());
      if (h == 0) h = 12;
      h = std::min(h, 2000);
      f->SetHeight(r.FontHeight > 0 ? h : -h);
      TFontStyles st = 0;
      if (r.FontWeight >= 600) st |= fsBold;
      if (r.FontItalic) st |= fsItalic;
      if (r.FontUnderline) st |= fsUnderline;
      if (r.FontStrikeOut) st |= fsStrikeOut;
      f->SetStyle(st);
      f->SetOrientation(r.FontEscapement);
    } else {
      f->SetHeight(-13);
      f->SetStyle(0);
      f->SetOrientation(0);
    }
    f->SetColor(S.TextColor);
  }

  TObjectRef* Slot(int64_t index) {
    if (FMeta.Enhanced) {
      auto it = FEmfObjects.find(index);
      return it == FEmfObjects.end() ? nullptr : &it->second;
    }
    if (index < 0 || size_t(index) >= FWmfObjects.size() || !FWmfObjects[size_t(index)].Rec) return nullptr;
    return &FWmfObjects[size_t(index)];
  }

  void Create(const TVLMetaRecord& r) {
    TObjectRef ref;
    ref.Rec = &r;
    if (FMeta.Enhanced) {
      FEmfObjects[r.Index] = ref;
      return;
    }
    // The lowest free slot; an index is 16 bits, so a full table takes no more.
    if (!FWmfFree.empty()) {
      FWmfObjects[*FWmfFree.begin()] = ref;
      FWmfFree.erase(FWmfFree.begin());
    } else if (FWmfObjects.size() < 0x10000) {
      FWmfObjects.push_back(ref);
    }
  }

  void Select(int64_t index) {
    if (FMeta.Enhanced && (uint64_t(index) & VLStockObjectFlag)) {
      int stock = int(uint64_t(index) & 0xFF);
      TObjectRef ref;
      ref.Stock = stock;
      if (stock <= 5) S.Brush = ref;
      else if (stock <= 8) S.Pen = ref;
      else if (stock <= 17) S.Font = ref;
      return;
    }
    TObjectRef* o = Slot(index);
    if (!o || !o->Rec) return;
    switch (o->Rec->Op) {
      case moCreatePen: S.Pen = *o; break;
      case moCreateBrush: S.Brush = *o; break;
      case moCreateFont: S.Font = *o; break;
      default: break;
    }
  }

  void Delete(int64_t index) {
    TObjectRef* o = Slot(index);
    if (!o) return;
    // A selected object stays in use until something else is selected.
    if (FMeta.Enhanced) {
      FEmfObjects.erase(index);
    } else {
      *o = TObjectRef();
      FWmfFree.insert(size_t(index));
    }
  }

  void Text(const TVLMetaRecord& r) {
    ApplyFont();
    TPoint p = Snap((S.TextAlign & 1) ? S.Pos : MapF(r.Points[0]));
    if ((r.Width & 0x0002) && !IsRectEmpty(r.Box)) {  // opaque box
      TBrush* b = FCanvas->Brush();
      b->SetColor(S.BkColor);
      b->SetStyle(bsSolid);
      TPoint a = Map(r.Box.TopLeft()), z = Map(r.Box.BottomRight());
      FCanvas->FillRect(Rect(std::min(a.X, z.X), std::min(a.Y, z.Y), std::max(a.X, z.X), std::max(a.Y, z.Y)));
    }
    TBrush* b = FCanvas->Brush();
    if (S.BkMode == 2) {
      b->SetColor(S.BkColor);
      b->SetStyle(bsSolid);
    } else {
      b->SetStyle(bsClear);
    }
    TSize sz = FCanvas->TextExtent(r.Text);
    int x = p.X, y = p.Y;
    if ((S.TextAlign & 6) == 6) x -= sz.cx / 2;
    else if (S.TextAlign & 2) x -= sz.cx;
    if ((S.TextAlign & 24) == 24) y -= sz.cy * 4 / 5;  // base line: about the ascent
    else if (S.TextAlign & 8) y -= sz.cy;
    FCanvas->TextOut(x, y, r.Text);
    if (S.TextAlign & 1) S.Pos = TPt{(long double)p.X + sz.cx, p.Y};
  }

  void Picture(const TVLMetaRecord& r) {
    const long double dx0 = MapX(r.Box.Left), dy0 = MapY(r.Box.Top);
    const long double dx1 = MapX((long double)r.Box.Left + r.Box.Right);
    const long double dy1 = MapY((long double)r.Box.Top + r.Box.Bottom);
    const TRect src = Rect(r.Source.Left, r.Source.Top, r.Source.Left + r.Source.Right, r.Source.Top + r.Source.Bottom);
    if (src.Left == src.Right || src.Top == src.Bottom) return;
    const TRect m = Margin();
    auto inside = [&m](long double x, long double y) {
      return x >= m.Left && x <= m.Right && y >= m.Top && y <= m.Bottom;
    };
    if (inside(dx0, dy0) && inside(dx1, dy1)) {
      const TRect dst = Rect(Clamp(dx0), Clamp(dy0), Clamp(dx1), Clamp(dy1));
      if (dst.Left != dst.Right && dst.Top != dst.Bottom) FCanvas->StretchDraw(dst, r.Picture.get(), src);
      return;
    }
    // Reaching past the margin: only the part on the surface is sampled, nearest pixel.
    TRect area = m;
    if (TBitmap* surface = FCanvas->Bitmap()) area = Rect(0, 0, surface->Width(), surface->Height());
    const long double l = std::max<long double>(std::min(dx0, dx1), area.Left);
    const long double rr = std::min<long double>(std::max(dx0, dx1), area.Right);
    const long double t = std::max<long double>(std::min(dy0, dy1), area.Top);
    const long double b = std::min<long double>(std::max(dy0, dy1), area.Bottom);
    const int x0 = Clamp(l), x1 = Clamp(rr), y0 = Clamp(t), y1 = Clamp(b);
    if (x1 <= x0 || y1 <= y0 || dx0 == dx1 || dy0 == dy1) return;
    const TBitmap& pic = *r.Picture;
    std::vector<int> col(size_t(x1 - x0));
    for (int i = 0; i < x1 - x0; ++i) {
      long double u = src.Left + (x0 + i + 0.5L - dx0) * (src.Right - src.Left) / (dx1 - dx0);
      col[size_t(i)] = int(std::clamp<long double>(std::floor(u), 0, pic.Width() - 1));
    }
    // A band of rows at a time, so the copy stays small whatever the picture's size.
    const int bandRows = int(std::clamp<int64_t>((int64_t(1) << 20) / (x1 - x0), 1, y1 - y0));
    TBitmap part;
    part.SetPixelFormat(pf24bit);
    for (int top = y0; top < y1; top += bandRows) {
      const int rows = std::min(bandRows, y1 - top);
      part.SetSize(x1 - x0, rows);
      for (int j = 0; j < rows; ++j) {
        long double v = src.Top + (top + j + 0.5L - dy0) * (src.Bottom - src.Top) / (dy1 - dy0);
        const uint8_t* s = pic.ScanLine(int(std::clamp<long double>(std::floor(v), 0, pic.Height() - 1)));
        uint8_t* d = part.ScanLine(j);
        for (int i = 0; i < x1 - x0; ++i) std::memcpy(d + 3 * i, s + 3 * col[size_t(i)], 3);
      }
      FCanvas->Draw(x0, top, &part);
    }
  }

  void Do(const TVLMetaRecord& r) {
    switch (r.Op) {
      case moMoveTo: S.Pos = MapF(r.Points[0]); break;
      case moLineTo: {
        ApplyPen();
        TPt p = MapF(r.Points[0]);
        DrawPolyline({S.Pos, p});
        S.Pos = p;
        break;
      }
      case moPolyline:
        ApplyPen();
        DrawPolyline(MapAll(r.Points));
        break;
      case moPolylineTo: {
        if (r.Points.empty()) break;
        ApplyPen();
        std::vector<TPt> pts{S.Pos};
        for (const TPoint& p : r.Points) pts.push_back(MapF(p));
        DrawPolyline(pts);
        S.Pos = pts.back();
        break;
      }
      case moPolygon:
        ApplyPen();
        ApplyBrush();
        FCanvas->SetPolyFillMode(S.FillMode == 2 ? fmWinding : fmAlternate);
        DrawPolygon(MapAll(r.Points));
        break;
      case moPolyPolyline:
      case moPolyPolygon: {
        ApplyPen();
        ApplyBrush();
        FCanvas->SetPolyFillMode(S.FillMode == 2 ? fmWinding : fmAlternate);
        size_t from = 0;
        for (int32_t c : r.Counts) {
          if (c <= 0) continue;
          std::vector<TPt> pts = MapAll(r.Points, from, size_t(c));
          from += size_t(c);
          if (r.Op == moPolyPolygon) DrawPolygon(pts);
          else DrawPolyline(pts);
        }
        break;
      }
      case moRectangle:
      case moEllipse: {
        ApplyPen();
        ApplyBrush();
        TPt a = MapF(r.Box.TopLeft()), z = MapF(r.Box.BottomRight());
        if (r.Op == moRectangle) {
          const TRect m = Margin();
          auto cx = [&m](long double v) { return Clamp(std::clamp<long double>(v, m.Left, m.Right)); };
          auto cy = [&m](long double v) { return Clamp(std::clamp<long double>(v, m.Top, m.Bottom)); };
          FCanvas->Rectangle(cx(a.first), cy(a.second), cx(z.first), cy(z.second));
        } else {
          DrawEllipse(a, z);
        }
        break;
      }
      case moText: Text(r); break;
      case moStretchDIB: Picture(r); break;
      case moCreatePen:
      case moCreateBrush:
      case moCreateFont:
      case moCreateOther: Create(r); break;
      case moSelectObject: Select(r.Index); break;
      case moDeleteObject: Delete(r.Index); break;
      case moSetTextColor: S.TextColor = r.Color; break;
      case moSetBkColor: S.BkColor = r.Color; break;
      case moSetBkMode: S.BkMode = r.Style; break;
      case moSetPolyFillMode: S.FillMode = r.Style; break;
      case moSetTextAlign: S.TextAlign = r.Style; break;
      case moSetWindowOrg: S.WinOrg = r.Points[0]; break;
      case moSetWindowExt:
        S.WinExt = r.Points[0];
        S.HasWinExt = S.WinExt.X != 0 && S.WinExt.Y != 0;
        if (!S.HasWinExt && !FMeta.Enhanced) S.WinExt = Point(FMeta.Frame.Width(), FMeta.Frame.Height());
        break;
      case moSetViewportOrg: S.VpOrg = r.Points[0]; break;
      case moSetViewportExt:
        S.VpExt = r.Points[0];
        S.HasVpExt = S.VpExt.X != 0 && S.VpExt.Y != 0;
        break;
      case moSaveDC:
        if (FSaved.size() < 1024) FSaved.push_back(S);
        break;
      case moRestoreDC: {
        int64_t n = r.Style;
        size_t target = n < 0 ? (size_t(-n) <= FSaved.size() ? FSaved.size() - size_t(-n) : SIZE_MAX)
                              : (n >= 1 && size_t(n) <= FSaved.size() ? size_t(n) - 1 : SIZE_MAX);
        if (target == SIZE_MAX) break;
        S = FSaved[target];
        FSaved.resize(target);
        break;
      }
    }
  }

  const TVLMetafile& FMeta;
  TCanvas* FCanvas;
  TRect FDest;
  TDCState S;
  std::vector<TDCState> FSaved;
  std::vector<TObjectRef> FWmfObjects;
  std::set<size_t> FWmfFree;  // emptied slots of FWmfObjects
  std::map<int64_t, TObjectRef> FEmfObjects;
};

}  // namespace

void VLPlayMetafile(const TVLMetafile& Meta, TCanvas* Canvas, const TRect& Dest) {
  if (!Canvas || Dest.Width() == 0 || Dest.Height() == 0) return;
  TPlayer(Meta, Canvas, Dest).Play();
}
