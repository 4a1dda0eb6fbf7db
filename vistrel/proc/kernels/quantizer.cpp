#include "vistrel/proc/kernels/quantizer.h"

#include <algorithm>
#include <cstdlib>

namespace {
constexpr int kCells = 32768;
constexpr double kFailedCut = 17523.6;

inline int CellOf(int r5, int g5, int b5) { return (r5 << 10) + (g5 << 5) + b5; }

// Neural net constants.
constexpr int kNetBiasShift = 4;
constexpr int kCycles = 100;
constexpr int kIntBiasShift = 16;
constexpr int kIntBias = 1 << kIntBiasShift;
constexpr int kGammaShift = 10;
constexpr int kBetaShift = 10;
constexpr int kBeta = kIntBias >> kBetaShift;                       // 64
constexpr int kBetaGamma = kIntBias << (kGammaShift - kBetaShift);  // 65536
constexpr int kRadiusBiasShift = 6;
constexpr int kRadiusDec = 30;
constexpr int kAlphaBiasShift = 10;
constexpr int kInitAlpha = 1 << kAlphaBiasShift;  // 1024
constexpr int kRadBiasShift = 8;
constexpr int kRadBias = 1 << kRadBiasShift;
constexpr int kAlphaRadBias = 1 << (kAlphaBiasShift + kRadBiasShift);  // 262144
constexpr int kPrime1 = 499, kPrime2 = 491, kPrime3 = 487, kPrime4 = 503;

bool Usable(TBitmap* b) { return b && b->PixelFormat() == pf24bit && b->Width() > 0 && b->Height() > 0; }
}  // namespace

TVLQuantizer::TVLQuantizer(TBitmap* Bitmap, TRGB* Palette, int /*Limit*/, int NColors, int Quality, int /*Method*/) {
  if (NColors <= 256) {
    FAlgorithm = 1;
    BoxBuild(Bitmap, Palette, NColors);
  } else {
    FAlgorithm = 0;
    NetBuild(Bitmap, Palette, NColors, Quality);
  }
}

TVLQuantizer::~TVLQuantizer() = default;

int TVLQuantizer::ColorIndex(int32_t Colour) const {
  int b = Colour & 0xFF, g = (Colour >> 8) & 0xFF, r = (Colour >> 16) & 0xFF;
  if (FAlgorithm == 1) return FInverse[size_t(CellOf(r >> 3, g >> 3, b >> 3))];
  return NetSearch(b, g, r);
}

// ---------------------------------------------------------------------------------------
// Box split

void TVLQuantizer::BoxStats(TBox& b) const {
  if (b.Count <= 0) {
    b.Mean[0] = b.Mean[1] = b.Mean[2] = 0;
    b.Error = 0;
    return;
  }
  long double err = 0;
  for (int c = 0; c < 3; ++c) {
    int64_t s1 = 0, s2 = 0;
    for (int j = b.Lower[c]; j < b.Upper[c]; ++j) {
      s1 += j * b.Hist[c][j];
      s2 += int64_t(j) * j * b.Hist[c][j];
    }
    b.Mean[c] = double((long double)s1 / b.Count);
    long double m = b.Mean[c];
    err += s2 - m * m * b.Count;
  }
  b.Error = FTotal > 0 ? double(err / FTotal) : 0;
}

void TVLQuantizer::BoxRecount(TBox& b) const {
  for (auto& h : b.Hist) std::fill(std::begin(h), std::end(h), 0);
  for (int r = b.Lower[0]; r < b.Upper[0]; ++r)
    for (int g = b.Lower[1]; g < b.Upper[1]; ++g) {
      const uint32_t* cell = &FHist[size_t(CellOf(r, g, 0))];
      for (int bl = b.Lower[2]; bl < b.Upper[2]; ++bl) {
        uint32_t n = cell[bl];
        if (!n) continue;
        b.Hist[0][r] += n;
        b.Hist[1][g] += n;
        b.Hist[2][bl] += n;
      }
    }
}

void TVLQuantizer::BoxShrink(TBox& b) {
  for (int c = 0; c < 3; ++c) {
    int lo = b.Lower[c], hi = b.Upper[c] - 1;
    while (lo <= hi && b.Hist[c][lo] == 0) ++lo;
    while (hi >= lo && b.Hist[c][hi] == 0) --hi;
    if (lo <= hi) {
      b.Lower[c] = lo;
      b.Upper[c] = hi + 1;
    }
  }
}

