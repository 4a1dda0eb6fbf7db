// An editor-like session in one long-running process, beside Pillow doing the same
// (bench/session.py prints the two side by side). Each round, every picture in a new bitmap:
// open a 6000 x 4000 24-bit BMP; resample it to 1500 x 1000 (Triangle), the result replacing
// it; open a 1-bit 4960 x 7016 page; open the first BMP again; then close all three.
//
//   bench_session make DIR        writes DIR/session-pic.bmp and DIR/session-page.bmp
//   bench_session ROUNDS DIR      runs the rounds and prints, per round and step, the
//                                 milliseconds and the minor page faults (getrusage)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/core/stream.h"
#include "vistrel/codecs/bmp.h"
#include "vistrel/proc/kernels/resample.h"
#include "photo.h"

namespace {

void Read(const std::string& name, TBitmap& b) {
  TIOParamsVals params(nullptr);
  bool abort = false;
  TFilterProgress progress;
  progress.AbortFlag = &abort;
  TFileStream f(name, fmOpenRead | fmShareDenyWrite);
  ReadBMPStream(&f, &b, params, f.Size(), progress, false);
  if (abort || b.Empty()) throw std::runtime_error("could not read " + name);
}

void Put(std::string& s, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) s.push_back(char(v >> (8 * i)));
}

// A 1-bit BMP of a page: lines of "words" on white.
void WritePage(const std::string& name, int w, int h) {
  const int64_t row = (int64_t(w) + 31) / 32 * 4;
  std::string f;
  f += "BM";
  Put(f, uint32_t(62 + row * h), 4);
  Put(f, 0, 4);
  Put(f, 62, 4);
  Put(f, 40, 4);
  Put(f, uint32_t(w), 4);
  Put(f, uint32_t(h), 4);
  Put(f, 1, 2);
  Put(f, 1, 2);
  for (int i = 0; i < 6; ++i) Put(f, i == 1 ? uint32_t(row * h) : 0, 4);
  Put(f, 0, 4);         // black
  Put(f, 0xFFFFFF, 4);  // white
  for (int y = h - 1; y >= 0; --y)
    for (int64_t x = 0; x < row; ++x) {
      const bool ink = (y % 60) < 40 && y > 300 && y < h - 300 && x > 30 && x < row - 30 && ((x * 7 + y / 60) % 11) < 8;
      f.push_back(char(ink ? uint8_t((x * 37 + y) * 2654435761u >> 24) : 0xFF));
    }
  TFileStream out(name, fmCreate);
  out.WriteBuffer(f.data(), int64_t(f.size()));
}

long MinorFaults() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_minflt;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_session make DIR | bench_session ROUNDS DIR\n");
    return 2;
  }
  const std::string what = argv[1], dir = argv[2];
  const std::string pic = dir + "/session-pic.bmp", page = dir + "/session-page.bmp";
  try {
    if (what == "make") {
      TBitmap b;
      MakePhoto(b, 6000, 4000);
      TIOParamsVals params(nullptr);
      bool abort = false;
      TFilterProgress progress;
      progress.AbortFlag = &abort;
      {
        TFileStream f(pic, fmCreate);
        WriteBMPStream(&f, &b, params, progress);
      }
      WritePage(page, 4960, 7016);
      return abort ? 1 : 0;
    }
    const int rounds = std::stoi(what);
    using Clock = std::chrono::steady_clock;
    for (int r = 0; r < rounds; ++r) {
      std::unique_ptr<TBitmap> photo, small, sheet, again;
      auto step = [&](const char* name, const auto& work) {
        const long f0 = MinorFaults();
        const auto t0 = Clock::now();
        work();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        std::printf("%d %s %.2f %ld\n", r, name, ms, MinorFaults() - f0);
      };
      step("open", [&] {
        photo = std::make_unique<TBitmap>();
        Read(pic, *photo);
      });
      step("resample", [&] {
        small = std::make_unique<TBitmap>();
        small->SetPixelFormat(pf24bit);
        small->SetSize(1500, 1000);
        VLResampleBitmap(photo.get(), small.get(), rfTriangle, nullptr, nullptr);
        photo.reset();
      });
      step("page", [&] {
        sheet = std::make_unique<TBitmap>();
        Read(page, *sheet);
      });
      step("reopen", [&] {
        again = std::make_unique<TBitmap>();
        Read(pic, *again);
      });
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_session: %s\n", e.what());
    return 1;
  }
}
