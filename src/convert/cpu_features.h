// What the processor (and the operating system, for the wide registers) lets
// the conversion kernels use. Read once with cpuid and kept.
#pragma once

#include <cstdint>

enum CpuFeature : uint32_t {
    CPU_SSSE3 = 1u << 0,
    CPU_AVX2 = 1u << 1,    // only when the OS also saves the YMM registers
    CPU_AVX512 = 1u << 2,  // F, BW, VL, VBMI and VBMI2, and the OS saves the opmask and ZMM registers
};

uint32_t GetCpuFeatures();
