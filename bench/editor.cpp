// The editor driven headless as a user drives it, on a 6000 x 4000 JPEG (q90, 4:2:0):
// "&Open" until the document window has painted, and "&Rotate" by 30 degrees with
// "Antialiasing" (undo saved, the view repainted), each timed whole. The counters split them:
//   open:   command_ms (the command; the window may paint inside it), paint_ms (the wait after)
//   rotate: preview_ms (until the dialog shows: the preview's reduced copy), rotate_ms (the
//           command after the dialog: undo copy, turn, refresh), paint_ms (the wait after)
// Runs with QT_QPA_PLATFORM=offscreen unless another platform is set.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>

#include "photo.h"
#include "platform/core/stream.h"
#include "quillon/mainform.h"
#include "quillon/program.h"
#include "vistrel/codecs/jpeg.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

const std::string& JpegFile() {
  static std::string name;
  if (name.empty()) {
    name = (std::filesystem::temp_directory_path() / "vistrel-editor-bench.jpg").string();
    TBitmap b;
    MakePhoto(b, 6000, 4000);
    TIOParamsVals p(nullptr);
    bool abort = false;
    TFilterProgress pr;
    pr.AbortFlag = &abort;
    p.JPEGQuality = 90;
    TFileStream f(name, fmCreate);
    SaveJpegToStream(&f, &b, p, pr);
  }
  return name;
}

// Notes which widgets painted since it was made (a widget may paint inside a command), once
// Ready says the picture to show is there.
class TPaintWatch : public QObject {
 public:
  explicit TPaintWatch(std::function<bool()> Ready = nullptr) : FReady(std::move(Ready)) {
    qApp->installEventFilter(this);
  }
  ~TPaintWatch() override { qApp->removeEventFilter(this); }
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint && (!FReady || FReady())) FPainted.insert(o);
    return false;
  }
  // Runs the event loop until w has painted (its handler has returned); false when that
  // takes more than five seconds.
  bool Wait(QWidget* w) {
    QElapsedTimer t;
    t.start();
    while (!FPainted.count(w) && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return FPainted.count(w) > 0;
  }

 private:
  std::function<bool()> FReady;
  std::set<QObject*> FPainted;
};

QWidget* ViewWidget(quillon::TMDIChild* c) { return c->VistrelVect1->ClientWidget(); }

quillon::TMainForm* Editor() {
  static quillon::TMainForm* main = nullptr;
  if (!main) {
    main = quillon::StartQuillon();
    main->Show();
    QCoreApplication::processEvents();
  }
  return main;
}

void CloseAll() {
  for (int i = Screen->FormCount() - 1; i >= 0; --i)
    if (auto* c = dynamic_cast<quillon::TMDIChild*>(Screen->Forms(i))) c->Free();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
}

// "&Open" with the file dialog answered by the picture's name.
quillon::TMDIChild* Open() {
  quillon::TMainForm* main = Editor();
  SetModalAnswer([](TModalRequest& r) {
    r.Value = JpegFile();
    return int(mrOk);
  });
  main->FileOpenItemClick(nullptr);
  SetModalAnswer(nullptr);
  quillon::TMDIChild* c = main->ActiveChild();
  return c && c->VistrelVect1->Bitmap()->Width() == 6000 ? c : nullptr;
}

bool IsPicture(quillon::TMainForm* main) {
  quillon::TMDIChild* a = main->ActiveChild();
  return a && a->VistrelVect1->Bitmap()->Width() == 6000;
}

void BM_OpenJpeg(benchmark::State& state) {
  quillon::TMainForm* main = Editor();
  JpegFile();
  double command = 0, paint = 0;
  for (auto _ : state) {
    TPaintWatch watch([main] { return IsPicture(main); });
    const auto t0 = Clock::now();
    quillon::TMDIChild* c = Open();
    const auto t1 = Clock::now();
    if (!c || !watch.Wait(ViewWidget(c))) {
      state.SkipWithError("the picture did not open and paint");
      break;
    }
    const auto t2 = Clock::now();
    command += Ms(t0, t1);
    paint += Ms(t1, t2);
    state.PauseTiming();
    CloseAll();
    state.ResumeTiming();
  }
  state.counters["command_ms"] = command / double(state.iterations());
  state.counters["paint_ms"] = paint / double(state.iterations());
}

// Each turn starts from the freshly opened picture, with no undo copy yet, as a user's first.
void BM_Rotate30AntiAliased(benchmark::State& state) {
  quillon::TMainForm* main = Editor();
  JpegFile();
  double preview = 0, rotate = 0, paint = 0;
  for (auto _ : state) {
    state.PauseTiming();
    CloseAll();
    TPaintWatch opened([main] { return IsPicture(main); });
    quillon::TMDIChild* c = Open();
    if (!c || !opened.Wait(ViewWidget(c))) {
      state.SkipWithError("the picture did not open and paint");
      break;
    }
    Clock::time_point shown;
    SetModalAnswer([main, &shown](TModalRequest& r) {
      shown = Clock::now();
      if (r.Form != main->fRotate) return int(mrCancel);
      main->fRotate->Edit1->SetText("30");
      main->fRotate->CheckBox1->SetChecked(true);
      return int(mrOk);
    });
    TPaintWatch watch([c] { return c->VistrelVect1->Bitmap()->Width() != 6000; });
    state.ResumeTiming();
    const auto t0 = Clock::now();
    main->Rotate1Click(nullptr);
    const auto t1 = Clock::now();
    const bool painted = watch.Wait(ViewWidget(c));
    const auto t2 = Clock::now();
    SetModalAnswer(nullptr);
    if (!painted || c->VistrelVect1->Bitmap()->Width() == 6000 || !c->VistrelProc1->CanUndo()) {
      state.SkipWithError("the picture did not turn");
      break;
    }
    preview += Ms(t0, shown);
    rotate += Ms(shown, t1);
    paint += Ms(t1, t2);
  }
  state.counters["preview_ms"] = preview / double(state.iterations());
  state.counters["rotate_ms"] = rotate / double(state.iterations());
  state.counters["paint_ms"] = paint / double(state.iterations());
  CloseAll();
}

// One run each, five times: the median shows beside the mean.
BENCHMARK(BM_OpenJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Rotate30AntiAliased)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove(JpegFile());
  return 0;
}
