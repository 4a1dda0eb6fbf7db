// TIFF reader: one page of a TIFF file into a 1-bit or 24-bit bitmap.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "platform/core/system.h"
#include "vistrel/base/byteorder.h"
#include "vistrel/codecs/ccitt.h"
#include "vistrel/codecs/tiff.h"

namespace {

enum : uint16_t {
  tagImageWidth = 256,
  tagImageLength = 257,
  tagBitsPerSample = 258,
  tagCompression = 259,
  tagPhotometric = 262,
  tagFillOrder = 266,
  tagDocumentName = 269,
  tagImageDescription = 270,
  tagStripOffsets = 273,
  tagOrientation = 274,
  tagSamplesPerPixel = 277,
  tagRowsPerStrip = 278,
  tagStripByteCounts = 279,
  tagXResolution = 282,
  tagYResolution = 283,
  tagPlanarConfig = 284,
  tagPageName = 285,
  tagXPosition = 286,
  tagYPosition = 287,
  tagT4Options = 292,
  tagT6Options = 293,
  tagResolutionUnit = 296,
  tagPageNumber = 297,
  tagTransferFunction = 301,
  tagSoftware = 305,
  tagPredictor = 317,
  tagColorMap = 320,
  tagTileWidth = 322,
  tagTileLength = 323,
  tagTileOffsets = 324,
  tagTileByteCounts = 325,
  tagInkSet = 332,
  tagNumberOfInks = 334,
  tagDotRange = 336,
  tagJPEGTables = 347,
};

constexpr uint32_t kMaxPages = 1u << 20;

int TypeSize(uint16_t type) {
  static const int sizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return type < 13 ? sizes[type] : 0;
}

bool ReadAt(const TTIFFVars& v, int64_t offset, void* buffer, int64_t count) {
  if (offset < 0 || count < 0 || offset > v.Size || count > v.Size - offset) return false;
  v.Stream->Seek(v.Base + offset, soBeginning);
  return v.Stream->Read(buffer, count) == count;
}

uint32_t ItemAt(bool big, uint16_t type, const uint8_t* p) {
  switch (TypeSize(type)) {
    case 1: return p[0];
    case 2: return VLGet16(big, p);
    default: return VLGet32(big, p);
  }
}

// Raw bytes of an entry's values: held in the entry when they fit, else at its offset.
bool EntryBytes(const TTIFFVars& v, const TTIFFEntry& e, std::vector<uint8_t>& out, uint64_t maxBytes) {
  uint64_t total = uint64_t(e.Count) * uint64_t(TypeSize(e.Type));
  if (total > maxBytes) total = maxBytes - maxBytes % uint64_t(std::max(TypeSize(e.Type), 1));
  out.resize(size_t(total));
  if (total == 0) return TypeSize(e.Type) > 0;
  if (uint64_t(e.Count) * uint64_t(TypeSize(e.Type)) <= 4) {
    std::memcpy(out.data(), e.Value, size_t(total));
    return true;
  }
  return ReadAt(v, VLGet32(v.BigEndian, e.Value), out.data(), int64_t(total));
}

// The n entries of the IFD at offset; false when they run past the end of the data.
bool ReadEntries(TTIFFVars& v, uint32_t offset, uint32_t n) {
  std::vector<uint8_t> raw(size_t(n) * 12);
  if (n > 0 && !ReadAt(v, int64_t(offset) + 2, raw.data(), int64_t(raw.size()))) return false;
  v.Entries.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* p = raw.data() + size_t(i) * 12;
    TTIFFEntry& e = v.Entries[i];
    e.Tag = VLGet16(v.BigEndian, p);
    e.Type = VLGet16(v.BigEndian, p + 2);
    e.Count = VLGet32(v.BigEndian, p + 4);
    std::memcpy(e.Value, p + 8, 4);
  }
  return true;
}

// Walks the IFD chain; reads the entries of page want (when >= 0). False for a bad header.
// Broken: the chain ran past the end of the data.
bool WalkChain(TTIFFVars& v, int64_t want, int& count, bool& found, bool& broken,
               std::vector<uint32_t>* offsets = nullptr) {
  count = 0;
  found = false;
  broken = false;
  uint8_t h[8];
  if (!ReadAt(v, 0, h, 8)) return false;
  if (h[0] == 'I' && h[1] == 'I') v.BigEndian = false;
  else if (h[0] == 'M' && h[1] == 'M') v.BigEndian = true;
  else return false;
  uint32_t offset = VLGet32(v.BigEndian, h + 4);
  std::set<uint32_t> seen;
  while (offset != 0 && uint32_t(count) < kMaxPages) {
    if (!seen.insert(offset).second) break;
    uint8_t b[4];
    if (!ReadAt(v, offset, b, 2)) {
      broken = true;
      break;
    }
    uint32_t n = VLGet16(v.BigEndian, b);
    if (offsets) offsets->push_back(offset);
    if (count == want) {
      if (!ReadEntries(v, offset, n)) {
        broken = true;
        break;
      }
      found = n > 0;
    }
    ++count;
    if (!ReadAt(v, int64_t(offset) + 2 + int64_t(n) * 12, b, 4)) {
      broken = true;
      break;
    }
    offset = VLGet32(v.BigEndian, b);
  }
  return true;
}

// BitsPerSample: one value or several equal ones.
bool TIFFReadBitsPerSample(TTIFFVars& v) {
  const TTIFFEntry* e = TIFFFindTag(v, tagBitsPerSample);
  v.BitsPerSample = 1;
  if (!e) return true;
  std::vector<uint32_t> items;
  if (!TIFFGetTagArray(v, tagBitsPerSample, items, 1 << 16) || items.empty()) return true;
  for (uint32_t b : items)
    if (b != items[0]) return false;
  v.BitsPerSample = items[0];
  return true;
}

void TIFFReadColorMap(TTIFFVars& v) {
  v.ColorMap.clear();
  if (!TIFFFindTag(v, tagColorMap) || v.BitsPerSample < 1 || v.BitsPerSample > 16) return;
  std::vector<uint32_t> items;
  if (!TIFFGetTagArray(v, tagColorMap, items, 3u << 16)) return;
  uint32_t n = 1u << v.BitsPerSample;
  if (items.size() < size_t(n) * 3) n = uint32_t(items.size() / 3);
  v.ColorMap.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    v.ColorMap[i].R = uint8_t(items[i] >> 8);
    v.ColorMap[i].G = uint8_t(items[i + n] >> 8);
    v.ColorMap[i].B = uint8_t(items[i + 2 * size_t(n)] >> 8);
  }
}

