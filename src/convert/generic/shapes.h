// The shapes of runs of pairs the kernels convert by their fixed places, and
// their gather and check tables, derived at compile time: no instruction set
// of their own, laid out for two 16-byte lanes or one 64-byte table.
#pragma once

#include "convert/generic/line_layout.h"
#include "convert/scalar/hex_scalar.h"

// Two 16-byte lanes, each filled from two 16-character loads: the shuffle
// byte that takes the character at pos from load j (at loadJ), where load 0
// (at load0) does not hold it.
constexpr uint8_t LaneGatherByte(int pos, int load0, int loadJ, int j)
{
    const int at = pos - loadJ;
    return at >= 0 && at < 16 && (j == 0 || pos - load0 >= 16) ? static_cast<uint8_t>(at) : HEX_SHUFFLE_ZERO;
}

// Whether each byte comes from exactly one of the two loads.
constexpr bool EachFromOneLoad(const ByteVector<32>& gather0, const ByteVector<32>& gather1)
{
    for (size_t k = 0; k < 32; ++k) {
        if ((gather0[k] == HEX_SHUFFLE_ZERO) == (gather1[k] == HEX_SHUFFLE_ZERO)) return false;
    }
    return true;
}

// The formatter's whole line in one step: its 19 separators by comparison
// with the line with zeros for digits, in two pieces that cover it, [0,32)
// and [19,51); its 32 digits, pairs 0-7 in lane 0 and 8-15 in lane 1.
constexpr ByteVector<32> LineText0Table = MakeLineSeparatorTable<32>(0);
constexpr ByteVector<32> LineText1Table = MakeLineSeparatorTable<32>(HEX_LINE_SECOND_PIECE);
constexpr int LineLoadPosTable[2][2] = {{0, 8}, {26, 34}};

constexpr ByteVector<32> MakeLineGatherTable(int j)
{
    ByteVector<32> v{};
    for (int k = 0; k < 32; ++k) {
        const int lane = k / 16, d = k % 16;
        const int pos = LinePairPos(8 * lane + d / 2) + d % 2;
        v[static_cast<size_t>(k)] = LaneGatherByte(pos, LineLoadPosTable[lane][0], LineLoadPosTable[lane][j], j);
    }
    return v;
}

inline constexpr ByteVector<32> LineGather0Table = MakeLineGatherTable(0);
inline constexpr ByteVector<32> LineGather1Table = MakeLineGatherTable(1);

// Spaced pairs, each followed by one separator, eight to a lane from loads
// at 0 and 8 of its 24 characters; a pair's separator is gathered twice,
// beside its two digits, so that the two masks meet pair by pair.
constexpr int SpacedLoadPosTable[2] = {0, 8};

constexpr ByteVector<32> MakeSpacedGatherTable(int j, bool fSeparators)
{
    ByteVector<32> v{};
    for (int k = 0; k < 32; ++k) {
        const int pos = 3 * (k % 16 / 2) + (fSeparators ? 2 : k % 2);
        v[static_cast<size_t>(k)] = LaneGatherByte(pos, SpacedLoadPosTable[0], SpacedLoadPosTable[j], j);
    }
    return v;
}

inline constexpr ByteVector<32> SpacedDigits0Table = MakeSpacedGatherTable(0, false);
inline constexpr ByteVector<32> SpacedDigits1Table = MakeSpacedGatherTable(1, false);
inline constexpr ByteVector<32> SpacedSeparators0Table = MakeSpacedGatherTable(0, true);
inline constexpr ByteVector<32> SpacedSeparators1Table = MakeSpacedGatherTable(1, true);

static_assert(EachFromOneLoad(LineGather0Table, LineGather1Table) && EachFromOneLoad(SpacedDigits0Table, SpacedDigits1Table) &&
              EachFromOneLoad(SpacedSeparators0Table, SpacedSeparators1Table));

// One 64-byte table. Spaced pairs, up to 21 from 64 characters, their
// digits gathered into adjacent bytes.
constexpr uint32_t HEX_SPACED_RUN_PAIRS = 21;

constexpr ByteVector<64> MakeSpacedRunGatherTable()
{
    ByteVector<64> v{};
    for (uint32_t k = 0; k < 2 * HEX_SPACED_RUN_PAIRS; ++k) v[k] = static_cast<uint8_t>(3 * (k / 2) + k % 2);
    return v;
}

// Bit k set where character k of a full spaced run is a separator.
constexpr uint64_t SpacedRunSeparators()
{
    uint64_t bits = 0;
    for (uint32_t k = 2; k < 3 * HEX_SPACED_RUN_PAIRS; k += 3) bits |= uint64_t{1} << k;
    return bits;
}

alignas(64) inline constexpr ByteVector<64> SpacedRunGatherTable = MakeSpacedRunGatherTable();
constexpr uint64_t HEX_SPACED_RUN_SEPARATORS = SpacedRunSeparators();

// 32 pairs at once, from two loads of 16 pairs each, their digits gathered
// by one two-table lookup: two of the formatter's lines (51 characters
// each); two lines of 16 spaced pairs and one more separator (49 each, as od
// -An -tx1 writes them, or spaced lines ending in CR LF); 32 spaced pairs in
// a row (Python's bytes.hex(' ')), the second load at 48.
constexpr uint32_t HEX_SPACED_HALF_CHARS = 48;  // 16 pairs
constexpr uint32_t HEX_LINE16_CHARS = HEX_SPACED_HALF_CHARS + 1;

// Per character of a shape's 16 pairs, the class it has there (CC_HEXDIGIT
// or CC_SEPARATOR), and CC_OTHER after them.
constexpr ByteVector<64> MakeShapeClassTable(bool fFormatter)
{
    ByteVector<64> v{};
    const uint32_t cch = fFormatter ? HEX_LINE_CHARS : HEX_LINE16_CHARS;
    for (uint32_t k = 0; k < cch; ++k) {
        const bool fDigit = fFormatter ? LineDigitAt(static_cast<int>(k)) >= 0 : k % 3 != 2 && k != HEX_SPACED_HALF_CHARS;
        v[k] = fDigit ? CC_HEXDIGIT : CC_SEPARATOR;
    }
    return v;
}

// Byte k: digit k % 32 of the 16 pairs of the first load or, at the
// index's bit 6, of the second.
constexpr ByteVector<64> MakePairGather32Table(bool fFormatter)
{
    ByteVector<64> v{};
    for (uint32_t k = 0; k < 64; ++k) {
        const auto pair = static_cast<int>(k % 32 / 2);
        const int pos = (fFormatter ? LinePairPos(pair) : 3 * pair) + static_cast<int>(k % 2);
        v[k] = static_cast<uint8_t>((k / 32) << 6 | static_cast<uint32_t>(pos));
    }
    return v;
}

alignas(64) inline constexpr ByteVector<64> SpacedGather32Table = MakePairGather32Table(false);
alignas(64) inline constexpr ByteVector<64> LineGather32Table = MakePairGather32Table(true);
