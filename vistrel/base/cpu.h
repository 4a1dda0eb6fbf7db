// The processor's vector extensions, detected once, and how a kernel builds and picks its
// vector variants. No Qt here.
//
// A kernel's hot loop is written once, in a file of its own, inside namespace VL_VARIANT
// (nested in the kernel's own namespace) with VL_VARIANT_TARGET ahead of each function.
// Compiled by itself that file is the plain variant. Its sibling name_avx2.cpp defines
// VL_VARIANT as avx2 and VL_VARIANT_TARGET as VL_TARGET_AVX2 ahead of every include, then
// includes the loop's file again. The kernel's private header declares both variants (the
// vector one with its target) and the kernel picks one with VLPickVariant, once.
//
// The target goes on the functions and not on the file: a file compiled with -mavx2 would
// also hand the linker AVX2 copies of the inline functions it shares with the rest of the
// program (standard containers and the like), which the linker may then keep for everybody.
#pragma once
#include <cstdint>
#include <type_traits>

enum TVLCpuFeature : uint32_t { cfSSSE3 = 1, cfAVX2 = 2 };

// The extensions of the processor running the program (a set of TVLCpuFeature bits).
uint32_t VLCpuFeatures();
inline bool VLCpuHas(TVLCpuFeature Feature) { return (VLCpuFeatures() & Feature) != 0; }

// Vector when the processor has Feature and the build has Vector (not null), else Plain.
template <class Fn>
Fn VLPickVariant(Fn Plain, TVLCpuFeature Feature, std::type_identity_t<Fn> Vector) {
  return Vector && VLCpuHas(Feature) ? Vector : Plain;
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VL_X86_VARIANTS 1
#define VL_TARGET_SSSE3 __attribute__((target("ssse3")))
#define VL_TARGET_AVX2 __attribute__((target("avx2")))
// An x86 variant's name; null where the build has no x86 variants.
#define VL_X86_ONLY(Name) Name
#else
#define VL_X86_VARIANTS 0
#define VL_X86_ONLY(Name) nullptr
#endif

// The variant a loop's file is building: plain unless its _avx2 sibling said otherwise.
#ifndef VL_VARIANT
#define VL_VARIANT plain
#define VL_VARIANT_TARGET
#endif
