#include "convert/hex_kernel.h"

#include "convert/cpu_features.h"
#include "convert/scalar/hex_scalar.h"

namespace {

constexpr HexKernelEntry HexKernelTable[HEX_KERNEL_COUNT] = {
    {HEX_KERNEL_SCALAR, "scalar", 0, BytesToHexTextScalar, HexTextToBytesScalar},
#if HEXBIN_X86
    {HEX_KERNEL_SSSE3, "ssse3", CPU_SSSE3, BytesToHexTextSsse3, HexTextToBytesSsse3},
    {HEX_KERNEL_AVX2, "avx2", CPU_AVX2, BytesToHexTextAvx2, HexTextToBytesAvx2},
#else
    {HEX_KERNEL_SSSE3, "ssse3", CPU_SSSE3, nullptr, nullptr},
    {HEX_KERNEL_AVX2, "avx2", CPU_AVX2, nullptr, nullptr},
#endif
#if HEXBIN_AVX512
    {HEX_KERNEL_AVX512, "avx512", CPU_AVX2 | CPU_AVX512, BytesToHexTextAvx512, HexTextToBytesAvx512},
#else
    {HEX_KERNEL_AVX512, "avx512", CPU_AVX2 | CPU_AVX512, nullptr, nullptr},
#endif
};

// Whether this build has the kernel and the features give what it needs.
bool KernelRunsWith(HexKernel kernel, uint32_t features)
{
    if (kernel >= HEX_KERNEL_COUNT || HexKernelTable[kernel].pfnFormat == nullptr) return false;
    const uint32_t need = HexKernelTable[kernel].features;
    return (features & need) == need;
}

uint32_t BytesToHexTextFirstCall(const uint8_t* pSrc, uint32_t cbSrc, char* pDst)
{
    SelectHexKernel(BestHexKernel());
    return g_pHexKernel.load(std::memory_order_relaxed)->pfnFormat(pSrc, cbSrc, pDst);
}

HexTextResult HexTextToBytesFirstCall(const char* szText, uint8_t* pOut)
{
    SelectHexKernel(BestHexKernel());
    return g_pHexKernel.load(std::memory_order_relaxed)->pfnParse(szText, pOut);
}

constexpr HexKernelEntry FirstCallEntry = {HEX_KERNEL_COUNT, "unchosen", 0, BytesToHexTextFirstCall, HexTextToBytesFirstCall};

}  // namespace

std::atomic<const HexKernelEntry*> g_pHexKernel{&FirstCallEntry};

uint32_t BytesToHexText(const uint8_t* pSrc, uint32_t cbSrc, char* pDst)
{
    return g_pHexKernel.load(std::memory_order_relaxed)->pfnFormat(pSrc, cbSrc, pDst);
}

HexTextResult HexTextToBytes(const char* szText, uint8_t* pOut)
{
    return g_pHexKernel.load(std::memory_order_relaxed)->pfnParse(szText, pOut);
}

const char* HexKernelName(HexKernel kernel)
{
    return kernel < HEX_KERNEL_COUNT ? HexKernelTable[kernel].szName : "unknown";
}

bool IsHexKernelSupported(HexKernel kernel)
{
    return KernelRunsWith(kernel, GetCpuFeatures());
}

HexKernel BestHexKernelFor(uint32_t features)
{
    for (int k = HEX_KERNEL_COUNT - 1; k > HEX_KERNEL_SCALAR; --k) {
        if (KernelRunsWith(static_cast<HexKernel>(k), features)) return static_cast<HexKernel>(k);
    }
    return HEX_KERNEL_SCALAR;
}

HexKernel BestHexKernel()
{
    return BestHexKernelFor(GetCpuFeatures());
}

bool SelectHexKernel(HexKernel kernel)
{
    if (!IsHexKernelSupported(kernel)) return false;
    g_pHexKernel.store(&HexKernelTable[kernel], std::memory_order_relaxed);
    return true;
}

HexKernel SelectedHexKernel()
{
    // Before the first conversion nothing is chosen yet; report what will be.
    const HexKernelEntry* pEntry = g_pHexKernel.load(std::memory_order_relaxed);
    return pEntry == &FirstCallEntry ? BestHexKernel() : pEntry->kernel;
}
