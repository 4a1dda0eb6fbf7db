// JPEG and PNG decoding and encoding of a 6000 x 4000 picture from memory, and plain
// libjpeg decoding the same JPEG as the baseline of our JPEG reader.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "vistrel/codecs/jpeg.h"
#include "vistrel/codecs/png.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

// Gradients, edges and a little noise, so that neither codec has it too easy.
TBitmap& Picture() {
  static std::unique_ptr<TBitmap> bmp;
  if (!bmp) {
    bmp = std::make_unique<TBitmap>();
    bmp->SetPixelFormat(pf24bit);
    bmp->SetSize(kWidth, kHeight);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = bmp->ScanLine(y);
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = int(seed >> 29);
        const int edge = ((x / 97 + y / 61) & 1) ? 40 : 0;
        row[3 * x + 0] = uint8_t((x * 200 / kWidth + edge + noise) & 0xFF);
        row[3 * x + 1] = uint8_t((y * 220 / kHeight + noise) & 0xFF);
        row[3 * x + 2] = uint8_t(((x + y) * 180 / (kWidth + kHeight) + edge) & 0xFF);
      }
    }
  }
  return *bmp;
}

std::vector<uint8_t> Encode(bool png) {
  TMemoryStream out;
  TIOParamsVals params(nullptr);
  params.JPEGQuality = 90;
  bool abort = false;
  TFilterProgress progress;
  progress.AbortFlag = &abort;
  if (png) SavePngToStream(&out, &Picture(), params, progress);
  else SaveJpegToStream(&out, &Picture(), params, progress);
  const uint8_t* p = static_cast<const uint8_t*>(out.Memory());
  return std::vector<uint8_t>(p, p + out.Size());
}

const std::vector<uint8_t>& JpegFile() {
  static std::vector<uint8_t> data = Encode(false);
  return data;
}

const std::vector<uint8_t>& PngFile() {
  static std::vector<uint8_t> data = Encode(true);
  return data;
}

// Decodes the JPEG into bmp; false when the reader aborted.
bool DecodeJpeg(TBitmap* bmp) {
  const std::vector<uint8_t>& file = JpegFile();
  TReadOnlyMemoryStream s(file.data(), int64_t(file.size()));
  TIOParamsVals params(nullptr);
  bool abort = false;
  TFilterProgress progress;
  progress.AbortFlag = &abort;
  LoadJpegFromStream(&s, bmp, params, false, progress);
  return !abort;
}

void BM_JpegDecode(benchmark::State& state) {
  TBitmap bmp;
  for (auto _ : state) {
    if (!DecodeJpeg(&bmp)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(bmp.Bits());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 3);
}

// Into a new bitmap each time, as opening a file does: allocation and first touch included.
void BM_JpegDecodeNewBitmap(benchmark::State& state) {
  for (auto _ : state) {
    TBitmap bmp;
    if (!DecodeJpeg(&bmp)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(bmp.Bits());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 3);
}

// Plain libjpeg: memory source, default error manager, RGB rows into one buffer.
void BM_JpegDecodePlainLibjpeg(benchmark::State& state) {
  const std::vector<uint8_t>& file = JpegFile();
  std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t(cinfo.output_width) * cinfo.output_components;
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW rows[4];
      int n = cinfo.rec_outbuf_height > 4 ? 4 : cinfo.rec_outbuf_height;
      for (int i = 0; i < n; ++i)
        rows[i] = pixels.data() + stride * std::min<size_t>(cinfo.output_scanline + i, cinfo.output_height - 1);
      jpeg_read_scanlines(&cinfo, rows, JDIMENSION(n));
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 3);
}

void BM_JpegEncode(benchmark::State& state) {
  TBitmap& bmp = Picture();
  for (auto _ : state) {
    TMemoryStream out;
    TIOParamsVals params(nullptr);
    params.JPEGQuality = 90;
    bool abort = false;
    TFilterProgress progress;
    progress.AbortFlag = &abort;
    SaveJpegToStream(&out, &bmp, params, progress);
    benchmark::DoNotOptimize(out.Memory());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 3);
}

void BM_PngDecode(benchmark::State& state) {
  const std::vector<uint8_t>& file = PngFile();
  TBitmap bmp;
  for (auto _ : state) {
    TReadOnlyMemoryStream s(file.data(), int64_t(file.size()));
    TIOParamsVals params(nullptr);
    bool abort = false;
    TFilterProgress progress;
    progress.AbortFlag = &abort;
    LoadPngFromStream(&s, &bmp, params, false, progress);
    if (abort) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(bmp.Bits());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 3);
}

void BM_PngEncode(benchmark::State& state) {
  TBitmap& bmp = Picture();
  for (auto _ : state) {
    TMemoryStream out;
    TIOParamsVals params(nullptr);  // compression level 5, no filter
    bool abort = false;
    TFilterProgress progress;
    progress.AbortFlag = &abort;
    SavePngToStream(&out, &bmp, params, progress);
    benchmark::DoNotOptimize(out.Memory());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 3);
}

}  // namespace

BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_JpegDecodeNewBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegDecodePlainLibjpeg)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_JpegEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngEncode)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
