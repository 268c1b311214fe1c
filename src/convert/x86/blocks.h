// What the SSSE3 and AVX2 parsers share: classes and digit values by two nibble lookups (pshufb), and the
// slot squeeze. Slot k, characters 2k and 2k + 1, holds the pair at the one that starts it (first digits are
// never adjacent); SkipPickTable squeezes the slots to the pairs eight at a time.
#pragma once

#include "convert/generic/line_layout.h"
#include "convert/generic/parse_text.h"

#include <immintrin.h>

// Classes in the high nibble, from two nibble lookups; below them a letter has 9, so that a digit's value is
// its low nibble plus the class's. Digits are the top two bits and tokens the top four, for one saturating
// add each; ';' is looked for by itself. The zero byte would come out a separator.
constexpr uint8_t HEX_CLASS_DECIMAL = 0x80;
constexpr uint8_t HEX_CLASS_LETTER = 0x40;
constexpr uint8_t HEX_CLASS_LINE_FEED = 0x20;
constexpr uint8_t HEX_CLASS_SEPARATOR = 0x10;  // CR, space, '-'
constexpr uint8_t HEX_DIGIT_TO_TOP = 0x80 - HEX_CLASS_LETTER;
constexpr uint8_t HEX_TOKEN_TO_TOP = 0x80 - HEX_CLASS_SEPARATOR;
constexpr int HEX_LINE_FEED_TO_TOP = 2;  // the shift that brings it to a byte's top
static_assert(HEX_CLASS_LINE_FEED << HEX_LINE_FEED_TO_TOP == 0x80);

inline constexpr std::array<uint8_t, 16> ClassByHighNibbleTable = {HEX_CLASS_LINE_FEED | HEX_CLASS_SEPARATOR, 0, HEX_CLASS_SEPARATOR,
                                                                   HEX_CLASS_DECIMAL, HEX_CLASS_LETTER | 9, 0, HEX_CLASS_LETTER | 9};
constexpr uint8_t HEX_CLASS_HEXDIGIT = HEX_CLASS_DECIMAL | HEX_CLASS_LETTER | 0x0F;
inline constexpr std::array<uint8_t, 16> ClassByLowNibbleTable = {
    HEX_CLASS_DECIMAL | HEX_CLASS_SEPARATOR | 0x0F, HEX_CLASS_HEXDIGIT, HEX_CLASS_HEXDIGIT, HEX_CLASS_HEXDIGIT, HEX_CLASS_HEXDIGIT,
    HEX_CLASS_HEXDIGIT, HEX_CLASS_HEXDIGIT, HEX_CLASS_DECIMAL | 0x0F, HEX_CLASS_DECIMAL | 0x0F, HEX_CLASS_DECIMAL | 0x0F,
    HEX_CLASS_LINE_FEED | 0x0F, 0x0F, 0x0F, HEX_CLASS_SEPARATOR | 0x0F, 0x0F, 0x0F};

constexpr bool NibbleClassesAgreeWithTable()
{
    for (size_t c = 1; c < 256; ++c) {
        const uint32_t cls = ClassByHighNibbleTable[c >> 4] & ClassByLowNibbleTable[c & 15];
        const bool fDigit = cls >= HEX_CLASS_LETTER, fToken = cls >= HEX_CLASS_SEPARATOR;
        if (fDigit != (CharClassTable[c] == CC_HEXDIGIT) || fToken != (fDigit || CharClassTable[c] == CC_SEPARATOR)) return false;
        if (((cls & HEX_CLASS_LINE_FEED) != 0) != (c == '\n')) return false;
        if (fDigit && (c & 15) + (cls & 15) != static_cast<uint32_t>(HexDigitValue(static_cast<int>(c)))) return false;
        if (!fToken && cls >= 0x0F) return false;
    }
    return true;
}
static_assert(NibbleClassesAgreeWithTable(), "nibble class lookups disagree with CharClassTable");

// N bytes of the pattern over and over.
template <size_t N = 32, size_t M>
constexpr ByteVector<N> MakeRepeatTable(const ByteVector<M>& pattern)
{
    ByteVector<N> v{};
    for (size_t k = 0; k < N; ++k) v[k] = pattern[k % M];
    return v;
}

// Where slot s's byte is: in order for 16-byte registers (SLOTS_IN_ORDER); where packus of two 32-byte
// registers leaves it (SLOTS_PACKED: lane 0 holds slots 0-7 and 16-23, lane 1 8-15 and 24-31); or, for packus
// of one register's even and odd pairs (SLOTS_OF_ONE), byte s % 8 of lane s / 8, the odd pair 8 bytes on,
// where the bit tables are zero.
enum SlotOrder { SLOTS_IN_ORDER, SLOTS_PACKED, SLOTS_OF_ONE };

