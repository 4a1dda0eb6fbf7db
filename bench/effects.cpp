// Effect kernels and the Fourier image, single-threaded: the 3x3 convolution on a
// 6000 x 4000 picture and a forward and inverse transform of a 1024 x 1024 plane.
// effects_reference.py beside this file times Pillow's 3x3 kernel on the same picture and
// numpy's fft2 and ifft2 on a plane of that size.
#include <benchmark/benchmark.h>

#include "vistrel/proc/kernels/effects.h"
#include "vistrel/proc/kernels/fourier.h"
#include "vistrel/proc/kernels/pixels.h"

// Gradients with hashed noise, in integers, so the Python side makes the same picture.
static TBitmap* Picture(int w, int h) {
  auto* b = new TBitmap;
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      const uint32_t n = (((uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u)) >> 13) & 15;
      p[0] = uint8_t((x * 255 / (w - 1) + n) & 255);
      p[1] = uint8_t((y * 255 / (h - 1) + n) & 255);
      p[2] = uint8_t(((x + y) * 255 / (w + h - 2) + 2 * n) & 255);
    }
  }
  return b;
}

static TBitmap* Photo() {
  static TBitmap* b = Picture(6000, 4000);
  return b;
}

// Runs op on a fresh copy of the picture each iteration; the copy is not timed.
template <class Op>
static void OnCopy(benchmark::State& state, Op op) {
  TBitmap work;
  for (auto _ : state) {
    state.PauseTiming();
    VLCopyBitmap(Photo(), &work);
    state.ResumeTiming();
    op(&work);
    benchmark::DoNotOptimize(work.ScanLine(0)[0]);
  }
}

// "Low Pass 2": a divisor of 16, the path Pillow's kernel is compared with.
static void BM_Filter3x3LowPass2(benchmark::State& state) {
  OnCopy(state, [](TBitmap* b) { VLApplyFilter3x3(b, 0, 0, b->Width() - 1, b->Height() - 1, VLPresetFilters[8]); });
}
// "Edges": divisor 1.
static void BM_Filter3x3Edges(benchmark::State& state) {
  OnCopy(state, [](TBitmap* b) { VLApplyFilter3x3(b, 0, 0, b->Width() - 1, b->Height() - 1, VLPresetFilters[2]); });
}

// One gray plane of 1024 x 1024 there and back (building the plane and the stretch back to
// bytes included).
static void BM_FourierForwardInverse1024(benchmark::State& state) {
  static TBitmap* source = Picture(1024, 1024);
  TBitmap back;
  TVLFtImage ft;
  for (auto _ : state) {
    ft.BuildFT(source, 2);
    ft.GetInverse(&back);
    benchmark::DoNotOptimize(back.ScanLine(0)[0]);
  }
}

BENCHMARK(BM_Filter3x3LowPass2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Filter3x3Edges)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FourierForwardInverse1024)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
