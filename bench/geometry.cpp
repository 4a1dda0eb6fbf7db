// Rotations and flips of a 6000 x 4000 24-bit photo-like picture, single-threaded: the
// kernels, and the processing component around them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/vistrelproc.h"

namespace {

// Soft shading in each channel, a few hard edges and grain, as in a photograph.
const TBitmap& Photo() {
  static std::unique_ptr<TBitmap> b;
  if (!b) {
    b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf24bit);
    b->SetSize(6000, 4000);
    uint32_t seed = 99;
    for (int y = 0; y < b->Height(); ++y) {
      uint8_t* p = b->ScanLine(y);
      const double sy = std::sin(y * 0.0013);
      for (int x = 0; x < b->Width(); ++x, p += 3) {
        seed = seed * 1664525u + 1013904223u;
        const int grain = int(seed >> 28) - 8;
        const int edge = ((x / 700 + y / 500) % 3 == 0) ? 35 : 0;
        p[0] = uint8_t(std::clamp(int(120 + 80 * sy * std::cos(x * 0.0009)) + grain + edge, 0, 255));
        p[1] = uint8_t(std::clamp(int(x * 150 / 6000 + y * 90 / 4000) + grain, 0, 255));
        p[2] = uint8_t(std::clamp(int(140 - 60 * std::sin((x + y) * 0.0017)) + grain - edge, 0, 255));
      }
    }
  }
  return *b;
}

// Runs op on a fresh copy of the picture each iteration; the copy is not timed.
template <class Op>
void OnCopy(benchmark::State& state, Op op) {
  TBitmap work;
  for (auto _ : state) {
    state.PauseTiming();
    work.Assign(const_cast<TBitmap*>(&Photo()));
    state.ResumeTiming();
    op(&work);
    benchmark::DoNotOptimize(work.ScanLine(0)[0]);
  }
}

void BM_Rotate30AntiAlias(benchmark::State& state) {
  OnCopy(state, [](TBitmap* b) { VLRotateBitmap(b, 30, true, clWhite); });
}
void BM_Rotate30(benchmark::State& state) {
  OnCopy(state, [](TBitmap* b) { VLRotateBitmap(b, 30, false, clWhite); });
}
void BM_RotateMinus7AntiAlias(benchmark::State& state) {
  OnCopy(state, [](TBitmap* b) { VLRotateBitmap(b, -7, true, clBlack); });
}
void BM_Rotate90(benchmark::State& state) {
  OnCopy(state, [](TBitmap* b) { VLRotateBitmap(b, 90, false, clWhite); });
}

// Flips work in place: each iteration flips the picture the last one left.
void BM_Flip(benchmark::State& state) {
  TBitmap work;
  work.Assign(const_cast<TBitmap*>(&Photo()));
  for (auto _ : state) {
    VLFlip(&work, int(state.range(0)));
    benchmark::DoNotOptimize(work.ScanLine(0)[0]);
  }
}

// The processing component's path, as the editor takes it: undo saved, progress reported.
template <class Op>
void ThroughComponent(benchmark::State& state, Op op) {
  TBitmap work;
  TVistrelProc proc(nullptr);
  proc.SetAttachedBitmap(&work);
  proc.SetAutoUndo(true);
  int calls = 0;
  proc.OnProgress = [&calls](TObject*, int) { ++calls; };
  for (auto _ : state) {
    state.PauseTiming();
    work.Assign(const_cast<TBitmap*>(&Photo()));
    state.ResumeTiming();
    op(proc);
    benchmark::DoNotOptimize(work.ScanLine(0)[0]);
  }
  state.counters["progress calls"] = double(calls) / double(state.iterations());
}

void BM_ProcRotate30AntiAlias(benchmark::State& state) {
  ThroughComponent(state, [](TVistrelProc& p) { p.Rotate(30, true); });
}
void BM_ProcFlip(benchmark::State& state) {
  ThroughComponent(state, [](TVistrelProc& p) { p.Flip(0); });
}
void BM_ProcResampleLanczos3(benchmark::State& state) {
  ThroughComponent(state, [](TVistrelProc& p) { p.Resample(1500, 1000, rfLanczos3); });
}

}  // namespace

BENCHMARK(BM_Rotate30AntiAlias)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate30)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RotateMinus7AntiAlias)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Flip)->ArgName("direction")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProcRotate30AntiAlias)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProcFlip)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProcResampleLanczos3)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
