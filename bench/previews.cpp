// The effects dialog's preview render on a 640 x 480 selection, page by page, as the dialog
// opens (the source fitted into its view): drawing the shown part, the undo copy, the
// effect (and on the frequency page the thumbnail's transform there and back).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <functional>

#include "vistrel/proc/previews.h"

namespace {

void Picture(TBitmap* b, int w, int h) {
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      const uint32_t n = ((uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u)) >> 11;
      p[0] = uint8_t(x * 255 / (w - 1) / 2 + (n & 63));
      p[1] = uint8_t(y * 255 / (h - 1) / 2 + ((n >> 6) & 63));
      p[2] = uint8_t((x + y) * 255 / (w + h - 2) / 2 + ((n >> 12) & 127));
    }
  }
}

TfPreviews* Dialog() {
  static TfPreviews* f = [] {
    auto* d = new TfPreviews(nullptr);
    Picture(d->Vistrel1->Bitmap(), 640, 480);
    d->Vistrel1->Update();
    d->Pages = VLPreviewAllPages;
    d->Show();  // activation: pages, fit, first render
    return d;
  }();
  return f;
}

// Page active, its settings made through its controls, then one render per iteration.
void Render(benchmark::State& state, TPreviewPage page, const std::function<void(TfPreviews*)>& set) {
  TfPreviews* f = Dialog();
  f->PageControl1->SelectTab(page);
  set(f);
  for (auto _ : state) {
    f->RenderPreview();
    benchmark::DoNotOptimize(f->Vistrel2->Bitmap()->ScanLine(0)[0]);
  }
  state.counters["shown"] = double(f->Vistrel1->DisplayedWidth()) * f->Vistrel1->DisplayedHeight();
}

}  // namespace

static void BM_Contrast(benchmark::State& s) {
  Render(s, ppContrast, [](TfPreviews* f) {
    f->Edit1->SetText("30");
    f->Edit21->SetText("-20");
  });
}
static void BM_HSV(benchmark::State& s) {
  Render(s, ppHSV, [](TfPreviews* f) {
    f->Edit19->SetText("40");
    f->Edit18->SetText("-20");
    f->Edit17->SetText("10");
  });
}
static void BM_HSL(benchmark::State& s) {
  Render(s, ppHSL, [](TfPreviews* f) {
    f->Edit4->SetText("90");
    f->Edit2->SetText("15");
    f->Edit3->SetText("-10");
  });
}
static void BM_RGB(benchmark::State& s) {
  Render(s, ppRGB, [](TfPreviews* f) { f->Edit7->SetText("40"); });
}
static void BM_UserFilter(benchmark::State& s) {
  Render(s, ppUserFilter, [](TfPreviews* f) {
    f->ListBox1->SetItemIndex(8);  // "Low Pass 2"
    f->ListBox1Click(nullptr);
  });
}
static void BM_Equalization(benchmark::State& s) {
  Render(s, ppEqualization, [](TfPreviews* f) {
    f->SetGripPos(0, 0, 30);
    f->SetGripPos(1, 1, 200);
    f->SpeedButton3->Click();  // and the automatic equalization
  });
}
static void BM_BumpMap(benchmark::State& s) {
  Render(s, ppBumpMap, [](TfPreviews* f) { f->Edit26->SetText("30"); });
}
static void BM_Lens(benchmark::State& s) {
  Render(s, ppLens, [](TfPreviews*) {});
}
static void BM_Wave(benchmark::State& s) {
  Render(s, ppWave, [](TfPreviews* f) { f->CheckBox2->SetChecked(true); });
}
static void BM_MorphOpening3(benchmark::State& s) {
  Render(s, ppMorph, [](TfPreviews* f) {
    f->ListBox2->SetItemIndex(2);  // opening: two passes
    f->Edit35->SetText("3");       // 7 x 7 window
  });
}
static void BM_Rotate(benchmark::State& s) {
  Render(s, ppRotate, [](TfPreviews* f) { f->EditRotate->SetText("30"); });
}
static void BM_FFTGray(benchmark::State& s) {
  Render(s, ppFFT, [](TfPreviews* f) { f->CheckBox1->SetChecked(true); });
}
static void BM_FFTColour(benchmark::State& s) {
  Render(s, ppFFT, [](TfPreviews* f) { f->CheckBox1->SetChecked(false); });
}
BENCHMARK(BM_Contrast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HSV)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HSL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UserFilter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Equalization)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BumpMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lens)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Wave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MorphOpening3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FFTGray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FFTColour)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
