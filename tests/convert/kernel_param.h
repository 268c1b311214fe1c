// Runs a test once for every kernel, each forced in turn through
// SelectHexKernel. A kernel this processor (or this build) lacks is skipped
// with a message saying so; afterwards the best kernel is selected again.
#pragma once

#include "convert/hex_kernel.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>

class KernelTest : public ::testing::TestWithParam<HexKernel> {
protected:
    void SetUp() override
    {
        if (!SelectHexKernel(GetParam())) {
            GTEST_SKIP() << "the " << HexKernelName(GetParam())
                         << " kernel is not supported by this processor or build; not tested here";
        }
    }
    void TearDown() override { SelectHexKernel(BestHexKernel()); }
};

inline std::string KernelTestName(const ::testing::TestParamInfo<HexKernel>& info)
{
    return HexKernelName(info.param);
}

#define INSTANTIATE_FOR_EVERY_KERNEL(suite)                                                            \
    INSTANTIATE_TEST_SUITE_P(Kernels, suite,                                                            \
                             ::testing::Values(HEX_KERNEL_SCALAR, HEX_KERNEL_SSSE3, HEX_KERNEL_AVX2, HEX_KERNEL_AVX512), \
                             KernelTestName)

// A heap block of exactly `size` usable bytes starting `align` bytes into
// its allocation, so the sanitizer reports any access past its end.
struct ExactBlock {
    std::unique_ptr<unsigned char[]> storage;
    unsigned char* p;
};

inline ExactBlock MakeExactBlock(size_t align, size_t size, unsigned char fill)
{
    ExactBlock block{std::unique_ptr<unsigned char[]>(new unsigned char[align + size]), nullptr};
    block.p = block.storage.get() + align;
    for (size_t i = 0; i < size; ++i) block.p[i] = fill;
    return block;
}
