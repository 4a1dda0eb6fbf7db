#include <cstdlib>
#include <cstring>
#include <vector>

#include "corvelo/library/iconload_p.h"
#include "vistrel/base/byteorder.h"
#include "vistrel/codecs/ico.h"

namespace corvelo::lib {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct TEntry {
  uint8_t Raw[16];
  int Width = 0, Height = 0;
  int Depth = 0;  // bits per pixel, to choose between images of one size
  int64_t Data = 0;
};

// Bit count of the image's header, 32 for a PNG image, 0 when it can't be read.
int DepthAt(TStream* s, int64_t at) {
  uint8_t b[16];
  if (at < 0 || at > s->Size() - 16) return 0;
  s->SetPosition(at);
  if (s->Read(b, 16) != 16) return 0;
  if (std::memcmp(b, kPngSignature, 8) == 0) return 32;
  return VLGetLE16(b + 14);
}

bool ReadDirectory(TStream* s, bool cursor, std::vector<TEntry>& entries) {
  const int64_t start = s->Position();
  uint8_t h[6];
  if (s->Read(h, 6) != 6 || VLGetLE16(h) != 0 || VLGetLE16(h + 2) != (cursor ? 2 : 1)) return false;
  const int count = VLGetLE16(h + 4);
  if (count == 0 || start + 6 + int64_t(count) * 16 > s->Size()) return false;
  std::vector<uint8_t> raw(size_t(count) * 16);
  if (s->Read(raw.data(), int64_t(raw.size())) != int64_t(raw.size())) return false;
  entries.resize(size_t(count));
  for (int i = 0; i < count; ++i) {
    TEntry& e = entries[size_t(i)];
    std::memcpy(e.Raw, raw.data() + size_t(i) * 16, 16);
    e.Width = e.Raw[0] ? e.Raw[0] : 256;
    e.Height = e.Raw[1] ? e.Raw[1] : 256;
    e.Data = start + int64_t(VLGetLE32(e.Raw + 12));
    e.Depth = DepthAt(s, e.Data);
  }
  return true;
}

int Choose(const std::vector<TEntry>& entries, int width, int height) {
  int best = 0;
  int64_t bestDistance = -1;
  for (size_t i = 0; i < entries.size(); ++i) {
    const TEntry& e = entries[i];
    const int64_t d =
        width > 0 && height > 0 ? std::llabs(int64_t(e.Width) - width) + std::llabs(int64_t(e.Height) - height) : 0;
    if (bestDistance < 0 || d < bestDistance || (d == bestDistance && e.Depth > entries[size_t(best)].Depth)) {
      best = int(i);
      bestDistance = d;
    }
  }
  return best;
}

// Where the background shows through an image that the icon reader decoded from a bitmap
// entry: its AND mask (1: background), or the alpha channel of a 32-bit image that has one.
// Found the way the reader finds the colour rows; a mask cut short leaves the image opaque.
struct TTransparency {
  std::vector<uint8_t> Mask;  // bottom-up rows of MaskRow bytes
  int64_t MaskRow = 0;
  std::vector<uint8_t> Alpha;  // top-down, one byte a pixel
};

TTransparency ReadTransparency(TStream* s, const TEntry& e, bool cursor) {
  TTransparency t;
  uint8_t bi[40];
  s->SetPosition(e.Data);
  if (s->Read(bi, 40) != 40 || std::memcmp(bi, kPngSignature, 8) == 0) return t;
  const int w = e.Width, h = e.Height;
  int bits = VLGetLE16(bi + 14);
  if (bits == 0 && !cursor) bits = VLGetLE16(e.Raw + 6);
  if (bits == 0 && e.Raw[2] != 0) {
    bits = 1;
    while ((1 << bits) < e.Raw[2]) ++bits;
  }
  if (bits <= 0 || bits > 32) return t;
  int64_t paletteEntries = 0;
  if (bits <= 8) {
    const uint32_t used = VLGetLE32(bi + 32);
    paletteEntries = used >= 1 && used <= (1u << bits) ? used : 1 << bits;
  }
  const int64_t colourAt = e.Data + VLGetLE32(bi) + paletteEntries * 4;
  const int64_t colourRow = (int64_t(w) * bits + 31) / 32 * 4;
  const int64_t size = s->Size();
  if (bits == 32 && colourAt + colourRow * h <= size) {
    std::vector<uint8_t> rows(size_t(colourRow * h));
    s->SetPosition(colourAt);
    if (s->Read(rows.data(), int64_t(rows.size())) == int64_t(rows.size())) {
      t.Alpha.resize(size_t(w) * size_t(h));
      bool any = false;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const uint8_t a = rows[size_t((h - 1 - y) * colourRow + x * 4 + 3)];
          t.Alpha[size_t(y) * size_t(w) + size_t(x)] = a;
          any = any || a != 0;
        }
      if (any) return t;
      t.Alpha.clear();  // no alpha channel: the mask decides
    }
  }
  t.MaskRow = (int64_t(w) + 31) / 32 * 4;
  const int64_t maskAt = colourAt + colourRow * h;
  if (maskAt + t.MaskRow * h > size) return TTransparency{};
  t.Mask.resize(size_t(t.MaskRow * h));
  s->SetPosition(maskAt);
  if (s->Read(t.Mask.data(), int64_t(t.Mask.size())) != int64_t(t.Mask.size())) return TTransparency{};
  return t;
}

}  // namespace