void TIFFReadTransferFunction(TTIFFVars& v) {
  v.TransferFunction.clear();
  std::vector<uint32_t> items;
  if (!TIFFGetTagArray(v, tagTransferFunction, items, 3u << 16)) return;
  for (uint32_t x : items) v.TransferFunction.push_back(uint16_t(x));
}

// ---- strips ----

enum TKind { kNone, kRGB, kRGB16, kPalette, kBilevel, kGray, kGray16, kCMYK, kLab, kPlanarRGB };

TKind DecodeKind(const TTIFFVars& v) {
  uint32_t P = v.Photometric, S = v.SamplesPerPixel, B = v.BitsPerSample, C = v.Compression;
  const bool ccitt = TIFFIsFaxCompression(C);
  if (!(C == tcNone || ccitt || C == tcLZW || C == tcPackBits)) return kNone;
  const bool gray = P == tpWhiteIsZero || P == tpBlackIsZero;
  TKind k = kNone;
  if (v.PlanarConfig == 2 && S > 1) return (P == tpRGB && S == 3 && B == 8 && !ccitt) ? kPlanarRGB : kNone;
  if (P == tpRGB && (S == 3 || S == 4) && B == 8) k = kRGB;
  else if (P == tpRGB && S == 1 && B == 16) k = kRGB16;
  else if (P == tpPalette && S == 1 && B >= 1 && B <= 8) k = kPalette;
  else if (gray && S == 1 && B == 1) k = kBilevel;
  else if (gray && S == 1 && (B == 8 || B == 4)) k = kGray;
  else if (gray && S == 1 && B == 16 && C == tcNone) k = kGray16;
  else if (P == tpSeparated && S == 4 && B == 8) k = kCMYK;
  else if (P == tpCIELab && S == 3 && B == 8) k = kLab;
  if (ccitt && k != kBilevel) return kNone;
  return k;
}

// Decompression state of one strip (one plane of it in planar images).
struct TStripState {
  const TTIFFVars* Vars = nullptr;
  int64_t Offset = 0;              // of the strip in the file
  int64_t Size = 0;                // bytes of the strip
  std::vector<uint8_t> Data;       // compressed strips are read whole ...
  const uint8_t* Bytes = nullptr;  // ... or used where they lie in memory
  bool Windowed = false;           // ... or a window at a time (uncompressed, PackBits)
  int64_t WindowAt = 0;            // strip bytes in Data (uncompressed): from here ...
  int64_t WindowLen = 0;           // ... so many
  int64_t Fetched = 0;             // strip bytes read so far (PackBits)
  int64_t Pos = 0;                 // byte position (uncompressed, modified Huffman)
  int64_t BitPos = 0;              // Group 3 and 4
  std::vector<uint8_t> Ref;        // reference line of two-dimensional coding
  TTIFFPackBitsDecoder PackBits;
  void* LZWState = nullptr;
  bool LZWStarted = false;
  bool Reverse = false;  // bits of each byte stored the other way round (FillOrder 2)

  void Finish() {
    if (LZWStarted && Vars->LZWDecoder) Vars->LZWDecoder(nullptr, 0, LZWState);
    LZWStarted = false;
    LZWState = nullptr;
  }
  ~TStripState() { Finish(); }
};

struct TReadContext {
  TTIFFVars* Vars;
  TBitmap* Bitmap;
  TFilterProgress* Progress;
  TKind Kind;
  int Width;
  int64_t RowLen;                // bytes of one compressed row (or plane row)
  std::vector<uint8_t> Raw;      // one decompressed row
  std::vector<uint8_t> Samples;  // unpacked samples
  int64_t& RowsDone;             // rows stored, from the top
};

// Bytes of a strip that its rows can use: uncompressed rows; PackBits rows with each byte a
// literal of its own; fax rows at 8 bits a pixel and a line end; LZW codes of 12 bits for each
// byte, and a clear code now and then. Bytes past that can't reach the picture.
int64_t StripBound(const TReadContext& c, int rows) {
  const int64_t n = int64_t(rows) * c.RowLen;
  switch (c.Vars->Compression) {
    case tcNone: return n;
    case tcCCITTHuffman:
    case tcCCITTGroup3:
    case tcCCITTGroup4: return int64_t(rows) * (int64_t(c.Width) + 64);
    case tcLZW: return n / 2 * 3 + n / 1024 + 64;
    default: return 2 * n + 64;
  }
}

const uint8_t* ReversedBytes() {
  static const auto table = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i)
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) t[size_t(i)] |= uint8_t(0x80 >> b);
    return t;
  }();
  return table.data();
}

void ReverseBits(uint8_t* p, int64_t n) {
  const uint8_t* r = ReversedBytes();
  for (int64_t i = 0; i < n; ++i) p[i] = r[p[i]];
}

// Strips of streams not held in memory are read this much at a time, in a buffer that stays
// in the cache, when they aren't compressed or are PackBits.
constexpr int64_t kWindow = int64_t(256) << 10;

// Moves the PackBits bytes not yet decoded to the window's start and reads the strip's next
// bytes behind them, the window growing to hold `want`. False when nothing more was read.
bool FillPackBits(const TTIFFVars& v, TStripState& s, int64_t want) {
  TTIFFPackBitsDecoder& d = s.PackBits;
  const int64_t kept = d.Size - d.Pos, rest = s.Size - s.Fetched;
  if (rest <= 0 || kept >= want) return false;
  int64_t cap = int64_t(s.Data.size()) - 8;
  if (want > cap) {
    cap = std::min(std::max(2 * cap, want), kept + rest);
    s.Data.resize(size_t(cap + 8));
  }
  if (kept > 0) std::memmove(s.Data.data(), s.Data.data() + d.Pos, size_t(kept));
  int64_t n = std::min(rest, cap - kept);
  if (!ReadAt(v, s.Offset + s.Fetched, s.Data.data() + kept, n)) n = 0, s.Fetched = s.Size;
  if (s.Reverse) ReverseBits(s.Data.data() + kept, n);
  s.Fetched += n;
  d.Data = s.Bytes = s.Data.data();
  d.Pos = 0;
  d.Size = kept + n;
  return n > 0;
}

