// The part of the vector formatters that is the same for every instruction
// set: full lines by the kernel, the rest by the reference.
#pragma once

#include <cstdint>

// Writes cLines full lines (16 bytes each into 51 characters) from pSrc to
// pDst, and nothing past the last LF.
using FormatLinesFn = void (*)(const uint8_t* pSrc, uint32_t cLines, char* pDst);

// BytesToHexText with pfnLines for the full lines before the last 1 to 16
// bytes, which the reference writes together with the terminator.
uint32_t BytesToHexTextLines(const uint8_t* pSrc, uint32_t cbSrc, char* pDst, FormatLinesFn pfnLines);
