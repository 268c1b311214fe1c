// The instruction sets the AVX-512 kernels are compiled for, and the
// parser's classes and helpers.
#pragma once

#include "convert/generic/parse_blocks.h"
#include "convert/generic/simd_target.h"

#include <immintrin.h>

#define HEX_AVX512 "avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,popcnt,bmi2"
#define HEX_AVX512_FORMAT "avx512f,avx512bw,avx512vbmi"

namespace {  // a copy a file: tests/emulation compiles them on stand-ins

// Per character below 0x80: the digit's value in the low nibble, and the
// class bits. Codes from 0x80 up index the table by their low seven bits,
// so the kernel zeroes their classes by their top bit. The digit and the
// separator bit are the top two: vpmovb2m reads them into masks on another
// port than the shuffles, which keep the one that vpermi2b needs busy.
constexpr uint8_t AVX512_DIGIT = 0x80;
constexpr uint8_t AVX512_SEPARATOR = 0x40;
constexpr uint8_t AVX512_SEMICOLON = 0x20;
constexpr uint8_t AVX512_LINE_FEED = 0x10;

constexpr std::array<uint8_t, 128> MakeAvx512ClassTable()
{
    std::array<uint8_t, 128> table{};
    for (size_t c = 0; c < 128; ++c) {
        const uint8_t cls = CharClassTable[c];
        table[c] = cls == CC_HEXDIGIT    ? static_cast<uint8_t>(AVX512_DIGIT | LowNibbleTable[c])
                   : cls == CC_SEPARATOR ? AVX512_SEPARATOR
                   : cls == CC_COMMENT   ? AVX512_SEMICOLON
                                         : 0;
    }
    table['\n'] |= AVX512_LINE_FEED;
    return table;
}

alignas(64) inline constexpr std::array<uint8_t, 128> Avx512ClassTable = MakeAvx512ClassTable();

HEX_TARGET(HEX_AVX512) HEX_INLINE __m512i ClassesAvx512(__m512i chars)
{
    return _mm512_maskz_permutex2var_epi8(~_mm512_movepi8_mask(chars), _mm512_load_si512(Avx512ClassTable.data()), chars,
                                          _mm512_load_si512(Avx512ClassTable.data() + 64));
}

HEX_TARGET(HEX_AVX512) HEX_INLINE uint64_t DigitsAvx512(__m512i classes)
{
    return _mm512_movepi8_mask(classes);
}

HEX_TARGET(HEX_AVX512) HEX_INLINE uint64_t SeparatorsAvx512(__m512i classes)
{
    return _mm512_movepi8_mask(_mm512_slli_epi16(classes, 1));  // bit 6 to the top
}

HEX_TARGET(HEX_AVX512) HEX_INLINE __m512i DigitValuesAvx512(__m512i classes)
{
    return _mm512_and_si512(classes, _mm512_set1_epi32(0x0F0F0F0F));
}

HEX_TARGET(HEX_AVX512) HEX_INLINE uint64_t LineFeedsAvx512(const char* p)
{
    return _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p), _mm512_set1_epi8('\n'));
}

// 32 pairs of digit values, each pair's two side by side, as 32 bytes: high
// digit times 16 plus low digit, in 16 bits, then to bytes (the masked
// form: GCC 12 warns of the plain one's undefined source).
HEX_TARGET(HEX_AVX512) HEX_INLINE __m256i PairBytesAvx512(__m512i values)
{
    return _mm512_maskz_cvtepi16_epi8(~__mmask32{0}, _mm512_maddubs_epi16(values, _mm512_set1_epi16(HEX_PAIR_WEIGHTS)));
}

}  // namespace
