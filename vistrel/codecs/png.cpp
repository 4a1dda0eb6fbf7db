// PNG codec over libpng. libpng's errors leave through longjmp back to the function that
// called setjmp; those functions hold no C++ object with a destructor. Exceptions of the
// stream or of the progress handler are caught before they could cross libpng's frames: the
// stream's end the call as a failure, the handler's are raised again after the clean-up.
#include "vistrel/codecs/png.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/kernels/quantizer.h"

const char* const SPngWriteError = "Error on creating PNG";

namespace {

// Largest ancillary chunk (or decompressed profile) libpng may allocate, and how many
// ancillary chunks it may keep.
constexpr png_alloc_size_t kChunkMax = png_alloc_size_t(8) << 20;
constexpr png_uint_32 kChunkCount = 128;
// Deflate turns a byte into at most 1032; a file cut short still gets four times that before
// its picture is taken as more than its data can fill.
constexpr int64_t kMaxInflation = 4 * 1032;

struct TPngContext {
  jmp_buf Jump;
  TStream* Stream = nullptr;
  TFilterProgress* Progress = nullptr;
  bool Failed = false;         // libpng reported an error
  bool StreamFailed = false;   // the stream raised or ran dry
  TVLCause Cause = vcNone;     // why the core stopped, when it said so itself
  std::exception_ptr Pending;  // the progress handler's exception
  char Message[96] = {0};      // libpng's message at the error
  int64_t DataBytes = -1;      // bytes of IDAT data in the file (-1: not counted)
};

// Bytes of IDAT data from the stream's position (the signature) to IEND or the end of the
// stream, found by walking the chunk headers; the position is restored.
int64_t CountImageDataBytes(TStream* stream) {
  const int64_t start = stream->Position();
  const int64_t size = stream->Size();
  int64_t pos = start + 8, count = 0;
  uint8_t h[8];
  while (pos + 8 <= size) {
    stream->SetPosition(pos);
    if (stream->Read(h, 8) != 8) break;
    const int64_t length = (int64_t(h[0]) << 24) | (int64_t(h[1]) << 16) | (int64_t(h[2]) << 8) | h[3];
    if (std::memcmp(h + 4, "IEND", 4) == 0) break;
    if (std::memcmp(h + 4, "IDAT", 4) == 0) count += std::min(length, size - pos - 8);
    pos += 12 + length;
  }
  stream->SetPosition(start);
  return count;
}

// Bytes the image data inflate to: every row of every pass with its filter byte.
int64_t InflatedBytes(int64_t width, int64_t height, int bitsPerPixel, bool interlaced) {
  const auto rows = [&](int64_t w, int64_t h) { return w > 0 && h > 0 ? h * (1 + (w * bitsPerPixel + 7) / 8) : 0; };
  if (!interlaced) return rows(width, height);
  static const int x0[7] = {0, 4, 0, 2, 0, 1, 0}, dx[7] = {8, 8, 4, 4, 2, 2, 1};
  static const int y0[7] = {0, 0, 4, 0, 2, 0, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
  int64_t total = 0;
  for (int p = 0; p < 7; ++p) total += rows((width - x0[p] + dx[p] - 1) / dx[p], (height - y0[p] + dy[p] - 1) / dy[p]);
  return total;
}

TPngContext* ContextOf(png_structp png) { return static_cast<TPngContext*>(png_get_error_ptr(png)); }

void KeepMessage(TPngContext* ctx, png_const_charp msg) {
  if (ctx->Message[0] == 0 && msg) {
    std::strncpy(ctx->Message, msg, sizeof(ctx->Message) - 1);
    ctx->Message[sizeof(ctx->Message) - 1] = 0;
  }
}

void PngReadErrorProc(png_structp png, png_const_charp msg) {
  TPngContext* ctx = ContextOf(png);
  KeepMessage(ctx, msg);
  ctx->Failed = true;
  VLSetAbort(*ctx->Progress);
  longjmp(ctx->Jump, 1);
}

void PngWriteErrorProc(png_structp png, png_const_charp msg) {
  TPngContext* ctx = ContextOf(png);
  KeepMessage(ctx, msg);
  ctx->Failed = true;
  longjmp(ctx->Jump, 1);
}

void PngReadWarningProc(png_structp, png_const_charp) {}
void PngWriteWarningProc(png_structp, png_const_charp) {}

void PngStreamRead(png_structp png, png_bytep data, png_size_t length) {
  auto* ctx = static_cast<TPngContext*>(png_get_io_ptr(png));
  int64_t n = -1;
  try {
    n = ctx->Stream->Read(data, int64_t(length));
  } catch (...) {
    n = -1;
  }
  if (n != int64_t(length)) {
    ctx->StreamFailed = true;
    png_error(png, "PNG data ends early");
  }
}

void PngStreamWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* ctx = static_cast<TPngContext*>(png_get_io_ptr(png));
  int64_t n = -1;
  try {
    n = ctx->Stream->Write(data, int64_t(length));
  } catch (...) {
    n = -1;  // a stream that raises has failed the write like one that refuses
  }
  if (n != int64_t(length)) {
    ctx->StreamFailed = true;
    png_error(png, "stream write error");
  }
}

void PngStreamFlush(png_structp) {}

bool Report(TPngContext& ctx, int64_t rows) {
  try {
    return VLReportProgress(*ctx.Progress, rows);
  } catch (...) {
    ctx.Pending = std::current_exception();
    return true;
  }
}

bool SizeBitmap(TBitmap* bitmap, int w, int h, TPixelFormat pf) {
  try {
    bitmap->SetSize(1, 1);
    bitmap->SetPixelFormat(pf);
    // 0 bits black, 1 bits white, whatever palette the bitmap had before.
    if (pf == pf1bit) bitmap->SetPalette({TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}});
    bitmap->SetSize(w, h);
    return true;
  } catch (...) {
    return false;
  }
}