// Behind an LZW strip: codes of all one bits, which no decoder's table holds yet, so that a
// decoder that runs past the strip (it is given no length) fails within a code or two.
constexpr int64_t kLZWTail = 4096;

void StartStrip(TReadContext& c, TStripState& s, int64_t offset, int64_t size, int rows) {
  const TTIFFVars& v = *c.Vars;
  s.Vars = &v;
  if (offset < 0 || offset > v.Size) offset = v.Size, size = 0;
  size = std::min({size, v.Size - offset, StripBound(c, rows)});
  s.Offset = offset;
  s.Size = size;
  s.Pos = 0;
  s.BitPos = 0;
  const bool ccitt = TIFFIsFaxCompression(v.Compression);
  // The fax decoders take the fill order themselves.
  s.Reverse = v.FillOrder == 2 && v.BitsPerSample == 1 && !ccitt;
  s.Windowed = (!v.Memory || s.Reverse) && (v.Compression == tcNone || v.Compression == tcPackBits);
  s.WindowAt = s.WindowLen = s.Fetched = 0;
  if (s.Windowed && v.Compression == tcPackBits) {
    s.Data.assign(size_t(std::min(size, std::max(kWindow, 4 * c.RowLen + 128)) + 8), 0);
  } else if (v.Compression != tcNone) {
    if (v.Memory && v.Compression != tcLZW && !s.Reverse) {
      s.Bytes = v.Memory + offset;
    } else {
      const bool lzw = v.Compression == tcLZW;
      s.Data.assign(size_t(size + (lzw ? kLZWTail : 8)), lzw ? 0xFF : 0);
      if (size > 0 && !ReadAt(v, offset, s.Data.data(), size)) s.Size = 0;
      if (s.Reverse) ReverseBits(s.Data.data(), s.Size);
      s.Bytes = s.Data.data();
    }
  }
  if (ccitt) s.Ref.assign(size_t(c.RowLen), 0xFF);
  s.PackBits = TTIFFPackBitsDecoder();
  if (!s.Windowed) {
    s.PackBits.Data = s.Bytes;
    s.PackBits.Size = s.Size;
  }
  s.LZWState = nullptr;
  s.LZWStarted = v.Compression == tcLZW;
}

// One row of a strip (RowLen bytes): decompressed into Out, or, when uncompressed and held in
// memory, used where it lies. Row is set to it; false when it could not be decompressed.
bool TIFFDecompressStrip(TReadContext& c, TStripState& s, uint8_t* out, const uint8_t*& row) {
  const TTIFFVars& v = *c.Vars;
  const int64_t len = c.RowLen;
  row = out;
  switch (v.Compression) {
    case tcNone:
      if (s.Pos + len > s.Size) return false;
      if (!s.Windowed) {
        row = v.Memory + s.Offset + s.Pos;
      } else if (s.Pos >= s.WindowAt && s.Pos + len <= s.WindowAt + s.WindowLen) {
        row = s.Data.data() + (s.Pos - s.WindowAt);
      } else {
        // The next rows a read at a time; the row alone if the stream can't give them.
        const int64_t n = std::min(s.Size - s.Pos, std::max(len, kWindow));
        if (s.Data.size() < size_t(n)) s.Data.resize(size_t(n));
        s.WindowAt = s.Pos;
        s.WindowLen = ReadAt(v, s.Offset + s.Pos, s.Data.data(), n) ? n : 0;
        if (s.WindowLen > 0) {
          if (s.Reverse) ReverseBits(s.Data.data(), n);
          row = s.Data.data();
        } else {
          if (!ReadAt(v, s.Offset + s.Pos, out, len)) return false;
          if (s.Reverse) ReverseBits(out, len);
        }
      }
      s.Pos += len;
      return true;
    case tcCCITTHuffman: {
      if (s.Pos > s.Size) return false;
      int64_t n = CCITTDecodeMHRow(out, s.Bytes + s.Pos, s.Size - s.Pos, c.Width, int(v.FillOrder));
      if (n < 0) return false;
      s.Pos += n;
      return true;
    }
    case tcCCITTGroup3:
    case tcCCITTGroup4: {
      int64_t p = (v.Compression == tcCCITTGroup4 || (v.T4Options & 1))
                      ? CCITTDecode2DLine(out, s.Bytes, s.Size, c.Width, int(v.FillOrder), s.BitPos, s.Ref.data())
                      : CCITTDecode1DLine(out, s.Bytes, s.Size, c.Width, int(v.FillOrder), s.BitPos);
      if (p < 0) return false;
      s.BitPos = p;
      return true;
    }
    case tcLZW: {
      if (!v.LZWDecoder || s.Size == 0) return false;
      uint8_t* p = v.LZWDecoder(s.Bytes, int32_t(len), s.LZWState);
      if (!p) return false;
      std::memcpy(out, p, size_t(len));
      return true;
    }
    case tcPackBits:
      if (!s.Windowed) return s.PackBits.DecodeRow(out, len);
      FillPackBits(v, s, 2 * len + 64);
      for (;;) {
        const TTIFFPackBitsDecoder before = s.PackBits;
        if (s.PackBits.DecodeRow(out, len)) return true;
        // Short of bytes (or of bytes that aren't no-ops): the row again with more of them.
        s.PackBits = before;
        if (!FillPackBits(v, s, 2 * (before.Size - before.Pos) + len)) return false;
      }
  }
  return false;
}

// Unpacks, undoes the predictor and scales 4-bit gray; the samples end in c.Samples (or stay
// packed in Raw for bilevel rows).
const uint8_t* PrepareSamples(TReadContext& c, const uint8_t* raw, uint32_t samples) {
  const TTIFFVars& v = *c.Vars;
  const uint32_t B = v.BitsPerSample;
  const int64_t count = int64_t(samples) * c.Width;
  uint8_t* out = c.Samples.data();
  const bool ccitt = TIFFIsFaxCompression(v.Compression);
  const uint8_t* src = raw;
  if (B == 4) {
    for (int64_t i = 0; i < count; ++i) out[i] = (i & 1) ? raw[i >> 1] & 0x0F : raw[i >> 1] >> 4;
    src = out;
  } else if (B < 8 && !ccitt && (B != 1 || c.Kind == kPalette)) {
    int64_t bit = 0;
    for (int64_t i = 0; i < count; ++i, bit += B) {
      uint32_t val = 0;
      for (uint32_t k = 0; k < B; ++k) {
        int64_t p = bit + k;
        val = (val << 1) | ((raw[p >> 3] >> (7 - (p & 7))) & 1);
      }
      out[i] = uint8_t(val);
    }
    src = out;
  }
  if (v.Predictor == 2 && B == 8 && (samples == 1 || samples == 3 || samples == 4)) {
    if (src != out) {
      std::memcpy(out, src, size_t(count));
      src = out;
    }
    for (int64_t i = samples; i < count; ++i) out[i] = uint8_t(out[i] + out[i - samples]);
  }
  if (B == 4 && (v.Photometric == tpWhiteIsZero || v.Photometric == tpBlackIsZero))
    for (int64_t i = 0; i < count; ++i) out[i] = uint8_t(out[i] << 4);
  return src;
}

