// Fuzz target of the metafile reader: parsing, then playing the records on a small picture.
// Seeds: fuzz/seeds/metafile (made by make_seeds.py there), e.g.
//   fuzz_metafile corpus fuzz/seeds/metafile
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/gui/canvas.h"
#include "vistrel/io/metafile.h"

// Font lookup keeps caches of its own for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QGuiApplication* app = new QGuiApplication(*argc, *argv);
  (void)app;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A small limit, so that small inputs reach the refusals of records and pictures too.
  TBitmap::SetMaxBytes(int64_t(1) << 20);
  TVLMetafile meta;
  std::string reason;
  if (!VLParseMetafile(data, int64_t(size), meta, reason)) return 0;
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(48, 32);
  VLPlayMetafile(meta, bitmap.Canvas(), Rect(0, 0, 48, 32));
  return 0;
}