int SamplesOfColorType(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_PALETTE: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 0;
  }
}

// A sample of the file's depth as 8 bits.
uint8_t SampleTo8(unsigned v, int depth) {
  if (depth == 16) return uint8_t(v >> 8);
  if (depth == 8) return uint8_t(v);
  const unsigned top = (1u << depth) - 1;
  return uint8_t((v & top) * 255 / top);
}

int DpiFromPpm(png_uint_32 ppm) {
  int dpi = RoundInt((long double)ppm * 0.01L * 2.54L);
  return dpi == 0 ? ScreenPixelsPerInch() : dpi;
}

void FailWith(TPngContext& ctx, TVLCause cause, const char* reason) {
  KeepMessage(&ctx, reason);
  ctx.Cause = cause;
  ctx.Failed = true;
  VLSetAbort(*ctx.Progress);
}

// Holds no C++ object with a destructor: libpng may longjmp back here.
void DecodePng(TPngContext& ctx, png_structp png, png_infop info, TBitmap* bitmap, TIOParamsVals& params,
               bool paramsOnly) {
  if (setjmp(ctx.Jump)) return;
  png_set_read_fn(png, &ctx, PngStreamRead);
  // Ancillary chunks the reader has no use for are skipped unread: libpng would allocate
  // (and clear) whatever length they declare before finding the file too short.
  static const png_byte kSkipped[] = {'t', 'E', 'X', 't', 0,   'z', 'T', 'X', 't', 0,   'i', 'T',
                                      'X', 't', 0,   's', 'P', 'L', 'T', 0,   'p', 'C', 'A', 'L',
                                      0,   's', 'C', 'A', 'L', 0,   'e', 'X', 'I', 'f', 0};
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped, int(sizeof(kSkipped) / 5));
  // The ones it keeps (colour profiles above all) are capped, in size and in number.
  png_set_chunk_malloc_max(png, kChunkMax);
  png_set_chunk_cache_max(png, kChunkCount);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);

  // Background.
  png_color_16p fileBack = nullptr;
  if (png_get_bKGD(png, info, &fileBack) && fileBack) {
    png_set_background(png, fileBack, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
      VLMakeRGB(fileBack->red, fileBack->green, fileBack->blue, params.PNGBackground);
    } else if (colorType & PNG_COLOR_MASK_COLOR) {
      VLMakeRGB(SampleTo8(fileBack->red, depth), SampleTo8(fileBack->green, depth), SampleTo8(fileBack->blue, depth),
                params.PNGBackground);
    } else {
      const uint8_t g = SampleTo8(fileBack->gray, depth);
      VLMakeRGB(g, g, g, params.PNGBackground);
    }
  } else if (!(depth == 1 && colorType == PNG_COLOR_TYPE_PALETTE)) {
    png_color_16 back;
    std::memset(&back, 0, sizeof(back));
    const TRGB& b = params.PNGBackground;
    if (depth == 1) {
      // Composited at the file's depth: a 1-bit background. (The indices of a 1-bit
      // palette image are kept as they are, so it needs none.)
      back.gray = ((b.R * 21 + b.G * 71 + b.B * 7) / 100) >= 128 ? 1 : 0;
      back.index = back.gray;
      back.red = back.green = back.blue = back.gray;
      png_set_background(png, &back, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
    } else {
      // In the output's 8-bit samples; libpng widens them itself for 16-bit files.
      back.red = b.R;
      back.green = b.G;
      back.blue = b.B;
      back.gray = png_uint_16((b.R * 21 + b.G * 71 + b.B * 7) / 100);
      png_set_background(png, &back, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    }
  }

  // Transformations.
  const bool gray = (colorType & PNG_COLOR_MASK_COLOR) == 0;
  if ((colorType == PNG_COLOR_TYPE_PALETTE && depth >= 2 && depth <= 8) || (gray && depth >= 2 && depth <= 7))
    png_set_expand(png);
  else if (depth > 1 && png_get_valid(png, info, PNG_INFO_tRNS))
    png_set_expand(png);  // the key colour becomes alpha: compared after gray to RGB it would never match
  if (depth == 16) png_set_strip_16(png);
  if (depth >= 2 && depth <= 7) png_set_packing(png);
  if (gray && depth > 1) png_set_gray_to_rgb(png);
  if (depth > 1) png_set_bgr(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  params.Width = int(width);
  params.Height = int(height);
  params.BitsPerSample = depth;
  params.SamplesPerPixel = SamplesOfColorType(colorType);
  params.DpiX = DpiFromPpm(png_get_x_pixels_per_meter(png, info));
  params.DpiY = DpiFromPpm(png_get_y_pixels_per_meter(png, info));
  params.FreeColorMap();
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &palette, &count) && palette && count > 0) {
      TRGB map[256];
      if (count > 256) count = 256;
      for (int i = 0; i < count; ++i) VLMakeRGB(palette[i].red, palette[i].green, palette[i].blue, map[i]);
      params.SetColorMap(map, count);
    }
  }
  params.PNGInterlaced = interlace != PNG_INTERLACE_NONE;
  if (paramsOnly) return;

  // What the transformations produce must fit the rows it goes to.
  const int channels = png_get_channels(png, info);
  const int outDepth = png_get_bit_depth(png, info);
  const bool oneBit = depth == 1;
  if (oneBit ? (channels != 1 || outDepth != 1) : (channels != 3 || outDepth != 8)) {
    FailWith(ctx, vcUnsupported, "unsupported PNG layout");
    return;
  }
  const int64_t bytes = BitmapRowBytes(width, oneBit ? 1 : 24) * int64_t(height);
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF || bytes > TBitmap::MaxBytes()) {
    FailWith(ctx, vcTooLarge, "image too large");
    return;
  }
  if (ctx.DataBytes >= 0 && InflatedBytes(width, height, depth * SamplesOfColorType(colorType),
                                          interlace != PNG_INTERLACE_NONE) > ctx.DataBytes * kMaxInflation) {
    FailWith(ctx, vcTruncated, "PNG data too short for its picture");
    return;
  }
  if (!SizeBitmap(bitmap, int(width), int(height), oneBit ? pf1bit : pf24bit)) {
    FailWith(ctx, vcTooLarge, "image too large");
    return;
  }
  if (int64_t(png_get_rowbytes(png, info)) > bitmap->RowBytes()) {
    FailWith(ctx, vcUnsupported, "unsupported PNG layout");
    return;
  }
  TFilterProgress& progress = *ctx.Progress;
  progress.PercentPerRow = 100.0 / (double(height) * passes);
  progress.RowCounter = 0;
  const int64_t step = bitmap->RowBytes();
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_bytep row = bitmap->Bits() + int64_t(y) * step;
      png_read_rows(png, &row, nullptr, 1);
      ++progress.RowCounter;
      if (Report(ctx, progress.RowCounter)) return;
    }
  }
  png_read_end(png, nullptr);
}