#if defined(__x86_64__) || defined(__i386__)
// Five pixels a step through a byte shuffle; the same bytes as the plain loop.
__attribute__((target("ssse3"))) int RgbToBgrSsse3(uint8_t* d, const uint8_t* s, int w) {
  const __m128i mask = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  int x = 0;
  for (; x + 6 <= w; x += 5, s += 15, d += 15)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                     _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), mask));
  return x;
}
const bool kHaveSsse3 = [] {
  __builtin_cpu_init();  // static initialisers may run before the library's own
  return __builtin_cpu_supports("ssse3") != 0;
}();
#endif

inline void RgbToBgr(uint8_t* d, const uint8_t* s, int w, int step) {
  if (step == 3) {
    int x = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (kHaveSsse3) {
      x = RgbToBgrSsse3(d, s, w);
      s += 3 * x, d += 3 * x;
    }
#endif
    // Four pixels at a time through 32-bit words.
    for (; x + 4 <= w; x += 4, s += 12, d += 12) {
      uint32_t a, b, e;
      std::memcpy(&a, s, 4);                                                                             // r0 g0 b0 r1
      std::memcpy(&b, s + 4, 4);                                                                         // g1 b1 r2 g2
      std::memcpy(&e, s + 8, 4);                                                                         // b2 r3 g3 b3
      uint32_t oa = ((a >> 16) & 0xFF) | (a & 0xFF00) | ((a & 0xFF) << 16) | ((b >> 8 & 0xFF) << 24);    // b0 g0 r0 b1
      uint32_t ob = (b & 0xFF) | ((a >> 24) << 8) | ((e & 0xFF) << 16) | ((b >> 24) << 24);              // g1 r1 b2 g2
      uint32_t oe = ((b >> 16) & 0xFF) | ((e >> 24) << 8) | (e & 0xFF0000) | (((e >> 8) & 0xFF) << 24);  // r2 b3 g3 r3
      std::memcpy(d, &oa, 4);
      std::memcpy(d + 4, &ob, 4);
      std::memcpy(d + 8, &oe, 4);
    }
    for (; x < w; ++x, s += 3, d += 3) d[0] = s[2], d[1] = s[1], d[2] = s[0];
    return;
  }
  for (int x = 0; x < w; ++x, s += step, d += 3) d[0] = s[2], d[1] = s[1], d[2] = s[0];
}

// One decoded row into bitmap row y.
void StoreRow(TReadContext& c, const uint8_t* src, int y) {
  const TTIFFVars& v = *c.Vars;
  uint8_t* d = c.Bitmap->ScanLine(y);
  const int w = c.Width;
  const bool big = v.BigEndian;
  switch (c.Kind) {
    case kRGB: RgbToBgr(d, src, w, int(v.SamplesPerPixel)); break;
    case kRGB16:
      for (int x = 0; x < w; ++x, d += 3) {
        uint32_t val = VLGet16(big, src + 2 * x);
        d[2] = uint8_t(((val >> 10) & 31) * 8);
        d[1] = uint8_t(((val >> 5) & 31) * 8);
        d[0] = uint8_t((val & 31) * 8);
      }
      break;
    case kPalette: {
      const size_t n = v.ColorMap.size();
      for (int x = 0; x < w; ++x, d += 3) {
        if (src[x] < n) {
          const TRGB& t = v.ColorMap[src[x]];
          d[0] = t.B, d[1] = t.G, d[2] = t.R;
        } else {
          d[0] = d[1] = d[2] = 0;
        }
      }
      break;
    }
    case kBilevel: {
      const size_t n = size_t((w + 7) / 8);
      const bool ccitt = TIFFIsFaxCompression(v.Compression);
      const bool invert = (v.Photometric == tpWhiteIsZero && !ccitt) || (v.Photometric == tpBlackIsZero && ccitt);
      if (invert)
        for (size_t i = 0; i < n; ++i) d[i] = uint8_t(~src[i]);
      else std::memcpy(d, src, n);
      break;
    }
    case kGray:
      for (int x = 0; x < w; ++x, d += 3)
        d[0] = d[1] = d[2] = v.Photometric == tpBlackIsZero ? src[x] : uint8_t(255 - src[x]);
      break;
    case kGray16:
      for (int x = 0; x < w; ++x, d += 3) {
        uint32_t s = VLGet16(big, src + 2 * x);
        if (v.Photometric == tpWhiteIsZero) s = 65535 - s;
        d[0] = d[1] = d[2] = uint8_t(s >> 8);
      }
      break;
    case kCMYK:
      for (int x = 0; x < w; ++x, d += 3, src += 4) TIFFCmykToBgr(src, d);
      break;
    case kLab:
      for (int x = 0; x < w; ++x, d += 3, src += 3) TIFFLabToRgb(src[0], src[1], src[2], d[2], d[1], d[0]);
      break;
    default: break;
  }
}

// Rows of one chunky strip into the bitmap from row first; false to stop.
bool TIFFDecodeStrip(TReadContext& c, TStripState& s, int first, int rows) {
  for (int r = 0; r < rows; ++r) {
    const uint8_t* raw;
    if (!TIFFDecompressStrip(c, s, c.Raw.data(), raw)) {
      VLFail(*c.Progress, vcBadData, "bad strip data");
      return false;
    }
    const uint8_t* src = PrepareSamples(c, raw, c.Vars->SamplesPerPixel);
    StoreRow(c, src, first + r);
    ++c.RowsDone;
    if (VLReportProgress(*c.Progress, c.RowsDone)) return false;
  }
  return true;
}

