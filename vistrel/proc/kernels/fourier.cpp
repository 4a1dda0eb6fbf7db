#include "vistrel/proc/kernels/fourier.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "vistrel/proc/kernels/color.h"

namespace {

constexpr double kTwoPi = 6.283185307179587;
// Sequences transformed together: one butterfly step runs across all of them at once.
constexpr int kLanes = 8;

inline uint8_t ClampByte(int64_t v) { return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v); }

}  // namespace

TVLFtImage::~TVLFtImage() { ClearPlanes(); }

void TVLFtImage::ClearPlanes() {
  for (auto& p : FPlanes) p.reset();
}

std::unique_ptr<TVLFtImage::TPlane> TVLFtImage::NewPlane() const {
  return std::make_unique<TPlane>(size_t(int64_t(FSide) * FSide * 2), 0.0f);
}

float* TVLFtImage::Row(int Plane, int y) {
  if (Plane < 0 || Plane > 3 || !FPlanes[Plane] || y < 0 || y >= FSide) return nullptr;
  return FPlanes[Plane]->data() + int64_t(y) * FSide * 2;
}

void TVLFtImage::SetSize(int N) {
  if (N < 1) N = 1;
  FN = N;
  FLog2N = int(Trunc(std::log((long double)N) / std::log(2.0L) + 0.5L));
  FScale = float(1 / std::sqrt((long double)N));
  FSinTable.assign(size_t(N), 0);
  FBitReverse.assign(size_t(N), 0);
  FPowers.assign(size_t(FLog2N) + 1, 0);
  for (int i = 0; i < N; ++i) {
    FSinTable[size_t(i)] = std::sin(kTwoPi * i / N);
    int r = 0;
    for (int b = 0; b < FLog2N; ++b)
      if (i & (1 << b)) r |= 1 << (FLog2N - 1 - b);
    FBitReverse[size_t(i)] = r;
  }
  for (int i = 0; i <= FLog2N; ++i) FPowers[size_t(i)] = 1 << i;
}

void TVLFtImage::Assign(const TVLFtImage* Source) {
  if (!Source || Source == this) return;
  ClearPlanes();
  FSide = Source->FSide;
  FNormalise = Source->FNormalise;
  if (FSide > 0) SetSize(FSide);
  FOffsetX = Source->FOffsetX;
  FOffsetY = Source->FOffsetY;
  FSourceWidth = Source->FSourceWidth;
  FSourceHeight = Source->FSourceHeight;
  OnProgress = Source->OnProgress;
  FMode = Source->FMode;
  for (int i = 0; i < 4; ++i)
    if (Source->FPlanes[i]) FPlanes[i] = std::make_unique<TPlane>(*Source->FPlanes[i]);
}

// The butterflies of every depth, then the bit-reversed reordering, then the scale, on
// Lanes sequences at once. Each depth's blocks are independent, so taking them depth by
// depth gives what the depth-first recursion gives. The twiddle of a block is
// cos(2 pi k / N) + i x sign x sin(2 pi k / N), k the bit reversal of start div half; the
// product with it is taken in double and rounded to single, sums in single.
template <int Lanes>
void TVLFtImage::FFTLanes(float* Re, float* Im, float Sign) const {
  const int N = FN;
  const double sign = Sign == 1 ? 1.0 : -1.0;
  for (int depth = 1; depth <= FLog2N; ++depth) {
    const int half = N >> depth;
    for (int start = 0; start < N; start += 2 * half) {
      const int k = FBitReverse[size_t(start / half)];
      // A quarter turn on from sin is cos, but a side of 2 has no quarter in its table.
      const double wr = N >= 4 ? FSinTable[size_t((k + N / 4) % N)] : std::cos(kTwoPi * k / N);
      const double wi = sign * FSinTable[size_t(k)];
      for (int m = 0; m < half; ++m) {
        float* __restrict ar = Re + int64_t(start + m) * Lanes;
        float* __restrict ai = Im + int64_t(start + m) * Lanes;
        float* __restrict br = Re + int64_t(start + m + half) * Lanes;
        float* __restrict bi = Im + int64_t(start + m + half) * Lanes;
        for (int l = 0; l < Lanes; ++l) {
          const double xr = br[l], xi = bi[l];
          const float tr = float(xr * wr - xi * wi);
          const float ti = float(xr * wi + xi * wr);
          const float pr = ar[l], pi = ai[l];
          ar[l] = pr + tr;
          ai[l] = pi + ti;
          br[l] = pr - tr;
          bi[l] = pi - ti;
        }
      }
    }
  }
  for (int i = 0; i < N; ++i) {
    const int j = FBitReverse[size_t(i)];
    if (i <= j) continue;
    float* a = Re + int64_t(i) * Lanes;
    float* b = Re + int64_t(j) * Lanes;
    float* c = Im + int64_t(i) * Lanes;
    float* d = Im + int64_t(j) * Lanes;
    for (int l = 0; l < Lanes; ++l) {
      std::swap(a[l], b[l]);
      std::swap(c[l], d[l]);
    }
  }
  const float scale = FScale;
  for (int64_t i = 0; i < int64_t(N) * Lanes; ++i) {
    Re[i] *= scale;
    Im[i] *= scale;
  }
}

