// The conversion kernels and the choice among them.
//
// BytesToHexText and HexTextToBytes run through a function pointer set once,
// on their first call, to the best kernel the processor supports. Every
// kernel gives exactly the reference's result; they differ only in speed.
// SelectHexKernel exists for the tests and the benchmark, which run each
// kernel in turn; the program itself never calls it.
#pragma once

#include "convert/hex_parse.h"

#include <atomic>
#include <cstdint>

enum HexKernel : uint8_t {
    HEX_KERNEL_SCALAR = 0,  // the table-driven reference routines
    HEX_KERNEL_SSSE3 = 1,
    HEX_KERNEL_AVX2 = 2,
    HEX_KERNEL_AVX512 = 3,  // AVX-512 VBMI and VBMI2 (the parser) and VBMI (the formatter)
    HEX_KERNEL_COUNT = 4,
};

const char* HexKernelName(HexKernel kernel);
bool IsHexKernelSupported(HexKernel kernel);
HexKernel BestHexKernel();

// Makes both entry points run the given kernel. Returns false, changing
// nothing, when this processor or this build does not have it.
bool SelectHexKernel(HexKernel kernel);
HexKernel SelectedHexKernel();

using HexFormatFn = uint32_t (*)(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
using HexParseFn = HexTextResult (*)(const char* szText, uint8_t* pOut);

// What BytesToHexText and HexTextToBytes call. Constant-initialised to a
// routine that chooses the kernel on the first call, so a call from any
// static initialiser finds them set. Atomic only so that a second thread
// would see a whole pointer; the relaxed load is a plain move.
extern std::atomic<HexFormatFn> g_pfnFormat;
extern std::atomic<HexParseFn> g_pfnParse;
