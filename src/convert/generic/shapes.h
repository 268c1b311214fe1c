// Run shapes: units of text in which every character is a digit or a
// separator at a fixed place, as the formatter and other tools write their
// lines, converted by those places, without pairing runs or squeezing
// slots. A shape is data: a sample of its unit, from which each kernel
// derives at compile time the checks and gathers it uses (HexShapeTable).
#pragma once

#include "convert/generic/parse_blocks.h"

#include <array>
#include <utility>

constexpr uint32_t HEX_SHAPE_MAX_CHARS = 64;
constexpr uint32_t HEX_SHAPE_MAX_PAIRS = 32;

struct HexShape {
    uint32_t cch;     // characters of a unit
    uint32_t cPairs;  // its pairs
    uint64_t digits;  // bit k set where character k is a digit
    uint64_t span;    // bits 0 to cch - 1
    std::array<uint8_t, HEX_SHAPE_MAX_PAIRS> pairAt;  // where each pair starts
    std::array<char, HEX_SHAPE_MAX_CHARS> sample;     // '0' for each digit, the separators as they stand
};

void ShapeSampleIsNotAGoodUnit();  // not constexpr: a call stops the compile

// From a sample unit: '0' for each digit, its separators as they stand.
// Every character a digit or a separator, its runs of digits of even
// length, and a separator at its end, so that the next unit, or the block
// loop, starts afresh after it.
template <size_t N>
consteval HexShape MakeShape(const char (&szSample)[N])
{
    HexShape shape{N - 1, 0, 0, 0, {}, {}};
    uint32_t cRun = 0;
    for (uint32_t k = 0; k < N - 1 && N - 1 <= HEX_SHAPE_MAX_CHARS; ++k) {
        shape.sample[k] = szSample[k];
        shape.span |= uint64_t{1} << k;
        if (szSample[k] == '0') {
            shape.digits |= uint64_t{1} << k;
            if (cRun++ % 2 == 0) shape.pairAt[shape.cPairs++] = static_cast<uint8_t>(k);
        } else {
            if (CharClassTable[static_cast<uint8_t>(szSample[k])] != CC_SEPARATOR || cRun % 2 != 0) ShapeSampleIsNotAGoodUnit();
            cRun = 0;
        }
    }
    if (N - 1 > HEX_SHAPE_MAX_CHARS || cRun != 0 || shape.cPairs == 0) ShapeSampleIsNotAGoodUnit();
    return shape;
}

// The formatter's line; od -An -tx1's; 16 pairs each followed by a
// separator and one more separator (hexdump's 16/1 "%02x " lines, and, to
// an instruction set that checks the separators' classes, any such line);
// the same ending in CR LF, for one that compares them with the sample; a
// stretch of 16 spaced pairs (Python's bytes.hex(' ') on one line); xxd -p's
// line of 30 plain pairs.
inline constexpr std::array<HexShape, 6> HexShapeTable = {
    MakeShape("00 00 00 00 00 00 00 00 - 00 00 00 00 00 00 00 00\r\n"),
    MakeShape(" 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"),
    MakeShape("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \n"),
    MakeShape("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\r\n"),
    MakeShape("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "),
    MakeShape("000000000000000000000000000000000000000000000000000000000000\n"),
};

static_assert(HexShapeTable[0].cch == 51 && HexShapeTable[0].cPairs == 16 && HexShapeTable[0].pairAt[8] == 26);
static_assert(HexShapeTable[3].digits == HexShapeTable[2].digits && HexShapeTable[3].span == HexShapeTable[2].span);

// Shapes gives, for one instruction set:
//   Unit LoadUnit(p)   what it keeps of the 64 characters at p
//   uint64_t LineFeeds(unit)
//   uint32_t UNITS_PER_STEP<Row>   1, or 2 where two units' pairs fill a register;
//       0 for a row it does not look for
//   uint32_t ConvertUnits<Row>(unit, q)   how many units of HexShapeTable[Row]
//       start at the unit, up to UNITS_PER_STEP, their pairs written at q (at
//       most 32 bytes); 0, where none is there. Each instruction set checks
//       the shape as it can, never more loosely than the sample's classes.
// A step reads no more than HEX_SHAPE_READ_CHARS characters from its start.
constexpr uint32_t HEX_SHAPE_READ_CHARS = 128;

