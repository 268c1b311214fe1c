#include "convert/cpu_features.h"

#include "convert/simd_target.h"

#if HEXBIN_X86
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace {

#if HEXBIN_X86

// CPUID leaf 1 ECX and leaf 7 EBX bits, and the XCR0 bits that say the OS
// saves the SSE and AVX register state across context switches.
constexpr uint32_t kLeaf1EcxSsse3 = 1u << 9;
constexpr uint32_t kLeaf1EcxOsxsave = 1u << 27;
constexpr uint32_t kLeaf1EcxAvx = 1u << 28;
constexpr uint32_t kLeaf7EbxAvx2 = 1u << 5;
constexpr uint64_t kXcr0SseAvx = 0x6;

struct CpuidRegs {
    uint32_t eax, ebx, ecx, edx;
};

CpuidRegs Cpuid(uint32_t leaf)
{
    CpuidRegs r{};
#if defined(_MSC_VER) && !defined(__clang__)
    int regs[4];
    __cpuidex(regs, static_cast<int>(leaf), 0);
    r = {static_cast<uint32_t>(regs[0]), static_cast<uint32_t>(regs[1]),
         static_cast<uint32_t>(regs[2]), static_cast<uint32_t>(regs[3])};
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
    // Inline assembly rather than _xgetbv, which GCC offers only to code
    // compiled for XSAVE.
    uint32_t lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<uint64_t>(hi) << 32) | lo;
#endif
}

uint32_t DetectCpuFeatures()
{
    uint32_t features = 0;
    const uint32_t maxLeaf = Cpuid(0).eax;
    if (maxLeaf < 1) return 0;

    const CpuidRegs leaf1 = Cpuid(1);
    if (leaf1.ecx & kLeaf1EcxSsse3) features |= CPU_SSSE3;

    const bool osSavesAvx = (leaf1.ecx & kLeaf1EcxOsxsave) && (leaf1.ecx & kLeaf1EcxAvx) &&
                            (ReadXcr0() & kXcr0SseAvx) == kXcr0SseAvx;
    if (osSavesAvx && maxLeaf >= 7 && (Cpuid(7).ebx & kLeaf7EbxAvx2)) features |= CPU_AVX2;
    return features;
}

#else

uint32_t DetectCpuFeatures()
{
    return 0;
}

#endif

}  // namespace

uint32_t GetCpuFeatures()
{
    static const uint32_t features = DetectCpuFeatures();
    return features;
}
