#include "convert/hex_kernel.h"

#include "convert/cpu_features.h"
#include "convert/hex_format.h"
#include "convert/hex_kernels_x86.h"
#include "convert/hex_parse.h"

#include <atomic>

namespace {

using FormatFn = uint32_t (*)(const uint8_t*, uint32_t, char*);
using ParseFn = HexTextResult (*)(const char*, uint8_t*);

struct HexKernelEntry {
    const char* szName;
    uint32_t features;  // CPU_* bits the kernel needs
    FormatFn pfnFormat;  // null where this build has no such kernel
    ParseFn pfnParse;
};

constexpr HexKernelEntry kKernels[HEX_KERNEL_COUNT] = {
    {"scalar", 0, BytesToHexTextScalar, HexTextToBytesScalar},
#if HEXBIN_X86
    {"ssse3", CPU_SSSE3, BytesToHexTextSsse3, HexTextToBytesSsse3},
    {"avx2", CPU_AVX2, BytesToHexTextAvx2, HexTextToBytesAvx2},
#else
    {"ssse3", CPU_SSSE3, nullptr, nullptr},
    {"avx2", CPU_AVX2, nullptr, nullptr},
#endif
};

uint32_t BytesToHexTextFirstCall(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
HexTextResult HexTextToBytesFirstCall(const char* szText, uint8_t* pOut);

// Constant-initialised, so a call from any static initialiser finds them
// set. Atomic only so that a second thread would see a whole pointer; the
// relaxed load is a plain move.
std::atomic<FormatFn> g_pfnFormat{BytesToHexTextFirstCall};
std::atomic<ParseFn> g_pfnParse{HexTextToBytesFirstCall};
std::atomic<HexKernel> g_selected{HEX_KERNEL_SCALAR};

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

const char* HexKernelName(HexKernel kernel)
{
    return kernel < HEX_KERNEL_COUNT ? kKernels[kernel].szName : "unknown";
}

bool IsHexKernelSupported(HexKernel kernel)
{
    if (kernel >= HEX_KERNEL_COUNT || kKernels[kernel].pfnFormat == nullptr) return false;
    const uint32_t need = kKernels[kernel].features;
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
    g_pfnFormat.store(kKernels[kernel].pfnFormat, std::memory_order_relaxed);
    g_pfnParse.store(kKernels[kernel].pfnParse, std::memory_order_relaxed);
    g_selected.store(kernel, std::memory_order_relaxed);
    return true;
}

HexKernel SelectedHexKernel()
{
    // Before the first conversion nothing is chosen yet; report what will be.
    if (g_pfnFormat.load(std::memory_order_relaxed) == BytesToHexTextFirstCall) return BestHexKernel();
    return g_selected.load(std::memory_order_relaxed);
}

uint32_t BytesToHexText(const uint8_t* pSrc, uint32_t cbSrc, char* pDst)
{
    return g_pfnFormat.load(std::memory_order_relaxed)(pSrc, cbSrc, pDst);
}

HexTextResult HexTextToBytes(const char* szText, uint8_t* pOut)
{
    return g_pfnParse.load(std::memory_order_relaxed)(szText, pOut);
}
