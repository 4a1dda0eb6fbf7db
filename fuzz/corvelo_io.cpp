// The viewer's I/O component under fuzzing: its load of every extension over a stream, into its
// view. The first byte chooses the extension (low four bits, in the order of kExtensions),
// whether the test LZW coders are installed (bit 4) and the icon size (bits 5-7); the rest is
// the file. Nothing but EInvalidGraphic may leave a load.
// Seeds: the other targets' seeds behind the byte of their extension, e.g.
//   i=0; for d in jpeg png tiff pcx gif metafile metafile bmp ico ico; do
//     for f in fuzz/seeds/$d/*; do { printf "\\x$(printf %x $((i + 16)))"; cat "$f"; } \
//       > /tmp/corvelo_seeds/${i}_$(basename "$f"); done; i=$((i + 1)); done
//   build/fuzz/fuzz_corvelo_io -max_total_time=600 -rss_limit_mb=2048 /tmp/corpus_corvelo /tmp/corvelo_seeds
// The test coders come first: Qt's headers define a macro that one of them uses as a name.
#include "tests/pcxgif/lzw_coder.cpp"
#define VL_TESTDATA ""
#include "../tests/tiff/tiff_support.cpp"

#include <QApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "corvelo/library/vistrelio_p.h"
#include "corvelo/library/vistrelview.h"

// Font lookup keeps caches of its own for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {
const char* const kExtensions[] = {".jpg", ".png", ".tif", ".pcx", ".gif", ".wmf", ".emf", ".bmp", ".cur", ".ico"};
const int kIconSizes[] = {16, 32, 0, 1, 48, 256, 7, 100};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* app = new QApplication(*argc, *argv);
  (void)app;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace lib = corvelo::lib;
  static lib::TVistrelIO* io = [] {
    TBitmap::SetMaxBytes(int64_t(4) << 20);
    auto* view = new lib::TVistrelView(nullptr);
    auto* c = new lib::TVistrelIO(nullptr);
    c->SetAttachedVistrel(view);
    return c;
  }();
  if (size < 1) return 0;
  const uint8_t ctl = data[0];
  lib::TIOParamsVals* p = io->Params();
  p->SetDefaults();
  p->GIFLZWDecompress = (ctl & 16) ? TestGIFLZWDecode : nullptr;
  p->TIFFLZWDecompress = (ctl & 16) ? tifftest::TestLZWDecode : nullptr;
  p->ICOWidth = p->ICOHeight = p->CURWidth = p->CURHeight = kIconSizes[ctl >> 5];
  TReadOnlyMemoryStream s(data + 1, int64_t(size - 1));
  try {
    lib::VLViewerLoadStream(*io, kExtensions[(ctl & 15) % 10], &s);
  } catch (const EInvalidGraphic&) {}
  return 0;
}
