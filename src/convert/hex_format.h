// Binary to hex text: two uppercase digits per byte, sixteen bytes to a line,
// " - " after the eighth byte of every line, CR LF between lines.
#pragma once

#include "convert/generic/simd_target.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Entry b holds the two ASCII digits of b, high digit first, so a byte's pair
// is one 16-bit copy.
using HexPair = std::array<char, 2>;

constexpr std::array<HexPair, 256> MakeHexPairTable()
{
    constexpr char szDigits[] = "0123456789ABCDEF";
    std::array<HexPair, 256> table{};
    for (size_t b = 0; b < 256; ++b) {
        table[b] = HexPair{szDigits[b >> 4], szDigits[b & 15]};
    }
    return table;
}

inline constexpr std::array<HexPair, 256> HexPairTable = MakeHexPairTable();

// Writes the hex text of cbSrc bytes to pDst followed by a zero byte and
// returns the text's length (without the zero byte). pDst must hold
// 4 * cbSrc bytes; for cbSrc == 0 nothing is written and 0 is returned.
// The text ends right after the last pair, except that a line left half full
// keeps its " -" and a full last line keeps its CR (its LF becomes the zero).
// Runs the fastest kernel this processor has (see hex_kernel.h).
uint32_t BytesToHexText(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);

// The table-driven routine: one 16-bit table copy per byte. The reference
// every kernel must equal byte for byte, and the one that writes the tails.
uint32_t BytesToHexTextScalar(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);

// From this many characters of full lines on, the AVX2 and AVX-512 kernels
// write them with non-temporal stores: a text this long cannot stay in the
// cache, and such stores write whole lines of memory without first reading
// them in, as ordinary stores do.
constexpr size_t HEX_STREAM_MIN_CHARS = size_t{16} << 20;

#if HEXBIN_X86
// The vector kernels, for hex_kernel.cpp to choose from. Each may only be
// called once cpuid has reported its instruction set.
uint32_t BytesToHexTextSsse3(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
uint32_t BytesToHexTextAvx2(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
uint32_t BytesToHexTextAvx512(const uint8_t* pSrc, uint32_t cbSrc, char* pDst);
#endif
