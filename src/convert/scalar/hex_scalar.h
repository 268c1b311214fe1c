// The table-driven routines: the reference every kernel must equal byte for byte, and the tables they and the
// kernels share.
#pragma once

#include "convert/hex_convert.h"

#include <array>
#include <cstddef>
#include <cstdint>

enum CharClass : uint8_t {
    CC_OTHER = 0,
    CC_HEXDIGIT = 1,
    CC_SEPARATOR = 2,
    CC_COMMENT = 3,
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

// The digit of each nibble, uppercase (also a pshufb lookup).
inline constexpr std::array<uint8_t, 16> HexDigitTable = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

// Entry b holds the two ASCII digits of b, high digit first, so a byte's pair is one 16-bit copy.
using HexPair = std::array<char, 2>;

constexpr std::array<HexPair, 256> MakeHexPairTable()
{
    std::array<HexPair, 256> table{};
    for (size_t b = 0; b < 256; ++b) {
        table[b] = HexPair{static_cast<char>(HexDigitTable[b >> 4]), static_cast<char>(HexDigitTable[b & 15])};
    }
    return table;
}

inline constexpr std::array<HexPair, 256> HexPairTable = MakeHexPairTable();

// BytesToHexText by one 16-bit table copy per byte; the vector kernels hand it the last line.
uint32_t BytesToHexTextScalar(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);

// HexTextToBytes by one class lookup per character.
HexTextResult HexTextToBytesScalar(const char* szText, uint8_t* pOut);

// The reference routine taking over from a kernel: parses from p, which is where a token begins (or, with
// fInComment, a place inside a comment), into pOut after the cbDone bytes already there.
HexTextResult HexTextToBytesFrom(const char* p, uint8_t* pOut, uint32_t cbDone, bool fInComment);

// The pairs from p, where a token begins (or, with fInComment, inside a comment), to pCut, a separator after
// them or the first LF, at pOut: their end, or null at a stop before pCut.
uint8_t* HexPairsBefore(const char* p, const char* pCut, uint8_t* pOut, bool fInComment);
