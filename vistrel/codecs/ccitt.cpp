// Fax run-length coding of bilevel rows.
#include "vistrel/codecs/ccitt.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct TCode {
  uint16_t Value;  // right-aligned
  uint8_t Length;
};

// Terminating codes 0-63, white then black.
const char* const kWhiteTerm[64] = {
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",     "1111",
    "10011",    "10100",    "00111",    "01000",    "001000",   "000011",   "110100",   "110101",
    "101010",   "101011",   "0100111",  "0001100",  "0001000",  "0010111",  "0000011",  "0000100",
    "0101000",  "0101011",  "0010011",  "0100100",  "0011000",  "00000010", "00000011", "00011010",
    "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111", "00101000",
    "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101", "00001010",
    "00001011", "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011", "00110100"};
const char* const kBlackTerm[64] = {
    "0000110111",   "010",          "11",           "10",           "011",          "0011",         "0010",
    "00011",        "000101",       "000100",       "0000100",      "0000101",      "0000111",      "00000100",
    "00000111",     "000011000",    "0000010111",   "0000011000",   "0000001000",   "00001100111",  "00001101000",
    "00001101100",  "00000110111",  "00000101000",  "00000010111",  "00000011000",  "000011001010", "000011001011",
    "000011001100", "000011001101", "000001101000", "000001101001", "000001101010", "000001101011", "000011010010",
    "000011010011", "000011010100", "000011010101", "000011010110", "000011010111", "000001101100", "000001101101",
    "000011011010", "000011011011", "000001010100", "000001010101", "000001010110", "000001010111", "000001100100",
    "000001100101", "000001010010", "000001010011", "000000100100", "000000110111", "000000111000", "000000100111",
    "000000101000", "000001011000", "000001011001", "000000101011", "000000101100", "000001011010", "000001100110",
    "000001100111"};
// Make-up codes 64-1728 in steps of 64.
const char* const kWhiteMakeUp[27] = {"11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",
                                      "01100100",  "01100101",  "01101000",  "01100111",  "011001100", "011001101",
                                      "011010010", "011010011", "011010100", "011010101", "011010110", "011010111",
                                      "011011000", "011011001", "011011010", "011011011", "010011000", "010011001",
                                      "010011010", "011000",    "010011011"};
const char* const kBlackMakeUp[27] = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",  "000000110100",
    "000000110101",  "0000001101100", "0000001101101", "0000001001010", "0000001001011", "0000001001100",
    "0000001001101", "0000001110010", "0000001110011", "0000001110100", "0000001110101", "0000001110110",
    "0000001110111", "0000001010010", "0000001010011", "0000001010100", "0000001010101", "0000001011010",
    "0000001011011", "0000001100100", "0000001100101"};
// Extended make-up codes 1792-2560, the same for both colours.
const char* const kExtMakeUp[13] = {"00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
                                    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
                                    "000000011101", "000000011110", "000000011111"};

constexpr int kRunEol = -3;
constexpr int kRunInvalid = -1;
constexpr int kRunNone = -2;
constexpr int kLookBits = 13;

TCode MakeCode(const char* s) {
  TCode c{0, 0};
  for (; *s; ++s) c.Value = uint16_t((c.Value << 1) | (*s == '1')), ++c.Length;
  return c;
}

struct TTables {
  // Encoding: terminating codes and make-up codes (index run / 64 - 1, up to 2560).
  TCode Term[2][64];
  TCode MakeUp[2][40];
  // Decoding by the next 13 bits: run (or kRunNone) and code length.
  int16_t Run[2][1 << kLookBits];
  uint8_t Len[2][1 << kLookBits];
  uint8_t Reverse[256];

