// Shared libraries opened at run time, and the memory handles passed across them.
// No Qt here.
#pragma once
#include <cstdint>
#include <string>

// A library opened by file name or path (the system's search rules apply to a bare name).
using HMODULE = void*;
// Null when the library can't be opened.
HMODULE LoadLibrary(const std::string& Name);
// Null when the library has no such symbol.
void* GetProcAddress(HMODULE Module, const char* Name);
void FreeLibrary(HMODULE Module);

// Memory handles: blocks of the C heap (malloc, calloc), freed with free(); a handle is the
// block's address, so locking gives the handle itself. Libraries on the far side of a handle
// allocate and free with the same heap, through these functions where they can reach them.
using HGLOBAL = void*;
constexpr unsigned GMEM_FIXED = 0x0000, GMEM_MOVEABLE = 0x0002, GMEM_ZEROINIT = 0x0040;
// Null for a size below 1 or when there is no memory; the block is always zeroed.
HGLOBAL GlobalAlloc(unsigned Flags, int64_t Bytes);
void* GlobalLock(HGLOBAL Handle);
bool GlobalUnlock(HGLOBAL Handle);
void GlobalFree(HGLOBAL Handle);
// The size GlobalAlloc made the block with; for a block taken from the C heap by other means,
// the heap's record of it. 0 for null.
int64_t GlobalSize(HGLOBAL Handle);
