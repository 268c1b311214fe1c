// The kernels behind the two conversions, for the choice among them (hex_kernel.cpp) and for the tests that
// put in one of their own.
#pragma once

#include "convert/generic/simd_target.h"
#include "convert/hex_convert.h"

#include <atomic>

using HexFormatFn = uint32_t (*)(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
using HexParseFn = HexTextResult (*)(const char* szText, uint8_t* pOut);

// One kernel: both conversions, chosen together.
struct HexKernelEntry {
    HexKernel kernel;
    const char* szName;
    uint32_t features;      // CPU_* bits it needs
    HexFormatFn pfnFormat;  // null where this build has no such kernel
    HexParseFn pfnParse;
};

// The entry BytesToHexText and HexTextToBytes call through. Constant-initialised to one whose routines
// choose the kernel on the first call, so a call from any static initialiser finds it set. Atomic only so
// that a second thread would see a whole pointer; the relaxed load is a plain move. SelectHexKernel sets it;
// a test may set an entry of its own.
extern std::atomic<const HexKernelEntry*> g_pHexKernel;

// The best kernel of this build for a processor with these CPU_* features.
HexKernel BestHexKernelFor(uint32_t features);

#if HEXBIN_X86
// The vector kernels' entries. Each may only be called once cpuid has reported its instruction set.
uint32_t BytesToHexTextSsse3(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
uint32_t BytesToHexTextAvx2(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
uint32_t BytesToHexTextAvx512(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
HexTextResult HexTextToBytesSsse3(const char* szText, uint8_t* pOut);
HexTextResult HexTextToBytesAvx2(const char* szText, uint8_t* pOut);
HexTextResult HexTextToBytesAvx512(const char* szText, uint8_t* pOut);
#endif
