// Helpers of hostile-file tests: sparse temporary files, and reads run in a child process under
// a memory cap that report back what they found.
#pragma once
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "support/memcap.h"
#include "vistrel/codecs/ioparams.h"

namespace vltest {

// Sparse files: a few blocks of bytes at chosen offsets in a file of any size; the holes read
// as zeros and take no disk.
struct TSparseFile {
  std::string Path;
  // Size bytes in all; each block written at its offset. Path is empty when it failed.
  TSparseFile(int64_t size, const std::vector<std::pair<int64_t, std::vector<uint8_t>>>& blocks) {
    char name[] = "/tmp/vl_sparse_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return;
    bool ok = ftruncate(fd, off_t(size)) == 0;
    for (const auto& [at, bytes] : blocks)
      ok = ok && pwrite(fd, bytes.data(), bytes.size(), off_t(at)) == ssize_t(bytes.size());
    close(fd);
    if (ok) Path = name;
    else unlink(name);
  }
  ~TSparseFile() {
    if (!Path.empty()) unlink(Path.c_str());
  }
  TSparseFile(const TSparseFile&) = delete;
  TSparseFile& operator=(const TSparseFile&) = delete;
};

// What a read run under the cap found.
struct TCappedRead {
  TCapped Cap;
  bool Aborted = false;
  bool Right = false;  // read() returned true: the pixels it checked were right
  char Reason[128] = {};
};

// Runs read(progress) in a child under capMB of memory growth. read() calls a reader with the
// progress record (its abort flag set up) and returns whether what it read is right.
template <class Fn>
TCappedRead RunCappedRead(int64_t capMB, Fn read) {
  void* shared = mmap(nullptr, sizeof(TCappedRead), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) return TCappedRead{};
  auto* out = new (shared) TCappedRead;
  TCapped cap = RunCapped(capMB, [&] {
    bool abort = false;
    TFilterProgress progress;
    progress.AbortFlag = &abort;
    const bool right = read(progress);
    out->Aborted = abort;
    out->Right = right;
    std::strncpy(out->Reason, progress.AbortReason.c_str(), sizeof out->Reason - 1);
  });
  TCappedRead r = *out;
  r.Cap = cap;
  munmap(shared, sizeof(TCappedRead));
  return r;
}

}  // namespace vltest