bool VLLoadIconAtSize(TStream* Stream, bool Cursor, int Width, int Height, TColor Background, TBitmap* Bitmap) {
  if (!Stream || !Bitmap) return false;
  const int64_t start = Stream->Position();
  std::vector<TEntry> entries;
  if (!ReadDirectory(Stream, Cursor, entries)) return false;
  const int chosen = Choose(entries, Width, Height);
  const TEntry& entry = entries[size_t(chosen)];

  // The image through the editor's icon reader; a PNG image is composited over the
  // background by the PNG reader.
  ::TIOParamsVals params(nullptr);
  if (Cursor) params.CURImageIndex = chosen;
  else params.ICOImageIndex = chosen;
  const TRGB background = ColorToTriple(Background);
  params.PNGBackground = background;
  TBitmap image;
  bool abort = false;
  TFilterProgress progress;
  progress.AbortFlag = &abort;
  Stream->SetPosition(start);
  if (Cursor) ReadCURStream(Stream, &image, params, progress, false);
  else ReadICOStream(Stream, &image, params, progress, false);
  if (abort || image.Empty()) return false;
  image.SetPixelFormat(pf24bit);
  const TTransparency t = ReadTransparency(Stream, entry, Cursor);

  const int sw = image.Width(), sh = image.Height();
  const int tw = Width > 0 && Height > 0 ? Width : sw;
  const int th = Width > 0 && Height > 0 ? Height : sh;
  // The mask and alpha describe the entry's size, which is the image's for bitmap entries.
  const bool masked = !t.Mask.empty() && sw == entry.Width && sh == entry.Height;
  const bool alpha = !t.Alpha.empty() && sw == entry.Width && sh == entry.Height;
  Bitmap->SetSize(1, 1);
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(tw, th);
  for (int y = 0; y < th; ++y) {
    const int sy = int(int64_t(y) * sh / th);
    const uint8_t* src = image.ScanLine(sy);
    const uint8_t* mask = masked ? t.Mask.data() + size_t(int64_t(sh - 1 - sy) * t.MaskRow) : nullptr;
    const uint8_t* a = alpha ? t.Alpha.data() + size_t(sy) * size_t(sw) : nullptr;
    uint8_t* dst = Bitmap->ScanLine(y);
    for (int x = 0; x < tw; ++x) {
      const int sx = int(int64_t(x) * sw / tw);
      const uint8_t* c = src + sx * 3;
      uint8_t* d = dst + x * 3;
      const uint8_t bg[3] = {background.B, background.G, background.R};
      for (int k = 0; k < 3; ++k) {
        if (a) d[k] = uint8_t((c[k] * a[sx] + bg[k] * (255 - a[sx]) + 127) / 255);
        else if (mask && ((mask[sx >> 3] >> (7 - (sx & 7))) & 1)) d[k] = uint8_t(bg[k] ^ c[k]);
        else d[k] = c[k];
      }
    }
  }
  return true;
}

}  // namespace corvelo::lib
