// Colour and geometry kernels on a 6000 x 4000 24-bit picture, single-threaded.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "vistrel/proc/kernels/color.h"
#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/vistrelproc.h"

// Smooth gradients in all three channels with some noise: many populated colour cells,
// as in a photograph.
static TBitmap* Photo() {
  static TBitmap* b = nullptr;
  if (!b) {
    b = new TBitmap;
    b->SetPixelFormat(pf24bit);
    b->SetSize(6000, 4000);
    uint32_t state = 2024;
    for (int y = 0; y < b->Height(); ++y) {
      uint8_t* p = b->ScanLine(y);
      for (int x = 0; x < b->Width(); ++x, p += 3) {
        state = state * 1664525u + 1013904223u;
        const int n = int(state >> 29);
        p[0] = uint8_t(128 + 100 * std::sin(x * 0.002 + y * 0.001) + n);
        p[1] = uint8_t(y * 255 / 4000 / 2 + x * 255 / 6000 / 2 + n);
        p[2] = uint8_t(128 + 120 * std::cos(y * 0.0015) * std::sin(x * 0.0007) + n);
      }
    }
  }
  return b;
}

// Runs op on a fresh copy of the picture each iteration; the copy is not timed. While op
// leaves the size as it was, the copy goes over the same memory, so a kernel of a few
// milliseconds isn't run between hundreds of untimed allocations.
template <class Op>
static void OnCopy(benchmark::State& state, Op op) {
  TBitmap work;
  for (auto _ : state) {
    state.PauseTiming();
    TBitmap* src = Photo();
    if (work.PixelFormat() == src->PixelFormat() && work.Width() == src->Width() && work.Height() == src->Height() &&
        work.RowBytes() == src->RowBytes())
      std::memcpy(work.Bits(), src->Bits(), size_t(src->ImageSize()));
    else
      VLCopyBitmap(src, &work);
    state.ResumeTiming();
    op(&work);
    benchmark::DoNotOptimize(work.ScanLine(0)[0]);
  }
}

static void BM_Rotate30AntiAlias(benchmark::State& state) {
  OnCopy(state, [](TBitmap* b) { VLRotateBitmap(b, 30, true, clWhite); });
}
static void BM_Rotate30(benchmark::State& state) {
  OnCopy(state, [](TBitmap* b) { VLRotateBitmap(b, 30, false, clWhite); });
}
static void BM_Rotate90(benchmark::State& state) {
  OnCopy(state, [](TBitmap* b) { VLRotateBitmap(b, 90, false, clWhite); });
}
static void BM_Reduce256(benchmark::State& state) {
  OnCopy(state, [](TBitmap* b) { VLReduceColors(b, 256, nullptr); });
}
static void BM_Gray(benchmark::State& state) {
  OnCopy(state, [](TBitmap* b) { VLGrayRect(b, 0, 0, b->Width() - 1, b->Height() - 1); });
}
static void BM_Negative(benchmark::State& state) {
  OnCopy(state, [](TBitmap* b) { VLNegativeRect(b, 0, 0, b->Width() - 1, b->Height() - 1); });
}
static void BM_Histogram(benchmark::State& state) {
  TBitmap* b = Photo();
  TVLHistogram h;
  for (auto _ : state) {
    VLCalcHistogram(b, h, 0, 0, b->Width() - 1, b->Height() - 1);
    benchmark::DoNotOptimize(h[0].Gray);
  }
}
// The editor's Gray command and histogram dialog go through the processing component:
// with the undo copy, a progress handler and the refresh around the kernel.
static void BM_GrayWithUndo(benchmark::State& state) {
  TVistrelProc proc(nullptr);
  int64_t reports = 0;
  proc.OnProgress = [&](TObject*, int) { ++reports; };
  OnCopy(state, [&](TBitmap* b) {
    proc.SetAttachedBitmap(b);
    proc.ConvertToGray();
  });
  benchmark::DoNotOptimize(reports);
}
static void BM_HistogramThroughComponent(benchmark::State& state) {
  TVistrelProc proc(nullptr);
  proc.SetAttachedBitmap(Photo());
  TVLHistogram h;
  for (auto _ : state) {
    proc.GetHistogram(h);
    benchmark::DoNotOptimize(h[0].Gray);
  }
}
static void BM_CountColors(benchmark::State& state) {
  TBitmap* b = Photo();
  for (auto _ : state) benchmark::DoNotOptimize(VLCountColors(b, 0, 0, b->Width() - 1, b->Height() - 1));
}

BENCHMARK(BM_Rotate30AntiAlias)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate30)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Reduce256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Gray)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Negative)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Histogram)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GrayWithUndo)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HistogramThroughComponent)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CountColors)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
