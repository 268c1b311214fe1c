// What the vector parsers recognise, as constant tables.
//
// A kernel looks at a window of 64 characters that starts where the
// table-driven parser would read its next token, classifies each character
// as hex digit, separator or anything else, and checks the classes against
// a few fixed shapes of 16 pairs. A shape that matches is exactly what the
// table-driven parser would read as those 16 pairs and the separators
// between them, so its bytes can be decoded all at once. Anything else (a
// comment, a lone digit, a bad character, a shorter run) is left to the
// table-driven parser.
#pragma once

#include "convert/hex_line_layout.h"
#include "convert/hex_parse.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

constexpr uint32_t kHexWindow = 64;

// Character classes from two nibble lookups: a character's class bits are
// kClassByHigh[c >> 4] & kClassByLow[c & 15]. Two bits each for digits and
// separators, because neither set is a product of one high and one low set.
constexpr uint8_t kBitDecimal = 1;     // '0'-'9': high 3, low 0-9
constexpr uint8_t kBitLetter = 2;      // 'A'-'F', 'a'-'f': high 4 or 6, low 1-6
constexpr uint8_t kBitLineEnd = 4;     // LF, CR: high 0, low A or D
constexpr uint8_t kBitSpaceDash = 8;   // ' ', '-': high 2, low 0 or D
constexpr uint8_t kClassDigit = kBitDecimal | kBitLetter;
constexpr uint8_t kClassSeparator = kBitLineEnd | kBitSpaceDash;

inline constexpr ByteVector<16> kClassByHigh = {kBitLineEnd, 0, kBitSpaceDash, kBitDecimal, kBitLetter, 0, kBitLetter, 0,
                                                0,           0, 0,             0,           0,          0, 0,          0};
inline constexpr ByteVector<16> kClassByLow = {
    kBitDecimal | kBitSpaceDash, kBitDecimal | kBitLetter, kBitDecimal | kBitLetter, kBitDecimal | kBitLetter,
    kBitDecimal | kBitLetter,    kBitDecimal | kBitLetter, kBitDecimal | kBitLetter, kBitDecimal,
    kBitDecimal,                 kBitDecimal,              kBitLineEnd,              0,
    0,                           kBitLineEnd | kBitSpaceDash, 0,                     0};

constexpr bool NibbleClassesAgreeWithTable()
{
    for (size_t c = 0; c < 256; ++c) {
        const uint8_t bits = kClassByHigh[c >> 4] & kClassByLow[c & 15];
        const int want = CharClassTable[c];
        const int got = (bits & kClassDigit) ? CC_HEXDIGIT : (bits & kClassSeparator) ? CC_SEPARATOR : CC_OTHER;
        if (got != (want == CC_COMMENT ? CC_OTHER : want)) return false;
    }
    return true;
}
static_assert(NibbleClassesAgreeWithTable(), "nibble class lookups disagree with CharClassTable");

// A shape: 16 pairs at fixed places in the window, separators everywhere
// else up to its length. Its 32 digits are gathered in two halves of eight
// pairs; each half takes pairs 0-4 from a 16-byte load at its first pair and
// pairs 5-7 from a load at its sixth pair, both moved back where needed so
// that they end within the shape.
struct HexShape {
    uint64_t inShape;  // bit k: character k belongs to the shape
    uint64_t digits;   // bit k: character k is a digit; the rest of the shape are separators
    uint32_t cch;      // characters the shape covers
    uint8_t loadPos[2][2];          // [half][load]: where the 16-byte load starts
    ByteVector<32> gather[2];       // [load]: bytes 0-15 gather half 0, bytes 16-31 half 1
};

