// The AVX2 helpers that the AVX2 formatter, parser and runs share.
#pragma once

#include "convert/generic/parse_blocks.h"
#include "convert/generic/simd_target.h"
#include "convert/x86/blocks.h"

#include <immintrin.h>

HEX_TARGET("avx2") HEX_INLINE __m256i Load32(const void* p)
{
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

// Lane 0 from pLow, lane 1 from pHigh.
HEX_TARGET("avx2") HEX_INLINE __m256i LoadLine2x16(const char* pLow, const char* pHigh)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pLow))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(pHigh)), 1);
}

HEX_TARGET("avx2") HEX_INLINE __m256i Broadcast16Avx2(const std::array<uint8_t, 16>& table)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data())));
}

HEX_TARGET("avx2") HEX_INLINE __m256i HighNibblesAvx2(__m256i chars)
{
    return _mm256_and_si256(_mm256_srli_epi16(chars, 4), _mm256_set1_epi8(0x0F));
}

HEX_TARGET("avx2") HEX_INLINE __m256i ClassesAvx2(__m256i chars)
{
    return _mm256_and_si256(_mm256_shuffle_epi8(Broadcast16Avx2(ClassByHighNibbleTable), HighNibblesAvx2(chars)),
                            _mm256_shuffle_epi8(Broadcast16Avx2(ClassByLowNibbleTable), _mm256_and_si256(chars, _mm256_set1_epi8(0x0F))));
}

// Bit k set where byte k of v, added to with saturation, reaches 0x80.
HEX_TARGET("avx2") HEX_INLINE uint64_t TopAfterAddingAvx2(__m256i v, uint8_t add)
{
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_adds_epu8(v, _mm256_set1_epi8(static_cast<char>(add)))));
}

HEX_TARGET("avx2") HEX_INLINE __m256i DigitValuesAvx2(__m256i chars)
{
    return _mm256_add_epi8(_mm256_and_si256(chars, _mm256_set1_epi8(0x0F)),
                           _mm256_shuffle_epi8(Broadcast16Avx2(LetterValueByHighNibbleTable), HighNibblesAvx2(chars)));
}

// The bytes of the 32 pairs whose digit values stand side by side in
// values0 and values1, in order (packus works per 128-bit lane).
HEX_TARGET("avx2") HEX_INLINE __m256i PairsOfWordsAvx2(__m256i values0, __m256i values1)
{
    const __m256i weights = _mm256_set1_epi16(HEX_PAIR_WEIGHTS);
    const __m256i packed = _mm256_packus_epi16(_mm256_maddubs_epi16(values0, weights), _mm256_maddubs_epi16(values1, weights));
    return _mm256_permute4x64_epi64(packed, 0xD8);
}
