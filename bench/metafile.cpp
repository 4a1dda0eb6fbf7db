// A 16000 x 16000 placeable metafile of 45 long lines corner to corner on alternate
// diagonals, played onto its picture: thick dashed pens, and wide solid ones.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstring>

#include "../tests/io/metafile_builders.h"
#include "platform/gui/canvas.h"
#include "vistrel/io/metafile.h"

namespace {

constexpr int kUnits = 4000, kSide = 16000;  // 4 pixels a unit

TBitmap& Picture() {
  static TBitmap b;
  if (b.Empty()) {
    b.SetPixelFormat(pf24bit);
    b.SetSize(kSide, kSide);
    std::memset(b.Bits(), 255, size_t(b.ImageSize()));  // its pages in before the clock runs
  }
  return b;
}

void Play(benchmark::State& state, int style, int width) {
  TWmfBuilder w;
  w.CreatePen(style, width, 255, 0, 0);
  w.Select(0);
  for (int i = 0; i < 45; ++i) {
    w.MoveTo(i % 2 ? kUnits : 0, 0);
    w.LineTo(i % 2 ? 0 : kUnits, kUnits);
  }
  const std::vector<uint8_t> file = w.Build(0, 0, kUnits, kUnits, 24);
  TVLMetafile m;
  std::string why;
  if (!VLParseMetafile(file.data(), int64_t(file.size()), m, why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  TBitmap& b = Picture();
  for (auto _ : state) {
    VLPlayMetafile(m, b.Canvas(), Rect(0, 0, kSide, kSide));
    benchmark::DoNotOptimize(b.ScanLine(kSide / 2)[0]);
  }
}

}  // namespace

// Pens of 1 unit (4 pixels) and 10 units (40 pixels), dashed; then 250 units (1000 pixels).
static void BM_DashedLines4px(benchmark::State& s) { Play(s, 1, 1); }
static void BM_DashedLines40px(benchmark::State& s) { Play(s, 1, 10); }
static void BM_WideSolidLines1000px(benchmark::State& s) { Play(s, 0, 250); }
static void BM_WideDashedLines1000px(benchmark::State& s) { Play(s, 1, 250); }
BENCHMARK(BM_DashedLines4px)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DashedLines40px)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WideSolidLines1000px)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WideDashedLines1000px)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
