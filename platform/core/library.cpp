#include "platform/core/library.h"

#include <dlfcn.h>
#include <malloc.h>

#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_map>

HMODULE LoadLibrary(const std::string& Name) {
  if (Name.empty()) return nullptr;
  return dlopen(Name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* GetProcAddress(HMODULE Module, const char* Name) {
  if (!Module || !Name) return nullptr;
  return dlsym(Module, Name);
}

void FreeLibrary(HMODULE Module) {
  if (Module) dlclose(Module);
}

namespace {

// The size each block was allocated with: the heap may give a block more than was asked.
std::mutex gSizesLock;
std::unordered_map<const void*, int64_t>& Sizes() {
  static auto* sizes = new std::unordered_map<const void*, int64_t>;
  return *sizes;
}

}  // namespace

HGLOBAL GlobalAlloc(unsigned, int64_t Bytes) {
  if (Bytes < 1 || uint64_t(Bytes) > SIZE_MAX / 2) return nullptr;
  void* p = std::calloc(size_t(Bytes), 1);
  if (!p) return nullptr;
  try {
    const std::lock_guard<std::mutex> hold(gSizesLock);
    Sizes()[p] = Bytes;
  } catch (const std::bad_alloc&) {
    std::free(p);
    return nullptr;
  }
  return p;
}

void* GlobalLock(HGLOBAL Handle) { return Handle; }
bool GlobalUnlock(HGLOBAL Handle) { return Handle != nullptr; }

void GlobalFree(HGLOBAL Handle) {
  if (!Handle) return;
  {
    const std::lock_guard<std::mutex> hold(gSizesLock);
    Sizes().erase(Handle);
  }
  std::free(Handle);
}

int64_t GlobalSize(HGLOBAL Handle) {
  if (!Handle) return 0;
  const std::lock_guard<std::mutex> hold(gSizesLock);
  const auto it = Sizes().find(Handle);
  // A block a library took from the C heap itself: the heap's record is all there is.
  return it != Sizes().end() ? it->second : int64_t(malloc_usable_size(Handle));
}
