#include "vistrel/codecs/avi.h"

#include <algorithm>
#include <exception>
#include <new>

#include "vistrel/proc/kernels/packeddib.h"

namespace {

constexpr int64_t kChunkHeader = 8;
constexpr int64_t kListHeader = 12;
constexpr int64_t kInfoHeaderSize = 40;
// Bytes of a stream header up to and with its frame count.
constexpr int64_t kStreamHeaderNeeded = 36;
// A picture format is a header, a colour table of at most 256 entries and masks: far below this.
constexpr int64_t kMaxFormatBytes = 64 * 1024;
// Palette changes: 4 bytes of head and at most 256 entries of 4 bytes.
constexpr int64_t kMaxPaletteChange = 4 + 256 * 4;
// Two-digit stream numbers name the chunks of a stream.
constexpr int kMaxStreams = 100;
// Lists of frames ("rec ") inside the frame list; deeper nesting is passed over.
constexpr size_t kMaxListDepth = 8;
constexpr uint32_t kBiRGB = 0;

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
bool Is(const uint8_t* p, const char (&code)[5]) {
  return p[0] == code[0] && p[1] == code[1] && p[2] == code[2] && p[3] == code[3];
}

// Chunks are padded to an even length.
int64_t NextChunk(int64_t pos, uint32_t size) { return pos + kChunkHeader + int64_t(size) + (size & 1); }

bool ReadAt(TStream* s, int64_t pos, void* buffer, int64_t count) {
  if (s->Seek(pos, soBeginning) != pos) return false;
  return s->Read(buffer, count) == count;
}

}  // namespace

bool TAVIReader::Fail(const std::string& reason) {
  FReason = reason;
  FDone = true;
  return false;
}

bool TAVIReader::Open(TStream* Stream) {
  FStream = Stream;
  if (!Stream) return Fail("no stream");
  FSize = Stream->Size();
  const int64_t base = Stream->Position();
  uint8_t h[kListHeader];
  if (base < 0 || FSize - base < kListHeader || !ReadAt(Stream, base, h, kListHeader) || !Is(h, "RIFF") ||
      !Is(h + 8, "AVI "))
    return Fail("not an AVI file");
  FFormEnd = std::min(base + kChunkHeader + int64_t(U32(h + 4)), FSize);

  bool header = false;
  int64_t moviPos = -1, moviEnd = 0;
  for (int64_t pos = base + kListHeader; pos + kChunkHeader <= FFormEnd;) {
    uint8_t c[kListHeader];
    if (!ReadAt(Stream, pos, c, kChunkHeader)) break;
    const uint32_t size = U32(c + 4);
    if (Is(c, "LIST") && size >= 4 && pos + kListHeader <= FFormEnd && ReadAt(Stream, pos + 8, c + 8, 4)) {
      const int64_t end = std::min(pos + kChunkHeader + int64_t(size), FFormEnd);
      if (Is(c + 8, "hdrl") && !header) {
        header = true;
        if (!ReadHeaderList(pos + kListHeader, end)) return false;
      } else if (Is(c + 8, "movi")) {
        moviPos = pos + kListHeader;
        moviEnd = end;
        break;
      }
    }
    pos = NextChunk(pos, size);
  }
  if (!header) return Fail("no header list");
  if (FStreamIndex < 0) return Fail("no video stream");
  if (int64_t(FFormat.size()) < kInfoHeaderSize) return Fail("no picture format");
  if (moviPos < 0) return Fail("no frame list");
  FPos = moviPos;
  FLists.assign(1, TList{moviEnd});
  return true;
}

