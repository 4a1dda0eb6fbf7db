// Reading and writing a 6000 x 4000 24-bit BMP in memory, beside a plain memcpy of as many bytes;
// and reading it from a file into a new bitmap each time, as a viewer opens one picture after
// another (the previous picture's memory is freed first).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vistrel/codecs/bmp.h"

namespace {

constexpr int kW = 6000, kH = 4000;
constexpr int64_t kBytes = int64_t(kW) * 3 * kH;  // rows need no padding at this width

TBitmap& Picture() {
  static TBitmap b;
  if (b.Empty()) {
    b.SetPixelFormat(pf24bit);
    b.SetSize(kW, kH);
    for (int y = 0; y < kH; ++y) {
      uint8_t* p = b.ScanLine(y);
      for (int x = 0; x < kW * 3; ++x) p[x] = uint8_t(x * 7 + y);
    }
  }
  return b;
}

TMemoryStream& File() {
  static TMemoryStream s;
  if (s.Size() == 0) {
    TIOParamsVals p(nullptr);
    bool abort = false;
    TFilterProgress pr;
    pr.AbortFlag = &abort;
    WriteBMPStream(&s, &Picture(), p, pr);
  }
  return s;
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> a(size_t(kBytes), 1), b(size_t(kBytes), 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), size_t(kBytes));
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_ReadBMP(benchmark::State& state) {
  TMemoryStream& file = File();
  TReadOnlyMemoryStream s(file.Memory(), file.Size());
  TBitmap b;
  TIOParamsVals p(nullptr);
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  for (auto _ : state) {
    s.SetPosition(0);
    ReadBMPStream(&s, &b, p, 0, pr, false);
    benchmark::DoNotOptimize(b.Bits());
  }
  if (abort || b.Width() != kW) state.SkipWithError("read failed");
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_ReadBMPFileNewBitmap(benchmark::State& state) {
  const std::string path = "/tmp/vl_bench_bmp.bmp";
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer(File().Memory(), File().Size());
  }
  TIOParamsVals p(nullptr);
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  for (auto _ : state) {
    TFileStream f(path, fmOpenRead);
    TBitmap b;
    ReadBMPStream(&f, &b, p, f.Size(), pr, false);
    if (b.Width() != kW) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(b.Bits());
  }
  std::remove(path.c_str());
  if (abort) state.SkipWithError("read failed");
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_WriteBMP(benchmark::State& state) {
  TBitmap& b = Picture();
  TMemoryStream s;
  TIOParamsVals p(nullptr);
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  for (auto _ : state) {
    s.SetPosition(0);
    WriteBMPStream(&s, &b, p, pr);
    benchmark::DoNotOptimize(s.Memory());
  }
  if (abort || s.Size() != 54 + kBytes) state.SkipWithError("write failed");
  state.SetBytesProcessed(state.iterations() * kBytes);
}

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBMP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBMPFileNewBitmap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteBMP)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
