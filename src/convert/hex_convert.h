// The two conversions, and the choice of the kernel that runs them. Every kernel gives exactly the reference
// routines' result (scalar/), only faster; the fastest this processor has is chosen on the first call.
// SelectHexKernel is for the tests and the benchmark, never the program.
#pragma once

#include <cstdint>

enum HexTextStatus : uint8_t {
    HEX_OK = 0,        // end of text reached
    HEX_BAD_CHAR = 1,  // a character that cannot begin a pair, separator or comment
    HEX_UNPAIRED = 2,  // a hex digit followed by something that is not one
};

struct HexTextResult {
    uint32_t count;  // bytes written to the output
    HexTextStatus status;
};

// Binary to hex text: two uppercase digits per byte, sixteen bytes to a line, " - " after the eighth byte of
// every line, CR LF between lines. Writes the hex text of cbSrc bytes to pDst followed by a zero byte and
// returns the text's length (without the zero byte). pDst must hold 4 * cbSrc bytes; for cbSrc == 0 nothing
// is written and 0 is returned. The text ends right after the last pair, except that a line left half full
// keeps its " -" and a full last line keeps its CR (its LF becomes the zero).
uint32_t BytesToHexText(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);

// Hex text to binary: pairs of hex digits in either case, separated (or not) by CR, LF, space and '-', with
// ';' comments running to the end of the line. Parses the zero-terminated szText into pOut, which must hold
// ceil(strlen(szText) / 2) bytes. Stops at the end of the text or at the first error; the bytes before the
// stop are always written and counted (an unpaired digit as one byte, its value shifted up). The rest of
// those bytes are the routine's scratch, where the vector kernels store whole registers; nothing is written
// beyond them.
HexTextResult HexTextToBytes(const char* szText, uint8_t* pOut);

enum HexKernel : uint8_t {
    HEX_KERNEL_SCALAR = 0,  // the table-driven reference routines
    HEX_KERNEL_SSSE3 = 1,
    HEX_KERNEL_AVX2 = 2,
    HEX_KERNEL_AVX512 = 3,  // AVX-512 BW, VL, VBMI and VBMI2, for both conversions
    HEX_KERNEL_COUNT = 4,
};

const char* HexKernelName(HexKernel kernel);
bool IsHexKernelSupported(HexKernel kernel);
HexKernel BestHexKernel();

// Makes both conversions run the given kernel. Returns false, changing nothing, when this processor or this
// build does not have it.
bool SelectHexKernel(HexKernel kernel);
HexKernel SelectedHexKernel();
