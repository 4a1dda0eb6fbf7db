// Shared helpers of the JPEG and PNG tests.
#pragma once
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"
#include "vistrel/proc/kernels/pixels.h"
#include "support/memcap.h"

inline std::string JpegPngData(const std::string& name) { return std::string(VL_TESTDATA) + "/jpegpng/" + name; }

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// A binary PPM (P6) or PGM (P5) of 8-bit samples.
struct TPnm {
  int W = 0, H = 0, Channels = 0;
  std::vector<uint8_t> Data;
  const uint8_t* Pixel(int x, int y) const { return Data.data() + (size_t(y) * W + x) * Channels; }
};

inline bool ReadPnm(const std::string& path, TPnm& out) {
  std::vector<uint8_t> b = ReadAll(path);
  size_t pos = 0;
  auto token = [&]() {
    std::string t;
    while (pos < b.size()) {
      if (b[pos] == '#') {
        while (pos < b.size() && b[pos] != '\n') ++pos;
      } else if (isspace(b[pos])) {
        if (!t.empty()) break;
        ++pos;
      } else {
        t += char(b[pos++]);
      }
    }
    return t;
  };
  std::string magic = token();
  if (magic != "P6" && magic != "P5") return false;
  out.Channels = magic == "P6" ? 3 : 1;
  out.W = std::stoi(token());
  out.H = std::stoi(token());
  if (std::stoi(token()) != 255) return false;
  ++pos;  // the single white space after the maximum
  size_t n = size_t(out.W) * out.H * out.Channels;
  if (pos + n > b.size()) return false;
  out.Data.assign(b.begin() + long(pos), b.begin() + long(pos + n));
  return true;
}

// A progress record with its own abort flag.
struct TTestProgress {
  bool Abort = false;
  TFilterProgress P;
  TTestProgress() { P.AbortFlag = &Abort; }
};

// A stream that fails every write after a number of bytes.
class TFailingStream : public TMemoryStream {
 public:
  explicit TFailingStream(int64_t limit, bool raise) : FLimit(limit), FRaise(raise) {}
  int64_t Write(const void* buffer, int64_t count) override {
    if (Size() + count > FLimit) {
      if (FRaise) throw EWriteError(SWriteError);
      return 0;
    }
    return TMemoryStream::Write(buffer, count);
  }

 private:
  int64_t FLimit;
  bool FRaise;
};

// A 24-bit picture with smooth areas, edges and some detail.
inline void MakeTestPicture(TBitmap& bmp, int w, int h) {
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x + 0] = uint8_t((x * 255) / (w > 1 ? w - 1 : 1));
      row[3 * x + 1] = uint8_t((y * 255) / (h > 1 ? h - 1 : 1));
      row[3 * x + 2] = uint8_t(((x / 8 + y / 8) & 1) ? 220 : 30);
    }
  }
}

// The file's bytes with PNG chunk type four-letter code found at or after from; npos when none.
inline size_t FindChunk(const std::vector<uint8_t>& png, const char* type, size_t from = 8) {
  size_t pos = from;
  while (pos + 8 <= png.size()) {
    uint32_t len =
        (uint32_t(png[pos]) << 24) | (uint32_t(png[pos + 1]) << 16) | (uint32_t(png[pos + 2]) << 8) | png[pos + 3];
    if (std::string(reinterpret_cast<const char*>(&png[pos + 4]), 4) == type) return pos;
    pos += 12 + size_t(len);
  }
  return std::string::npos;
}

inline uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

inline std::vector<uint8_t> StreamBytes(TMemoryStream& s) {
  const uint8_t* p = static_cast<const uint8_t*>(s.Memory());
  return std::vector<uint8_t>(p, p + s.Size());
}

// What a read run in a memory-capped child left behind.
struct TCappedRead {
  vltest::TCapped Run;
  bool Abort = false;
  int Width = 0, Height = 0;
  std::string Reason;
};

// Runs read(bitmap, progress) in a child under capMB of memory growth and brings back the
// abort flag, the reason and the bitmap's size.
template <class Read>
TCappedRead ReadCapped(int64_t capMB, Read&& read) {
  struct TShared {
    bool Abort;
    int Width, Height;
    char Reason[96];
  };
  void* mem = mmap(nullptr, sizeof(TShared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  TCappedRead r;
  if (mem == MAP_FAILED) return r;
  auto* shared = static_cast<TShared*>(mem);
  std::memset(shared, 0, sizeof(TShared));
  r.Run = vltest::RunCapped(capMB, [&] {
    TBitmap bmp;
    TTestProgress tp;
    read(bmp, tp.P);
    shared->Abort = tp.Abort;
    shared->Width = bmp.Width();
    shared->Height = bmp.Height();
    std::strncpy(shared->Reason, tp.P.AbortReason.c_str(), sizeof(shared->Reason) - 1);
  });
  r.Abort = shared->Abort;
  r.Width = shared->Width;
  r.Height = shared->Height;
  r.Reason = shared->Reason;
  munmap(mem, sizeof(TShared));
  return r;
}