// Every row, then every column (progress after each column), one group of lanes at a time.
void TVLFtImage::FFT2D(float* Plane, float Sign) {
  const int N = FN;
  const int64_t rowLen = int64_t(N) * 2;
  std::vector<float> re(size_t(int64_t(N) * kLanes)), im(size_t(int64_t(N) * kLanes));
  for (int y0 = 0; y0 < N; y0 += kLanes) {
    const int n = std::min(kLanes, N - y0);
    for (int l = 0; l < kLanes; ++l) {
      const float* row = Plane + int64_t(y0 + std::min(l, n - 1)) * rowLen;
      for (int i = 0; i < N; ++i) {
        re[size_t(int64_t(i) * kLanes + l)] = row[i];
        im[size_t(int64_t(i) * kLanes + l)] = row[N + i];
      }
    }
    FFTLanes<kLanes>(re.data(), im.data(), Sign);
    for (int l = 0; l < n; ++l) {
      float* row = Plane + int64_t(y0 + l) * rowLen;
      for (int i = 0; i < N; ++i) {
        row[i] = re[size_t(int64_t(i) * kLanes + l)];
        row[N + i] = im[size_t(int64_t(i) * kLanes + l)];
      }
    }
  }
  const long double step = 100.0L / ((long double)FProgressPlanes * N);
  for (int x0 = 0; x0 < N; x0 += kLanes) {
    const int n = std::min(kLanes, N - x0);
    for (int i = 0; i < N; ++i) {
      const float* row = Plane + int64_t(i) * rowLen;
      for (int l = 0; l < kLanes; ++l) {
        const int x = x0 + std::min(l, n - 1);
        re[size_t(int64_t(i) * kLanes + l)] = row[x];
        im[size_t(int64_t(i) * kLanes + l)] = row[N + x];
      }
    }
    FFTLanes<kLanes>(re.data(), im.data(), Sign);
    for (int i = 0; i < N; ++i) {
      float* row = Plane + int64_t(i) * rowLen;
      for (int l = 0; l < n; ++l) {
        row[x0 + l] = re[size_t(int64_t(i) * kLanes + l)];
        row[N + x0 + l] = im[size_t(int64_t(i) * kLanes + l)];
      }
    }
    if (OnProgress)
      for (int l = 0; l < n; ++l) OnProgress(this, int(Trunc(step * (x0 + l) + step * FPasses * N)));
  }
  ++FPasses;
}

bool TVLFtImage::BuildFT(TBitmap* Bitmap, int Mode) {
  if (!Bitmap || Bitmap->PixelFormat() != pf24bit || Bitmap->Empty() || (Mode != 1 && Mode != 2)) return false;
  const int64_t w = Bitmap->Width(), h = Bitmap->Height();
  int64_t n = 1;
  while (n < std::max(w, h)) n *= 2;
  // The planes are refused before anything is freed when they would pass the limit that
  // pictures have.
  const int planes = Mode == 1 ? 3 : 1;
  if (n > (int64_t(1) << 24) || planes * n * n * 2 * int64_t(sizeof(float)) > TBitmap::MaxBytes()) return false;
  FMode = Mode;
  ClearPlanes();
  FSourceWidth = int(w);
  FSourceHeight = int(h);
  FSide = int(n);
  FOffsetX = int((n - w) / 2);
  FOffsetY = int((n - h) / 2);
  FNormalise = true;
  FProgressPlanes = planes;
  FPasses = 0;
  if (FSide != FN) SetSize(FSide);
  // Byte 2 (red), 1, 0 of each pixel, or the luminance; the square around it is black.
  auto build = [&](int index, auto value) {
    FPlanes[index] = NewPlane();
    float* plane = FPlanes[index]->data();
    int maxv = 1;
    for (int64_t y = 0; y < h; ++y) {
      const uint8_t* p = Bitmap->ScanLine(int(y));
      float* row = plane + (y + FOffsetY) * n * 2 + FOffsetX;
      for (int64_t x = 0; x < w; ++x, p += 3) {
        const int v = value(p);
        row[x] = float(v);
        maxv = std::max(maxv, v);
      }
    }
    if (FNormalise) {
      const float m = float(maxv);
      for (int64_t y = 0; y < n; ++y) {
        float* row = plane + y * n * 2;
        for (int64_t x = 0; x < n; ++x) row[x] /= m;
      }
    }
    // (-1)^(x + y) moves the zero frequency to the middle.
    for (int64_t y = 0; y < n; ++y) {
      float* row = plane + y * n * 2;
      for (int64_t x = 1 - (y & 1); x < n; x += 2) {
        row[x] = -row[x];
        row[n + x] = -row[n + x];
      }
    }
    FFT2D(plane, -1);
  };
  if (Mode == 1) {
    build(ftRed, [](const uint8_t* p) { return int(p[2]); });
    build(ftGreen, [](const uint8_t* p) { return int(p[1]); });
    build(ftBlue, [](const uint8_t* p) { return int(p[0]); });
  } else {
    build(ftGray, [](const uint8_t* p) { return VLLuminance(p[2], p[1], p[0]); });
  }
  FNormalise = false;
  return true;
}

