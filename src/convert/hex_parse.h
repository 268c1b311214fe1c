// Hex text to binary: pairs of hex digits in either case, separated (or not)
// by CR, LF, space and '-', with ';' comments running to the end of the line.
#pragma once

#include "convert/generic/simd_target.h"

#include <array>
#include <cstddef>
#include <cstdint>

enum CharClass : uint8_t {
    CC_OTHER = 0,
    CC_HEXDIGIT = 1,
    CC_SEPARATOR = 2,
    CC_COMMENT = 3,
};

enum HexTextStatus : uint8_t {
    HEX_OK = 0,        // end of text reached
    HEX_BAD_CHAR = 1,  // a character that cannot begin a pair, separator or comment
    HEX_UNPAIRED = 2,  // a hex digit followed by something that is not one
};

struct HexTextResult {
    uint32_t count;  // bytes written to the output
    HexTextStatus status;
};

using CharTable = std::array<uint8_t, 256>;

constexpr int HexDigitValue(int ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

constexpr CharTable MakeCharClassTable()
{
    CharTable table{};
    for (size_t ch = 0; ch < 256; ++ch) {
        if (HexDigitValue(static_cast<int>(ch)) >= 0) table[ch] = CC_HEXDIGIT;
    }
    table['\n'] = CC_SEPARATOR;
    table['\r'] = CC_SEPARATOR;
    table[' '] = CC_SEPARATOR;
    table['-'] = CC_SEPARATOR;
    table[';'] = CC_COMMENT;
    return table;
}

// Defined for the 22 hex digit characters only; every other entry is zero.
constexpr CharTable MakeNibbleTable(int shift)
{
    CharTable table{};
    for (size_t ch = 0; ch < 256; ++ch) {
        const int v = HexDigitValue(static_cast<int>(ch));
        if (v >= 0) table[ch] = static_cast<uint8_t>(v << shift);
    }
    return table;
}

inline constexpr CharTable CharClassTable = MakeCharClassTable();
inline constexpr CharTable HighNibbleTable = MakeNibbleTable(4);
inline constexpr CharTable LowNibbleTable = MakeNibbleTable(0);

// Parses the zero-terminated szText into pOut, which must hold
// ceil(strlen(szText) / 2) bytes. Stops at the end of the text or at the
// first error; the bytes before the stop are always written and counted.
// The rest of those ceil(strlen / 2) bytes are the routine's scratch: the
// vector kernels store whole registers, and what they leave past the count
// is unspecified. Nothing is written beyond them.
// An unpaired digit still writes (and counts) one byte, its value shifted up.
// Runs the fastest kernel this processor has (see hex_kernel.h).
HexTextResult HexTextToBytes(const char* szText, uint8_t* pOut);

// The table-driven routine: one class lookup per character. The reference
// every kernel must equal, byte for byte, in count and in status.
HexTextResult HexTextToBytesScalar(const char* szText, uint8_t* pOut);

// The reference routine taking over from a kernel: parses from p, which is
// where a token begins (or, with fInComment, a place inside a comment),
// into pOut after the cbDone bytes already there.
HexTextResult HexTextToBytesFrom(const char* p, uint8_t* pOut, uint32_t cbDone, bool fInComment);

#if HEXBIN_X86
// The vector kernels, for hex_kernel.cpp to choose from. Each may only be
// called once cpuid has reported its instruction set.
HexTextResult HexTextToBytesSsse3(const char* szText, uint8_t* pOut);
HexTextResult HexTextToBytesAvx2(const char* szText, uint8_t* pOut);
HexTextResult HexTextToBytesAvx512(const char* szText, uint8_t* pOut);
#endif
