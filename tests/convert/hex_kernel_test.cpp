// The choice of kernel: what cpuid reports, and what SelectHexKernel does.
#include "convert/cpu_features.h"
#include "convert/generic/simd_target.h"
#include "convert/hex_convert.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// The compiler's own processor check, read independently of ours.
#if HEXBIN_X86 && (defined(__GNUC__) || defined(__clang__))
TEST(CpuFeatures, AgreeWithCompilerDetection)
{
    __builtin_cpu_init();
    EXPECT_EQ((GetCpuFeatures() & CPU_SSSE3) != 0, __builtin_cpu_supports("ssse3") != 0);
    EXPECT_EQ((GetCpuFeatures() & CPU_AVX2) != 0, __builtin_cpu_supports("avx2") != 0);
    EXPECT_EQ((GetCpuFeatures() & CPU_AVX512) != 0, __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("avx512bw") &&
                                                       __builtin_cpu_supports("bmi2"));
}
#endif

// The bench names its rows by these.
TEST(HexKernelName, NamesEveryKernelAndNoOther)
{
    const std::pair<int, const char*> kNames[] = {{0, "scalar"}, {1, "ssse3"}, {2, "avx2"}, {3, "avx512"}, {4, "unknown"}, {255, "unknown"}};
    for (const auto& [k, szName] : kNames) EXPECT_STREQ(HexKernelName(static_cast<HexKernel>(k)), szName) << k;
}

TEST(SelectHexKernel, RefusesWhatCannotRunAndKeepsTheChoice)
{
    ASSERT_TRUE(SelectHexKernel(HEX_KERNEL_SCALAR));
    EXPECT_FALSE(SelectHexKernel(HEX_KERNEL_COUNT));
    for (int k = 0; k < HEX_KERNEL_COUNT; ++k) {
        const auto kernel = static_cast<HexKernel>(k);
        if (!IsHexKernelSupported(kernel)) {
            EXPECT_FALSE(SelectHexKernel(kernel)) << HexKernelName(kernel);
        }
    }
    EXPECT_EQ(SelectedHexKernel(), HEX_KERNEL_SCALAR);

    const HexKernel best = BestHexKernel();
    EXPECT_TRUE(SelectHexKernel(best));
    EXPECT_EQ(SelectedHexKernel(), best);
    for (int k = best + 1; k < HEX_KERNEL_COUNT; ++k) EXPECT_FALSE(IsHexKernelSupported(static_cast<HexKernel>(k)));
}

}  // namespace
