// The shapes of runs of pairs the kernels convert by their fixed places,
// and the gather and check tables derived from them at compile time. No
// instruction set of their own: the tables are laid out for two 16-byte
// lanes of pshufb, or for one 64-byte table of vpermb and vpermi2b.
#pragma once

#include "convert/generic/line_layout.h"
#include "convert/scalar/hex_scalar.h"

#include <cstddef>
#include <cstdint>

// Two 16-byte lanes.

// The formatter's whole line in one step: its 19 separators by comparison
// with the line with zeros for digits, in two pieces that cover it, [0,32)
// and [19,51); its 32 digits gathered by two 16-character loads a lane,
// pairs 0-7 in lane 0 and 8-15 in lane 1.
constexpr ByteVector<32> LineText0 = LineSeparators<32>(0);
constexpr ByteVector<32> LineText1 = LineSeparators<32>(HEX_LINE_SECOND_PIECE);
constexpr int LineLoadPos[2][2] = {{0, 8}, {26, 34}};

// The shuffle that takes, for each lane, the digits that its load j holds
// and its load 0 does not.
constexpr ByteVector<32> MakeLineGather(int j)
{
    ByteVector<32> v{};
    for (int lane = 0; lane < 2; ++lane) {
        for (int d = 0; d < 16; ++d) {
            const int pos = LinePairPos(8 * lane + d / 2) + d % 2;
            const int at0 = pos - LineLoadPos[lane][0], atJ = pos - LineLoadPos[lane][j];
            const bool fInJ = atJ >= 0 && atJ < 16 && (j == 0 || at0 >= 16);
            v[static_cast<size_t>(16 * lane + d)] = fInJ ? static_cast<uint8_t>(atJ) : HEX_SHUFFLE_ZERO;
        }
    }
    return v;
}

inline constexpr ByteVector<32> LineGather0 = MakeLineGather(0);
inline constexpr ByteVector<32> LineGather1 = MakeLineGather(1);

constexpr bool LineGatherCoversEveryDigit()
{
    for (size_t k = 0; k < 32; ++k) {
        if ((LineGather0[k] == HEX_SHUFFLE_ZERO) == (LineGather1[k] == HEX_SHUFFLE_ZERO)) return false;
    }
    return true;
}
static_assert(LineGatherCoversEveryDigit(), "each digit of the line comes from exactly one load");

// Spaced pairs, each followed by one separator, 16 at a time: each lane
// takes eight pairs, 24 characters, from two 16-character loads, at 0 and 8
// of them; a pair's separator is gathered twice, beside its two digits, so
// that the two masks meet pair by pair.
constexpr int SpacedLoadPos[2] = {0, 8};

// The shuffle that takes, from a lane's load j, the digits (fSeparators
// false) or the separators that its load 0 does not hold.
constexpr ByteVector<32> MakeSpacedGather(int j, bool fSeparators)
{
    ByteVector<32> v{};
    for (int k = 0; k < 32; ++k) {
        const int pair = k % 16 / 2;
        const int pos = 3 * pair + (fSeparators ? 2 : k % 2);
        const int at0 = pos - SpacedLoadPos[0], atJ = pos - SpacedLoadPos[j];
        const bool fInJ = atJ >= 0 && atJ < 16 && (j == 0 || at0 >= 16);
        v[static_cast<size_t>(k)] = fInJ ? static_cast<uint8_t>(atJ) : HEX_SHUFFLE_ZERO;
    }
    return v;
}

inline constexpr ByteVector<32> SpacedDigits0 = MakeSpacedGather(0, false);
inline constexpr ByteVector<32> SpacedDigits1 = MakeSpacedGather(1, false);
inline constexpr ByteVector<32> SpacedSeparators0 = MakeSpacedGather(0, true);
inline constexpr ByteVector<32> SpacedSeparators1 = MakeSpacedGather(1, true);

constexpr bool SpacedGatherCoversEveryByte()
{
    for (size_t k = 0; k < 32; ++k) {
        if ((SpacedDigits0[k] == HEX_SHUFFLE_ZERO) == (SpacedDigits1[k] == HEX_SHUFFLE_ZERO)) return false;
        if ((SpacedSeparators0[k] == HEX_SHUFFLE_ZERO) == (SpacedSeparators1[k] == HEX_SHUFFLE_ZERO)) return false;
    }
    return true;
}
static_assert(SpacedGatherCoversEveryByte(), "each digit and separator comes from exactly one load");

// One 64-byte table. Spaced pairs, up to 21 from 64 characters, their
// digits gathered into adjacent bytes.
constexpr uint32_t AVX512_SPACED_PAIRS = 21;

constexpr ByteVector<64> MakeAvx512SpacedGather()
{
    ByteVector<64> v{};
    for (uint32_t k = 0; k < 2 * AVX512_SPACED_PAIRS; ++k) v[k] = static_cast<uint8_t>(3 * (k / 2) + k % 2);
    return v;
}

// Bit k set where character k of a full spaced run is a separator.
constexpr uint64_t Avx512SpacedSeparators()
{
    uint64_t bits = 0;
    for (uint32_t k = 2; k < 3 * AVX512_SPACED_PAIRS; k += 3) bits |= uint64_t{1} << k;
    return bits;
}

alignas(64) inline constexpr ByteVector<64> Avx512SpacedGather = MakeAvx512SpacedGather();
constexpr uint64_t AVX512_SPACED_SEPARATORS = Avx512SpacedSeparators();

// 32 pairs at once, from two loads of 16 pairs each, their digits gathered
// by one two-table lookup, in one of three shapes:
// - two of the formatter's lines, 51 characters each;
// - two lines of 16 spaced pairs and one more separator, 49 characters
//   each, as od -An -tx1 and hexdump's 16/1 "%02x " write them and as
//   spaced lines that end in CR LF;
// - 32 spaced pairs in a row, 96 characters (Python's bytes.hex(' ')), the
//   second load at 48.
constexpr uint32_t AVX512_SPACED_HALF = 48;  // 16 pairs
constexpr uint32_t AVX512_LINE16_CHARS = AVX512_SPACED_HALF + 1;

// Per character of a shape's 16 pairs, the class it has there (CC_HEXDIGIT
// or CC_SEPARATOR), and CC_OTHER after them.
constexpr ByteVector<64> MakeShapeClasses(bool fFormatter)
{
    ByteVector<64> v{};
    const uint32_t cch = fFormatter ? HEX_LINE_CHARS : AVX512_LINE16_CHARS;
    for (uint32_t k = 0; k < cch; ++k) {
        const bool fDigit = fFormatter ? LineDigitAt(static_cast<int>(k)) >= 0 : k % 3 != 2 && k != AVX512_SPACED_HALF;
        v[k] = fDigit ? CC_HEXDIGIT : CC_SEPARATOR;
    }
    return v;
}

// Byte k: digit k % 32 of the 16 pairs of the first load or, at the
// index's bit 6, of the second.
constexpr ByteVector<64> MakeAvx512PairGather(bool fFormatter)
{
    ByteVector<64> v{};
    for (uint32_t k = 0; k < 64; ++k) {
        const auto pair = static_cast<int>(k % 32 / 2);
        const int pos = (fFormatter ? LinePairPos(pair) : 3 * pair) + static_cast<int>(k % 2);
        v[k] = static_cast<uint8_t>((k / 32) << 6 | static_cast<uint32_t>(pos));
    }
    return v;
}

alignas(64) inline constexpr ByteVector<64> Avx512SpacedGather32 = MakeAvx512PairGather(false);
alignas(64) inline constexpr ByteVector<64> Avx512LineGather = MakeAvx512PairGather(true);
