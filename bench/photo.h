// The photo-like picture of the side-by-side and editor benchmarks.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/core/bitmap.h"

// Smooth shading in every channel, a dozen hard-edged discs and bars, and grain whose strength
// changes across the picture: runs are rare, as in a photograph, and JPEG gets real detail.
inline void MakePhoto(TBitmap& b, int W, int H) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(W, H);
  std::vector<float> sx(W), cx(W), sy(H), cy(H), diag(W + H);
  for (int x = 0; x < W; ++x) sx[x] = float(std::sin(x * 0.0011 + 0.5)), cx[x] = float(std::cos(x * 0.0023));
  for (int y = 0; y < H; ++y) sy[y] = float(std::sin(y * 0.0009)), cy[y] = float(std::cos(y * 0.0017 + 1.0));
  for (int i = 0; i < W + H; ++i) diag[i] = float(std::sin(i * 0.004));
  struct TDisc {
    int X, Y, R, Shift[3];
  } discs[12];
  uint32_t s = 2024;
  auto next = [&s](int n) {
    s = s * 1664525u + 1013904223u;
    return int((s >> 8) % uint32_t(n));
  };
  for (TDisc& d : discs) {
    d.X = next(W), d.Y = next(H), d.R = 80 + next(600);
    for (int& c : d.Shift) c = next(160) - 80;
  }
  for (int y = 0; y < H; ++y) {
    uint8_t* p = b.ScanLine(y);
    const bool bar = (y / 400) % 3 == 1;
    for (int x = 0; x < W; ++x, p += 3) {
      float v[3] = {128 + 70 * sx[x] * cy[y] + 40 * diag[x + y], 120 + 60 * cx[x] * sy[y] + 30 * diag[x + y],
                    110 + 80 * sy[y] * sx[x] - 25 * diag[W + H - 1 - x - y]};
      for (const TDisc& d : discs) {
        const int64_t dx = x - d.X, dy = y - d.Y;
        if (dx * dx + dy * dy < int64_t(d.R) * d.R)
          for (int c = 0; c < 3; ++c) v[c] += float(d.Shift[c]);
      }
      if (bar && x % 1500 < 200) v[0] = v[1] = v[2] = 30;
      const float grain = 3 + 9 * (0.5f + 0.5f * cx[x] * sy[y]);
      s = s * 1664525u + 1013904223u;
      const float n = (float(s >> 24) / 255.0f - 0.5f) * 2 * grain;
      for (int c = 0; c < 3; ++c) p[2 - c] = uint8_t(std::clamp(v[c] + n, 0.0f, 255.0f));
    }
  }
}