bool TVLQuantizer::BoxCut(const TBox& b, int c, TBox& lower, TBox& upper) const {
  const int lo = b.Lower[c], hi = b.Upper[c];
  if (hi == lo + 1) return false;
  const int64_t n = b.Count;
  const long double m = b.Mean[c];
  const int64_t start = Round((lo + m) / 2);
  const int64_t stop = std::min<int64_t>(Round((hi + m) / 2), 31);
  int64_t s = 0;
  for (int64_t j = lo; j < start && j < 32; ++j) s += b.Hist[c][j];
  long double t = 0, best = -1;
  int cutF = -1;
  int64_t cutS = 0;
  for (int64_t f = std::max<int64_t>(start, 0); f <= stop; ++f) {
    s += b.Hist[c][f];
    if (s == n) break;
    t += (long double)b.Hist[c][f] * f / n;
    long double d = m - t;
    long double score = (long double)s / (n - s) * d * d;
    if (score > best) {
      best = score;
      cutF = int(f);
      cutS = s;
    }
  }
  if (cutF < 0 || cutS == 0 || n - cutS == 0) return false;

  lower = b;
  lower.Upper[c] = cutF + 1;
  lower.Count = cutS;
  BoxRecount(lower);
  upper = b;
  upper.Lower[c] = cutF + 1;
  upper.Count = n - cutS;
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < 32; ++j) upper.Hist[k][j] = b.Hist[k][j] - lower.Hist[k][j];
  BoxShrink(lower);
  BoxShrink(upper);
  BoxStats(lower);
  BoxStats(upper);
  return true;
}

bool TVLQuantizer::BoxSplit(int i, int freePlace) {
  TBox& b = FBoxes[size_t(i)];
  if (b.Error == 0 || b.Count == 0) return false;
  TBox lower[3], upper[3];
  double score[3];
  for (int c = 0; c < 3; ++c)
    score[c] = BoxCut(b, c, lower[c], upper[c]) ? lower[c].Error + upper[c].Error : kFailedCut;
  int pick = -1;
  double bestScore = kFailedCut;
  for (int c = 0; c < 3; ++c)
    if (score[c] < bestScore) {
      bestScore = score[c];
      pick = c;
    }
  if (pick < 0) return false;
  FBoxes[size_t(freePlace)] = upper[pick];
  FBoxes[size_t(i)] = lower[pick];
  return true;
}

void TVLQuantizer::BoxBuild(TBitmap* Bitmap, TRGB* Palette, int NColors) {
  FNColors = NColors;
  FHist.assign(kCells, 0);
  FBoxes.assign(256, TBox());
  FInverse.assign(kCells, 0);
  TBox& first = FBoxes[0];
  if (Usable(Bitmap)) {
    const int w = Bitmap->Width(), h = Bitmap->Height();
    FTotal = int64_t(w) * h;
    int64_t* hr = first.Hist[0];
    int64_t* hg = first.Hist[1];
    int64_t* hb = first.Hist[2];
    for (int y = 0; y < h; ++y) {
      const uint8_t* p = Bitmap->ScanLine(y);
      for (int x = 0; x < w; ++x, p += 3) {
        int b5 = p[0] >> 3, g5 = p[1] >> 3, r5 = p[2] >> 3;
        ++FHist[size_t(CellOf(r5, g5, b5))];
        ++hr[r5];
        ++hg[g5];
        ++hb[b5];
      }
    }
  }
  first.Count = FTotal;
  BoxStats(first);

  FBoxCount = 1;
  while (FBoxCount < NColors) {
    int pick = -1;
    double maxErr = 0;
    for (int i = 0; i < FBoxCount; ++i)
      if (FBoxes[size_t(i)].Error > maxErr) {
        maxErr = FBoxes[size_t(i)].Error;
        pick = i;
      }
    if (pick < 0) break;
    if (BoxSplit(pick, FBoxCount)) ++FBoxCount;
    else FBoxes[size_t(pick)].Error = 0;
  }

  FProduced = std::min(FBoxCount, std::max(NColors, 0));
  for (int i = 0; i < FProduced; ++i) {
    const TBox& b = FBoxes[size_t(i)];
    if (Palette)
      Palette[i] = TRGB{Byte(Round(b.Mean[2]) << 3), Byte(Round(b.Mean[1]) << 3), Byte(Round(b.Mean[0]) << 3)};
    for (int r = b.Lower[0]; r < b.Upper[0]; ++r)
      for (int g = b.Lower[1]; g < b.Upper[1]; ++g)
        for (int bl = b.Lower[2]; bl < b.Upper[2]; ++bl) FInverse[size_t(CellOf(r, g, bl))] = uint8_t(i);
  }
}

