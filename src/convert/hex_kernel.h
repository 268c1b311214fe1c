// The kernels behind the two conversions, for the choice among them
// (hex_kernel.cpp) and for the tests that put in one of their own.
#pragma once

#include "convert/generic/simd_target.h"
#include "convert/hex_convert.h"

#include <atomic>
#include <cstdint>

using HexFormatFn = uint32_t (*)(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
using HexParseFn = HexTextResult (*)(const char* szText, uint8_t* pOut);

// What BytesToHexText and HexTextToBytes call. Constant-initialised to a
// routine that chooses the kernel on the first call, so a call from any
// static initialiser finds them set. Atomic only so that a second thread
// would see a whole pointer; the relaxed load is a plain move.
extern std::atomic<HexFormatFn> g_pfnFormat;
extern std::atomic<HexParseFn> g_pfnParse;

#if HEXBIN_X86
// The vector kernels' entries. Each may only be called once cpuid has
// reported its instruction set.
uint32_t BytesToHexTextSsse3(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
uint32_t BytesToHexTextAvx2(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
uint32_t BytesToHexTextAvx512(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
HexTextResult HexTextToBytesSsse3(const char* szText, uint8_t* pOut);
HexTextResult HexTextToBytesAvx2(const char* szText, uint8_t* pOut);
HexTextResult HexTextToBytesAvx512(const char* szText, uint8_t* pOut);
#endif
