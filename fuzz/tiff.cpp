// TIFF reader under fuzzing: every page index, with and without the (test) LZW decoder, and the
// writer's page insertion into the same bytes. A whole read is done again from a file, which
// must give the same picture.
// Seeds: fuzz/seeds/tiff (made by fuzz/seeds/bmp_ico_pcx_tiff.py).
#include <cstdint>
#include <cstring>

#include "platform/core/core.h"
#include "vistrel/codecs/tiff.h"
#include "memfile.h"

#define VL_TESTDATA ""
#include "../tests/tiff/tiff_support.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool init = [] {
    TBitmap::SetMaxBytes(64 << 20);
    return true;
  }();
  (void)init;
  if (size < 1) return 0;
  const uint8_t ctl = data[0];
  ++data, --size;
  TReadOnlyMemoryStream ms(data, int64_t(size));
  TBitmap bmp;
  TIOParamsVals params(nullptr);
  params.TIFFImageIndex = ctl & 3;
  params.TIFFLZWDecompress = (ctl & 4) ? tifftest::TestLZWDecode : nullptr;
  bool abort = false;
  TFilterProgress progress;
  progress.AbortFlag = &abort;
  int count = 0;
  ReadTIFFStream(&bmp, &ms, count, params, progress, (ctl & 8) != 0);
  if (!(ctl & 8))
    CheckFileReadMatches(data, size, bmp, abort, [&](TStream* fs, TBitmap* out, TFilterProgress& fp) {
      ReadTIFFStream(out, fs, count, params, fp, false);
    });
  TReadOnlyMemoryStream cs(data, int64_t(size));
  TIFFImageCount(&cs);
  if (ctl & 16) {
    // Insert a small page into the bytes.
    TMemoryStream out;
    out.WriteBuffer(data, int64_t(size));
    out.SetPosition(0);
    TBitmap page;
    page.SetPixelFormat((ctl & 32) ? pf1bit : pf24bit);
    page.SetSize(5, 3);
    TIOParamsVals wp(nullptr);
    wp.TIFFImageIndex = ctl >> 6;
    wp.TIFFCompression = (ctl & 32) ? 4 : 8;
    bool wabort = false;
    TFilterProgress wprog;
    wprog.AbortFlag = &wabort;
    WriteTIFFStream(&out, true, &page, wp, wprog);
  }
  return 0;
}
