// Resampling a 6000 x 4000 24-bit picture to 1500 x 1000 with each filter.
#include <benchmark/benchmark.h>

#include "vistrel/proc/kernels/resample.h"

static TBitmap* BigPicture() {
  static TBitmap* b = nullptr;
  if (!b) {
    b = new TBitmap;
    b->SetPixelFormat(pf24bit);
    b->SetSize(6000, 4000);
    uint32_t state = 12345;
    for (int y = 0; y < b->Height(); ++y) {
      uint8_t* row = b->ScanLine(y);
      for (int k = 0; k < b->Width() * 3; ++k) {
        state = state * 1664525u + 1013904223u;
        row[k] = uint8_t((k / 3 + y + (state >> 28)) & 0xFF);
      }
    }
  }
  return b;
}

static void BM_ResampleBitmap(benchmark::State& state) {
  TBitmap* src = BigPicture();
  TBitmap dst;
  dst.SetPixelFormat(pf24bit);
  dst.SetSize(1500, 1000);
  for (auto _ : state) {
    VLResampleBitmap(src, &dst, TResampleFilter(state.range(0)), nullptr, nullptr);
    benchmark::DoNotOptimize(dst.ScanLine(0)[0]);
  }
}
BENCHMARK(BM_ResampleBitmap)
    ->ArgName("filter")
    ->DenseRange(rfTriangle, rfMitchell)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