bool TIFFDecodePlanarStrips(TReadContext& c, TStripState* planes, int first, int rows) {
  const int w = c.Width;
  std::vector<uint8_t> plane[3];
  for (auto& p : plane) p.resize(size_t(w) + 8);
  for (int r = 0; r < rows; ++r) {
    for (int k = 0; k < 3; ++k) {
      const uint8_t* raw;
      if (!TIFFDecompressStrip(c, planes[k], c.Raw.data(), raw)) {
        VLFail(*c.Progress, vcBadData, "bad strip data");
        return false;
      }
      const uint8_t* src = PrepareSamples(c, raw, 1);
      std::memcpy(plane[k].data(), src, size_t(w));
    }
    uint8_t* d = c.Bitmap->ScanLine(first + r);
    for (int x = 0; x < w; ++x, d += 3) d[0] = plane[2][x], d[1] = plane[1][x], d[2] = plane[0][x];
    ++c.RowsDone;
    if (VLReportProgress(*c.Progress, c.RowsDone)) return false;
  }
  return true;
}

int64_t StripSize(const TTIFFVars& v, size_t i) {
  if (i < v.StripByteCounts.size() && v.StripByteCounts[i] != 0) return v.StripByteCounts[i];
  int64_t off = v.StripOffsets[i];
  return off < v.Size ? v.Size - off : 0;
}

void TIFFReadStrips(TReadContext& c) {
  TTIFFVars& v = *c.Vars;
  const int64_t height = v.Height;
  int64_t rps = v.RowsPerStrip;
  if (rps <= 0 || rps > height) rps = height;
  c.Progress->PercentPerRow = 100.0 / double(height);
  if (c.Kind == kPlanarRGB) {
    size_t n = v.StripOffsets.size();
    if (n % 3 != 0 || v.StripByteCounts.size() < n) {
      VLFail(*c.Progress, vcBadHeader, "bad planar strips");
      return;
    }
    size_t group = n / 3;
    for (size_t i = 0; i < group; ++i) {
      int64_t first = int64_t(i) * rps;
      if (first >= height) break;
      int rows = int(std::min<int64_t>(rps, height - first));
      TStripState planes[3];
      for (int k = 0; k < 3; ++k)
        StartStrip(c, planes[k], v.StripOffsets[i + k * group], StripSize(v, i + k * group), rows);
      if (!TIFFDecodePlanarStrips(c, planes, int(first), rows)) return;
    }
    return;
  }
  for (size_t i = 0; i < v.StripOffsets.size(); ++i) {
    int64_t first = int64_t(i) * rps;
    if (first >= height) break;
    int rows = int(std::min<int64_t>(rps, height - first));
    TStripState s;
    StartStrip(c, s, v.StripOffsets[i], StripSize(v, i), rows);
    if (!TIFFDecodeStrip(c, s, int(first), rows)) return;
  }
}

void ReadTags(TTIFFVars& v) {
  v.Width = TIFFGetTagValue(v, tagImageWidth, 0);
  v.Height = TIFFGetTagValue(v, tagImageLength, 0);
  v.Compression = TIFFGetTagValue(v, tagCompression, 1);
  v.Photometric = TIFFGetTagValue(v, tagPhotometric, 2);
  v.FillOrder = TIFFGetTagValue(v, tagFillOrder, 1);
  v.DocumentName = TIFFGetTagString(v, tagDocumentName);
  v.ImageDescription = TIFFGetTagString(v, tagImageDescription);
  v.Orientation = TIFFGetTagValue(v, tagOrientation, 1);
  v.SamplesPerPixel = TIFFGetTagValue(v, tagSamplesPerPixel, 1);
  v.RowsPerStrip = TIFFGetTagValue(v, tagRowsPerStrip, v.Height);
  if (v.RowsPerStrip == 0xFFFFFFFFu) v.RowsPerStrip = v.Height;
  v.XResolution = TIFFGetTagRational(v, tagXResolution);
  v.YResolution = TIFFGetTagRational(v, tagYResolution);
  v.PlanarConfig = TIFFGetTagValue(v, tagPlanarConfig, 1);
  v.PageName = TIFFGetTagString(v, tagPageName);
  v.XPosition = TIFFGetTagRational(v, tagXPosition);
  v.YPosition = TIFFGetTagRational(v, tagYPosition);
  v.T4Options = TIFFGetTagValue(v, tagT4Options, 0);
  v.T6Options = TIFFGetTagValue(v, tagT6Options, 0);
  v.ResolutionUnit = TIFFGetTagValue(v, tagResolutionUnit, 2);
  v.PageNumber = TIFFGetTagItem(v, tagPageNumber, 0, 0);
  v.PageCount = TIFFGetTagItem(v, tagPageNumber, 1, 0);
  TIFFReadTransferFunction(v);
  v.Software = TIFFGetTagString(v, tagSoftware);
  v.Predictor = TIFFGetTagValue(v, tagPredictor, 1);
  TIFFReadColorMap(v);
  v.TileWidth = TIFFFindTag(v, tagTileWidth) ? int64_t(TIFFGetTagValue(v, tagTileWidth, 0)) : -1;
  v.TileLength = TIFFFindTag(v, tagTileLength) ? int64_t(TIFFGetTagValue(v, tagTileLength, 0)) : -1;
  if (!TIFFGetTagArray(v, tagTileOffsets, v.TileOffsets, 1 << 16)) v.TileOffsets.clear();
  if (!TIFFGetTagArray(v, tagTileByteCounts, v.TileByteCounts, 1 << 16)) v.TileByteCounts.clear();
  v.InkSet = TIFFGetTagValue(v, tagInkSet, 1);
  v.NumberOfInks = TIFFGetTagValue(v, tagNumberOfInks, 4);
  for (uint32_t i = 0; i < 8; ++i) v.DotRange[i] = TIFFGetTagItem(v, tagDotRange, i, 0);
  if (!TIFFGetTagData(v, tagJPEGTables, v.JPEGTables, 1 << 20)) v.JPEGTables.clear();
}

