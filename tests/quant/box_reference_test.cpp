// The box-splitting quantizer against a plain rendering of its steps (histogram, error,
// cut search, recount and shrink of the two halves, palette and inverse map) on pictures
// with many boxes.
#include <gtest/gtest.h>

#include <vector>

#include "vistrel/proc/kernels/quantizer.h"

namespace {

struct RefBox {
  double Err = 0, Mean[3] = {0, 0, 0};
  int64_t N = 0;
  int64_t H[3][32] = {};
  int Lo[3] = {0, 0, 0}, Hi[3] = {32, 32, 32};
};

struct RefQuant {
  std::vector<int64_t> Cells = std::vector<int64_t>(32768, 0);
  int64_t Total = 0;

  static int Cell(int r, int g, int b) { return r * 1024 + g * 32 + b; }

  void Stats(RefBox& b) const {
    long double err = 0;
    for (int c = 0; c < 3; ++c) {
      int64_t s1 = 0, s2 = 0;
      for (int j = b.Lo[c]; j < b.Hi[c]; ++j) {
        s1 += j * b.H[c][j];
        s2 += int64_t(j) * j * b.H[c][j];
      }
      b.Mean[c] = b.N ? double((long double)s1 / b.N) : 0;
      err += s2 - (long double)b.Mean[c] * b.Mean[c] * b.N;
    }
    b.Err = b.N ? double(err / Total) : 0;
  }

  bool Cut(const RefBox& b, int c, RefBox& lower, RefBox& upper) const {
    if (b.Hi[c] == b.Lo[c] + 1) return false;
    const long double m = b.Mean[c];
    const int64_t from = Round((b.Lo[c] + m) / 2), to = Round((b.Hi[c] + m) / 2);
    int64_t s = 0;
    for (int64_t j = b.Lo[c]; j < from; ++j) s += b.H[c][j];
    long double t = 0, best = -1;
    int f0 = -1;
    int64_t s0 = 0;
    for (int64_t f = from; f <= to && f < 32; ++f) {
      s += b.H[c][f];
      if (s == b.N) break;
      t += (long double)b.H[c][f] * f / b.N;
      const long double score = (long double)s / (b.N - s) * (m - t) * (m - t);
      if (score > best) {
        best = score;
        f0 = int(f);
        s0 = s;
      }
    }
    if (f0 < 0 || s0 == 0 || s0 == b.N) return false;
    lower = b;
    lower.Hi[c] = f0 + 1;
    lower.N = s0;
    upper = b;
    upper.Lo[c] = f0 + 1;
    upper.N = b.N - s0;
    for (auto& h : lower.H)
      for (auto& v : h) v = 0;
    for (int r = lower.Lo[0]; r < lower.Hi[0]; ++r)
      for (int g = lower.Lo[1]; g < lower.Hi[1]; ++g)
        for (int bl = lower.Lo[2]; bl < lower.Hi[2]; ++bl) {
          const int64_t n = Cells[size_t(Cell(r, g, bl))];
          lower.H[0][r] += n;
          lower.H[1][g] += n;
          lower.H[2][bl] += n;
        }
    for (int k = 0; k < 3; ++k)
      for (int j = 0; j < 32; ++j) upper.H[k][j] = b.H[k][j] - lower.H[k][j];
    for (RefBox* x : {&lower, &upper}) {
      for (int k = 0; k < 3; ++k) {
        int first = -1, last = -1;
        for (int j = x->Lo[k]; j < x->Hi[k]; ++j)
          if (x->H[k][j]) {
            if (first < 0) first = j;
            last = j;
          }
        if (first >= 0) {
          x->Lo[k] = first;
          x->Hi[k] = last + 1;
        }
      }
      Stats(*x);
    }
    return true;
  }