bool TAVIReader::ReadHeaderList(int64_t pos, int64_t end) {
  while (pos + kChunkHeader <= end) {
    uint8_t c[kListHeader];
    if (!ReadAt(FStream, pos, c, kChunkHeader)) break;
    const uint32_t size = U32(c + 4);
    const int64_t chunkEnd = std::min(pos + kChunkHeader + int64_t(size), end);
    if (Is(c, "avih") && chunkEnd - pos - kChunkHeader >= 4) {
      uint8_t v[4];
      if (ReadAt(FStream, pos + kChunkHeader, v, 4)) FMicroSecPerFrame = U32(v);
    } else if (Is(c, "LIST") && chunkEnd - pos >= kListHeader && ReadAt(FStream, pos + 8, c + 8, 4) &&
               Is(c + 8, "strl")) {
      if (!ReadStreamList(pos + kListHeader, chunkEnd, FStreamCount++)) return false;
    }
    pos = NextChunk(pos, size);
  }
  return true;
}

bool TAVIReader::ReadStreamList(int64_t pos, int64_t end, int index) {
  uint8_t strh[kStreamHeaderNeeded];
  bool haveHeader = false;
  int64_t formatPos = -1, formatSize = 0;
  while (pos + kChunkHeader <= end) {
    uint8_t c[kChunkHeader];
    if (!ReadAt(FStream, pos, c, kChunkHeader)) break;
    const uint32_t size = U32(c + 4);
    const int64_t avail = std::min(pos + kChunkHeader + int64_t(size), end) - pos - kChunkHeader;
    if (Is(c, "strh") && !haveHeader && avail >= kStreamHeaderNeeded)
      haveHeader = ReadAt(FStream, pos + kChunkHeader, strh, kStreamHeaderNeeded);
    else if (Is(c, "strf") && formatPos < 0) {
      formatPos = pos + kChunkHeader;
      formatSize = avail;
    }
    pos = NextChunk(pos, size);
  }
  if (!haveHeader || !Is(strh, "vids") || FStreamIndex >= 0 || index >= kMaxStreams) return true;
  // The first video stream: its format decides whether any frame can be read.
  FStreamIndex = index;
  FScale = U32(strh + 20);
  FRate = U32(strh + 24);
  FLength = U32(strh + 32);
  if (formatPos < 0 || formatSize < kInfoHeaderSize) return Fail("no picture format");
  if (formatSize > kMaxFormatBytes) return Fail("picture format too large");
  FFormat.resize(size_t(formatSize));
  if (!ReadAt(FStream, formatPos, FFormat.data(), formatSize)) return Fail("truncated file");
  return true;
}

int32_t TAVIReader::FrameDelay() const {
  if (FRate != 0 && FScale != 0) return TruncInt(1.0L / ((long double)FRate / FScale) * 1000);
  if (FMicroSecPerFrame != 0) return TruncInt(FMicroSecPerFrame / 1000.0L);
  return 0;
}

bool TAVIReader::FindMovie(int64_t pos, int64_t end, int64_t& moviPos, int64_t& moviEnd) {
  while (pos + kListHeader <= end) {
    uint8_t c[kListHeader];
    if (!ReadAt(FStream, pos, c, kListHeader)) return false;
    const uint32_t size = U32(c + 4);
    if (Is(c, "LIST") && size >= 4 && Is(c + 8, "movi")) {
      moviPos = pos + kListHeader;
      moviEnd = std::min(pos + kChunkHeader + int64_t(size), end);
      return true;
    }
    pos = NextChunk(pos, size);
  }
  return false;
}

bool TAVIReader::NextExtendedForm() {
  // Files past the first form's size go on in forms of their own ("AVIX").
  int64_t pos = FFormEnd + (FFormEnd & 1);
  uint8_t h[kListHeader];
  while (pos + kListHeader <= FSize && ReadAt(FStream, pos, h, kListHeader) && Is(h, "RIFF")) {
    const int64_t end = std::min(pos + kChunkHeader + int64_t(U32(h + 4)), FSize);
    FFormEnd = end;
    int64_t moviPos = 0, moviEnd = 0;
    if (Is(h + 8, "AVIX") && FindMovie(pos + kListHeader, end, moviPos, moviEnd)) {
      FPos = moviPos;
      FLists.assign(1, TList{moviEnd});
      return true;
    }
    pos = end + (end & 1);
  }
  return false;
}