  TTables() {
    for (int c = 0; c < 2; ++c) {
      for (int i = 0; i < (1 << kLookBits); ++i) Run[c][i] = kRunNone, Len[c][i] = 0;
      for (int i = 0; i < 64; ++i) Add(c, Term[c][i] = MakeCode(c ? kBlackTerm[i] : kWhiteTerm[i]), i);
      for (int i = 0; i < 27; ++i) Add(c, MakeUp[c][i] = MakeCode(c ? kBlackMakeUp[i] : kWhiteMakeUp[i]), (i + 1) * 64);
      for (int i = 0; i < 13; ++i) Add(c, MakeUp[c][27 + i] = MakeCode(kExtMakeUp[i]), (28 + i) * 64);
    }
    for (int i = 0; i < 256; ++i) {
      int r = 0;
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) r |= 0x80 >> b;
      Reverse[i] = uint8_t(r);
    }
  }
  void Add(int c, TCode code, int run) {
    int shift = kLookBits - code.Length;
    for (int i = code.Value << shift; i < (code.Value + 1) << shift; ++i)
      Run[c][i] = int16_t(run), Len[c][i] = code.Length;
  }
};

const TTables& Tables() {
  static const TTables t;
  return t;
}

// Reads bits most significant first; bits past the end are 0.
struct TBitReader {
  const uint8_t* Data;
  int64_t Len;
  int64_t Bits;
  int64_t Pos;
  const uint8_t* Rev;  // nil for fill order 1

  TBitReader(const uint8_t* data, int64_t len, int fillOrder, int64_t pos)
      : Data(data), Len(len < 0 ? 0 : len), Bits(Len * 8), Pos(pos), Rev(fillOrder == 1 ? nullptr : Tables().Reverse) {}

  uint8_t Byte(int64_t i) const {
    if (i < 0 || i >= Len) return 0;
    return Rev ? Rev[Data[i]] : Data[i];
  }
  // The next 32 bits, the first in bit 31.
  uint32_t Peek() const {
    int64_t b = Pos >> 3;
    int s = int(Pos & 7);
    uint64_t v;
    if (!Rev && b >= 0 && b + 8 <= Len) {
      std::memcpy(&v, Data + b, 8);
      v = __builtin_bswap64(v);
    } else {
      v = 0;
      for (int i = 0; i < 8; ++i) v = (v << 8) | Byte(b + i);
    }
    return uint32_t((v << s) >> 32);
  }
  bool Exhausted() const { return Pos >= Bits; }
};

// Run code at the reader for colour c: run (>= 0, kRunEol, kRunInvalid, kRunNone) and length.
inline int LookupRun(const TBitReader& br, int c, int& len) {
  uint32_t v = br.Peek();
  if ((v >> 24) != 0) {
    const TTables& t = Tables();
    uint32_t i = v >> (32 - kLookBits);
    len = t.Len[c][i];
    return t.Run[c][i];
  }
  if (v == 0) {
    len = 32;
    return kRunInvalid;  // a long stretch of zeros: skipped
  }
  int z = __builtin_clz(v);
  len = z + 1;
  if (z >= 11) return kRunEol;
  return kRunInvalid;  // 000000001, 0000000001, 00000000001
}

// Sets pixels [from, to) of a decoded row to black (0 bits).
inline void ClearRun(uint8_t* row, int from, int to) {
  if (from >= to) return;
  int fb = from >> 3, tb = (to - 1) >> 3;
  uint8_t head = uint8_t(0xFF >> (from & 7));
  uint8_t tail = uint8_t(0xFF << (7 - ((to - 1) & 7)));
  if (fb == tb) {
    row[fb] &= uint8_t(~(head & tail));
    return;
  }
  row[fb] &= uint8_t(~head);
  if (tb - fb > 1) std::memset(row + fb + 1, 0, size_t(tb - fb - 1));
  row[tb] &= uint8_t(~tail);
}

// One-dimensional line into row (white first); false on bad or missing data.
bool Decode1D(TBitReader& br, uint8_t* row, int width) {
  std::memset(row, 0xFF, size_t((width + 7) / 8));
  int n = 0, colour = 0;
  bool pending = false, atStart = true;
  while (n < width || pending) {
    if (br.Exhausted()) return false;
    int len;
    int run = LookupRun(br, colour, len);
    if (run == kRunNone) return false;
    br.Pos += len;
    if (run == kRunEol) {
      if (atStart) continue;
      if (colour) ClearRun(row, n, width);
      return br.Pos <= br.Bits;
    }
    atStart = false;
    if (run == kRunInvalid) continue;
    int end = n + run > width ? width : n + run;
    if (colour) ClearRun(row, n, end);
    n = end;
    if (run < 64) colour ^= 1, pending = false;
    else pending = true;
  }
  return br.Pos <= br.Bits;
}