  // Palette entries and the index of every cell.
  int Build(TBitmap* bmp, int n, std::vector<TRGB>& pal, std::vector<int>& index) {
    std::vector<RefBox> boxes(256);
    for (int y = 0; y < bmp->Height(); ++y)
      for (int x = 0; x < bmp->Width(); ++x) {
        const uint8_t* p = bmp->ScanLine(y) + 3 * x;
        ++Cells[size_t(Cell(p[2] >> 3, p[1] >> 3, p[0] >> 3))];
        ++boxes[0].H[0][p[2] >> 3];
        ++boxes[0].H[1][p[1] >> 3];
        ++boxes[0].H[2][p[0] >> 3];
      }
    Total = int64_t(bmp->Width()) * bmp->Height();
    boxes[0].N = Total;
    Stats(boxes[0]);
    int count = 1;
    while (count < n) {
      int pick = -1;
      double top = 0;
      for (int i = 0; i < count; ++i)
        if (boxes[size_t(i)].Err > top) {
          top = boxes[size_t(i)].Err;
          pick = i;
        }
      if (pick < 0) break;
      RefBox& b = boxes[size_t(pick)];
      RefBox lo[3], hi[3];
      int chosen = -1;
      double bestScore = 17523.6;
      for (int c = 0; c < 3 && b.Err != 0 && b.N != 0; ++c) {
        const double score = Cut(b, c, lo[c], hi[c]) ? lo[c].Err + hi[c].Err : 17523.6;
        if (score < bestScore) {
          bestScore = score;
          chosen = c;
        }
      }
      if (chosen < 0) {
        b.Err = 0;
        continue;
      }
      boxes[size_t(count)] = hi[chosen];
      boxes[size_t(pick)] = lo[chosen];
      ++count;
    }
    index.assign(32768, 0);
    for (int i = 0; i < count; ++i) {
      const RefBox& b = boxes[size_t(i)];
      pal.push_back(
          TRGB{uint8_t(Round(b.Mean[2]) << 3), uint8_t(Round(b.Mean[1]) << 3), uint8_t(Round(b.Mean[0]) << 3)});
      for (int r = b.Lo[0]; r < b.Hi[0]; ++r)
        for (int g = b.Lo[1]; g < b.Hi[1]; ++g)
          for (int bl = b.Lo[2]; bl < b.Hi[2]; ++bl) index[size_t(Cell(r, g, bl))] = i;
    }
    return count;
  }
};

// Colour clusters with spread, so that the boxes split along every channel.
TBitmap* Clusters(int w, int h, uint32_t seed) {
  auto* b = new TBitmap;
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  const int centres[6][3] = {{30, 40, 200},  {220, 60, 50},   {90, 180, 90},
                             {240, 230, 20}, {128, 128, 128}, {10, 10, 10}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int* c = centres[(seed >> 28) % 6];
      uint8_t* p = b->ScanLine(y) + 3 * x;
      for (int k = 0; k < 3; ++k) {
        seed = seed * 1664525u + 1013904223u;
        const int v = c[k] + int((seed >> 24) % 61) - 30;
        p[2 - k] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
  return b;
}

}  // namespace

TEST(Quantizer, BoxSplitMatchesAPlainRendering) {
  for (int n : {2, 5, 16, 64, 256}) {
    TBitmap* b = Clusters(97, 61, uint32_t(n));
    RefQuant ref;
    std::vector<TRGB> want;
    std::vector<int> index;
    const int count = ref.Build(b, n, want, index);
    std::vector<TRGB> pal(size_t(n), TRGB{1, 2, 3});
    TVLQuantizer q(b, pal.data(), 0, n);
    ASSERT_EQ(q.ColorsProduced(), count) << n;
    EXPECT_GT(count, n / 2) << n;
    for (int i = 0; i < count; ++i) EXPECT_EQ(pal[size_t(i)], want[size_t(i)]) << n << " entry " << i;
    int wrong = 0;
    for (int cell = 0; cell < 32768; ++cell) {
      const int r = (cell >> 10) << 3, g = ((cell >> 5) & 31) << 3, bl = (cell & 31) << 3;
      if (q.ColorIndex(bl | (g << 8) | (r << 16)) != index[size_t(cell)]) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << n;
    delete b;
  }
}