void FillParams(const TTIFFVars& v, TIOParamsVals& p) {
  p.BitsPerSample = int32_t(std::min<uint32_t>(v.BitsPerSample, 0x7FFFFFFF));
  p.SamplesPerPixel = int32_t(std::min<uint32_t>(v.SamplesPerPixel, 0x7FFFFFFF));
  p.Width = int32_t(std::min<uint32_t>(v.Width, 0x7FFFFFFF));
  p.Height = int32_t(std::min<uint32_t>(v.Height, 0x7FFFFFFF));
  switch (v.Compression) {
    case tcNone: p.TIFFCompression = tpcNone; break;
    case tcCCITTHuffman: p.TIFFCompression = tpcHuffman; break;
    case tcCCITTGroup3: p.TIFFCompression = (v.T4Options & 1) ? tpcGroup3TwoD : tpcGroup3; break;
    case tcCCITTGroup4: p.TIFFCompression = tpcGroup4; break;
    case tcLZW: p.TIFFCompression = tpcLZW; break;
    case tcOldJPEG: p.TIFFCompression = tpcOldJPEG; break;
    case tcJPEG: p.TIFFCompression = tpcJPEG; break;
    case tcPackBits: p.TIFFCompression = tpcPackBits; break;
    default: break;
  }
  // The parameter object numbers CIE L*a*b* 7.
  if (v.Photometric <= tpYCbCr) p.TIFFPhotometric = uint8_t(v.Photometric);
  else if (v.Photometric == tpCIELab) p.TIFFPhotometric = 7;
  p.TIFFPlanarConfig = int32_t(std::min<uint32_t>(v.PlanarConfig, 0x7FFFFFFF));
  p.TIFFDocumentName = v.DocumentName;
  p.TIFFImageDescription = v.ImageDescription;
  p.TIFFPageName = v.PageName;
  p.TIFFPageNumber = int32_t(v.PageNumber);
  p.TIFFPageCount = int32_t(v.PageCount);
  p.FreeColorMap();
  if (!v.ColorMap.empty()) p.SetColorMap(v.ColorMap.data(), int32_t(v.ColorMap.size()));
  long double f = v.ResolutionUnit == 3 ? 2.54L : 1.0L;
  auto toInt = [](long double x) -> int32_t {
    if (!(x > -2e9L && x < 2e9L)) return 0;
    return int32_t(Trunc(x));
  };
  p.DpiX = toInt(v.XResolution * f);
  p.DpiY = toInt(v.YResolution * f);
  if (p.DpiX == 0) p.DpiX = ScreenPixelsPerInch();
  if (p.DpiY == 0) p.DpiY = ScreenPixelsPerInch();
  p.TIFFXPos = toInt(v.XPosition * f);
  p.TIFFYPos = toInt(v.YPosition * f);
}

// The file at Base in the stream.
void StartVars(TTIFFVars& v, TStream* stream, int64_t base) {
  v.Stream = stream;
  v.Base = base;
  v.Size = stream->Size() - v.Base;
  if (v.Size < 0) v.Size = 0;
  if (auto* mem = dynamic_cast<TCustomMemoryStream*>(stream); mem && mem->Memory() && v.Base >= 0 && v.Size > 0)
    v.Memory = static_cast<const uint8_t*>(mem->Memory()) + v.Base;
}

void ReadPage(TTIFFVars& v, TBitmap* bitmap, TIOParamsVals& params, TFilterProgress& progress, bool paramsOnly);

void ReadImage(TBitmap* bitmap, TStream* stream, int& imageCount, TIOParamsVals& params, TFilterProgress& progress,
               bool paramsOnly) {
  TTIFFVars v;
  StartVars(v, stream, stream->Position());
  bool found = false, broken = false;
  int64_t want = params.TIFFImageIndex;
  if (!WalkChain(v, want < 0 ? -2 : want, imageCount, found, broken)) VLThrowFail(vcNotFormat, "unrecognized TIFF");
  if (!found) VLThrowFail(broken ? vcTruncated : vcNoImage, "Invalid TIFF stream");
  ReadPage(v, bitmap, params, progress, paramsOnly);
}

// The page whose entries v holds.
void ReadPage(TTIFFVars& v, TBitmap* bitmap, TIOParamsVals& params, TFilterProgress& progress, bool paramsOnly) {
  if (!TIFFReadBitsPerSample(v)) VLThrowFail(vcBadHeader, "Invalid TIFF stream");
  ReadTags(v);
  FillParams(v, params);
  if (v.Compression == tcLZW) {
    v.LZWDecoder = params.TIFFLZWDecompress ? params.TIFFLZWDecompress : DefaultTIFFLZWDecompressor;
    if (!v.LZWDecoder) VLThrowFail(vcNoCoder, "LZW Decompressor not found");
  }
  if (paramsOnly || !bitmap) return;
  TKind kind = DecodeKind(v);
  bool oneBit = v.BitsPerSample == 1 && v.SamplesPerPixel == 1 && v.Photometric != tpPalette;
  TPixelFormat pf = oneBit ? pf1bit : pf24bit;
  // Nothing is allocated for a picture past the limit, the bitmap stays as it was.
  if (v.Width > 0 && v.Height > 0) {
    const int64_t row = BitmapRowBytes(v.Width, oneBit ? 1 : 24), limit = TBitmap::MaxBytes();
    if (v.Width > 0x7FFFFFFFu || v.Height > 0x7FFFFFFFu || row > limit || int64_t(v.Height) > limit / row)
      VLThrowFail(vcTooLarge, "image too large");
  }
  // A bitmap of the right shape keeps its memory (rows not decoded keep what they held);
  // in a new one, rows not decoded are black.
  bool reuse = bitmap->PixelFormat() == pf && uint32_t(bitmap->Width()) == v.Width &&
               uint32_t(bitmap->Height()) == v.Height && v.Width > 0 && v.Height > 0;
  if (v.Width == 0 || v.Height == 0) {
    bitmap->SetSize(1, 1);
    bitmap->SetPixelFormat(pf);
    if (oneBit) bitmap->SetPalette({TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}});
    VLThrowFail(vcBadHeader, "empty image");
  }
  int64_t rowsDone = 0;
  struct TClearRest {
    TBitmap* Bmp = nullptr;
    const int64_t* Done = nullptr;
    ~TClearRest() {
      if (Bmp && *Done < Bmp->Height())
        std::memset(Bmp->Bits() + *Done * Bmp->RowBytes(), 0, size_t((Bmp->Height() - *Done) * Bmp->RowBytes()));
    }
  } clearRest;
  if (!reuse) {
    bitmap->Allocate(int(v.Width), int(v.Height), pf);
    clearRest.Bmp = bitmap;
    clearRest.Done = &rowsDone;
  }
  if (oneBit) bitmap->SetPalette({TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}});
  if (v.TileWidth > 0 || v.TileLength > 0) VLThrowFail(vcUnsupported, "tiled image");
  if (kind == kNone) return;
  // No more strips than the rows need: one per RowsPerStrip rows (per plane when planar).
  const int64_t rps = v.RowsPerStrip > 0 && v.RowsPerStrip <= v.Height ? v.RowsPerStrip : v.Height;
  const int64_t strips = std::min<int64_t>(((v.Height + rps - 1) / rps) * (kind == kPlanarRGB ? 3 : 1), 1 << 24);
  if (!TIFFGetTagArray(v, tagStripOffsets, v.StripOffsets, uint32_t(strips))) v.StripOffsets.clear();
  if (!TIFFGetTagArray(v, tagStripByteCounts, v.StripByteCounts, uint32_t(strips))) v.StripByteCounts.clear();
  if (v.StripOffsets.empty()) return;
  TReadContext c{&v, bitmap, &progress, kind, int(v.Width), 0, {}, {}, rowsDone};
  const int64_t samples = kind == kPlanarRGB ? 1 : v.SamplesPerPixel;
  c.RowLen = (samples * int64_t(v.Width) * v.BitsPerSample + 7) / 8;
  c.Raw.assign(size_t(c.RowLen) + 8, 0);
  // Bilevel rows stay packed: they need no sample buffer.
  if (kind != kBilevel) c.Samples.assign(size_t(samples * int64_t(v.Width)) + 8, 0);
  TIFFReadStrips(c);
}

}  // namespace

