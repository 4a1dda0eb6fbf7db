// Our side of the side-by-side table that scripts/bench-peers prints (bench/peers.py runs it).
//
//   bench_peers make DIR   writes DIR/pic.bmp, the 6000 x 4000 photo-like picture every row uses
//   bench_peers OP DIR     runs OP once on DIR/small* (code and tables warm), then once on the
//                          big picture, and prints that run's time in milliseconds
//
// Each run is a fresh process, as for the peers: inputs come from files in the page cache, the
// result's memory is fresh, and only the operation itself is timed.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/core/stream.h"
#include "vistrel/codecs/bmp.h"
#include "vistrel/codecs/jpeg.h"
#include "vistrel/codecs/png.h"
#include "vistrel/codecs/tiff.h"
#include "vistrel/proc/kernels/color.h"
#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/kernels/resample.h"
#include "photo.h"

namespace {

constexpr int kW = 6000, kH = 4000;

struct TCodecRun {
  TIOParamsVals Params{nullptr};
  bool Abort = false;
  TFilterProgress Progress;
  TCodecRun() { Progress.AbortFlag = &Abort; }
};

void ReadFile(const std::string& name, TBitmap& b) {
  TCodecRun r;
  TFileStream f(name, fmOpenRead | fmShareDenyWrite);
  const std::string ext = name.substr(name.rfind('.'));
  int pages = 0;
  if (ext == ".bmp") ReadBMPStream(&f, &b, r.Params, f.Size(), r.Progress, false);
  else if (ext == ".tif") ReadTIFFStream(&b, &f, pages, r.Params, r.Progress, false);
  else if (ext == ".jpg") LoadJpegFromStream(&f, &b, r.Params, false, r.Progress);
  else if (ext == ".png") LoadPngFromStream(&f, &b, r.Params, false, r.Progress);
  if (r.Abort || b.Empty()) throw std::runtime_error("could not read " + name);
}

void WriteFile(const std::string& name, TBitmap& b, const std::function<void(TCodecRun&)>& set,
               void (*write)(TStream*, TBitmap*, TIOParamsVals&, TFilterProgress&)) {
  TCodecRun r;
  set(r);
  TFileStream f(name, fmCreate);
  write(&f, &b, r.Params, r.Progress);
  if (r.Abort) throw std::runtime_error("could not write " + name);
}

void WriteTIFF(TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) { WriteTIFFStream(s, false, b, p, pr); }

// One row of the table: the input it starts from and the work that is timed.
struct TOp {
  const char* Name;
  const char* Input;  // file name in DIR ("small-" + it for the warm-up run)
  bool Decode;        // the reading itself is the work
  std::function<void(TBitmap&, const std::string& out)> Work;
};

const TOp kOps[] = {
    {"decode-bmp", "pic.bmp", true, nullptr},
    {"decode-tiff", "pic.tif", true, nullptr},
    {"decode-tiff-packbits", "pic-packbits.tif", true, nullptr},
    {"decode-jpeg", "pic.jpg", true, nullptr},
    {"decode-png", "pic.png", true, nullptr},
    {"resample-lanczos3", "pic.bmp", false,
     [](TBitmap& b, const std::string&) { VLResampleToSize(&b, b.Width() / 4, b.Height() / 4, rfLanczos3); }},
    {"resample-triangle", "pic.bmp", false,
     [](TBitmap& b, const std::string&) { VLResampleToSize(&b, b.Width() / 4, b.Height() / 4, rfTriangle); }},
    {"rotate30", "pic.bmp", false, [](TBitmap& b, const std::string&) { VLRotateBitmap(&b, 30, true, clWhite); }},
    {"gray", "pic.bmp", false,
     [](TBitmap& b, const std::string&) { VLGrayRect(&b, 0, 0, b.Width() - 1, b.Height() - 1); }},
    {"flip", "pic.bmp", false, [](TBitmap& b, const std::string&) { VLFlip(&b, 0); }},
    {"histogram", "pic.bmp", false,
     [](TBitmap& b, const std::string&) {
       static TVLHistogram h;
       VLCalcHistogram(&b, h, 0, 0, b.Width() - 1, b.Height() - 1);
     }},
    {"encode-jpeg", "pic.bmp", false,
     [](TBitmap& b, const std::string& out) {
       WriteFile(out + ".jpg", b, [](TCodecRun& r) { r.Params.JPEGQuality = 90; }, SaveJpegToStream);
     }},
    {"encode-png", "pic.bmp", false,
     [](TBitmap& b, const std::string& out) { WriteFile(out + ".png", b, [](TCodecRun&) {}, SavePngToStream); }},
    {"encode-g4", "bw.tif", false,
     [](TBitmap& b, const std::string& out) {
       WriteFile(out + ".tif", b, [](TCodecRun& r) {
         r.Params.TIFFCompression = tpcGroup4;
         r.Params.BitsPerSample = 1;
         r.Params.SamplesPerPixel = 1;
       }, WriteTIFF);
     }},
    {"reduce256", "pic.bmp", false, [](TBitmap& b, const std::string&) { VLReduceColors(&b, 256, nullptr); }},
    {"negate", "pic.bmp", false,
     [](TBitmap& b, const std::string&) { VLNegativeRect(&b, 0, 0, b.Width() - 1, b.Height() - 1); }},
};

double RunOnce(const TOp& op, const std::string& dir, const std::string& input) {
  using Clock = std::chrono::steady_clock;
  TBitmap b;
  if (op.Decode) {
    const auto t0 = Clock::now();
    ReadFile(input, b);
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  }
  {
    // The picture is copied once in user space: on machines where the first user access to
    // pages the kernel filled (read() into them) still faults, that would otherwise count
    // against the operation, though Pillow's pictures are always written by its own code.
    TBitmap read;
    ReadFile(input, read);
    VLCopyBitmap(&read, &b);
    if (read.PixelFormat() != pf24bit) b.SetPalette(read.Palette());
  }
  const auto t0 = Clock::now();
  op.Work(b, dir + "/out-ours");
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  if (b.Empty()) throw std::runtime_error(std::string(op.Name) + " left no picture");
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_peers make DIR | bench_peers OP DIR\n");
    return 2;
  }
  const std::string what = argv[1], dir = argv[2];
  try {
    if (what == "make") {
      TBitmap b;
      MakePhoto(b, kW, kH);
      WriteFile(dir + "/pic.bmp", b, [](TCodecRun&) {}, WriteBMPStream);
      return 0;
    }
    for (const TOp& op : kOps) {
      if (what != op.Name) continue;
      RunOnce(op, dir, dir + "/small-" + op.Input);
      std::printf("%.2f\n", RunOnce(op, dir, dir + "/" + op.Input));
      return 0;
    }
    std::fprintf(stderr, "bench_peers: unknown operation %s\n", what.c_str());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_peers: %s\n", e.what());
    return 1;
  }
}
