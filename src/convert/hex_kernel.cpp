#include "convert/hex_kernel.h"

#include "convert/cpu_features.h"
#include "convert/scalar/hex_scalar.h"

namespace {

struct HexKernelEntry {
    const char* szName;
    uint32_t features;        // CPU_* bits the kernel needs
    HexFormatFn pfnFormat;    // null where this build has no such kernel
    HexParseFn pfnParse;
};

constexpr HexKernelEntry HexKernelTable[HEX_KERNEL_COUNT] = {
    {"scalar", 0, BytesToHexTextScalar, HexTextToBytesScalar},
#if HEXBIN_X86
    {"ssse3", CPU_SSSE3, BytesToHexTextSsse3, HexTextToBytesSsse3},
    {"avx2", CPU_AVX2, BytesToHexTextAvx2, HexTextToBytesAvx2},
#else
    {"ssse3", CPU_SSSE3, nullptr, nullptr},
    {"avx2", CPU_AVX2, nullptr, nullptr},
#endif
#if HEXBIN_AVX512
    {"avx512", CPU_AVX2 | CPU_AVX512, BytesToHexTextAvx512, HexTextToBytesAvx512},
#else
    {"avx512", CPU_AVX2 | CPU_AVX512, nullptr, nullptr},
#endif
};

std::atomic<HexKernel> g_kernelSelected{HEX_KERNEL_SCALAR};

uint32_t BytesToHexTextFirstCall(const uint8_t* pSrc, uint32_t cbSrc, char* pDst)
{
    SelectHexKernel(BestHexKernel());
    return g_pfnFormat.load(std::memory_order_relaxed)(pSrc, cbSrc, pDst);
}

HexTextResult HexTextToBytesFirstCall(const char* szText, uint8_t* pOut)
{
    SelectHexKernel(BestHexKernel());
    return g_pfnParse.load(std::memory_order_relaxed)(szText, pOut);
}

}  // namespace

std::atomic<HexFormatFn> g_pfnFormat{BytesToHexTextFirstCall};
std::atomic<HexParseFn> g_pfnParse{HexTextToBytesFirstCall};

uint32_t BytesToHexText(const uint8_t* pSrc, uint32_t cbSrc, char* pDst)
{
    return g_pfnFormat.load(std::memory_order_relaxed)(pSrc, cbSrc, pDst);
}

HexTextResult HexTextToBytes(const char* szText, uint8_t* pOut)
{
    return g_pfnParse.load(std::memory_order_relaxed)(szText, pOut);
}

const char* HexKernelName(HexKernel kernel)
{
    return kernel < HEX_KERNEL_COUNT ? HexKernelTable[kernel].szName : "unknown";
}

bool IsHexKernelSupported(HexKernel kernel)
{
    if (kernel >= HEX_KERNEL_COUNT || HexKernelTable[kernel].pfnFormat == nullptr) return false;
    const uint32_t need = HexKernelTable[kernel].features;
    return (GetCpuFeatures() & need) == need;
}

HexKernel BestHexKernel()
{
    for (int k = HEX_KERNEL_COUNT - 1; k > HEX_KERNEL_SCALAR; --k) {
        if (IsHexKernelSupported(static_cast<HexKernel>(k))) return static_cast<HexKernel>(k);
    }
    return HEX_KERNEL_SCALAR;
}

bool SelectHexKernel(HexKernel kernel)
{
    if (!IsHexKernelSupported(kernel)) return false;
    g_pfnFormat.store(HexKernelTable[kernel].pfnFormat, std::memory_order_relaxed);
    g_pfnParse.store(HexKernelTable[kernel].pfnParse, std::memory_order_relaxed);
    g_kernelSelected.store(kernel, std::memory_order_relaxed);
    return true;
}

HexKernel SelectedHexKernel()
{
    // Before the first conversion nothing is chosen yet; report what will be.
    if (g_pfnFormat.load(std::memory_order_relaxed) == BytesToHexTextFirstCall) return BestHexKernel();
    return g_kernelSelected.load(std::memory_order_relaxed);
}
