// JPEG codec over libjpeg. Library errors leave through longjmp back to the function that
// called setjmp; those functions hold no C++ object with a destructor, so nothing is
// skipped. Exceptions of the stream or of the progress handler are caught before they
// could cross the library's frames: the stream's end the call as a failure, the handler's
// are kept in the context and raised again after the clean-up.
#include "vistrel/codecs/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

#include "vistrel/proc/kernels/pixels.h"

namespace {

constexpr size_t kJpegBufferSize = 16384;
// A progressive file with more scans than this is taken as hostile.
constexpr int kMaxScans = 1000;
// Huffman-coded scan data spend at least one bit on every block of every component (its DC
// difference), so a byte covers at most 8 blocks; a file whose data are cut short still gets
// four times that before its frame is taken as more than the data can fill.
constexpr int64_t kBlocksPerScanByte = 32;

struct TJpegContext {
  jpeg_error_mgr Err;  // first: the library hands it back as cinfo->err
  jmp_buf Jump;
  bool* AbortPtr = nullptr;  // the caller's abort flag; cleared while finishing
  TFilterProgress* Progress = nullptr;
  TStream* Stream = nullptr;
  bool StreamFailed = false;     // the stream raised or ran dry
  std::exception_ptr Pending;    // the progress handler's exception
  const char* Reason = nullptr;  // why the core stopped (static text)
  TVLCause Cause = vcNone;       // and its cause
  TBitmap* Bitmap = nullptr;     // the bitmap being decoded into
  bool Reused = false;           // it had the output size and format already
  bool Allocated = false;        // it was allocated for the output, not cleared
  int LastCode = 0;              // the library's message code at the error
  int64_t ScanBytes = -1;        // bytes of entropy-coded data in the file (-1: not counted)
  bool DataEnded = false;        // the scan data ran out before the picture did
  jpeg_progress_mgr Monitor;
};

struct TJpegSource {
  jpeg_source_mgr Pub;
  TJpegContext* Ctx;
  JOCTET Buffer[kJpegBufferSize];
};

struct TJpegDest {
  jpeg_destination_mgr Pub;
  TJpegContext* Ctx;
  JOCTET Buffer[kJpegBufferSize];
};

TJpegContext* ContextOf(j_common_ptr cinfo) { return reinterpret_cast<TJpegContext*>(cinfo->err); }

// Source manager over a TStream.
void SrcInit(j_decompress_ptr) {}

boolean SrcFill(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<TJpegSource*>(cinfo->src);
  int64_t n = 0;
  try {
    n = src->Ctx->Stream->Read(src->Buffer, int64_t(kJpegBufferSize));
  } catch (...) {
    n = -1;
  }
  if (n <= 0) {
    // A file that ends early is an error here, not a warning with made-up data.
    src->Ctx->StreamFailed = true;
    ERREXIT(cinfo, n < 0 ? JERR_FILE_READ : JERR_INPUT_EOF);
  }
  src->Pub.next_input_byte = src->Buffer;
  src->Pub.bytes_in_buffer = size_t(n);
  return TRUE;
}

void SrcSkip(j_decompress_ptr cinfo, long numBytes) {
  if (numBytes <= 0) return;
  auto* src = reinterpret_cast<TJpegSource*>(cinfo->src);
  size_t left = size_t(numBytes);
  while (left > src->Pub.bytes_in_buffer) {
    left -= src->Pub.bytes_in_buffer;
    src->Pub.bytes_in_buffer = 0;
    SrcFill(cinfo);
  }
  src->Pub.next_input_byte += left;
  src->Pub.bytes_in_buffer -= left;
}

void SrcTerm(j_decompress_ptr) {}

// Destination manager over a TStream.
void DestInit(j_compress_ptr cinfo) {
  auto* dst = reinterpret_cast<TJpegDest*>(cinfo->dest);
  dst->Pub.next_output_byte = dst->Buffer;
  dst->Pub.free_in_buffer = kJpegBufferSize;
}

bool DestWrite(j_compress_ptr cinfo, size_t count) {
  auto* dst = reinterpret_cast<TJpegDest*>(cinfo->dest);
  int64_t n = -1;
  try {
    n = dst->Ctx->Stream->Write(dst->Buffer, int64_t(count));
  } catch (...) {
    n = -1;  // a stream that raises has failed the write like one that refuses
  }
  if (n != int64_t(count)) {
    dst->Ctx->StreamFailed = true;
    return false;
  }
  return true;
}

boolean DestEmpty(j_compress_ptr cinfo) {
  auto* dst = reinterpret_cast<TJpegDest*>(cinfo->dest);
  if (!DestWrite(cinfo, kJpegBufferSize)) ERREXIT(cinfo, JERR_FILE_WRITE);
  dst->Pub.next_output_byte = dst->Buffer;
  dst->Pub.free_in_buffer = kJpegBufferSize;
  return TRUE;
}

void DestTerm(j_compress_ptr cinfo) {
  auto* dst = reinterpret_cast<TJpegDest*>(cinfo->dest);
  size_t count = kJpegBufferSize - dst->Pub.free_in_buffer;
  if (count > 0 && !DestWrite(cinfo, count)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

void ScanMonitor(j_common_ptr cinfo) {
  if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
    ERREXIT(cinfo, JERR_NOT_COMPILED);
}

// Bytes of entropy-coded scan data from the stream's position to the end of the image (EOI or
// the end of the stream), found by walking the markers; the position is restored.
int64_t CountScanBytes(TStream* stream) {
  const int64_t start = stream->Position();
  std::vector<uint8_t> buf(kJpegBufferSize);
  size_t at = 0, have = 0;
  auto next = [&](uint8_t& b) {
    if (at == have) {
      const int64_t n = stream->Read(buf.data(), int64_t(buf.size()));
      if (n <= 0) return false;
      at = 0;
      have = size_t(n);
    }
    b = buf[at++];
    return true;
  };
  auto skip = [&](int64_t n) {
    const int64_t inBuffer = int64_t(have - at);
    if (n <= inBuffer) {
      at += size_t(n);
    } else {
      stream->Seek(n - inBuffer, soCurrent);
      at = have = 0;
    }
  };
  // The next byte that is not a fill byte 0xFF.
  auto code = [&](uint8_t& b) {
    do {
      if (!next(b)) return false;
    } while (b == 0xFF);
    return true;
  };
  int64_t count = 0;
  bool inScan = false;
  for (;;) {
    uint8_t b;
    if (inScan) {
      // Scan data up to the next 0xFF count whole.
      const void* ff = at < have ? std::memchr(buf.data() + at, 0xFF, have - at) : nullptr;
      const size_t end = ff ? size_t(static_cast<const uint8_t*>(ff) - buf.data()) : have;
      count += int64_t(end - at);
      at = end;
      if (!ff) {
        if (!next(b)) break;
        if (b != 0xFF) {
          ++count;
          continue;
        }
      } else {
        ++at;
      }
      if (!code(b)) break;
      if (b == 0 || (b >= 0xD0 && b <= 0xD7)) {  // a stuffed zero or a restart marker
        count += 2;
        continue;
      }
      inScan = false;
    } else {
      if (!next(b)) break;
      if (b != 0xFF || !code(b)) continue;  // stray bytes between segments
    }
    if (b == 0xD9) break;
    if (b == 0xD8 || b == 0x01 || (b >= 0xD0 && b <= 0xD7)) continue;
    uint8_t hi, lo;
    if (!next(hi) || !next(lo)) break;
    const int length = (hi << 8) | lo;
    if (length < 2) break;
    skip(length - 2);
    inScan = b == 0xDA;
  }
  stream->SetPosition(start);
  return count;
}

void InitContext(TJpegContext& ctx, TStream* stream, TFilterProgress& progress) {
  jpeg_std_error(&ctx.Err);
  ctx.Err.error_exit = JpegErrorExit;
  ctx.Err.emit_message = JpegEmitMessage;
  ctx.Err.output_message = JpegOutputMessage;
  ctx.Err.format_message = JpegFormatMessage;
  ctx.Err.reset_error_mgr = JpegResetErrorMgr;
  ctx.AbortPtr = progress.AbortFlag;
  ctx.Progress = &progress;
  ctx.Stream = stream;
  std::memset(&ctx.Monitor, 0, sizeof(ctx.Monitor));
  ctx.Monitor.progress_monitor = ScanMonitor;
}

bool Aborting(const TJpegContext& ctx) { return VLAborting(*ctx.Progress); }

// The core stops with the abort flag set.
void Stop(TJpegContext& ctx, TVLCause cause, const char* why) {
  ctx.Reason = why;
  ctx.Cause = cause;
  VLSetAbort(*ctx.Progress);
}

// Reports progress; true when the codec must stop. The handler's exception is kept.
bool Report(TJpegContext& ctx, int64_t rows) {
  try {
    return VLReportProgress(*ctx.Progress, rows);
  } catch (...) {
    ctx.Pending = std::current_exception();
    return true;
  }
}

// The bitmap at the output size without clearing it: every row is decoded into, or cleared
// when the read stops early.
bool AllocateBitmap(TBitmap* bitmap, int w, int h) {
  try {
    bitmap->Allocate(w, h, pf24bit);
    return true;
  } catch (...) {
    return false;
  }
}

J_DCT_METHOD DctMethod(uint8_t m) {
  switch (m) {
    case 1: return JDCT_IFAST;
    case 2: return JDCT_FLOAT;
    default: return JDCT_ISLOW;
  }
}

int ResolutionFromDensity(int unit, int density) {
  int dpi = -1;
  if (unit == 1) dpi = density;
  else if (unit == 2) dpi = int(Trunc((long double)density * 2.54L));
  else if (unit == 0) dpi = 0;
  if (dpi == 0) dpi = ScreenPixelsPerInch();
  return dpi;
}

// Stops the core when the frame is not to be decoded, judged after the header and before the
// library or the reader allocates anything of the frame's size; true when it stopped.
bool RefuseFrame(TJpegContext& ctx, const jpeg_decompress_struct& cinfo, bool multiScan) {
  const int64_t limit = TBitmap::MaxBytes();
  if (BitmapRowBytes(int64_t(cinfo.output_width), 24) * int64_t(cinfo.output_height) > limit)
    return Stop(ctx, vcTooLarge, "image too large"), true;
  int64_t blocks = 0, coefficients = 0;
  for (int i = 0; i < cinfo.num_components; ++i) {
    const jpeg_component_info& c = cinfo.comp_info[i];
    const int64_t w = c.width_in_blocks, h = c.height_in_blocks;
    blocks += w * h;
    // A multi-scan file keeps every block's coefficients, in whole MCUs.
    const int64_t hs = c.h_samp_factor, vs = c.v_samp_factor;
    coefficients += (w + hs - 1) / hs * hs * ((h + vs - 1) / vs * vs) * int64_t(sizeof(JBLOCK));
  }
  if (multiScan && coefficients > limit) return Stop(ctx, vcTooLarge, "image too large"), true;
  if (ctx.ScanBytes == 0) return Stop(ctx, vcTruncated, "JPEG has no image data"), true;
  if (ctx.ScanBytes > 0 && !cinfo.arith_code && blocks > ctx.ScanBytes * kBlocksPerScanByte)
    return Stop(ctx, vcTruncated, "JPEG data too short for its picture"), true;
  return false;
}

// Holds no C++ object with a destructor: the library may longjmp back here.
void DecodeJpeg(TJpegContext& ctx, jpeg_decompress_struct& cinfo, TJpegSource& src, TBitmap* bitmap,
                TIOParamsVals& params, bool paramsOnly, bool useScale) {
  if (setjmp(ctx.Jump)) return;
  jpeg_create_decompress(&cinfo);
  cinfo.progress = &ctx.Monitor;
  // The library's own memory (the coefficients of a multi-scan file above all) obeys the
  // same limit as the bitmap; it is checked below before anything is allocated.
  cinfo.mem->max_memory_to_use = long(TBitmap::MaxBytes());
  src.Pub.init_source = SrcInit;
  src.Pub.fill_input_buffer = SrcFill;
  src.Pub.skip_input_data = SrcSkip;
  src.Pub.resync_to_restart = jpeg_resync_to_restart;
  src.Pub.term_source = SrcTerm;
  src.Pub.bytes_in_buffer = 0;
  src.Pub.next_input_byte = nullptr;
  src.Ctx = &ctx;
  cinfo.src = &src.Pub;

  jpeg_read_header(&cinfo, TRUE);
  if (Aborting(ctx)) return;

  bool cmyk = false;
  switch (cinfo.jpeg_color_space) {
    case JCS_RGB:
      params.JPEGColorSpace = 0;
      cinfo.out_color_space = JCS_EXT_BGR;
      break;
    case JCS_GRAYSCALE:
      params.JPEGColorSpace = 1;
      cinfo.out_color_space = JCS_EXT_BGR;
      break;
    case JCS_YCbCr:
      params.JPEGColorSpace = 2;
      cinfo.out_color_space = JCS_EXT_BGR;
      break;
    case JCS_CMYK:
      params.JPEGColorSpace = 3;
      cinfo.out_color_space = JCS_CMYK;
      cmyk = true;
      break;
    case JCS_YCCK:
      params.JPEGColorSpace = 4;
      cinfo.out_color_space = JCS_CMYK;
      cmyk = true;
      break;
    default: break;
  }
  cinfo.dct_method = DctMethod(params.JPEGDCTMethod);

  if (cinfo.saw_JFIF_marker) {
    if (cinfo.density_unit <= 2) {
      params.DpiX = ResolutionFromDensity(cinfo.density_unit, cinfo.X_density);
      params.DpiY = ResolutionFromDensity(cinfo.density_unit, cinfo.Y_density);
    }
  } else {
    params.DpiX = params.DpiY = ScreenPixelsPerInch();
  }
  params.BitsPerSample = 8;
  params.SamplesPerPixel = 3;
  params.FreeColorMap();
  params.JPEGProgressive = jpeg_has_multiple_scans(&cinfo) != 0;

  unsigned denom = 1;
  if (useScale) {
    switch (params.JPEGScale) {
      case 2: denom = 2; break;
      case 3: denom = 4; break;
      case 4: denom = 8; break;
      case 0: {
        const int64_t area = int64_t(params.Width) * int64_t(params.Height);
        if (area != 0) {
          int64_t best = -1;
          for (int i = 0; i <= 3; ++i) {
            int64_t a = int64_t(cinfo.image_width >> i) * int64_t(cinfo.image_height >> i);
            int64_t d = area > a ? area - a : a - area;
            if (best < 0 || d < best) {
              best = d;
              denom = 1u << i;
            }
          }
        }
        break;
      }
      default: break;
    }
  }
  cinfo.scale_num = 1;
  cinfo.scale_denom = denom;
  // The output size without decoding anything (a progressive file would be read whole).
  jpeg_calc_output_dimensions(&cinfo);
  params.Width = int(cinfo.output_width);
  params.Height = int(cinfo.output_height);
  if (paramsOnly) return;

  const int outComponents = cinfo.out_color_components;
  if (outComponents != (cmyk ? 4 : 3)) return Stop(ctx, vcUnsupported, "unsupported JPEG colour space");
  const bool multiScan = jpeg_has_multiple_scans(&cinfo) != 0;
  if (RefuseFrame(ctx, cinfo, multiScan)) return;
  jpeg_start_decompress(&cinfo);
  if (Aborting(ctx)) return;
  const int w = int(cinfo.output_width), h = int(cinfo.output_height);
  // A bitmap that has the size and format already is decoded into as it is, and any other
  // is allocated without clearing; rows that a failure leaves undecoded are cleared
  // afterwards, as a new bitmap would have them.
  ctx.Reused = bitmap->PixelFormat() == pf24bit && bitmap->Width() == w && bitmap->Height() == h;
  ctx.Bitmap = bitmap;
  if (!ctx.Reused) {
    if (!AllocateBitmap(bitmap, w, h)) return Stop(ctx, vcTooLarge, "image too large");
    ctx.Allocated = true;
  }

  TFilterProgress& progress = *ctx.Progress;
  const int64_t step = bitmap->RowBytes();
  uint8_t* row = bitmap->Bits();
  progress.PercentPerRow = 100.0 / h;
  progress.RowCounter = 0;
  JSAMPARRAY work = nullptr;
  if (cmyk)
    work = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, JDIMENSION(w) * 4, 1);
  const JDIMENSION imcuRows = JDIMENSION(cinfo.max_v_samp_factor * cinfo.min_DCT_scaled_size);
  const int batch = cinfo.rec_outbuf_height < 1 ? 1 : cinfo.rec_outbuf_height > 16 ? 16 : cinfo.rec_outbuf_height;
  JSAMPROW rows[16];
  while (cinfo.output_scanline < cinfo.output_height) {
    JDIMENSION got;
    if (cmyk) {
      got = jpeg_read_scanlines(&cinfo, work, 1);
      if (got == 1) {
        const uint8_t* s = work[0];
        uint8_t* d = row;
        for (int x = 0; x < w; ++x, s += 4, d += 3) CmykToBgr(s, d);
      }
    } else {
      int want = int(cinfo.output_height - cinfo.output_scanline);
      if (want > batch) want = batch;
      for (int i = 0; i < want; ++i) rows[i] = row + i * step;
      got = jpeg_read_scanlines(&cinfo, rows, JDIMENSION(want));
    }
    if (got == 0) return Stop(ctx, vcBadData, "JPEG decoder stalled");  // a source that never suspends can't stall
    row += int64_t(got) * step;
    progress.RowCounter += int32_t(got);
    if (Report(ctx, progress.RowCounter)) return;
    // A single scan whose data ran out: the rows decoded are kept and the rest is not made
    // up from nothing. Data that end in the last rows (some writers drop the final bits)
    // count as whole.
    if (ctx.DataEnded && !multiScan && cinfo.output_height - cinfo.output_scanline > 2 * imcuRows)
      return Stop(ctx, vcTruncated, "JPEG data ends early");
  }
}

// Finishing: an error here is not reported.
void FinishDecode(TJpegContext& ctx, jpeg_decompress_struct& cinfo) {
  if (setjmp(ctx.Jump)) return;
  jpeg_finish_decompress(&cinfo);
}

void EncodeJpeg(TJpegContext& ctx, jpeg_compress_struct& cinfo, TJpegDest& dst, TBitmap* bitmap,
                TIOParamsVals& params) {
  if (setjmp(ctx.Jump)) return;
  jpeg_create_compress(&cinfo);
  dst.Pub.init_destination = DestInit;
  dst.Pub.empty_output_buffer = DestEmpty;
  dst.Pub.term_destination = DestTerm;
  dst.Ctx = &ctx;
  cinfo.dest = &dst.Pub;

  const bool cmyk = params.JPEGColorSpace == 3 || params.JPEGColorSpace == 4;
  cinfo.image_width = JDIMENSION(bitmap->Width());
  cinfo.image_height = JDIMENSION(bitmap->Height());
  // Rows go in as they lie in the bitmap; the library reads blue, green, red.
  cinfo.input_components = cmyk ? 4 : 3;
  cinfo.in_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  J_COLOR_SPACE space = JCS_YCbCr;
  switch (params.JPEGColorSpace) {
    case 0: space = JCS_RGB; break;
    case 1: space = JCS_GRAYSCALE; break;
    case 3: space = JCS_CMYK; break;
    case 4: space = JCS_YCCK; break;
    default: break;
  }
  jpeg_set_colorspace(&cinfo, space);
  cinfo.density_unit = 1;
  cinfo.X_density = UINT16(params.DpiX < 0 ? 0 : params.DpiX > 65535 ? 65535 : params.DpiX);
  cinfo.Y_density = UINT16(params.DpiY < 0 ? 0 : params.DpiY > 65535 ? 65535 : params.DpiY);
  cinfo.dct_method = DctMethod(params.JPEGDCTMethod);
  cinfo.optimize_coding = params.JPEGOptimalHuffman ? TRUE : FALSE;
  cinfo.smoothing_factor = params.JPEGSmooth < 0 ? 0 : params.JPEGSmooth > 100 ? 100 : params.JPEGSmooth;
  jpeg_set_quality(&cinfo, params.JPEGQuality, TRUE);
  if (params.JPEGProgressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  if (Aborting(ctx)) return;

  TFilterProgress& progress = *ctx.Progress;
  const int w = bitmap->Width(), h = bitmap->Height();
  progress.PercentPerRow = 100.0 / h;
  progress.RowCounter = 0;
  JSAMPARRAY work = nullptr;
  if (cmyk)
    work = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, JDIMENSION(w) * 4, 1);
  for (int y = 0; y < h && !Aborting(ctx); ++y) {
    uint8_t* line = bitmap->Bits() + int64_t(y) * bitmap->RowBytes();
    JSAMPROW r = line;
    if (cmyk) {
      uint8_t* d = work[0];
      const uint8_t* s = line;
      for (int x = 0; x < w; ++x, s += 3, d += 4) BgrToCmyk(s, d);
      r = work[0];
    }
    JDIMENSION done = jpeg_write_scanlines(&cinfo, &r, 1);
    progress.RowCounter += int32_t(done);
    if (Report(ctx, progress.RowCounter)) return;
  }
  if (!Aborting(ctx)) jpeg_finish_compress(&cinfo);
}

}  // namespace

void JpegErrorExit(jpeg_common_struct* cinfo) {
  TJpegContext* ctx = ContextOf(cinfo);
  ctx->LastCode = cinfo->err->msg_code;
  if (ctx->AbortPtr) {
    if (!ctx->Reason) {
      ctx->Reason = ctx->StreamFailed ? "JPEG data ends early" : "JPEG library error";
      ctx->Cause = ctx->StreamFailed ? vcTruncated : vcLibraryError;
    }
    *ctx->AbortPtr = true;
  }
  longjmp(ctx->Jump, 1);
}

void JpegEmitMessage(jpeg_common_struct* cinfo, int msgLevel) {
  // The Huffman decoder met a marker other than a restart inside the scan data: the data
  // ended there, and what follows would be made up.
  if (msgLevel < 0 && cinfo->err->msg_code == JWRN_HIT_MARKER && cinfo->is_decompressor) {
    const int marker = reinterpret_cast<j_decompress_ptr>(cinfo)->unread_marker;
    if (marker < 0xD0 || marker > 0xD7) ContextOf(cinfo)->DataEnded = true;
  }
}
void JpegOutputMessage(jpeg_common_struct*) {}
void JpegFormatMessage(jpeg_common_struct*, char* buffer) {
  if (buffer) buffer[0] = 0;
}

void JpegResetErrorMgr(jpeg_common_struct* cinfo) {
  cinfo->err->msg_code = 0;
  cinfo->err->num_warnings = 0;
}

bool VLIsJPEG(const uint8_t* Head, int64_t StreamSize) {
  return (Head[0] == 0xFF && Head[1] == 0xD8 && Head[2] == 0xFF) || (StreamSize > 12 && VLTagText(Head) == "JFIF");
}

bool HasJpegSignature(TStream* Stream) {
  uint8_t b[3] = {0, 0, 0};
  int64_t n = 0;
  try {
    n = Stream->Read(b, 3);
    if (n > 0) Stream->Seek(-n, soCurrent);
  } catch (const EStreamError&) {
    return false;
  }
  return n == 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
}

void LoadJpegCore(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly, TFilterProgress& Progress,
                  TJpegReadOptions& Options) {
  TVLAbortFlagScope flag(Progress);
  Options.LastMessageCode = 0;
  VLGuardCodec(Progress, crRead, [&] {
    if (Options.TestSignature && !HasJpegSignature(Stream)) VLThrowFail(vcNotFormat, "not a JPEG file");
    TJpegContext ctx;
    InitContext(ctx, Stream, Progress);
    if (!ParamsOnly) {
      int64_t start = -1;
      try {
        start = Stream->Position();
        ctx.ScanBytes = CountScanBytes(Stream);
      } catch (...) {
        ctx.ScanBytes = -1;  // left to the decoder, which meets the same stream
        try {
          if (start >= 0) Stream->SetPosition(start);
        } catch (...) {}
      }
    }
    auto src = std::make_unique<TJpegSource>();
    std::memset(src.get(), 0, sizeof(TJpegSource));
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof(cinfo));
    cinfo.err = &ctx.Err;

    DecodeJpeg(ctx, cinfo, *src, Bitmap, Params, ParamsOnly, Options.UseScale);

    const bool created = cinfo.global_state != 0;
    if (created && !VLAborting(Progress) && !ParamsOnly) {
      ctx.AbortPtr = nullptr;
      FinishDecode(ctx, cinfo);
      // Hand back what the source read ahead, so a following image starts where this ends.
      if (cinfo.src && src->Pub.bytes_in_buffer > 0) {
        try {
          Stream->Seek(-int64_t(src->Pub.bytes_in_buffer), soCurrent);
        } catch (...) {}
      }
    }
    if (created) jpeg_destroy_decompress(&cinfo);
    if ((ctx.Reused && VLAborting(Progress)) || (ctx.Allocated && (VLAborting(Progress) || ctx.Pending))) {
      TBitmap* b = ctx.Bitmap;
      for (int y = Progress.RowCounter < 0 ? 0 : Progress.RowCounter; y < b->Height(); ++y)
        std::memset(b->ScanLine(y), 0, size_t(b->RowBytes()));
    }
    if (ctx.Pending) std::rethrow_exception(ctx.Pending);
    if (ctx.Reason && VLAborting(Progress)) {
      Options.LastMessageCode = ctx.LastCode;
      std::string reason = ctx.Reason;
      if (!ctx.StreamFailed && ctx.LastCode != 0) reason = Format("JPEG error #%d", ctx.LastCode);
      VLFail(Progress, ctx.Cause, reason);
    }
  });
}

void LoadJpegFromStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                        TFilterProgress& Progress) {
  TJpegReadOptions options;
  LoadJpegCore(Stream, Bitmap, Params, ParamsOnly, Progress, options);
}

void SaveJpegToStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress) {
  TVLAbortFlagScope flag(Progress);
  VLGuardCodec(Progress, crWrite, [&] {
    if (!Bitmap || Bitmap->Empty()) VLThrowFail(vcNoPicture, "no picture");
    TBitmap expanded;
    TBitmap* source = Bitmap;
    if (Bitmap->PixelFormat() == pf1bit) {
      VLExpand1BitTo24Bit(Bitmap, &expanded);
      source = &expanded;
    } else if (Bitmap->PixelFormat() != pf24bit) {
      expanded.Assign(Bitmap);
      expanded.SetPixelFormat(pf24bit);
      source = &expanded;
    }
    TJpegContext ctx;
    InitContext(ctx, Stream, Progress);
    auto dst = std::make_unique<TJpegDest>();
    std::memset(dst.get(), 0, sizeof(TJpegDest));
    jpeg_compress_struct cinfo;
    std::memset(&cinfo, 0, sizeof(cinfo));
    cinfo.err = &ctx.Err;

    EncodeJpeg(ctx, cinfo, *dst, source, Params);

    if (cinfo.global_state != 0) jpeg_destroy_compress(&cinfo);
    if (ctx.Pending) std::rethrow_exception(ctx.Pending);
    if (VLAborting(Progress) && ctx.Reason) {
      if (ctx.StreamFailed) VLFail(Progress, vcWriteFailed, "write error");
      else VLFail(Progress, vcLibraryError, Format("JPEG error #%d", ctx.LastCode));
    }
  });
}
