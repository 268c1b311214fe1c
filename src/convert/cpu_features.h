// What the processor (and the operating system, for the wide registers) lets
// the conversion kernels use. Read once with cpuid and kept.
#pragma once

#include <cstdint>

enum CpuFeature : uint32_t {
    CPU_SSSE3 = 1u << 0,
    CPU_AVX2 = 1u << 1,  // only when the OS also saves the YMM registers
};

uint32_t GetCpuFeatures();
