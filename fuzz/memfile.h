// The fuzz input as a file in memory, to be read through a file stream as the programs read
// files (in windows and many rows a call, not from memory).
#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

class TMemFile {
 public:
  TMemFile(const uint8_t* data, size_t size) : FHandle(memfd_create("vl_fuzz", MFD_CLOEXEC)) {
    for (size_t done = 0; FHandle >= 0 && done < size;) {
      const ssize_t n = write(FHandle, data + done, size - done);
      if (n <= 0) {
        close(FHandle);
        FHandle = -1;
      } else {
        done += size_t(n);
      }
    }
  }
  ~TMemFile() {
    if (FHandle >= 0) close(FHandle);
  }
  TMemFile(const TMemFile&) = delete;
  TMemFile& operator=(const TMemFile&) = delete;
  bool Ok() const { return FHandle >= 0; }
  std::string Path() const { return "/proc/self/fd/" + std::to_string(FHandle); }

 private:
  int FHandle;
};

// Both reads gave the same picture (or failed alike).
inline bool SameRead(const TBitmap& a, bool abortA, const TBitmap& b, bool abortB) {
  return abortA == abortB && a.Width() == b.Width() && a.Height() == b.Height() && a.PixelFormat() == b.PixelFormat() &&
         a.ImageSize() == b.ImageSize() &&
         (a.ImageSize() == 0 || std::memcmp(a.Bits(), b.Bits(), size_t(a.ImageSize())) == 0);
}

// Reads the input again through a file, read(stream, bitmap, progress), and stops the run when
// the picture or the abort flag differs from what the read from memory gave.
template <class Read>
void CheckFileReadMatches(const uint8_t* data, size_t size, const TBitmap& fromMemory, bool memoryAbort, Read read) {
  TMemFile file(data, size);
  if (!file.Ok()) return;
  TFileStream fs(file.Path(), fmOpenRead);
  TBitmap fromFile;
  bool fileAbort = false;
  TFilterProgress progress;
  progress.AbortFlag = &fileAbort;
  read(&fs, &fromFile, progress);
  if (!SameRead(fromMemory, memoryAbort, fromFile, fileAbort)) __builtin_trap();
}