// The units of HexShapeTable[Row] from p while they last and room is left,
// where the first is at u; false where it is not there. Where a full step
// was taken the next one starts at a place known without its result.
template <typename Shapes, size_t Row>
HEX_INLINE bool ConvertShapeRun(typename Shapes::Unit u, const char*& p, uint8_t*& q, const char* pKnown)
{
    constexpr HexShape shape = HexShapeTable[Row];
    constexpr uint32_t cMost = Shapes::template UNITS_PER_STEP<Row>;
    if constexpr (cMost == 0) return false;
    bool fAny = false;
    for (;;) {
        const uint32_t cUnits = Shapes::template ConvertUnits<Row>(u, q);
        if (cUnits != cMost) {
            p += cUnits * shape.cch;
            q += cUnits * shape.cPairs;
            return fAny || cUnits != 0;
        }
        fAny = true;
        p += cMost * shape.cch;
        q += cMost * shape.cPairs;
        if (reinterpret_cast<uintptr_t>(pKnown) - reinterpret_cast<uintptr_t>(p) <= HEX_SHAPE_READ_CHARS) return true;
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(p) + HEX_PREFETCH_AHEAD);
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(p) + HEX_PREFETCH_AHEAD + 64);
        u = Shapes::LoadUnit(p);
    }
}

template <typename Shapes, size_t... Rows>
HEX_INLINE bool ConvertAnyShapeRun(const typename Shapes::Unit& u, const char*& p, uint8_t*& q, const char* pKnown,
                                   std::index_sequence<Rows...>)
{
    return (ConvertShapeRun<Shapes, Rows>(u, p, q, pKnown) || ...);
}

// The units of the shapes at s.p, one run after another, and the comment
// lines between them, while HEX_SHAPE_READ_CHARS characters from them come
// before pKnown. s.p starts a token (after a separator, outside a comment),
// and so does every unit's end. Whether there was any.
template <typename Shapes, typename Mask>
HEX_INLINE bool ConvertShapeRuns(HexBlockState<Mask>& s, const char* pKnown)
{
    const char* p = s.p;
    uint8_t* q = s.q;
    while (reinterpret_cast<uintptr_t>(pKnown) - reinterpret_cast<uintptr_t>(p) > HEX_SHAPE_READ_CHARS) {
        const typename Shapes::Unit u = Shapes::LoadUnit(p);
        if (*p != ';') {
            if (!ConvertAnyShapeRun<Shapes>(u, p, q, pKnown, std::make_index_sequence<HexShapeTable.size()>())) break;
            continue;
        }
        // A comment line through its LF, where that is within the 64
        // characters (tried before the shapes, none of which it fits);
        // inside it only LF and the zero byte count, and no zero byte comes
        // before pKnown.
        const uint64_t lineFeeds = Shapes::LineFeeds(u);
        if (lineFeeds == 0) break;
        p += std::countr_zero(lineFeeds) + 1;
    }
    const bool fAny = p != s.p;
    s.p = p;
    s.q = q;
    return fAny;
}

// Looks for the shapes after the first LF of the block at s.p (or, where
// it has none, and neither comments nor bad characters, after its first
// separator): the block's characters through that one are parsed here,
// and the shapes looked for from the next. 1 where there were some, 0
// where none, -1 where there was no room before pKnown or the block no
// place to look from (32 plain digits of a longer line): no miss.
template <typename Kernel>
HEX_INLINE int LookForShapes(HexBlockState<typename Kernel::Mask>& s, const char* pKnown)
{
    using Mask = typename Kernel::Mask;
    if (reinterpret_cast<uintptr_t>(pKnown) - reinterpret_cast<uintptr_t>(s.p) <= HEX_SHAPE_READ_CHARS + Kernel::BLOCK_CHARS) return -1;
    const typename Kernel::Block block = Kernel::LoadBlock(s.p - 1);
    Mask digits = InRegister(Kernel::Digits(block));
    const Mask lineFeeds = InRegister(Kernel::LineFeeds(block)) & static_cast<Mask>(~Mask{1});
    Mask bad = 0;
    Mask cuts = lineFeeds;
    if (Kernel::HasOthers(block) || s.fInComment != 0) {
        const Mask semicolons = InRegister(Kernel::Semicolons(block));
        const Mask comment = Choose(s.fInComment, CommentChars<Mask>(semicolons, lineFeeds, 1), CommentChars<Mask>(semicolons, lineFeeds, 0));
        bad = InRegister(Kernel::Others(block)) & static_cast<Mask>(~comment);
        digits &= static_cast<Mask>(~comment);
    } else if (cuts == 0) {
        cuts = static_cast<Mask>(~digits & ~Mask{1});
    }
    if (cuts == 0) return -1;
    const auto cut = static_cast<uint32_t>(std::countr_zero(cuts));
    const auto through = static_cast<Mask>((Mask{2} << cut) - 1);
    const auto pairs = PairDigits<Mask>(digits & through, s.fOpen);
    if (((bad | pairs.unpaired) & through) != 0) return 0;
    s.q = Kernel::StorePairs(block, pairs.seconds, s.q);
    s.p += cut;
    s.fInComment = s.fOpen = 0;
    return ConvertShapeRuns<typename Kernel::Shapes>(s, pKnown) ? 1 : 0;
}
