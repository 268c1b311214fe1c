#include "convert/cpu_features.h"

#include "convert/generic/simd_target.h"

#if HEXBIN_X86
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace {

// CPUID leaf 1 ECX and leaf 7 EBX and ECX bits, and the XCR0 bits that say the OS saves the register state
// across context switches: SSE and AVX (bits 1 and 2), and for AVX-512 also the opmask registers, the upper
// halves of ZMM0-15 and ZMM16-31 (bits 5 to 7).
constexpr uint32_t CPUID1_ECX_SSSE3 = 1u << 9;
constexpr uint32_t CPUID1_ECX_POPCNT = 1u << 23;
constexpr uint32_t CPUID1_ECX_OSXSAVE = 1u << 27;
constexpr uint32_t CPUID1_ECX_AVX = 1u << 28;
// BMI1 and POPCNT too: the AVX2 parser takes andn and popcnt, and a virtual machine may hide either.
constexpr uint32_t CPUID7_EBX_AVX2 = (1u << 3) | (1u << 5);                              // BMI1, AVX2
constexpr uint32_t CPUID7_EBX_AVX512 = (1u << 8) | (1u << 16) | (1u << 30) | (1u << 31);  // BMI2, F, BW, VL
constexpr uint32_t CPUID7_ECX_AVX512 = (1u << 1) | (1u << 6);                              // VBMI, VBMI2
constexpr uint64_t XCR0_SSE_AVX = 0x6;
constexpr uint64_t XCR0_AVX512 = 0xE6;

#if HEXBIN_X86

struct CpuidRegs {
    uint32_t eax, ebx, ecx, edx;
};

CpuidRegs Cpuid(uint32_t leaf)
{
    CpuidRegs r{};
#if defined(_MSC_VER) && !defined(__clang__)
    int regs[4];
    __cpuidex(regs, static_cast<int>(leaf), 0);
    r = {static_cast<uint32_t>(regs[0]), static_cast<uint32_t>(regs[1]), static_cast<uint32_t>(regs[2]), static_cast<uint32_t>(regs[3])};
#else
    if (!__get_cpuid_count(leaf, 0, &r.eax, &r.ebx, &r.ecx, &r.edx)) r = {};
#endif
    return r;
}

// Only called once OSXSAVE said the instruction exists.
uint64_t ReadXcr0()
{
#if defined(_MSC_VER) && !defined(__clang__)
    return _xgetbv(0);
#else
    // Inline assembly rather than _xgetbv, which GCC offers only to code compiled for XSAVE.
    uint32_t lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<uint64_t>(hi) << 32) | lo;
#endif
}

#endif

CpuidWords ReadCpuidWords()
{
    CpuidWords words{};
#if HEXBIN_X86
    words.maxLeaf = Cpuid(0).eax;
    if (words.maxLeaf >= 1) words.ecx1 = Cpuid(1).ecx;
    if (words.maxLeaf >= 7) {
        const CpuidRegs leaf7 = Cpuid(7);
        words.ebx7 = leaf7.ebx;
        words.ecx7 = leaf7.ecx;
    }
    if (words.ecx1 & CPUID1_ECX_OSXSAVE) words.xcr0 = ReadXcr0();
#endif
    return words;
}

}  // namespace

uint32_t CpuFeaturesOf(const CpuidWords& words)
{
    if (words.maxLeaf < 1) return 0;
    uint32_t features = (words.ecx1 & CPUID1_ECX_SSSE3) ? uint32_t{CPU_SSSE3} : 0;
    if (!(words.ecx1 & CPUID1_ECX_OSXSAVE) || !(words.ecx1 & CPUID1_ECX_AVX) || !(words.ecx1 & CPUID1_ECX_POPCNT) || words.maxLeaf < 7) return features;
    if ((words.xcr0 & XCR0_SSE_AVX) != XCR0_SSE_AVX || (words.ebx7 & CPUID7_EBX_AVX2) != CPUID7_EBX_AVX2) return features;
    features |= CPU_AVX2;
    if ((words.xcr0 & XCR0_AVX512) == XCR0_AVX512 && (words.ebx7 & CPUID7_EBX_AVX512) == CPUID7_EBX_AVX512 &&
        (words.ecx7 & CPUID7_ECX_AVX512) == CPUID7_ECX_AVX512) {
        features |= CPU_AVX512;
    }
    return features;
}

uint32_t GetCpuFeatures()
{
    static const uint32_t features = CpuFeaturesOf(ReadCpuidWords());
    return features;
}