uint16_t TIFFSwapWord(uint16_t V) { return uint16_t(V >> 8 | V << 8); }
uint32_t TIFFSwapLong(uint32_t V) { return __builtin_bswap32(V); }

uint32_t TIFFEntryValue(const TTIFFVars& Vars, const TTIFFEntry& Entry) {
  return ItemAt(Vars.BigEndian, Entry.Type, Entry.Value);
}

const TTIFFEntry* TIFFFindTag(const TTIFFVars& Vars, uint16_t Tag) {
  for (const TTIFFEntry& e : Vars.Entries)
    if (e.Tag == Tag) return &e;
  return nullptr;
}

uint32_t TIFFGetTagValue(const TTIFFVars& Vars, uint16_t Tag, uint32_t Default) {
  const TTIFFEntry* e = TIFFFindTag(Vars, Tag);
  if (!e || e->Count == 0) return Default;
  uint32_t value;
  return TIFFGetEntryItem(Vars, *e, 0, value) ? value : Default;
}

long double TIFFGetTagRational(const TTIFFVars& Vars, uint16_t Tag) {
  const TTIFFEntry* e = TIFFFindTag(Vars, Tag);
  if (!e || e->Count == 0) return 0;
  if (e->Type == 5 || e->Type == 10) {
    uint8_t b[8];
    if (!ReadAt(Vars, VLGet32(Vars.BigEndian, e->Value), b, 8)) return 0;
    uint32_t n = VLGet32(Vars.BigEndian, b), d = VLGet32(Vars.BigEndian, b + 4);
    if (e->Type == 10) return (long double)int32_t(n) / (long double)(d == 0 ? 1 : int32_t(d));
    return (long double)n / (long double)(d == 0 ? 1 : d);
  }
  if (e->Type == 11) {
    uint32_t bits = VLGet32(Vars.BigEndian, e->Value);
    float f;
    std::memcpy(&f, &bits, 4);
    return std::isfinite(f) ? f : 0;
  }
  uint32_t v;
  return TIFFGetEntryItem(Vars, *e, 0, v) ? (long double)v : 0;
}

bool TIFFGetEntryItem(const TTIFFVars& Vars, const TTIFFEntry& Entry, uint32_t Index, uint32_t& Value) {
  int size = TypeSize(Entry.Type);
  if (size == 0 || Index >= Entry.Count) return false;
  if (size > 4) size = 4;  // first word of rationals and doubles
  uint64_t total = uint64_t(Entry.Count) * uint64_t(TypeSize(Entry.Type));
  uint8_t b[4] = {0, 0, 0, 0};
  if (total <= 4) {
    std::memcpy(b, Entry.Value + size_t(Index) * size_t(size), size_t(size));
  } else {
    int64_t off = int64_t(VLGet32(Vars.BigEndian, Entry.Value)) + int64_t(Index) * TypeSize(Entry.Type);
    if (!ReadAt(Vars, off, b, size)) return false;
  }
  Value = ItemAt(Vars.BigEndian, Entry.Type, b);
  return true;
}

uint32_t TIFFGetTagItem(const TTIFFVars& Vars, uint16_t Tag, uint32_t Index, uint32_t Default) {
  const TTIFFEntry* e = TIFFFindTag(Vars, Tag);
  uint32_t v;
  if (!e || !TIFFGetEntryItem(Vars, *e, Index, v)) return Default;
  return v;
}

bool TIFFGetTagArray(const TTIFFVars& Vars, uint16_t Tag, std::vector<uint32_t>& Items, uint32_t MaxCount) {
  Items.clear();
  const TTIFFEntry* e = TIFFFindTag(Vars, Tag);
  if (!e) return false;
  int size = TypeSize(e->Type);
  if (size == 0 || size > 4) return false;
  std::vector<uint8_t> raw;
  uint64_t count = std::min<uint64_t>(e->Count, MaxCount);
  if (uint64_t(e->Count) * size > 4) {
    // Values past the end of the stream are not there: keep what is.
    int64_t off = VLGet32(Vars.BigEndian, e->Value);
    int64_t avail = off < Vars.Size ? (Vars.Size - off) / size : 0;
    count = std::min<uint64_t>(count, uint64_t(avail));
    raw.resize(size_t(count) * size);
    if (count > 0 && !ReadAt(Vars, off, raw.data(), int64_t(raw.size()))) return false;
  } else {
    raw.assign(e->Value, e->Value + size_t(count) * size);
  }
  Items.resize(size_t(count));
  for (size_t i = 0; i < count; ++i) Items[i] = ItemAt(Vars.BigEndian, e->Type, raw.data() + i * size);
  return true;
}

bool TIFFGetTagData(const TTIFFVars& Vars, uint16_t Tag, std::vector<uint8_t>& Data, uint32_t MaxBytes) {
  Data.clear();
  const TTIFFEntry* e = TIFFFindTag(Vars, Tag);
  if (!e) return false;
  return EntryBytes(Vars, *e, Data, MaxBytes);
}