struct TPngWriteJob {
  TBitmap* Source = nullptr;
  int ColorType = PNG_COLOR_TYPE_RGB;
  int Depth = 8;
  bool Invert = false;  // a 1-bit source whose colour 0 is the lighter
  TVLQuantizer* Quantizer = nullptr;
  TRGB* Palette = nullptr;  // 256 entries
  uint8_t* Work = nullptr;  // one row of indices or inverted bits
};

void EncodePng(TPngContext& ctx, png_structp png, png_infop info, TPngWriteJob& job, TIOParamsVals& params) {
  if (setjmp(ctx.Jump)) return;
  png_set_write_fn(png, &ctx, PngStreamWrite, PngStreamFlush);
  TBitmap* src = job.Source;
  const int w = src->Width(), h = src->Height();
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), job.Depth, job.ColorType,
               params.PNGInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (job.ColorType == PNG_COLOR_TYPE_PALETTE) {
    png_color pal[256];
    for (int i = 0; i < 256; ++i) {
      pal[i].red = job.Palette[i].R;
      pal[i].green = job.Palette[i].G;
      pal[i].blue = job.Palette[i].B;
    }
    png_set_PLTE(png, info, pal, 256);
  }
  const auto ppm = [](int dpi) -> png_uint_32 {
    if (dpi <= 0) return 0;
    return png_uint_32(Round((long double)dpi * 100 * 0.3937007874015748L));
  };
  png_set_pHYs(png, info, ppm(params.DpiX), ppm(params.DpiY), PNG_RESOLUTION_METER);
  switch (params.PNGFilter) {
    case 0: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE); break;
    case 1: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB); break;
    case 2: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH); break;
    default: break;
  }
  // The background at the file's depth.
  png_color_16 back;
  std::memset(&back, 0, sizeof(back));
  const TRGB& b = params.PNGBackground;
  if (job.ColorType == PNG_COLOR_TYPE_PALETTE) {
    back.index = png_byte(job.Quantizer->ColorIndex(b));
  } else if (job.ColorType == PNG_COLOR_TYPE_GRAY) {
    back.gray = ((b.R * 21 + b.G * 71 + b.B * 7) / 100) >= 128 ? 1 : 0;
  } else {
    back.red = b.R;
    back.green = b.G;
    back.blue = b.B;
  }
  png_set_bKGD(png, info, &back);
  png_set_compression_level(png, params.PNGCompression < 0 ? 0 : params.PNGCompression > 9 ? 9 : params.PNGCompression);
  if (job.ColorType == PNG_COLOR_TYPE_RGB) png_set_bgr(png);
  png_write_info(png, info);

  const int passes = png_set_interlace_handling(png);
  TFilterProgress& progress = *ctx.Progress;
  progress.PercentPerRow = 100.0 / (double(passes) * h);
  progress.RowCounter = 0;
  const int64_t step = src->RowBytes();
  const int64_t bitBytes = (int64_t(w) + 7) / 8;
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < h; ++y) {
      png_bytep row = src->Bits() + int64_t(y) * step;
      if (job.ColorType == PNG_COLOR_TYPE_PALETTE) {
        const TRGB* p = reinterpret_cast<const TRGB*>(row);
        for (int x = 0; x < w; ++x) job.Work[x] = uint8_t(job.Quantizer->ColorIndex(p[x]));
        row = job.Work;
      } else if (job.Invert) {
        for (int64_t i = 0; i < bitBytes; ++i) job.Work[i] = uint8_t(~row[i]);
        row = job.Work;
      }
      png_write_rows(png, &row, 1);
      ++progress.RowCounter;
      if (Report(ctx, progress.RowCounter)) return;
    }
  }
  png_write_end(png, info);
}

