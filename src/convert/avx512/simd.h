// The instruction sets the AVX-512 kernels are compiled for, and the parser's classes and helpers.
#pragma once

#include "convert/generic/parse_blocks.h"
#include "convert/generic/simd_target.h"

#include <immintrin.h>

#define HEX_AVX512 "avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,popcnt,bmi,bmi2"
#define HEX_AVX512_FORMAT "avx512f,avx512bw,avx512vbmi"

namespace {  // a copy a file: tests/emulation compiles them on stand-ins

// Per character below 0x80: the digit's value in the low nibble, and the class bits (codes from 0x80 up have
// theirs zeroed by their top bit). The digit and token bits are the top two: vpmovb2m reads them into masks
// on another port than the shuffles, which vpermi2b keeps busy.
constexpr uint8_t AVX512_DIGIT = 0x80;
constexpr uint8_t AVX512_TOKEN = 0x40;  // a digit or a separator
constexpr uint8_t AVX512_SEMICOLON = 0x20;
constexpr uint8_t AVX512_LINE_FEED = 0x10;

constexpr std::array<uint8_t, 128> MakeAvx512ClassTable()
{
    std::array<uint8_t, 128> table{};
    for (size_t c = 0; c < 128; ++c) {
        const uint8_t cls = CharClassTable[c];
        table[c] = cls == CC_HEXDIGIT    ? static_cast<uint8_t>(AVX512_DIGIT | AVX512_TOKEN | LowNibbleTable[c])
                   : cls == CC_SEPARATOR ? AVX512_TOKEN
                   : cls == CC_COMMENT   ? AVX512_SEMICOLON
                                         : 0;
    }
    table['\n'] |= AVX512_LINE_FEED;
    return table;
}

alignas(64) inline constexpr std::array<uint8_t, 128> Avx512ClassTable = MakeAvx512ClassTable();

HEX_TARGET(HEX_AVX512) HEX_INLINE __m512i ClassesAvx512(const char* p)
{
    const __m512i chars = _mm512_loadu_si512(p);
    return _mm512_maskz_permutex2var_epi8(~_mm512_movepi8_mask(chars), _mm512_load_si512(Avx512ClassTable.data()), chars,
                                          _mm512_load_si512(Avx512ClassTable.data() + 64));
}

HEX_TARGET(HEX_AVX512) HEX_INLINE uint64_t ClassBitsAvx512(__m512i classes, uint8_t bits)
{
    return _cvtmask64_u64(_mm512_test_epi8_mask(classes, _mm512_set1_epi8(static_cast<char>(bits))));
}

// Byte k: stride times k, modulo 64.
constexpr std::array<uint8_t, 64> MakeAvx512StrideTable(size_t stride)
{
    std::array<uint8_t, 64> v{};
    for (size_t k = 0; k < 64; ++k) v[k] = static_cast<uint8_t>(stride * k % 64);
    return v;
}
alignas(64) inline constexpr std::array<uint8_t, 64> Avx512EvenByteTable = MakeAvx512StrideTable(2);  // the low byte of word k < 32
alignas(64) inline constexpr std::array<uint8_t, 64> Avx512PlaceTable = MakeAvx512StrideTable(1);

#if !defined(HEX_AVX512_STAND_INS)
// The low 256 bits. GCC 12's cast warns of an undefined source; a shuffle of the register's own halves does
// not.
HEX_TARGET(HEX_AVX512) HEX_INLINE __m256i LowHalfAvx512(__m512i v)
{
    using Longs8 = long long __attribute__((vector_size(64)));
    return reinterpret_cast<__m256i>(__builtin_shufflevector(reinterpret_cast<Longs8>(v), reinterpret_cast<Longs8>(v), 0, 1, 2, 3));
}
#endif

// The 32 pairs of the 64 digit values in the classes' low nibbles, to 32 bytes at q: high digit times 16 plus
// low digit, in 16 bits, then their low bytes by one vpermb.
HEX_TARGET(HEX_AVX512) HEX_INLINE void StoreDigitPairsAvx512(__m512i classes, uint8_t* q)
{
    const __m512i values = _mm512_and_si512(classes, _mm512_set1_epi8(0x0F));
    const __m512i words = _mm512_maddubs_epi16(values, _mm512_set1_epi16(HEX_PAIR_WEIGHTS));
    const __m512i bytes = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, _mm512_load_si512(Avx512EvenByteTable.data()), words);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(q), LowHalfAvx512(bytes));
}

}  // namespace
