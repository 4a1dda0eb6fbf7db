// Shared helpers of the PCX, GIF and icon tests.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

namespace pcxgif {

inline std::string Data(const std::string& name) { return std::string(VL_TESTDATA) + "/pcxgif/" + name; }

struct TPpm {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Rgb;  // red, green, blue
  bool Ok() const { return Width > 0; }
};

// Binary PPM (P6) or PGM (P5) with a maxval of 255.
inline TPpm ReadPpm(const std::string& file) {
  TPpm p;
  std::ifstream f(file, std::ios::binary);
  std::string magic;
  int maxval = 0;
  f >> magic;
  auto next = [&](int& v) {
    f >> std::ws;
    while (f.peek() == '#') {
      std::string line;
      std::getline(f, line);
      f >> std::ws;
    }
    f >> v;
  };
  next(p.Width);
  next(p.Height);
  next(maxval);
  f.get();
  if ((magic != "P6" && magic != "P5") || maxval != 255 || !f) return TPpm{};
  const size_t n = size_t(p.Width) * size_t(p.Height);
  std::vector<uint8_t> raw(magic == "P6" ? n * 3 : n);
  f.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size()));
  if (magic == "P6") {
    p.Rgb = raw;
  } else {
    p.Rgb.resize(n * 3);
    for (size_t i = 0; i < n; ++i) p.Rgb[i * 3] = p.Rgb[i * 3 + 1] = p.Rgb[i * 3 + 2] = raw[i];
  }
  return p;
}

// Pixel of a pf1bit (0 black, 1 white) or pf24bit bitmap as red, green, blue.
inline void PixelRgb(TBitmap* b, int x, int y, uint8_t rgb[3]) {
  const uint8_t* row = b->ScanLine(y);
  if (b->PixelFormat() == pf1bit) {
    rgb[0] = rgb[1] = rgb[2] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
  } else {
    rgb[0] = row[x * 3 + 2];
    rgb[1] = row[x * 3 + 1];
    rgb[2] = row[x * 3];
  }
}

// Number of pixels that differ (or -1 when the sizes differ).
inline int64_t Differences(TBitmap* b, const TPpm& p) {
  if (b->Width() != p.Width || b->Height() != p.Height) return -1;
  int64_t bad = 0;
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < p.Width; ++x) {
      uint8_t c[3];
      PixelRgb(b, x, y, c);
      const uint8_t* r = &p.Rgb[(size_t(y) * size_t(p.Width) + size_t(x)) * 3];
      if (c[0] != r[0] || c[1] != r[1] || c[2] != r[2]) ++bad;
    }
  return bad;
}

inline int64_t Differences(TBitmap* a, TBitmap* b) {
  if (a->Width() != b->Width() || a->Height() != b->Height()) return -1;
  int64_t bad = 0;
  for (int y = 0; y < a->Height(); ++y)
    for (int x = 0; x < a->Width(); ++x) {
      uint8_t c[3], d[3];
      PixelRgb(a, x, y, c);
      PixelRgb(b, x, y, d);
      if (c[0] != d[0] || c[1] != d[1] || c[2] != d[2]) ++bad;
    }
  return bad;
}

inline std::vector<uint8_t> ReadAll(const std::string& file) {
  std::ifstream f(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}
inline void WriteAll(const std::string& file, const std::vector<uint8_t>& d) {
  std::ofstream f(file, std::ios::binary);
  f.write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
}
inline std::vector<uint8_t> Bytes(TMemoryStream& m) {
  const uint8_t* p = static_cast<const uint8_t*>(m.Memory());
  return std::vector<uint8_t>(p, p + m.Size());
}

// A folder of its own under the build tree for files the tests write.
inline std::string TempDir() {
  std::string d = std::string(VL_BUILD_DIR) + "/pcxgif-tmp";
  std::string cmd = "mkdir -p '" + d + "'";
  if (std::system(cmd.c_str()) != 0) return "/tmp";
  return d;
}

inline bool HaveTool(const std::string& path) { return std::ifstream(path).good(); }
inline bool HavePillow() {
  return HaveTool("/usr/bin/python3") && std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
}
inline bool RunTool(const std::string& cmd) { return std::system(("(" + cmd + ") >/dev/null 2>&1").c_str()) == 0; }

// A progress record with an abort flag of its own.
struct TTestProgress {
  bool Abort = false;
  TFilterProgress P;
  TTestProgress() { P.AbortFlag = &Abort; }
};

// Fills a 24-bit bitmap with a pattern of many colours.
inline void Pattern24(TBitmap& b, int w, int h) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[x * 3] = uint8_t(x * 13 + y);
      row[x * 3 + 1] = uint8_t(y * 29);
      row[x * 3 + 2] = uint8_t(x * y + 7);
    }
  }
}

}  // namespace pcxgif
