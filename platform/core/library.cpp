#include "platform/core/library.h"

#include <dlfcn.h>
#include <malloc.h>

#include <cstdlib>

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

HGLOBAL GlobalAlloc(unsigned, int64_t Bytes) {
  if (Bytes < 1 || uint64_t(Bytes) > SIZE_MAX / 2) return nullptr;
  return std::calloc(size_t(Bytes), 1);
}

void* GlobalLock(HGLOBAL Handle) { return Handle; }
bool GlobalUnlock(HGLOBAL Handle) { return Handle != nullptr; }
void GlobalFree(HGLOBAL Handle) { std::free(Handle); }

int64_t GlobalSize(HGLOBAL Handle) { return Handle ? int64_t(malloc_usable_size(Handle)) : 0; }
