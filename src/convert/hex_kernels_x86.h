// The vector kernels, for hex_kernel.cpp to choose from. Each may only be
// called once cpuid has reported its instruction set.
#pragma once

#include "convert/hex_parse.h"
#include "convert/simd_target.h"

#include <cstdint>

#if HEXBIN_X86
uint32_t BytesToHexTextSsse3(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
uint32_t BytesToHexTextAvx2(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
HexTextResult HexTextToBytesSsse3(const char* szText, uint8_t* pOut);
HexTextResult HexTextToBytesAvx2(const char* szText, uint8_t* pOut);
#endif