thread_local std::vector<int32_t> tRefChanges, tCurChanges;

// Room for count changes and the closing entries.
int32_t* ChangeBuffer(std::vector<int32_t>& v, int64_t count) {
  if (v.size() < size_t(count) + 4) v.resize(size_t(count) + 4);
  return v.data();
}

int FindChanges(const uint8_t* Row, int Width, int Ink, int32_t* Changes, int64_t Capacity);

// Reads one run (make-up codes up to a terminating code); -1 when an EOL or a bad code came.
__attribute__((always_inline)) inline int ReadRun(TBitReader& br, int colour, bool& bad) {
  int total = 0;
  for (;;) {
    if (br.Exhausted()) {
      bad = true;
      return -1;
    }
    int len;
    int run = LookupRun(br, colour, len);
    if (run == kRunNone) {
      bad = true;
      return -1;
    }
    br.Pos += len;
    if (run < 0) return -1;
    total += run;
    if (total > (1 << 30)) {
      bad = true;
      return -1;
    }
    if (run < 64) return total;
  }
}

// Bit writer over a byte buffer, starting from the caller's pending bits.
struct TBitWriter {
  std::vector<uint8_t>& Buf;
  uint32_t Acc;
  int N;
  TBitWriter(std::vector<uint8_t>& buf, int pendingBits, uint8_t pendingByte)
      : Buf(buf),
        Acc(pendingBits > 0 ? uint32_t(pendingByte >> (8 - pendingBits)) : 0),
        N(pendingBits > 0 ? pendingBits : 0) {
    Buf.clear();
  }
  void Put(uint32_t value, int len) {
    Acc = (Acc << len) | (value & ((1u << len) - 1));
    N += len;
    while (N >= 8) {
      N -= 8;
      Buf.push_back(uint8_t(Acc >> N));
    }
    Acc &= (1u << N) - 1;
  }
  void Put(TCode c) { Put(c.Value, c.Length); }
  void PadToByte() {
    if (N > 0) Put(0, 8 - N);
  }
  // Writes the whole bytes and leaves the rest pending.
  void Finish(TStream* stream, int& pendingBits, uint8_t& pendingByte) {
    if (!Buf.empty()) stream->WriteBuffer(Buf.data(), int64_t(Buf.size()));
    pendingBits = N;
    pendingByte = N > 0 ? uint8_t(Acc << (8 - N)) : 0;
  }
};

void PutRun(TBitWriter& bw, int colour, int n) {
  const TTables& t = Tables();
  while (n >= 64) {
    int m = n > 2560 ? 2560 : n / 64 * 64;
    bw.Put(t.MakeUp[colour][m / 64 - 1]);
    n -= m;
  }
  bw.Put(t.Term[colour][n]);
}

void Encode1D(TBitWriter& bw, const uint8_t* row, int width) {
  int32_t* ch = ChangeBuffer(tCurChanges, width);
  int count = CCITTFindChanges(row, width, 1, ch);
  int prev = 0, colour = 0;
  for (int i = 0; i < count; ++i) {
    PutRun(bw, colour, ch[i] - prev);
    prev = ch[i];
    colour ^= 1;
  }
  PutRun(bw, colour, width - prev);
}

const TCode kPass{1, 4}, kHorizontal{1, 3};
// Vertical codes by b1 - a1 + 3: VR3, VR2, VR1, V0, VL1, VL2, VL3.
const TCode kVertical[7] = {{3, 7}, {3, 6}, {3, 3}, {1, 1}, {2, 3}, {2, 6}, {2, 7}};
const TCode kEol{1, 12};

