// The AVX2 helpers that the AVX2 formatter and parser share.
#pragma once

#include "convert/generic/simd_target.h"
#include "convert/x86/blocks.h"

#include <immintrin.h>

HEX_TARGET("avx2") HEX_INLINE __m256i Load32(const void* p)
{
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

// One of X86BlockTable's registers.
HEX_TARGET("avx2") HEX_INLINE __m256i TableAvx2(const ByteVector<32>& table)
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(table.data()));
}

// Lane 0 from pLow, lane 1 from pHigh.
HEX_TARGET("avx2") HEX_INLINE __m256i LoadLanesAvx2(const void* pLow, const void* pHigh)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(pLow))),
                                   _mm_loadu_si128(static_cast<const __m128i*>(pHigh)), 1);
}

HEX_TARGET("avx2") HEX_INLINE __m256i Broadcast16Avx2(const std::array<uint8_t, 16>& table)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data())));
}

HEX_TARGET("avx2") HEX_INLINE __m256i HighNibblesAvx2(__m256i chars)
{
    return _mm256_and_si256(_mm256_srli_epi16(chars, 4), _mm256_set1_epi8(0x0F));
}

// The top bits of two registers' bytes, the first's in bits 0 to 31.
HEX_TARGET("avx2") HEX_INLINE uint64_t TopBitsAvx2(__m256i top0, __m256i top1)
{
    return static_cast<uint32_t>(_mm256_movemask_epi8(top0)) | uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(top1))} << 32;
}

// Bit k set where byte k of v, added to with saturation, reaches 0x80.
HEX_TARGET("avx2") HEX_INLINE uint32_t TopAfterAddingAvx2(__m256i v, const ByteVector<32>& add)
{
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_adds_epu8(v, TableAvx2(add))));
}

// Whether any of 32 classes is below 0x0F, as only those of non-tokens are (x86/blocks.h).
HEX_TARGET("avx2") HEX_INLINE bool HasNonTokensAvx2(__m256i classes)
{
    const __m256i below = _mm256_subs_epu8(TableAvx2(X86BlockTable.low4), classes);
    return _mm256_testz_si256(below, below) == 0;
}

// The classes of 32 characters (x86/blocks.h), and the digits' values (nonsense elsewhere).
HEX_TARGET("avx2") HEX_INLINE void ClassifyAvx2(__m256i chars, __m256i& values, __m256i& classes)
{
    const __m256i low = _mm256_and_si256(chars, TableAvx2(X86BlockTable.low4));
    const __m256i high = _mm256_and_si256(_mm256_srli_epi16(chars, 4), TableAvx2(X86BlockTable.low4));
    classes = _mm256_and_si256(_mm256_shuffle_epi8(TableAvx2(X86BlockTable.classHigh), high),
                               _mm256_shuffle_epi8(TableAvx2(X86BlockTable.classLow), low));
    values = _mm256_add_epi8(low, _mm256_and_si256(classes, TableAvx2(X86BlockTable.low4)));
}
