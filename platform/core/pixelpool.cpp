#include "platform/core/pixelpool.h"

#include <algorithm>

#include <sys/mman.h>

namespace {

uint8_t* MapPages(int64_t size) {
  // Over-map by one huge page and trim both ends to a 2 MB boundary.
  const size_t len = size_t(size + TPixelPool::Page);
  void* p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const uintptr_t a = uintptr_t(p), start = (a + uintptr_t(TPixelPool::Page) - 1) & ~uintptr_t(TPixelPool::Page - 1);
  const uintptr_t end = start + uintptr_t(size);
  if (start > a) munmap(p, start - a);
  if (a + len > end) munmap(reinterpret_cast<void*>(end), a + len - end);
  madvise(reinterpret_cast<void*>(start), size_t(size), MADV_HUGEPAGE);
  return reinterpret_cast<uint8_t*>(start);
}

}  // namespace

uint8_t* TPixelPool::Take(int64_t size, bool& zero) {
  zero = false;
  std::lock_guard<std::mutex> lock(FLock);
  // The smallest kept block that holds it lends its front.
  auto best = FKept.end();
  for (auto it = FKept.begin(); it != FKept.end(); ++it)
    if (it->Size >= size && (best == FKept.end() || it->Size < best->Size)) best = it;
  if (best != FKept.end()) {
    uint8_t* p = best->Data;
    best->Data += size;
    best->Size -= size;
    if (best->Size == 0) FKept.erase(best);
    FKeptBytes -= size;
    return p;
  }
  uint8_t* p = MapPages(size);
  if (!p) return nullptr;
  if (FKept.empty()) {
    zero = true;
    return p;
  }
  // None is large enough: the kept pages, largest blocks first, move to the new block's front
  // (page tables move, the pages stay), and only the rest of it faults in.
  std::vector<size_t> order(FKept.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return FKept[a].Size > FKept[b].Size; });
  int64_t at = 0;
  for (size_t i : order) {
    TKept& k = FKept[i];
    int64_t n = std::min(k.Size, size - at);
    if (n <= 0) break;
    // Joined blocks may lie in separate mappings, which move a page at a time.
    if (mremap(k.Data, size_t(n), size_t(n), MREMAP_MAYMOVE | MREMAP_FIXED, p + at) == MAP_FAILED) {
      n = 0;
      while (n < std::min(k.Size, size - at) &&
             mremap(k.Data + n, size_t(Page), size_t(Page), MREMAP_MAYMOVE | MREMAP_FIXED, p + at + n) != MAP_FAILED)
        n += Page;
    }
    k.Data += n;
    k.Size -= n;
    FKeptBytes -= n;
    at += n;
  }
  FKept.erase(std::remove_if(FKept.begin(), FKept.end(), [](const TKept& k) { return k.Size == 0; }), FKept.end());
  zero = at == 0;
  return p;
}

void TPixelPool::Give(uint8_t* data, int64_t size) {
  if (!data || size <= 0) return;
  std::lock_guard<std::mutex> lock(FLock);
  if (size > FLimit) {
    munmap(data, size_t(size));
    return;
  }
  // Kept, but the system may take its pages back when memory runs short.
  madvise(data, size_t(size), MADV_FREE);
  auto it = std::lower_bound(FKept.begin(), FKept.end(), data, [](const TKept& k, uint8_t* d) { return k.Data < d; });
  it = FKept.insert(it, TKept{data, size, ++FClock});
  FKeptBytes += size;
  // Joined with its neighbours where the addresses meet.
  if (it + 1 != FKept.end() && it->Data + it->Size == (it + 1)->Data) {
    it->Size += (it + 1)->Size;
    FKept.erase(it + 1);
  }
  if (it != FKept.begin() && (it - 1)->Data + (it - 1)->Size == it->Data) {
    (it - 1)->Size += it->Size;
    (it - 1)->Age = it->Age;
    FKept.erase(it);
  }
  Shrink();
}

void TPixelPool::Shrink() {
  while (FKeptBytes > FLimit && !FKept.empty()) {
    auto oldest =
        std::min_element(FKept.begin(), FKept.end(), [](const TKept& a, const TKept& b) { return a.Age < b.Age; });
    munmap(oldest->Data, size_t(oldest->Size));
    FKeptBytes -= oldest->Size;
    FKept.erase(oldest);
  }
}

void TPixelPool::Trim() {
  std::lock_guard<std::mutex> lock(FLock);
  for (const TKept& k : FKept) munmap(k.Data, size_t(k.Size));
  FKept.clear();
  FKeptBytes = 0;
}

int64_t TPixelPool::Kept() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FKeptBytes;
}

int64_t TPixelPool::Limit() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FLimit;
}

void TPixelPool::SetLimit(int64_t limit) {
  std::lock_guard<std::mutex> lock(FLock);
  FLimit = limit;
  Shrink();
}
