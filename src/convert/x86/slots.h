// The slot squeeze, for the kernels that convert a block 16 characters at
// a time (SSSE3 and AVX2).
//
// Two characters make a slot: slot k is characters 2k and 2k + 1.
// First digits are never adjacent, so at most one of a slot's two starts a
// pair: the slot holds the pair at its even character (from pmaddubsw on
// the characters as they stand) or the one at its odd character (on the
// characters moved by one). A block's 32 slots are then squeezed to the
// pairs in order, 16 slots at a time through SlotPickTable, which halves
// the table lookups of picking pairs from the characters themselves.
#pragma once

#include "convert/generic/simd_target.h"

#include <array>
#include <bit>
#include <cstdint>

#if HEXBIN_X86

#include <immintrin.h>

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
inline constexpr std::array<uint8_t, 32> SlotMaskByte = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3,
                                                         4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7};
inline constexpr std::array<uint8_t, 16> SlotEvenBit = {1, 4, 16, 64, 1, 4, 16, 64, 1, 4, 16, 64, 1, 4, 16, 64};
inline constexpr std::array<uint8_t, 16> SlotBothBits = {3, 12, 48, 192, 3, 12, 48, 192, 3, 12, 48, 192, 3, 12, 48, 192};

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

#endif
