// The editor driven headless as a user drives it, on a 6000 x 4000 JPEG (q90, 4:2:0):
// "&Open" until the document window has painted, and "&Rotate" by 30 degrees with
// "Antialiasing" (undo saved, the view repainted). The counters split each step:
//   open:   load_ms (the command, reading included), paint_ms (until the view has painted)
//   rotate: preview_ms (the dialog's copy of the picture), rotate_ms (undo copy and turn),
//           paint_ms
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

// Opens the file as "&Open" does; the time the file dialog was answered goes to Answered.
quillon::TMDIChild* Open(Clock::time_point& Answered) {
  quillon::TMainForm* main = Editor();
  SetModalAnswer([&Answered](TModalRequest& r) {
    r.Value = JpegFile();
    Answered = Clock::now();
    return int(mrOk);
  });
  main->FileOpenItemClick(nullptr);
  SetModalAnswer(nullptr);
  return main->ActiveChild();
}

void BM_OpenJpeg(benchmark::State& state) {
  quillon::TMainForm* main = Editor();
  JpegFile();
  double load = 0, paint = 0;
  for (auto _ : state) {
    Clock::time_point answered;
    TPaintWatch watch([main] {
      quillon::TMDIChild* a = main->ActiveChild();
      return a && a->VistrelVect1->Bitmap()->Width() == 6000;
    });
    const auto t0 = Clock::now();
    quillon::TMDIChild* c = Open(answered);
    const auto t1 = Clock::now();
    if (!c || c->VistrelVect1->Bitmap()->Width() != 6000) {
      state.SkipWithError("the picture did not open");
      break;
    }
    if (!watch.Wait(ViewWidget(c))) {
      state.SkipWithError("the view did not paint");
      break;
    }
    const auto t2 = Clock::now();
    load += Ms(t0, t1);
    paint += Ms(t1, t2);
    state.PauseTiming();
    CloseAll();
    state.ResumeTiming();
  }
  state.counters["load_ms"] = benchmark::Counter(load, benchmark::Counter::kAvgIterations);
  state.counters["paint_ms"] = benchmark::Counter(paint, benchmark::Counter::kAvgIterations);
}

void BM_Rotate30AntiAliased(benchmark::State& state) {
  quillon::TMainForm* main = Editor();
  Clock::time_point answered;
  quillon::TMDIChild* c = Open(answered);
  if (!c) {
    state.SkipWithError("the picture did not open");
    return;
  }
  TPaintWatch first;
  first.Wait(ViewWidget(c));
  double preview = 0, rotate = 0, paint = 0;
  for (auto _ : state) {
    Clock::time_point shown;
    SetModalAnswer([main, &shown](TModalRequest& r) {
      shown = Clock::now();
      if (r.Form != main->fRotate) return int(mrCancel);
      main->fRotate->Edit1->SetText("30");
      main->fRotate->CheckBox1->SetChecked(true);
      return int(mrOk);
    });
    TPaintWatch watch([c] { return c->VistrelVect1->Bitmap()->Width() != 6000; });
    const auto t0 = Clock::now();
    main->Rotate1Click(nullptr);
    const auto t1 = Clock::now();
    SetModalAnswer(nullptr);
    if (!watch.Wait(ViewWidget(c)) || c->VistrelVect1->Bitmap()->Width() == 6000 || !c->VistrelProc1->CanUndo()) {
      state.SkipWithError("the picture did not turn");
      break;
    }
    const auto t2 = Clock::now();
    preview += Ms(t0, shown);
    rotate += Ms(shown, t1);
    paint += Ms(t1, t2);
    state.PauseTiming();
    c->VistrelProc1->Undo();
    TPaintWatch back;
    back.Wait(ViewWidget(c));
    state.ResumeTiming();
  }
  state.counters["preview_ms"] = benchmark::Counter(preview, benchmark::Counter::kAvgIterations);
  state.counters["rotate_ms"] = benchmark::Counter(rotate, benchmark::Counter::kAvgIterations);
  state.counters["paint_ms"] = benchmark::Counter(paint, benchmark::Counter::kAvgIterations);
  CloseAll();
}

BENCHMARK(BM_OpenJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Rotate30AntiAliased)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

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
