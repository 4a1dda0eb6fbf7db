// Helpers of the BMP tests: reference pictures and the pixels of a bitmap as colours.
#pragma once
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/bmp.h"

struct TRefImage {
  int Width = 0, Height = 0;
  std::vector<uint8_t> RGB;  // red, green, blue, rows top-down
  bool Ok() const { return Width > 0; }
};

// A PNG through libpng's simplified interface, alpha dropped.
inline TRefImage LoadPNG(const std::string& path) {
  TRefImage r;
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return r;
  img.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, rgba.data(), 0, nullptr)) return r;
  r.Width = int(img.width);
  r.Height = int(img.height);
  r.RGB.resize(size_t(r.Width) * r.Height * 3);
  for (size_t i = 0; i < size_t(r.Width) * r.Height; ++i) std::memcpy(&r.RGB[i * 3], &rgba[i * 4], 3);
  return r;
}

// A binary PPM (P6, maxval 255) or PGM (P5).
inline TRefImage LoadPNM(const std::string& path) {
  TRefImage r;
  std::ifstream f(path, std::ios::binary);
  if (!f) return r;
  std::string magic;
  int w = 0, h = 0, maxv = 0;
  f >> magic >> w >> h >> maxv;
  f.get();
  if ((magic != "P6" && magic != "P5") || maxv != 255 || w <= 0 || h <= 0) return r;
  int ch = magic == "P6" ? 3 : 1;
  std::vector<uint8_t> raw(size_t(w) * h * ch);
  f.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size()));
  if (!f) return r;
  r.Width = w;
  r.Height = h;
  r.RGB.resize(size_t(w) * h * 3);
  for (size_t i = 0; i < size_t(w) * h; ++i)
    for (int c = 0; c < 3; ++c) r.RGB[i * 3 + c] = raw[i * ch + (ch == 3 ? c : 0)];
  return r;
}

// The colours of a bitmap read by the codec: 24-bit pixels as they are; 1-bit pixels through
// the colour map read, unless that map is black and white (then bit 1 is white).
inline TRefImage Render(TBitmap& b, const TIOParamsVals& p) {
  TRefImage r;
  r.Width = b.Width();
  r.Height = b.Height();
  r.RGB.resize(size_t(r.Width) * r.Height * 3);
  TRGB c0{0, 0, 0}, c1{255, 255, 255};
  if (b.PixelFormat() == pf1bit && p.ColorMapCount == 2) {
    TRGB a = p.ColorMap[0], z = p.ColorMap[1];
    bool bw = (a == TRGB{0, 0, 0} && z == TRGB{255, 255, 255}) || (a == TRGB{255, 255, 255} && z == TRGB{0, 0, 0});
    if (!bw) c0 = a, c1 = z;
  }
  for (int y = 0; y < r.Height; ++y) {
    const uint8_t* s = b.ScanLine(y);
    for (int x = 0; x < r.Width; ++x) {
      uint8_t* d = &r.RGB[(size_t(y) * r.Width + x) * 3];
      if (b.PixelFormat() == pf1bit) {
        const TRGB& c = (s[x >> 3] & (0x80 >> (x & 7))) ? c1 : c0;
        d[0] = c.R, d[1] = c.G, d[2] = c.B;
      } else {
        d[0] = s[x * 3 + 2], d[1] = s[x * 3 + 1], d[2] = s[x * 3];
      }
    }
  }
  return r;
}

// Empty when equal (within tolerance per channel), else where they first differ.
inline std::string Compare(const TRefImage& got, const TRefImage& want, int tolerance = 0) {
  if (got.Width != want.Width || got.Height != want.Height) {
    std::ostringstream o;
    o << "size " << got.Width << "x" << got.Height << " want " << want.Width << "x" << want.Height;
    return o.str();
  }
  for (size_t i = 0; i < got.RGB.size(); ++i)
    if (std::abs(int(got.RGB[i]) - int(want.RGB[i])) > tolerance) {
      size_t px = i / 3;
      std::ostringstream o;
      o << "pixel " << px % size_t(got.Width) << "," << px / size_t(got.Width) << " channel " << i % 3 << ": "
        << int(got.RGB[i]) << " want " << int(want.RGB[i]);
      return o.str();
    }
  return "";
}

// A reference of full-range channels as this reader gives channels of fewer bits: the
// channel's bits kept as the top bits of the byte (5 bits: v x 8). Bits of 8 or more stay.
inline TRefImage TopBits(TRefImage r, int redBits, int greenBits, int blueBits) {
  const int bits[3] = {redBits, greenBits, blueBits};
  for (size_t i = 0; i < r.RGB.size(); ++i) {
    int n = bits[i % 3];
    if (n < 8) r.RGB[i] = uint8_t(r.RGB[i] >> (8 - n) << (8 - n));
  }
  return r;
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Reads a BMP held in memory; true when the abort flag stayed clear.
inline bool ReadBMPBytes(const std::vector<uint8_t>& bytes, TBitmap& b, TIOParamsVals& p, bool paramsOnly = false,
                         TProgressEvent onProgress = nullptr, std::string* reason = nullptr) {
  TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  pr.OnProgress = std::move(onProgress);
  ReadBMPStream(&s, &b, p, 0, pr, paramsOnly);
  if (reason) *reason = pr.AbortReason;
  return !abort;
}

// A BMP put together byte by byte.
struct TBMPBuilder {
  std::vector<uint8_t> B;
  void U8(int v) { B.push_back(uint8_t(v)); }
  void U16(int v) { U8(v & 255), U8((v >> 8) & 255); }
  void U32(int64_t v) { U16(int(v & 0xFFFF)), U16(int((v >> 16) & 0xFFFF)); }
  void FileHeader(int64_t size, int64_t offset) { U8('B'), U8('M'), U32(size), U32(0), U32(offset); }
  // A Windows header of headerSize bytes (40 or more; the extra bytes zero).
  void Info(int headerSize, int w, int h, int bits, int comp, int clrUsed, int ppm = 2835) {
    U32(headerSize), U32(w), U32(h), U16(1), U16(bits), U32(comp), U32(0), U32(ppm), U32(ppm), U32(clrUsed), U32(0);
    for (int i = 40; i < headerSize; ++i) U8(0);
  }
  void Pal(std::initializer_list<TRGB> cs) {
    for (auto c : cs) U8(c.B), U8(c.G), U8(c.R), U8(0);
  }
  void Finish() {  // file size and, when it is 0, nothing else
    int64_t n = int64_t(B.size());
    for (int i = 0; i < 4; ++i) B[size_t(2 + i)] = uint8_t(n >> (8 * i));
  }
};