// ---------------------------------------------------------------------------------------
// Neural net

void TVLQuantizer::NetBuild(TBitmap* Bitmap, TRGB* Palette, int NColors, int Quality) {
  FNetSize = NColors;
  FNet.resize(size_t(FNetSize));
  FFreq.resize(size_t(FNetSize));
  FBias.resize(size_t(FNetSize));
  FRadPower.assign(size_t(FNetSize / 8), 0);
  for (int i = 0; i < FNetSize; ++i) {
    int32_t v = int32_t((int64_t(i) << (kNetBiasShift + 8)) / FNetSize);
    FNet[size_t(i)] = TNeuron{v, v, v, 0};
    FFreq[size_t(i)] = kIntBias / FNetSize;
    FBias[size_t(i)] = 0;
  }

  const bool usable = Usable(Bitmap);
  const int64_t pixels = usable ? int64_t(Bitmap->Width()) * Bitmap->Height() : 0;
  FByteCount = pixels * 3;
  int64_t factor;
  if (Quality == -1) {
    if (pixels < 2000) factor = 1;
    else factor = Round((long double)13 * (pixels - 2000) / 148000 + 2);
  } else {
    factor = Trunc((100 - Quality) * 0.01L * 29) + 1;
  }
  FSampleFactor = int(std::clamp<int64_t>(factor, 1, 30));

  if (usable) NetLearn(Bitmap);

  for (int i = 0; i < FNetSize; ++i) {
    TNeuron& n = FNet[size_t(i)];
    n.B >>= kNetBiasShift;
    n.G >>= kNetBiasShift;
    n.R >>= kNetBiasShift;
    n.Index = i;
    if (Palette) Palette[i] = TRGB{Byte(n.B), Byte(n.G), Byte(n.R)};
  }
  FProduced = FNetSize;
  NetIndexBuild();
}

int TVLQuantizer::NetContest(int b, int g, int r) {
  int32_t bestd = 0x7FFFFFFF, bestbiasd = bestd;
  int bestpos = -1, bestbiaspos = -1;
  for (int i = 0; i < FNetSize; ++i) {
    const TNeuron& n = FNet[size_t(i)];
    int32_t dist = std::abs(n.B - b) + std::abs(n.G - g) + std::abs(n.R - r);
    if (dist < bestd) {
      bestd = dist;
      bestpos = i;
    }
    int32_t biasdist = dist - (FBias[size_t(i)] >> (kIntBiasShift - kNetBiasShift));
    if (biasdist < bestbiasd) {
      bestbiasd = biasdist;
      bestbiaspos = i;
    }
    int32_t betafreq = FFreq[size_t(i)] >> kBetaShift;
    FFreq[size_t(i)] -= betafreq;
    FBias[size_t(i)] += betafreq << kGammaShift;
  }
  FFreq[size_t(bestpos)] += kBeta;
  FBias[size_t(bestpos)] -= kBetaGamma;
  return bestbiaspos;
}

void TVLQuantizer::NetAlterSingle(int alpha, int i, int b, int g, int r) {
  TNeuron& n = FNet[size_t(i)];
  n.B -= int32_t(int64_t(alpha) * (n.B - b) / kInitAlpha);
  n.G -= int32_t(int64_t(alpha) * (n.G - g) / kInitAlpha);
  n.R -= int32_t(int64_t(alpha) * (n.R - r) / kInitAlpha);
}

void TVLQuantizer::NetAlterNeigh(int rad, int i, int b, int g, int r) {
  int lo = std::max(i - rad, -1);
  int hi = std::min(i + rad, FNetSize);
  int j = i + 1, k = i - 1, q = 0;
  auto move = [&](TNeuron& p, int64_t a) {
    p.B -= int32_t(a * (p.B - b) / kAlphaRadBias);
    p.G -= int32_t(a * (p.G - g) / kAlphaRadBias);
    p.R -= int32_t(a * (p.R - r) / kAlphaRadBias);
  };
  while (j < hi || k > lo) {
    int64_t a = FRadPower[size_t(++q)];
    if (j < hi) move(FNet[size_t(j++)], a);
    if (k > lo) move(FNet[size_t(k--)], a);
  }
}

