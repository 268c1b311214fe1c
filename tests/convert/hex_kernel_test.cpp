// The choice of kernel: what cpuid reports, and what SelectHexKernel does.
#include "convert/cpu_features.h"
#include "convert/hex_kernel.h"

#include <gtest/gtest.h>

#include <utility>

#if HEXBIN_X86 && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>  // the compiler's names of the bits, as the processor manuals give them
#endif

namespace {

// The bench names its rows by these.
TEST(HexKernelName, NamesEveryKernelAndNoOther)
{
    const std::pair<int, const char*> kNames[] = {{0, "scalar"}, {1, "ssse3"}, {2, "avx2"}, {3, "avx512"}, {4, "unknown"}, {255, "unknown"}};
    for (const auto& [k, szName] : kNames) EXPECT_STREQ(HexKernelName(static_cast<HexKernel>(k)), szName) << k;
}

// The compiler's own processor check, read independently of ours.
#if HEXBIN_X86 && (defined(__GNUC__) || defined(__clang__))
TEST(CpuFeatures, AgreeWithCompilerDetection)
{
    __builtin_cpu_init();
    EXPECT_EQ((GetCpuFeatures() & CPU_SSSE3) != 0, __builtin_cpu_supports("ssse3") != 0);
    EXPECT_EQ((GetCpuFeatures() & CPU_AVX2) != 0, __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt"));
    EXPECT_EQ((GetCpuFeatures() & CPU_AVX512) != 0, __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("avx512bw") &&
                                                       __builtin_cpu_supports("bmi2"));
}

// Real processors' words, from the bits their makers document (leaf 1 ECX,
// leaf 7 EBX and ECX, XCR0), and what each gets. XCR0 0x7 saves x87, SSE
// and AVX state; 0xE7 also the opmask and both halves of ZMM; 0x2E7 PKRU too.
TEST(CpuFeaturesOf, RealProcessors)
{
    constexpr uint32_t AVX_ECX1 = bit_SSE3 | bit_PCLMUL | bit_SSSE3 | bit_FMA | bit_CMPXCHG16B | bit_SSE4_1 | bit_SSE4_2 | bit_MOVBE |
                                  bit_POPCNT | bit_AES | bit_XSAVE | bit_OSXSAVE | bit_AVX | bit_F16C | bit_RDRND;
    constexpr uint32_t HSW_EBX7 = bit_FSGSBASE | bit_BMI | bit_AVX2 | bit_BMI2;
    constexpr uint32_t SKX_EBX7 = HSW_EBX7 | bit_AVX512F | bit_AVX512DQ | bit_RDSEED | bit_ADX | bit_CLFLUSHOPT | bit_CLWB |
                                  bit_AVX512CD | bit_AVX512BW | bit_AVX512VL;
    constexpr uint32_t CNL_EBX7 = (SKX_EBX7 & ~bit_CLWB) | bit_AVX512IFMA | bit_SHA;
    constexpr uint32_t ICL_ECX7 = bit_AVX512VBMI | bit_PKU | bit_AVX512VBMI2 | bit_GFNI | bit_VAES | bit_VPCLMULQDQ | bit_AVX512VNNI |
                                  bit_AVX512BITALG | bit_AVX512VPOPCNTDQ | bit_RDPID;
    constexpr uint32_t KNL_EBX7 = HSW_EBX7 | bit_AVX512F | bit_RDSEED | bit_ADX | bit_AVX512PF | bit_AVX512ER | bit_AVX512CD;
    constexpr uint32_t ALL = CPU_SSSE3 | CPU_AVX2 | CPU_AVX512, TO_AVX2 = CPU_SSSE3 | CPU_AVX2;
    const struct { const char* szName; CpuidWords words; uint32_t features; HexKernel kernelIfAll; } kProcessors[] = {
        {"Zen 4", {0x10, AVX_ECX1, SKX_EBX7 | bit_AVX512IFMA | bit_SHA, ICL_ECX7, 0x2E7}, ALL, HEX_KERNEL_AVX512},
        {"Ice Lake", {0x1B, AVX_ECX1, CNL_EBX7, ICL_ECX7, 0xE7}, ALL, HEX_KERNEL_AVX512},
        {"Haswell", {0xD, AVX_ECX1, HSW_EBX7, 0, 0x7}, TO_AVX2, HEX_KERNEL_AVX2},
        {"Cannon Lake: VBMI, no VBMI2", {0x14, AVX_ECX1, CNL_EBX7, bit_AVX512VBMI | bit_PKU, 0xE7}, TO_AVX2, HEX_KERNEL_AVX2},
        {"Ice Lake, the OS saving no ZMM state", {0x1B, AVX_ECX1, CNL_EBX7, ICL_ECX7, 0x7}, TO_AVX2, HEX_KERNEL_AVX2},
        {"Ice Lake, the OS saving no ZMM16-31", {0x1B, AVX_ECX1, CNL_EBX7, ICL_ECX7, 0x67}, TO_AVX2, HEX_KERNEL_AVX2},
        {"Haswell, the OS saving no YMM state", {0xD, AVX_ECX1, HSW_EBX7, 0, 0x3}, CPU_SSSE3, HEX_KERNEL_SSSE3},
        {"a virtual machine passing AVX2 without BMI1", {0xD, AVX_ECX1, HSW_EBX7 & ~bit_BMI, 0, 0x7}, CPU_SSSE3, HEX_KERNEL_SSSE3},
        {"a virtual machine passing AVX-512 without POPCNT", {0x1B, AVX_ECX1 & ~bit_POPCNT, CNL_EBX7, ICL_ECX7, 0xE7}, CPU_SSSE3, HEX_KERNEL_SSSE3},
        {"Phenom II: no SSSE3", {0x5, bit_SSE3 | bit_CMPXCHG16B | bit_POPCNT, 0, 0, 0}, 0, HEX_KERNEL_SCALAR},
        {"Skylake-SP: no VBMI", {0x16, AVX_ECX1, SKX_EBX7, bit_PKU | bit_OSPKE, 0x2E7}, TO_AVX2, HEX_KERNEL_AVX2},
        {"Knights Landing: F without BW, VL", {0xD, AVX_ECX1, KNL_EBX7, bit_PREFETCHWT1, 0xE7}, TO_AVX2, HEX_KERNEL_AVX2},
        {"a virtual machine passing VBMI2 without BW, VL", {0xD, AVX_ECX1, KNL_EBX7, ICL_ECX7, 0xE7}, TO_AVX2, HEX_KERNEL_AVX2},
    };
    for (const auto& c : kProcessors) {
        EXPECT_EQ(CpuFeaturesOf(c.words), c.features) << c.szName;
        const HexKernel want = !HEXBIN_AVX512 && c.kernelIfAll == HEX_KERNEL_AVX512 ? HEX_KERNEL_AVX2 : c.kernelIfAll;
        EXPECT_EQ(BestHexKernelFor(c.features), want) << c.szName;
    }
}
#endif

// A kernel that cannot run is refused and the choice kept; each kernel's
// entry is its own, with routines of its own.
TEST(SelectHexKernel, RefusesWhatCannotRunAndKeepsTheChoice)
{
    const HexKernelEntry* pEntries[HEX_KERNEL_COUNT] = {};
    for (int k = 0; k <= HEX_KERNEL_COUNT; ++k) {
        ASSERT_TRUE(SelectHexKernel(HEX_KERNEL_SCALAR));
        const auto kernel = static_cast<HexKernel>(k);
        if (k == HEX_KERNEL_COUNT || !IsHexKernelSupported(kernel)) {
            EXPECT_FALSE(SelectHexKernel(kernel)) << k;
            EXPECT_EQ(SelectedHexKernel(), HEX_KERNEL_SCALAR) << k;
            continue;
        }
        ASSERT_TRUE(SelectHexKernel(kernel)) << k;
        pEntries[k] = g_pHexKernel.load();
        EXPECT_EQ(pEntries[k]->kernel, k);
        for (int j = 0; j < k; ++j) EXPECT_TRUE(!pEntries[j] || (pEntries[j]->pfnFormat != pEntries[k]->pfnFormat && pEntries[j]->pfnParse != pEntries[k]->pfnParse)) << j << k;
    }
    const HexKernel best = BestHexKernel();
    EXPECT_TRUE(SelectHexKernel(best) && SelectedHexKernel() == best);
    for (int k = best + 1; k < HEX_KERNEL_COUNT; ++k) EXPECT_FALSE(IsHexKernelSupported(static_cast<HexKernel>(k)));
}

}  // namespace