std::string TIFFGetTagString(const TTIFFVars& Vars, uint16_t Tag) {
  std::vector<uint8_t> d;
  if (!TIFFGetTagData(Vars, Tag, d, 1 << 20)) return std::string();
  size_t n = 0;
  while (n < d.size() && d[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(d.data()), n);
}

void TIFFCmykToBgr(const uint8_t* Cmyk, uint8_t* Bgr) {
  int k = 255 - Cmyk[3];
  Bgr[2] = uint8_t((255 - Cmyk[0]) * k / 255);
  Bgr[1] = uint8_t((255 - Cmyk[1]) * k / 255);
  Bgr[0] = uint8_t((255 - Cmyk[2]) * k / 255);
}

void TIFFLabToRgb(uint8_t L, uint8_t A, uint8_t B, uint8_t& Red, uint8_t& Green, uint8_t& Blue) {
  int ai = int8_t(A), bi = int8_t(B);
  if (ai == -128) ai = 128;
  if (bi == -128) bi = 128;
  using R = long double;
  R l = R(L) / 255 * 100;
  R a = R(ai + 127) / 255 * 200 - 100;
  R b = R(bi + 127) / 255 * 200 - 100;
  R fy = (l + 16) / 116;
  R fx = fy + a * 0.002L;
  R fz = fy - b * 0.005L;
  R X, Y, Z;
  if (l >= 7.9996L) {
    X = fx * fx * fx, Y = fy * fy * fy, Z = fz * fz * fz;
  } else {
    Y = l * 0.0011070519207L;
    X = Y + a * 0.00025683832028L;
    Z = Y - b * 0.00064209580069L;
  }
  R rgb[3] = {2.69L * X - 1.276L * Y - 0.414L * Z, -1.022L * X + 1.978L * Y + 0.044L * Z,
              0.061L * X - 0.224L * Y + 1.163L * Z};
  uint8_t out[3];
  for (int i = 0; i < 3; ++i) {
    R c = rgb[i];
    out[i] = c <= 0 ? 0 : c >= 1 ? 255 : uint8_t(Trunc(std::sqrt(c) * 256));
  }
  Red = out[0], Green = out[1], Blue = out[2];
}

bool TTIFFPackBitsDecoder::DecodeRow(uint8_t* Row, int64_t Count) {
  int64_t n = 0;
  while (n < Count) {
    if (Repeat > 0) {
      int64_t k = std::min<int64_t>(Repeat, Count - n);
      std::memset(Row + n, Value, size_t(k));
      n += k;
      Repeat -= int(k);
      continue;
    }
    if (Literal > 0) {
      int64_t k = std::min<int64_t>({int64_t(Literal), Count - n, Size - Pos});
      if (k <= 0) return false;
      std::memcpy(Row + n, Data + Pos, size_t(k));
      n += k;
      Pos += k;
      Literal -= int(k);
      continue;
    }
    if (Pos >= Size) return false;
    int8_t c = int8_t(Data[Pos++]);
    if (c >= 0) {
      Literal = c + 1;
    } else if (c != -128) {
      if (Pos >= Size) return false;
      Value = Data[Pos++];
      Repeat = 1 - c;
    }
  }
  return true;
}

void ReadTIFFStream(TBitmap* Bitmap, TStream* Stream, int& ImageCount, TIOParamsVals& Params, TFilterProgress& Progress,
                    bool ParamsOnly) {
  ImageCount = 0;
  VLGuardCodec(Progress, crRead, [&] {
    if (!Stream) VLThrowFail(vcNoPicture, "no stream");
    ReadImage(Bitmap, Stream, ImageCount, Params, Progress, ParamsOnly);
  });
}

bool VLIsTIFF(const uint8_t* Head, int64_t StreamSize) {
  const uint16_t order = VLGetLE16(Head);
  return (StreamSize > 12 && VLTagText(Head) == "TIFF") || (StreamSize > 8 && (order == 0x4949 || order == 0x4D4D));
}

int TIFFImageCount(TStream* Stream) {
  if (!Stream) return 0;
  try {
    TTIFFVars v;
    v.Stream = Stream;
    v.Base = Stream->Position();
    v.Size = std::max<int64_t>(Stream->Size() - v.Base, 0);
    int count = 0;
    bool found, broken;
    if (!WalkChain(v, -1, count, found, broken)) count = 0;
    Stream->Seek(v.Base, soBeginning);
    return count;
  } catch (...) {
    return 0;
  }
}

void TIFFIndexPages(TStream* Stream, TTIFFPageIndex& Index) {
  Index = TTIFFPageIndex();
  if (!Stream) return;
  try {
    TTIFFVars v;
    v.Stream = Stream;
    v.Base = Stream->Position();
    v.Size = std::max<int64_t>(Stream->Size() - v.Base, 0);
    Index.Base = v.Base;
    int count = 0;
    bool found, broken;
    Index.Valid = WalkChain(v, -1, count, found, broken, &Index.Offsets);
    Index.BigEndian = v.BigEndian;
    Index.Broken = broken;
    // An IFD whose count could not be read is no page.
    if (Index.Offsets.size() > size_t(count)) Index.Offsets.resize(size_t(count));
  } catch (...) {
    Index.Valid = false;
    Index.Offsets.clear();
  }
}

void ReadTIFFPage(TBitmap* Bitmap, TStream* Stream, const TTIFFPageIndex& Index, int Page, TIOParamsVals& Params,
                  TFilterProgress& Progress) {
  VLGuardCodec(Progress, crRead, [&] {
    if (!Stream) VLThrowFail(vcNoPicture, "no stream");
    if (!Index.Valid) VLThrowFail(vcNotFormat, "unrecognized TIFF");
    TTIFFVars v;
    StartVars(v, Stream, Index.Base);
    v.BigEndian = Index.BigEndian;
    bool found = false, broken = Index.Broken;
    if (Page >= 0 && size_t(Page) < Index.Offsets.size()) {
      const uint32_t offset = Index.Offsets[size_t(Page)];
      uint8_t b[2];
      if (!ReadAt(v, offset, b, 2) || !ReadEntries(v, offset, VLGet16(v.BigEndian, b))) broken = true;
      else found = !v.Entries.empty();
    }
    if (!found) VLThrowFail(broken ? vcTruncated : vcNoImage, "Invalid TIFF stream");
    ReadPage(v, Bitmap, Params, Progress, false);
  });
}
