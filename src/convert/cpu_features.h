// What the processor (and the operating system, for the wide registers) lets
// the kernels use: a pure function of the words cpuid and xgetbv give, so
// that any processor's can be tried; this one's are read once, in one place.
#pragma once

#include <cstdint>

enum CpuFeature : uint32_t {
    CPU_SSSE3 = 1u << 0,
    CPU_AVX2 = 1u << 1,    // only when the OS also saves the YMM registers
    CPU_AVX512 = 1u << 2,  // F, BW, VL, VBMI and VBMI2, and the OS saves the opmask and ZMM registers
};

struct CpuidWords {
    uint32_t maxLeaf;  // leaf 0 EAX
    uint32_t ecx1;     // leaf 1 ECX
    uint32_t ebx7;     // leaf 7 EBX and ECX (subleaf 0), 0 where maxLeaf is below 7
    uint32_t ecx7;
    uint64_t xcr0;     // XCR0, 0 where leaf 1 ECX has no OSXSAVE
};

uint32_t CpuFeaturesOf(const CpuidWords& words);

// This processor's, read once and kept.
uint32_t GetCpuFeatures();
