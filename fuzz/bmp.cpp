// Fuzz target of the BMP reader (and of the writer over what it read). The read is done again
// from a file, which must give the same picture.
// Seeds: fuzz/seeds/bmp and tests/data/bmp (made by fuzz/seeds/bmp_ico_pcx_tiff.py).
#include <cstddef>
#include <cstdint>

#include "vistrel/codecs/bmp.h"
#include "memfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool capped = [] {
    TBitmap::SetMaxBytes(int64_t(8) << 20);
    return true;
  }();
  (void)capped;
  TReadOnlyMemoryStream s(data, int64_t(size));
  TBitmap b;
  TIOParamsVals p(nullptr);
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  ReadBMPStream(&s, &b, p, 0, pr, true);
  abort = false;
  s.SetPosition(0);
  ReadBMPStream(&s, &b, p, int64_t(size), pr, false);
  CheckFileReadMatches(data, size, b, abort, [&](TStream* fs, TBitmap* out, TFilterProgress& fp) {
    TIOParamsVals fprm(nullptr);
    ReadBMPStream(fs, out, fprm, int64_t(size), fp, false);
  });
  if (!abort && int64_t(b.Width()) * b.Height() <= 1024) {
    // What was read writes out and reads back, at a depth picked by the input.
    {
      static const int kDepths[4] = {1, 4, 8, 24};
      const int bits = kDepths[size % 4];
      TMemoryStream out;
      TIOParamsVals w(nullptr);
      w.BitsPerSample = bits == 24 ? 8 : bits;
      w.SamplesPerPixel = bits == 24 ? 3 : 1;
      w.BMPCompression = (size & 1) != 0;
      w.BMPVersion = uint8_t((size / 4) % 4);
      bool wa = false;
      TFilterProgress wp;
      wp.AbortFlag = &wa;
      WriteBMPStream(&out, &b, w, wp);
      if (wa) __builtin_trap();
      out.SetPosition(0);
      TBitmap back;
      ReadBMPStream(&out, &back, w, 0, wp, false);
      if (wa || back.Width() != b.Width() || back.Height() != b.Height()) __builtin_trap();
    }
  }
  return 0;
}
