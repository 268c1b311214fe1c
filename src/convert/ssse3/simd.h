// The SSSE3 helpers that the SSSE3 formatter and parser share.
#pragma once

#include "convert/generic/simd_target.h"
#include "convert/x86/blocks.h"

#include <immintrin.h>

HEX_TARGET("ssse3") HEX_INLINE __m128i HighNibblesSsse3(__m128i chars)
{
    return _mm_and_si128(_mm_srli_epi16(chars, 4), _mm_set1_epi8(0x0F));
}

// The first 16 bytes of one of X86BlockTable's registers.
HEX_TARGET("ssse3") HEX_INLINE __m128i TableSsse3(const ByteVector<32>& table)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(table.data()));
}

HEX_TARGET("ssse3") HEX_INLINE uint32_t TopAfterAddingSsse3(__m128i v, const ByteVector<32>& add)
{
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_adds_epu8(v, TableSsse3(add))));
}

// The bytes of the 16 pairs whose digit values stand side by side in values0 and values1, in order.
HEX_TARGET("ssse3") HEX_INLINE __m128i PairsOfWordsSsse3(__m128i values0, __m128i values1)
{
    const __m128i weights = TableSsse3(X86BlockTable.weights);
    return _mm_packus_epi16(_mm_maddubs_epi16(values0, weights), _mm_maddubs_epi16(values1, weights));
}
