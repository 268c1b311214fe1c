// Where the vector kernels exist and how they are compiled. The program must start on a processor without
// SSSE3 or AVX2, so the instruction sets are enabled per function (Visual Studio needs no attribute), and the
// kernels are reached only after cpuid said yes.
#pragma once

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define HEXBIN_X86 1
#else
#define HEXBIN_X86 0
#endif

// The AVX-512 kernels are built for 64-bit x86 only: 32-bit code has eight vector registers, and no general
// registers for their 64-bit masks, which then go through memory (docs/PERFORMANCE.md).
#if defined(__x86_64__) || defined(_M_X64)
#define HEXBIN_AVX512 1
#else
#define HEXBIN_AVX512 0
#endif

#if defined(__GNUC__) || defined(__clang__)
#define HEX_TARGET(isa) __attribute__((target(isa)))
#else
#define HEX_TARGET(isa)
#endif

// A kernel's entry carries HEX_FLATTEN, its helpers and the generic loops are plain inline: GCC and clang
// compile it all into the entry, for its set, and pass no vector through the stack, which Windows does not
// align for them. Visual Studio has no flatten; it is told per helper.
#if defined(__GNUC__) || defined(__clang__)
#define HEX_FLATTEN __attribute__((flatten))
#define HEX_INLINE inline
#elif defined(_MSC_VER)
#define HEX_FLATTEN
#define HEX_INLINE __forceinline
#else
#define HEX_FLATTEN
#define HEX_INLINE inline
#endif

// Before a loop over a block's registers: GCC at -O2 keeps it a loop, and the registers an array in memory,
// stored and loaded again.
#if defined(__clang__)
#define HEX_UNROLL _Pragma("unroll")
#elif defined(__GNUC__)
#define HEX_UNROLL _Pragma("GCC unroll 4")
#else
#define HEX_UNROLL
#endif

// For a helper called from more than one place in a flattened entry, which would otherwise be copied into
// each.
#if defined(__GNUC__) || defined(__clang__)
#define HEX_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define HEX_NOINLINE __declspec(noinline)
#else
#define HEX_NOINLINE
#endif

// 32-bit Windows keeps the stack only 4-byte aligned (a dialog procedure is called so), while GCC assumes 16
// and folds vector spills into SSE instructions that fault where it is not: the kernels' entries realign it.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__i386__)
#define HEX_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define HEX_ALIGN_STACK
#endif

// A hint to bring the cache line at address a in ahead of its use. It is not a load: it reads nothing the
// program sees and never faults, so it may name memory past the end of the text.
#if defined(__GNUC__) || defined(__clang__)
#define HEX_PREFETCH(a) __builtin_prefetch(reinterpret_cast<const void*>(a))
#elif defined(_MSC_VER) && HEXBIN_X86
#include <xmmintrin.h>
#define HEX_PREFETCH(a) _mm_prefetch(reinterpret_cast<const char*>(a), _MM_HINT_T0)
#else
#define HEX_PREFETCH(a) ((void)0)
#endif

// Hides what the compiler knows of x's value: inside a branch taken where x equals a value just computed, it
// then keeps using x, which is ready, instead of folding the branch away and waiting for the other.
#if defined(__GNUC__) || defined(__clang__)
#define HEX_OPAQUE(x) __asm__("" : "+r"(x))
#define HEX_OPAQUE_VECTOR(x) __asm__ volatile("" : "+x"(x))  // a vector made where it is used
#else
#define HEX_OPAQUE(x) ((void)0)
#define HEX_OPAQUE_VECTOR(x) ((void)0)
#endif
