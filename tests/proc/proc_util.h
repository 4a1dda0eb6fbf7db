// Small helpers of the processing tests: pictures from PPM/PBM fixtures, pixel access.
#pragma once
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

namespace proctest {

inline std::unique_ptr<TBitmap> New24(int w, int h) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  return b;
}

inline std::unique_ptr<TBitmap> New1(int w, int h) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf1bit);
  b->SetSize(w, h);
  return b;
}

inline TRGB Px(TBitmap* b, int x, int y) {
  const uint8_t* p = b->ScanLine(y) + 3 * x;
  return TRGB{p[0], p[1], p[2]};
}
inline void SetPx(TBitmap* b, int x, int y, int r, int g, int bl) {
  uint8_t* p = b->ScanLine(y) + 3 * x;
  p[0] = uint8_t(bl);
  p[1] = uint8_t(g);
  p[2] = uint8_t(r);
}
inline TRGB Rgb(int r, int g, int b) { return TRGB{uint8_t(b), uint8_t(g), uint8_t(r)}; }
inline int Bit(TBitmap* b, int x, int y) { return (b->ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1; }

inline void Fill(TBitmap* b, int r, int g, int bl) {
  for (int y = 0; y < b->Height(); ++y)
    for (int x = 0; x < b->Width(); ++x) SetPx(b, x, y, r, g, bl);
}

// Binary PPM (P6) as pf24bit, binary PBM (P4) as pf1bit (PBM's 1 is black, ours white).
inline std::unique_ptr<TBitmap> LoadPnm(const std::string& name) {
  std::ifstream f(std::string(VL_TESTDATA) + "/proc/" + name, std::ios::binary);
  if (!f) return nullptr;
  std::string magic;
  int w = 0, h = 0, maxv = 1;
  f >> magic >> w >> h;
  if (magic == "P6") f >> maxv;
  f.get();
  if (magic == "P6") {
    auto b = New24(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        unsigned char c[3];
        f.read(reinterpret_cast<char*>(c), 3);
        SetPx(b.get(), x, y, c[0], c[1], c[2]);
      }
    return b;
  }
  auto b = New1(w, h);
  const int rb = (w + 7) / 8;
  for (int y = 0; y < h; ++y) {
    std::vector<char> row(static_cast<size_t>(rb));
    f.read(row.data(), rb);
    for (int x = 0; x < w; ++x)
      if (!((uint8_t(row[size_t(x >> 3)]) >> (7 - (x & 7))) & 1)) b->ScanLine(y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
  return b;
}

// Same size, format and pixels (padding ignored).
inline bool SamePixels(TBitmap* a, TBitmap* b) {
  if (a->Width() != b->Width() || a->Height() != b->Height() || a->PixelFormat() != b->PixelFormat()) return false;
  for (int y = 0; y < a->Height(); ++y)
    for (int x = 0; x < a->Width(); ++x) {
      if (a->PixelFormat() == pf1bit) {
        if (Bit(a, x, y) != Bit(b, x, y)) return false;
      } else if (!(Px(a, x, y) == Px(b, x, y))) {
        return false;
      }
    }
  return true;
}

// Collects progress values.
struct Recorder {
  std::vector<int> Values;
  TProgressEvent Event() {
    return [this](TObject*, int p) { Values.push_back(p); };
  }
};

}  // namespace proctest