int Luma(const TRGBQuad& q) { return (q.R * 21 + q.G * 71 + q.B * 7) / 100; }

}  // namespace

bool VLIsPNG(const uint8_t* Head, int64_t StreamSize) {
  return StreamSize > 8 && png_sig_cmp(const_cast<png_bytep>(Head), 0, 8) == 0;
}

bool HasPngSignature(TStream* Stream) {
  uint8_t b[8] = {0};
  int64_t n = 0;
  try {
    n = Stream->Read(b, 8);
    if (n > 0) Stream->Seek(-n, soCurrent);
  } catch (const EStreamError&) {
    return false;
  }
  return n == 8 && png_sig_cmp(b, 0, 8) == 0;
}

void LoadPngCore(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly, TFilterProgress& Progress) {
  TVLAbortFlagScope flag(Progress);
  VLGuardCodec(Progress, crRead, [&] {
    TPngContext ctx;
    ctx.Stream = Stream;
    ctx.Progress = &Progress;
    const bool signature = HasPngSignature(Stream);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, PngReadErrorProc, PngReadWarningProc);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
      if (png) png_destroy_read_struct(&png, nullptr, nullptr);
      VLThrowFail(vcTooLarge, "cannot create PNG reader");
    }
    if (!ParamsOnly) {
      int64_t start = -1;
      try {
        start = Stream->Position();
        ctx.DataBytes = CountImageDataBytes(Stream);
      } catch (...) {
        ctx.DataBytes = -1;  // left to libpng, which meets the same stream
        try {
          if (start >= 0) Stream->SetPosition(start);
        } catch (...) {}
      }
    }
    DecodePng(ctx, png, info, Bitmap, Params, ParamsOnly);
    png_destroy_read_struct(&png, &info, nullptr);
    if (ctx.Pending) std::rethrow_exception(ctx.Pending);
    if (ctx.Failed) {
      TVLCause cause = ctx.Cause;
      if (cause == vcNone) cause = !signature ? vcNotFormat : ctx.StreamFailed ? vcTruncated : vcLibraryError;
      VLFail(Progress, cause, ctx.Message[0] ? ctx.Message : "PNG library error");
    }
  });
}

void LoadPngFromStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                       TFilterProgress& Progress) {
  LoadPngCore(Stream, Bitmap, Params, ParamsOnly, Progress);
}

namespace {
void WritePng(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);
}  // namespace

void SavePngToStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress) {
  TVLAbortFlagScope flag(Progress);
  VLGuardCodec(Progress, crWrite, [&] { WritePng(Stream, Bitmap, Params, Progress); });
}

namespace {

void WritePng(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress) {
  if (!Bitmap || Bitmap->Empty()) VLThrowFail(vcNoPicture, SPngWriteError);

  // The source at the depth to be written.
  TPngWriteJob job;
  std::unique_ptr<TBitmap> temp;
  std::unique_ptr<TBitmap> wide;  // a bitmap of another format, at 24 bits
  if (Bitmap->PixelFormat() != pf1bit && Bitmap->PixelFormat() != pf24bit) {
    wide = std::make_unique<TBitmap>();
    wide->Assign(Bitmap);
    wide->SetPixelFormat(pf24bit);
    Bitmap = wide.get();
  }
  std::unique_ptr<TVLQuantizer> quantizer;
  std::vector<TRGB> palette;
  std::vector<uint8_t> work;
  const bool oneBitFile = Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1;
  if (oneBitFile) {
    job.ColorType = PNG_COLOR_TYPE_GRAY;
    job.Depth = 1;
    if (Bitmap->PixelFormat() == pf1bit) {
      job.Source = Bitmap;
      const auto& pal = Bitmap->Palette();
      job.Invert = pal.size() >= 2 && Luma(pal[0]) > Luma(pal[1]);
    } else {
      TRGB c0, c1;
      temp.reset(VLMake1BitForWrite(Bitmap, c0, c1));
      job.Source = temp.get();
    }
  } else {
    job.ColorType = Params.SamplesPerPixel == 1 ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB;
    job.Depth = 8;
    if (Bitmap->PixelFormat() == pf24bit) {
      job.Source = Bitmap;
    } else {
      temp = std::make_unique<TBitmap>();
      VLExpand1BitTo24Bit(Bitmap, temp.get());
      job.Source = temp.get();
    }
    if (job.ColorType == PNG_COLOR_TYPE_PALETTE) {
      palette.assign(256, TRGB{});
      quantizer = std::make_unique<TVLQuantizer>(job.Source, palette.data(), 0, 256, -1, 0);
      job.Quantizer = quantizer.get();
      job.Palette = palette.data();
    }
  }
  work.assign(size_t(job.Source->Width()) + 8, 0);
  job.Work = work.data();

  TPngContext ctx;
  ctx.Stream = Stream;
  ctx.Progress = &Progress;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, PngWriteErrorProc, PngWriteWarningProc);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    if (png) png_destroy_write_struct(&png, nullptr);
    VLThrowFail(vcTooLarge, SPngWriteError);
  }
  EncodePng(ctx, png, info, job, Params);
  png_destroy_write_struct(&png, &info);
  if (ctx.Pending) std::rethrow_exception(ctx.Pending);
  if (ctx.Failed) VLFail(Progress, ctx.StreamFailed ? vcWriteFailed : vcLibraryError, SPngWriteError);
}

}  // namespace
