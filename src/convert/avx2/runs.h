// The AVX2 kernel's runs of pairs: the formatter's line, plain pairs and
// spaced pairs, each by its fixed places (generic/shapes.h).
#pragma once

#include "convert/avx2/simd.h"
#include "convert/generic/parse_runs.h"
#include "convert/generic/shapes.h"

#include <bit>
#include <cstdint>
#include <immintrin.h>

// Writes the 16 bytes of the formatter's line at p, if one is there, or
// returns false. Most other texts fail at the CR.
HEX_TARGET("avx2") HEX_INLINE bool ConvertFormatterLineAvx2(const char* p, uint8_t* q)
{
    if (p[HEX_LINE_CHARS - 2] != '\r') return false;
    constexpr uint32_t Separators0 = LineSeparatorBits<32>(0);
    constexpr uint32_t Separators1 = LineSeparatorBits<32>(HEX_LINE_SECOND_PIECE);
    const auto same0 = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(p), Load32(LineText0.data()))));
    const auto same1 = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(p + HEX_LINE_SECOND_PIECE), Load32(LineText1.data()))));
    if ((((same0 & Separators0) ^ Separators0) | ((same1 & Separators1) ^ Separators1)) != 0) return false;

    const __m256i digits = _mm256_or_si256(
        _mm256_shuffle_epi8(LoadLine2x16(p + LineLoadPos[0][0], p + LineLoadPos[1][0]), Load32(LineGather0.data())),
        _mm256_shuffle_epi8(LoadLine2x16(p + LineLoadPos[0][1], p + LineLoadPos[1][1]), Load32(LineGather1.data())));
    if (TopAfterAddingAvx2(ClassesAvx2(digits), HEX_DIGIT_TO_TOP) != 0xFFFFFFFF) return false;
    const __m256i values = DigitValuesAvx2(digits);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm256_castsi256_si128(PairsOfWordsAvx2(values, values)));
    return true;
}

// Pairs with no separator between them, as xxd -p and base16 encoders
// write them: up to 32, from the 64 characters at p, and the separator
// after them; none where fewer than cMinPairs. Writes 32 bytes, of which
// the run's count are its pairs.
HEX_TARGET("avx2") HEX_INLINE HexPairRun ConvertPlainPairsAvx2(const char* p, uint8_t* q, uint32_t cMinPairs = HEX_RUN_MIN_PAIRS)
{
    const __m256i chars0 = Load32(p), chars1 = Load32(p + 32);
    const __m256i classes0 = ClassesAvx2(chars0), classes1 = ClassesAvx2(chars1);
    const uint64_t digits = TopAfterAddingAvx2(classes0, HEX_DIGIT_TO_TOP) | TopAfterAddingAvx2(classes1, HEX_DIGIT_TO_TOP) << 32;
    // A separator is a token that is not a digit.
    const uint64_t separators = (TopAfterAddingAvx2(classes0, HEX_TOKEN_TO_TOP) | TopAfterAddingAvx2(classes1, HEX_TOKEN_TO_TOP) << 32) & ~digits;
    const auto cPairs = static_cast<uint32_t>(std::countr_one(digits)) / 2;
    if (cPairs < cMinPairs) return {0, 0};
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(q), PairsOfWordsAvx2(DigitValuesAvx2(chars0), DigitValuesAvx2(chars1)));
    return {PlainRunChars(p, cPairs, separators), cPairs};
}

// Pairs each followed by one separator, as od, hexdump and Python's
// bytes.hex(' ') write them: up to 16, from the 48 characters at p, and
// one more separator after 16. Writes 16 bytes, of which the run's count
// are its pairs.
HEX_TARGET("avx2") HEX_INLINE HexPairRun ConvertSpacedPairsAvx2(const char* p, uint8_t* q)
{
    const __m256i load0 = LoadLine2x16(p + SpacedLoadPos[0], p + 24 + SpacedLoadPos[0]);
    const __m256i load1 = LoadLine2x16(p + SpacedLoadPos[1], p + 24 + SpacedLoadPos[1]);
    const __m256i digits = _mm256_or_si256(_mm256_shuffle_epi8(load0, Load32(SpacedDigits0.data())),
                                           _mm256_shuffle_epi8(load1, Load32(SpacedDigits1.data())));
    const __m256i separators = _mm256_or_si256(_mm256_shuffle_epi8(load0, Load32(SpacedSeparators0.data())),
                                               _mm256_shuffle_epi8(load1, Load32(SpacedSeparators1.data())));
    const __m256i separatorBits = _mm256_and_si256(ClassesAvx2(separators), _mm256_set1_epi8(HEX_BITS_SEPARATOR));
    const auto fine = static_cast<uint32_t>(TopAfterAddingAvx2(ClassesAvx2(digits), HEX_DIGIT_TO_TOP)) &
                      ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(separatorBits, _mm256_setzero_si256())));
    const auto cPairs = static_cast<uint32_t>(std::countr_one(fine)) / 2;
    if (cPairs < HEX_RUN_MIN_PAIRS) return {0, 0};
    const __m256i values = DigitValuesAvx2(digits);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm256_castsi256_si128(PairsOfWordsAvx2(values, values)));
    return {3 * cPairs + IsSeparatorAt(p + 3 * cPairs), cPairs};
}

// A run at p, of either shape, or none. Reads at most the 65 characters at
// p and writes at most 32 bytes.
HEX_TARGET("avx2") HEX_INLINE HexPairRun ConvertPairRunAvx2(const char* p, uint8_t* q)
{
    // The third character tells the shapes apart, and turns most other
    // texts away.
    const uint8_t third = CharClassTable[static_cast<uint8_t>(p[2])];
    if (third == CC_SEPARATOR) return ConvertSpacedPairsAvx2(p, q);
    if (third == CC_HEXDIGIT) return ConvertPlainPairsAvx2(p, q);
    return {0, 0};
}

HEX_TARGET("avx2") HEX_INLINE uint64_t LineFeedsAvx2(const char* p)
{
    const __m256i lineFeed = _mm256_set1_epi8('\n');
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(p), lineFeed))) |
           uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(p + 32), lineFeed)))} << 32;
}