constexpr uint32_t SlotAt(uint32_t b, SlotOrder order)
{
    if (order == SLOTS_OF_ONE) return (b / 16) * 8 + b % 8;
    return order == SLOTS_IN_ORDER || b < 8 || b >= 24 ? b : b < 16 ? b + 8 : b - 8;
}

// Per slot's byte: the byte of the first-digit mask that holds its two bits (What 0), its even bit (1), both
// bits (2) or its odd bit (3).
template <int What>
constexpr ByteVector<32> MakeSlotTable(SlotOrder order)
{
    ByteVector<32> v{};
    for (uint32_t b = 0; b < 32; ++b) {
        const uint32_t s = SlotAt(b, order), bits = What == 0 ? 0 : What == 1 ? 1 : What == 2 ? 3 : 2;
        v[b] = static_cast<uint8_t>(What == 0 ? s / 4 : order == SLOTS_OF_ONE && b % 16 >= 8 ? 0 : bits << (2 * (s % 4)));
    }
    return v;
}

// Constants and tables as whole registers, loaded where they are used, as the 32-bit build has too few
// registers to keep them.
struct alignas(32) X86BlockTables {
    ByteVector<32> classHigh = MakeRepeatTable(ClassByHighNibbleTable);
    ByteVector<32> classLow = MakeRepeatTable(ClassByLowNibbleTable);
    ByteVector<32> semicolon = MakeRepeatTable(ByteVector<1>{';'});
    ByteVector<32> low4 = MakeRepeatTable(ByteVector<1>{0x0F});
    ByteVector<32> digitToTop = MakeRepeatTable(ByteVector<1>{HEX_DIGIT_TO_TOP});
    ByteVector<32> tokenToTop = MakeRepeatTable(ByteVector<1>{HEX_TOKEN_TO_TOP});
    ByteVector<32> weights = MakeRepeatTable(ByteVector<2>{HEX_PAIR_WEIGHTS & 0xFF, HEX_PAIR_WEIGHTS >> 8});
    ByteVector<32> laneIota = MakeRepeatTable(ByteVector<16>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    ByteVector<32> slotMaskByte = MakeSlotTable<0>(SLOTS_IN_ORDER);
    ByteVector<32> slotEvenBit = MakeSlotTable<1>(SLOTS_IN_ORDER);
    ByteVector<32> slotBothBits = MakeSlotTable<2>(SLOTS_IN_ORDER);
    ByteVector<32> packedSlotMaskByte = MakeSlotTable<0>(SLOTS_PACKED);
    ByteVector<32> packedSlotEvenBit = MakeSlotTable<1>(SLOTS_PACKED);
    ByteVector<32> packedSlotBothBits = MakeSlotTable<2>(SLOTS_PACKED);
    ByteVector<32> oneSlotMaskByte = MakeSlotTable<0>(SLOTS_OF_ONE);
    ByteVector<32> oneSlotOddBit = MakeSlotTable<3>(SLOTS_OF_ONE);
    ByteVector<32> oneSlotBothBits = MakeSlotTable<2>(SLOTS_OF_ONE);
};
alignas(64) inline constexpr X86BlockTables X86BlockTable{};

// Indexed by the eight slots that are skipped: the places of the others in order, one a byte, then 0x80
// (pshufb's zero).
constexpr std::array<uint64_t, 256> MakeSkipPickTable()
{
    std::array<uint64_t, 256> table{};
    for (uint32_t m = 0; m < 256; ++m) {
        uint64_t entry = ~uint64_t{0} / 0xFF * 0x80;
        uint32_t count = 0;
        for (uint32_t bit = 0; bit < 8; ++bit) {
            if ((m & (1u << bit)) != 0) continue;
            entry = (entry & ~(uint64_t{0xFF} << (8 * count))) | (uint64_t{bit} << (8 * count));
            ++count;
        }
        table[m] = entry;
    }
    return table;
}

constexpr std::array<uint8_t, 256> MakeKeptCountTable()
{
    std::array<uint8_t, 256> table{};
    for (uint32_t m = 0; m < 256; ++m) table[m] = static_cast<uint8_t>(8 - std::popcount(m));
    return table;
}

alignas(64) inline constexpr std::array<uint64_t, 256> SkipPickTable = MakeSkipPickTable();
alignas(64) inline constexpr std::array<uint8_t, 256> KeptCountTable = MakeKeptCountTable();

HEX_TARGET("ssse3") HEX_INLINE __m128i Load16(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// The squeeze's index for slots 0-7 (skip0) and 8-15 (skip1) of a 16-byte lane, the second eight's places 8
// on (added in the vector: the 32-bit build would add the 64-bit entry in two halves, through the stack).
HEX_TARGET("ssse3") HEX_INLINE __m128i SkipPickIndex(uint32_t skip0, uint32_t skip1)
{
    return _mm_add_epi8(_mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&SkipPickTable[skip0])),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&SkipPickTable[skip1]))),
                        _mm_set_epi64x(0x0808080808080808, 0));
}
