// The SSSE3 helpers that the SSSE3 formatter and parser share.
#pragma once

#include "convert/generic/parse_blocks.h"
#include "convert/generic/simd_target.h"
#include "convert/x86/blocks.h"

#include <immintrin.h>

HEX_TARGET("ssse3") HEX_INLINE __m128i Load16(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

HEX_TARGET("ssse3") HEX_INLINE __m128i HighNibblesSsse3(__m128i chars)
{
    return _mm_and_si128(_mm_srli_epi16(chars, 4), _mm_set1_epi8(0x0F));
}

HEX_TARGET("ssse3") HEX_INLINE __m128i ClassesSsse3(__m128i chars)
{
    return _mm_and_si128(_mm_shuffle_epi8(Load16(ClassByHighNibbleTable.data()), HighNibblesSsse3(chars)),
                         _mm_shuffle_epi8(Load16(ClassByLowNibbleTable.data()), _mm_and_si128(chars, _mm_set1_epi8(0x0F))));
}

// Bit k set where byte k of v, added to with saturation, reaches 0x80.
HEX_TARGET("ssse3") HEX_INLINE uint64_t TopAfterAddingSsse3(__m128i v, uint8_t add)
{
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_adds_epu8(v, _mm_set1_epi8(static_cast<char>(add)))));
}

HEX_TARGET("ssse3") HEX_INLINE __m128i DigitValuesSsse3(__m128i chars)
{
    return _mm_add_epi8(_mm_and_si128(chars, _mm_set1_epi8(0x0F)),
                        _mm_shuffle_epi8(Load16(LetterValueByHighNibbleTable.data()), HighNibblesSsse3(chars)));
}

// The bytes of the 16 pairs whose digit values stand side by side in
// values0 and values1, in order.
HEX_TARGET("ssse3") HEX_INLINE __m128i PairsOfWordsSsse3(__m128i values0, __m128i values1)
{
    const __m128i weights = _mm_set1_epi16(HEX_PAIR_WEIGHTS);
    return _mm_packus_epi16(_mm_maddubs_epi16(values0, weights), _mm_maddubs_epi16(values1, weights));
}
