// BytesToHexText with AVX2: the line's 16 bytes in both halves of a register,
// so every shuffle stays within its 128-bit lane, and two 32-byte stores a
// line; six shuffles a line in all.
#include "convert/hex_line_layout.h"

#if HEXBIN_X86

#include <immintrin.h>

namespace {

// Stores cover [0,32) and [19,51), overlapping so that nothing past the
// line's LF is written.
constexpr int AVX2_SECOND_STORE = HEX_LINE_SECOND_PIECE;

// From the high digits and the low digits of the 16 pairs, and the separators.
constexpr ByteVector<32> Avx2HighShuffle0 = LinePairShuffle<32>(0, 0);
constexpr ByteVector<32> Avx2LowShuffle0 = LinePairShuffle<32>(0, 1);
constexpr ByteVector<32> Avx2Separators0 = LineSeparators<32>(0);
constexpr ByteVector<32> Avx2HighShuffle1 = LinePairShuffle<32>(AVX2_SECOND_STORE, 0);
constexpr ByteVector<32> Avx2LowShuffle1 = LinePairShuffle<32>(AVX2_SECOND_STORE, 1);
constexpr ByteVector<32> Avx2Separators1 = LineSeparators<32>(AVX2_SECOND_STORE);

HEX_TARGET("avx2") HEX_INLINE __m256i Load32(const ByteVector<32>& v)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v.data()));
}

HEX_TARGET("avx2") HEX_FLATTEN HEX_ALIGN_STACK HEX_NOINLINE
void FormatLinesAvx2(const uint8_t* pSrc, uint32_t cLines, char* pDst)
{
    const __m256i digits = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(HexDigitLookup.data())));
    const __m256i low4 = _mm256_set1_epi8(0x0F);
    const __m256i high0 = Load32(Avx2HighShuffle0), low0 = Load32(Avx2LowShuffle0), separators0 = Load32(Avx2Separators0);
    const __m256i high1 = Load32(Avx2HighShuffle1), low1 = Load32(Avx2LowShuffle1), separators1 = Load32(Avx2Separators1);

    // Everything stays in registers: a __m256i spilled to the Windows stack
    // would not be 32-byte aligned.
#if defined(__GNUC__)
#pragma GCC unroll 2
#endif
    for (uint32_t i = 0; i < cLines; ++i) {
        const __m256i x = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pSrc)));
        const __m256i hi = _mm256_shuffle_epi8(digits, _mm256_and_si256(_mm256_srli_epi16(x, 4), low4));
        const __m256i lo = _mm256_shuffle_epi8(digits, _mm256_and_si256(x, low4));
        const __m256i text0 = _mm256_or_si256(
            _mm256_or_si256(_mm256_shuffle_epi8(hi, high0), _mm256_shuffle_epi8(lo, low0)), separators0);
        const __m256i text1 = _mm256_or_si256(
            _mm256_or_si256(_mm256_shuffle_epi8(hi, high1), _mm256_shuffle_epi8(lo, low1)), separators1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst), text0);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst + AVX2_SECOND_STORE), text1);
        pSrc += HEX_LINE_BYTES;
        pDst += HEX_LINE_CHARS;
    }
}

// 32 lines are 51 vectors of 32 bytes exactly, so once a line starts on a
// vector's boundary, every 32nd line after it does too. The lines are
// written to a buffer that stays in the cache, then streamed out a vector
// at a time.
constexpr uint32_t HEX_STREAM_LINES = 32;
constexpr size_t HEX_STREAM_CHARS = size_t{HEX_STREAM_LINES} * HEX_LINE_CHARS;
constexpr uintptr_t HEX_PAGE_SIZE = 4096;
static_assert(HEX_STREAM_CHARS % 32 == 0 && HEX_STREAM_CHARS < HEX_PAGE_SIZE);

HEX_TARGET("avx2") HEX_ALIGN_STACK
void StreamLinesAvx2(const uint8_t* pSrc, uint32_t cLines, char* pDst)
{
    // 51 is odd, so one of the first 32 lines starts on a vector.
    uint32_t cHead = 0;
    while (cHead < cLines && (reinterpret_cast<uintptr_t>(pDst + size_t{HEX_LINE_CHARS} * cHead) & 31) != 0) ++cHead;
    FormatLinesAvx2(pSrc, cHead, pDst);
    pSrc += size_t{HEX_LINE_BYTES} * cHead;
    pDst += size_t{HEX_LINE_CHARS} * cHead;
    cLines -= cHead;

    // Aligned by hand, as the Windows stack is not whatever alignas says,
    // and inside one page: streaming from a buffer that crossed into the
    // next page ran at less than half the speed.
    char buffer[2 * HEX_STREAM_CHARS];
    uintptr_t uStage = (reinterpret_cast<uintptr_t>(buffer) + 31) & ~uintptr_t{31};
    if ((uStage & (HEX_PAGE_SIZE - 1)) + HEX_STREAM_CHARS > HEX_PAGE_SIZE) uStage = (uStage + HEX_PAGE_SIZE - 1) & ~(HEX_PAGE_SIZE - 1);
    char* const pStage = buffer + (uStage - reinterpret_cast<uintptr_t>(buffer));

    for (; cLines >= HEX_STREAM_LINES; cLines -= HEX_STREAM_LINES) {
        FormatLinesAvx2(pSrc, HEX_STREAM_LINES, pStage);
        for (size_t i = 0; i < HEX_STREAM_CHARS; i += 32) {
            _mm256_stream_si256(reinterpret_cast<__m256i*>(pDst + i),
                                _mm256_load_si256(reinterpret_cast<const __m256i*>(pStage + i)));
        }
        pSrc += size_t{HEX_LINE_BYTES} * HEX_STREAM_LINES;
        pDst += HEX_STREAM_CHARS;
    }
    _mm_sfence();  // the streamed lines reach memory before anything written after them
    FormatLinesAvx2(pSrc, cLines, pDst);
}

}  // namespace

uint32_t BytesToHexTextAvx2(const uint8_t* pSrc, uint32_t cbSrc, char* pDst)
{
    const uint32_t cLines = VectorLineCount(cbSrc);
    if (size_t{HEX_LINE_CHARS} * cLines >= HEX_STREAM_MIN_CHARS) {
        StreamLinesAvx2(pSrc, cLines, pDst);
    } else {
        FormatLinesAvx2(pSrc, cLines, pDst);
    }
    return FinishHexText(pSrc, cbSrc, pDst, cLines);
}

#endif
