// Repainting an 800 x 600 view of a 6000 x 4000 picture at several zooms, plain and filtered.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "platform/gui/controls.h"
#include "vistrel/view/vistrelview.h"

namespace {
TForm* gForm = nullptr;
TVistrelView* gView = nullptr;

TVistrelView* View() {
  if (!gView) {
    gForm = new TForm(nullptr);
    gForm->SetBounds(0, 0, 1000, 800);
    gView = new TVistrelView(gForm);
    gView->SetParent(gForm);
    gView->SetBorderStyle(bsNone);
    gView->SetBounds(0, 0, 800, 600);
    TBitmap* b = gView->Bitmap();
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
    gView->Update();
  }
  return gView;
}

void Repaint(benchmark::State& state, int zoom, TResampleFilter filter) {
  TVistrelView* v = View();
  v->SetZoomFilter(filter);
  v->SetZoom(zoom);
  v->SetViewXY(1000, 700);
  for (auto _ : state) {
    v->Paint();
    benchmark::DoNotOptimize(v->Surface()->ScanLine(300)[900]);
  }
}
}  // namespace

static void BM_Zoom13(benchmark::State& s) { Repaint(s, 13, rfNone); }
static void BM_Zoom100(benchmark::State& s) { Repaint(s, 100, rfNone); }
static void BM_Zoom300(benchmark::State& s) { Repaint(s, 300, rfNone); }
static void BM_Zoom300Triangle(benchmark::State& s) { Repaint(s, 300, rfTriangle); }
static void BM_Zoom300Lanczos3(benchmark::State& s) { Repaint(s, 300, rfLanczos3); }
static void BM_Zoom300Mitchell(benchmark::State& s) { Repaint(s, 300, rfMitchell); }
BENCHMARK(BM_Zoom13)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom300Triangle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom300Lanczos3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom300Mitchell)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