// Two-dimensional coding of row (ink 1) against ref (ink 1; nil: all white).
void Encode2D(TBitWriter& bw, const uint8_t* row, const uint8_t* ref, int width) {
  int32_t* cur = ChangeBuffer(tCurChanges, width);
  int32_t* rc = ChangeBuffer(tRefChanges, width);
  CCITTFindChanges(row, width, 1, cur);
  if (ref) CCITTFindChanges(ref, width, 1, rc);
  else rc[0] = rc[1] = rc[2] = width;
  int a0 = -1, colour = 0;
  int i = 0, j = 0;  // next change of the coding line, candidate change of the reference line
  while (a0 < width) {
    while (cur[i] <= a0) ++i;
    int a1 = cur[i];
    while (j > 0 && rc[j - 1] > a0) --j;
    while (rc[j] <= a0) ++j;
    if ((j & 1) != colour) ++j;
    int b1 = rc[j], b2 = rc[j + 1];
    if (b2 < a1) {
      bw.Put(kPass);
      a0 = b2;
    } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
      bw.Put(kVertical[b1 - a1 + 3]);
      a0 = a1;
      colour ^= 1;
    } else {
      int a2 = cur[i + 1];
      int start = a0 < 0 ? 0 : a0;
      bw.Put(kHorizontal);
      PutRun(bw, colour, a1 - start);
      PutRun(bw, colour ^ 1, a2 - a1);
      a0 = a2;
    }
  }
}

std::vector<uint8_t>& EncodeBuffer() {
  thread_local std::vector<uint8_t> buf;
  return buf;
}

}  // namespace

int CCITTFindChanges(const uint8_t* Row, int Width, int Ink, int32_t* Changes) {
  return FindChanges(Row, Width, Ink, Changes, Width < 0 ? 0 : Width);
}

namespace {

// As CCITTFindChanges; -1 when the row has more than Capacity changes.
int FindChanges(const uint8_t* Row, int Width, int Ink, int32_t* Changes, int64_t Capacity) {
  int n = 0;
  if (Width < 0) Width = 0;
  int64_t rowBytes = (int64_t(Width) + 7) / 8;
  uint64_t norm = Ink ? 0 : ~uint64_t(0);  // makes ink bits 1
  uint64_t cur = 0;                        // all bits of the current colour
  int x = 0;
  while (x < Width) {
    int64_t b = x >> 3;
    int s = x & 7;
    uint64_t v;
    if (b + 8 <= rowBytes) {
      std::memcpy(&v, Row + b, 8);
      v = __builtin_bswap64(v);
    } else {
      v = 0;
      for (int k = 0; k < 8; ++k) v = (v << 8) | (b + k < rowBytes ? Row[b + k] : 0);
    }
    v = ((v ^ norm ^ cur) << s);
    int valid = Width - x < 56 ? Width - x : 56;
    uint64_t mask = ~uint64_t(0) << (64 - valid);
    v &= mask;
    if (v == 0) {
      x += valid;
      continue;
    }
    x += __builtin_clzll(v);
    if (n >= Capacity) return -1;
    Changes[n++] = x;
    cur = ~cur;
  }
  Changes[n] = Changes[n + 1] = Changes[n + 2] = Width;
  return n;
}

}  // namespace

int64_t CCITTDecode1DLine(uint8_t* Row, const uint8_t* Data, int64_t DataLen, int Width, int FillOrder,
                          int64_t BitPos) {
  if (Width <= 0 || BitPos < 0) return -1;
  TBitReader br(Data, DataLen, FillOrder, BitPos);
  if (!Decode1D(br, Row, Width)) return -1;
  return br.Pos;
}

int64_t CCITTDecodeMHRow(uint8_t* Row, const uint8_t* Data, int64_t DataLen, int Width, int FillOrder) {
  int64_t pos = CCITTDecode1DLine(Row, Data, DataLen, Width, FillOrder, 0);
  if (pos < 0) return -1;
  return (pos + 7) / 8;
}

namespace {

// The changes of the line last decoded, kept for the next line when its reference is that
// line unchanged.
struct TRefCache {
  const uint8_t* Ref = nullptr;
  int Width = 0;
  bool Valid = false;
  std::vector<uint8_t> Bytes;
  std::vector<int32_t> Changes;
};
thread_local TRefCache tRefCache;

// Paints runs of a decoded line and records where its colour changes.
struct TLinePainter {
  uint8_t* Row;
  int32_t* Changes;
  int64_t Capacity;
  int Count = 0;
  int Painted = 0;  // colour of the last run painted (starts white)
  bool Full = false;
  void Paint(int from, int to, int colour) {
    if (from >= to) return;
    if (colour) ClearRun(Row, from, to);
    if (colour != Painted) {
      if (Count >= Capacity) Full = true;
      else Changes[Count++] = from;
      Painted = colour;
    }
  }
};

}  // namespace