void TVLQuantizer::NetLearn(TBitmap* Bitmap) {
  const int w = Bitmap->Width();
  const int64_t pixels = FByteCount / 3;
  const int alphadec = 30 + (FSampleFactor - 1) / 3;
  const int64_t samples = FByteCount / (3 * FSampleFactor);
  int64_t delta = samples / kCycles;
  if (delta < 1) delta = 1;
  int alpha = kInitAlpha;
  int radius = (FNetSize / 8) << kRadiusBiasShift;
  int rad = radius >= 128 ? radius >> kRadiusBiasShift : 0;
  auto powers = [&]() {
    const int64_t rr = int64_t(rad) * rad;
    for (int64_t i = 0; i < rad; ++i) FRadPower[size_t(i)] = int32_t(alpha * (((rr - i * i) * kRadBias) / rr));
  };
  powers();

  int64_t step;
  if (FByteCount % kPrime1 != 0) step = kPrime1;
  else if (FByteCount % kPrime2 != 0) step = kPrime2;
  else if (FByteCount % kPrime3 != 0) step = kPrime3;
  else step = kPrime4;
  step %= pixels;

  const uint8_t* bits = Bitmap->ScanLine(0);
  const int64_t rowBytes = Bitmap->RowBytes();
  int64_t pos = 0;
  for (int64_t i = 1; i <= samples; ++i) {
    const uint8_t* p = bits + (pos / w) * rowBytes + (pos % w) * 3;
    int b = p[0] << kNetBiasShift, g = p[1] << kNetBiasShift, r = p[2] << kNetBiasShift;
    int j = NetContest(b, g, r);
    NetAlterSingle(alpha, j, b, g, r);
    if (rad) NetAlterNeigh(rad, j, b, g, r);
    pos += step;
    if (pos >= pixels) pos -= pixels;
    if (i % delta == 0) {
      alpha -= alpha / alphadec;
      radius -= radius / kRadiusDec;
      rad = radius >= 128 ? radius >> kRadiusBiasShift : 0;
      powers();
    }
  }
}

void TVLQuantizer::NetIndexBuild() {
  const int maxnetpos = FNetSize - 1;
  int previouscol = 0, startpos = 0;
  for (int i = 0; i < FNetSize; ++i) {
    int smallpos = i, smallval = FNet[size_t(i)].G;
    for (int j = i + 1; j < FNetSize; ++j)
      if (FNet[size_t(j)].G < smallval) {
        smallpos = j;
        smallval = FNet[size_t(j)].G;
      }
    if (i != smallpos) std::swap(FNet[size_t(i)], FNet[size_t(smallpos)]);
    if (smallval != previouscol) {
      FNetIndex[previouscol] = (startpos + i) >> 1;
      for (int j = previouscol + 1; j < smallval; ++j) FNetIndex[j] = i;
      previouscol = smallval;
      startpos = i;
    }
  }
  FNetIndex[previouscol] = (startpos + maxnetpos) >> 1;
  for (int j = previouscol + 1; j < 256; ++j) FNetIndex[j] = maxnetpos;
}

int TVLQuantizer::NetSearch(int b, int g, int r) const {
  int bestd = 1000, best = 0;
  int i = FNetIndex[g], j = i - 1;
  while (i < FNetSize || j >= 0) {
    if (i < FNetSize) {
      const TNeuron& p = FNet[size_t(i)];
      int dist = p.G - g;
      if (dist >= bestd) {
        i = FNetSize;
      } else {
        ++i;
        dist = std::abs(dist) + std::abs(p.B - b);
        if (dist < bestd) {
          dist += std::abs(p.R - r);
          if (dist < bestd) {
            bestd = dist;
            best = p.Index;
          }
        }
      }
    }
    if (j >= 0) {
      const TNeuron& p = FNet[size_t(j)];
      int dist = g - p.G;
      if (dist >= bestd) {
        j = -1;
      } else {
        --j;
        dist = std::abs(dist) + std::abs(p.B - b);
        if (dist < bestd) {
          dist += std::abs(p.R - r);
          if (dist < bestd) {
            bestd = dist;
            best = p.Index;
          }
        }
      }
    }
  }
  return best;
}
