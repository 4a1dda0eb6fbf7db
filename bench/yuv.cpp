// Video frames of 640 x 480 read into a new picture, as the frame view shows them: I420 and
// YUY2, beside an 8-bit palette frame of the same size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "vistrel/proc/kernels/packeddib.h"

namespace {

constexpr int kW = 640, kH = 480;

std::vector<uint8_t> Header(int bits, const char* fourcc, int64_t dataBytes, int colours) {
  std::vector<uint8_t> h(40 + size_t(colours) * 4);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) h[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  put(0, 40, 4);
  put(4, kW, 4);
  put(8, kH, 4);
  put(12, 1, 2);
  put(14, uint32_t(bits), 2);
  uint32_t code = 0;
  if (fourcc) std::memcpy(&code, fourcc, 4);
  put(16, code, 4);
  put(20, uint32_t(dataBytes), 4);
  for (int i = 0; i < colours; ++i) put(40 + size_t(i) * 4, uint32_t(i) * 0x010101u, 4);
  return h;
}

std::vector<uint8_t> Data(int64_t bytes) {
  std::vector<uint8_t> d(static_cast<size_t>(bytes));
  for (size_t i = 0; i < d.size(); ++i) d[i] = uint8_t((i * 2654435761u) >> 13);
  return d;
}

void Frame(benchmark::State& state, int bits, const char* fourcc, int64_t dataBytes, int colours) {
  const std::vector<uint8_t> h = Header(bits, fourcc, dataBytes, colours), d = Data(dataBytes);
  for (auto _ : state) {
    TBitmap b;
    if (!VLPackedDIBToBitmap(h.data(), &b, d.data(), true, int64_t(h.size()), int64_t(d.size())))
      state.SkipWithError("not read");
    benchmark::DoNotOptimize(b.ScanLine(0)[0]);
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

}  // namespace

static void BM_FrameI420(benchmark::State& s) { Frame(s, 12, "I420", int64_t(kW) * kH * 3 / 2, 0); }
static void BM_FrameYUY2(benchmark::State& s) { Frame(s, 16, "YUY2", int64_t(kW) * kH * 2, 0); }
static void BM_FramePalette8(benchmark::State& s) { Frame(s, 8, nullptr, int64_t(kW) * kH, 256); }
BENCHMARK(BM_FrameI420)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameYUY2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramePalette8)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
