// The multi-image view with 100 pictures of 640 x 480 as thumbnails of 100 x 100: the layout
// and a paint of all the cells, and the whole path from storing the pictures on.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <vector>

#include "platform/gui/controls.h"
#include "vistrel/io/vistrelmview.h"

namespace {
constexpr int kPictures = 100;

TForm* gForm = nullptr;
std::vector<TBitmap*> gPictures;

const std::vector<TBitmap*>& Pictures() {
  if (gPictures.empty()) {
    uint32_t state = 12345;
    for (int i = 0; i < kPictures; ++i) {
      auto* b = new TBitmap;
      b->SetPixelFormat(pf24bit);
      b->SetSize(640, 480);
      for (int y = 0; y < 480; ++y) {
        uint8_t* row = b->ScanLine(y);
        for (int k = 0; k < 640 * 3; ++k) {
          state = state * 1664525u + 1013904223u;
          row[k] = uint8_t((k / 3 + y + i * 17 + (state >> 28)) & 0xFF);
        }
      }
      gPictures.push_back(b);
    }
  }
  return gPictures;
}

// A 10 x 10 grid that shows every cell: 10 x 104 + 4 pixels a side.
TVistrelMView* NewView() {
  if (!gForm) {
    gForm = new TForm(nullptr);
    gForm->SetBounds(0, 0, 1200, 1200);
  }
  auto* v = new TVistrelMView(gForm);
  v->SetParent(gForm);
  v->SetBorderStyle(bsNone);
  v->SetBounds(0, 0, 1044, 1044);
  v->SetStoreType(vltThumb);
  v->SetGridWidth(-1);
  return v;
}

void Fill(TVistrelMView* v) {
  for (TBitmap* b : Pictures()) {
    v->InsertImage(v->ImageCount());
    v->SetImage(v->ImageCount() - 1, b);
  }
  v->Deselect();
}
}  // namespace

// Layout and paint of the 100 stored thumbnails.
static void BM_LayoutAndPaint100Thumbnails(benchmark::State& state) {
  TVistrelMView* v = NewView();
  Fill(v);
  for (auto _ : state) {
    v->Update();
    v->Paint();
    benchmark::DoNotOptimize(v->Surface()->ScanLine(500)[500]);
  }
  v->Free();
}

// The pictures stored as thumbnails (each reduced by area averaging), laid out and painted.
static void BM_Store100ThumbnailsLayoutAndPaint(benchmark::State& state) {
  Pictures();
  for (auto _ : state) {
    TVistrelMView* v = NewView();
    Fill(v);
    v->Update();
    v->Paint();
    benchmark::DoNotOptimize(v->Surface()->ScanLine(500)[500]);
    state.PauseTiming();
    v->Free();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LayoutAndPaint100Thumbnails)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Store100ThumbnailsLayoutAndPaint)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