void TVLFtImage::DrawSpectrum(TBitmap* Bitmap) {
  if (!Bitmap || FSide < 1 || FMode == 0) return;
  const int n = FSide;
  Bitmap->SetSize(0, 0);
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(n, n);
  std::vector<float> value(size_t(int64_t(n) * n));
  auto paint = [&](int index, int firstByte, int lastByte) {
    if (!FPlanes[index]) return;
    const float* plane = FPlanes[index]->data();
    float lo = 1e20f, hi = -1e20f;
    for (int64_t y = 0; y < n; ++y) {
      const float* row = plane + y * n * 2;
      for (int64_t x = 0; x < n; ++x) {
        const float re = row[x], im = row[n + x];
        const float m = std::sqrt(re * re + im * im);
        const float v = m > 0 ? float(std::log(std::sqrt((long double)m))) : 0.0f;
        value[size_t(y * n + x)] = v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    }
    if (lo >= -1e-5f && lo <= 1e-5f) lo = 0;
    // A plane without range (all coefficients 0) paints black.
    const long double factor = hi > lo ? 255.0L / ((long double)hi - lo) : 0;
    for (int64_t y = 0; y < n; ++y) {
      uint8_t* p = Bitmap->ScanLine(int(y));
      for (int64_t x = 0; x < n; ++x, p += 3) {
        const long double v = factor * ((long double)value[size_t(y * n + x)] - lo);
        const uint8_t b = std::isfinite(v) ? ClampByte(int64_t(std::clamp(v, -1.0L, 256.0L))) : 0;
        for (int c = firstByte; c <= lastByte; ++c) p[c] = b;
      }
    }
  };
  if (FMode == 1) {
    paint(ftRed, 2, 2);
    paint(ftGreen, 1, 1);
    paint(ftBlue, 0, 0);
  } else {
    paint(ftGray, 0, 2);
  }
}

void TVLFtImage::GetInverse(TBitmap* Bitmap) {
  if (!Bitmap || FSide < 1 || FMode == 0) return;
  const int n = FSide;
  const int w = FSourceWidth, h = FSourceHeight;
  Bitmap->SetSize(0, 0);
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(w, h);
  if (FSide != FN) SetSize(FSide);
  FProgressPlanes = FMode == 1 ? 3 : 1;
  FPasses = 0;
  auto restore = [&](int index, int firstByte, int lastByte) {
    if (!FPlanes[index]) return;
    TPlane copy(*FPlanes[index]);
    FFT2D(copy.data(), 1);
    // The magnitude of the real part also drops the sign the centring left.
    float lo = 0, hi = 0;
    for (int64_t y = 0; y < n; ++y) {
      float* row = copy.data() + y * n * 2;
      for (int64_t x = 0; x < n; ++x) {
        row[x] = std::fabs(row[x]);
        if ((x == 0 && y == 0) || row[x] < lo) lo = row[x];
        if ((x == 0 && y == 0) || row[x] > hi) hi = row[x];
      }
    }
    // Values no farther apart than the transform's rounding are a uniform square: no range.
    // Those show the values, 0..1 as built, rounded to the nearest byte.
    const bool flat = hi - lo <= hi * 1e-4f;
    const float factor = flat ? 255.0f : float(255.0L / ((long double)hi - lo));
    const float base = flat ? 0.0f : lo;
    for (int y = 0; y < h; ++y) {
      const float* row = copy.data() + int64_t(y + FOffsetY) * n * 2 + FOffsetX;
      uint8_t* p = Bitmap->ScanLine(y);
      for (int x = 0; x < w; ++x, p += 3) {
        float v = factor * (row[x] - base);
        if (flat && std::isfinite(v)) v = float(Round(v));
        const uint8_t b = std::isfinite(v) ? ClampByte(int64_t(std::clamp(v, -1.0f, 256.0f))) : 0;
        for (int c = firstByte; c <= lastByte; ++c) p[c] = b;
      }
    }
  };
  if (FMode == 1) {
    restore(ftRed, 2, 2);
    restore(ftGreen, 1, 1);
    restore(ftBlue, 0, 0);
  } else {
    restore(ftGray, 0, 2);
  }
}

void TVLFtImage::ClearZone(int X1, int Y1, int X2, int Y2) {
  if (FSide < 1) return;
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, FSide - 1);
  Y2 = std::min(Y2, FSide - 1);
  if (X2 < X1 || Y2 < Y1) return;
  const int first = FMode == 1 ? ftRed : ftGray, last = FMode == 1 ? ftBlue : ftGray;
  for (int i = first; i <= last; ++i) {
    if (!FPlanes[i]) continue;
    for (int y = Y1; y <= Y2; ++y) {
      float* row = Row(i, y);
      for (int x = X1; x <= X2; ++x) row[x] = row[FSide + x] = 0;
    }
  }
}