void TAVIReader::ApplyPaletteChange(const std::vector<uint8_t>& change) {
  // First entry, entry count (0: 256), flags, then red, green, blue, flags per entry.
  if (change.size() < 4) return;
  const int first = change[0];
  const int count = change[1] ? change[1] : 256;
  const int64_t headerSize = U32(FFormat.data());
  const int bits = U16(FFormat.data() + 14);
  const uint32_t clrUsed = U32(FFormat.data() + 32);
  if (U32(FFormat.data() + 16) != kBiRGB || bits < 1 || bits > 8 || headerSize > int64_t(FFormat.size())) return;
  const int64_t entries =
      std::min<int64_t>(clrUsed ? clrUsed : int64_t(1) << bits, (int64_t(FFormat.size()) - headerSize) / 4);
  for (int i = 0; i < count && 4 + 4 * int64_t(i) + 4 <= int64_t(change.size()); ++i) {
    if (first + i >= entries) break;
    const uint8_t* e = change.data() + 4 + 4 * i;
    uint8_t* t = FFormat.data() + headerSize + 4 * int64_t(first + i);
    t[0] = e[2];
    t[1] = e[1];
    t[2] = e[0];
  }
}

int TAVIReader::ReadFrame(TBitmap* Bitmap) {
  if (FDone || !FStream || !Bitmap) return 0;
  const char tens = char('0' + FStreamIndex / 10), ones = char('0' + FStreamIndex % 10);
  // A frame takes at most 4 bytes per pixel where the picture stores 3, so a frame that needs
  // more than this can't make a picture under the limit.
  const int64_t cap = TBitmap::MaxBytes() / 3 * 4 + 64;
  for (;;) {
    if (FLists.empty()) {
      if (NextExtendedForm()) continue;
      Fail("no more frames");
      return 0;
    }
    const int64_t end = FLists.back().End;
    if (FPos + kChunkHeader > end) {
      FPos = std::max(FPos, end);
      FLists.pop_back();
      continue;
    }
    uint8_t c[kListHeader];
    if (!ReadAt(FStream, FPos, c, kChunkHeader)) {
      Fail("truncated file");
      return 0;
    }
    const uint32_t size = U32(c + 4);
    const int64_t chunkEnd = FPos + kChunkHeader + int64_t(size);
    const int64_t next = NextChunk(FPos, size);
    if (Is(c, "LIST")) {
      if (size >= 4 && FLists.size() < kMaxListDepth && ReadAt(FStream, FPos + 8, c + 8, 4) && Is(c + 8, "rec ")) {
        FLists.push_back(TList{std::min(chunkEnd, end)});
        FPos += kListHeader;
      } else {
        FPos = next;
      }
      continue;
    }
    const bool ours = c[0] == tens && c[1] == ones;
    if (ours && c[2] == 'd' && (c[3] == 'b' || c[3] == 'c')) {
      if (chunkEnd > end) {
        Fail("truncated file");
        return 0;
      }
      FPos = next;
      if (size == 0) continue;
      const int64_t n = std::min<int64_t>(size, cap);
      std::vector<uint8_t> data;
      try {
        data.resize(size_t(n));
      } catch (const std::bad_alloc&) {
        Fail("out of memory");
        return 0;
      }
      if (!ReadAt(FStream, chunkEnd - size, data.data(), n)) {
        Fail("truncated file");
        return 0;
      }
      int bits = 0;
      try {
        bits = VLPackedDIBToBitmap(FFormat.data(), Bitmap, data.data(), true, int64_t(FFormat.size()), n);
      } catch (const std::exception&) {
        bits = 0;
      }
      if (bits == 0) {
        Fail("frame format not readable");
        return 0;
      }
      ++FFramesRead;
      return bits;
    }
    if (ours && c[2] == 'p' && c[3] == 'c' && chunkEnd <= end) {
      std::vector<uint8_t> change(size_t(std::min<int64_t>(size, kMaxPaletteChange)));
      if (ReadAt(FStream, FPos + kChunkHeader, change.data(), int64_t(change.size()))) ApplyPaletteChange(change);
    }
    FPos = next;
  }
}