int64_t CCITTDecode2DLine(uint8_t* Row, const uint8_t* Data, int64_t DataLen, int Width, int FillOrder, int64_t BitPos,
                          uint8_t* RefLine) {
  if (Width <= 0 || BitPos < 0) return -1;
  const size_t rowBytes = size_t((Width + 7) / 8);
  TBitReader br(Data, DataLen, FillOrder, BitPos);
  TRefCache& cache = tRefCache;
  // Every change of a line costs at least one bit of data: that bounds the change lists.
  const int64_t capacity = std::min<int64_t>(Width, 16 * std::max<int64_t>(DataLen, 0) + 64);
  int32_t* rc;
  if (cache.Valid && cache.Ref == RefLine && cache.Width == Width && cache.Bytes.size() == rowBytes &&
      std::memcmp(cache.Bytes.data(), RefLine, rowBytes) == 0) {
    rc = cache.Changes.data();
  } else {
    rc = ChangeBuffer(tRefChanges, capacity);
    if (FindChanges(RefLine, Width, 0, rc, capacity) < 0) return -1;
  }
  cache.Valid = false;
  TLinePainter out{Row, ChangeBuffer(tCurChanges, capacity), capacity};
  bool recorded = true;  // false once the changes are not known from the runs
  std::memset(Row, 0xFF, rowBytes);
  int a0 = -1, colour = 0, j = 0;
  bool atStart = true;
  while (a0 < Width) {
    if (br.Exhausted()) return -1;
    uint32_t v = br.Peek();
    while (j > 0 && rc[j - 1] > a0) --j;
    while (rc[j] <= a0) ++j;
    if ((j & 1) != colour) ++j;
    int b1 = rc[j], b2 = rc[j + 1];
    int start = a0 < 0 ? 0 : a0;
    int d = 0;  // vertical offset a1 - b1
    enum { kV, kP, kH, kExt, kEolMode, kZeros } mode;
    if (v & 0x80000000u) mode = kV, d = 0, br.Pos += 1;
    else if ((v >> 29) == 1) mode = kH, br.Pos += 3;
    else if ((v >> 29) == 3) mode = kV, d = 1, br.Pos += 3;
    else if ((v >> 29) == 2) mode = kV, d = -1, br.Pos += 3;
    else if ((v >> 28) == 1) mode = kP, br.Pos += 4;
    else if ((v >> 26) == 3) mode = kV, d = 2, br.Pos += 6;
    else if ((v >> 26) == 2) mode = kV, d = -2, br.Pos += 6;
    else if ((v >> 25) == 3) mode = kV, d = 3, br.Pos += 7;
    else if ((v >> 25) == 2) mode = kV, d = -3, br.Pos += 7;
    else if ((v >> 22) == 0xF) mode = kExt, br.Pos += 10;
    else if ((v >> 20) == 0xF) mode = kExt, br.Pos += 12;
    else if (v == 0) mode = kZeros;
    else if (__builtin_clz(v) >= 11) mode = kEolMode;
    else return -1;
    switch (mode) {
      case kZeros: br.Pos += 32; continue;
      case kP:
        out.Paint(start, b2, colour);
        a0 = b2;
        break;
      case kV: {
        int a1 = b1 + d;
        if (a1 > Width) a1 = Width;
        if (a1 <= a0 || a1 < 0) return -1;
        out.Paint(start, a1, colour);
        a0 = a1;
        colour ^= 1;
        break;
      }
      case kH: {
        bool bad = false;
        int r1 = ReadRun(br, colour, bad);
        int r2 = r1 < 0 ? -1 : ReadRun(br, colour ^ 1, bad);
        if (bad) return -1;
        if (r1 < 0 || r2 < 0) break;  // the mode is dropped
        int64_t e1 = int64_t(start) + r1;
        if (e1 > Width) e1 = Width;
        int64_t e2 = e1 + r2;
        if (e2 > Width) e2 = Width;
        out.Paint(start, int(e1), colour);
        out.Paint(int(e1), int(e2), colour ^ 1);
        a0 = int(e2);
        break;
      }
      case kExt: {
        // Uncompressed mode from start.
        recorded = false;
        int p = start;
        for (;;) {
          if (br.Exhausted()) return -1;
          uint32_t u = br.Peek();
          int k = u ? __builtin_clz(u) + 1 : 33;
          if (k > 11) return -1;
          br.Pos += k;
          if (k <= 5) {
            p += k;
            if (p <= Width) ClearRun(Row, p - 1, p);
          } else if (k == 6) {
            p += 5;
          } else {
            p += k - 7;
            colour = (br.Peek() >> 31) ? 1 : 0;
            br.Pos += 1;
            break;
          }
          if (p > Width) p = Width;
        }
        if (p > Width) p = Width;
        a0 = p;
        break;
      }
      case kEolMode: {
        if (!atStart) {
          out.Paint(start, Width, colour);
          a0 = Width;
          break;
        }
        br.Pos += __builtin_clz(v) + 1;
        int tag = int(br.Peek() >> 31);
        br.Pos += 1;
        if (tag) {
          TBitReader line = br;  // a copy keeps br itself in registers
          if (!Decode1D(line, Row, Width)) return -1;
          std::memcpy(RefLine, Row, rowBytes);
          return line.Pos;
        }
        continue;  // still at the start of the line
      }
    }
    atStart = false;
  }
  if (br.Pos > br.Bits) return -1;
  std::memcpy(RefLine, Row, rowBytes);
  if (recorded && !out.Full) {
    out.Changes[out.Count] = out.Changes[out.Count + 1] = out.Changes[out.Count + 2] = Width;
    std::swap(cache.Changes, tCurChanges);
    cache.Bytes.assign(Row, Row + rowBytes);
    cache.Ref = RefLine;
    cache.Width = Width;
    cache.Valid = true;
  }
  return br.Pos;
}

