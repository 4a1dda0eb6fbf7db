// Pixel memory of large pictures: blocks mapped on their own in whole 2 MB huge pages. Freed
// blocks are kept, up to a limit, for the next pictures whatever their sizes: a smaller one
// takes the front of a kept block, a larger one gets the kept pages moved into its new block,
// so only what none of them holds faults in fresh. Kept pages may be taken back by the system
// when memory runs short.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

class TPixelPool {
 public:
  static constexpr int64_t Page = int64_t(2) << 20;

  explicit TPixelPool(int64_t limit) : FLimit(limit) {}
  ~TPixelPool() { Trim(); }
  TPixelPool(const TPixelPool&) = delete;
  TPixelPool& operator=(const TPixelPool&) = delete;

  // A 2 MB-aligned block of `size` bytes (a whole number of pages); Zero tells whether all
  // of it is known to be zero. Null when the system has no memory for it.
  uint8_t* Take(int64_t size, bool& zero);
  // Keeps the block for later, giving back the longest kept ones past the limit.
  void Give(uint8_t* data, int64_t size);
  // Gives every kept block back to the system.
  void Trim();
  int64_t Kept() const;
  int64_t Limit() const;
  void SetLimit(int64_t limit);

 private:
  struct TKept {
    uint8_t* Data;
    int64_t Size;
    uint64_t Age;  // when it was given
  };
  void Shrink();  // to the limit; lock held
  mutable std::mutex FLock;
  std::vector<TKept> FKept;  // by address, neighbours joined
  int64_t FLimit, FKeptBytes = 0;
  uint64_t FClock = 0;
};
