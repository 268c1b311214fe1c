// Runs a test once for every kernel, each forced in turn through SelectHexKernel. A kernel this processor
// (or this build) lacks is skipped with a message saying so, except AVX-512, whose parser then runs on
// stand-ins for its instructions (tests/emulation, an entry of its own), as it does where
// HEXBIN_AVX512_EMULATED is set; where HEXBIN_NARROW_BLOCKS is, the AVX2 parser is the 32-bit build's
// (tests/emulation too). Afterwards the best kernel is selected again.
#pragma once

#include "convert/hex_kernel.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

extern const HexKernelEntry Avx512EmulatedEntry, NarrowAvx2Entry;

class KernelTest : public ::testing::TestWithParam<HexKernel> {
protected:
    void SetUp() override
    {
        const HexKernel kernel = GetParam();
#if HEXBIN_AVX512
        const bool fEmulated = kernel == HEX_KERNEL_AVX512 && (!IsHexKernelSupported(kernel) || std::getenv("HEXBIN_AVX512_EMULATED") != nullptr);
        const bool fNarrow = kernel == HEX_KERNEL_AVX2 && IsHexKernelSupported(kernel) && std::getenv("HEXBIN_NARROW_BLOCKS") != nullptr;
        if (fEmulated || fNarrow) {
            g_pHexKernel.store(fEmulated ? &Avx512EmulatedEntry : &NarrowAvx2Entry);
            return;
        }
#endif
        if (!SelectHexKernel(kernel)) {
            GTEST_SKIP() << "the " << HexKernelName(kernel) << " kernel is not supported by this processor or build";
        }
    }
    void TearDown() override { SelectHexKernel(BestHexKernel()); }
};

inline std::string KernelTestName(const ::testing::TestParamInfo<HexKernel>& info) { return HexKernelName(info.param); }

#define INSTANTIATE_FOR_EVERY_KERNEL(suite)                                                            \
    INSTANTIATE_TEST_SUITE_P(Kernels, suite,                                                            \
                             ::testing::Values(HEX_KERNEL_SCALAR, HEX_KERNEL_SSSE3, HEX_KERNEL_AVX2, HEX_KERNEL_AVX512), \
                             KernelTestName)

// A block of exactly `size` usable bytes: on the heap, `align` bytes into
// its allocation, so the sanitizer reports any access past its end; or,
// guarded, right before a page that may not be touched, so that any such
// access faults (under ASan, which checks heap blocks, a heap block).
struct ExactBlock {
    std::shared_ptr<unsigned char> storage;
    unsigned char* p;
};

inline ExactBlock MakeExactBlock(size_t align, size_t size, unsigned char fill, [[maybe_unused]] bool fGuarded = false)
{
    ExactBlock block{std::shared_ptr<unsigned char>(new unsigned char[align + size], std::default_delete<unsigned char[]>()), nullptr};
    block.p = block.storage.get() + align;
#if !defined(__SANITIZE_ADDRESS__)  // the tests build with GCC
    if (fGuarded) {
        const size_t cbPage = 4096;  // the guard works with any larger page too
        const size_t cbTotal = (size + cbPage - 1) / cbPage * cbPage + cbPage;
#if defined(_WIN32)
        // From the top: in the 32-bit tests, which are large-address-aware,
        // above 2 GiB, where an address taken for a signed number is negative.
        auto* pMem = static_cast<unsigned char*>(VirtualAlloc(nullptr, cbTotal, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE));
        DWORD oldProtect = 0;
        if (pMem == nullptr || !VirtualProtect(pMem + cbTotal - cbPage, cbPage, PAGE_NOACCESS, &oldProtect)) std::abort();
        EXPECT_TRUE(sizeof(void*) == 8 || reinterpret_cast<uintptr_t>(pMem) >= 0x80000000u) << "a block below 2 GiB";
        block.storage.reset(pMem, [](unsigned char* p) { VirtualFree(p, 0, MEM_RELEASE); });
#else
        void* pMap = mmap(nullptr, cbTotal, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        auto* pMem = static_cast<unsigned char*>(pMap);
        if (pMap == MAP_FAILED || mprotect(pMem + cbTotal - cbPage, cbPage, PROT_NONE) != 0) std::abort();
        block.storage.reset(pMem, [cbTotal](unsigned char* p) { munmap(p, cbTotal); });
#endif
        block.p = pMem + cbTotal - cbPage - size;
    }
#endif
    std::memset(block.p, fill, size);
    return block;
}
