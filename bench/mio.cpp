// The multi-image I/O component loading every picture of a file into a view on a form, as the
// open dialog's preview does: TIFFs of 1,000, 10,000 and 100,000 pages of 8 x 8 pixels and GIFs
// of 1,000 and 10,000 frames of 8 x 8 (the tests' LZW coder installed), made in a temporary
// folder. The time a picture should stay the same at every size. Also a 100,000-page load
// whose progress handler raises at the first picture: the time until the exception is back.
// And one GIF picture read from memory and from a file.
// The tests' coder comes first: Qt's headers define a macro that it uses as a name.
#include "tests/pcxgif/lzw_coder.cpp"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

#include "platform/gui/controls.h"
#include "tests/mview/multipage_builders.h"
#include "vistrel/io/vistrelmio.h"
#include "vistrel/io/vistrelmview.h"

namespace {

std::string gFolder;

// The file of n pictures, written once.
const std::string& File(bool Gif, int n) {
  static std::map<std::pair<bool, int>, std::string> files;
  std::string& name = files[{Gif, n}];
  if (name.empty()) {
    name = gFolder + "/pictures_" + std::to_string(n) + (Gif ? ".gif" : ".tif");
    const std::vector<uint8_t> bytes = Gif ? multipage::Gif(n, 8, 8) : multipage::Tiff(n, 8, 8);
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  return name;
}

// The preview's thumbnail view on a form, with its I/O component.
struct TPreview {
  TForm* Form = new TForm(nullptr);
  TVistrelMView* View = new TVistrelMView(Form);
  TVistrelMIO* MIO = new TVistrelMIO(Form);
  TPreview() {
    Form->SetBounds(0, 0, 600, 400);
    View->SetParent(Form);
    View->SetBounds(6, 32, 400, 139);
    View->SetThumbWidth(100);
    View->SetThumbHeight(109);
    View->SetScrollBars(ssHorizontal);
    MIO->SetAttachedMView(View);
  }
  ~TPreview() { Form->Free(); }
};

void Load(benchmark::State& state, bool Gif) {
  const int n = int(state.range(0));
  const std::string& name = File(Gif, n);
  for (auto _ : state) {
    state.PauseTiming();
    TPreview p;
    state.ResumeTiming();
    p.MIO->LoadFromFile(name);
    state.PauseTiming();
    if (p.MIO->Aborting() || p.View->ImageCount() != n) state.SkipWithError("load failed");
    state.ResumeTiming();
  }
  state.counters["pictures_per_second"] = benchmark::Counter(double(n), benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

static void BM_LoadTIFFPages(benchmark::State& state) { Load(state, false); }
static void BM_LoadGIFFrames(benchmark::State& state) { Load(state, true); }

// A handler that raises at the first picture: the load ends at once.
static void BM_RaisingHandlerStops100000PageLoad(benchmark::State& state) {
  const std::string& name = File(false, 100000);
  for (auto _ : state) {
    state.PauseTiming();
    TPreview p;
    p.MIO->OnProgress = [](TObject*, int) { throw std::runtime_error("stop"); };
    state.ResumeTiming();
    try {
      p.MIO->LoadFromFile(name);
    } catch (const std::runtime_error&) {}
    state.PauseTiming();
    if (p.View->ImageCount() != 1) state.SkipWithError("the load went on");
    state.ResumeTiming();
  }
}

// One 640 x 480 GIF picture read from memory and from its file: the file stream's reads of a
// byte or a block at a time come from its buffer.
static void ReadOneGIF(benchmark::State& state, bool FromFile) {
  static const std::vector<uint8_t> bytes = multipage::Gif(1, 640, 480);
  static const std::string name = [] {
    const std::string n = gFolder + "/one.gif";
    std::ofstream(n, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return n;
  }();
  for (auto _ : state) {
    TBitmap b;
    TIOParamsVals p(nullptr);
    bool abort = false;
    TFilterProgress progress;
    progress.AbortFlag = &abort;
    int32_t count = 0;
    if (FromFile) {
      TFileStream fs(name, fmOpenRead);
      ReadGIFStream(&fs, &b, count, p, progress, false);
    } else {
      TReadOnlyMemoryStream ms(bytes.data(), int64_t(bytes.size()));
      ReadGIFStream(&ms, &b, count, p, progress, false);
    }
    if (abort) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(b.ScanLine(0)[0]);
  }
}
static void BM_ReadGIFFromMemory(benchmark::State& state) { ReadOneGIF(state, false); }
static void BM_ReadGIFFromFile(benchmark::State& state) { ReadOneGIF(state, true); }

BENCHMARK(BM_LoadTIFFPages)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_LoadGIFFrames)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ReadGIFFromMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGIFFromFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RaisingHandlerStops100000PageLoad)->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  DefaultGIFLZWDecompressor = TestGIFLZWDecode;
  char folder[] = "/tmp/vl_bench_mio_XXXXXX";
  if (!mkdtemp(folder)) return 1;
  gFolder = folder;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (bool gif : {false, true})
    for (int n : {1000, 10000, 100000})
      std::remove((gFolder + "/pictures_" + std::to_string(n) + (gif ? ".gif" : ".tif")).c_str());
  std::remove((gFolder + "/one.gif").c_str());
  rmdir(folder);
  return 0;
}