constexpr HexShape MakeHexShape(const std::array<int, 16>& pairPos, uint32_t cch)
{
    HexShape shape{};
    shape.cch = cch;
    shape.inShape = cch == 64 ? ~0ull : (1ull << cch) - 1;
    for (size_t pair = 0; pair < 16; ++pair) shape.digits |= 3ull << pairPos[pair];
    const int lastLoad = static_cast<int>(cch) - 16;
    for (size_t half = 0; half < 2; ++half) {
        // No load reaches past the shape: a shape is only ever matched
        // within characters already known to lie before the terminator.
        shape.loadPos[half][0] = static_cast<uint8_t>(std::min(pairPos[8 * half], lastLoad));
        shape.loadPos[half][1] = static_cast<uint8_t>(std::min(pairPos[8 * half + 5], lastLoad));
        for (size_t j = 0; j < 16; ++j) {
            const size_t pair = 8 * half + j / 2;
            const size_t load = j / 2 < 5 ? 0 : 1;
            const int offset = pairPos[pair] + static_cast<int>(j % 2) - shape.loadPos[half][load];
            if (offset < 0 || offset > 15) throw "pair out of its load";
            shape.gather[load][16 * half + j] = static_cast<uint8_t>(offset);
            shape.gather[1 - load][16 * half + j] = kShuffleZero;
        }
    }
    return shape;
}

constexpr std::array<int, 16> PairPositions(int stride, bool lineLayout)
{
    std::array<int, 16> pos{};
    for (size_t pair = 0; pair < 16; ++pair) {
        const int i = static_cast<int>(pair);
        pos[pair] = lineLayout ? LinePairPos(i) : stride * i;
    }
    return pos;
}

// The formatter's own line; pairs each followed by one separator
// ("00 ff 5d ", as other tools write them); and a plain run of pairs
// without separators.
inline constexpr HexShape kLineShape = MakeHexShape(PairPositions(3, true), kLineChars);
inline constexpr HexShape kSpacedShape = MakeHexShape(PairPositions(3, false), 48);
inline constexpr HexShape kPlainShape = MakeHexShape(PairPositions(2, false), 32);

// Tried in this order.
inline constexpr const HexShape* kHexShapes[] = {&kLineShape, &kSpacedShape, &kPlainShape};

// The classes of the characters from p on, as a kernel keeps them: bit k of
// digits or separators says what character k is, for the first cValid
// characters; the bits past those are zero.
struct HexWindowClasses {
    uint64_t digits;
    uint64_t separators;
    uint32_t cValid;
};

inline void ConsumeClasses(HexWindowClasses& w, uint32_t cch)
{
    w.digits = cch < 64 ? w.digits >> cch : 0;
    w.separators = cch < 64 ? w.separators >> cch : 0;
    w.cValid -= cch;
}

// The first shape that lies within the classified characters and whose
// classes match them, or null.
inline const HexShape* MatchHexShape(const HexWindowClasses& w)
{
    for (const HexShape* shape : kHexShapes) {
        if (shape->cch <= w.cValid && (w.digits & shape->inShape) == shape->digits &&
            (w.separators & shape->inShape) == (shape->inShape ^ shape->digits)) {
            return shape;
        }
    }
    return nullptr;
}

// How many separators start the classified characters; never more than
// cValid, since the bits past those are zero.
inline uint32_t LeadingSeparators(const HexWindowClasses& w)
{
    return static_cast<uint32_t>(std::countr_zero(~w.separators));
}

// The whole pairs of a run of fewer than 16 pairs at the start of the
// classified characters, ended by a character that is not a digit: those
// the table-driven parser would read before that character. 0 if there is
// none, or if fewer than 32 characters (the plain shape's loads) are
// classified.
inline uint32_t ShortRunPairs(const HexWindowClasses& w)
{
    if (w.cValid < kPlainShape.cch) return 0;
    const auto cDigits = static_cast<uint32_t>(std::countr_zero(~w.digits));
    return cDigits < kPlainShape.cch ? cDigits / 2 : 0;
}

// Copies the first cb (below 16) of the 16 bytes a kernel decoded, writing
// nothing past them.
inline void CopyShortRun(uint8_t* pDst, const uint8_t* pDecoded, uint32_t cb)
{
    for (uint32_t piece = 8; piece != 0; piece /= 2) {
        if (cb & piece) {
            std::memcpy(pDst, pDecoded, piece);
            pDst += piece;
            pDecoded += piece;
        }
    }
}

// Weights for pmaddubsw: high digit times 16 plus low digit.
inline constexpr ByteVector<16> kPairWeights = {16, 1, 16, 1, 16, 1, 16, 1, 16, 1, 16, 1, 16, 1, 16, 1};
