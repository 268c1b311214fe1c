// Where the vector kernels exist and how they are compiled.
//
// The program must still start on a processor without SSSE3 or AVX2, so the
// instruction sets are enabled per function, never for the whole build; the
// kernels are reached only after cpuid said yes. Visual Studio compiles
// intrinsics without any attribute, so the macro is empty there.
#pragma once

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define HEXBIN_X86 1
#else
#define HEXBIN_X86 0
#endif

#if defined(__GNUC__) || defined(__clang__)
#define HEX_TARGET(isa) __attribute__((target(isa)))
#else
#define HEX_TARGET(isa)
#endif

// For the kernels' helpers, which must end up in the loop that calls them
// (a helper left out of line would pass vectors through the stack).
#if defined(__GNUC__) || defined(__clang__)
#define HEX_FORCEINLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define HEX_FORCEINLINE __forceinline
#else
#define HEX_FORCEINLINE inline
#endif