void CCITTEncodeMHRow(const uint8_t* Row, int Width, TStream* Stream) {
  if (!Row || Width <= 0) return;
  TBitWriter bw(EncodeBuffer(), 0, 0);
  Encode1D(bw, Row, Width);
  bw.PadToByte();
  int pb;
  uint8_t pbyte;
  bw.Finish(Stream, pb, pbyte);
}

void CCITTEncodeG3Row(const uint8_t* Row, int Width, TStream* Stream, int& PendingBits, uint8_t& PendingByte,
                      bool Eol) {
  TBitWriter bw(EncodeBuffer(), PendingBits, PendingByte);
  if (!Row || Width <= 0) {
    bw.PadToByte();
  } else {
    if (Eol) bw.Put(kEol);
    Encode1D(bw, Row, Width);
  }
  bw.Finish(Stream, PendingBits, PendingByte);
}

void CCITTEncodeG3Row2D(const uint8_t* Row, int Width, TStream* Stream, const uint8_t*& RefRow, int& PendingBits,
                        uint8_t& PendingByte) {
  TBitWriter bw(EncodeBuffer(), PendingBits, PendingByte);
  if (!Row || Width <= 0) {
    bw.Put(kEol);
    bw.PadToByte();
  } else {
    bw.Put(kEol);
    if (!RefRow) {
      bw.Put(1, 1);
      Encode1D(bw, Row, Width);
    } else {
      bw.Put(0, 1);
      Encode2D(bw, Row, RefRow, Width);
    }
    RefRow = Row;
  }
  bw.Finish(Stream, PendingBits, PendingByte);
}

void CCITTEncodeG4Row(const uint8_t* Row, int Width, TStream* Stream, const uint8_t*& RefRow, int& PendingBits,
                      uint8_t& PendingByte) {
  TBitWriter bw(EncodeBuffer(), PendingBits, PendingByte);
  if (!Row || Width <= 0) {
    bw.Put(kEol);
    bw.Put(kEol);
    bw.PadToByte();
  } else {
    Encode2D(bw, Row, RefRow, Width);
    RefRow = Row;
  }
  bw.Finish(Stream, PendingBits, PendingByte);
}
