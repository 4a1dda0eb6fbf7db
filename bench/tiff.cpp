// TIFF reading and writing: a 6000 x 4000 RGB picture uncompressed and PackBits, and a
// 4960 x 7016 Group 4 page; memcpy of the uncompressed file's bytes as the yardstick. The RGB
// pictures are also read from files into a new bitmap each time, as a viewer opens one
// picture after another (the previous picture's memory is freed first).
// The Group 4 page is also left in /tmp/vl_bench_g4.tif, to time `tiffcp -c none` on it:
//   time tiffcp -c none /tmp/vl_bench_g4.tif /tmp/vl_bench_plain.tif
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/tiff.h"

namespace {

TBitmap* Photo() {
  static TBitmap* b = [] {
    auto* bmp = new TBitmap;
    bmp->SetPixelFormat(pf24bit);
    bmp->SetSize(6000, 4000);
    std::mt19937 rng(1);
    for (int y = 0; y < 4000; ++y) {
      uint8_t* p = bmp->ScanLine(y);
      for (int x = 0; x < 6000; ++x) {
        // Smooth areas with some flat stretches and noise.
        bool flat = ((x / 64) + (y / 64)) % 4 == 0;
        p[3 * x] = uint8_t(flat ? 200 : (x + y) / 40 + (rng() & 3));
        p[3 * x + 1] = uint8_t(flat ? 180 : (x * 3) / 70);
        p[3 * x + 2] = uint8_t(flat ? 20 : (y * 5) / 80 + (rng() & 1));
      }
    }
    return bmp;
  }();
  return b;
}

// A text-like A4 page at 600 DPI: lines of letter-sized blobs and strokes, 1 bits black.
TBitmap* Page() {
  static TBitmap* b = [] {
    auto* bmp = new TBitmap;
    bmp->SetPixelFormat(pf1bit);
    bmp->SetSize(4960, 7016);
    for (int y = 0; y < 7016; ++y) std::memset(bmp->ScanLine(y), 0xFF, size_t(bmp->RowBytes()));
    std::mt19937 rng(7);
    auto black = [&](int x, int y) {
      uint8_t* r = bmp->ScanLine(y);
      r[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
    };
    for (int line = 300; line + 80 < 6700; line += 110) {
      int x = 400;
      while (x < 4500) {
        int w = 25 + int(rng() % 30), h = 50 + int(rng() % 20);
        if (rng() % 7 == 0) {
          x += 40;  // a space
          continue;
        }
        // A letter: a few vertical and horizontal strokes.
        int strokes = 2 + int(rng() % 3);
        for (int s = 0; s < strokes; ++s) {
          bool vertical = rng() % 2;
          int sx = x + int(rng() % unsigned(w)), sy = line + int(rng() % unsigned(h));
          for (int k = 0; k < (vertical ? h / 2 : w / 2); ++k)
            for (int t = 0; t < 7; ++t) {
              int px = vertical ? sx + t : sx + k, py = vertical ? sy + k : sy + t;
              if (px < 4960 && py < 7016) black(px, py);
            }
        }
        x += w + 8;
      }
    }
    return bmp;
  }();
  return b;
}

std::vector<uint8_t> Written(TBitmap* bmp, uint8_t compression, bool oneBit) {
  TMemoryStream ms;
  TIOParamsVals p(nullptr);
  p.TIFFCompression = compression;
  p.BitsPerSample = oneBit ? 1 : 8;
  p.SamplesPerPixel = oneBit ? 1 : 3;
  TFilterProgress progress;
  bool abort = false;
  progress.AbortFlag = &abort;
  WriteTIFFStream(&ms, false, bmp, p, progress);
  const uint8_t* m = static_cast<const uint8_t*>(ms.Memory());
  return std::vector<uint8_t>(m, m + ms.Size());
}

const std::vector<uint8_t>& File(int which) {
  static std::vector<uint8_t> files[3];
  if (files[which].empty()) {
    if (which == 0) files[0] = Written(Photo(), 0, false);
    if (which == 1) files[1] = Written(Photo(), 8, false);
    if (which == 2) {
      files[2] = Written(Page(), 4, true);
      TFileStream f("/tmp/vl_bench_g4.tif", fmCreate);
      f.WriteBuffer(files[2].data(), int64_t(files[2].size()));
    }
  }
  return files[which];
}

void Read(benchmark::State& state, int which) {
  const auto& file = File(which);
  TBitmap bmp;
  for (auto _ : state) {
    TReadOnlyMemoryStream ms(file.data(), int64_t(file.size()));
    TIOParamsVals p(nullptr);
    TFilterProgress progress;
    bool abort = false;
    progress.AbortFlag = &abort;
    int count;
    ReadTIFFStream(&bmp, &ms, count, p, progress, false);
    if (abort) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(bmp.Bits());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void ReadFileNewBitmap(benchmark::State& state, int which) {
  const auto& file = File(which);
  const std::string path = "/tmp/vl_bench_tiff_" + std::to_string(which) + ".tif";
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer(file.data(), int64_t(file.size()));
  }
  for (auto _ : state) {
    TFileStream f(path, fmOpenRead);
    TBitmap bmp;
    TIOParamsVals p(nullptr);
    TFilterProgress progress;
    bool abort = false;
    progress.AbortFlag = &abort;
    int count;
    ReadTIFFStream(&bmp, &f, count, p, progress, false);
    if (abort || bmp.Width() != 6000) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(bmp.Bits());
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void Write(benchmark::State& state, TBitmap* bmp, uint8_t compression, bool oneBit) {
  // Into a stream whose memory is already there.
  const int64_t size = int64_t(Written(bmp, compression, oneBit).size());
  TMemoryStream ms;
  ms.SetSize(size + 4096);
  TIOParamsVals p(nullptr);
  p.TIFFCompression = compression;
  p.BitsPerSample = oneBit ? 1 : 8;
  p.SamplesPerPixel = oneBit ? 1 : 3;
  for (auto _ : state) {
    ms.SetPosition(0);
    TFilterProgress progress;
    bool abort = false;
    progress.AbortFlag = &abort;
    WriteTIFFStream(&ms, false, bmp, p, progress);
    benchmark::DoNotOptimize(ms.Memory());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

void BM_MemcpyUncompressedBytes(benchmark::State& state) {
  const auto& file = File(0);
  std::vector<uint8_t> dest(file.size());
  for (auto _ : state) {
    std::memcpy(dest.data(), file.data(), file.size());
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void BM_ReadUncompressedRGB(benchmark::State& s) { Read(s, 0); }
void BM_ReadPackBitsRGB(benchmark::State& s) { Read(s, 1); }
void BM_ReadGroup4Page(benchmark::State& s) { Read(s, 2); }
void BM_ReadUncompressedRGBFileNewBitmap(benchmark::State& s) { ReadFileNewBitmap(s, 0); }
void BM_ReadPackBitsRGBFileNewBitmap(benchmark::State& s) { ReadFileNewBitmap(s, 1); }
void BM_WriteUncompressedRGB(benchmark::State& s) { Write(s, Photo(), 0, false); }
void BM_WritePackBitsRGB(benchmark::State& s) { Write(s, Photo(), 8, false); }
void BM_WriteGroup4Page(benchmark::State& s) { Write(s, Page(), 4, true); }

}  // namespace

BENCHMARK(BM_MemcpyUncompressedBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadUncompressedRGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPackBitsRGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGroup4Page)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadUncompressedRGBFileNewBitmap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPackBitsRGBFileNewBitmap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteUncompressedRGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WritePackBitsRGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteGroup4Page)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
