// The multi-image I/O component under fuzzing: every picture of a GIF, TIFF or AVI file into a
// view, with the test LZW coders installed. The first byte chooses the format (bits 0-1: GIF,
// TIFF, AVI, GIF), whether GIF and TIFF are read through a file stream rather than from
// memory (bit 2), whether an item is already there and selected (bit 3), and whether the
// progress handler stops the load after two pictures by the abort flag (bit 4) or raises after
// three (bit 5); the rest is the file. After every load the view's items and the parameter
// list must agree.
// Seeds: the gif, tiff and avi seeds behind a byte of their format, e.g.
//   i=0; for d in gif tiff avi; do for f in fuzz/seeds/$d/*; do
//     { printf "\\x$(printf %x $i)"; cat "$f"; } > /tmp/mio_seeds/${i}_$(basename "$f"); done; i=$((i + 1)); done
//   build/fuzz/fuzz_mio -max_total_time=300 -rss_limit_mb=2048 /tmp/corpus_mio /tmp/mio_seeds
// The test coders come first: Qt's headers define a macro that one of them uses as a name.
#include "tests/pcxgif/lzw_coder.cpp"
#define VL_TESTDATA ""
#include "../tests/tiff/tiff_support.cpp"

#include <QApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "memfile.h"
#include "platform/gui/controls.h"
#include "vistrel/io/vistrelmio.h"
#include "vistrel/io/vistrelmview.h"

// Font lookup keeps caches of its own for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* app = new QApplication(*argc, *argv);
  (void)app;
  return 0;
}

namespace {

struct TSetup {
  TForm* Form = nullptr;
  TVistrelMView* View = nullptr;
  TVistrelMIO* MIO = nullptr;
};

TSetup& Setup() {
  static TSetup s = [] {
    TBitmap::SetMaxBytes(int64_t(4) << 20);
    DefaultGIFLZWDecompressor = TestGIFLZWDecode;
    DefaultTIFFLZWDecompressor = tifftest::TestLZWDecode;
    TSetup t;
    t.Form = new TForm(nullptr);
    t.Form->SetBounds(0, 0, 500, 300);
    t.View = new TVistrelMView(t.Form);
    t.View->SetParent(t.Form);
    t.View->SetBounds(0, 0, 400, 139);
    t.MIO = new TVistrelMIO(t.Form);
    t.MIO->SetAttachedMView(t.View);
    return t;
  }();
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TSetup& s = Setup();
  if (size < 1) return 0;
  const uint8_t ctl = data[0];
  ++data, --size;
  s.View->Clear();
  if (ctl & 8) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(2, 2);
    s.View->InsertImage(0);
    s.View->SetImage(0, &b);
    s.View->SelectImage(0);
  }
  int pictures = 0;
  s.MIO->OnProgress = [&](TObject*, int) {
    ++pictures;
    if ((ctl & 16) && pictures == 2) s.MIO->SetAborting(true);
    if ((ctl & 32) && pictures == 3) throw std::runtime_error("stop");
  };
  const int format = ctl & 3;
  try {
    if (format == 2 || (ctl & 4)) {
      TMemFile file(data, size);
      if (!file.Ok()) return 0;
      if (format == 2) s.MIO->LoadFromFileAVI(file.Path());
      else if (format == 1) s.MIO->LoadFromFileTIFF(file.Path());
      else s.MIO->LoadFromFileGIF(file.Path());
    } else {
      TReadOnlyMemoryStream ms(data, int64_t(size));
      if (format == 1) s.MIO->LoadFromStreamTIFF(&ms);
      else s.MIO->LoadFromStreamGIF(&ms);
    }
  } catch (const std::runtime_error&) {
    if (!s.MIO->Aborting()) __builtin_trap();
  }
  const int count = s.View->ImageCount();
  if (s.MIO->ParamsCount() != count) __builtin_trap();
  for (int i = 0; i < count; ++i)
    if (s.MIO->Params(i)->GIFImageIndex != i || s.MIO->Params(i)->TIFFImageIndex != i) __builtin_trap();
  return 0;
}
