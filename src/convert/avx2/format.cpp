// BytesToHexText with AVX2: the line's 16 bytes in both halves of a register, so every shuffle stays within
// its 128-bit lane, and two 32-byte stores a line; six shuffles a line in all.
#include "convert/generic/simd_target.h"

#if HEXBIN_X86

#include "convert/avx2/simd.h"
#include "convert/generic/line_layout.h"
#include "convert/hex_kernel.h"

namespace {

// Stores cover [0,32) and [19,51), overlapping so that nothing past the line's LF is written.
constexpr int AVX2_SECOND_STORE = HEX_LINE_SECOND_PIECE;

// From the high digits and the low digits of the 16 pairs, and the separators.
constexpr ByteVector<32> Avx2HighShuffle0Table = MakeLinePairShuffleTable<32>(0, 0);
constexpr ByteVector<32> Avx2LowShuffle0Table = MakeLinePairShuffleTable<32>(0, 1);
constexpr ByteVector<32> Avx2Separators0Table = MakeLineSeparatorTable<32>(0);
constexpr ByteVector<32> Avx2HighShuffle1Table = MakeLinePairShuffleTable<32>(AVX2_SECOND_STORE, 0);
constexpr ByteVector<32> Avx2LowShuffle1Table = MakeLinePairShuffleTable<32>(AVX2_SECOND_STORE, 1);
constexpr ByteVector<32> Avx2Separators1Table = MakeLineSeparatorTable<32>(AVX2_SECOND_STORE);

HEX_TARGET("avx2") HEX_FLATTEN HEX_ALIGN_STACK HEX_NOINLINE
void FormatLinesAvx2(const uint8_t* pSrc, uint32_t cLines, char* pDst)
{
    const __m256i digits = Broadcast16Avx2(HexDigitTable);
    const __m256i high0 = Load32(Avx2HighShuffle0Table.data()), low0 = Load32(Avx2LowShuffle0Table.data()), separators0 = Load32(Avx2Separators0Table.data());
    const __m256i high1 = Load32(Avx2HighShuffle1Table.data()), low1 = Load32(Avx2LowShuffle1Table.data()), separators1 = Load32(Avx2Separators1Table.data());

    // Everything stays in registers: a __m256i spilled to the Windows stack would not be 32-byte aligned.
#if defined(__GNUC__)
#pragma GCC unroll 2
#endif
    for (uint32_t i = 0; i < cLines; ++i) {
        const __m256i x = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pSrc)));
        const __m256i hi = _mm256_shuffle_epi8(digits, HighNibblesAvx2(x));
        const __m256i lo = _mm256_shuffle_epi8(digits, _mm256_and_si256(x, _mm256_set1_epi8(0x0F)));
        const __m256i text0 = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(hi, high0), _mm256_shuffle_epi8(lo, low0)), separators0);
        const __m256i text1 = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(hi, high1), _mm256_shuffle_epi8(lo, low1)), separators1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst), text0);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst + AVX2_SECOND_STORE), text1);
        pSrc += HEX_LINE_BYTES;
        pDst += HEX_LINE_CHARS;
    }
}

struct Avx2Lines {
    static constexpr uintptr_t VECTOR_BYTES = 32;
    static HEX_INLINE void FormatLines(const uint8_t* pSrc, uint32_t cLines, char* pDst) { FormatLinesAvx2(pSrc, cLines, pDst); }
    HEX_TARGET("avx2") static HEX_INLINE void StreamVector(char* pDst, const char* pStage)
    {
        _mm256_stream_si256(reinterpret_cast<__m256i*>(pDst), _mm256_load_si256(reinterpret_cast<const __m256i*>(pStage)));
    }
    HEX_TARGET("avx2") static HEX_INLINE void Fence() { _mm_sfence(); }
};

}  // namespace

HEX_TARGET("avx2") HEX_FLATTEN HEX_ALIGN_STACK
uint32_t BytesToHexTextAvx2(const uint8_t* pSrc, uint32_t cbSrc, char* pDst)
{
    return FormatHexTextWith<Avx2Lines>(pSrc, cbSrc, pDst);
}

#endif
