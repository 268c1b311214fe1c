// What the SSSE3 and AVX2 parsers share: character classes and digit values
// by two nibble lookups (pshufb), and the slot squeeze. Slot k is characters
// 2k and 2k + 1, of which at most one starts a pair, as first digits are
// never adjacent: the slot holds the pair at its even character (pmaddubsw
// on the characters) or at its odd one (on the characters moved by one).
// The 32 slots are squeezed to the pairs 16 at a time by SlotPickTable,
// half the lookups of picking the pairs from the characters.
#pragma once

#include "convert/generic/simd_target.h"
#include "convert/scalar/hex_scalar.h"

#include <bit>
#include <immintrin.h>

// A digit's value is its low nibble, plus 9 for a letter: indexed by the
// high nibble, 9 for 'A'-'F' and 'a'-'f'. Other characters' values are
// never picked.
inline constexpr std::array<uint8_t, 16> LetterValueByHighNibbleTable = {0, 0, 0, 0, 9, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// A character's class bits are ClassByHighNibbleTable[c >> 4] &
// ClassByLowNibbleTable[c & 15]: two bits each for digits and separators, as
// neither set is a product of one high and one low set. The digit bits are
// the top two and the token bits the top five, so one saturating add brings
// "has a digit bit" (or "a token bit") to the top bit, for movemask.
constexpr uint8_t HEX_BIT_DECIMAL = 0x80;    // '0'-'9': high 3, low 0-9
constexpr uint8_t HEX_BIT_LETTER = 0x40;     // 'A'-'F', 'a'-'f': high 4 or 6, low 1-6
constexpr uint8_t HEX_BIT_LINE_FEED = 0x20;  // high 0, low A
constexpr uint8_t HEX_BIT_RETURN = 0x10;     // high 0, low D
constexpr uint8_t HEX_BIT_SPACE_DASH = 0x08; // ' ', '-': high 2, low 0 or D
constexpr uint8_t HEX_BIT_SEMICOLON = 0x04;  // high 3, low B
constexpr uint8_t HEX_BITS_DIGIT = HEX_BIT_DECIMAL | HEX_BIT_LETTER;
constexpr uint8_t HEX_BITS_SEPARATOR = HEX_BIT_LINE_FEED | HEX_BIT_RETURN | HEX_BIT_SPACE_DASH;
constexpr uint8_t HEX_BITS_TOKEN = HEX_BITS_DIGIT | HEX_BITS_SEPARATOR;
static_assert(HEX_BITS_DIGIT == static_cast<uint8_t>(0x100 - HEX_BIT_LETTER) &&
              HEX_BITS_TOKEN == static_cast<uint8_t>(0x100 - HEX_BIT_SPACE_DASH));
// What to add, saturating, for a digit and for a token bit to set the top.
constexpr uint8_t HEX_DIGIT_TO_TOP = 0x80 - HEX_BIT_LETTER;
constexpr uint8_t HEX_TOKEN_TO_TOP = 0x80 - HEX_BIT_SPACE_DASH;
// Shifts that bring the ';' and the LF bit to a byte's top, for movemask.
constexpr int HEX_SEMICOLON_TO_TOP = 5;
constexpr int HEX_LINE_FEED_TO_TOP = 2;
static_assert(HEX_BIT_SEMICOLON << HEX_SEMICOLON_TO_TOP == 0x80 && HEX_BIT_LINE_FEED << HEX_LINE_FEED_TO_TOP == 0x80);

inline constexpr std::array<uint8_t, 16> ClassByHighNibbleTable = {
    HEX_BIT_LINE_FEED | HEX_BIT_RETURN, 0, HEX_BIT_SPACE_DASH, HEX_BIT_DECIMAL | HEX_BIT_SEMICOLON, HEX_BIT_LETTER, 0,
    HEX_BIT_LETTER, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr std::array<uint8_t, 16> ClassByLowNibbleTable = {
    HEX_BIT_DECIMAL | HEX_BIT_SPACE_DASH, HEX_BITS_DIGIT, HEX_BITS_DIGIT, HEX_BITS_DIGIT, HEX_BITS_DIGIT,
    HEX_BITS_DIGIT, HEX_BITS_DIGIT, HEX_BIT_DECIMAL, HEX_BIT_DECIMAL, HEX_BIT_DECIMAL, HEX_BIT_LINE_FEED,
    HEX_BIT_SEMICOLON, 0, HEX_BIT_RETURN | HEX_BIT_SPACE_DASH, 0, 0};

constexpr bool NibbleClassesAgreeWithTable()
{
    for (size_t c = 0; c < 256; ++c) {
        const int bits = ClassByHighNibbleTable[c >> 4] & ClassByLowNibbleTable[c & 15];
        const int want = CharClassTable[c];
        const int got = (bits & HEX_BITS_DIGIT) ? CC_HEXDIGIT
                        : (bits & HEX_BITS_TOKEN) ? CC_SEPARATOR
                        : (bits & HEX_BIT_SEMICOLON) ? CC_COMMENT
                                                     : CC_OTHER;
        if (got != want || ((bits & HEX_BIT_LINE_FEED) != 0) != (c == '\n')) return false;
        if (((bits & HEX_BITS_SEPARATOR) != 0) != (want == CC_SEPARATOR)) return false;
    }
    return true;
}
static_assert(NibbleClassesAgreeWithTable(), "nibble class lookups disagree with CharClassTable");

// Entry m: the positions of the set bits of m in order, one a byte, then
// 0x80 (pshufb's zero).
constexpr std::array<uint64_t, 256> MakeSlotPickTable()
{
    std::array<uint64_t, 256> table{};
    for (uint32_t m = 0; m < 256; ++m) {
        uint64_t entry = ~uint64_t{0} / 0xFF * 0x80;
        uint32_t count = 0;
        for (uint32_t bit = 0; bit < 8; ++bit) {
            if ((m & (1u << bit)) == 0) continue;
            entry = (entry & ~(uint64_t{0xFF} << (8 * count))) | (uint64_t{bit} << (8 * count));
            ++count;
        }
        table[m] = entry;
    }
    return table;
}

constexpr std::array<uint8_t, 256> MakeBitCountTable()
{
    std::array<uint8_t, 256> table{};
    for (uint32_t m = 0; m < 256; ++m) table[m] = static_cast<uint8_t>(std::popcount(m));
    return table;
}

inline constexpr std::array<uint64_t, 256> SlotPickTable = MakeSlotPickTable();
inline constexpr std::array<uint8_t, 256> BitCountTable = MakeBitCountTable();

// Slot k's two bits of the first-digit mask sit in byte k / 4 of it: this
// spreads the mask's bytes over the slots, and the two patterns after it
// pick a slot's even bit and both its bits.
inline constexpr std::array<uint8_t, 32> SlotMaskByteTable = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3,
                                                         4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7};
inline constexpr std::array<uint8_t, 16> SlotEvenBitTable = {1, 4, 16, 64, 1, 4, 16, 64, 1, 4, 16, 64, 1, 4, 16, 64};
inline constexpr std::array<uint8_t, 16> SlotBothBitsTable = {3, 12, 48, 192, 3, 12, 48, 192, 3, 12, 48, 192, 3, 12, 48, 192};

// Writes the kept of 16 slots at q, in order, and returns the end of them.
// The stores are 8 bytes each, whatever the count: a block's second half
// of slots starts at character o of a text of more than o + 32 characters,
// with at most ceil(o / 2) bytes before it, so they end within the
// output's ceil(length / 2).
HEX_TARGET("ssse3") HEX_INLINE uint8_t* StoreKeptSlots(__m128i slots, uint32_t keep16, uint8_t* q)
{
    const uint32_t keep0 = keep16 & 0xFF, keep1 = (keep16 >> 8) & 0xFF;
    // The second eight slots' positions are 8 more. Added in the vector:
    // the 32-bit build would add the 64-bit entry in two halves and pass it
    // through the stack, where its 8-byte load waits for both halves' stores.
    const __m128i index = _mm_add_epi8(_mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&SlotPickTable[keep0])),
                                                          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&SlotPickTable[keep1]))),
                                       _mm_set_epi64x(0x0808080808080808, 0));
    const __m128i kept = _mm_shuffle_epi8(slots, index);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(q), kept);
    q += BitCountTable[keep0];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(q), _mm_unpackhi_epi64(kept, kept));
    return q + BitCountTable[keep1];
}
